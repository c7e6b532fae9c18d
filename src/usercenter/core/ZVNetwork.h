#pragma once
// The two request senders of the user-centre SDK. Both join an endpoint
// path to the API base URL, run exactly one of their blocks, always on the
// main queue, and never block the caller.

#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

class URLSession;

using ZVSuccess = std::function<void(const Value& reply)>;
using ZVFailure = std::function<void(const Error& error)>;

// Form-encoded POSTs answered with JSON.
class CXRSdpNetTool {
public:
    static CXRSdpNetTool& sharedTool();
    // The parameters form-encoded as the body; the reply parsed as JSON.
    // A transport error, a status outside 2xx or a body that is no JSON
    // runs the failure block (and is logged as "error = ...").
    void PostWithURLString(const std::string& path, const Value& parameters, ZVSuccess success, ZVFailure failure);

private:
    CXRSdpNetTool() = default;
};

// POSTs of a body coded by the SDK's request codec (ZVRequestCodec).
class NetWorkManager {
public:
    static NetWorkManager& sharedInstance();
    // Header "Content-Type: text/html", time-out 10 seconds. A reply body
    // that decodes to a dictionary runs the success block with it (whatever
    // the status); anything else runs the failure block.
    void PostCouponURL(const std::string& path, const Value& parameters, ZVSuccess success, ZVFailure failure);

private:
    NetWorkManager() = default;
};

namespace zvnet {
// The error the senders report for a reply that cannot be read.
Error unreadableReply(const std::string& url);
// The session both senders use (default configuration: verified TLS, the
// bundle's extra CA file).
std::shared_ptr<URLSession> session();
// Tests shorten the coded sender's time-out.
void setCodedTimeout(std::chrono::milliseconds timeout);
}  // namespace zvnet
