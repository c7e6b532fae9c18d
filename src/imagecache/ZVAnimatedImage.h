#pragma once
// What an animated image answers, so that an animated view can play it.
// Images are platform images (UIImage); find out whether one is animated
// with dynamic_cast<const ZVAnimatedImage*>.

#include <memory>
#include <optional>

#include "platform/graphics/Geometry.h"
#include "platform/graphics/UIImage.h"

class ZVAnimatedImage {
public:
    virtual ~ZVAnimatedImage() = default;
    virtual size_t animatedImageFrameCount() const = 0;
    virtual size_t animatedImageLoopCount() const = 0;  // 0 = forever
    // The memory one decoded frame takes (sizes the view's frame buffer).
    virtual size_t animatedImageBytesPerFrame() const = 0;
    // May be slow: called on a background queue.
    virtual std::shared_ptr<UIImage> animatedImageFrameAtIndex(size_t index) const = 0;
    virtual double animatedImageDurationAtIndex(size_t index) const = 0;  // seconds
    // Sprite sheets only: the part of the image (in points) a frame shows.
    virtual std::optional<CGRect> animatedImageContentsRectAtIndex(size_t) const { return std::nullopt; }
};
