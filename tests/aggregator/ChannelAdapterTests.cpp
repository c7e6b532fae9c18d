// The channel adapter, its state and its payloads, against a double of the
// user-centre SDK.
#include <gtest/gtest.h>

#include "AggregatorCoreSupport.h"
#include "aggregator/Extend.h"
#include "aggregator/RLPCRelayChannel.h"
#include "aggregator/RLPCRelayChannelCooperater.h"
#include "aggregator/RelayChannelConfig.h"
#include "aggregator/RelayNotifications.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/ui/UIApplication.h"
#include "platform/foundation/Strings.h"
#include "support/TestSupport.h"

using namespace aggtest;

namespace {

class ChannelAdapterTest : public ::testing::Test {
protected:
    testsupport::TempHome home;
    testsupport::TempBundle bundle;
    FreshAggregator aggregator;
    ZorviaDouble& zorvia = *aggregator.zorvia;
    RLPCRelayChannel& channel = RLPCRelayChannel::defaultChannel();
    RLPCRelayChannelCooperater& state = RLPCRelayChannelCooperater::defaultCooperater();
    RelayChannelHelper& helper = RelayChannelHelper::sharedInstance();
    NotificationRecorder seen{{kRlpcRCInitDidFinishedNotification, kRlpcRCLoginNotification,
                               kRlpcRCLogoutNotification, kRlpcRCRechargeResultNotification}};
};

TEST_F(ChannelAdapterTest, InitLaunchesTheUserCentreAndReportsSuccessAtOnce) {
    Value cfg = Value::dict({{"channel_type", "978"}});
    EXPECT_FALSE(channel.initWithDictionary(cfg, UIApplication::sharedApplication(), Value()));
    EXPECT_EQ(zorvia.launches, 1);
    ASSERT_EQ(seen.all().size(), 1u);
    EXPECT_EQ(seen.all()[0].name, kRlpcRCInitDidFinishedNotification);
    EXPECT_EQ(seen.all()[0].userInfo, Value::dict({{"error", 0}, {"msg", "channel init success"}}));
    EXPECT_EQ(state.channelCfgDic(), cfg);
    EXPECT_EQ(channel.channelCode(), "978");
}

TEST_F(ChannelAdapterTest, LoginScreenOnceUntilSuccessMinusNineOrLogout) {
    EXPECT_EQ(channel.login(), 0);
    EXPECT_EQ(channel.login(), 0);  // the screen is up: nothing more
    ASSERT_EQ(zorvia.loginScreens, 1);

    // A failed attempt (or an update required) leaves the screen's state as it is.
    zorvia.loginFailure(-10, "SDK需要更新");
    EXPECT_TRUE(helper.hasShowLogin());
    channel.login();
    EXPECT_EQ(zorvia.loginScreens, 1);
    EXPECT_TRUE(seen.all().empty());

    zorvia.loginSuccess("1700000000", "player one", "sign-token", "2");
    EXPECT_FALSE(helper.hasShowLogin());
    ASSERT_EQ(seen.count(kRlpcRCLoginNotification), 1u);
    EXPECT_EQ(seen.of(kRlpcRCLoginNotification)[0].userInfo,
              Value::dict({{"error", 0}, {"msg", "login success"}, {"userId", "player one"}, {"sessionId", "sign-token"}}));
    EXPECT_TRUE(state.isLogin());
    EXPECT_EQ(channel.userId(), "player one");
    EXPECT_EQ(channel.userNick(), "player one");
    EXPECT_EQ(channel.sessionId(), "sign-token");
    EXPECT_EQ(channel.realNameInfo()["age"].intValue(), 10);

    // Logged out from the floating button.
    channel.login();
    ASSERT_EQ(zorvia.loginScreens, 2);
    zorvia.loginFailure(-9, "注销");
    EXPECT_FALSE(helper.hasShowLogin());
    EXPECT_FALSE(state.isLogin());
    EXPECT_EQ(helper.rzStatus(), "0");
    ASSERT_EQ(seen.count(kRlpcRCLogoutNotification), 1u);
    EXPECT_EQ(seen.of(kRlpcRCLogoutNotification)[0].userInfo, Value::dict({{"error", 0}, {"msg", "logout"}}));
    EXPECT_EQ(channel.userId(), "");

    // A logout ends a pending login screen too.
    channel.login();
    EXPECT_EQ(channel.logout(), 0);
    EXPECT_EQ(zorvia.logouts, 1);
    EXPECT_EQ(seen.count(kRlpcRCLogoutNotification), 2u);
    channel.login();
    EXPECT_EQ(zorvia.loginScreens, 4);

    // A closed login window: a failed channel login, and the screen may open again.
    zorvia.loginFailure(ZorviaServices::kLoginCancelled, "取消登录");
    EXPECT_FALSE(helper.hasShowLogin());
    ASSERT_EQ(seen.count(kRlpcRCLoginNotification), 2u);
    EXPECT_EQ(seen.of(kRlpcRCLoginNotification)[1].userInfo["error"].intValue(), -1);
    channel.login();
    EXPECT_EQ(zorvia.loginScreens, 5);
}

TEST_F(ChannelAdapterTest, RealNameFactsFromTheStatusText) {
    auto facts = [&](const char* status) {
        if (status) helper.setRzStatus(status);
        Value v = channel.realNameInfo();
        EXPECT_TRUE(v["realResumeGame"].getBool().value_or(false));
        EXPECT_EQ(v["other"], Value(""));
        return std::pair{v["realName"].getBool().value_or(true), v["age"].intValue()};
    };
    EXPECT_EQ(facts(nullptr), std::pair(false, int64_t(-1)));
    EXPECT_EQ(facts("2"), std::pair(true, int64_t(10)));
    EXPECT_EQ(facts("1"), std::pair(true, int64_t(20)));
    EXPECT_EQ(facts("0"), std::pair(false, int64_t(-1)));
}

TEST_F(ChannelAdapterTest, PaymentOpensTheScreenAndReportsItsEnd) {
    auto product = std::make_shared<RLPCRelayProductInfo>();
    product->amount = 6;
    product->productName = "60 gems";
    product->productDesc = "a bag of gems";
    product->productOrderID = "cp-1";
    auto role = std::make_shared<RLPCRelayRoleInfo>();
    role->setGameRoleID(Value(42));
    role->setServerId("s1");
    channel.buyOrderId("SO000001", product, role);
    ASSERT_EQ(zorvia.payments.size(), 1u);
    auto& pay = zorvia.payments[0];
    EXPECT_EQ(pay.roleid, "42");
    EXPECT_EQ(pay.money, "6.00");
    EXPECT_EQ(pay.serverid, "s1");
    EXPECT_EQ(pay.productName, "60 gems");
    EXPECT_EQ(pay.productDesc, "a bag of gems");
    EXPECT_EQ(pay.attach, "SO000001");
    EXPECT_EQ(state.orderId(), "SO000001");
    EXPECT_EQ(state.productInfo(), product);

    pay.success(Value(), Value());
    pay.failure(Value(), 7, Value());
    auto results = seen.of(kRlpcRCRechargeResultNotification);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].userInfo, Value::dict({{"error", 0},
                                                {"msg", "recharge message"},
                                                {"orderId", "SO000001"},
                                                {"cpOrderId", "cp-1"},
                                                {"sdkOrderId", ""}}));
    EXPECT_EQ(results[1].userInfo["error"], Value(-31));
}

