#pragma once
// Turns an image URL and options into a request and an operation
// (ZVWebImageOperation.h) and schedules it; holds what every request
// shares (image cache, operation queue, time-out, credential, headers,
// header and cache-key filters, a shared transform), and the process-wide
// count of requests that want the network activity indicator.
//
// - Requests: GET, the manager's time-out (15 s of silence; the operation
//   gives the whole load four of them), its headers ("Accept:
//   image/*;q=0.8" unless changed or filtered), cookies only with
//   ZVWebImageOptionSendCookies, a credential only when both user name and
//   password are set.
// - Configure a manager before its first request: requests may be made on
//   any thread and read the settings without a lock.
// - The activity count changes on the main thread (a change from another
//   thread is posted there); the indicator follows it 1/30 s after the
//   last change, on the replaceable clock, so changes closer together
//   collapse into one update.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "imagecache/webimage/ZVWebImageTypes.h"
#include "platform/net/URLSession.h"

class NSOperationQueue;
class UIApplication;
class ZVImageCache;
class ZVWebImageOperation;

// The application object, or null where there is none (an application
// extension, told by the main bundle's ".appex" suffix). Decided once.
UIApplication* ZVWebImageSharedApplication();

class ZVWebImageManager : public std::enable_shared_from_this<ZVWebImageManager> {
public:
    using Headers = std::map<std::string, std::string>;
    using HeadersFilter = std::function<Headers(const NSURL& url, const Headers& headers)>;
    using CacheKeyFilter = std::function<std::string(const NSURL& url)>;

    // The shared manager: the shared image cache and a background queue.
    static const std::shared_ptr<ZVWebImageManager>& sharedManager();
    // A null cache: operations neither read nor write one. A null queue:
    // operations start on the calling thread before the request returns.
    ZVWebImageManager(std::shared_ptr<ZVImageCache> cache, std::shared_ptr<NSOperationQueue> queue);

    // The new operation, already queued or started; null when none could
    // be made (an empty URL).
    std::shared_ptr<ZVWebImageOperation> requestImageWithURL(const NSURL& url, ZVWebImageOptions options,
                                                             ZVWebImageProgressHandler progress,
                                                             ZVWebImageTransformHandler transform,
                                                             ZVWebImageCompletionHandler completion);
    // The request the manager makes for `url` (what requestImageWithURL sends).
    URLRequest requestForURL(const NSURL& url, ZVWebImageOptions options) const;

    // The filter's result when one is set, else the manager's headers.
    Headers headersForURL(const NSURL& url) const;
    // The filter's result when one is set, else the URL's absolute string.
    std::string cacheKeyForURL(const NSURL& url) const;

    static void incrementNetworkActivityCount();
    static void decrementNetworkActivityCount();
    // Main thread: the count (0 before any change).
    static long currentNetworkActivityCount();

    const std::shared_ptr<ZVImageCache>& cache() const { return cache_; }
    void setCache(std::shared_ptr<ZVImageCache> c) { cache_ = std::move(c); }
    const std::shared_ptr<NSOperationQueue>& queue() const { return queue_; }
    void setQueue(std::shared_ptr<NSOperationQueue> q) { queue_ = std::move(q); }
    const ZVWebImageTransformHandler& sharedTransformBlock() const { return sharedTransform_; }
    void setSharedTransformBlock(ZVWebImageTransformHandler t) { sharedTransform_ = std::move(t); }
    double timeout() const { return timeout_; }
    void setTimeout(double seconds) { timeout_ = seconds; }
    const std::optional<std::string>& username() const { return username_; }
    void setUsername(std::optional<std::string> u) { username_ = std::move(u); }
    const std::optional<std::string>& password() const { return password_; }
    void setPassword(std::optional<std::string> p) { password_ = std::move(p); }
    const Headers& headers() const { return headers_; }
    void setHeaders(Headers h) { headers_ = std::move(h); }
    const HeadersFilter& headersFilter() const { return headersFilter_; }
    void setHeadersFilter(HeadersFilter f) { headersFilter_ = std::move(f); }
    const CacheKeyFilter& cacheKeyFilter() const { return cacheKeyFilter_; }
    void setCacheKeyFilter(CacheKeyFilter f) { cacheKeyFilter_ = std::move(f); }

    // Our own limits, passed to every operation: the largest body (a
    // longer one fails with NSURLErrorDataLengthExceedsMaximum; 64 MiB),
    // and a PEM file of further trusted CAs ("" keeps the network thread's,
    // which is the bundle's "KorvelExtraCAFile").
    size_t maxBodyBytes() const { return maxBodyBytes_; }
    void setMaxBodyBytes(size_t bytes) { maxBodyBytes_ = bytes; }
    const std::string& extraCAFile() const { return extraCAFile_; }
    void setExtraCAFile(std::string path) { extraCAFile_ = std::move(path); }

private:
    static void changeNetworkActivityCount(long delta);

    std::shared_ptr<ZVImageCache> cache_;
    std::shared_ptr<NSOperationQueue> queue_;
    ZVWebImageTransformHandler sharedTransform_;
    double timeout_ = 15.0;
    std::optional<std::string> username_, password_;
    Headers headers_;
    HeadersFilter headersFilter_;
    CacheKeyFilter cacheKeyFilter_;
    size_t maxBodyBytes_ = 64u << 20;
    std::string extraCAFile_;
};
