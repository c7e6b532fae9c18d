#pragma once
// Images from URLs as a layer's contents (the categories
// CALayer(ZVWebImage) and MKAnnotationView(ZVWebImage)), in the manner of
// the image view's setters (UIImageViewZVWebImage.h): a layer's contents
// become the image's bitmap and the layer itself fades; an annotation
// view's image is set and its layer fades while it is not highlighted.

#include "imagecache/setters/ZVWebImageSetter.h"
#include "platform/ui/CALayer.h"
#include "platform/ui/MKAnnotationView.h"

namespace ZVWebImage {

std::optional<NSURL> ZV_imageURL(const CALayer& layer);
void setZV_imageURL(CALayer& layer, const ZVWebImageURL& url);
void ZV_setImageWithURL(CALayer& layer, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder);
void ZV_setImageWithURL(CALayer& layer, const ZVWebImageURL& url, ZVWebImageOptions options);
void ZV_setImageWithURL(CALayer& layer, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, ZVWebImageCompletionHandler completion);
void ZV_setImageWithURL(CALayer& layer, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, ZVWebImageProgressHandler progress,
                        ZVWebImageTransformHandler transform, ZVWebImageCompletionHandler completion);
void ZV_setImageWithURL(CALayer& layer, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, std::shared_ptr<ZVWebImageManager> manager,
                        ZVWebImageProgressHandler progress, ZVWebImageTransformHandler transform,
                        ZVWebImageCompletionHandler completion);
void ZV_cancelCurrentImageRequest(CALayer& layer);

std::optional<NSURL> ZV_imageURL(const MKAnnotationView& view);
void setZV_imageURL(MKAnnotationView& view, const ZVWebImageURL& url);
void ZV_setImageWithURL(MKAnnotationView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder);
void ZV_setImageWithURL(MKAnnotationView& view, const ZVWebImageURL& url, ZVWebImageOptions options);
void ZV_setImageWithURL(MKAnnotationView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, ZVWebImageCompletionHandler completion);
void ZV_setImageWithURL(MKAnnotationView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, ZVWebImageProgressHandler progress,
                        ZVWebImageTransformHandler transform, ZVWebImageCompletionHandler completion);
void ZV_setImageWithURL(MKAnnotationView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, std::shared_ptr<ZVWebImageManager> manager,
                        ZVWebImageProgressHandler progress, ZVWebImageTransformHandler transform,
                        ZVWebImageCompletionHandler completion);
void ZV_cancelCurrentImageRequest(MKAnnotationView& view);

}  // namespace ZVWebImage