TEST_F(ChannelAdapterTest, RoleUploadAndUserUpdates) {
    RLPCRelayRoleInfo role;
    role.setGameRoleID("r1");
    role.setGameRoleName("Ann");
    role.setGameUserLevel(Value(12));
    role.setServerId("s1");
    role.setServerName("Server One");
    channel.updateRoleInfoWith_isCreate(role, true);
    channel.updateRoleInfoWith(role);
    ASSERT_EQ(zorvia.roles.size(), 2u);
    auto& up = zorvia.roles[0];
    EXPECT_EQ(std::vector<std::string>({up.roleId, up.roleName, up.roleLevel, up.zoneId, up.zoneName, up.attach}),
              std::vector<std::string>({"r1", "Ann", "12", "s1", "Server One", ""}));
    for (int status : {0, 1, 2, 9}) up.block(status);  // only logged

    channel.updateUserId("u-1");
    channel.updateUserId(Value(5));  // not a text: ignored
    channel.updateUserId("");
    channel.updateUserNick("Nick");
    EXPECT_EQ(channel.userId(), "u-1");
    EXPECT_EQ(channel.userNick(), "Nick");

    state.payDict().set("stale", 1);
    channel.updatePayDict(Value::dict({{"order_id", "SO1"}}));
    EXPECT_EQ(state.payDict(), Value::dict({{"order_id", "SO1"}}));
    channel.updateUserDict(Value::array({1}));
    EXPECT_EQ(state.userDict(), Value::dict());
}

