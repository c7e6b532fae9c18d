#include "imagecache/setters/UIImageViewZVExtension.h"

#include "usercenter/core/URLEncode.h"

namespace ZVExtension {

void setGameIconWithUrlStr(UIImageView& view, const std::string&, const std::string& placeIcon) {
    view.setImage(placeIcon.empty() ? nullptr : URLEncode::sdkImageNamed(placeIcon));
}

}  // namespace ZVExtension
