#include "imagecache/setters/UIButtonZVWebImage.h"

namespace ZVWebImage {

namespace {

const char kImageSettersKey = 0;
const char kBackgroundImageSettersKey = 0;

std::shared_ptr<_ZVWebImageSetterDicForButton> settersOf(UIButton& button, bool background) {
    return button.associatedObject<_ZVWebImageSetterDicForButton>(
        background ? &kBackgroundImageSettersKey : &kImageSettersKey,
        [] { return std::make_shared<_ZVWebImageSetterDicForButton>(); });
}

std::shared_ptr<_ZVWebImageSetterDicForButton> existingSettersOf(const UIButton& button, bool background) {
    return std::static_pointer_cast<_ZVWebImageSetterDicForButton>(
        button.associatedObject(background ? &kBackgroundImageSettersKey : &kImageSettersKey));
}

zvwebimage_detail::Target targetOf(UIButton& button, bool background, unsigned state) {
    auto weak = std::weak_ptr<UIButton>(std::static_pointer_cast<UIButton>(button.weak_from_this().lock()));
    return {[weak, background, state](std::shared_ptr<UIImage> image) {
                auto b = weak.lock();
                if (!b) return false;
                background ? b->setBackgroundImage(std::move(image), state) : b->setImage(std::move(image), state);
                return true;
            },
            []() -> CALayer* { return nullptr; }};
}

std::optional<NSURL> urlFor(const UIButton& button, bool background, unsigned state) {
    auto setters = existingSettersOf(button, background);
    auto setter = setters ? setters->setterForState(ZVControlStateSingleStates(state).front()) : nullptr;
    return setter ? setter->imageURL() : std::nullopt;
}

void set(UIButton& button, bool background, const ZVWebImageURL& url, unsigned state,
         std::shared_ptr<UIImage> placeholder, ZVWebImageOptions options, std::shared_ptr<ZVWebImageManager> manager,
         ZVWebImageProgressHandler progress, ZVWebImageTransformHandler transform,
         ZVWebImageCompletionHandler completion) {
    auto setters = settersOf(button, background);
    for (unsigned single : ZVControlStateSingleStates(state))
        zvwebimage_detail::setImageWithURL(setters->lazySetterForState(single), targetOf(button, background, single),
                                           url, placeholder, options, manager, progress, transform, completion);
}

void cancel(UIButton& button, bool background, unsigned state) {
    auto setters = existingSettersOf(button, background);
    if (!setters) return;
    for (unsigned single : ZVControlStateSingleStates(state))
        if (auto setter = setters->setterForState(single)) setter->cancel();
}

}  // namespace

std::optional<NSURL> ZV_imageURLForState(const UIButton& button, unsigned state) { return urlFor(button, false, state); }
void ZV_setImageWithURL(UIButton& button, const ZVWebImageURL& url, unsigned state, std::shared_ptr<UIImage> placeholder) {
    set(button, false, url, state, std::move(placeholder), 0, nullptr, {}, {}, {});
}
void ZV_setImageWithURL(UIButton& button, const ZVWebImageURL& url, unsigned state, ZVWebImageOptions options) {
    set(button, false, url, state, nullptr, options, nullptr, {}, {}, {});
}
void ZV_setImageWithURL(UIButton& button, const ZVWebImageURL& url, unsigned state, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, ZVWebImageCompletionHandler completion) {
    set(button, false, url, state, std::move(placeholder), options, nullptr, {}, {}, std::move(completion));
}
void ZV_setImageWithURL(UIButton& button, const ZVWebImageURL& url, unsigned state, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, ZVWebImageProgressHandler progress,
                        ZVWebImageTransformHandler transform, ZVWebImageCompletionHandler completion) {
    set(button, false, url, state, std::move(placeholder), options, nullptr, std::move(progress), std::move(transform),
        std::move(completion));
}
void ZV_setImageWithURL(UIButton& button, const ZVWebImageURL& url, unsigned state, std::shared_ptr<UIImage> placeholder,
                        ZVWebImageOptions options, std::shared_ptr<ZVWebImageManager> manager,
                        ZVWebImageProgressHandler progress, ZVWebImageTransformHandler transform,
                        ZVWebImageCompletionHandler completion) {
    set(button, false, url, state, std::move(placeholder), options, std::move(manager), std::move(progress),
        std::move(transform), std::move(completion));
}
void ZV_cancelImageRequestForState(UIButton& button, unsigned state) { cancel(button, false, state); }

std::optional<NSURL> ZV_backgroundImageURLForState(const UIButton& button, unsigned state) {
    return urlFor(button, true, state);
}
void ZV_setBackgroundImageWithURL(UIButton& button, const ZVWebImageURL& url, unsigned state,
                                  std::shared_ptr<UIImage> placeholder) {
    set(button, true, url, state, std::move(placeholder), 0, nullptr, {}, {}, {});
}
void ZV_setBackgroundImageWithURL(UIButton& button, const ZVWebImageURL& url, unsigned state, ZVWebImageOptions options) {
    set(button, true, url, state, nullptr, options, nullptr, {}, {}, {});
}
void ZV_setBackgroundImageWithURL(UIButton& button, const ZVWebImageURL& url, unsigned state,
                                  std::shared_ptr<UIImage> placeholder, ZVWebImageOptions options,
                                  ZVWebImageCompletionHandler completion) {
    set(button, true, url, state, std::move(placeholder), options, nullptr, {}, {}, std::move(completion));
}
void ZV_setBackgroundImageWithURL(UIButton& button, const ZVWebImageURL& url, unsigned state,
                                  std::shared_ptr<UIImage> placeholder, ZVWebImageOptions options,
                                  ZVWebImageProgressHandler progress, ZVWebImageTransformHandler transform,
                                  ZVWebImageCompletionHandler completion) {
    set(button, true, url, state, std::move(placeholder), options, nullptr, std::move(progress), std::move(transform),
        std::move(completion));
}
void ZV_setBackgroundImageWithURL(UIButton& button, const ZVWebImageURL& url, unsigned state,
                                  std::shared_ptr<UIImage> placeholder, ZVWebImageOptions options,
                                  std::shared_ptr<ZVWebImageManager> manager, ZVWebImageProgressHandler progress,
                                  ZVWebImageTransformHandler transform, ZVWebImageCompletionHandler completion) {
    set(button, true, url, state, std::move(placeholder), options, std::move(manager), std::move(progress),
        std::move(transform), std::move(completion));
}
void ZV_cancelBackgroundImageRequestForState(UIButton& button, unsigned state) { cancel(button, true, state); }

}  // namespace ZVWebImage
