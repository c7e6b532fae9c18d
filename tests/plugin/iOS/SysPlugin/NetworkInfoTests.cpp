// Network facts: the state table from the probe host and the internet
// watchers, the device's address, DNS servers and reachability statuses.

#include <gtest/gtest.h>

#include "platform/device/NetworkFacts.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "plugin/iOS/RAZ5Orered/NetworkInfo.h"
#include "support/TestSupport.h"

namespace {

using device::ScopedTestNetworkFacts;

constexpr uint32_t kReachable = kReachabilityFlagsReachable;
constexpr uint32_t kCellular = kReachabilityFlagsReachable | kReachabilityFlagsIsWWAN;

// Flags per kind of target: host-name targets (the probe host) and address
// targets (the internet in general) answer separately.
class SplitReachability : public ReachabilitySource {
public:
    std::optional<uint32_t> host = 0, internet = 0;
    std::optional<uint32_t> flagsFor(const ReachabilityTarget& t) override {
        return t.hostName.empty() ? internet : host;
    }
    uint64_t subscribe(std::function<void()> f) override {
        onChange = std::move(f);
        return 1;
    }
    void unsubscribe(uint64_t) override { onChange = nullptr; }
    std::function<void()> onChange;
};

class Network : public ::testing::Test {
protected:
    void SetUp() override {
        ReachabilitySource::install(source);
        NetworkInfo::resetForTesting();
    }
    void TearDown() override {
        NetworkInfo::resetForTesting();
        ReachabilitySource::install(nullptr);
    }
    std::shared_ptr<SplitReachability> source = std::make_shared<SplitReachability>();
    ScopedTestNetworkFacts facts;
};

TEST_F(Network, StatesFollowTheProbeHostFirstThenTheInternet) {
    struct Row {
        std::optional<uint32_t> host, internet;
        int wifiState, networkType;
        bool available;
    } rows[] = {
        {kReachable, 0, 3, 1, true},         // probe host over Wi-Fi
        {kReachable, kCellular, 3, 1, true},  // whatever the internet says
        {kCellular, kReachable, 1, 0, true},  // probe host over cellular
        {0, kReachable, 1, 0, true},          // probe host unreachable, internet over Wi-Fi
        {0, kCellular, 1, 0, true},
        {0, 0, 1, 2, false},                  // no network
        {std::nullopt, std::nullopt, 1, 2, false},  // flags unreadable count as not reachable
    };
    EXPECT_EQ(NetworkInfo::instance().wifiState, 0) << "0 before the first query";
    for (auto& r : rows) {
        source->host = r.host;
        source->internet = r.internet;
        auto& info = NetworkInfo::GetNetworkInfo();
        EXPECT_EQ(info.wifiState, r.wifiState) << r.host.value_or(99) << "/" << r.internet.value_or(99);
        EXPECT_EQ(info.networkType, r.networkType) << r.host.value_or(99) << "/" << r.internet.value_or(99);
        EXPECT_EQ(info.available, r.available) << r.host.value_or(99) << "/" << r.internet.value_or(99);
        EXPECT_EQ(info.rssiLevel, -1);
    }
}

TEST_F(Network, AnswerCarriesTheDNSServerOnceKnown) {
    facts->add("wlan0", "192.168.1.20", true);
    source->host = kReachable;
    auto v = NetworkInfo::GetNetworkInfo().toValue();
    EXPECT_EQ(v, Value::dict({{"wifiState", 3},
                              {"networkType", 1},
                              {"rssiLevel", -1},
                              {"available", true},
                              {"deviceIp", "192.168.1.20"}}));
    facts->servers = {"10.0.0.53", "8.8.8.8"};
    EXPECT_EQ(NetworkInfo::GetNetworkInfo().toValue().str("dnsIp"), "10.0.0.53");
    facts->servers.clear();
    EXPECT_EQ(NetworkInfo::GetNetworkInfo().toValue().str("dnsIp"), "10.0.0.53") << "an earlier server stays";
}

TEST_F(Network, DeviceAddressPrefersRoutableIPv6AndNeverLinkLocal) {
    EXPECT_EQ(NetworkInfo::GetDeviceIPAddress(), "127.0.0.1") << "no addresses";
    facts->listable = false;
    EXPECT_EQ(NetworkInfo::GetDeviceIPAddress(), "127.0.0.1");
    facts->listable = true;

    auto& a = facts->addresses;
    facts->add("lo", "127.0.0.1").addresses.back().loopback = true;
    facts->add("docker0", "172.17.0.1");
    facts->add("eth0", "192.168.1.5");
    EXPECT_EQ(NetworkInfo::GetDeviceIPAddress(), "192.168.1.5");

    // A link-local IPv6 address after a good IPv4 address keeps the IPv4 one.
    facts->add("eth0", "fe80::1c2b:3ff:fe4d:5e6f");
    EXPECT_EQ(NetworkInfo::GetDeviceIPAddress(), "192.168.1.5");
    facts->add("wlan0", "10.1.2.3", true);
    EXPECT_EQ(NetworkInfo::GetDeviceIPAddress(), "10.1.2.3") << "the last IPv4 address wins";

    // A routable IPv6 address ends the walk at once.
    facts->add("wlan0", "2001:db8::42", true);
    facts->add("eth1", "10.9.9.9");
    EXPECT_EQ(NetworkInfo::GetDeviceIPAddress(), "2001:db8::42");

    // Interfaces that are down do not count.
    a.clear();
    facts->add("eth0", "192.168.7.7").addresses.back().up = false;
    facts->add("eth0", "FE80::1");
    EXPECT_EQ(NetworkInfo::GetDeviceIPAddress(), "127.0.0.1");
}

TEST(ResolvConf, NameServersInOrderAndOnlyAddresses) {
    auto servers = device::parseResolvConf(
        "# generated\n"
        "search lan\n"
        "nameserver 192.168.1.1\n"
        "nameserver\tfe80::1%eth0\n"
        "nameserver dns.example.com\n"
        "  nameserver 2001:4860:4860::8888   # google\n"
        "nameservers 9.9.9.9\n"
        "nameserver 1.2.3.4%eth0\n"
        "; nameserver 8.8.4.4\n"
        "options edns0\n");
    EXPECT_EQ(servers, (std::vector<std::string>{"192.168.1.1", "fe80::1%eth0", "2001:4860:4860::8888"}));
    EXPECT_TRUE(device::parseResolvConf("").empty());
}

TEST(ResolvConf, SystemSourceReadsBelowTheFactsRoot) {
    testsupport::TempDir root;
    testsupport::writeFile(root / "etc/resolv.conf", "nameserver 10.0.0.2\nnameserver 10.0.0.3\n");
    device::setFactsRoot(root.path());
    device::SystemNetworkFacts system;
    EXPECT_EQ(system.dnsServers(), (std::vector<std::string>{"10.0.0.2", "10.0.0.3"}));
    device::setFactsRoot("/");
}

TEST(Reachability, StatusForFlags) {
    using R = KXReachability;
    EXPECT_EQ(R::networkStatusForFlags(0), R::NotReachable);
    EXPECT_EQ(R::networkStatusForFlags(kReachabilityFlagsIsWWAN), R::NotReachable);
    EXPECT_EQ(R::networkStatusForFlags(kReachable), R::ReachableViaWiFi);
    EXPECT_EQ(R::networkStatusForFlags(kCellular | kReachabilityFlagsConnectionRequired), R::ReachableViaWWAN);
    EXPECT_EQ(R::networkStatusForFlags(kReachable | kReachabilityFlagsConnectionRequired), R::NotReachable);
    EXPECT_EQ(R::networkStatusForFlags(kReachable | kReachabilityFlagsConnectionRequired |
                                       kReachabilityFlagsConnectionOnTraffic),
              R::ReachableViaWiFi);
    EXPECT_EQ(R::networkStatusForFlags(kReachable | kReachabilityFlagsConnectionRequired |
                                       kReachabilityFlagsConnectionOnDemand | kReachabilityFlagsInterventionRequired),
              R::NotReachable);
}

TEST_F(Network, WatchersPostChangesOnTheMainQueue) {
    auto watcher = KXReachability::reachabilityForInternetConnection();
    ASSERT_TRUE(watcher);
    int posts = 0;
    const void* seen = nullptr;
    auto token = NSNotificationCenter::defaultCenter().addObserver(
        kNetworkReachabilityChangedNotification, [&](const NSNotification& n) {
            ++posts;
            seen = n.object;
        });
    ASSERT_TRUE(watcher->startNotifier());
    source->internet = kReachable;
    ASSERT_TRUE(source->onChange);
    source->onChange();
    EXPECT_TRUE(testsupport::waitFor([&] { return posts == 1; }));
    EXPECT_EQ(seen, watcher.get());
    EXPECT_TRUE(watcher->connectionRequired() == false);
    watcher->stopNotifier();
    EXPECT_FALSE(source->onChange) << "stopping unsubscribes";
    NSNotificationCenter::defaultCenter().removeObserver(token);
}

}  // namespace
