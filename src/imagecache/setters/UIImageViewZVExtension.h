#pragma once
// Images from addresses in image views (the category UIImageView(ZVExtension)).
//
// In this build only the placeholder shows: the SDK bundle's image named by
// `placeIcon`, or no image for an empty name. The address is not fetched.

#include <memory>
#include <string>

#include "platform/ui/UIImageView.h"

namespace ZVExtension {
void setGameIconWithUrlStr(UIImageView& view, const std::string& urlStr, const std::string& placeIcon);
}
