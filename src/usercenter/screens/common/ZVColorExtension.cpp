#include "usercenter/screens/common/ZVColorExtension.h"

#include "platform/foundation/Strings.h"
#include "usercenter/core/URLEncode.h"

namespace XTExtention {

UIColor fromHexValue(uint32_t argb) {
    uint32_t a = argb >> 24;
    return fromHexValue(argb & 0xFFFFFF, a ? a / 255.0 : 1.0);
}

UIColor fromHexValue(uint32_t rgb, double alpha) { return UIColor::fromRGB(rgb & 0xFFFFFF, alpha); }

UIColor fromShortHexValue(uint32_t rgb, double alpha) {
    return UIColor::colorWithRed(((rgb >> 8) & 0xF) / 15.0, ((rgb >> 4) & 0xF) / 15.0, (rgb & 0xF) / 15.0, alpha);
}

namespace {
int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
// Two upper-case hexadecimal digits as a number; 0 when they are not both digits.
int pairValue(std::string_view pair) {
    int high = hexDigit(pair[0]), low = hexDigit(pair[1]);
    return high < 0 || low < 0 ? 0 : high * 16 + low;
}
}  // namespace

UIColor colorWithHexString(const std::string& text) {
    std::string s = strings::toUpper(strings::trim(text));
    if (s.size() <= 5) return UIColor::clearColor();
    if (strings::hasPrefix(s, "0X")) s.erase(0, 2);
    if (strings::hasPrefix(s, "#")) s.erase(0, 1);
    if (s.size() != 6) return UIColor::clearColor();
    std::string_view v = s;
    return UIColor::colorWithRed(pairValue(v.substr(0, 2)) / 255.0, pairValue(v.substr(2, 2)) / 255.0,
                                 pairValue(v.substr(4, 2)) / 255.0, 1);
}

}  // namespace XTExtention

namespace ZVColor {

std::shared_ptr<UIImage> imageWithColor(const UIColor& colour) { return UIImage::imageWithColor(colour); }

std::shared_ptr<UIImage> gradientColorImageFromColors(const std::vector<UIColor>& colours, int gradientType,
                                                      CGSize size) {
    if (colours.empty() || size.width <= 0 || size.height <= 0) return nullptr;
    UIGraphicsBeginImageContextWithOptions(size, true, 1);
    double w = size.width, h = size.height;
    CGPoint start{0, 0}, end{0, h};
    if (gradientType == 1) end = {w, 0};
    else if (gradientType == 2) end = {w, h};
    else if (gradientType == 3) start = {w, 0}, end = {0, h};
    std::vector<double> locations;
    for (size_t i = 0; i < colours.size(); ++i)
        locations.push_back(colours.size() == 1 ? 0 : double(i) / double(colours.size() - 1));
    if (auto* ctx = UIGraphicsGetCurrentContext()) ctx->drawLinearGradient(colours, locations, start, end);
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return image;
}

std::shared_ptr<UIImage> sdkImageNamed(const std::string& name) { return URLEncode::sdkImageNamed(name); }

}  // namespace ZVColor
