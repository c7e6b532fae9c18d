#include "platform/device/NetworkFacts.h"

#include <arpa/inet.h>

#include <mutex>

#include "platform/foundation/Files.h"
#include "platform/foundation/Strings.h"

namespace device {

namespace {

std::mutex gMutex;
std::shared_ptr<NetworkFactsSource> gSource;

bool isAddress(const std::string& text) {
    std::string bare = text.substr(0, text.find('%'));
    in_addr a4{};
    in6_addr a6{};
    if (inet_pton(AF_INET, bare.c_str(), &a4) == 1) return bare == text;  // no zone on IPv4
    return inet_pton(AF_INET6, bare.c_str(), &a6) == 1;
}

}  // namespace

std::shared_ptr<NetworkFactsSource> NetworkFactsSource::current() {
    std::lock_guard lock(gMutex);
    if (!gSource) gSource = std::make_shared<SystemNetworkFacts>();
    return gSource;
}

void NetworkFactsSource::install(std::shared_ptr<NetworkFactsSource> source) {
    std::lock_guard lock(gMutex);
    gSource = std::move(source);
}

std::vector<InterfaceAddress> SystemNetworkFacts::interfaceAddresses(bool* ok) {
    // getifaddrs only fails without memory or sockets; an empty list on a
    // machine without interfaces is still a successful read.
    if (ok) *ok = true;
    return device::interfaceAddresses();
}

std::vector<std::string> SystemNetworkFacts::dnsServers() {
    auto text = files::readText(factsRoot() / "etc/resolv.conf");
    return text ? parseResolvConf(*text) : std::vector<std::string>{};
}

TestNetworkFacts& TestNetworkFacts::add(std::string interface, std::string address, bool wireless) {
    InterfaceAddress a;
    a.interface = std::move(interface);
    a.ipv6 = address.find(':') != std::string::npos;
    a.address = std::move(address);
    a.up = true;
    a.wireless = wireless;
    addresses.push_back(std::move(a));
    return *this;
}

std::vector<std::string> parseResolvConf(std::string_view text) {
    std::vector<std::string> out;
    for (auto& raw : strings::split(text, "\n")) {
        std::string line = strings::trim(raw.substr(0, raw.find_first_of("#;")));
        if (!strings::hasPrefix(line, "nameserver")) continue;
        std::string rest = line.substr(10);
        if (rest.empty() || (rest[0] != ' ' && rest[0] != '\t')) continue;
        std::string server = strings::trim(rest);
        server = server.substr(0, server.find_first_of(" \t"));
        if (isAddress(server)) out.push_back(server);
    }
    return out;
}

}  // namespace device
