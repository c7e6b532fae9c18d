// The aggregator stand-in as a program, for the demo: starts the servers on
// the given ports (free ones by default), prints where they listen, writes
// a line for each request they answer to standard error (naming the server:
// api0, api1, list, gateway, config), and runs until interrupted.
//
//   aggregator-standin [--api-ports P1,P2] [--list-port P] [--gateway-port P]
//                      [--config-port P] [--product CODE:KEY]... [--product-of BUNDLE] [--tls]
//
// --product-of takes the product a game's bundle names, read as the game
// reads it (its Info.plist, then its channel file), beside those given.

#include "aggregator/RelayChannelConfig.h"
#include "platform/foundation/NSBundle.h"
#include "standin/AggregatorStandin.h"
#include "standin/StandinProgram.h"

namespace {

// The product the game in `folder` runs as; nullopt when it names none.
std::optional<RelayChannelConfig::Product> productOfBundle(const std::string& folder) {
    auto bundle = NSBundle::bundleWithPath(folder);
    if (!bundle) return std::nullopt;
    RelayChannelConfig::Product passed{bundle->infoText("RELAY_PRODUCT_CODE").value_or(""),
                                       bundle->infoText("RELAY_PRODUCT_KEY").value_or("")};
    auto file = bundle->pathForResource("relayChannel", "cfg");
    auto product = file ? RelayChannelConfig::productOf(RelayChannelConfig::read(*file), passed) : passed;
    if (product.code.empty() || product.key.empty()) return std::nullopt;
    return product;
}

}  // namespace

int main(int argc, char** argv) {
    standin::ProgramOptions args(argc, argv,
                                 "usage: aggregator-standin [--api-ports P1,P2,...] [--list-port P] [--gateway-port P]\n"
                                 "                          [--config-port P] [--product CODE:KEY]... [--product-of BUNDLE] [--tls]\n");
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
        } else if (a == "--product-of") {
            auto product = productOfBundle(args.value());
            if (!product) continue;  // the game names none: the stand-in keeps its own
            if (!productsGiven) options.productKeys.clear();
            productsGiven = true;
            options.productKeys[product->code] = product->key;
        } else args.unknown();
    }
    standin::AggregatorStandin standin(options);
    std::vector<standin::HttpServer*> servers{&standin.listHost(), &standin.gateway(), &standin.configHost()};
    for (size_t i = 0; i < standin.apiCount(); ++i) servers.push_back(&standin.api(i));
    for (auto* server : servers) standin::printRequests(*server, "aggregator-standin (" + server->name() + ")");
    return standin::serveUntilStopped("aggregator-standin", standin);
}
