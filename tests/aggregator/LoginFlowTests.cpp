// Login, logout and login verification against the aggregator's stand-in:
// what the server is asked, what the game is told, the local token, and
// the failures that must not leave the game waiting.
#include <gtest/gtest.h>

#include "FlowTestSupport.h"
#include "aggregator/Extend.h"
#include "aggregator/RLPCRelayChannelCooperater.h"
#include "aggregator/RMDevice.h"

using namespace flowtest;

namespace {

Value checkReply(const Value& data) { return AggregatorStandin::okReply(data); }

class LoginFlow : public FlowTest {};

TEST_F(LoginFlow, AVerifiedLoginTellsTheGameTheServersUser) {
    scriptAll("/v2/users/checklogin",
              Reply::json(checkReply(Value::dict({{"uid", 10001},
                                                  {"user_name", "Ann \"Q\" Lee"},
                                                  {"user_token", "tok-77"},
                                                  {"relayonly", true},
                                                  {"relayOnlyPluginName", "solo"},
                                                  {"stopCreateRole", true},
                                                  {"stopCreateTime", 1700000000}}))));
    channelLogin("player1", "sign-1");
    EXPECT_TRUE(co().isCheckLogining());
    auto got = logins();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].userInfo, Value::dict({{"error", 0},
                                            {"msg", "login success"},
                                            {"uid", "10001"},
                                            {"user_name", "Ann \"Q\" Lee"},
                                            {"user_token", "tok-77"}}));
    // The server was asked about the channel's user, signed.
    auto sent = *standin.journal().last("/v2/users/checklogin");
    EXPECT_EQ(sent.signOk, true);
    EXPECT_EQ(sent.decoded.text("uid"), "player1");
    EXPECT_EQ(sent.decoded.text("user_name"), "player1");
    EXPECT_EQ(sent.decoded.text("token"), "sign-1");

    // The facade and the channel now speak of the server's user.
    EXPECT_FALSE(co().isCheckLogining());
    EXPECT_EQ(facade().userId(), "10001");
    EXPECT_EQ(facade().userNick(), "Ann \"Q\" Lee");
    EXPECT_EQ(facade().userToken(), "tok-77");
    EXPECT_EQ(RLPCRelayChannelCooperater::defaultCooperater().userDict().text("relayOnlyPluginName"), "solo");
    EXPECT_TRUE(co().relayOnlyFlag());
    EXPECT_EQ(co().relayOnlyName(), "solo");
    EXPECT_TRUE(co().stopCreateRole());
    EXPECT_EQ(co().stopCreateTime(), "1700000000");
    EXPECT_EQ(hooks(), (std::vector<std::string>{"willLogin", "loginDone player1", "checkLoginResult 0"}));
}

TEST_F(LoginFlow, TheStandInsOwnTokenAndTheChannelsExtraFactsReachTheGame) {
    bool toolBarShown = false;
    RLPCRelayChannel::defaultChannel().showToolBar = [&](long) { return toolBarShown = true; };
    // A channel whose login carries extra facts: they go to the game last.
    RLPCRelayChannelCooperater::defaultCooperater().setUserId("player2");
    RLPCRelayChannelCooperater::defaultCooperater().setSessionId("s2");
    NSNotificationCenter::defaultCenter().postNotificationName(
        kRlpcRCLoginNotification, nullptr,
        Value::dict({{"error", 0}, {"extInfo", Value::dict({{"uid", "channel-uid"}, {"vip", 3}})}}));
    auto got = logins();
    EXPECT_EQ(got[0].userInfo["uid"], Value("channel-uid"));
    EXPECT_EQ(got[0].userInfo["vip"], Value(3));
    EXPECT_EQ(got[0].userInfo["user_token"], Value(Extend::md5Stringg("player2:s2")));
    EXPECT_TRUE(toolBarShown);

    // A null cut-off time reads "0"; a null stop flag leaves the flag as it was.
    co().setStopCreateRole(true);
    facade().logout();
    scriptAll("/v2/users/checklogin",
              Reply::json(checkReply(Value::dict({{"uid", "u3"}, {"user_token", "t3"}, {"stopCreateRole", nullptr},
                                                  {"stopCreateTime", nullptr}}))));
    channelLogin();
    logins(2);
    EXPECT_TRUE(co().stopCreateRole());
    EXPECT_EQ(co().stopCreateTime(), "0");
}

