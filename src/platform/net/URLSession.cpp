#include "platform/net/URLSession.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <mutex>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"

namespace urlerror {
Error make(long code, const std::string& description, const std::string& url) {
    Error e = Error::withDescription(NSURLErrorDomain, code, description);
    if (!url.empty()) e.userInfo.set(NSURLErrorFailingURLStringErrorKey, url);
    return e;
}
}  // namespace urlerror

void URLRequest::setValue(const std::string& value, const std::string& header) {
    auto lower = strings::toLower(header);
    std::erase_if(headers, [&](auto& h) { return strings::toLower(h.first) == lower; });
    headers.emplace_back(header, value);
}

std::string HTTPURLResponse::valueForHTTPHeaderField(std::string_view name) const {
    auto lower = strings::toLower(name);
    for (auto& [k, v] : headers)
        if (strings::toLower(k) == lower) return v;
    return "";
}

URLSessionConfiguration URLSessionConfiguration::defaultConfiguration() {
    URLSessionConfiguration c;
    auto& bundle = NSBundle::mainBundle();
    std::string ca = bundle.objectForInfoDictionaryKey("KorvelExtraCAFile").stringOr("");
    if (!ca.empty()) {
        std::filesystem::path p(ca);
        c.extraCAFile = (p.is_absolute() ? p : bundle.bundlePath() / p).string();
    }
    return c;
}

namespace {

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
    const URLSessionConfiguration* config;
    const URLSessionTask* task;
    std::string body;
    HTTPHeaders headers;
    bool tooLarge = false;
};

size_t onBody(char* ptr, size_t size, size_t n, void* user) {
    auto t = static_cast<Transfer*>(user);
    size_t len = size * n;
    if (t->body.size() + len > t->config->maxResponseBytes) {
        t->tooLarge = true;
        return 0;
    }
    t->body.append(ptr, len);
    return len;
}

size_t onHeader(char* ptr, size_t size, size_t n, void* user) {
    auto t = static_cast<Transfer*>(user);
    std::string_view line(ptr, size * n);
    if (strings::hasPrefix(line, "HTTP/")) {
        t->headers.clear();  // a new response (redirect, 100 Continue): keep only the last
    } else if (auto colon = line.find(':'); colon != std::string_view::npos) {
        t->headers.emplace_back(strings::trim(line.substr(0, colon)), strings::trim(line.substr(colon + 1)));
    }
    return size * n;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto t = static_cast<Transfer*>(user);
    return t->task && t->task->isCancelled() ? 1 : 0;
}

CURLcode onSSLContext(CURL*, void* sslctx, void* user) {
    auto path = static_cast<const std::string*>(user);
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslctx));
    if (X509_STORE_load_file(store, path->c_str()) != 1) {
        // Public servers still verify against the system's roots.
        NSLog("URLSession: the extra CA file %s cannot be read", path->c_str());
    }
    return CURLE_OK;
}

Error errorFor(CURLcode rc, CURL* curl, const Transfer& t, const std::string& url, const char* detail) {
    std::string text = *detail ? detail : curl_easy_strerror(rc);
    long code = NSURLErrorUnknown;
    switch (rc) {
    case CURLE_OPERATION_TIMEDOUT: code = NSURLErrorTimedOut; break;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: code = NSURLErrorCannotFindHost; break;
    case CURLE_COULDNT_CONNECT: code = NSURLErrorCannotConnectToHost; break;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE: code = NSURLErrorNetworkConnectionLost; break;
    case CURLE_URL_MALFORMAT: code = NSURLErrorBadURL; break;
    case CURLE_UNSUPPORTED_PROTOCOL: code = NSURLErrorUnsupportedURL; break;
    case CURLE_TOO_MANY_REDIRECTS: code = NSURLErrorHTTPTooManyRedirects; break;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING: code = NSURLErrorBadServerResponse; break;
    case CURLE_PEER_FAILED_VERIFICATION: {
        long verify = 0;
        curl_easy_getinfo(curl, CURLINFO_SSL_VERIFYRESULT, &verify);
        code = verify == X509_V_ERR_CERT_HAS_EXPIRED       ? NSURLErrorServerCertificateHasBadDate
               : verify == X509_V_ERR_CERT_NOT_YET_VALID ? NSURLErrorServerCertificateNotYetValid
                                                         : NSURLErrorServerCertificateUntrusted;
        break;
    }
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE: code = NSURLErrorSecureConnectionFailed; break;
    case CURLE_WRITE_ERROR:
        if (t.tooLarge) code = NSURLErrorDataLengthExceedsMaximum, text = "the reply is larger than allowed";
        break;
    case CURLE_ABORTED_BY_CALLBACK:
        if (t.task && t.task->isCancelled()) code = NSURLErrorCancelled, text = "cancelled";
        break;
    default: break;
    }
    Error e = urlerror::make(code, text, url);
    e.userInfo.set("curlCode", int(rc));
    return e;
}

}  // namespace

