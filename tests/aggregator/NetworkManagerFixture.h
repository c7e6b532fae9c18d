#pragma once
// The server API's test set-up: three API servers of the aggregator
// stand-in, a bundle pointing at them, fresh aggregator singletons and the
// product's configuration.

#include <gtest/gtest.h>

#include "AggregatorCoreSupport.h"
#include "aggregator/NetworkInterface.h"
#include "aggregator/NetworkManager.h"
#include "aggregator/SDKCooperater.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/net/URLSession.h"
#include "standin/AggregatorStandin.h"
#include "support/TestSupport.h"

namespace aggtest {

using standin::AggregatorStandin;
using standin::Reply;

inline AggregatorStandin::Options threeServers() {
    AggregatorStandin::Options o;
    o.apiServers = 3;
    return o;
}

class NetworkManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(standin.start());
        Value info = standin.infoPlistSettings();
        info.set("CFBundleIdentifier", "com.example.test");
        info.set("CFBundleShortVersionString", "2.1.0");
        bundle = std::make_unique<testsupport::TempBundle>(info);
        NetworkInterface::sharedInstance().setSession(URLSession::sessionWithConfiguration(URLSessionConfiguration()));
        aggregator = std::make_unique<FreshAggregator>();
        auto cfg = std::make_shared<RUVURazuzEVEInitConfigure>();
        cfg->setProductCode("P100");
        cfg->setProductKey("abcdefgh12345");
        SDKCooperater::shareCooperater().setPlatformCfg(cfg);
        net = NetworkManager::shared();
    }
    void TearDown() override {
        for (size_t i = 0; i < standin.apiCount(); ++i) standin.api(i).releaseHung();
        aggregator.reset();
        NetworkInterface::sharedInstance().setSession(nullptr);
    }

    // Starts a request and runs the main loop until its completion ran.
    std::optional<Value> await(const std::function<void(NetworkManager::Completion)>& start) {
        bool done = false, onMain = false;
        std::optional<Value> out;
        start([&](std::optional<Value> reply) {
            out = std::move(reply);
            onMain = isMainThread();
            done = true;
        });
        EXPECT_TRUE(testsupport::waitFor([&] { return done; }, std::chrono::seconds(20)));
        EXPECT_TRUE(onMain);
        return out;
    }
    std::optional<Value> init() {
        return await([&](auto c) { net->initInterface(c); });
    }
    // The list becomes exactly these servers (the list host offers none).
    void useServers(const std::vector<std::string>& urls) {
        standin.setServerList(Value::array());
        Value list = Value::array();
        for (auto& u : urls) list.push(u);
        bool done = false;
        net->updateServerListWithChannelParams(Value::dict({{"relay_server_config", list}}), [&] { done = true; });
        ASSERT_TRUE(testsupport::waitFor([&] { return done; }));
        ASSERT_EQ(net->serveUrls(), urls);
    }
    size_t initsAt(size_t server) {
        size_t n = 0;
        for (auto& e : standin.journal().entries("/v1/api/init"))
            if (e.request.server == "api" + std::to_string(server)) ++n;
        return n;
    }

    testsupport::TempHome home;
    AggregatorStandin standin{threeServers()};
    std::unique_ptr<testsupport::TempBundle> bundle;
    std::unique_ptr<FreshAggregator> aggregator;
    std::shared_ptr<NetworkManager> net;
};

}  // namespace aggtest
