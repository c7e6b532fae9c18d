#include "imagecache/setters/UIImageViewZVExtension.h"

#include "imagecache/setters/UIImageViewZVWebImage.h"
#include "platform/foundation/Strings.h"
#include "usercenter/core/URLEncode.h"

namespace ZVExtension {

namespace {

// Bytes outside ASCII as %XX; everything else (escapes included) as it is.
std::string escapeNonASCII(const std::string& text) {
    std::string out;
    for (unsigned char c : text) out += c < 0x80 ? std::string(1, char(c)) : strings::format("%%%02X", c);
    return out;
}

}  // namespace

void setGameIconWithUrlStr(UIImageView& view, const std::string& urlStr, const std::string& placeIcon) {
    if (URLEncode::isURL(urlStr)) {
        auto placeholder = placeIcon.empty() ? nullptr : URLEncode::sdkImageNamed(placeIcon);
        ZVWebImage::ZV_setImageWithURL(view, NSURL::URLWithString(escapeNonASCII(urlStr)), placeholder);
        return;
    }
    ZVWebImage::ZV_cancelCurrentImageRequest(view);
    if (!placeIcon.empty()) view.setImage(URLEncode::sdkImageNamed(placeIcon));
}

}  // namespace ZVExtension
