#pragma once
// Laying out and drawing text with Pango, in points: labels, buttons, text
// fields and text views all measure and draw through this one class, so
// what is measured is what is drawn. Indexes are UTF-16 units.

#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/CGContext.h"
#include "platform/ui/NSAttributedString.h"

typedef struct _PangoLayout PangoLayout;

class TextLayout {
public:
    struct Options {
        std::shared_ptr<UIFont> font;  // default for runs without a font
        UIColor color = UIColor::blackColor();
        NSTextAlignment alignment = NSTextAlignment::Natural;
        NSLineBreakMode lineBreakMode = NSLineBreakMode::ByWordWrapping;
        double width = -1;     // wrapping width; < 0: one unbounded line per paragraph
        int numberOfLines = 0; // 0: any
        bool secure = false;   // draw every character as a bullet
    };

    TextLayout(const NSAttributedString& text, const Options& options);
    TextLayout(const std::string& text, const Options& options);
    ~TextLayout();
    TextLayout(const TextLayout&) = delete;
    TextLayout& operator=(const TextLayout&) = delete;

    // Size of the laid-out text (lines used), in points.
    CGSize size() const;
    // Height of one line of the default font holding Latin and Chinese text,
    // as the layout places it (also the height of an empty line's caret).
    double lineHeight() const;

    void draw(CGContext& ctx, CGPoint origin) const;

    // Caret rectangle (width 2) before UTF-16 index `index`, relative to the layout's origin.
    CGRect caretRect(size_t index) const;
    // UTF-16 index nearest to a point (for placing the caret by a tap).
    size_t indexAtPoint(CGPoint p) const;

private:
    void build(const NSAttributedString& text, const Options& options);
    size_t byteToUnit(int byte) const;
    int unitToByte(size_t unit) const;

    PangoLayout* layout_ = nullptr;
    std::string utf8_;
    std::vector<int> unitBytes_;
    Options options_;
};

// Convenience measurements.
CGSize NSStringSizeWithFont(const std::string& text, const std::shared_ptr<UIFont>& font, double width = -1,
                            NSLineBreakMode mode = NSLineBreakMode::ByWordWrapping);
// The platform's boundingRectWithSize with the line-fragment-origin option.
CGRect NSAttributedStringBoundingRect(const NSAttributedString& text, CGSize size, const std::shared_ptr<UIFont>& font);
