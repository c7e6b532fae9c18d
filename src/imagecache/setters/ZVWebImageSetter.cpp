#include "imagecache/setters/ZVWebImageSetter.h"

#include "imagecache/ZVImageCache.h"
#include "imagecache/webimage/ZVWebImageOperation.h"
#include "platform/ui/CALayer.h"

// ---- The setter

_ZVWebImageSetter::~_ZVWebImageSetter() {
    ++sentinel_;
    if (operation_) operation_->cancel();
}

std::optional<NSURL> _ZVWebImageSetter::imageURL() const {
    std::lock_guard lock(lock_);
    return imageURL_;
}

int32_t _ZVWebImageSetter::setOperationWithSentinel(int32_t sentinel, const NSURL& url, ZVWebImageOptions options,
                                                    const std::shared_ptr<ZVWebImageManager>& manager,
                                                    ZVWebImageProgressHandler progress,
                                                    ZVWebImageTransformHandler transform,
                                                    ZVWebImageCompletionHandler completion) {
    if (sentinel != sentinel_) {
        if (completion) completion(nullptr, url, ZVWebImageSourceNone, ZVWebImageStageCancelled, std::nullopt);
        return sentinel_;
    }
    auto operation = manager->requestImageWithURL(url, options, std::move(progress), std::move(transform), completion);
    if (!operation && completion)
        completion(nullptr, url, ZVWebImageSourceNone, ZVWebImageStageFinished,
                   Error::withDescription(ZVWebImageErrorDomain, -1, "ZVWebImageOperation create failed."));
    std::lock_guard lock(lock_);
    if (sentinel != sentinel_) {
        if (operation) operation->cancel();
        return sentinel;
    }
    if (operation_) operation_->cancel();
    operation_ = std::move(operation);
    return ++sentinel_;
}

int32_t _ZVWebImageSetter::cancelWithNewURL(std::optional<NSURL> url) {
    std::lock_guard lock(lock_);
    if (operation_) operation_->cancel();
    operation_.reset();
    imageURL_ = std::move(url);
    return ++sentinel_;
}

const std::shared_ptr<DispatchQueue>& _ZVWebImageSetter::setterQueue() {
    static auto* queue = new std::shared_ptr<DispatchQueue>(DispatchQueue::serial("com.odvanel.webimage.setter"));
    return *queue;
}

std::shared_ptr<_ZVWebImageSetter> _ZVWebImageSetterDicForButton::setterForState(unsigned state) const {
    std::lock_guard lock(lock_);
    auto it = dic_.find(state);
    return it == dic_.end() ? nullptr : it->second;
}

std::shared_ptr<_ZVWebImageSetter> _ZVWebImageSetterDicForButton::lazySetterForState(unsigned state) {
    std::lock_guard lock(lock_);
    auto& setter = dic_[state];
    if (!setter) setter = std::make_shared<_ZVWebImageSetter>();
    return setter;
}

std::vector<unsigned> ZVControlStateSingleStates(unsigned state) {
    if ((state & 0xFF) == 0) return {0};
    std::vector<unsigned> out;
    for (unsigned bit : {1u, 2u, 4u})
        if (state & bit) out.push_back(bit);
    return out;
}

// ---- The flow

