#include "imagecache/webimage/ZVWebImageOperation.h"

#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <thread>
#include <vector>

#include "imagecache/ZVImage.h"
#include "imagecache/ZVImageCache.h"
#include "imagecache/ZVImageCoder.h"
#include "imagecache/ZVImageDecoder.h"
#include "imagecache/webimage/ZVWebImageManager.h"
#include "imagecache/webimage/ZVWebImagePartials.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/UIScreen.h"

namespace {

// What a Content-Length may make us set aside before any byte arrives.
constexpr size_t kLargestReservation = 8u << 20;
// The whole load's deadline, in time-outs: the time-out alone only limits a
// silence, which a reply that drips never reaches.
constexpr int kDeadlineInTimeouts = 4;

// Failures that say nothing about the URL itself: it may be tried again.
bool isPassingFailure(long code) {
    return code == NSURLErrorNotConnectedToInternet || code == NSURLErrorCancelled || code == NSURLErrorTimedOut ||
           code == NSURLErrorUserCancelledAuthentication || code == NSURLErrorNetworkConnectionLost;
}

Error blacklistedError() {
    return Error::withDescription(NSURLErrorDomain, NSURLErrorFileDoesNotExist, "Failed to load URL, blacklisted.");
}

double clockSeconds() { return std::chrono::duration<double>(Clock::current().now().time_since_epoch()).count(); }

struct DecodeQueues {
    std::vector<std::shared_ptr<DispatchQueue>> queues;
    std::unique_ptr<std::atomic<int>[]> work;  // blocks queued or running, per queue
    std::atomic<uint32_t> counter{0};
};

DecodeQueues& decodeQueues() {
    static auto* q = [] {
        auto* d = new DecodeQueues();
        unsigned n = std::clamp(std::thread::hardware_concurrency(), 1u, 16u);
        for (unsigned i = 0; i < n; ++i) d->queues.push_back(DispatchQueue::serial("com.odvanel.image.decode"));
        d->work.reset(new std::atomic<int>[n]());
        return d;
    }();
    return *q;
}

// Runs `job` on the next decode queue in turn that has nothing to do (the
// next in turn when all are busy), so that a small image never waits
// behind a large one's decode while another queue idles.
void runOnDecodeQueue(std::function<void()> job) {
    auto& d = decodeQueues();
    uint32_t n = ++d.counter;
    size_t count = d.queues.size(), pick = n % count;
    for (size_t i = 0; i < count; ++i) {
        size_t k = (n + i) % count;
        if (d.work[k].load() == 0) {
            pick = k;
            break;
        }
    }
    ++d.work[pick];
    d.queues[pick]->async([&d, pick, job = std::move(job)] {
        struct Done {
            std::atomic<int>& work;
            ~Done() { --work; }
        } done{d.work[pick]};
        job();
    });
}

// Partial images have a decode queue of their own, so that final decodes
// never wait behind one, and one slot over every download: a large
// picture's partial decode costs several times its pixels, and a page of
// drip-fed pictures would otherwise decode one each at once. (The queue is
// serial: a second slot would want a second queue.)
constexpr unsigned kPartialDecodesAtOnce = 1;

struct PartialDecodes {
    std::shared_ptr<DispatchQueue> queue = DispatchQueue::serial("com.odvanel.image.decode");
    std::shared_ptr<ZVWebImagePartials::Slots> slots = std::make_shared<ZVWebImagePartials::Slots>(kPartialDecodesAtOnce);
};

PartialDecodes& partialDecodes() {
    static auto* p = new PartialDecodes();
    return *p;
}

struct FailedURLs {
    std::mutex mutex;  // guards urls
    std::set<std::string> urls;
};

FailedURLs& failedURLs() {
    static auto* f = new FailedURLs();
    return *f;
}

}  // namespace

struct ZVWebImageOperation::Key {};

