// The aggregator stand-in as a program, for the demo: starts the servers on
// the given ports (free ones by default), prints where they listen, writes
// a line for each request they answer to standard error (naming the server:
// api0, api1, list, gateway, config), and runs until interrupted.
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
    std::vector<standin::HttpServer*> servers{&standin.listHost(), &standin.gateway(), &standin.configHost()};
    for (size_t i = 0; i < standin.apiCount(); ++i) servers.push_back(&standin.api(i));
    for (auto* server : servers) standin::printRequests(*server, "aggregator-standin (" + server->name() + ")");
    return standin::serveUntilStopped("aggregator-standin", standin);
}
