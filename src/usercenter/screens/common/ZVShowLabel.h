#pragma once
// A label that measures its whole text at a given width: how many lines it
// needs (`rows`) and how high it is then (`maxHeight`), while it first shows
// one line, so a screen can offer to unfold it. Any number of lines.
//
// Text is measured through one measurer that tests may replace.

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/UILabel.h"

class ZVShowLabel : public UILabel {
public:
    // The size of `text` in `font` at `width`, unlimited height.
    using Measurer = std::function<CGSize(const std::string& text, const std::shared_ptr<UIFont>& font, double width)>;
    // nullptr restores the text layout's own measuring.
    static void setMeasurer(Measurer measurer);

    using UILabel::UILabel;

    double w = 0;       // the width the text is measured at
    int32_t rows = 0;   // lines the whole text needs
    int32_t maxHeight = 0;  // height the whole text needs, rounded up
    double height = 0;  // bounding height of the last text

    void setFrame(const CGRect& frame) override;
    void setText(const std::string& text) override;

private:
    double x_ = 0, y_ = 0, width_ = 0;  // the frame last set
};