namespace zvwebimage_detail {

namespace {

// Where a result learns the sentinel its request was installed with. The
// installation finishes on the setter queue, possibly after the operation
// already answered; such a result waits for it there.
struct Installation {
    std::atomic<bool> done{false};
    std::atomic<int32_t> sentinel{0};
    std::weak_ptr<_ZVWebImageSetter> setter;
};

struct Delivery {
    std::shared_ptr<UIImage> image;
    NSURL url;
    ZVWebImageSource from;
    ZVWebImageStage stage;
    std::optional<Error> error;
};

// Main thread: shows a delivered image unless superseded, then tells the caller.
void deliver(const std::shared_ptr<Installation>& installation, const Target& target, ZVWebImageOptions options,
             const ZVWebImageCompletionHandler& completion, const Delivery& d) {
    if (!installation->done) {
        _ZVWebImageSetter::setterQueue()->async([=] {
            dispatch_main_async([=] { deliver(installation, target, options, completion, d); });
        });
        return;
    }
    auto setter = installation->setter.lock();  // a setter that is gone supersedes nothing
    bool superseded = setter && setter->sentinel() != installation->sentinel;
    bool show = d.image && d.stage != ZVWebImageStageCancelled && !(options & ZVWebImageOptionManualSet);
    if (show && !superseded) {
        CALayer* layer = (options & ZVWebImageOptionFadeIn) ? target.fadeLayer() : nullptr;
        if (layer) {
            CATransition fade;
            fade.type = kCATransitionFade;
            fade.duration = d.stage == ZVWebImageStageFinished ? 0.2 : 0.4;
            fade.timingFunction = kCAMediaTimingFunctionEaseInEaseOut;
            layer->addAnimation(fade, ZVWebImageFadeAnimationKey);
        }
        target.set(d.image);
    }
    if (!completion) return;
    if (superseded) completion(nullptr, d.url, ZVWebImageSourceNone, ZVWebImageStageCancelled, std::nullopt);
    else completion(d.image, d.url, d.from, d.stage, d.error);
}

}  // namespace

void setImageWithURL(const std::shared_ptr<_ZVWebImageSetter>& setter, const Target& target, const ZVWebImageURL& urlArg,
                     std::shared_ptr<UIImage> placeholder, ZVWebImageOptions options,
                     std::shared_ptr<ZVWebImageManager> manager, ZVWebImageProgressHandler progress,
                     ZVWebImageTransformHandler transform, ZVWebImageCompletionHandler completion) {
    const std::optional<NSURL>& url = urlArg.url;
    if (!manager) manager = ZVWebImageManager::sharedManager();
    int32_t sentinel = setter->cancelWithNewURL(url);
    bool requested = false;
    DispatchQueue::main()->sync([&] {
        if ((options & ZVWebImageOptionFadeIn) && !(options & ZVWebImageOptionManualSet))
            if (CALayer* layer = target.fadeLayer()) layer->removeAnimationForKey(ZVWebImageFadeAnimationKey);
        bool placeholderShown = !(options & ZVWebImageOptionNoPlaceholder);
        if (!url) {
            if (placeholderShown) target.set(placeholder);
            return;
        }
        auto& cache = manager->cache();
        if (cache && !(options & (ZVWebImageOptionUseURLCache | ZVWebImageOptionReloadIgnoringImageCache))) {
            if (auto image = cache->getImageForKey(manager->cacheKeyForURL(*url), ZVImageCacheTypeMemory)) {
                if (!(options & ZVWebImageOptionManualSet)) target.set(image);
                if (completion)
                    completion(image, *url, ZVWebImageSourceMemoryImmediate, ZVWebImageStageFinished, std::nullopt);
                return;
            }
        }
        if (placeholderShown) target.set(placeholder);
        requested = true;
    });
    if (!requested) return;
    _ZVWebImageSetter::setterQueue()->async([=, url = *url] {
        auto installation = std::make_shared<Installation>();
        installation->setter = setter;
        ZVWebImageProgressHandler progressOnMain;
        if (progress)
            progressOnMain = [progress](int64_t received, int64_t expected) {
                dispatch_main_async([=] { progress(received, expected); });
            };
        ZVWebImageCompletionHandler completionOnMain = [=](std::shared_ptr<UIImage> image, const NSURL& u,
                                                           ZVWebImageSource from, ZVWebImageStage stage,
                                                           const std::optional<Error>& error) {
            Delivery d{std::move(image), u, from, stage, error};
            dispatch_main_async([=] { deliver(installation, target, options, completion, d); });
        };
        installation->sentinel = setter->setOperationWithSentinel(sentinel, url, options, manager, progressOnMain,
                                                                  transform, completionOnMain);
        installation->done = true;
    });
}

}  // namespace zvwebimage_detail
