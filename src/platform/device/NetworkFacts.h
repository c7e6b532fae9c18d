#pragma once
// The network facts a page may ask for that reachability does not give: the
// interface addresses in the order the system lists them and the resolver's
// name servers. They come from a replaceable source so that tests can play
// any network (a Wi-Fi address, a cellular one, link-local IPv6, no DNS).

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/device/DeviceFacts.h"

namespace device {

class NetworkFactsSource {
public:
    virtual ~NetworkFactsSource() = default;
    // Every IPv4 and IPv6 address, in the system's order; nullopt-like
    // failure is an empty list with `ok` false.
    virtual std::vector<InterfaceAddress> interfaceAddresses(bool* ok) = 0;
    // Name servers in the resolver's order (IPv4 or IPv6 text).
    virtual std::vector<std::string> dnsServers() = 0;

    // The installed source (the system's unless a test installed another).
    static std::shared_ptr<NetworkFactsSource> current();
    // nullptr restores the system source.
    static void install(std::shared_ptr<NetworkFactsSource> source);
};

// The system's facts: getifaddrs and <facts root>/etc/resolv.conf.
class SystemNetworkFacts : public NetworkFactsSource {
public:
    std::vector<InterfaceAddress> interfaceAddresses(bool* ok) override;
    std::vector<std::string> dnsServers() override;
};

// A source whose facts a test sets.
class TestNetworkFacts : public NetworkFactsSource {
public:
    std::vector<InterfaceAddress> interfaceAddresses(bool* ok) override {
        if (ok) *ok = listable;
        return listable ? addresses : std::vector<InterfaceAddress>{};
    }
    std::vector<std::string> dnsServers() override { return servers; }

    bool listable = true;
    std::vector<InterfaceAddress> addresses;
    std::vector<std::string> servers;

    // Appends an up, non-loopback address of `interface`.
    TestNetworkFacts& add(std::string interface, std::string address, bool wireless = false);
};

// Installs a TestNetworkFacts for a scope and restores the system one.
struct ScopedTestNetworkFacts {
    std::shared_ptr<TestNetworkFacts> source = std::make_shared<TestNetworkFacts>();
    ScopedTestNetworkFacts() { NetworkFactsSource::install(source); }
    ~ScopedTestNetworkFacts() { NetworkFactsSource::install(nullptr); }
    TestNetworkFacts* operator->() { return source.get(); }
};

// The "nameserver" lines of a resolv.conf text, in order; entries that are
// not IPv4 or IPv6 addresses are skipped (a zone suffix "%eth0" is kept).
std::vector<std::string> parseResolvConf(std::string_view text);

}  // namespace device
