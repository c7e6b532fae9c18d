#pragma once
// Small view helpers of the sticker keyboard and the comment bar: a button
// with an enlarged touch area, a button with separator lines, colours from
// hexadecimal text (the category UIColor(SPAdditions)), the width of one
// pixel, and the main screen's size class (UIScreen(SPAddition)).

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/ui/UIButton.h"
#include "platform/ui/UIScreen.h"

// A button whose touch area is its bounds shrunk by `touchInsets`
// (negative values enlarge it).
class SPButton : public UIButton {
public:
    using UIButton::UIButton;
    UIEdgeInsets touchInsets;
    bool pointInside(CGPoint point, UIEvent* event) const override;
};

// A button with 22-point separator lines of one pixel on its left and/or right.
class SPSlideLineButton : public UIButton {
public:
    enum LinePosition : unsigned { None = 0, Left = 1, Right = 2, Both = 3 };
    using UIButton::UIButton;

    unsigned linePosition() const { return linePosition_; }
    void setLinePosition(unsigned position);
    const UIColor& lineColor() const { return lineColor_; }
    void setLineColor(const UIColor& colour);
    const std::vector<std::shared_ptr<UIView>>& lineViews() const { return lineViews_; }
    void layoutSubviews() override;

private:
    unsigned linePosition_ = None;
    UIColor lineColor_ = UIColor::blackColor();
    std::vector<std::shared_ptr<UIView>> lineViews_;
};

namespace SPAdditions {
// "#RRGGBB" or "RRGGBB" (the first character is skipped when the text is
// longer than 6); the hexadecimal digits read up to the first other
// character (none read give black). Nothing for a text shorter than 6.
std::optional<UIColor> pp_colorWithRGBString(std::string_view text, double alpha = 1);
// Red bits 16-23, green 8-15, blue 0-7.
UIColor pp_colorWithRGBHex(uint32_t hex, double alpha = 1);
}  // namespace SPAdditions

// 1 ÷ the main screen's scale, taken once.
double SPOnePixelToPoint();

namespace SPAddition {
// The size class of a screen's bounds (short side × long side): 320×480 → 0,
// 320×568 → 1, 375×667 → 2, 414×736 → 3, 375×812 → 4, anything else → -1.
long zui_physicalSize(const UIScreen& screen);
// The main screen is of class 4 (taken once).
bool pp_isIPhoneX();
}  // namespace SPAddition
