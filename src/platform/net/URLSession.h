#pragma once
// HTTP(S) loading on libcurl: the one HTTP client of the whole system.
//
// - Asynchronous tasks run on the session's own queue and hand their
//   result to a completion queue (the main queue unless told otherwise).
// - Synchronous requests block the calling thread for at most the request's
//   time-out. They are refused on the main thread (an error at once, never a
//   hang), since the main thread runs the UI and every completion.
// - TLS certificates are always verified against the system's roots, plus
//   an optional extra CA file (a bundle setting, see
//   URLSessionConfiguration::defaultConfiguration); see CurlSetup.h for
//   what every transfer does.
// - Failures are `Error`s in NSURLErrorDomain with the platform's codes
//   (one table for every client: urlerror::codeFor).
//
// URLConnection.h streams a body piece by piece on a network thread.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

class DispatchQueue;

// NSURLErrorDomain codes used by this client.
enum : long {
    NSURLErrorUnknown = -1,
    NSURLErrorCancelled = -999,
    NSURLErrorBadURL = -1000,
    NSURLErrorTimedOut = -1001,
    NSURLErrorUnsupportedURL = -1002,
    NSURLErrorCannotFindHost = -1003,
    NSURLErrorCannotConnectToHost = -1004,
    NSURLErrorNetworkConnectionLost = -1005,
    NSURLErrorHTTPTooManyRedirects = -1007,
    NSURLErrorResourceUnavailable = -1008,
    NSURLErrorNotConnectedToInternet = -1009,
    NSURLErrorBadServerResponse = -1011,
    NSURLErrorUserCancelledAuthentication = -1012,
    NSURLErrorFileDoesNotExist = -1100,
    NSURLErrorFileIsDirectory = -1101,
    NSURLErrorNoPermissionsToReadFile = -1102,
    NSURLErrorDataLengthExceedsMaximum = -1103,
    NSURLErrorSecureConnectionFailed = -1200,
    NSURLErrorServerCertificateHasBadDate = -1201,
    NSURLErrorServerCertificateUntrusted = -1202,
    NSURLErrorServerCertificateNotYetValid = -1204,
    // Our own: a synchronous request was asked for on the main thread.
    NSURLErrorSynchronousRequestOnMainThread = -1999,
};
inline constexpr const char* NSURLErrorFailingURLStringErrorKey = "NSErrorFailingURLStringKey";

using HTTPHeaders = std::vector<std::pair<std::string, std::string>>;

enum class NSURLRequestCachePolicy {
    UseProtocolCachePolicy = 0,
    ReloadIgnoringLocalCacheData = 1,
    ReturnCacheDataElseLoad = 2,
    ReturnCacheDataDontLoad = 3,
};

struct URLCredential {
    enum class Persistence { None, ForSession, Permanent };
    std::string user, password;
    Persistence persistence = Persistence::ForSession;
};

struct URLRequest {
    std::string url;
    std::string method = "GET";  // any method; HEAD fetches no body
    HTTPHeaders headers;         // sent in this order
    // Sent when not empty, with Content-Length set from it and, when no
    // Content-Type header is given, as application/x-www-form-urlencoded.
    std::string body;
    // Limit for the whole exchange (a URLSession) or for a silence (a
    // URLConnection); zero takes the session's or the thread's default.
    std::chrono::milliseconds timeout{0};
    bool followRedirects = true;
    // The process's one cookie store is sent and filled only when set; off
    // unless asked, as the system's own servers keep no cookie state.
    bool httpShouldHandleCookies = false;
    // Kept for callers: there is no HTTP cache here, every policy loads.
    NSURLRequestCachePolicy cachePolicy = NSURLRequestCachePolicy::UseProtocolCachePolicy;
    // Answers the server's authentication challenge (any method), once.
    std::optional<URLCredential> credential;
    // A reply body larger than this fails as the session's limit does (0:
    // the session's limit alone).
    size_t maxResponseBytes = 0;

    URLRequest() = default;
    explicit URLRequest(std::string u, std::string m = "GET") : url(std::move(u)), method(std::move(m)) {}
    void setValue(const std::string& value, const std::string& header);  // replaces a header of that name
};

struct HTTPURLResponse {
    long statusCode = 0;  // 0 for a file
    std::string url;      // after redirects
    HTTPHeaders headers;
    // Content-Length (-1 when absent, or when the body arrives decoded from
    // a content encoding); a file's size.
    int64_t expectedContentLength = -1;
    // Case-insensitive; "" when absent.
    std::string valueForHTTPHeaderField(std::string_view name) const;
};

struct URLResult {
    std::optional<HTTPURLResponse> response;  // absent on a transport error
    std::string body;
    std::optional<Error> error;
    bool ok() const { return !error.has_value(); }
};

struct URLSessionConfiguration {
    std::chrono::milliseconds timeout{60000};
    std::chrono::milliseconds connectTimeout{15000};
    // PEM file of further trusted CAs, used besides the system's roots.
    std::string extraCAFile;
    // Larger replies fail with NSURLErrorDataLengthExceedsMaximum.
    size_t maxResponseBytes = 32u << 20;
    std::string userAgent = "Korvel";

    // Defaults, with the extra CA file from the main bundle's Info.plist key
    // "KorvelExtraCAFile" (a path, relative to the bundle unless absolute).
    static URLSessionConfiguration defaultConfiguration();
};

class URLSessionTask {
public:
    // The completion then gets NSURLErrorCancelled (unless it already ran).
    void cancel() { cancelled_ = true; }
    bool isCancelled() const { return cancelled_.load(); }

private:
    std::atomic<bool> cancelled_{false};
};

class URLSession : public std::enable_shared_from_this<URLSession> {
public:
    using Completion = std::function<void(URLResult)>;

    // The shared session with the default configuration (read once).
    static std::shared_ptr<URLSession> shared();
    static std::shared_ptr<URLSession> sessionWithConfiguration(URLSessionConfiguration configuration);

    const URLSessionConfiguration& configuration() const { return config_; }

    // Starts the request at once. `completion` runs on `queue` (the main
    // queue when null is not given explicitly; pass a queue to choose).
    std::shared_ptr<URLSessionTask> dataTask(URLRequest request, Completion completion,
                                             std::shared_ptr<DispatchQueue> queue = nullptr);
    // Blocks for at most the request's time-out. On the main thread: an
    // NSURLErrorSynchronousRequestOnMainThread error at once.
    URLResult sendSynchronousRequest(const URLRequest& request);

    explicit URLSession(URLSessionConfiguration configuration);

private:
    URLResult perform(const URLRequest& request, const URLSessionTask* task) const;

    URLSessionConfiguration config_;
    std::shared_ptr<DispatchQueue> queue_;
};

namespace urlerror {
// An NSURLErrorDomain error with a description and the failing URL.
Error make(long code, const std::string& description, const std::string& url = "");
}  // namespace urlerror
