#pragma once
// Game icons, avatars and pictures from addresses in image views (the
// category UIImageView(ZVExtension)), the one way the user centre loads
// web images.
//
// - A text that is an address (URLEncode::isURL) loads through the shared
//   manager (UIImageViewZVWebImage.h); the SDK bundle's image named by
//   `placeIcon` shows meanwhile, or no image for an empty name. Characters
//   outside ASCII are percent-encoded (UTF-8) first; escapes stay.
// - Any other text ("", "www.x.com/a.png") loads nothing: the view's
//   request, if any, is cancelled, so that a reused cell never shows its
//   previous address's image; then the named image shows, and an empty
//   name keeps the image the view has.
//
// Main thread (the image is set before the call returns on a cache hit).

#include <memory>
#include <string>

#include "platform/ui/UIImageView.h"

namespace ZVExtension {
void setGameIconWithUrlStr(UIImageView& view, const std::string& urlStr, const std::string& placeIcon);
}
