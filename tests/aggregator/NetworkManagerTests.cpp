// The server API against the aggregator stand-in: envelope, common fields,
// fail-over, the server list, role reports, the pay-limit query and the
// anti-addiction file.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "AggregatorCoreSupport.h"
#include "NetworkManagerFixture.h"
#include "aggregator/Extend.h"
#include "aggregator/NetworkInterface.h"
#include "aggregator/NetworkManager.h"
#include "aggregator/RLPCRelayChannel.h"
#include "aggregator/RMDevice.h"
#include "aggregator/SDKCooperater.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Strings.h"
#include "platform/net/URLSession.h"
#include "standin/AggregatorStandin.h"
#include "support/TestSupport.h"

using namespace aggtest;
using standin::AggregatorStandin;
using standin::Reply;

namespace {

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

TEST(NetworkManagerEnvelope, KnownAnswer) {
    // Computed with the openssl command line.
    auto e = NetworkManager::envelope(Value::dict({{"n", 6}}), "P100", "abcdefgh12345");
    EXPECT_EQ(e.jsonData, "tNB%2B1Y3V3Bw=");
    EXPECT_EQ(e.sign, "b0814b22ef13e701d15a21c005941bbf");
    EXPECT_EQ(e.body, "json_data=tNB%2B1Y3V3Bw=&product_code=P100&sign=b0814b22ef13e701d15a21c005941bbf");
}

TEST_F(NetworkManagerTest, InitCarriesEveryCommonAndDeviceField) {
    int64_t before = nowMs();
    auto reply = init();
    ASSERT_TRUE(reply);
    EXPECT_TRUE((*reply)["result"].boolValue());
    auto seen = standin.journal().last("/v1/api/init");
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->request.server, "api0");
    EXPECT_EQ(seen->signOk, true);
    const Value& f = seen->decoded;
    for (auto key : {"channel_code", "platform", "device_id", "idfa", "session_id", "sdk_v", "sdk_sub_v",
                     "channel_sdk_v", "product_v", "device_os", "device_os_v", "device_name", "debug",
                     "screen_height", "screen_width", "dpi", "net_type", "time", "deviceCustomeName",
                     "mobileProviderCode", "wifiName", "wifiIP", "capacityAll", "capacityLast", "powerLast",
                     "os_language", "country_code", "ismobiledevice", "imei", "imsi", "wifimac", "bluetooth_mac",
                     "push_token"})
        EXPECT_TRUE(f.has(key)) << key;
    EXPECT_EQ(f.size(), 33u);
    auto& device = RMDevice::sharedInstance();
    EXPECT_EQ(f["channel_code"], Value(977));
    EXPECT_EQ(f["platform"], Value(1));
    EXPECT_EQ(f["device_id"], Value(device.deviceID()));
    EXPECT_FALSE(device.deviceID().empty());
    EXPECT_EQ(f["session_id"], Value(net->session_id()));
    EXPECT_EQ(net->session_id().size(), 32u);
    EXPECT_EQ(f["sdk_v"], Value("2.5.4"));
    EXPECT_EQ(f["sdk_sub_v"], Value("v1"));
    EXPECT_EQ(f["channel_sdk_v"], Value("3.4"));
    EXPECT_EQ(f["product_v"], Value(""));
    EXPECT_EQ(f["device_os"], Value(device.osName()));
    EXPECT_EQ(f["device_name"], Value(device.deviceName()));
    EXPECT_EQ(f["debug"], Value(true));
    EXPECT_EQ(f["net_type"], Value(1));
    EXPECT_EQ(f["dpi"].doubleValue(), 0.0);
    EXPECT_GE(f["time"].intValue(), before);
    EXPECT_LE(f["time"].intValue(), nowMs());
    EXPECT_EQ(f["capacityAll"], Value(strings::format("%.2f", double(device.capacityAll()))));
    EXPECT_EQ(f["powerLast"], Value(strings::format("%.0f", double(device.powerLast()))));
    EXPECT_EQ(f["imei"], Value(""));
    EXPECT_EQ(f["push_token"], Value(device.device_pushToken()));
    // The sign ends with the bare key: a request signed with another key is refused.
    EXPECT_TRUE(seen->request.body.find("abcdefgh") == std::string::npos);
}

TEST_F(NetworkManagerTest, FailOverRefusedHungGoodThenStartsAtTheGoodOne) {
    std::string refused = standin.apiURL(0);
    standin.api(0).stop();
    standin.api(1).scriptAlways("/v1/api/init", Reply::hang());
    net->setRequestTimeout(2.0);  // the hung server's try ends by time-out
    useServers({refused, standin.apiURL(1), standin.apiURL(2)});

    auto reply = init();
    ASSERT_TRUE(reply);
    EXPECT_TRUE((*reply)["result"].boolValue());
    EXPECT_EQ(initsAt(1), 1u);
    EXPECT_EQ(initsAt(2), 1u);
    EXPECT_EQ(net->selectedIndex(), 2u);

    ASSERT_TRUE(init());
    EXPECT_EQ(initsAt(1), 1u);  // not tried again
    EXPECT_EQ(initsAt(2), 2u);
}

