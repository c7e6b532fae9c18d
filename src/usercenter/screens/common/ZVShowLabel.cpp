#include "usercenter/screens/common/ZVShowLabel.h"

#include <cfloat>
#include <cmath>

#include "platform/ui/TextLayout.h"

namespace {
ZVShowLabel::Measurer& customMeasurer() {
    static ZVShowLabel::Measurer m;
    return m;
}

CGSize measure(const std::string& text, const std::shared_ptr<UIFont>& font, double width) {
    if (auto& m = customMeasurer()) return m(text, font, width);
    return NSAttributedStringBoundingRect(NSAttributedString(text), CGSize{width, FLT_MAX}, font).size;
}
}  // namespace

void ZVShowLabel::setMeasurer(Measurer measurer) { customMeasurer() = std::move(measurer); }

void ZVShowLabel::setFrame(const CGRect& frame) {
    UILabel::setFrame(frame);
    x_ = frame.origin.x;
    y_ = frame.origin.y;
    width_ = frame.size.width;
    setNumberOfLines(0);
}

void ZVShowLabel::setText(const std::string& text) {
    UILabel::setText(text);
    height = measure(text, font(), w).height;
    double line = font()->lineHeight();
    UILabel::setFrame(CGRect(x_, y_, width_, line));  // one line first
    maxHeight = int32_t(std::ceil(height));
    rows = line > 0 ? int32_t(maxHeight / line) : 0;
}
