#pragma once
// Images and background images from URLs on buttons (the category
// UIButton(ZVWebImage)), one request per single control state: a state
// with several bits (highlighted | selected = 5) makes one independent
// request for each, and a state's URL is that of its first single state
// (highlighted, then disabled, then selected, else normal). Images and
// background images load independently. Buttons never fade. The flow and
// threads are those of ZVWebImageSetter.h.

#include "imagecache/setters/ZVWebImageSetter.h"
#include "platform/ui/UIButton.h"

namespace ZVWebImage {

std::optional<NSURL> ZV_imageURLForState(const UIButton& button, unsigned state);
void ZV_setImageWithURL(UIButton& button, const ZVWebImageURL& url, unsigned state,
                        std::shared_ptr<UIImage> placeholder);
void ZV_setImageWithURL(UIButton& button, const ZVWebImageURL& url, unsigned state, ZVWebImageOptions options);
void ZV_setImageWithURL(UIButton& button, const ZVWebImageURL& url, unsigned state, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, ZVWebImageCompletionHandler completion);
void ZV_setImageWithURL(UIButton& button, const ZVWebImageURL& url, unsigned state, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, ZVWebImageProgressHandler progress,
                        ZVWebImageTransformHandler transform, ZVWebImageCompletionHandler completion);
void ZV_setImageWithURL(UIButton& button, const ZVWebImageURL& url, unsigned state, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, std::shared_ptr<ZVWebImageManager> manager,
                        ZVWebImageProgressHandler progress, ZVWebImageTransformHandler transform,
                        ZVWebImageCompletionHandler completion);
void ZV_cancelImageRequestForState(UIButton& button, unsigned state);

std::optional<NSURL> ZV_backgroundImageURLForState(const UIButton& button, unsigned state);
void ZV_setBackgroundImageWithURL(UIButton& button, const ZVWebImageURL& url, unsigned state,
                                  std::shared_ptr<UIImage> placeholder);
void ZV_setBackgroundImageWithURL(UIButton& button, const ZVWebImageURL& url, unsigned state,
                                  ZVWebImageOptions options);
void ZV_setBackgroundImageWithURL(UIButton& button, const ZVWebImageURL& url, unsigned state,
                                  std::shared_ptr<UIImage> placeholder, ZVWebImageOptions options,
                                  ZVWebImageCompletionHandler completion);
void ZV_setBackgroundImageWithURL(UIButton& button, const ZVWebImageURL& url, unsigned state,
                                  std::shared_ptr<UIImage> placeholder, ZVWebImageOptions options,
                                  ZVWebImageProgressHandler progress, ZVWebImageTransformHandler transform,
                                  ZVWebImageCompletionHandler completion);
void ZV_setBackgroundImageWithURL(UIButton& button, const ZVWebImageURL& url, unsigned state,
                                  std::shared_ptr<UIImage> placeholder, ZVWebImageOptions options,
                                  std::shared_ptr<ZVWebImageManager> manager, ZVWebImageProgressHandler progress,
                                  ZVWebImageTransformHandler transform, ZVWebImageCompletionHandler completion);
void ZV_cancelBackgroundImageRequestForState(UIButton& button, unsigned state);

}  // namespace ZVWebImage
