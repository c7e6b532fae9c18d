#include <gtest/gtest.h>

#include "aggregator/RUVURazuzEVERecords.h"

namespace {

TEST(GameRoleInfo, CreationTimeRule) {
    RUVURazuzEVEGameRoleInfo role;
    EXPECT_EQ(role.creatTime(), "0");
    role.setCreatTime("1700000000123");  // milliseconds
    EXPECT_EQ(role.creatTime(), "1700000000");
    role.setCreatTime("1700000000789");  // rounded, not cut
    EXPECT_EQ(role.creatTime(), "1700000001");
    role.setCreatTime(int64_t(1700000000));  // seconds stay
    EXPECT_EQ(role.creatTime(), "1700000000");
    role.setCreatTime("1700000000.4");  // seconds with a fraction are not milliseconds
    EXPECT_EQ(role.creatTime(), "1700000000");
    role.setCreatTime(Value());  // JSON null
    EXPECT_EQ(role.creatTime(), "");
}

TEST(GameRoleInfo, DefaultsAndTextForms) {
    RUVURazuzEVEGameRoleInfo role;
    EXPECT_EQ(role.vipLevel(), "0");
    EXPECT_EQ(role.gameUserBalance(), "0");
    EXPECT_EQ(role.gameUserLevel(), "0");
    EXPECT_EQ(role.fightPower(), "0");
    EXPECT_EQ(role.roleGender(), "男");
    role.setVipLevel(Value());
    EXPECT_EQ(role.vipLevel(), "0");
    role.setVipLevel(3);
    EXPECT_EQ(role.vipLevel(), "3");
    role.setRoleGender("女");
    EXPECT_EQ(role.roleGender(), "女");

    role.setGameRoleID(42);
    EXPECT_EQ(role.gameRoleID(), "42");
    role.setServerId(2.5);
    EXPECT_EQ(role.serverId(), "2.5");
    // Absent texts are "", never a marker.
    role.setServerName(Value());
    EXPECT_EQ(role.serverName(), "");
    role.setProfession(Value());
    EXPECT_EQ(role.profession(), "");
    EXPECT_EQ(role.description().find("(null)"), std::string::npos);
    EXPECT_NE(role.description().find("角色ID:42\n"), std::string::npos);
    EXPECT_NE(role.description().find("角色性别:女\n"), std::string::npos);
}

TEST(PayOrderInfo, CountAmountsAndTexts) {
    auto order = RUVURazuzEVEPayOrderInfo::info();
    EXPECT_TRUE(order->setCount(Value(3)));
    EXPECT_EQ(order->count(), 3u);
    EXPECT_FALSE(order->setCount(Value(-1)));
    EXPECT_FALSE(order->setCount(Value("-2")));
    EXPECT_FALSE(order->setCount(Value(1.5)));
    EXPECT_FALSE(order->setCount(Value("abc")));
    EXPECT_FALSE(order->setCount(Value()));
    EXPECT_EQ(order->count(), 3u);  // refused values leave it alone
    EXPECT_TRUE(order->setCount(Value("12")));
    EXPECT_EQ(order->count(), 12u);

    order->setAmount(6.0);
    order->setPrice(0.5);
    EXPECT_DOUBLE_EQ(order->amount(), 6.0);
    order->setGoodsID(1001);
    EXPECT_EQ(order->goodsID(), "1001");
    order->setQuantifier(Value());
    EXPECT_EQ(order->quantifier(), "");
    order->setQuantifier("个");
    EXPECT_EQ(order->quantifier(), "个");
    order->setProductName(Value());
    EXPECT_EQ(order->productName(), "");
    EXPECT_NE(order->description().find("数量:12\n总价:6.00\n"), std::string::npos);
}

}  // namespace
