#include "usercenter/core/ZVNetwork.h"

#include <atomic>
#include <chrono>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/PlatformLog.h"
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

// Runs `failure` on the main queue for a request that cannot start.
void failSoon(const std::string& url, ZVFailure failure) {
    Error e = urlerror::make(NSURLErrorBadURL, "no user-centre server address is configured", url);
    NSLog("error = %s", e.localizedDescription().c_str());
    DispatchQueue::main()->async([failure = std::move(failure), e] {
        if (failure) failure(e);
    });
}
}  // namespace

Error unreadableReply(const std::string& url) {
    Error e = Error::withDescription(NSCocoaErrorDomain, 3840, "The reply could not be read.");
    e.userInfo.set(NSURLErrorFailingURLStringErrorKey, url);
    return e;
}

std::shared_ptr<URLSession> session() {
    static std::shared_ptr<URLSession> s =
        URLSession::sessionWithConfiguration(URLSessionConfiguration::defaultConfiguration());
    return s;
}

void setCodedTimeout(std::chrono::milliseconds timeout) { codedTimeoutMs = timeout.count(); }

}  // namespace zvnet

CXRSdpNetTool& CXRSdpNetTool::sharedTool() {
    static CXRSdpNetTool* tool = new CXRSdpNetTool();
    return *tool;
}

void CXRSdpNetTool::PostWithURLString(const std::string& path, const Value& parameters, ZVSuccess success,
                                      ZVFailure failure) {
    std::string base = ZVApi::baseURL();
    std::string url = base + path;
    if (base.empty()) return zvnet::failSoon(url, std::move(failure));
    URLRequest request(url, "POST");
    request.setValue("application/x-www-form-urlencoded", "Content-Type");
    request.setValue("application/json, text/html", "Accept");
    request.body = zvnet::formBody(parameters);
    zvnet::session()->dataTask(
        request,
        [url, success = std::move(success), failure = std::move(failure)](URLResult result) {
            std::optional<Error> error = result.error;
            std::optional<Value> reply;
            if (!error) {
                long status = result.response ? result.response->statusCode : 0;
                if (status < 200 || status > 299) {
                    error = urlerror::make(NSURLErrorBadServerResponse,
                                           strings::format("Request failed: status %ld", status), url);
                } else {
                    reply = Value::fromJSON(result.body);
                    if (!reply) error = zvnet::unreadableReply(url);
                }
            }
            if (error) {
                NSLog("error = %s", error->localizedDescription().c_str());
                if (failure) failure(*error);
                return;
            }
            if (success) success(*reply);
        },
        DispatchQueue::main());
}

NetWorkManager& NetWorkManager::sharedInstance() {
    static NetWorkManager* manager = new NetWorkManager();
    return *manager;
}

void NetWorkManager::PostCouponURL(const std::string& path, const Value& parameters, ZVSuccess success,
                                   ZVFailure failure) {
    std::string base = ZVApi::baseURL();
    std::string url = base + path;
    if (base.empty()) return zvnet::failSoon(url, std::move(failure));
    auto codec = ZVRequestCodec::current();
    URLRequest request(url, "POST");
    request.setValue("text/html", "Content-Type");
    request.timeout = std::chrono::milliseconds(zvnet::codedTimeoutMs.load());
    request.body = codec->encode(parameters.isDict() ? parameters : Value::dict());
    zvnet::session()->dataTask(
        request,
        [url, codec, success = std::move(success), failure = std::move(failure)](URLResult result) {
            if (result.error || result.body.empty()) {
                Error e = result.error ? *result.error : zvnet::unreadableReply(url);
                NSLog("error = %s", e.localizedDescription().c_str());
                if (failure) failure(e);
                return;
            }
            auto reply = codec->decode(result.body);
            if (!reply) {
                Error e = zvnet::unreadableReply(url);
                NSLog("error = %s", e.localizedDescription().c_str());
                if (failure) failure(e);
                return;
            }
            if (success) success(*reply);
        },
        DispatchQueue::main());
}