// The connection's delegate: holds the operation weakly, so that a
// connection never keeps it alive (and ends itself once it is gone).
class ZVWebImageOperation::Proxy : public URLConnectionDelegate {
public:
    explicit Proxy(std::weak_ptr<ZVWebImageOperation> op) : op_(std::move(op)) {}
    void connection_didReceiveResponse(URLConnection& c, const HTTPURLResponse& r) override {
        if (auto op = op_.lock()) op->didReceiveResponse(c, r);
    }
    void connection_didReceiveData(URLConnection&, std::string_view piece) override {
        if (auto op = op_.lock()) op->didReceiveData(piece);
    }
    void connectionDidFinishLoading(URLConnection&) override {
        if (auto op = op_.lock()) op->didFinishLoading();
    }
    void connection_didFailWithError(URLConnection&, const Error& error) override {
        if (auto op = op_.lock()) op->didFailWithError(error);
    }

private:
    std::weak_ptr<ZVWebImageOperation> op_;
};

// ---- Making one

std::shared_ptr<ZVWebImageOperation> ZVWebImageOperation::initWithRequest(
    URLRequest request, ZVWebImageOptions options, std::shared_ptr<ZVImageCache> cache, std::string cacheKey,
    ZVWebImageProgressHandler progress, ZVWebImageTransformHandler transform, ZVWebImageCompletionHandler completion) {
    auto url = NSURL::URLWithString(request.url);
    if (!url) return nullptr;
    if (cacheKey.empty()) cacheKey = url->absoluteString();
    auto op = std::make_shared<ZVWebImageOperation>(Key{}, std::move(request), std::move(*url), options, std::move(cache),
                                                    std::move(cacheKey), std::move(progress), std::move(transform),
                                                    std::move(completion));
    op->proxy_ = std::make_shared<Proxy>(op);
    if (op->completion_ && (options & (ZVWebImageOptionProgressiveDisplay | ZVWebImageOptionProgressiveBlurDisplay)))
        op->partials_ = ZVWebImagePartials::create(
            options & ZVWebImageOptionProgressiveBlurDisplay, op->bytes_, partialDecodes().slots,
            [](std::function<void()> decode) { partialDecodes().queue->async(std::move(decode)); },
            [weak = std::weak_ptr<ZVWebImageOperation>(op)](std::shared_ptr<UIImage> image) {
                if (auto self = weak.lock()) self->showPartialImage(std::move(image));
            },
            clockSeconds);
    return op;
}

ZVWebImageOperation::ZVWebImageOperation(const Key&, URLRequest request, NSURL url, ZVWebImageOptions options,
                                         std::shared_ptr<ZVImageCache> cache, std::string cacheKey,
                                         ZVWebImageProgressHandler progress, ZVWebImageTransformHandler transform,
                                         ZVWebImageCompletionHandler completion)
    : request_(std::move(request)),
      url_(std::move(url)),
      options_(options),
      cache_(std::move(cache)),
      cacheKey_(std::move(cacheKey)),
      progress_(std::move(progress)),
      transform_(std::move(transform)),
      completion_(std::move(completion)),
      bytes_(std::make_shared<ZVWebImagePartials::Bytes>()) {}

// Released while running: nobody can observe it any more, so only the
// connection ends and the handler hears stage 0.
ZVWebImageOperation::~ZVWebImageOperation() {
    std::lock_guard lock(lock_);
    closePartials();
    if (!isExecuting()) return;
    if (auto c = connection_) {
        endConnection();
        c->cancel();
    }
    complete(nullptr, ZVWebImageSourceNone, ZVWebImageStageCancelled, std::nullopt);
}

std::string ZVWebImageOperation::description() const {
    auto yesNo = [](bool b) { return b ? "YES" : "NO"; };
    return strings::format("<ZVWebImageOperation: %p executing:%s finished:%s cancelled:%s>", static_cast<const void*>(this),
                           yesNo(isExecuting()), yesNo(isFinished()), yesNo(cancelled_));
}

bool ZVWebImageOperation::progressiveIgnored() const { return partials_ && partials_->ignored(); }

// ---- Threads, queues and the failed-URL set

NetworkThread& ZVWebImageOperation::networkThread() {
    static auto* thread = new NetworkThread("com.odvanel.webimage.request", URLSessionConfiguration::defaultConfiguration());
    return *thread;
}

std::shared_ptr<DispatchQueue> ZVWebImageOperation::imageQueue() {
    auto& d = decodeQueues();
    uint32_t n = ++d.counter;
    return d.queues[n % d.queues.size()];
}