TEST_F(ChannelAdapterTest, OpenURLFormsReachTheUserCentreAndItsFailuresStayThere) {
    auto url = *NSURL::URLWithString("ZorviaPaylinkScheme77://payreturn?x=1");
    auto& app = UIApplication::sharedApplication();
    zorvia.throwOnOpenURL = true;
    EXPECT_FALSE(channel.openURL_application(url, app));
    EXPECT_FALSE(channel.openURL_sourceApplication_application_annotation(url, "wallet", app, Value()));
    EXPECT_FALSE(channel.openURL_application_options(url, app, Value::dict()));
    ASSERT_EQ(zorvia.urls.size(), 3u);
    EXPECT_EQ(zorvia.urls[0].form, "handleOpenURL");
    EXPECT_EQ(zorvia.urls[1].form, "sourceApplication");
    EXPECT_EQ(zorvia.urls[2].url, url.absoluteString());
    zorvia.orientationMask = 26;
    EXPECT_EQ(channel.application_supportedInterfaceOrientationsForWindow(app, nullptr), 26u);
}

TEST_F(ChannelAdapterTest, WithoutTheUserCentreInitStillSucceedsAndLoginOpensNothing) {
    ZorviaServices::install(nullptr);
    channel.initWithDictionary(Value::dict(), UIApplication::sharedApplication(), Value());
    EXPECT_EQ(seen.of(kRlpcRCInitDidFinishedNotification).at(0).userInfo["error"], Value(0));
    EXPECT_EQ(channel.login(), 0);
    EXPECT_FALSE(helper.hasShowLogin());
}

TEST_F(ChannelAdapterTest, ChannelCodeFromStateFileOrDefault) {
    EXPECT_EQ(channel.channelCode(), "977");  // no file
    bundle.writeFile("relayChannel.cfg", plistText(Value::dict({{"version", "1"}})));
    EXPECT_EQ(channel.channelCode(), "");  // a file without "channel_type"
    bundle.writeFile("relayChannel.cfg", encryptedChannelFixture());
    EXPECT_EQ(channel.channelCode(), "977");
    state.setChannelCfgDic(Value::dict({{"channel_type", 1001}}));
    EXPECT_EQ(channel.channelCode(), "1001");
    // Asked for on every request: the file is read once, not each time.
    state.setChannelCfgDic(Value::dict());
    bundle.writeFile("relayChannel.cfg", "unreadable");
    testsupport::StderrCapture err;
    for (int i = 0; i < 3; ++i) channel.channelCode();
    err.restore();
    EXPECT_EQ(strings::split(err.text(), "参数配置文件读取失败").size(), 2u) << err.text();
}

TEST_F(ChannelAdapterTest, BothFormsOfTheChannelFileGiveTheSameConfiguration) {
    bundle.writeFile("relayChannel.cfg", plainChannelFixture());
    Value plain = channel.findConfigDict();
    bundle.writeFile("relayChannel.cfg", encryptedChannelFixture());
    Value decrypted = channel.findConfigDict();
    EXPECT_EQ(plain, decrypted);
    EXPECT_EQ(plain.size(), 12u);
    EXPECT_EQ(plain["product_code"], Value("P100"));
    EXPECT_EQ(plain["note"], Value("a & b <c> \"d\""));

    // Bytes that are neither form: an empty configuration (logged).
    bundle.writeFile("relayChannel.cfg", "garbage that is no plist and no cipher text");
    EXPECT_EQ(channel.findConfigDict(), Value::dict());
    // An archive holding something else than a dictionary.
    Data archived = keyedarchive::archive(Value::array({"x"}));
    bundle.writeFile("relayChannel.cfg", text(Extend::des128Encryptt(Extend::view(archived), "pxqvbtrok")));
    EXPECT_EQ(channel.findConfigDict(), Value::dict());
    // A plain dictionary without entries counts as no plain form.
    bundle.writeFile("relayChannel.cfg", plistText(Value::dict()));
    EXPECT_EQ(channel.findConfigDict(), Value::dict());
}

