#pragma once
// One image for one request: the memory cache, then the disk cache, else a
// download, with partial images while the bytes arrive, the final decode
// on a decode queue, a transform, the store into the cache, and every step
// told through one completion handler. An asynchronous NSOperation that a
// manager (ZVWebImageManager.h) makes and queues.
//
// Threads:
// - every download of every operation runs on one network thread,
//   "com.odvanel.webimage.request" (curl multi; URLConnection.h), which only
//   moves bytes; memory lookups, lookups' continuations, connection events
//   and the completion calls for hits, failures and final images happen
//   there;
// - a disk lookup runs on the disk level's queue ("com.odvanel.cache.disk",
//   concurrent), never behind a decode, and only when the disk may hold the
//   key (ZVDiskCache::mayContainObjectForKey): a miss it cannot hold goes
//   to the network at once;
// - final decodes, transforms and cache stores run on 1 to 16 serial
//   decode queues "com.odvanel.image.decode", taken in turn, passing over
//   busy ones while one is idle. A store puts the image in memory at once
//   and its bytes in the disk level's batch, written with the other stores
//   of the burst in one transaction;
// - partial images run on one more serial decode queue of the same label,
//   kept for them, one decode at a time over all operations; the
//   completion call of a partial image comes from there;
// - the stage 0 call of a cancel comes from the network thread, that of an
//   operation released while running from the releasing thread.
// Handlers must not block. One recursive lock per operation guards its
// state and every completion call, so a cancel comes either before a call
// (which is then skipped) or after it.
//
// Completions of one operation: any number of partial images (stage -1,
// source 4), then exactly one of: an image (stage 1, source 2, 3 or 4);
// no image and an error (stage 1, source 0, or 4 for a decode failure); or
// stage 0 (cancelled, nothing else). Once cancelled, only that stage 0
// call is still made.
//
// Partial images (ZVWebImagePartials.h): at most one decode in flight over
// all operations (whatever their number, partial images cost one decode's
// bitmaps at a time); an operation whose partial image is due while
// another's decode runs waits in line, once, and decodes in its turn with
// every byte that came meanwhile. The next is due 0.2 s (0.4 s blurred)
// after the operation's previous one ended; none goes out after the final
// call.
//
// Time: the request's time-out limits a silence; the whole load also has a
// deadline of four time-outs (a reply that drips fails there too, with
// NSURLErrorTimedOut).
//
// Bad input: a body past the cap (maxBodyBytes) ends the connection with
// NSURLErrorDataLengthExceedsMaximum; Content-Length only sizes the buffer
// (at most 8 MiB reserved); bytes that are no image, or an image beyond
// the pixel budget, fail as "Web image decode fail.".
//
// Options 0x8 (use URL cache) only skips the image cache: there is no HTTP
// cache, the request goes out. 0x20 (background task) does nothing.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "imagecache/webimage/ZVWebImagePartials.h"
#include "imagecache/webimage/ZVWebImageTypes.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/NSOperationQueue.h"
#include "platform/foundation/Value.h"
#include "platform/net/URLConnection.h"

class ZVImageCache;
class ZVWebImagePartials;

class ZVWebImageOperation : public NSOperation {
public:
    // Null for a request whose URL does not parse. The cache key defaults
    // to the URL's text.
    static std::shared_ptr<ZVWebImageOperation> initWithRequest(URLRequest request, ZVWebImageOptions options,
                                                                std::shared_ptr<ZVImageCache> cache, std::string cacheKey,
                                                                ZVWebImageProgressHandler progress,
                                                                ZVWebImageTransformHandler transform,
                                                                ZVWebImageCompletionHandler completion);
    ~ZVWebImageOperation() override;

    const URLRequest& request() const { return request_; }
    const NSURL& url() const { return url_; }
    const std::shared_ptr<ZVImageCache>& cache() const { return cache_; }
    const std::string& cacheKey() const { return cacheKey_; }
    ZVWebImageOptions options() const { return options_; }

    // Set before start: the credential answers the server's first
    // challenge; the cap and CA file are the manager's.
    bool shouldUseCredentialStorage() const { return shouldUseCredentialStorage_; }
    void setShouldUseCredentialStorage(bool use) { shouldUseCredentialStorage_ = use; }
    const std::optional<URLCredential>& credential() const { return credential_; }
    void setCredential(std::optional<URLCredential> c) { credential_ = std::move(c); }
    size_t maxBodyBytes() const { return maxBodyBytes_; }
    void setMaxBodyBytes(size_t bytes) { maxBodyBytes_ = bytes; }
    void setExtraCAFile(std::string path) { extraCAFile_ = std::move(path); }