uint32_t ZVWebImageOperation::imageQueueUses() { return decodeQueues().counter.load(); }

std::shared_ptr<DispatchQueue> ZVWebImageOperation::partialImageQueue() { return partialDecodes().queue; }

bool ZVWebImageOperation::ZVWebImageBlacklistContains(const std::string& url) {
    if (url.empty()) return false;
    auto& f = failedURLs();
    std::lock_guard lock(f.mutex);
    return f.urls.count(url) != 0;
}

void ZVWebImageOperation::ZVWebImageBlacklistAdd(const std::string& url) {
    if (url.empty()) return;
    auto& f = failedURLs();
    std::lock_guard lock(f.mutex);
    f.urls.insert(url);
}

// ---- State

void ZVWebImageOperation::start() {
    std::lock_guard lock(lock_);
    started_ = true;
    if (cancelled_) {
        performOnNetworkThread(&ZVWebImageOperation::cancelOperation);
        setFinished(true);
        return;
    }
    if (!isReady() || isFinished() || isExecuting()) return;
    setExecuting(true);
    performOnNetworkThread(&ZVWebImageOperation::startOperation);
}

void ZVWebImageOperation::cancel() {
    {
        std::lock_guard lock(lock_);
        if (cancelled_.exchange(true)) return;
        closePartials();
        if (isExecuting()) {
            setExecuting(false);
            performOnNetworkThread(&ZVWebImageOperation::cancelOperation);
        }
        if (started_) setFinished(true);
    }
    NSOperation::cancel();
}

void ZVWebImageOperation::finish() {
    std::lock_guard lock(lock_);
    setExecuting(false);
    setFinished(true);
}

void ZVWebImageOperation::complete(std::shared_ptr<UIImage> image, ZVWebImageSource from, ZVWebImageStage stage,
                                   const std::optional<Error>& error) {
    if (completion_) completion_(std::move(image), url_, from, stage, error);
}

void ZVWebImageOperation::performOnNetworkThread(void (ZVWebImageOperation::*step)()) {
    auto self = std::static_pointer_cast<ZVWebImageOperation>(shared_from_this());
    networkThread().perform([self, step] { (self.get()->*step)(); });
}

// ---- Lookups (network thread; disk lookups on the disk level's queue)

void ZVWebImageOperation::startOperation() {
    if (cancelled_) return;
    bool lookUp = cache_ && !(options_ & (ZVWebImageOptionUseURLCache | ZVWebImageOptionReloadIgnoringImageCache));
    if (!lookUp) return startRequest();
    if (auto image = cache_->getImageForKey(cacheKey_, ZVImageCacheTypeMemory)) {
        std::lock_guard lock(lock_);
        if (!cancelled_) complete(image, ZVWebImageSourceMemory, ZVWebImageStageFinished, std::nullopt);
        finish();
        return;
    }
    // The disk level's answer comes from memory when it cannot hold the
    // key: a miss then goes to the network without a lookup.
    if ((options_ & ZVWebImageOptionMemoryCacheOnly) || !cache_->diskCache()->mayContainObjectForKey(cacheKey_))
        return startRequest();
    lookUpDisk();
}

// On the disk level's own queue, so that a lookup never waits behind a
// decode; a hit is decoded there and kept in memory before the network
// thread hears of it.
void ZVWebImageOperation::lookUpDisk() {
    std::weak_ptr<ZVWebImageOperation> weak = std::static_pointer_cast<ZVWebImageOperation>(shared_from_this());
    cache_->diskCache()->objectForKey(cacheKey_, [weak](const std::string&, CacheObject object) {
        auto self = weak.lock();
        if (!self || self->cancelled_) return;
        std::shared_ptr<UIImage> image;
        if (auto bytes = object.as<const Data>())
            image = self->cache_->imageFromData(*bytes, ZVDiskCache::getExtendedDataFromObject(object));
        if (image) self->cache_->setImage(image, nullptr, self->cacheKey_, ZVImageCacheTypeMemory);
        networkThread().perform([self, image] {
            if (image) self->didReceiveImageFromDiskCache(image);
            else self->startRequest();
        });
    });
}

