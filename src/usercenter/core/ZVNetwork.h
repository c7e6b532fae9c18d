#pragma once
// The two request senders of the user-centre SDK. Both join an endpoint
// path to the API base URL, run exactly one of their blocks, always on the
// main queue, and never block the caller.

#include <chrono>
#include <functional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

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
// What one reply may cost, far above what the user centre's screens use: a
// longer body fails as a transport error, a text of more JSON values as an
// unreadable reply (each through the sender's failure block).
inline constexpr size_t kMaxReplyBytes = 4u << 20;
inline constexpr size_t kMaxReplyValues = 200000;

// Tests shorten the coded sender's time-out.
void setCodedTimeout(std::chrono::milliseconds timeout);
}  // namespace zvnet
