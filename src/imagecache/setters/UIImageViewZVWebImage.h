#pragma once
// Images from URLs in image views (the category UIImageView(ZVWebImage)):
// the image and the highlighted image each keep one request at a time.
// See ZVWebImageSetter.h for the flow, the threads and what supersedes a
// request. The full form takes every argument; the shorter ones pass no
// placeholder (null), options 0, the shared manager and no handlers for
// what they leave out.

#include "imagecache/setters/ZVWebImageSetter.h"
#include "platform/ui/UIImageView.h"

namespace ZVWebImage {

// The URL of the latest request (none without one, or after a cancel).
std::optional<NSURL> ZV_imageURL(const UIImageView& view);
void setZV_imageURL(UIImageView& view, const ZVWebImageURL& url);
void ZV_setImageWithURL(UIImageView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder);
void ZV_setImageWithURL(UIImageView& view, const ZVWebImageURL& url, ZVWebImageOptions options);
void ZV_setImageWithURL(UIImageView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, ZVWebImageCompletionHandler completion);
void ZV_setImageWithURL(UIImageView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, ZVWebImageProgressHandler progress,
                        ZVWebImageTransformHandler transform, ZVWebImageCompletionHandler completion);
void ZV_setImageWithURL(UIImageView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, std::shared_ptr<ZVWebImageManager> manager,
                        ZVWebImageProgressHandler progress, ZVWebImageTransformHandler transform,
                        ZVWebImageCompletionHandler completion);
void ZV_cancelCurrentImageRequest(UIImageView& view);

std::optional<NSURL> ZV_highlightedImageURL(const UIImageView& view);
void setZV_highlightedImageURL(UIImageView& view, const ZVWebImageURL& url);
void ZV_setHighlightedImageWithURL(UIImageView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder);
void ZV_setHighlightedImageWithURL(UIImageView& view, const ZVWebImageURL& url, ZVWebImageOptions options);
void ZV_setHighlightedImageWithURL(UIImageView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                                   ZVWebImageOptions options, ZVWebImageCompletionHandler completion);
void ZV_setHighlightedImageWithURL(UIImageView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                                   ZVWebImageOptions options, ZVWebImageProgressHandler progress,
                                   ZVWebImageTransformHandler transform, ZVWebImageCompletionHandler completion);
void ZV_setHighlightedImageWithURL(UIImageView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                                   ZVWebImageOptions options, std::shared_ptr<ZVWebImageManager> manager,
                                   ZVWebImageProgressHandler progress, ZVWebImageTransformHandler transform,
                                   ZVWebImageCompletionHandler completion);
void ZV_cancelCurrentHighlightedImageRequest(UIImageView& view);

}  // namespace ZVWebImage
