// The user-centre stand-in's vouchers (claims per sub-account and the
// claim states the sub-account lists show) and the welfare tab's gift packs.

#include <gtest/gtest.h>

#include <ctime>
#include <regex>

#include "platform/net/URLSession.h"
#include "standin/UserCentreStandin.h"
#include "support/TestSupport.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVRequestCodec.h"

using standin::UserCentreStandin;

namespace {

std::string post(UserCentreStandin& s, const std::string& endpoint, const std::string& body) {
    return testsupport::offMainThread([&] {
        URLRequest r(s.serverURL() + "sdkapicoupon2/" + endpoint, "POST");
        r.body = body;
        r.timeout = std::chrono::seconds(10);
        return URLSession::sessionWithConfiguration(URLSessionConfiguration())->sendSynchronousRequest(r).body;
    });
}

Value coded(UserCentreStandin& s, const std::string& endpoint, const Value& request) {
    return ZVRequestCodec::current()->decode(post(s, endpoint, ZVRequestCodec::current()->encode(request))).value_or(Value());
}

Value form(UserCentreStandin& s, const std::string& endpoint, const std::string& body) {
    return Value::fromJSON(post(s, endpoint, body)).value_or(Value());
}

class Coupons : public ::testing::Test {
protected:
    void SetUp() override {
        s.setVouchers({{12, "G1", 100, Value::dict({{"coupon_money", "5"}})}, {13, "G1", 1, Value::dict()}, {20, "G2", 100, Value::dict()}});
        s.setSubAccounts("player01", {{7, "小号一"}, {8, "小号二"}});
        ASSERT_TRUE(s.start());
    }
    // The claim states of player01's sub-accounts: of one voucher, or (cid "") of all of G1's.
    std::vector<std::string> states(const std::string& cid) {
        Value reply = cid.empty() ? form(s, ZVApi::kCouponAllRecord, "username=player01&cid=&gid=G1")
                                  : form(s, ZVApi::kCouponRecord, "username=player01&gid=G1&cid=" + cid);
        std::vector<std::string> out;
        for (size_t i = 0; i < reply["c"].size(); ++i) out.push_back(reply["c"][i].text("nickname") + ":" + reply["c"][i].text("status"));
        return out;
    }
    UserCentreStandin s;
};

TEST_F(Coupons, ClaimsArePerSubAccountAndRefusedTwiceUnknownOrGone) {
    struct Case {
        const char* endpoint;
        Value request;
        int a;
        std::string b;
    };
    auto one = [](Value cid, Value sub) { return Value::dict({{"cid", cid}, {"username", "player01"}, {"xiaohao_id", sub}}); };
    Value all7 = Value::dict({{"gid", "G1"}, {"username", "player01"}, {"xiaohao_id", "7"}});
    for (auto& c : std::vector<Case>{
             {ZVApi::kGetCoupon, one("12", 7), 1, "领取成功"},
             {ZVApi::kGetCoupon, one(12, "7"), 0, "该小号已领取过此抵扣券"},
             {ZVApi::kGetCoupon, one("12", 9), 0, "请选择要领取的小号"},  // not player01's
             // Without a sub-account (none can be chosen in this build) the account claims for itself.
             {ZVApi::kGetCoupon, one("12", ""), 1, "领取成功"},
             {ZVApi::kGetCoupon, one("12", ""), 0, "该小号已领取过此抵扣券"},
             {ZVApi::kGetCoupon, one("99", 7), 0, "抵扣券不存在"},
             {ZVApi::kGetCoupon, one("abc", 7), 0, "抵扣券不存在"},
             {ZVApi::kGetCoupon, one("13", 8), 1, "领取成功"},
             {ZVApi::kGetCouponAll, all7, 0, "没有可领取的抵扣券"},  // 12 had been claimed, 13 is gone
             {ZVApi::kGetCoupon, Value::dict({{"cid", "12"}, {"xiaohao_id", 7}}), 0, "请先登录"},
         }) {
        Value reply = coded(s, c.endpoint, c.request);
        EXPECT_EQ(reply["a"].intValue(), c.a) << c.request.toJSON();
        EXPECT_EQ(reply.text("b"), c.b) << c.request.toJSON();
    }
    EXPECT_TRUE(s.claimed("player01", 7, 12));
    EXPECT_FALSE(s.claimed("player01", 8, 12));
    EXPECT_TRUE(s.claimed("player01", UserCentreStandin::kOwnAccount, 12));
    EXPECT_EQ(s.vouchers()[1].remaining, 0);
    Value all8 = Value::dict({{"gid", "G1"}, {"username", "player01"}, {"xiaohao_id", 8}});
    EXPECT_EQ(coded(s, ZVApi::kGetCouponAll, all8).text("b"), "成功领取1张抵扣券");
    EXPECT_FALSE(s.claimed("player01", 8, 20));  // another game's
    EXPECT_EQ(s.journal().last()->decoded.text("gid"), "G1");
}

TEST_F(Coupons, TheSubAccountsShowTheirClaimStateOfOneVoucherOrOfAll) {
    EXPECT_EQ(states("12"), (std::vector<std::string>{"小号一:未领", "小号二:未领"}));
    coded(s, ZVApi::kGetCoupon, Value::dict({{"cid", "12"}, {"username", "player01"}, {"xiaohao_id", 7}}));
    EXPECT_EQ(states("12"), (std::vector<std::string>{"小号一:已领", "小号二:未领"}));
    EXPECT_EQ(states(""), (std::vector<std::string>{"小号一:已领1张", "小号二:未领"}));
    coded(s, ZVApi::kGetCoupon, Value::dict({{"cid", "13"}, {"username", "player01"}, {"xiaohao_id", 7}}));
    EXPECT_EQ(states(""), (std::vector<std::string>{"小号一:已领", "小号二:未领"}));
    EXPECT_EQ(form(s, ZVApi::kCouponRecord, "username=player01&cid=99").text("b"), "抵扣券不存在");
    EXPECT_EQ(form(s, ZVApi::kCouponAllRecord, "username=nobody&gid=G1")["c"], Value::array());
}

// What a sub-account claimed tops its usable vouchers, newest first, and
// adds to the account page's summary; for the game asked about only.
TEST_F(Coupons, ClaimsShowInTheSummaryAndTopTheUsableVouchersOfTheirSubAccount) {
    s.addAccount("player01", {});
    s.setProfile("player01", Value::dict(), Value::dict({{"money", "45"}, {"count", 3}}));
    s.setList(UserCentreStandin::myCouponsKey("1"), {{Value::dict({{"cid", 900}})}, 10, Value::dict()});
    s.setList(UserCentreStandin::myCouponsKey("2"), {{Value::dict({{"cid", 901}})}, 10, Value::dict()});
    auto summary = [&](const std::string& sub, const std::string& gid) {
        Value c = coded(s, ZVApi::kUserIndex, Value::dict({{"username", "player01"}, {"gid", gid}, {"xiaohao_id", sub}}))["c"];
        return c["coupon"].text("money") + "/" + c["coupon"].text("count");
    };
    auto mine = [&](const std::string& query) {
        Value page = form(s, ZVApi::kMyCoupons, "username=player01&gid=G1&" + query);
        std::vector<std::string> cids;
        for (size_t i = 0; i < page["lists"].size(); ++i)
            cids.push_back(page["lists"][i].text("cid") + (page["lists"][i].text("is_get") == "1" ? "+" : ""));
        return cids;
    };
    auto claim = [&](int64_t cid, const std::string& sub) {
        coded(s, ZVApi::kGetCoupon, Value::dict({{"cid", cid}, {"username", "player01"}, {"xiaohao_id", sub}}));
    };
    EXPECT_EQ(summary("", "G1"), "45/3");

    claim(13, "");  // the last one, without an amount
    claim(20, "");  // another game's
    claim(12, "");
    claim(12, "7");
    EXPECT_EQ(summary("", "G1"), "50/5");
    EXPECT_EQ(summary("0", "G1"), "50/5");
    EXPECT_EQ(summary("7", "G1"), "50/4");
    EXPECT_EQ(summary("8", "G1"), "45/3");
    EXPECT_EQ(summary("", "G2"), "45/4");
    EXPECT_EQ(mine("status=1&xiaohao_id="), (std::vector<std::string>{"12+", "13+", "900"}));
    EXPECT_EQ(mine("status=1&xiaohao_id=7"), (std::vector<std::string>{"12+", "900"}));
    EXPECT_EQ(mine("status=2&xiaohao_id=7"), (std::vector<std::string>{"901"}));
}

TEST(GiftPacks, AClaimGivesTheSubAccountsPackACodeAndIsRefusedTwiceOrForPacksShownClaimed) {
    UserCentreStandin s;
    s.setGifts(0, {Value::dict({{"id", 31}, {"name", "新手礼包"}, {"status", "0"}})});
    s.setGifts(1, {Value::dict({{"id", "41"}, {"status", "1"}, {"code", "OLD"}})});
    ASSERT_TRUE(s.start());
    auto list = [&](const std::string& query) { return form(s, ZVApi::kGiftList, "appid=88&gid=G1&" + query); };
    auto claim = [&](Value cardid, Value sub) {
        return coded(s, ZVApi::kGiftClaim, Value::dict({{"cardid", cardid}, {"username", "player01"}, {"xiaohao_id", sub}}));
    };
    EXPECT_EQ(list("username=player01&xiaohao_id=&lx=0")[0].text("status"), "0");
    struct Case {
        Value cardid, sub;
        int a;
        std::string b;
    };
    for (auto& c : std::vector<Case>{{31, "", 1, "领取成功"},
                                     {"31", "", 0, "您已领取过该礼包"},
                                     {31, 7, 1, "领取成功"},  // another sub-account
                                     {41, "", 0, "您已领取过该礼包"},
                                     {"99", "", 0, "礼包不存在"},
                                     {"", "", 0, "礼包不存在"}}) {
        Value reply = claim(c.cardid, c.sub);
        EXPECT_EQ(reply["a"].intValue(), c.a) << c.cardid.textValue() << "/" << c.sub.textValue();
        EXPECT_EQ(reply.text("b"), c.b) << c.cardid.textValue() << "/" << c.sub.textValue();
    }
    Value mine = list("username=player01&xiaohao_id=&lx=0");
    ASSERT_TRUE(mine.isArray());
    EXPECT_EQ(mine[0]["status"].intValue(), 1);
    EXPECT_FALSE(mine[0].text("code").empty());
    EXPECT_NE(mine[0].text("code"), list("username=player01&xiaohao_id=7&lx=0")[0].text("code"));
    EXPECT_EQ(list("username=other&xiaohao_id=&lx=0")[0].text("status"), "0");
    EXPECT_EQ(list("username=player01&lx=1")[0].text("code"), "OLD");
    EXPECT_EQ(list("username=player01&lx=5"), Value::array());
    EXPECT_EQ(form(s, ZVApi::kWelfare, "username=player01")["c"]["vipList"], Value::array());
}

TEST(Fixtures, VouchersSubAccountsWelfareAndGiftsComeFromTheDemoFolderAndBadFilesAreNamed) {
    UserCentreStandin s;
    std::string error;
    ASSERT_TRUE(s.loadFixtures(testsupport::sourceDir() / "tools/standin/fixtures", &error)) << error;
    EXPECT_FALSE(s.vouchers().empty());
    EXPECT_FALSE(s.vouchers()[0].fields.has("cid"));
    EXPECT_FALSE(s.subAccounts("demo").empty());
    ASSERT_TRUE(s.start());
    EXPECT_GT(form(s, ZVApi::kWelfare, "")["c"]["vipList"].size(), 3u);
    EXPECT_GT(form(s, ZVApi::kGiftList, "lx=0").size(), 1u);
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "coupons.json", R"({"vouchers": [{"gid": "1"}]})");
    EXPECT_FALSE(s.loadFixtures(dir.path(), &error));
    EXPECT_NE(error.find("coupons.json"), std::string::npos);
    std::filesystem::remove(dir / "coupons.json");
    testsupport::writeFile(dir / "welfare.json", R"({"fuli": []})");
    EXPECT_FALSE(s.loadFixtures(dir.path(), &error));
    EXPECT_NE(error.find("welfare.json"), std::string::npos);
}

