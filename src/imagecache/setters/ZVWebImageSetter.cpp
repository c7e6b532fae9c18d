#include "imagecache/setters/ZVWebImageSetter.h"

#include <utility>

#include "imagecache/ZVImageCache.h"
#include "imagecache/webimage/ZVWebImageOperation.h"
#include "platform/foundation/PlatformLog.h"
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
    // Operations are cancelled after the lock is let go: a cancel waits for
    // the operation's own lock, which a completion call may hold.
    std::shared_ptr<NSOperation> dropped;
    int32_t installed = sentinel;
    {
        std::lock_guard lock(lock_);
        if (sentinel != sentinel_) {
            dropped = std::move(operation);
        } else {
            dropped = std::exchange(operation_, std::move(operation));
            installed = ++sentinel_;
        }
    }
    if (dropped) dropped->cancel();
    return installed;
}

int32_t _ZVWebImageSetter::cancelWithNewURL(std::optional<NSURL> url) {
    std::shared_ptr<NSOperation> dropped;
    int32_t sentinel = supersedeWithNewURL(std::move(url), &dropped);
    if (dropped) dropped->cancel();
    return sentinel;
}

int32_t _ZVWebImageSetter::supersedeWithNewURL(std::optional<NSURL> url, std::shared_ptr<NSOperation>* superseded) {
    std::lock_guard lock(lock_);
    *superseded = std::move(operation_);
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

// Requests made close together (a list filling its cells) reach the setter
// queue as one block, in the order they were made: one wake-up of the queue
// for them all, and the caller posts nothing while a block is pending. The
// operations they supersede are all cancelled first, before any new
// request is made, so that as few as may be still go out.
class RequestBatch {
public:
    static void post(std::shared_ptr<NSOperation> superseded, std::function<void()> request) {
        auto& batch = shared();
        bool first;
        {
            std::lock_guard lock(batch.mutex_);
            first = batch.pending_.empty();
            batch.pending_.push_back({std::move(superseded), std::move(request)});
        }
        if (first) _ZVWebImageSetter::setterQueue()->async([] { shared().run(); });
    }

private:
    static RequestBatch& shared() {
        static auto* batch = new RequestBatch();
        return *batch;
    }
    struct Pending {
        std::shared_ptr<NSOperation> superseded;
        std::function<void()> request;
    };

    void run() {
        std::vector<Pending> batch;
        {
            std::lock_guard lock(mutex_);
            batch.swap(pending_);
        }
        for (auto& p : batch)
            if (p.superseded) p.superseded->cancel();
        for (auto& p : batch) {
            try {
                p.request();
            } catch (const std::exception& e) {
                NSLog("An image request threw: %s", e.what());
            }
        }
    }

    std::mutex mutex_;  // guards pending_
    std::vector<Pending> pending_;
};

struct Delivery {
    std::shared_ptr<UIImage> image;
    NSURL url;
    ZVWebImageSource from;
    ZVWebImageStage stage;
    std::optional<Error> error;
};

// One request of a setter, as its results need it on the main thread. The
// request is installed (and learns the sentinel its results must find) on
// the setter queue, possibly after its operation already answered: such
// answers wait here, and go to the main thread, in order, once it is.
class Request : public std::enable_shared_from_this<Request> {
public:
    Request(Target target, ZVWebImageOptions options, ZVWebImageCompletionHandler completion,
            std::weak_ptr<_ZVWebImageSetter> setter)
        : target_(std::move(target)), options_(options), completion_(std::move(completion)), setter_(std::move(setter)) {}

    // The operation's thread: whether a result has anything to do on the main
    // thread, an image to show or a completion to tell. A superseded or
    // failed result for no completion goes nowhere.
    bool needsMainThread(const std::shared_ptr<UIImage>& image, ZVWebImageStage stage) {
        if (completion_) return true;
        if (!image || stage == ZVWebImageStageCancelled || (options_ & ZVWebImageOptionManualSet)) return false;
        std::lock_guard lock(mutex_);
        if (!installed_) return true;  // its sentinel is not known yet
        auto setter = setter_.lock();
        return !setter || setter->sentinel() == sentinel_;
    }

    // Main thread.
    void deliver(Delivery d) {
        {
            std::lock_guard lock(mutex_);
            if (!installed_ || !waiting_.empty()) {
                waiting_.push_back(std::move(d));
                return;
            }
        }
        show(d);
    }

    // Setter queue.
    void install(int32_t sentinel) {
        std::lock_guard lock(mutex_);
        installed_ = true;
        sentinel_ = sentinel;
        if (waiting_.empty()) return;
        dispatch_main_async([self = shared_from_this()] { self->flush(); });
    }

private:
    void flush() {
        std::vector<Delivery> waiting;
        {
            std::lock_guard lock(mutex_);
            waiting.swap(waiting_);
        }
        for (auto& d : waiting) show(d);
    }

    // Shows a delivered image unless superseded, then tells the caller.
    void show(const Delivery& d) {
        auto setter = setter_.lock();  // a setter that is gone supersedes nothing
        bool superseded = setter && setter->sentinel() != sentinel_;
        bool shown = d.image && d.stage != ZVWebImageStageCancelled && !(options_ & ZVWebImageOptionManualSet);
        if (shown && !superseded) {
            CALayer* layer = (options_ & ZVWebImageOptionFadeIn) ? target_.fadeLayer() : nullptr;
            if (layer) {
                CATransition fade;
                fade.type = kCATransitionFade;
                fade.duration = d.stage == ZVWebImageStageFinished ? 0.2 : 0.4;
                fade.timingFunction = kCAMediaTimingFunctionEaseInEaseOut;
                layer->addAnimation(fade, ZVWebImageFadeAnimationKey);
            }
            target_.set(d.image);
        }
        if (!completion_) return;
        if (superseded) completion_(nullptr, d.url, ZVWebImageSourceNone, ZVWebImageStageCancelled, std::nullopt);
        else completion_(d.image, d.url, d.from, d.stage, d.error);
    }

    const Target target_;
    const ZVWebImageOptions options_;
    const ZVWebImageCompletionHandler completion_;
    const std::weak_ptr<_ZVWebImageSetter> setter_;
    std::mutex mutex_;  // guards the three below
    bool installed_ = false;
    int32_t sentinel_ = 0;  // read on the main thread once installed_ was seen
    std::vector<Delivery> waiting_;
};

}  // namespace