TEST_F(NetworkManagerTest, FailOverWrapsFromTheLastServer) {
    useServers({standin.apiURL(0), standin.apiURL(1), standin.apiURL(2)});
    standin.api(0).script("/v1/api/init", Reply::closeConnection());
    standin.api(1).script("/v1/api/init", Reply::closeConnection());
    ASSERT_TRUE(init());
    EXPECT_EQ(net->selectedIndex(), 2u);
    standin.api(2).script("/v1/api/init", Reply::closeConnection());
    ASSERT_TRUE(init());
    EXPECT_EQ(net->selectedIndex(), 0u);
    EXPECT_EQ(initsAt(0), 2u);
    EXPECT_EQ(initsAt(2), 2u);

    // A 5xx reply with a body is an answer: no fail-over.
    standin.api(0).script("/v1/api/init", Reply::html500());
    auto html = init();
    ASSERT_TRUE(html);
    EXPECT_FALSE((*html)["result"].boolValue());
    EXPECT_EQ(net->selectedIndex(), 0u);
    EXPECT_EQ(initsAt(1), 1u);
}

TEST_F(NetworkManagerTest, AllDeadGivesNoReplyAfterOneRound) {
    useServers({standin.apiURL(0), standin.apiURL(1), standin.apiURL(2)});
    for (size_t i = 0; i < 3; ++i) standin.api(i).scriptAlways("/v1/api/init", Reply::closeConnection());
    EXPECT_FALSE(init());
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(initsAt(i), 1u) << i;
    EXPECT_EQ(net->selectedIndex(), 0u);

    // No server at all: no reply, nothing sent.
    auto none = std::make_shared<NetworkManager>(RelayServerSettings{});
    EXPECT_TRUE(none->serveUrls().empty());
    bool done = false;
    std::optional<Value> reply = Value::dict();
    none->initInterface([&](std::optional<Value> r) {
        reply = r;
        done = true;
    });
    ASSERT_TRUE(testsupport::waitFor([&] { return done; }));
    EXPECT_FALSE(reply);
    EXPECT_EQ(standin.journal().count("/v1/api/init"), 3u);
}

TEST_F(NetworkManagerTest, ServerListPutsFetchedServersFirstAndSkipsWhatIsNoURL) {
    EXPECT_EQ(net->serveUrls(), std::vector<std::string>{standin.apiURL(0)});
    standin.setServerList(Value::array({standin.apiURL(1) + "/", "ftp://files.example", 5, "not a url",
                                        standin.apiURL(2)}));
    bool done = false;
    net->updateServerListWithChannelParams(Value::dict(), [&] { done = true; });
    ASSERT_TRUE(testsupport::waitFor([&] { return done; }));
    EXPECT_EQ(net->serveUrls(), (std::vector<std::string>{standin.apiURL(1), standin.apiURL(2), standin.apiURL(0)}));
    EXPECT_EQ(net->selectedIndex(), 0u);
    EXPECT_EQ(standin.journal().count("/P100-977.html"), 1u);
    ASSERT_TRUE(init());
    EXPECT_EQ(initsAt(1), 1u);

    // The configuration names another list host and replaces the list
    // first; a failed fetch leaves the list as it is and still completes.
    ASSERT_TRUE(init());  // remembers index 0 = api1
    Value cfg = Value::dict({{"relaysdk_server_ip_config", standin.configURL()},
                             {"relay_server_config", Value::array({standin.apiURL(2)})}});
    done = false;
    net->updateServerListWithChannelParams(cfg, [&] { done = true; });
    ASSERT_TRUE(testsupport::waitFor([&] { return done; }));
    auto entries = standin.journal().entries();
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(), [](auto& e) { return e.request.server == "config"; }), 1);
    EXPECT_EQ(net->serveUrls(), std::vector<std::string>{standin.apiURL(2)});
}

TEST_F(NetworkManagerTest, ARememberedIndexBeyondAShorterListStartsAtTheFirst) {
    useServers({standin.apiURL(0), standin.apiURL(1), standin.apiURL(2)});
    standin.api(0).script("/v1/api/init", Reply::closeConnection());
    standin.api(1).script("/v1/api/init", Reply::closeConnection());
    ASSERT_TRUE(init());
    ASSERT_EQ(net->selectedIndex(), 2u);
    useServers({standin.apiURL(1)});
    ASSERT_TRUE(init());
    EXPECT_EQ(initsAt(1), 2u);
    EXPECT_EQ(net->selectedIndex(), 0u);
}