TEST_F(LoginFlow, LoginAndLogoutWaitWhileTheLoginIsBeingVerified) {
    scriptAll("/v2/users/checklogin", Reply::hang());
    channelLogin();
    ASSERT_TRUE(testsupport::waitFor([&] { return standin.journal().count("/v2/users/checklogin") == 1; }));
    EXPECT_EQ(facade().login(), -4);
    EXPECT_EQ(facade().logout(), -4);
    EXPECT_EQ(zorvia().logouts, 0);
    EXPECT_EQ(zorvia().loginScreens, 1);
    // Released, the request goes on to the next server, which answers.
    for (size_t i = 0; i < standin.apiCount(); ++i) standin.api(i).clearScripts();
    ASSERT_TRUE(testsupport::waitFor([&] {
        for (size_t i = 0; i < standin.apiCount(); ++i) standin.api(i).releaseHung();
        return seen.count(kRlpcRPLoginNotification) == 1;
    }));
    EXPECT_EQ(logins()[0].userInfo["error"], Value(0));
    EXPECT_FALSE(co().isCheckLogining());
    EXPECT_EQ(facade().logout(), 0);
    EXPECT_EQ(zorvia().logouts, 1);
}

TEST_F(LoginFlow, AnUnverifiedLoginGetsTheLocalTokenAndKeepsTheServerToken) {
    // A first login verified by the server.
    channelLogin("player1", "sign-1");
    ASSERT_EQ(logins().size(), 1u);
    std::string serverToken = facade().userToken();
    ASSERT_FALSE(serverToken.empty());
    facade().logout();

    // Then the server refuses to verify (any id but 30001).
    scriptAll("/v2/users/checklogin", Reply::json(AggregatorStandin::errorReply(1001, "sign error")));
    channelLogin("player 2", "sign \"2\"");
    auto got = logins(2);
    ASSERT_EQ(got.size(), 2u);
    std::string device = RMDevice::sharedInstance().deviceID();
    ASSERT_FALSE(device.empty());
    std::string expected = "P100|||977|||" + device + "|||player 2|||" + Extend::md5Stringg("player 2ck-9f2e") +
                           "|||player 2|||sign \"2\"";
    EXPECT_EQ(got[1].userInfo, Value::dict({{"error", 0},
                                            {"msg", "login success"},
                                            {"uid", "player 2"},
                                            {"user_name", "player 2"},
                                            {"user_token", expected}}));
    EXPECT_EQ(facade().userToken(), serverToken);
    EXPECT_EQ(zorvia().logouts, 1);  // the channel stays logged in

    // A "true" reply that names no token verified nothing either.
    facade().logout();
    scriptAll("/v2/users/checklogin", Reply::json(checkReply(Value::dict({{"uid", "u9"}, {"user_name", "n"}}))));
    channelLogin("player3", "s3");
    got = logins(3);
    EXPECT_EQ(got[2].userInfo["uid"], Value("player3"));
    EXPECT_TRUE(strings::hasPrefix(got[2].userInfo.text("user_token"), "P100|||977|||"));
    EXPECT_EQ(facade().userToken(), serverToken);
}

TEST_F(LoginFlow, WithoutACheckKeyAFailedVerificationFailsTheLoginAndLogsTheChannelOut) {
    restart(channelFile(false));
    scriptAll("/v2/users/checklogin", Reply::json(AggregatorStandin::errorReply(1001, "sign error")));
    channelLogin();
    ASSERT_TRUE(testsupport::waitFor([&] { return seen.count(kRlpcRPLogoutNotification) == 1; }));
    auto got = logins();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].userInfo, Value::dict({{"error", -1}, {"msg", "login fail"}}));
    EXPECT_EQ(zorvia().logouts, 1);
    EXPECT_TRUE(co().isLogout());
    // Told first that the login failed, then that the channel logged out.
    EXPECT_EQ(seen.all().back().name, kRlpcRPLogoutNotification);

    // No reply at all: the login fails, the channel stays.
    for (size_t i = 0; i < standin.apiCount(); ++i) standin.api(i).clearScripts();
    scriptAll("/v2/users/checklogin", Reply::closeConnection());
    channelLogin();
    got = logins(2);
    EXPECT_EQ(got[1].userInfo["error"], Value(-1));
    RunLoop::drain();
    EXPECT_EQ(zorvia().logouts, 1);
    EXPECT_TRUE(exits.empty());
}

