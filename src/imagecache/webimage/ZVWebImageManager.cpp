#include "imagecache/webimage/ZVWebImageManager.h"

#include <mutex>

#include "imagecache/ZVImageCache.h"
#include "imagecache/webimage/ZVWebImageOperation.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSync.h"
#include "platform/dispatch/NSOperationQueue.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/UIApplication.h"

namespace {

// Changes closer together than this make one indicator update.
constexpr std::chrono::nanoseconds kIndicatorDelay{1'000'000'000 / 30};

// What the indicator follows. Main thread only; made on the first change.
struct NetworkIndicatorInfo {
    long count = 0;
    std::shared_ptr<DispatchTimer> timer;  // the pending update
};
NetworkIndicatorInfo* gIndicatorInfo = nullptr;

// WebP is never decoded here, so it is never asked for.
bool ZVWebPAvailable() { return false; }

}  // namespace

UIApplication* ZVWebImageSharedApplication() {
    static const bool noApplication =
        strings::hasSuffix(NSBundle::mainBundle().bundlePath().string(), ".appex");
    return noApplication ? nullptr : &UIApplication::sharedApplication();
}

const std::shared_ptr<ZVWebImageManager>& ZVWebImageManager::sharedManager() {
    static auto* manager = [] {
        auto queue = std::make_shared<NSOperationQueue>();
        queue->setQualityOfService(NSOperationQueue::QoS::Background);
        return new std::shared_ptr<ZVWebImageManager>(
            std::make_shared<ZVWebImageManager>(ZVImageCache::sharedCache(), std::move(queue)));
    }();
    return *manager;
}

ZVWebImageManager::ZVWebImageManager(std::shared_ptr<ZVImageCache> cache, std::shared_ptr<NSOperationQueue> queue)
    : cache_(std::move(cache)), queue_(std::move(queue)) {
    headers_ = {{"Accept", ZVWebPAvailable() ? "image/webp,image/*;q=0.8" : "image/*;q=0.8"}};
}

URLRequest ZVWebImageManager::requestForURL(const NSURL& url, ZVWebImageOptions options) const {
    URLRequest request(url.absoluteString());
    request.timeout = std::chrono::milliseconds(int64_t(timeout_ * 1000));
    request.httpShouldHandleCookies = options & ZVWebImageOptionSendCookies;
    for (auto& [name, value] : headersForURL(url)) request.setValue(value, name);
    // Pipelining is curl's to choose (HTTP/2 multiplexes); the policy is
    // kept for what it says, though no HTTP cache exists to use it.
    request.cachePolicy = (options & ZVWebImageOptionUseURLCache) ? NSURLRequestCachePolicy::UseProtocolCachePolicy
                                                                   : NSURLRequestCachePolicy::ReloadIgnoringLocalCacheData;
    return request;
}

std::shared_ptr<ZVWebImageOperation> ZVWebImageManager::requestImageWithURL(const NSURL& url, ZVWebImageOptions options,
                                                                            ZVWebImageProgressHandler progress,
                                                                            ZVWebImageTransformHandler transform,
                                                                            ZVWebImageCompletionHandler completion) {
    auto operation = ZVWebImageOperation::initWithRequest(requestForURL(url, options), options, cache_,
                                                          cacheKeyForURL(url), std::move(progress),
                                                          transform ? std::move(transform) : sharedTransform_,
                                                          std::move(completion));
    if (!operation) return nullptr;
    if (username_ && password_)
        operation->setCredential(URLCredential{*username_, *password_, URLCredential::Persistence::ForSession});
    operation->setMaxBodyBytes(maxBodyBytes_);
    operation->setExtraCAFile(extraCAFile_);
    if (queue_) queue_->addOperation(operation);
    else operation->start();
    return operation;
}

ZVWebImageManager::Headers ZVWebImageManager::headersForURL(const NSURL& url) const {
    return headersFilter_ ? headersFilter_(url, headers_) : headers_;
}

std::string ZVWebImageManager::cacheKeyForURL(const NSURL& url) const {
    return cacheKeyFilter_ ? cacheKeyFilter_(url) : url.absoluteString();
}

// ---- The network activity indicator

void ZVWebImageManager::incrementNetworkActivityCount() { changeNetworkActivityCount(+1); }
void ZVWebImageManager::decrementNetworkActivityCount() { changeNetworkActivityCount(-1); }

long ZVWebImageManager::currentNetworkActivityCount() { return gIndicatorInfo ? gIndicatorInfo->count : 0; }

void ZVWebImageManager::changeNetworkActivityCount(long delta) {
    if (!ZVWebImageSharedApplication()) return;
    auto change = [delta] {
        if (!gIndicatorInfo) gIndicatorInfo = new NetworkIndicatorInfo();
        auto& info = *gIndicatorInfo;
        info.count += delta;
        if (info.timer) info.timer->cancel();
        bool visible = info.count > 0;
        info.timer = DispatchTimer::create(DispatchQueue::main());
        info.timer->setEventHandler([visible, timer = std::weak_ptr<DispatchTimer>(info.timer)] {
            if (auto* app = ZVWebImageSharedApplication(); app && app->isNetworkActivityIndicatorVisible() != visible)
                app->setNetworkActivityIndicatorVisible(visible);
            if (auto t = timer.lock()) t->cancel();
        });
        info.timer->schedule(kIndicatorDelay);
        info.timer->resume();
    };
    if (isMainThread()) change();
    else dispatch_main_async(change);
}
