// Pay and role reports against the aggregator's stand-in: the order before
// every channel payment, the payment result, refused and unanswered orders,
// the role report with its unsigned resend, the enter-game detection and
// the new-role cut-off.
#include <gtest/gtest.h>

#include "FlowTestSupport.h"
#include "aggregator/Extend.h"
#include "aggregator/RLPCRelayChannelCooperater.h"

using namespace flowtest;

namespace {

std::shared_ptr<RUVURazuzEVEPayOrderInfo> order(const std::string& cpOrderId, double amount, uint64_t count,
                                                const std::string& desc = "") {
    auto o = RUVURazuzEVEPayOrderInfo::info();
    o->setGoodsID(Value("g60"));
    o->setProductName(Value("钻石"));
    o->setCpOrderID(Value(cpOrderId));
    o->setAmount(amount);
    o->setCount(count);
    o->setProductDesc(desc);
    o->setCallbackUrl("https://game.example.com/paid");
    return o;
}

std::shared_ptr<RUVURazuzEVEGameRoleInfo> role(const std::string& id, const Value& created = Value()) {
    auto r = std::make_shared<RUVURazuzEVEGameRoleInfo>();
    r->setServerId(Value("s1"));
    r->setServerName(Value("一区"));
    r->setGameRoleName(Value("勇者"));
    r->setGameRoleID(Value(id));
    r->setGameUserLevel(Value(12));
    if (!created.isNull()) r->setCreatTime(created);
    return r;
}

class PayFlow : public FlowTest {
protected:
    std::vector<NSNotification> payResults(size_t n = 1) {
        EXPECT_TRUE(testsupport::waitFor([&] { return seen.count(kRlpcRPNotiRecharge) >= n; }));
        return seen.of(kRlpcRPNotiRecharge);
    }
};

TEST_F(PayFlow, AnOrderIsPlacedThenPaidThroughTheChannel) {
    EXPECT_EQ(facade().payOrderInfo(order("cp-1", 6, 1), role("r1")), 0);
    ASSERT_TRUE(testsupport::waitFor([&] { return zorvia().payments.size() == 1; }));
    auto sent = *standin.journal().last("/v1/order/orderpay");
    EXPECT_EQ(sent.signOk, true);
    EXPECT_EQ(sent.decoded.text("cp_order_id"), "cp-1");
    EXPECT_EQ(sent.decoded.text("goods_desc"), "钻石");  // count 1: the name alone
    EXPECT_EQ(sent.decoded["price"].doubleValue(), 6.0);
    auto& pay = zorvia().payments[0];
    std::string orderId = pay.attach;
    EXPECT_TRUE(strings::hasPrefix(orderId, "SO")) << orderId;
    EXPECT_EQ(pay.money, "6.00");
    EXPECT_EQ(pay.roleid, "r1");
    EXPECT_EQ(pay.serverid, "s1");
    EXPECT_EQ(RLPCRelayChannelCooperater::defaultCooperater().payDict().text("order_id"), orderId);
    EXPECT_EQ(seen.count(kRlpcRPNotiRecharge), 0u);

    pay.success(Value("ZV1"), Value("6.00"));
    auto results = payResults();
    EXPECT_EQ(results[0].userInfo, Value::dict({{"error", 0},
                                                {"msg", "Pay success"},
                                                {"orderId", orderId},
                                                {"cpOrderId", "cp-1"},
                                                {"sdkOrderId", ""}}));
    EXPECT_EQ(hooks(), (std::vector<std::string>{"willRecharge cp-1 r1", "relayGetOrderResult " + orderId,
                                                 "willRechargeOrdered cp-1 " + orderId, "rechargeOver " + orderId}));
}

TEST_F(PayFlow, PriceCountAndDescriptionAreFilledInBeforeTheOrder) {
    auto first = order("cp-2", 6, 0);
    facade().payOrderInfo(first, role("r1"));
    EXPECT_EQ(first->count(), 1u);
    EXPECT_EQ(first->price(), 6.0);
    EXPECT_EQ(first->productDesc(), "钻石");
    auto three = order("cp-3", 18, 3);
    facade().payOrderInfo(three, nullptr);  // no role: an empty one is sent
    EXPECT_EQ(three->price(), 6.0);
    EXPECT_EQ(three->productDesc(), "3钻石");
    auto given = order("cp-4", 5, 2, "自定义");
    given->setPrice(9);
    facade().payOrderInfo(given, role("r1"));
    EXPECT_EQ(given->price(), 9.0);
    EXPECT_EQ(given->productDesc(), "自定义");
    ASSERT_TRUE(testsupport::waitFor([&] { return zorvia().payments.size() == 3; }));
    EXPECT_EQ(standin.journal().count("/v1/order/orderpay"), 3u);
}

// A refused or unanswered order opens no payment: the player is told
// ("下单失败，…"), the game hears nothing, as no order was placed.
TEST_F(PayFlow, ARefusedOrderShowsItsAlertAndTellsOnlyThePlayer) {
    scriptAll("/v1/order/orderpay", Reply::json(AggregatorStandin::errorReply(1000, "该商品已下架")));
    facade().payOrderInfo(order("cp-5", 6, 1), role("r1"));
    ASSERT_TRUE(testsupport::waitFor([&] { return !zorvia().messages.empty(); }));
    EXPECT_EQ(zorvia().messages, std::vector<std::string>{"下单失败，该商品已下架"});
    EXPECT_TRUE(zorvia().payments.empty());
    RunLoop::drain();
    EXPECT_EQ(seen.count(kRlpcRPNotiRecharge), 0u);
    auto alert = presentedAlert();
    ASSERT_TRUE(alert);
    advance(1);
    EXPECT_EQ(alert->message(), "该商品已下架");
    ASSERT_TRUE(uitest::tapButton("确定"));
    advance(1);
    EXPECT_FALSE(presentedAlert());
    EXPECT_TRUE(exits.empty());  // only closes
}

TEST_F(PayFlow, UnansweredOrEmptyOrdersTellThePlayerWithoutAnAlert) {
    scriptAll("/v1/order/orderpay", Reply::closeConnection());
    facade().payOrderInfo(order("cp-6", 6, 1), role("r1"));
    ASSERT_TRUE(testsupport::waitFor([&] { return zorvia().messages.size() == 1; }));
    EXPECT_EQ(zorvia().messages[0], "下单失败，网络故障");

    // A "true" reply without an order id placed no order.
    for (size_t i = 0; i < standin.apiCount(); ++i) standin.api(i).clearScripts();
    scriptAll("/v1/order/orderpay", Reply::json(AggregatorStandin::okReply(Value::dict({{"amount", 6}}))));
    facade().payOrderInfo(order("cp-7", 6, 1), role("r1"));
    ASSERT_TRUE(testsupport::waitFor([&] { return zorvia().messages.size() == 2; }));
    RunLoop::drain();
    EXPECT_EQ(seen.count(kRlpcRPNotiRecharge), 0u);

    // No order at all: nothing is sent, and the game hears of it at once.
    size_t orders = standin.journal().count("/v1/order/orderpay");
    facade().payOrderInfo(nullptr, role("r1"));
    EXPECT_EQ(payResults(1)[0].userInfo, Value::dict({{"error", -400}, {"msg", "Pay params error"}}));
    RunLoop::drain();
    EXPECT_EQ(standin.journal().count("/v1/order/orderpay"), orders);
    EXPECT_TRUE(zorvia().payments.empty());
    EXPECT_FALSE(presentedAlert());
}

TEST_F(PayFlow, ChannelPaymentResultsReachTheGameWithTheirPayCodes) {
    struct Case {
        Value channel;
        int game;
        const char* msg;
    };
    for (auto& c : std::vector<Case>{{-30, -400, "Pay params error"},
                                     {-31, -400, "Pay failed"},
                                     {-32, -401, "Pay cancel"},
                                     {7, -400, "Pay failed"},
                                     {Value(), -400, "Pay failed"}}) {
        seen.clear();
        Value info = Value::dict({{"orderId", "SO9"}, {"extraParams", "x=1"}});
        if (!c.channel.isNull()) info.set("error", c.channel);
        NSNotificationCenter::defaultCenter().postNotificationName(kRlpcRCRechargeResultNotification, nullptr, info);
        ASSERT_EQ(seen.count(kRlpcRPNotiRecharge), 1u);
        EXPECT_EQ(seen.all()[0].userInfo,
                  Value::dict({{"error", c.game}, {"msg", c.msg}, {"orderId", "SO9"}, {"extraParams", "x=1"}}))
            << c.channel.toJSON();
    }
    EXPECT_TRUE(hooks().empty());  // rechargeOver only on success
}

class RoleFlow : public FlowTest {};

TEST_F(RoleFlow, RolesAreReportedSignedAndResentUnsignedWhenTheGatewaySays1000) {
    standin.gateway().script("/api/gateway", Reply::json(AggregatorStandin::errorReply(1000, "sign error")));
    facade().updateRoleInfoWith(role("r1"), true);
    ASSERT_TRUE(testsupport::waitFor([&] { return standin.journal().count("/api/gateway") == 2; }));
    auto reports = standin.journal().entries("/api/gateway");
    EXPECT_EQ(reports[0].request.method, "GET");
    EXPECT_TRUE(reports[0].request.hasParam("sign"));
    EXPECT_FALSE(reports[1].request.hasParam("sign"));
    EXPECT_EQ(reports[1].decoded.text("gameRoleID"), "r1");
    EXPECT_EQ(reports[1].decoded.text("gameRoleLevel"), "12");
    EXPECT_EQ(reports[1].decoded.text("productCode"), "P100");
    // Accepted at once: one report, signed and checked.
    facade().updateRoleInfoWith(role("r1"), false);
    ASSERT_TRUE(testsupport::waitFor([&] { return standin.journal().count("/api/gateway") == 3; }));
    EXPECT_EQ(standin.journal().last("/api/gateway")->signOk, true);
    RunLoop::drain();
    EXPECT_EQ(standin.journal().count("/api/gateway"), 3u);

    // The channel got each role.
    ASSERT_EQ(zorvia().roles.size(), 2u);
    EXPECT_EQ(zorvia().roles[0].roleId, "r1");
    EXPECT_EQ(zorvia().roles[0].roleLevel, "12");
    EXPECT_EQ(zorvia().roles[0].zoneName, "一区");
}

TEST_F(RoleFlow, EnteringIsToldOncePerRoleAndTheOlderFlowHasNoHooksButTheReport) {
    facade().updateRoleInfoWith(role("r1"), true);
    facade().updateRoleInfoWith(role("r1"), false);
    facade().updateRoleInfoWith(role("r2"), false);
    facade().updateRoleInfoWith(role("r1"), false);
    EXPECT_EQ(hooks(), (std::vector<std::string>{"createRoleInfo r1", "enterGameRoleInfo r1", "updateRoleInfo r1",
                                                 "updateRoleInfo r1", "enterGameRoleInfo r2", "updateRoleInfo r2",
                                                 "enterGameRoleInfo r1", "updateRoleInfo r1"}));
    hooks().clear();
    facade().updateRole(role("r3"));
    EXPECT_EQ(hooks(), std::vector<std::string>{"updateRoleInfo r3"});
    EXPECT_EQ(co().lastEnteredRole()->gameRoleID(), "r1");
    ASSERT_TRUE(testsupport::waitFor([&] { return standin.journal().count("/api/gateway") == 5; }));
}

TEST_F(RoleFlow, TheNewRoleCutOffEndsTheGameForRolesCreatedSinceIt) {
    scriptAll("/v2/users/checklogin",
              Reply::json(AggregatorStandin::okReply(Value::dict(
                  {{"uid", "u1"}, {"user_token", "t1"}, {"stopCreateRole", true}, {"stopCreateTime", "1000"}}))));
    channelLogin();
    ASSERT_TRUE(testsupport::waitFor([&] { return seen.count(kRlpcRPLoginNotification) == 1; }));
    hooks().clear();

    // Created before the cut-off, or with no creation time: nothing to say.
    facade().updateRoleInfoWith(role("r1", Value("999")), false);
    facade().updateRoleInfoWith(role("r2"), false);
    advance(1);
    EXPECT_FALSE(presentedAlert());
    EXPECT_EQ(hooks()[0], "cutOff 1000 999");
    EXPECT_EQ(hooks()[3], "cutOff 1000 0");

    // Created at the cut-off: the alert ends the game.
    facade().updateRoleInfoWith(role("r4", Value(1000)), false);
    ASSERT_TRUE(presentedAlert());
    advance(1);
    EXPECT_EQ(presentedAlert()->message(), kNewRoleCutOffMessage);
    ASSERT_TRUE(uitest::tapButton("确定"));
    advance(1);
    EXPECT_EQ(exits, std::vector<int>{0});
}

TEST(PayLimit, MinorsAreLimitedByAgeOrderAndMonth) {
    EXPECT_FALSE(RUVURazuzEVE::payLimitRefuses(-1, 10000, 10000));
    EXPECT_FALSE(RUVURazuzEVE::payLimitRefuses(18, 10000, 10000));
    EXPECT_FALSE(RUVURazuzEVE::payLimitRefuses(8, 50.0, 200));
    EXPECT_TRUE(RUVURazuzEVE::payLimitRefuses(8, 50.01, 0));
    EXPECT_TRUE(RUVURazuzEVE::payLimitRefuses(15, 1, 201));
    EXPECT_FALSE(RUVURazuzEVE::payLimitRefuses(16, 100.0, 400));
    EXPECT_TRUE(RUVURazuzEVE::payLimitRefuses(17, 100.5, 0));
    EXPECT_TRUE(RUVURazuzEVE::payLimitRefuses(16, 1, 401));
    EXPECT_TRUE(RUVURazuzEVE::payLimitRefuses(7, 0.01, 0));
    EXPECT_TRUE(RUVURazuzEVE::payLimitRefuses(0, 0, 0));
    EXPECT_TRUE(RUVURazuzEVE::payLimitRefuses(-2, 0, 0));
}

}  // namespace