TEST_F(NetworkManagerTest, ConcurrentRequestsAndListUpdates) {
    useServers({standin.apiURL(0), standin.apiURL(1), standin.apiURL(2)});
    standin.setServerList(Value::array({standin.apiURL(1)}));
    standin.api(0).scriptAlways("/v1/api/init", Reply::closeConnection());
    int replies = 0, answered = 0, lists = 0;
    for (int i = 0; i < 4; ++i) {
        net->initInterface([&](std::optional<Value> r) {
            ++replies;
            if (r) ++answered;
        });
        net->updateServerListWithChannelParams(Value::dict(), [&] { ++lists; });
        net->loginVerifyInterface(Value::dict({{"uid", "u"}}), [&](std::optional<Value> r) {
            ++replies;
            if (r) ++answered;
        });
    }
    // The main thread reads the list while the requests run.
    ASSERT_TRUE(testsupport::waitFor([&] {
        EXPECT_FALSE(net->serveUrls().empty());
        EXPECT_LT(net->selectedIndex(), net->serveUrls().size());
        return replies == 8 && lists == 4;
    }, std::chrono::seconds(30)));
    EXPECT_EQ(answered, 8);
    EXPECT_EQ(net->serveUrls().size(), 7u);
}

class RoleReportTest : public NetworkManagerTest {
protected:
    RUVURazuzEVEGameRoleInfo role() {
        RUVURazuzEVEGameRoleInfo r;
        r.setServerId("s1");
        r.setServerName("一服 & friends");
        r.setGameRoleName("a&uid=x+y");
        r.setGameRoleID(Value(4242));
        r.setGameUserLevel(Value(30));
        r.setCreatTime("1700000000123");
        r.setPartyName("100% guild");
        return r;
    }
};

TEST_F(RoleReportTest, EveryValueReachesTheGatewayUnchangedAndSigned) {
    auto reply = await([&](auto c) { net->updateRoleWithUid("u 1", "nick?=", role(), c); });
    ASSERT_TRUE(reply);
    EXPECT_TRUE((*reply)["result"].boolValue());
    auto seen = standin.journal().last("/api/gateway");
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->signOk, true);
    const Value& f = seen->decoded;
    EXPECT_EQ(f["gameRoleName"], Value("a&uid=x+y"));
    EXPECT_FALSE(f.has("x y"));
    EXPECT_EQ(f["uid"], Value("u 1"));
    EXPECT_EQ(f["username"], Value("nick?="));
    EXPECT_EQ(f["serverName"], Value("一服 & friends"));
    EXPECT_EQ(f["partyName"], Value("100% guild"));
    EXPECT_EQ(f["gameRoleID"], Value("4242"));
    EXPECT_EQ(f["roleCreateTime"], Value("1700000000"));
    EXPECT_EQ(f["vipLevel"], Value("0"));
    EXPECT_EQ(f["gameRoleGender"], Value("男"));
    EXPECT_EQ(f["action"], Value("role"));
    EXPECT_EQ(f["productCode"], Value("P100"));
    EXPECT_EQ(f["channelCode"], Value(977));
    EXPECT_EQ(f["gameVersion"], Value("2.1.0"));
    EXPECT_EQ(f["sdkVersion"], Value("2.5.4"));
    EXPECT_EQ(f["deviceId"], Value(RMDevice::sharedInstance().deviceID()));
    EXPECT_EQ(f.size(), 26u);
    EXPECT_EQ(seen->request.body, "");
}

TEST_F(RoleReportTest, RefusedWith1000IsSentOnceMoreWithoutSign) {
    standin.gateway().script("/api/gateway", Reply::json(AggregatorStandin::errorReply(1000, "sign error")));
    auto reply = await([&](auto c) { net->updateRoleWithUid("u1", "n", role(), c); });
    auto sent = standin.journal().entries("/api/gateway");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_TRUE(sent[0].request.hasParam("sign"));
    EXPECT_FALSE(sent[1].request.hasParam("sign"));
    ASSERT_TRUE(reply);
    EXPECT_TRUE((*reply)["result"].boolValue());  // the second reply

    // Any other refusal goes to the caller as it is.
    standin.gateway().script("/api/gateway", Reply::json(AggregatorStandin::errorReply(1001, "other")));
    reply = await([&](auto c) { net->updateRoleWithUid("u1", "n", role(), c); });
    EXPECT_EQ(standin.journal().count("/api/gateway"), 3u);
    EXPECT_EQ((*reply)["error"]["id"], Value(1001));
}