// The demo's dates count from the day the stand-in reads them, whatever
// year it runs in: what it offers (vouchers, gift packs, usable coupons)
// is valid from then on, the coupons no longer usable ran out before, and
// what happened (server openings, activities) happened before. A date that
// does not read names its file.
TEST(Fixtures, DatesCountFromTheDayTheFixturesAreRead) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char today[16];
    std::strftime(today, sizeof today, "%Y-%m-%d", &local);
    UserCentreStandin s;
    std::string error;
    ASSERT_TRUE(s.loadFixtures(testsupport::sourceDir() / "tools/standin/fixtures", &error)) << error;
    ASSERT_TRUE(s.start());
    auto date = [](const Value& row, const char* key) {
        std::string text = row.text(key);
        EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d{4}-\d{2}-\d{2})"))) << key << " " << text;
        return text;
    };
    auto rows = [&](const std::string& endpoint) { return s.list(endpoint).rows; };
    ASSERT_FALSE(s.vouchers().empty());
    for (auto& v : s.vouchers()) EXPECT_GE(date(v.fields, "end_time"), today) << v.cid;
    Value packs = form(s, ZVApi::kGiftList, "lx=0");
    ASSERT_GT(packs.size(), 0u);
    for (size_t i = 0; i < packs.size(); ++i) EXPECT_GE(date(packs[i], "end_time"), today) << i;
    std::string usable = std::string(ZVApi::kMyCoupons) + "?status=1", unusable = std::string(ZVApi::kMyCoupons) + "?status=0";
    ASSERT_FALSE(rows(usable).empty());
    for (auto& row : rows(usable)) EXPECT_GE(date(row, "end_time"), today);
    ASSERT_FALSE(rows(unusable).empty());
    for (auto& row : rows(unusable)) EXPECT_LT(date(row, "end_time"), today);
    for (auto& row : rows(ZVApi::kServerList)) EXPECT_LE(date(row, "day"), today);
    for (auto& row : rows(ZVApi::kActivityList)) EXPECT_LE(date(row, "post_date"), today);

    testsupport::TempDir dir;
    testsupport::writeFile(dir / "welfare.json", R"({"fuli": {}, "gifts": {"0": [{"id": 1, "end_time": "{today+x}"}]}})");
    EXPECT_FALSE(s.loadFixtures(dir.path(), &error));
    EXPECT_NE(error.find("welfare.json: a date that does not read in \"{today+x}\""), std::string::npos) << error;
}

}  // namespace
