#pragma once
// The addresses of the aggregator's servers. They are settings of the
// application bundle (Info.plist), never constants of the program:
//
//   RELAY_API_SERVER_URL      the built-in API server (first entry of the
//                             server list), e.g. "https://api.example.com"
//   RELAY_SERVER_LIST_URL     the host serving "<product>-<channel>.html"
//   RELAY_REPORT_GATEWAY_URL  the report gateway base, ending in "/api"
//   RELAY_CONFIG_HOST_URL     the host serving the anti-addiction file
//   RELAY_REACHABILITY_HOST   the vendor host name the network gate probes
//                             (default: the API server's host)
//
// Trailing slashes are dropped. A missing address is "" (requests to it
// fail at once, as with no server).

#include <string>

#include "platform/foundation/Value.h"

struct RelayServerSettings {
    std::string apiServerURL;
    std::string serverListURL;
    std::string reportGatewayURL;
    std::string configHostURL;
    std::string reachabilityHost;

    static RelayServerSettings fromInfoDictionary(const Value& info);
    // Read once: later calls give the same settings while the main
    // bundle's Info.plist stays the same (it changes only in tests).
    static RelayServerSettings fromMainBundle();
};