TEST_F(LoginFlow, ARefusedLoginIsNoLoginEvenWithACheckKeyAndItsPromptEndsTheProcess) {
    scriptAll("/v2/users/checklogin", Reply::json(AggregatorStandin::errorReply(30001, "该账号暂停登录")));
    channelLogin();
    auto got = logins();
    EXPECT_EQ(got[0].userInfo, Value::dict({{"error", -1}, {"msg", "login fail"}}));
    RunLoop::drain();
    EXPECT_EQ(zorvia().logouts, 0);  // the channel stays logged in
    ASSERT_TRUE(presentedAlert());
    advance(1);
    EXPECT_EQ(presentedAlert()->alertTitle(), "提示");
    EXPECT_EQ(presentedAlert()->message(), "该账号暂停登录");
    EXPECT_TRUE(exits.empty());
    ASSERT_TRUE(uitest::tapButton("确定"));
    advance(1);
    EXPECT_EQ(exits, std::vector<int>{0});
}

TEST_F(LoginFlow, ChannelFailuresReachTheGameWithTheirGameCodes) {
    std::vector<std::pair<Value, int>> cases = {{-21, -301}, {-22, -302}, {-3, -2}, {5, -1}, {Value(), -1}, {"0", -1}};
    for (auto& [channelCode, gameCode] : cases) {
        seen.clear();
        Value info = Value::dict({{"msg", "x"}});
        if (!channelCode.isNull()) info.set("error", channelCode);
        NSNotificationCenter::defaultCenter().postNotificationName(kRlpcRCLoginNotification, nullptr, info);
        ASSERT_EQ(seen.count(kRlpcRPLoginNotification), 1u) << channelCode.toJSON();
        EXPECT_EQ(seen.all()[0].userInfo, Value::dict({{"error", gameCode}, {"msg", "login fail"}})) << channelCode.toJSON();
    }
    EXPECT_EQ(standin.journal().count("/v2/users/checklogin"), 0u);
}

TEST_F(LoginFlow, LogoutAndTheOtherChannelNotifications) {
    int hidden = 0;
    RLPCRelayChannel::defaultChannel().hideToolBar = [&] { return ++hidden > 0; };
    EXPECT_EQ(facade().logout(), 0);
    EXPECT_EQ(zorvia().logouts, 1);
    ASSERT_EQ(seen.count(kRlpcRPLogoutNotification), 1u);
    EXPECT_EQ(seen.of(kRlpcRPLogoutNotification)[0].userInfo, Value::dict({{"error", 0}, {"msg", "logout"}}));
    EXPECT_TRUE(co().isLogout());
    EXPECT_EQ(hidden, 1);

    auto& center = NSNotificationCenter::defaultCenter();
    center.postNotificationName(kRlpcRCRealAuthNotification, nullptr,
                                Value::dict({{"age", 20}, {"realName", true}, {"realResumeGame", false}, {"x", 1}}));
    EXPECT_EQ(seen.of(kRlpcRPRealAuthNotification).at(0).userInfo,
              Value::dict({{"age", 20}, {"realName", true}, {"resumeGame", false}}));
    Value left = Value::dict({{"why", "away"}});
    center.postNotificationName(kRlpcRCLeavedNotification, nullptr, left);
    center.postNotificationName(kRlpcRCPauseDidExitNotification, nullptr, left);
    EXPECT_EQ(seen.of(kRlpcRPLeavedNotification).at(0).userInfo, left);
    EXPECT_EQ(seen.of(kRlpcRPPauseOverNotification).at(0).userInfo, left);
}

}  // namespace
