#include "usercenter/core/ZVNetwork.h"

#include <atomic>
#include <chrono>

#include "logging/VLLog.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/JSONReading.h"
#include "platform/foundation/Redact.h"
#include "platform/foundation/Strings.h"
#include "platform/net/URLSession.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVRequestCodec.h"

std::string ZVApi::baseURL() { return ShareVale::sharedInstance().settings().apiBaseURL(); }

namespace zvnet {

namespace {
std::atomic<int64_t> codedTimeoutMs{10000};

std::string formBody(const Value& parameters) {
    std::vector<std::string> pairs;
    if (auto* d = parameters.getDict()) {
        for (auto& [k, v] : *d) {
            std::string text = (v.isArray() || v.isDict()) ? v.toJSON() : v.textValue();
            pairs.push_back(strings::formEncode(k) + "=" + strings::formEncode(text));
        }
    }
    return strings::join(pairs, "&");
}

// What a sender makes of a request the server answered: the reply, or the error.
using Reader = std::function<std::optional<Value>(const URLResult&, const std::string& url, Error& error)>;

// The error the senders report for a reply that cannot be read.
Error unreadableReply(const std::string& url) {
    Error e = Error::withDescription(NSCocoaErrorDomain, 3840, "The reply could not be read.");
    e.userInfo.set(NSURLErrorFailingURLStringErrorKey, url);
    return e;
}

// Every failed request reaches the log with the address it went to.
void report(const Error& e, const std::string& url, const ZVFailure& failure) {
    VLLogError("error = %s (%s)", e.localizedDescription().c_str(), redact::url(url).c_str());
    if (failure) failure(e);
}

// POSTs `body` to the API base URL followed by `path`; exactly one block
// runs, on the main queue, also when no server address is configured.
void post(const std::string& path, HTTPHeaders headers, std::string body, std::chrono::milliseconds timeout,
          Reader read, ZVSuccess success, ZVFailure failure) {
    std::string base = ZVApi::baseURL();
    std::string url = base + path;
    if (base.empty()) {
        Error e = urlerror::make(NSURLErrorBadURL, "no user-centre server address is configured", url);
        DispatchQueue::main()->async([failure = std::move(failure), e, url] { report(e, url, failure); });
        return;
    }
    URLRequest request(url, "POST");
    request.headers = std::move(headers);
    request.body = std::move(body);
    request.timeout = timeout;
    request.maxResponseBytes = kMaxReplyBytes;
    URLSession::shared()->dataTask(
        request,
        [url, read = std::move(read), success = std::move(success), failure = std::move(failure)](URLResult result) {
            if (result.error) return report(*result.error, url, failure);
            Error error;
            std::optional<Value> reply = read(result, url, error);
            if (!reply) return report(error, url, failure);
            if (success) success(*reply);
        },
        DispatchQueue::main());
}
}  // namespace

void setCodedTimeout(std::chrono::milliseconds timeout) { codedTimeoutMs = timeout.count(); }

}  // namespace zvnet

CXRSdpNetTool& CXRSdpNetTool::sharedTool() {
    static CXRSdpNetTool* tool = new CXRSdpNetTool();
    return *tool;
}

void CXRSdpNetTool::PostWithURLString(const std::string& path, const Value& parameters, ZVSuccess success,
                                      ZVFailure failure) {
    zvnet::post(
        path, {{"Content-Type", "application/x-www-form-urlencoded"}, {"Accept", "application/json, text/html"}},
        zvnet::formBody(parameters), std::chrono::milliseconds(0),
        [](const URLResult& result, const std::string& url, Error& error) -> std::optional<Value> {
            long status = result.response ? result.response->statusCode : 0;
            if (status < 200 || status > 299) {
                error = urlerror::make(NSURLErrorBadServerResponse, strings::format("Request failed: status %ld", status),
                                       url);
                return std::nullopt;
            }
            auto reply = readJSON(result.body, {zvnet::kMaxReplyValues});
            if (!reply) error = zvnet::unreadableReply(url);
            return reply;
        },
        std::move(success), std::move(failure));
}

NetWorkManager& NetWorkManager::sharedInstance() {
    static NetWorkManager* manager = new NetWorkManager();
    return *manager;
}

void NetWorkManager::PostCouponURL(const std::string& path, const Value& parameters, ZVSuccess success,
                                   ZVFailure failure) {
    auto codec = ZVRequestCodec::current();
    zvnet::post(
        path, {{"Content-Type", "text/html"}}, codec->encode(parameters.isDict() ? parameters : Value::dict()),
        std::chrono::milliseconds(zvnet::codedTimeoutMs.load()),
        [codec](const URLResult& result, const std::string& url, Error& error) -> std::optional<Value> {
            auto reply = result.body.empty() ? std::nullopt : codec->decode(result.body);
            if (!reply) error = zvnet::unreadableReply(url);
            return reply;
        },
        std::move(success), std::move(failure));
}