TEST_F(RoleReportTest, GatewayRetriesLeaveTheApiServersIndexAlone) {
    useServers({standin.apiURL(0), standin.apiURL(1), standin.apiURL(2)});
    standin.api(0).script("/v1/api/init", Reply::closeConnection());
    ASSERT_TRUE(init());
    ASSERT_EQ(net->selectedIndex(), 1u);
    standin.gateway().scriptAlways("/api/gateway", Reply::closeConnection());
    EXPECT_FALSE(await([&](auto c) { net->updateRoleWithUid("u1", "n", role(), c); }));
    EXPECT_EQ(standin.journal().count("/api/gateway"), 3u);  // one try per listed server
    EXPECT_EQ(net->selectedIndex(), 1u);
}

TEST_F(NetworkManagerTest, PayLimitQueryIsSignedWithoutKey) {
    // The signature covers the pairs as they are, not as they travel.
    RLPCRelayChannel::defaultChannel().updateUserId("u&1 玩家");
    auto reply = await([&](auto c) { net->getPayData(c); });
    ASSERT_TRUE(reply);
    EXPECT_TRUE((*reply)["result"].boolValue());
    auto seen = standin.journal().last("/api/getData");
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->signOk, true);
    std::vector<std::string> order;
    for (auto& [k, v] : seen->request.rawParams) order.push_back(k);
    EXPECT_EQ(order, (std::vector<std::string>{"uid", "productCode", "realStatus", "action", "gameVersion",
                                               "sdkVersion", "channelVersion", "time", "deviceId", "age",
                                               "channelCode", "sign"}));
    const Value& f = seen->decoded;
    EXPECT_EQ(f["uid"], Value("u&1 玩家"));
    EXPECT_EQ(f["realStatus"], Value("0"));
    EXPECT_EQ(f["age"], Value("-1"));
    EXPECT_EQ(f["action"], Value("checkRealnamePay"));
    EXPECT_EQ(f["channelCode"], Value("977"));
}

TEST_F(NetworkManagerTest, OrderCarriesTheOrderAndTheRole) {
    auto order = RUVURazuzEVEPayOrderInfo::info();
    order->setGoodsID("g1");
    order->setProductName("60 gems");
    order->setCpOrderID("cp-7");
    order->setCount(2);
    order->setAmount(12.0);
    order->setPrice(6.0);
    order->setCallbackUrl("https://game.example/pay");
    RUVURazuzEVEGameRoleInfo role;
    role.setServerId("s1");
    role.setGameRoleName("Ann");
    auto reply = await([&](auto c) { net->orderInterface(*order, role, c); });
    ASSERT_TRUE(reply);
    auto seen = standin.journal().last("/v1/order/orderpay");
    ASSERT_TRUE(seen);
    const Value& f = seen->decoded;
    EXPECT_EQ(f["goods_id"], Value("g1"));
    EXPECT_EQ(f["count"], Value(2));
    EXPECT_EQ(f["amount"].doubleValue(), 12.0);
    EXPECT_EQ(f["goods_desc"], Value(""));
    EXPECT_FALSE(f.has("pay_params"));
    auto roleJson = strings::base64Decode(f.str("game_role_info"));
    ASSERT_TRUE(roleJson);
    auto roleInfo = Value::fromJSON(std::string(roleJson->begin(), roleJson->end()));
    ASSERT_TRUE(roleInfo);
    EXPECT_EQ((*roleInfo)["game_role_name"], Value("Ann"));
    EXPECT_EQ((*roleInfo)["vip_level"], Value("0"));
    EXPECT_EQ(roleInfo->size(), 8u);

    RLPCRelayChannel::defaultChannel().getPaayParams = [] { return "pp=1"; };
    ASSERT_TRUE(await([&](auto c) { net->orderInterface(*order, role, c); }));
    EXPECT_EQ(standin.journal().last("/v1/order/orderpay")->decoded["pay_params"], Value("pp=1"));
}

TEST_F(NetworkManagerTest, AntiIndulgeFileAndAMissingChannelType) {
    auto reply = await([&](auto c) { net->getAntiIndulgeMessage(c); });
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)["open"], Value(1));
    EXPECT_EQ(standin.journal().count("/P100/977.html"), 1u);

    // A channel file without "channel_type": the code is empty, never "(null)".
    bundle->writeFile("relayChannel.cfg", plistText(Value::dict({{"version", "1"}})));
    await([&](auto c) { net->getAntiIndulgeMessage(c); });
    EXPECT_EQ(standin.journal().count("/P100/.html"), 1u);
    ASSERT_TRUE(init());
    EXPECT_EQ(standin.journal().last("/v1/api/init")->decoded["channel_code"], Value(0));
}

}  // namespace
