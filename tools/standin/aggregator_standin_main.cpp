// The aggregator stand-in as a program, for the demo: starts the servers on
// the given ports (free ones by default), prints where they listen, and runs
// until interrupted.
//
//   aggregator-standin [--api-ports P1,P2] [--list-port P] [--gateway-port P]
//                      [--config-port P] [--product CODE:KEY]... [--tls]

#include "standin/AggregatorStandin.h"
#include "standin/StandinProgram.h"

int main(int argc, char** argv) {
    standin::ProgramOptions args(argc, argv,
                                 "usage: aggregator-standin [--api-ports P1,P2,...] [--list-port P] [--gateway-port P]\n"
                                 "                          [--config-port P] [--product CODE:KEY]... [--tls]\n");
    standin::AggregatorStandin::Options options;
    bool productsGiven = false;
    while (args.next()) {
        const std::string& a = args.option();
        if (a == "--api-ports") {
            options.apiPorts = args.ports();
            options.apiServers = int(options.apiPorts.size());
        } else if (a == "--list-port") options.listPort = args.port();
        else if (a == "--gateway-port") options.gatewayPort = args.port();
        else if (a == "--config-port") options.configPort = args.port();
        else if (a == "--tls") options.tlsApi = true;
        else if (a == "--product") {
            auto [code, key] = args.pair();
            if (!productsGiven) options.productKeys.clear();
            productsGiven = true;
            options.productKeys[code] = key;
        } else args.unknown();
    }
    standin::AggregatorStandin standin(options);
    return standin::serveUntilStopped("aggregator-standin", standin);
}