TEST(ChannelRecords, PayloadsAndRoleTexts) {
    RLPCRelayRoleInfo role;
    role.setVipLevel(Value(42));
    role.setPartyName(Value());
    role.setFightPower(Value(2.5));
    EXPECT_EQ(role.vipLevel(), "42");
    EXPECT_EQ(role.partyName(), "");
    EXPECT_EQ(role.fightPower(), "2.5");

    auto login = RLPCRelayChanneLoginNotifyInfo::info();
    login.sessionId = "s";
    EXPECT_EQ(login.getNotifyName(), kRlpcRCLoginNotification);
    EXPECT_EQ(login.getNotifyDic(), Value::dict({{"error", 0}, {"msg", "login success"}, {"sessionId", "s"}}));
    EXPECT_EQ(RLPCRelayChanneLoginNotifyInfo::zhuxiaoInfo().getNotifyName(), kRlpcRCLogoutNotification);

    auto pay = RLPCRelayChannelRechargeNotiInfo::info();
    pay.state = 2;
    EXPECT_EQ(pay.getNotifyDic()["error"], Value(-32));
    pay.state = 3;
    EXPECT_EQ(pay.getNotifyDic()["error"], Value(-31));
    EXPECT_EQ(pay.getNotifyName(), kRlpcRCRechargeResultNotification);

    auto init = RLPCRelaychannelInitNotifyInfo::info();
    init.state = 0;
    EXPECT_EQ(init.getNotifyDic(), Value::dict({{"error", -1}, {"msg", "channel init fail"}}));
}

TEST(ChannelRecords, StateChangesIgnoreUnknownStates) {
    RLPCRelayChannelCooperater state;
    int posted = 0;
    auto token = NSNotificationCenter::defaultCenter().addObserver(kRlpcRCLoginNotification,
                                                                   [&](const NSNotification&) { ++posted; });
    auto odd = RLPCRelayChanneLoginNotifyInfo::info();
    odd.state = 3;
    odd.uid = "x";
    state.loginStateChange(odd);
    EXPECT_EQ(posted, 0);
    EXPECT_EQ(state.userId(), "");
    auto in = RLPCRelayChanneLoginNotifyInfo::info();
    in.uid = "u";
    state.loginStateChange(in);
    EXPECT_EQ(posted, 1);
    EXPECT_TRUE(state.isLogin());
    EXPECT_EQ(state.userId(), "u");
    NSNotificationCenter::defaultCenter().removeObserver(token);
}

TEST(ChannelRecords, OrientationMasks) {
    using C = RLPCRelayChannelCooperater;
    auto cfg = [](const char* p, const char* d, const char* l, const char* r) {
        return Value::dict({{"orientationPotrait", p},
                            {"orientationPotraitDown", d},
                            {"orientationHomeLeft", l},
                            {"orientationHomeRight", r}});
    };
    EXPECT_EQ(C::intValueToInterfaceOrientationMask(Value::dict()), 0u);
    EXPECT_EQ(C::intValueToInterfaceOrientationMask(cfg("0", "0", "0", "0")), 30u);
    EXPECT_EQ(C::intValueToInterfaceOrientationMask(cfg("1", "0", "1", "0")), 18u);
    EXPECT_EQ(C::intValueToInterfaceOrientationMask(cfg("0", "1", "0", "1")), 12u);
    EXPECT_EQ(C::interfaceOrientationMaskToInterfaceOrientation(18), 3);
    EXPECT_EQ(C::interfaceOrientationMaskToInterfaceOrientation(6), 1);
    EXPECT_EQ(C::interfaceOrientationMaskToInterfaceOrientation(4), 2);
    EXPECT_EQ(C::interfaceOrientationMaskToInterfaceOrientation(0), 3);
    EXPECT_EQ(C::countOfUIinterfaceOrientationMask(30), 4);
    EXPECT_EQ(C::countOfUIinterfaceOrientationMask(1), 0);
}

TEST(ChannelRecords, KeyValueText) {
    EXPECT_EQ(RLPCRelayChannel::praramsDicFromAtEqualStr("a=1&b=x=2&c&a=3"),
              Value::dict({{"a", "3"}, {"b", "2"}, {"c", "c"}}));
}

}  // namespace
