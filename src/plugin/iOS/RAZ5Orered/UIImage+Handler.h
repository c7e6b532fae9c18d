#pragma once
// Image helpers of the crop view: an upright copy of an image, and a
// rectangle cut out of it.

#include <memory>

#include "platform/graphics/UIImage.h"

namespace Handler {

// An image whose pixels stand upright (orientation Up), one pixel per
// point of the image as displayed. An image already upright comes back as
// the same object; nullptr when the bitmap cannot be redrawn.
std::shared_ptr<UIImage> fixOrientation(const std::shared_ptr<UIImage>& image);

// The rectangle (in pixels of the upright image) cut out of it, clamped to
// the image; nullptr when nothing of it lies inside.
std::shared_ptr<UIImage> imageAtRect(const std::shared_ptr<UIImage>& image, const CGRect& rect);

}  // namespace Handler
