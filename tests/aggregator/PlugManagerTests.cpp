// Plug-ins named in the bundle's list receive the SDK's hooks in list order.
#include <gtest/gtest.h>

#include "AggregatorCoreSupport.h"
#include "aggregator/PlugManager.h"
#include "aggregator/RUVURazuzEVE.h"
#include "platform/ui/UIApplication.h"
#include "support/TestSupport.h"

using namespace aggtest;

namespace {

std::vector<std::string>& calls() {
    static std::vector<std::string> c;
    return c;
}

class PlugAlpha : public NSObject, public RelaySDKPlugNodes {
public:
    std::string className() const override { return "PlugAlpha"; }
    void willLogin(const Value& cfg) override { calls().push_back("alpha.willLogin " + cfg.str("channel_type")); }
    void initDone(const Value&, const Value& userInfo) override {
        calls().push_back("alpha.initDone " + userInfo.text("error"));
    }
    void callPlugParams(const Value& params) override { calls().push_back("alpha.call " + params.toJSON()); }
};

class PlugBeta : public NSObject, public RelaySDKPlugNodes {
public:
    std::string className() const override { return "PlugBeta"; }
    void willLogin(const Value&) override { calls().push_back("beta.willLogin"); }
    void checkLoginResult(const Value&, const Value& reply) override {
        calls().push_back("beta.checkLoginResult " + reply.toJSON());
    }
};

// Registered, but no plug-in.
class NotAPlug : public NSObject {
public:
    std::string className() const override { return "NotAPlug"; }
};

}  // namespace

REGISTER_RELAY_PLUGIN(PlugAlpha)
REGISTER_RELAY_PLUGIN(PlugBeta)
REGISTER_CLASS(NotAPlug)

namespace {

class PlugManagerTest : public ::testing::Test {
protected:
    void load(const Value& list) {
        bundle.writeFile("relayPlugins.cfg", plistText(list));
        manager.startManager();
        calls().clear();
    }
    testsupport::TempBundle bundle;
    PlugManager manager;
    Value cfg = Value::dict({{"channel_type", "977"}});
};

TEST_F(PlugManagerTest, HooksFireInListOrderAndBrokenEntriesAreSkipped) {
    load(Value::array({Value::dict({{"name", "a"}, {"managerName", "PlugAlpha"}}),
                       "not a dictionary",
                       Value::dict({{"name", "b"}, {"eventManager", Value::dict({{"manager", "PlugBeta"}})}}),
                       Value::dict({{"managerName", "NoSuchClass"}}),
                       Value::dict({{"managerName", "NotAPlug"}}),
                       Value::dict({{"managerName", 7}}),
                       Value::dict({{"name", "a"},
                                    {"managerName", "PlugAlpha"},
                                    {"eventManager", Value::dict({{"manager", "PlugBeta"}})}})}));
    EXPECT_EQ(manager.pluginsInfo().size(), 6u);  // the non-dictionary is dropped at load
    EXPECT_EQ(manager.getAllConfigedPlugs().size(), 3u);

    manager.willLogin(cfg);
    EXPECT_EQ(calls(), (std::vector<std::string>{"alpha.willLogin 977", "beta.willLogin", "alpha.willLogin 977"}));

    // Hooks a plug-in does not answer pass it by.
    calls().clear();
    manager.checkLoginResult(cfg, Value::dict());
    manager.initDone(cfg, Value::dict({{"error", 0}}));
    EXPECT_EQ(calls(), (std::vector<std::string>{"beta.checkLoginResult {}", "alpha.initDone 0", "alpha.initDone 0"}));

    // The same class twice is the same instance.
    auto plugs = manager.getAllConfigedPlugs();
    EXPECT_EQ(plugs[0], plugs[2]);
}

TEST_F(PlugManagerTest, NamedCalls) {
    load(Value::array({Value::dict({{"name", "CustomerServiceIOS"}, {"managerName", "PlugAlpha"}}),
                       Value::dict({{"name", "other"}, {"managerName", "PlugBeta"}})}));
    EXPECT_EQ(manager.callPlug("CustomerServiceIOS", Value::array({cfg, "1"})), 0);
    EXPECT_EQ(calls(), std::vector<std::string>{"alpha.call [{\"channel_type\":\"977\"},\"1\"]"});
    EXPECT_TRUE(manager.getPlugsOfName("nobody").empty());
    EXPECT_EQ(manager.callPlug("nobody", Value::array()), 0);
}

TEST_F(PlugManagerTest, NoListOrNoArrayMeansNoPlugins) {
    manager.startManager();
    EXPECT_TRUE(manager.getAllConfigedPlugs().empty());
    manager.willInit(cfg, RUVURazuzEVEInitConfigure(), UIApplication::sharedApplication(), Value());
    EXPECT_EQ(manager.callPlug("x", Value::array()), 0);

    load(Value::array({Value::dict({{"managerName", "PlugAlpha"}})}));
    bundle.writeFile("relayPlugins.cfg", plistText(Value::dict({{"managerName", "PlugAlpha"}})));
    manager.startManager();
    EXPECT_TRUE(manager.pluginsInfo().empty());
    bundle.writeFile("relayPlugins.cfg", "garbage");
    manager.startManager();
    EXPECT_TRUE(manager.pluginsInfo().empty());
}

TEST(PlugManagerFacade, FacadeCallsReachNamedPlugins) {
    testsupport::TempHome home;
    testsupport::TempBundle bundle;
    bundle.writeFile("relayPlugins.cfg",
                     plistText(Value::array({Value::dict({{"name", "CustomerServiceIOS"}, {"managerName", "PlugAlpha"}})})));
    FreshAggregator aggregator;
    calls().clear();
    auto& facade = RUVURazuzEVE::defaultInstance();
    EXPECT_EQ(facade.enterYunKeFuCenter(Value::dict({{"q", 1}})), 0);
    EXPECT_EQ(facade.callPlug("CustomerServiceIOS", Value::array({"x", 2})), 0);
    // Before the start the channel configuration is null.
    EXPECT_EQ(calls(), (std::vector<std::string>{"alpha.call [null,\"1\",{\"q\":1}]", "alpha.call [null,\"x\",2]"}));
}

}  // namespace
