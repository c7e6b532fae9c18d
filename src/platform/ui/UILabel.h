#pragma once
// A label: plain or attributed text in one font and colour, aligned and
// wrapped over a number of lines (0: any), vertically centred in its bounds.
// A one-line label may shrink its text to fit its width
// (adjustsFontSizeToFitWidth, down to minimumScaleFactor of each font)
// before it cuts the text.

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/NSAttributedString.h"
#include "platform/ui/TextLayout.h"
#include "platform/ui/UIView.h"

class UILabel : public UIView {
public:
    UILabel();
    explicit UILabel(const CGRect& frame);

    const std::string& text() const { return text_; }
    virtual void setText(const std::string& text);
    // The attributed text: the one set, or the plain text with the label's font and colour.
    NSAttributedString attributedText() const;
    virtual void setAttributedText(const NSAttributedString& text);
    const std::shared_ptr<UIFont>& font() const { return font_; }
    void setFont(std::shared_ptr<UIFont> f);
    const UIColor& textColor() const { return textColor_; }
    void setTextColor(const UIColor& c) { textColor_ = c; setNeedsDisplay(); }
    NSTextAlignment textAlignment() const { return alignment_; }
    void setTextAlignment(NSTextAlignment a) { alignment_ = a; setNeedsDisplay(); }
    int numberOfLines() const { return numberOfLines_; }
    void setNumberOfLines(int n) { numberOfLines_ = n; setNeedsDisplay(); }
    NSLineBreakMode lineBreakMode() const { return lineBreakMode_; }
    void setLineBreakMode(NSLineBreakMode m) { lineBreakMode_ = m; setNeedsDisplay(); }
    bool adjustsFontSizeToFitWidth = false;
    double minimumScaleFactor = 0;  // 0: as small as needed
    // The factor the fonts are drawn at now (1 unless the text was shrunk to fit).
    double fittingScale() const;
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool e) { enabled_ = e; setNeedsDisplay(); }

    CGSize sizeThatFits(CGSize size) const override;
    CGSize intrinsicContentSize() const override;
    void drawRect(CGContext& ctx, const CGRect& rect) override;

private:
    TextLayout::Options options(double width) const;
    NSAttributedString drawnText() const;
    NSAttributedString scaledText(double scale) const;

    std::string text_;
    std::optional<NSAttributedString> attributed_;
    std::shared_ptr<UIFont> font_;
    UIColor textColor_ = UIColor::blackColor();
    NSTextAlignment alignment_ = NSTextAlignment::Natural;
    int numberOfLines_ = 1;
    NSLineBreakMode lineBreakMode_ = NSLineBreakMode::ByTruncatingTail;
    bool enabled_ = true;
};
