// The aggregator stand-in as a program, for the demo: starts the servers on
// the given ports (free ones by default), prints where they listen, and runs
// until interrupted.
//
//   aggregator-standin [--api-ports P1,P2] [--list-port P] [--gateway-port P]
//                      [--config-port P] [--product CODE:KEY]... [--tls]

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/foundation/Strings.h"
#include "standin/AggregatorStandin.h"

namespace {
void usage() {
    std::fprintf(stderr,
                 "usage: aggregator-standin [--api-ports P1,P2,...] [--list-port P] [--gateway-port P]\n"
                 "                          [--config-port P] [--product CODE:KEY]... [--tls]\n");
}
}  // namespace

int main(int argc, char** argv) {
    standin::AggregatorStandin::Options options;
    bool productsGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                usage();
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--api-ports") {
            options.apiPorts.clear();
            for (auto& p : strings::split(next(), ",")) options.apiPorts.push_back(std::atoi(p.c_str()));
            options.apiServers = int(options.apiPorts.size());
        } else if (a == "--list-port") options.listPort = std::atoi(next().c_str());
        else if (a == "--gateway-port") options.gatewayPort = std::atoi(next().c_str());
        else if (a == "--config-port") options.configPort = std::atoi(next().c_str());
        else if (a == "--tls") options.tlsApi = true;
        else if (a == "--product") {
            auto v = next();
            auto colon = v.find(':');
            if (colon == std::string::npos) return usage(), 2;
            if (!productsGiven) options.productKeys.clear();
            productsGiven = true;
            options.productKeys[v.substr(0, colon)] = v.substr(colon + 1);
        } else {
            usage();
            return a == "--help" || a == "-h" ? 0 : 2;
        }
    }

    standin::StopSignals signals;  // before any server thread starts
    standin::AggregatorStandin standin(options);
    if (!standin.start()) {
        std::fprintf(stderr, "aggregator-standin: a port is taken\n");
        return 1;
    }
    standin::printSettings(standin.infoPlistSettings());
    signals.wait();
    standin.stop();
    return 0;
}
