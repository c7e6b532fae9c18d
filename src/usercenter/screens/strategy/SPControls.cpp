#include "usercenter/screens/strategy/SPControls.h"

#include <algorithm>

#include "platform/foundation/Strings.h"

bool SPButton::pointInside(CGPoint p, UIEvent* event) const {
    const UIEdgeInsets& i = touchInsets;
    CGRect b = bounds();
    CGRect area(b.minX() + i.left, b.minY() + i.top, b.width() - i.left - i.right, b.height() - i.top - i.bottom);
    return area.contains(p) || UIButton::pointInside(p, event);
}

void SPSlideLineButton::setLinePosition(unsigned position) {
    if (position == linePosition_) return;
    linePosition_ = position;
    setNeedsLayout();
}

void SPSlideLineButton::setLineColor(const UIColor& colour) {
    if (colour == lineColor_) return;
    lineColor_ = colour;
    setNeedsLayout();
}

void SPSlideLineButton::layoutSubviews() {
    UIButton::layoutSubviews();
    for (auto& line : lineViews_) line->removeFromSuperview();
    lineViews_.clear();
    double w = bounds().width(), h = bounds().height(), p = SPOnePixelToPoint(), top = (h - 22) / 2;
    auto make = [&](double x) {
        auto line = std::make_shared<UIView>(CGRect(x, top, p, 22));
        line->setBackgroundColor(lineColor_);
        addSubview(line);
        lineViews_.push_back(line);
    };
    if (linePosition_ & Left) make(0);
    if (linePosition_ & Right) make(w - p);
}

namespace SPAdditions {

std::optional<UIColor> pp_colorWithRGBString(std::string_view text, double alpha) {
    std::u16string units = strings::toUTF16(text);
    if (units.size() < 6) return std::nullopt;
    uint64_t hex = 0;
    for (size_t i = units.size() > 6 ? 1 : 0; i < units.size(); ++i) {
        char16_t c = units[i];
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0) break;
        hex = std::min<uint64_t>(hex * 16 + unsigned(d), 0xFFFFFFFFu);  // the platform's scan saturates
    }
    return pp_colorWithRGBHex(uint32_t(hex), alpha);
}

UIColor pp_colorWithRGBHex(uint32_t hex, double alpha) {
    return UIColor::fromRGB(hex & 0xFFFFFF, alpha);
}

}  // namespace SPAdditions

double SPOnePixelToPoint() {
    static const double pixel = 1 / UIScreen::mainScreen().scale();
    return pixel;
}

namespace SPAddition {

long zui_physicalSize(const UIScreen& screen) {
    CGSize size = screen.bounds().size;
    double s = std::min(size.width, size.height), l = std::max(size.width, size.height);
    struct Class {
        double shortSide, longSide;
        long value;
    };
    for (auto c : {Class{320, 480, 0}, Class{320, 568, 1}, Class{375, 667, 2}, Class{414, 736, 3}, Class{375, 812, 4}})
        if (s == c.shortSide && l == c.longSide) return c.value;
    return -1;
}

bool pp_isIPhoneX() {
    static const bool x = zui_physicalSize(UIScreen::mainScreen()) == 4;
    return x;
}

}  // namespace SPAddition
