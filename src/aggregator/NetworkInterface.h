#pragma once
// The aggregator SDK's single HTTP exchanges: one request, one reply read
// as JSON. No retrying and no fail-over (the server API does that).
//
// - POST sends the parameter text as the body with its Content-Length;
//   GET appends it, percent-escaped where a URL needs it, after "?".
// - The status is never looked at. The synchronous forms count any reply
//   that arrives as an answer: a body that is not a JSON object (an empty
//   one included) reads as an empty dictionary. The asynchronous form gives
//   no reply for an empty body or one that is no JSON (a bare 404 is no
//   answer there), and an empty dictionary for JSON that is no object. A
//   transport failure (no connection, time-out, TLS failure) gives no reply
//   in every form.
// - Certificates are verified (see URLSession); the bundle may name an
//   extra CA file.
// - The synchronous forms must run off the main thread: there they give no
//   reply at once.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

class DispatchQueue;
class URLSession;
class URLSessionTask;

class NetworkInterface {
public:
    using Completion = std::function<void(std::optional<Value> reply)>;

    static NetworkInterface& sharedInstance();
    static constexpr double defaultRequesTimeOut() { return 6.0; }

    // The reply (a dictionary) or nullopt, on `queue` (the main queue when
    // none is given). An empty or unreadable body and a cancelled task give
    // nullopt.
    std::shared_ptr<URLSessionTask> addHttpRequest(const std::string& url, const std::string& param,
                                                   const std::string& method, Completion completion,
                                                   double timeout = defaultRequesTimeOut(),
                                                   std::shared_ptr<DispatchQueue> queue = nullptr);
    // The reply (a dictionary), or nullopt on a transport error.
    std::optional<Value> addSyncHttpRequest(const std::string& url, const std::string& param, const std::string& method,
                                            double timeout = defaultRequesTimeOut());
    // The server-list file: its JSON array, or an empty array on any
    // failure (3 seconds; the parameter text is appended unescaped).
    Value addSyncHttpRequest2(const std::string& url, const std::string& param, const std::string& method);

    // The session used (the shared one unless replaced, as tests do).
    void setSession(std::shared_ptr<URLSession> session);
    std::shared_ptr<URLSession> session() const;

    // Escapes a GET parameter text for a URL, keeping every character that
    // is legal in one ("&", "=", "+", "/", "?" and the rest).
    static std::string escapeQuery(const std::string& param);

private:
    NetworkInterface() = default;
    std::shared_ptr<URLSession> session_;
};