    void start() override;
    void cancel() override;
    bool isAsynchronous() const override { return true; }
    // "<ZVWebImageOperation: 0x… executing:NO finished:NO cancelled:NO>"
    std::string description() const;
    // Partial images were given up for this download (wrong format, or a
    // baseline JPEG / plain PNG with the blur option). Read after the end.
    bool progressiveIgnored() const;

    static NetworkThread& networkThread();
    // The next decode queue, in turn.
    static std::shared_ptr<DispatchQueue> imageQueue();
    // How many times a decode queue was taken (each final decode, with its
    // store, takes one).
    static uint32_t imageQueueUses();
    // The decode queue of partial images (over all operations).
    static std::shared_ptr<DispatchQueue> partialImageQueue();

    // The failed-URL set: URLs that failed for good, for the process's life.
    static bool ZVWebImageBlacklistContains(const std::string& url);
    static void ZVWebImageBlacklistAdd(const std::string& url);

    struct Key;  // lets only initWithRequest construct
    ZVWebImageOperation(const Key&, URLRequest request, NSURL url, ZVWebImageOptions options,
                        std::shared_ptr<ZVImageCache> cache, std::string cacheKey, ZVWebImageProgressHandler progress,
                        ZVWebImageTransformHandler transform, ZVWebImageCompletionHandler completion);

private:
    class Proxy;
    friend class Proxy;

    // Network thread.
    void startOperation();
    void startRequest();
    void cancelOperation();
    void didReceiveImageFromDiskCache(std::shared_ptr<UIImage> image);
    void didReceiveImageFromWeb(std::shared_ptr<UIImage> image);
    void didReceiveResponse(URLConnection& connection, const HTTPURLResponse& response);
    void didReceiveData(std::string_view piece);
    void didFinishLoading();
    void didFailWithError(const Error& error);
    void closePartials();
    // Decode queue.
    void showPartialImage(std::shared_ptr<UIImage> image);
    // The disk level's queue.
    void lookUpDisk();
    // Decode queue.
    void finalDecode(std::shared_ptr<Data> data);
    void storeInCache(std::shared_ptr<UIImage> image, std::shared_ptr<const Data> kept);
    // Any thread.
    void finish();
    void complete(std::shared_ptr<UIImage> image, ZVWebImageSource from, ZVWebImageStage stage,
                  const std::optional<Error>& error);
    void performOnNetworkThread(void (ZVWebImageOperation::*step)());
    void endConnection();

    const URLRequest request_;
    const NSURL url_;
    const ZVWebImageOptions options_;
    const std::shared_ptr<ZVImageCache> cache_;
    const std::string cacheKey_;
    const ZVWebImageProgressHandler progress_;
    const ZVWebImageTransformHandler transform_;
    const ZVWebImageCompletionHandler completion_;
    bool shouldUseCredentialStorage_ = true;
    std::optional<URLCredential> credential_;
    size_t maxBodyBytes_ = 64u << 20;
    std::string extraCAFile_;

    // Guards `started_`, `partialsOpen_`, the changes of `cancelled_`, the
    // executing and finished changes and every completion and progress
    // call. A completion skipped "when cancelled" reads `cancelled_` under
    // it; the queue hears of a cancel (NSOperation::cancel) after it is let go.
    mutable std::recursive_mutex lock_;
    bool started_ = false;
    bool partialsOpen_ = true;  // partial images may still go out
    std::atomic<bool> cancelled_{false};

    // The download: network thread only (the destructor runs when no
    // other thread holds the operation).
    std::shared_ptr<Proxy> proxy_;  // the connection's delegate, holding the operation weakly
    std::shared_ptr<URLConnection> connection_;
    bool countedInIndicator_ = false;
    int64_t expectedSize_ = 0;
    // The body so far: appended here, copied by partial images, taken by
    // the final decode.
    const std::shared_ptr<ZVWebImagePartials::Bytes> bytes_;
    std::shared_ptr<ZVWebImagePartials> partials_;  // set once, at creation; null without partial images
};
