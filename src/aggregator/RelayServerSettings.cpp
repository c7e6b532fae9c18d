#include "aggregator/RelayServerSettings.h"

#include <mutex>
#include <optional>
#include <utility>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/PlatformLog.h"

namespace {
std::string url(const Value& info, const char* key) {
    std::string v = info.str(key);
    while (!v.empty() && v.back() == '/') v.pop_back();
    if (v.empty()) NSLog("RLLog:the bundle setting %s is missing", key);
    return v;
}
}  // namespace

RelayServerSettings RelayServerSettings::fromInfoDictionary(const Value& info) {
    RelayServerSettings s;
    s.apiServerURL = url(info, "RELAY_API_SERVER_URL");
    s.serverListURL = url(info, "RELAY_SERVER_LIST_URL");
    s.reportGatewayURL = url(info, "RELAY_REPORT_GATEWAY_URL");
    s.configHostURL = url(info, "RELAY_CONFIG_HOST_URL");
    s.reachabilityHost = info.str("RELAY_REACHABILITY_HOST");
    if (s.reachabilityHost.empty())
        if (auto u = NSURL::URLWithString(s.apiServerURL)) s.reachabilityHost = u->host();
    return s;
}

RelayServerSettings RelayServerSettings::fromMainBundle() {
    // The network gate and the server API both start from these at launch:
    // one reading, so a missing setting is reported once. Never destroyed:
    // requests on other threads may still ask while the process exits.
    static std::mutex mutex;
    static auto* read = new std::optional<std::pair<Value, RelayServerSettings>>();  // guarded by mutex
    const Value& info = NSBundle::mainBundle().infoDictionary();
    std::lock_guard lock(mutex);
    if (!*read || (*read)->first != info) read->emplace(info, fromInfoDictionary(info));
    return (*read)->second;
}
