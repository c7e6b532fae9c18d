#include "platform/net/URLSession.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/net/CurlLibrary.h"
#include "platform/net/CurlSetup.h"

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

struct Transfer {
    const URLSessionConfiguration* config;
    const URLSessionTask* task;
    std::string body;
    HTTPHeaders headers;
    bool tooLarge = false;
    size_t limit = 0;  // the session's and the request's, the smaller
};

size_t onBody(char* ptr, size_t size, size_t n, void* user) {
    auto t = static_cast<Transfer*>(user);
    size_t len = size * n;
    if (t->body.size() + len > t->limit) {
        t->tooLarge = true;
        return 0;
    }
    t->body.append(ptr, len);
    return len;
}

size_t onHeader(char* ptr, size_t size, size_t n, void* user) {
    httpheaders::collect(static_cast<Transfer*>(user)->headers, std::string_view(ptr, size * n));
    return size * n;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto t = static_cast<Transfer*>(user);
    return t->task && t->task->isCancelled() ? 1 : 0;
}

// One multi handle per worker thread, made once, its wake-up pair
// close-on-exec (curl_easy_perform would make an inheritable one for every
// transfer).
CURLM* threadMulti() {
    struct Holder {
        CURLM* multi = curlsetup::newMulti();
        ~Holder() {
            if (multi) curllib::multiCleanup(multi);
        }
    };
    thread_local Holder holder;
    return holder.multi;
}

// A blocking transfer, as curl_easy_perform makes one, on the thread's multi handle.
CURLcode performTransfer(CURL* curl) {
    CURLM* multi = threadMulti();
    if (!multi || curllib::multiAdd(multi, curl) != CURLM_OK) return CURLE_FAILED_INIT;
    int running = 1;
    CURLMcode mc = CURLM_OK;
    while (mc == CURLM_OK) {
        mc = curllib::multiPerform(multi, &running);
        if (mc != CURLM_OK || running == 0) break;
        mc = curllib::multiPoll(multi, 1000);
    }
    CURLcode rc = mc == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_RECV_ERROR;
    int left = 0;
    while (CURLMsg* m = curllib::multiInfoRead(multi, &left))
        if (m->msg == CURLMSG_DONE && m->easy_handle == curl) rc = m->data.result;
    curllib::multiRemove(multi, curl);
    return rc;
}

Error errorFor(CURLcode rc, CURL* curl, const Transfer& t, const std::string& url, const char* detail) {
    urlerror::Failure f;
    f.curl = rc;
    curllib::getLong(curl, CURLINFO_SSL_VERIFYRESULT, &f.certificateVerifyResult);
    f.tooLarge = rc == CURLE_WRITE_ERROR && t.tooLarge;
    f.cancelled = rc == CURLE_ABORTED_BY_CALLBACK && t.task && t.task->isCancelled();
    f.offline = (rc == CURLE_COULDNT_CONNECT || rc == CURLE_COULDNT_RESOLVE_HOST) && urlerror::isOffline(url);
    return urlerror::fromFailure(f, url, detail);
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
    : config_(std::move(configuration)), queue_(DispatchQueue::concurrent("com.korvel.urlsession")) {}

URLResult URLSession::perform(const URLRequest& request, const URLSessionTask* task) const {
    URLResult result;
    // An address without a scheme or a host (a server setting left empty)
    // is refused as curl would refuse it, without starting curl.
    size_t schemeEnd = request.url.find("://");
    if (schemeEnd == std::string::npos || schemeEnd == 0 ||
        request.url.find_first_of("/?#", schemeEnd + 3) == schemeEnd + 3 || request.url.size() == schemeEnd + 3) {
        result.error = urlerror::make(NSURLErrorBadURL, "URL using bad/illegal format or missing URL", request.url);
        return result;
    }
    // curl starts here, at the first transfer, not at start-up: its TLS
    // library takes some megabytes that a launch without requests never needs.
    CURL* curl = curlsetup::newEasy();
    if (!curl) {
        result.error = urlerror::make(NSURLErrorUnknown, "cannot start a transfer", request.url);
        return result;
    }
    Transfer t{&config_, task, {}, {}, false};
    t.limit = request.maxResponseBytes ? std::min(request.maxResponseBytes, config_.maxResponseBytes)
                                       : config_.maxResponseBytes;
    char detail[CURL_ERROR_SIZE] = {0};
    curl_slist* headers = curlsetup::configure(curl, request, config_, detail);
    auto timeout = request.timeout.count() > 0 ? request.timeout : config_.timeout;
    curllib::setLong(curl, CURLOPT_TIMEOUT_MS, long(timeout.count()));
    curllib::setCallback(curl, CURLOPT_WRITEFUNCTION, onBody);
    curllib::setPointer(curl, CURLOPT_WRITEDATA, &t);
    curllib::setCallback(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curllib::setPointer(curl, CURLOPT_HEADERDATA, &t);
    curllib::setLong(curl, CURLOPT_NOPROGRESS, 0);
    curllib::setCallback(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curllib::setPointer(curl, CURLOPT_XFERINFODATA, &t);
    // One connection per request, closed when it ends (the thread's multi
    // handle would otherwise keep it for the next one).
    curllib::setLong(curl, CURLOPT_FORBID_REUSE, 1);

    CURLcode rc = performTransfer(curl);
    if (rc == CURLE_OK) {
        result.response = curlsetup::responseOf(curl, std::move(t.headers), request.url);
        result.body = std::move(t.body);
    } else {
        result.error = errorFor(rc, curl, t, request.url, detail);
    }
    curllib::listFree(headers);
    curllib::easyCleanup(curl);
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