void setImageWithURL(const std::shared_ptr<_ZVWebImageSetter>& setter, const Target& target, const ZVWebImageURL& urlArg,
                     std::shared_ptr<UIImage> placeholder, ZVWebImageOptions options,
                     std::shared_ptr<ZVWebImageManager> manager, ZVWebImageProgressHandler progress,
                     ZVWebImageTransformHandler transform, ZVWebImageCompletionHandler completion) {
    const std::optional<NSURL>& url = urlArg.url;
    if (!manager) manager = ZVWebImageManager::sharedManager();
    // The superseded operation is cancelled by the new request's block on
    // the setter queue, not here: its results are dropped at once all the
    // same (the sentinel moved), and the main thread does not wait for it.
    std::shared_ptr<NSOperation> superseded;
    int32_t sentinel = setter->supersedeWithNewURL(url, &superseded);
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
    if (!requested) {
        if (superseded) superseded->cancel();
        return;
    }
    RequestBatch::post(std::move(superseded), [=, url = *url] {
        auto request = std::make_shared<Request>(target, options, completion, setter);
        ZVWebImageProgressHandler progressOnMain;
        if (progress)
            progressOnMain = [progress](int64_t received, int64_t expected) {
                dispatch_main_async([=] { progress(received, expected); });
            };
        ZVWebImageCompletionHandler completionOnMain = [request](std::shared_ptr<UIImage> image, const NSURL& u,
                                                                 ZVWebImageSource from, ZVWebImageStage stage,
                                                                 const std::optional<Error>& error) {
            if (!request->needsMainThread(image, stage)) return;
            dispatch_main_async([request, d = Delivery{std::move(image), u, from, stage, error}] { request->deliver(d); });
        };
        request->install(setter->setOperationWithSentinel(sentinel, url, options, manager, progressOnMain, transform,
                                                          completionOnMain));
    });
}

}  // namespace zvwebimage_detail
