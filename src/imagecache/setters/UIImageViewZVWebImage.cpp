#include "imagecache/setters/UIImageViewZVWebImage.h"

namespace ZVWebImage {

namespace {

const char kImageSetterKey = 0;
const char kHighlightedImageSetterKey = 0;

std::weak_ptr<UIImageView> weakView(UIImageView& view) {
    return std::static_pointer_cast<UIImageView>(view.weak_from_this().lock());
}

// The image (or, with `highlighted`, the highlighted image) of `view`; it
// fades only while the view shows that image.
zvwebimage_detail::Target targetOf(UIImageView& view, bool highlighted) {
    auto weak = weakView(view);
    return {[weak, highlighted](std::shared_ptr<UIImage> image) {
                auto v = weak.lock();
                if (!v) return false;
                highlighted ? v->setHighlightedImage(std::move(image)) : v->setImage(std::move(image));
                return true;
            },
            [weak, highlighted]() -> CALayer* {
                auto v = weak.lock();
                return v && v->isHighlighted() == highlighted ? v->layer().get() : nullptr;
            }};
}

void set(UIImageView& view, bool highlighted, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
         ZVWebImageOptions options, std::shared_ptr<ZVWebImageManager> manager, ZVWebImageProgressHandler progress,
         ZVWebImageTransformHandler transform, ZVWebImageCompletionHandler completion) {
    auto setter = zvwebimage_detail::lazySetter(view, highlighted ? &kHighlightedImageSetterKey : &kImageSetterKey);
    zvwebimage_detail::setImageWithURL(setter, targetOf(view, highlighted), url, std::move(placeholder), options,
                                       std::move(manager), std::move(progress), std::move(transform),
                                       std::move(completion));
}

std::optional<NSURL> urlOf(const UIImageView& view, const void* key) {
    auto setter = zvwebimage_detail::setterOf(view, key);
    return setter ? setter->imageURL() : std::nullopt;
}

void cancel(UIImageView& view, const void* key) {
    if (auto setter = zvwebimage_detail::setterOf(view, key)) setter->cancel();
}

}  // namespace

std::optional<NSURL> ZV_imageURL(const UIImageView& view) { return urlOf(view, &kImageSetterKey); }
void setZV_imageURL(UIImageView& view, const ZVWebImageURL& url) { ZV_setImageWithURL(view, url, nullptr, 0, nullptr, {}, {}, {}); }
void ZV_setImageWithURL(UIImageView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder) {
    ZV_setImageWithURL(view, url, std::move(placeholder), 0, nullptr, {}, {}, {});
}
void ZV_setImageWithURL(UIImageView& view, const ZVWebImageURL& url, ZVWebImageOptions options) {
    ZV_setImageWithURL(view, url, nullptr, options, nullptr, {}, {}, {});
}
void ZV_setImageWithURL(UIImageView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, ZVWebImageCompletionHandler completion) {
    ZV_setImageWithURL(view, url, std::move(placeholder), options, nullptr, {}, {}, std::move(completion));
}
void ZV_setImageWithURL(UIImageView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, ZVWebImageProgressHandler progress,
                        ZVWebImageTransformHandler transform, ZVWebImageCompletionHandler completion) {
    ZV_setImageWithURL(view, url, std::move(placeholder), options, nullptr, std::move(progress), std::move(transform),
                       std::move(completion));
}
void ZV_setImageWithURL(UIImageView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, std::shared_ptr<ZVWebImageManager> manager,
                        ZVWebImageProgressHandler progress, ZVWebImageTransformHandler transform,
                        ZVWebImageCompletionHandler completion) {
    set(view, false, url, std::move(placeholder), options, std::move(manager), std::move(progress), std::move(transform),
        std::move(completion));
}
void ZV_cancelCurrentImageRequest(UIImageView& view) { cancel(view, &kImageSetterKey); }

std::optional<NSURL> ZV_highlightedImageURL(const UIImageView& view) { return urlOf(view, &kHighlightedImageSetterKey); }
void setZV_highlightedImageURL(UIImageView& view, const ZVWebImageURL& url) {
    ZV_setHighlightedImageWithURL(view, url, nullptr, 0, nullptr, {}, {}, {});
}
void ZV_setHighlightedImageWithURL(UIImageView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder) {
    ZV_setHighlightedImageWithURL(view, url, std::move(placeholder), 0, nullptr, {}, {}, {});
}
void ZV_setHighlightedImageWithURL(UIImageView& view, const ZVWebImageURL& url, ZVWebImageOptions options) {
    ZV_setHighlightedImageWithURL(view, url, nullptr, options, nullptr, {}, {}, {});
}
void ZV_setHighlightedImageWithURL(UIImageView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                                   ZVWebImageOptions options, ZVWebImageCompletionHandler completion) {
    ZV_setHighlightedImageWithURL(view, url, std::move(placeholder), options, nullptr, {}, {}, std::move(completion));
}
void ZV_setHighlightedImageWithURL(UIImageView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                                   ZVWebImageOptions options, ZVWebImageProgressHandler progress,
                                   ZVWebImageTransformHandler transform, ZVWebImageCompletionHandler completion) {
    ZV_setHighlightedImageWithURL(view, url, std::move(placeholder), options, nullptr, std::move(progress),
                                  std::move(transform), std::move(completion));
}
void ZV_setHighlightedImageWithURL(UIImageView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                                   ZVWebImageOptions options, std::shared_ptr<ZVWebImageManager> manager,
                                   ZVWebImageProgressHandler progress, ZVWebImageTransformHandler transform,
                                   ZVWebImageCompletionHandler completion) {
    set(view, true, url, std::move(placeholder), options, std::move(manager), std::move(progress), std::move(transform),
        std::move(completion));
}
void ZV_cancelCurrentHighlightedImageRequest(UIImageView& view) { cancel(view, &kHighlightedImageSetterKey); }

}  // namespace ZVWebImage
