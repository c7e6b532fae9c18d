#include "plugin/iOS/RAZ5Orered/UIImage+Handler.h"

namespace Handler {

std::shared_ptr<UIImage> fixOrientation(const std::shared_ptr<UIImage>& image) {
    if (!image || !image->CGImage()) return nullptr;
    if (image->imageOrientation() == UIImageOrientation::Up) return image;
    // The bitmap is redrawn at the image's point size with the layout
    // (alpha or none) of its own bitmap; drawing applies the orientation.
    CGSize size = image->size();
    int w = int(size.width), h = int(size.height);
    auto ctx = CGContext::bitmap(CGSize(w, h), !image->CGImage()->hasAlpha(), 1);
    if (!ctx) return nullptr;
    image->drawInRect(*ctx, CGRect(0, 0, w, h));
    return UIImage::imageWithCGImage(ctx->makeImage(), 1, UIImageOrientation::Up);
}

std::shared_ptr<UIImage> imageAtRect(const std::shared_ptr<UIImage>& image, const CGRect& rect) {
    auto upright = fixOrientation(image);
    if (!upright) return nullptr;
    auto cut = upright->CGImage()->cropped(rect);
    if (!cut) return nullptr;
    return UIImage::imageWithCGImage(std::move(cut), 1, UIImageOrientation::Up);
}

}  // namespace Handler
