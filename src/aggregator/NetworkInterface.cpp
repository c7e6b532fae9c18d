#include "aggregator/NetworkInterface.h"

#include <mutex>

#include "aggregator/Extend.h"
#include "logging/VLLog.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/net/URLSession.h"

namespace {

std::mutex gSessionMutex;

URLRequest build(const std::string& url, const std::string& param, const std::string& method, double timeout,
                 bool listForm) {
    URLRequest r;
    if (method == "POST") {
        r.url = url;
        r.method = "POST";
        r.body = param;  // the client sets "Content-Length" from the body
    } else {
        r.method = "GET";
        if (listForm) r.url = param.empty() ? url : url + "?" + param;
        else r.url = param.empty() ? url : url + "?" + NetworkInterface::escapeQuery(param);
    }
    r.timeout = std::chrono::milliseconds(long(timeout * 1000));
    r.maxResponseBytes = Extend::kMaxReplyBytes;
    return r;
}

// A reply that arrived, as the synchronous forms read it: its JSON object,
// or an empty dictionary.
Value dictionaryReply(const URLResult& result) {
    if (result.body.empty()) return Value::dict();
    auto v = Extend::dictionaryFromJsonData(result.body);
    if (v && v->isDict()) return *v;
    return Value::dict();
}

// A reply as the asynchronous form reads it: nothing for an empty or
// unreadable body (a bare 404 is no answer), an empty dictionary for JSON
// that is no object.
std::optional<Value> asyncReply(const URLResult& result) {
    if (result.body.empty()) return std::nullopt;
    auto v = Extend::dictionaryFromJsonData(result.body);
    if (!v) return std::nullopt;
    return v->isDict() ? *v : Value::dict();
}

}  // namespace

NetworkInterface& NetworkInterface::sharedInstance() {
    static NetworkInterface* instance = new NetworkInterface();
    return *instance;
}

void NetworkInterface::setSession(std::shared_ptr<URLSession> session) {
    std::lock_guard lock(gSessionMutex);
    session_ = std::move(session);
}

std::shared_ptr<URLSession> NetworkInterface::session() const {
    std::lock_guard lock(gSessionMutex);
    return session_ ? session_ : URLSession::shared();
}

std::string NetworkInterface::escapeQuery(const std::string& param) {
    // The characters a query may hold as they are; everything else (blanks,
    // quotes, "%", "#", non-ASCII) is escaped.
    return strings::percentEncode(param, ":/?@!$&'()*+,;=");
}

std::shared_ptr<URLSessionTask> NetworkInterface::addHttpRequest(const std::string& url, const std::string& param,
                                                                 const std::string& method, Completion completion,
                                                                 double timeout, std::shared_ptr<DispatchQueue> queue) {
    auto request = build(url, param, method, timeout, false);
    return session()->dataTask(
        request,
        [completion = std::move(completion)](URLResult result) {
            if (!completion) return;
            completion(result.ok() ? asyncReply(result) : std::nullopt);
        },
        queue ? std::move(queue) : DispatchQueue::main());
}

std::optional<Value> NetworkInterface::addSyncHttpRequest(const std::string& url, const std::string& param,
                                                          const std::string& method, double timeout) {
    auto result = session()->sendSynchronousRequest(build(url, param, method, timeout, false));
    if (!result.ok()) {
        VLLogWarn("RLLog:request %s failed: %s", url.c_str(), result.error->localizedDescription().c_str());
        return std::nullopt;
    }
    return dictionaryReply(result);
}

Value NetworkInterface::addSyncHttpRequest2(const std::string& url, const std::string& param, const std::string& method) {
    auto result = session()->sendSynchronousRequest(build(url, param, method, 3.0, true));
    Value out = Value::array();
    if (!result.ok() || result.body.empty()) return out;
    auto v = Extend::arrayFromJsonData(result.body);
    if (v && v->isArray()) out = *v;
    return out;
}