std::shared_ptr<URLSession> URLSession::shared() {
    static auto* session = new std::shared_ptr<URLSession>(
        std::make_shared<URLSession>(URLSessionConfiguration::defaultConfiguration()));
    return *session;
}

std::shared_ptr<URLSession> URLSession::sessionWithConfiguration(URLSessionConfiguration configuration) {
    return std::make_shared<URLSession>(std::move(configuration));
}

URLSession::URLSession(URLSessionConfiguration configuration)
    : config_(std::move(configuration)), queue_(DispatchQueue::concurrent("com.korvel.urlsession")) {
    globalInit();
}

URLResult URLSession::perform(const URLRequest& request, const URLSessionTask* task) const {
    URLResult result;
    CURL* curl = curl_easy_init();
    if (!curl) {
        result.error = urlerror::make(NSURLErrorUnknown, "cannot start a transfer", request.url);
        return result;
    }
    Transfer t{&config_, task, {}, {}, false};
    char detail[CURL_ERROR_SIZE] = {0};
    auto timeout = request.timeout.count() > 0 ? request.timeout : config_.timeout;

    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(timeout.count()));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(std::min(timeout, config_.connectTimeout).count()));
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 16L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
    if (!config_.extraCAFile.empty()) {
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, onSSLContext);
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, &config_.extraCAFile);
    }
    if (!config_.userAgent.empty()) curl_easy_setopt(curl, CURLOPT_USERAGENT, config_.userAgent.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);

    std::string method = strings::toUpper(request.method.empty() ? "GET" : request.method);
    if (method == "HEAD") {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    } else if (method == "POST" || !request.body.empty()) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
        if (method != "POST") curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    } else if (method != "GET") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    }

    curl_slist* headers = nullptr;
    bool hasContentType = false;
    for (auto& [k, v] : request.headers) {
        auto lower = strings::toLower(k);
        // The length always follows the body actually sent.
        if (lower == "content-length") continue;
        if (lower == "content-type") hasContentType = true;
        headers = curl_slist_append(headers, (k + ": " + v).c_str());
    }
    // Send only what the caller asked for: no implied form type, no 100-continue round trip.
    if (!hasContentType) headers = curl_slist_append(headers, "Content-Type:");
    headers = curl_slist_append(headers, "Expect:");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);

    CURLcode rc = curl_easy_perform(curl);
    if (rc == CURLE_OK) {
        HTTPURLResponse response;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.statusCode);
        char* effective = nullptr;
        curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effective);
        response.url = effective ? effective : request.url;
        response.headers = std::move(t.headers);
        result.response = std::move(response);
        result.body = std::move(t.body);
    } else {
        result.error = errorFor(rc, curl, t, request.url, detail);
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return result;
}

URLResult URLSession::sendSynchronousRequest(const URLRequest& request) {
    if (isMainThread()) {
        NSLog("URLSession: synchronous request for %s refused on the main thread", request.url.c_str());
        URLResult r;
        r.error = urlerror::make(NSURLErrorSynchronousRequestOnMainThread,
                                 "a synchronous request cannot be made on the main thread", request.url);
        return r;
    }
    return perform(request, nullptr);
}

std::shared_ptr<URLSessionTask> URLSession::dataTask(URLRequest request, Completion completion,
                                                     std::shared_ptr<DispatchQueue> queue) {
    auto task = std::make_shared<URLSessionTask>();
    if (!queue) queue = DispatchQueue::main();
    auto self = shared_from_this();
    queue_->async([self, task, request = std::move(request), completion = std::move(completion), queue]() mutable {
        URLResult r;
        if (task->isCancelled()) r.error = urlerror::make(NSURLErrorCancelled, "cancelled", request.url);
        else r = self->perform(request, task.get());
        if (!completion) return;
        queue->async([completion = std::move(completion), r = std::move(r)]() mutable {
            try {
                completion(std::move(r));
            } catch (const std::exception& e) {
                NSLog("URLSession: a completion threw: %s", e.what());
            }
        });
    });
    return task;
}
