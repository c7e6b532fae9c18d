#include "imagecache/setters/CALayerZVWebImage.h"

namespace ZVWebImage {

namespace {

const char kLayerSetterKey = 0;
const char kAnnotationSetterKey = 0;

zvwebimage_detail::Target targetOf(CALayer& layer) {
    std::weak_ptr<CALayer> weak = layer.weak_from_this();
    return {[weak](std::shared_ptr<UIImage> image) {
                auto l = weak.lock();
                if (!l) return false;
                l->setContents(image ? image->CGImage() : nullptr);
                return true;
            },
            [weak]() -> CALayer* { return weak.lock().get(); }};
}

zvwebimage_detail::Target targetOf(MKAnnotationView& view) {
    auto weak = std::weak_ptr<MKAnnotationView>(std::static_pointer_cast<MKAnnotationView>(view.weak_from_this().lock()));
    return {[weak](std::shared_ptr<UIImage> image) {
                auto v = weak.lock();
                if (!v) return false;
                v->setImage(std::move(image));
                return true;
            },
            [weak]() -> CALayer* {
                auto v = weak.lock();
                return v && !v->isHighlighted() ? v->layer().get() : nullptr;
            }};
}

template <class Object>
std::optional<NSURL> urlOf(const Object& object, const void* key) {
    auto setter = zvwebimage_detail::setterOf(object, key);
    return setter ? setter->imageURL() : std::nullopt;
}

template <class Object>
void cancel(Object& object, const void* key) {
    if (auto setter = zvwebimage_detail::setterOf(object, key)) setter->cancel();
}

}  // namespace

// ---- CALayer

std::optional<NSURL> ZV_imageURL(const CALayer& layer) { return urlOf(layer, &kLayerSetterKey); }
void setZV_imageURL(CALayer& layer, const ZVWebImageURL& url) { ZV_setImageWithURL(layer, url, nullptr, 0, nullptr, {}, {}, {}); }
void ZV_setImageWithURL(CALayer& layer, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder) {
    ZV_setImageWithURL(layer, url, std::move(placeholder), 0, nullptr, {}, {}, {});
}
void ZV_setImageWithURL(CALayer& layer, const ZVWebImageURL& url, ZVWebImageOptions options) {
    ZV_setImageWithURL(layer, url, nullptr, options, nullptr, {}, {}, {});
}
void ZV_setImageWithURL(CALayer& layer, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, ZVWebImageCompletionHandler completion) {
    ZV_setImageWithURL(layer, url, std::move(placeholder), options, nullptr, {}, {}, std::move(completion));
}
void ZV_setImageWithURL(CALayer& layer, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, ZVWebImageProgressHandler progress,
                        ZVWebImageTransformHandler transform, ZVWebImageCompletionHandler completion) {
    ZV_setImageWithURL(layer, url, std::move(placeholder), options, nullptr, std::move(progress), std::move(transform),
                       std::move(completion));
}
void ZV_setImageWithURL(CALayer& layer, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, std::shared_ptr<ZVWebImageManager> manager,
                        ZVWebImageProgressHandler progress, ZVWebImageTransformHandler transform,
                        ZVWebImageCompletionHandler completion) {
    zvwebimage_detail::setImageWithURL(zvwebimage_detail::lazySetter(layer, &kLayerSetterKey), targetOf(layer), url,
                                       std::move(placeholder), options, std::move(manager), std::move(progress),
                                       std::move(transform), std::move(completion));
}
void ZV_cancelCurrentImageRequest(CALayer& layer) { cancel(layer, &kLayerSetterKey); }

// ---- MKAnnotationView

std::optional<NSURL> ZV_imageURL(const MKAnnotationView& view) { return urlOf(view, &kAnnotationSetterKey); }
void setZV_imageURL(MKAnnotationView& view, const ZVWebImageURL& url) {
    ZV_setImageWithURL(view, url, nullptr, 0, nullptr, {}, {}, {});
}
void ZV_setImageWithURL(MKAnnotationView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder) {
    ZV_setImageWithURL(view, url, std::move(placeholder), 0, nullptr, {}, {}, {});
}
void ZV_setImageWithURL(MKAnnotationView& view, const ZVWebImageURL& url, ZVWebImageOptions options) {
    ZV_setImageWithURL(view, url, nullptr, options, nullptr, {}, {}, {});
}
void ZV_setImageWithURL(MKAnnotationView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, ZVWebImageCompletionHandler completion) {
    ZV_setImageWithURL(view, url, std::move(placeholder), options, nullptr, {}, {}, std::move(completion));
}
void ZV_setImageWithURL(MKAnnotationView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, ZVWebImageProgressHandler progress,
                        ZVWebImageTransformHandler transform, ZVWebImageCompletionHandler completion) {
    ZV_setImageWithURL(view, url, std::move(placeholder), options, nullptr, std::move(progress), std::move(transform),
                       std::move(completion));
}
void ZV_setImageWithURL(MKAnnotationView& view, const ZVWebImageURL& url, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, std::shared_ptr<ZVWebImageManager> manager,
                        ZVWebImageProgressHandler progress, ZVWebImageTransformHandler transform,
                        ZVWebImageCompletionHandler completion) {
    zvwebimage_detail::setImageWithURL(zvwebimage_detail::lazySetter(view, &kAnnotationSetterKey), targetOf(view), url,
                                       std::move(placeholder), options, std::move(manager), std::move(progress),
                                       std::move(transform), std::move(completion));
}
void ZV_cancelCurrentImageRequest(MKAnnotationView& view) { cancel(view, &kAnnotationSetterKey); }

}  // namespace ZVWebImage
