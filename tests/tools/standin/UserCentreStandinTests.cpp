// The user-centre stand-in's own routes for the screens: pictures, paged
// lists, web pages and replies held back; what it takes as a verification
// code or an identity number.

#include <gtest/gtest.h>

#include "platform/foundation/Strings.h"
#include "platform/graphics/ImageIO.h"
#include "platform/net/URLSession.h"
#include "platform/security/Digest.h"
#include "standin/UserCentreStandin.h"
#include "support/TestSupport.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVRequestCodec.h"

using standin::Reply;
using standin::UserCentreStandin;

namespace {

URLResult send(const std::string& url, const std::string& method = "GET", const std::string& body = "") {
    URLRequest r(url, method);
    r.body = body;
    r.timeout = std::chrono::seconds(10);
    return URLSession::sessionWithConfiguration(URLSessionConfiguration())->sendSynchronousRequest(r);
}

URLResult get(const std::string& url) { return testsupport::offMainThread([&] { return send(url); }); }

Value postForm(UserCentreStandin& s, const std::string& endpoint, const std::string& body) {
    auto r = testsupport::offMainThread([&] { return send(s.serverURL() + "sdkapicoupon2/" + endpoint, "POST", body); });
    return Value::fromJSON(r.body).value_or(Value());
}

TEST(UserCentreStandin, PicturesAreServedByNameAsPNGOrJPEG) {
    UserCentreStandin s;
    EXPECT_EQ(s.pictures().drawAll(Value::array({
                  Value::dict({{"name", "图标.png"}, {"width", 40}, {"height", 20}, {"color", "#00ff00"}}),
                  Value::dict({{"name", "bad-colour.jpg"}, {"width", 4}, {"height", 4}, {"color", "green"}}),
                  Value::dict({{"name", "too-big.jpg"}, {"width", 5000}, {"height", 4}, {"color", "#000000"}}),
                  "not an entry",
              })),
              1u);
    ASSERT_TRUE(s.start());
    struct Case {
        std::string name, type;
        int width, height;
    };
    for (auto& c : std::vector<Case>{{"icon.png", "image/png", 128, 128},
                                     {"icon.jpg", "image/jpeg", 128, 128},
                                     {"card-2.jpg", "image/jpeg", 690, 300},
                                     {"图标.png", "image/png", 40, 20}}) {
        auto r = get(s.pictureURL(c.name));
        ASSERT_TRUE(r.response) << c.name;
        EXPECT_EQ(r.response->statusCode, 200) << c.name;
        EXPECT_EQ(r.response->valueForHTTPHeaderField("Content-Type"), c.type) << c.name;
        auto decoded = imageio::decode(reinterpret_cast<const uint8_t*>(r.body.data()), r.body.size());
        ASSERT_TRUE(decoded) << c.name;
        EXPECT_EQ(decoded->image->width(), c.width) << c.name;
        EXPECT_EQ(decoded->image->height(), c.height) << c.name;
    }
    EXPECT_NE(s.pictureURL("图标.png").find("%E5%9B%BE"), std::string::npos);
    EXPECT_EQ(get(s.pictureURL("missing.png")).response->statusCode, 404);
    EXPECT_EQ(s.journal().last()->decoded.str("name"), "missing.png");
}

TEST(UserCentreStandin, ListsArePagedByPagecodeWithTheirExtrasAndAddressesFilledIn) {
    UserCentreStandin s;
    ASSERT_TRUE(s.start());
    std::vector<Value> rows;
    for (int i = 1; i <= 5; ++i) rows.push_back(Value::dict({{"n", i}, {"pic1", "{pictures}icon.png"}}));
    s.setList(ZVApi::kActivityList, {rows, 2, Value::dict({{"auto", true}})});
    struct Case {
        std::string pagecode;
        int page;
        std::vector<int> rows;
    };
    for (auto& c : std::vector<Case>{{"1", 1, {1, 2}}, {"3", 3, {5}}, {"4", 4, {}}, {"0", 1, {1, 2}}, {"x", 1, {1, 2}}, {"", 1, {1, 2}}}) {
        Value reply = postForm(s, ZVApi::kActivityList, "gid=1&pagecode=" + c.pagecode);
        EXPECT_EQ(reply["now_page"].intValue(), c.page) << c.pagecode;
        EXPECT_EQ(reply["total_page"].intValue(), 3) << c.pagecode;
        EXPECT_TRUE(reply["auto"].boolValue());
        ASSERT_EQ(reply["lists"].size(), c.rows.size()) << c.pagecode;
        for (size_t i = 0; i < c.rows.size(); ++i) EXPECT_EQ(reply["lists"][i]["n"].intValue(), c.rows[i]);
    }
    Value first = postForm(s, ZVApi::kActivityList, "pagecode=1");
    EXPECT_EQ(first["lists"][0].str("pic1"), s.pictureURL("icon.png"));
    // An empty list still has a page.
    Value guides = postForm(s, ZVApi::kGuideList, "pagecode=1");
    EXPECT_EQ(guides["lists"], Value::array());
    EXPECT_EQ(guides["total_page"].intValue(), 1);
    EXPECT_EQ(s.journal().last()->decoded.str("pagecode"), "1");
}

TEST(UserCentreStandin, TheTasksPageChecksItsSignOverTheDecodedValues) {
    UserCentreStandin s;
    ASSERT_TRUE(s.start());
    std::string user = "a b&c#d", time = "1700000000";
    auto open = [&](const std::string& sign) {
        return get(s.serverURL() + "sdkapicoupon2/" + ZVApi::kTasksPage + "?username=" + strings::percentEncode(user) +
                   "&device=ios&logintime=" + time + "&sign=" + sign);
    };
    auto good = open(ZVTasksSign(user, time));
    EXPECT_NE(good.body.find(strings::format("#%06X", UserCentreStandin::PageLayout::kSigned)), std::string::npos);
    EXPECT_NE(good.body.find("zorvia://rw?x=1"), std::string::npos);
    EXPECT_EQ(s.journal().last()->signOk, true);
    EXPECT_EQ(s.journal().last()->decoded.str("username"), user);
    auto bad = open(ZVTasksSign(user, "1700000001"));
    EXPECT_NE(bad.body.find(strings::format("#%06X", UserCentreStandin::PageLayout::kUnsigned)), std::string::npos);
    EXPECT_EQ(s.journal().last()->signOk, false);
}

Value postCoded(UserCentreStandin& s, const std::string& endpoint, const Value& request) {
    auto r = testsupport::offMainThread([&] {
        return send(s.serverURL() + "sdkapicoupon2/" + endpoint, "POST", ZVRequestCodec::current()->encode(request));
    });
    return ZVRequestCodec::current()->decode(r.body).value_or(Value());
}

// The remarks of a ledger's first page, as a screen asks for it.
std::vector<std::string> remarks(UserCentreStandin& s, const std::string& endpoint, const std::string& screen) {
    Value reply = postForm(s, endpoint, "username=demo&appid=1&type=ios&pagecode=1&screen=" + screen);
    std::vector<std::string> out;
    for (size_t i = 0; i < reply["c"]["lists"].size(); ++i) out.push_back(reply["c"]["lists"][i].text("remark"));
    return out;
}

TEST(UserCentreStandin, TheDemoLedgersKeepTheirRowsAfterASwitchAndShowPayments) {
    UserCentreStandin s;
    ASSERT_TRUE(s.loadFixtures(testsupport::sourceDir() / "tools/standin/fixtures"));
    s.addAccount("demo", {"123456"});
    ASSERT_TRUE(s.start());
    // A type switch sends "screen" 1: the ledgers without sources still list every row.
    EXPECT_EQ(remarks(s, ZVApi::kPtbSpending, "1").size(), 4u);
    EXPECT_EQ(remarks(s, ZVApi::kPtbIncome, "1").size(), 6u);
    EXPECT_EQ(remarks(s, ZVApi::kStarSpending, "1").size(), 3u);
    // The others by the source the menu shows: its first after a switch, then the one picked.
    for (auto& [endpoint, screen, remark] : std::vector<std::tuple<const char*, const char*, const char*>>{
             {ZVApi::kDjqIncome, "1", "后台代充"}, {ZVApi::kDjqIncome, "2", "金币兑换"}, {ZVApi::kDjqIncome, "3", "渠道代充"},
             {ZVApi::kDjqSpending, "1", "游戏充值"}, {ZVApi::kDjqSpending, "2", "代理撤回"},
             {ZVApi::kStarIncome, "1", "后台发放"}, {ZVApi::kStarIncome, "2", "金币兑换"}}) {
        auto rows = remarks(s, endpoint, screen);
        EXPECT_FALSE(rows.empty()) << endpoint << " " << screen;
        for (auto& r : rows) EXPECT_EQ(r, remark) << endpoint << " " << screen;
    }
    EXPECT_EQ(remarks(s, ZVApi::kDjqIncome, "0").size(), 10u);  // a page of all 14

    // Two payments in platform coins head demo's spending, newest first; nobody else's.
    Value login = postCoded(s, ZVApi::kLogin, Value::dict({{"i", "demo"}, {"p", digest::md5Hex("123456")}}));
    ASSERT_EQ(login["z"].intValue(), 1) << login.toJSON();
    for (auto* product : {"月卡", ""}) {
        Value paid = postCoded(s, ZVApi::kPayOrder, Value::dict({{"i", "demo"}, {"s", login.text("s")}, {"m", "6"},
                                                                 {"w", "ptb"}, {"pn", product}}));
        ASSERT_EQ(paid["z"].intValue(), 1) << paid.toJSON();
    }
    Value refused = postCoded(s, ZVApi::kPayOrder, Value::dict({{"i", "demo"}, {"s", login.text("s")}, {"m", "999999"},
                                                                {"w", "ptb"}, {"pn", "礼包"}}));
    EXPECT_NE(refused["z"].intValue(), 1);
    Value page = postForm(s, ZVApi::kPtbSpending, "username=demo&appid=1&type=ios&pagecode=1&screen=1");
    ASSERT_EQ(page["c"]["lists"].size(), 6u) << page.toJSON();
    EXPECT_EQ(page["c"]["lists"][0].text("remark"), "游戏充值");
    EXPECT_EQ(page["c"]["lists"][1].text("remark"), "月卡");
    EXPECT_EQ(page["c"]["lists"][1].text("money"), "6.00");
    EXPECT_EQ(page["c"]["lists"][0].text("time").size(), std::string("2024-05-01 12:00").size());
    Value other = postForm(s, ZVApi::kPtbSpending, "username=player1&pagecode=1&screen=0");
    EXPECT_EQ(other["c"]["lists"].size(), 4u);
}

// One rule for a code on every route that takes one, counted in characters
// with blanks at either end left out; an identity number is 17 digits and
// a digit or X (either case).
TEST(UserCentreStandin, CodesAndIdentityNumbersAreCheckedAlikeOnEveryRoute) {
    UserCentreStandin s;
    s.addAccount("demo", {"123456"});
    ASSERT_TRUE(s.start());
    auto bind = [&](const std::string& code) {
        return postForm(s, ZVApi::kBindPhone, "username=demo&sj=13800001111&yzm=" + strings::percentEncode(code))["a"];
    };
    for (auto& [code, ok] : std::vector<std::pair<std::string, int>>{{"验证码四", 1}, {" 1234\n", 1}, {"验证", 0}, {" 123 ", 0}}) {
        ASSERT_EQ(bind("0000").intValue(), 1);
        EXPECT_EQ(postCoded(s, ZVApi::kUnbindPhone, Value::dict({{"username", "demo"}, {"code", code}}))["a"].intValue(), ok) << code;
        ASSERT_EQ(bind("0000").intValue(), 1);
        Value reset = Value::dict({{"phone", "13800001111"}, {"yzm", code}, {"password", "654321"}});
        EXPECT_EQ(postCoded(s, ZVApi::kForgetPassword, reset)["a"].intValue(), ok) << code;
        EXPECT_EQ(bind(code).intValue(), ok) << code;
    }
    for (auto& [id, ok] : std::vector<std::pair<std::string, int>>{
             {"110105194912310021", 1}, {"11010519491231002X", 1}, {"11010519491231002x", 1}, {" 11010519491231002X\t", 1},
             {"abcdefghijklmnopqr", 0}, {"1101051949123100X1", 0}, {"11010519491231002Y", 0}, {"1101051949123100211", 0}}) {
        Value reply = postCoded(s, ZVApi::kRealName, Value::dict({{"i", "demo"}, {"r", "张三"}, {"id", id}}));
        EXPECT_EQ(reply["z"].intValue(), ok) << id;
        EXPECT_EQ(reply.text("b"), ok ? "认证成功" : "身份证号码有误") << id;
    }
}

TEST(UserCentreStandin, FixturesComeFromAFolderAndBadFilesAreNamed) {
    UserCentreStandin s;
    std::string error;
    ASSERT_TRUE(s.loadFixtures(testsupport::sourceDir() / "tools/standin/fixtures", &error)) << error;
    EXPECT_GT(s.list(ZVApi::kServerList).rows.size(), size_t(s.list(ZVApi::kServerList).pageSize));
    EXPECT_TRUE(s.list(ZVApi::kGuideList).rows.empty());
    EXPECT_TRUE(s.pictures().find("图标.png"));

    testsupport::TempDir dir;
    testsupport::writeFile(dir / "servers.json", "{\"rows\": [");
    EXPECT_FALSE(s.loadFixtures(dir.path(), &error));
    EXPECT_NE(error.find("servers.json"), std::string::npos);
    EXPECT_FALSE(s.loadFixtures(dir / "missing", &error));
}

}  // namespace