void ZVWebImageOperation::didReceiveImageFromDiskCache(std::shared_ptr<UIImage> image) {
    std::lock_guard lock(lock_);
    if (cancelled_) return;
    if (!image) return startRequest();
    complete(std::move(image), ZVWebImageSourceDisk, ZVWebImageStageFinished, std::nullopt);
    finish();
}

// ---- The download (network thread)

void ZVWebImageOperation::startRequest() {
    if (cancelled_) return;
    if ((options_ & ZVWebImageOptionSkipFailedURLs) && ZVWebImageBlacklistContains(url_.absoluteString())) {
        std::lock_guard lock(lock_);
        if (!cancelled_) complete(nullptr, ZVWebImageSourceNone, ZVWebImageStageFinished, blacklistedError());
        finish();
        return;
    }
    if (url_.isFileURL()) {
        struct stat st {};
        expectedSize_ = ::stat(url_.path().c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
    }
    std::lock_guard lock(lock_);
    if (cancelled_) return;
    URLRequest request = request_;
    request.credential = credential_;
    URLConnection::Options o;
    o.maxBodyBytes = maxBodyBytes_;
    o.trustAnyServerCertificate = options_ & ZVWebImageOptionTrustAnyServerCertificate;
    o.extraCAFile = extraCAFile_;
    o.deadline = request_.timeout * kDeadlineInTimeouts;
    connection_ = URLConnection::start(networkThread(), std::move(request), proxy_, o);
    if ((options_ & ZVWebImageOptionNetworkIndicator) && !url_.isFileURL()) {
        countedInIndicator_ = true;
        ZVWebImageManager::incrementNetworkActivityCount();
    }
}

// Forgets the connection, with its one decrement of the indicator.
void ZVWebImageOperation::endConnection() {
    connection_.reset();
    if (countedInIndicator_) {
        countedInIndicator_ = false;
        ZVWebImageManager::decrementNetworkActivityCount();
    }
}

// No partial image goes out after this (lock held): a decode that ends
// later shows nothing.
void ZVWebImageOperation::closePartials() {
    partialsOpen_ = false;
    if (partials_) partials_->close();
}

void ZVWebImageOperation::cancelOperation() {
    std::lock_guard lock(lock_);
    if (auto c = connection_) {
        endConnection();
        c->cancel();
    }
    complete(nullptr, ZVWebImageSourceNone, ZVWebImageStageCancelled, std::nullopt);
}

void ZVWebImageOperation::didReceiveResponse(URLConnection& connection, const HTTPURLResponse& response) {
    if (response.statusCode > 399 || response.statusCode == 304) {
        connection.cancel();
        didFailWithError(Error(NSURLErrorDomain, response.statusCode));
        return;
    }
    if (response.expectedContentLength != 0) expectedSize_ = std::max<int64_t>(response.expectedContentLength, -1);
    {
        std::lock_guard bytesLock(bytes_->mutex);
        bytes_->data.clear();
        // The length is only a hint: a lying one reserves no more than this.
        bytes_->data.reserve(std::min({size_t(std::max<int64_t>(expectedSize_, 0)), kLargestReservation, maxBodyBytes_}));
    }
    if (!progress_) return;
    std::lock_guard lock(lock_);
    if (!cancelled_) progress_(0, expectedSize_);
}

// Moves the bytes on; partial images are made on a decode queue
// (ZVWebImagePartials.h), never here.
void ZVWebImageOperation::didReceiveData(std::string_view piece) {
    if (cancelled_) return;
    size_t received;
    {
        std::lock_guard bytesLock(bytes_->mutex);
        bytes_->data.insert(bytes_->data.end(), piece.begin(), piece.end());
        received = bytes_->data.size();
    }
    if (progress_) {
        std::lock_guard lock(lock_);
        if (!cancelled_) progress_(int64_t(received), expectedSize_);
    }
    if (partials_) partials_->pieceArrived(piece.size(), expectedSize_);
}

// A decode queue: the partial image goes out unless the download ended or
// was cancelled meanwhile.
void ZVWebImageOperation::showPartialImage(std::shared_ptr<UIImage> image) {
    std::lock_guard lock(lock_);
    if (cancelled_ || !partialsOpen_) return;
    complete(std::move(image), ZVWebImageSourceNetwork, ZVWebImageStageIntermediate, std::nullopt);
}

void ZVWebImageOperation::didFinishLoading() {
    std::lock_guard lock(lock_);
    endConnection();
    closePartials();
    if (cancelled_) return;
    auto data = std::make_shared<Data>();
    {
        std::lock_guard bytesLock(bytes_->mutex);
        data->swap(bytes_->data);
    }
    std::weak_ptr<ZVWebImageOperation> weak = std::static_pointer_cast<ZVWebImageOperation>(shared_from_this());
    runOnDecodeQueue([weak, data = std::move(data)] {
        if (auto self = weak.lock()) self->finalDecode(data);
    });
}

void ZVWebImageOperation::didFailWithError(const Error& error) {
    std::lock_guard lock(lock_);
    endConnection();
    closePartials();
    if (cancelled_) return;
    complete(nullptr, ZVWebImageSourceNone, ZVWebImageStageFinished, error);
    {
        std::lock_guard bytesLock(bytes_->mutex);
        Data().swap(bytes_->data);
    }
    finish();
    if ((options_ & ZVWebImageOptionSkipFailedURLs) && !isPassingFailure(error.code))
        ZVWebImageBlacklistAdd(url_.absoluteString());
}

// ---- The final image (decode queue, then the network thread)

void ZVWebImageOperation::finalDecode(std::shared_ptr<Data> data) {
    double scale = UIScreen::mainScreen().scale();
    std::shared_ptr<UIImage> image;
    bool animated = false;
    if (options_ & ZVWebImageOptionFirstFrameOnly) {
        if (auto decoder = ZVImageDecoder::decoderWithData(*data, scale))
            if (auto frame = decoder->frameAtIndex(0, !(options_ & ZVWebImageOptionNoDecode))) image = frame->image;
    } else if (auto decoded = ZVImage::imageWithData(*data, scale)) {
        animated = decoded->animatedImageFrameCount() > 1;
        image = decoded;
        if (!(options_ & ZVWebImageOptionNoDecode)) image = ZVImageCoder::ZV_imageByDecoded(image);
    }
    // Bytes worth keeping go to the cache as they are; the cache encodes
    // anything else from the image.
    std::shared_ptr<const Data> kept;
    auto type = ZVDetectImageType(*data);
    if (type == ZVImageType::JPEG || type == ZVImageType::PNG ||
        ((type == ZVImageType::GIF || type == ZVImageType::WebP) && animated))
        kept = std::move(data);
    if (cancelled_) return;
    if (transform_ && image) {
        auto transformed = transform_(image, url_);
        if (transformed != image) kept.reset();
        image = std::move(transformed);
        if (cancelled_) return;
    }
    storeInCache(image, std::move(kept));
    auto self = std::static_pointer_cast<ZVWebImageOperation>(shared_from_this());
    networkThread().perform([self, image] { self->didReceiveImageFromWeb(image); });
}

// On the decode queue that made the image, before the network thread
// hears of it: memory at once, the disk write with the other stores of the
// burst (ZVDiskCache::setObjectInBatch).
void ZVWebImageOperation::storeInCache(std::shared_ptr<UIImage> image, std::shared_ptr<const Data> kept) {
    if (!cache_ || !(image || (options_ & ZVWebImageOptionReloadIgnoringImageCache))) return;
    auto type = (options_ & ZVWebImageOptionMemoryCacheOnly) ? ZVImageCacheTypeMemory : ZVImageCacheTypeAll;
    cache_->setImageInBatch(std::move(image), std::move(kept), cacheKey_, type);
}

void ZVWebImageOperation::didReceiveImageFromWeb(std::shared_ptr<UIImage> image) {
    std::lock_guard lock(lock_);
    if (cancelled_) return;
    std::optional<Error> error;
    if (!image) {
        error = Error::withDescription(ZVImageErrorDomain, -1, "Web image decode fail.");
        if (options_ & ZVWebImageOptionSkipFailedURLs) {
            if (ZVWebImageBlacklistContains(url_.absoluteString())) error = blacklistedError();
            else ZVWebImageBlacklistAdd(url_.absoluteString());
        }
    }
    complete(std::move(image), ZVWebImageSourceNetwork, ZVWebImageStageFinished, error);
    finish();
}
