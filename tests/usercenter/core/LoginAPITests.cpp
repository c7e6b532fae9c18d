#include <gtest/gtest.h>

#include "UCTestSupport.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVLoginAPI.h"

using standin::Reply;
using standin::UserCentreStandin;

namespace {

struct Result {
    bool done = false, ok = false;
    std::string message;
    int64_t code = 0;
};

Result smsCode(const std::string& phone) {
    Result r;
    ZVLoginAPI::getSdkCodeWithNumber(
        phone, "player1", "5",
        [&](const ZVBaseResponse& resp) {
            r.done = r.ok = true;
            r.message = resp.mesage;
        },
        [&](const std::string& m) {
            r.done = true;
            r.message = m;
        });
    EXPECT_TRUE(testsupport::waitFor([&] { return r.done; }));
    return r;
}

Result realName(const std::string& name, const std::string& id, rzResult* out = nullptr) {
    Result r;
    ZVLoginAPI::postRealNameToServerWithRealName(
        name, id,
        [&](const rzResult& rz) {
            r.done = r.ok = true;
            r.message = rz.mesage;
            if (out) *out = rz;
        },
        [&](const std::string& m) {
            r.done = true;
            r.message = m;
        });
    EXPECT_TRUE(testsupport::waitFor([&] { return r.done; }));
    return r;
}

Result login(const std::string& name, const std::string& password, LoginResult* out = nullptr) {
    Result r;
    ZVLoginAPI::loginWithName(
        name, password,
        [&](const LoginResult& l) {
            r.done = r.ok = true;
            r.message = l.mesage;
            if (out) *out = l;
        },
        [&](int64_t code, const std::string& m) {
            r.done = true;
            r.code = code;
            r.message = m;
        });
    EXPECT_TRUE(testsupport::waitFor([&] { return r.done; }));
    return r;
}

}  // namespace

TEST(ZVLoginAPI, SmsCodeAnswers) {
    uctest::Environment env;
    auto r = smsCode("13800000000");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.message, "验证码已发送");
    auto e = env.standin().journal().last(UserCentreStandin::path("Sdkhome/yzm"));
    EXPECT_EQ(e->decoded, Value::dict({{"sj", "13800000000"}, {"username", "player1"}, {"type", "5"}}));

    r = smsCode("12");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "手机号码格式错误");

    // Status as text still counts; a refusal without a message and a broken reply fall back.
    env.standin().server().script(UserCentreStandin::path("Sdkhome/yzm"), Reply::json(Value::dict({{"a", "1"}})));
    EXPECT_TRUE(smsCode("13800000000").ok);
    env.standin().server().script(UserCentreStandin::path("Sdkhome/yzm"), Reply::json(Value::dict({{"a", nullptr}})));
    EXPECT_EQ(smsCode("13800000000").message, "服务器错误");
    env.standin().server().script(UserCentreStandin::path("Sdkhome/yzm"), Reply::html500());
    EXPECT_EQ(smsCode("13800000000").message, "服务器错误");
}

TEST(ZVLoginAPI, RealNameCheckSendsTheStateAndMapsTheReply) {
    uctest::Environment env;
    ShareVale::sharedInstance().setUserName("player1");
    rzResult rz;
    auto r = realName("张三", "110101199001011234", &rz);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(rz.rzStatus, "1");
    EXPECT_FALSE(rz.isMustRZ);
    auto e = env.standin().journal().last(UserCentreStandin::path("login/idcheck"));
    EXPECT_EQ(e->decoded,
              Value::dict({{"id", "110101199001011234"}, {"r", "张三"}, {"i", "player1"}, {"g", "1001"}}));

    r = realName("张三", "123");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "身份证号码有误");

    const std::string p = UserCentreStandin::path("login/idcheck");
    env.standin().server().script(p, UserCentreStandin::coded(Value::dict({{"z", "1"}, {"frz", "1"}, {"lmit", 30}})));
    r = realName("张三", "110101199001011234", &rz);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(rz.isMustRZ);
    EXPECT_EQ(rz.lmitTime, "30");
    env.standin().server().script(p, UserCentreStandin::coded(Value::dict({{"z", Value::array()}, {"b", nullptr}})));
    EXPECT_EQ(realName("a", "b").message, "服务器错误");
    env.standin().server().script(p, Reply::closeConnection());
    EXPECT_EQ(realName("a", "b").message, "服务器错误");
}

TEST(ZVLoginAPI, LoginSendsASignedRequestAndMapsTheReply) {
    uctest::Environment env;
    LoginResult l;
    auto r = login("player1", "secret1", &l);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(l.userName, "player1");
    EXPECT_EQ(l.nickName, "玩家一");
    EXPECT_EQ(l.sign, env.standin().tokenFor("player1"));
    EXPECT_EQ(l.rzStatus, "2");
    EXPECT_FALSE(l.loginTime.empty());
    auto e = env.standin().journal().last(UserCentreStandin::path("login/dologin"));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->signOk, std::optional<bool>(true));
    EXPECT_EQ(e->decoded.text("g"), "1001");
    EXPECT_EQ(e->decoded.text("cpsId"), "977");
    EXPECT_EQ(e->decoded.text("version"), "8");
    EXPECT_EQ(e->request.body.find("secret1"), std::string::npos);  // never the password itself
}

TEST(ZVLoginAPI, FailedLoginsCarryTheServersCodeOrMinusEight) {
    uctest::Environment env;
    auto r = login("player1", "wrong");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.code, -2);
    EXPECT_EQ(r.message, "密码错误");
    r = login("nobody", "x");
    EXPECT_EQ(r.code, -3);

    const std::string p = UserCentreStandin::path("login/dologin");
    struct Case {
        Reply reply;
        int64_t code;
        const char* message;
    } cases[] = {
        {UserCentreStandin::coded(Value::dict({{"z", 1}, {"u", "player1"}})), -8, "服务器错误"},  // no sign
        {UserCentreStandin::coded(Value::dict({{"z", 1}, {"s", Value::dict()}})), -8, "服务器错误"},
        {UserCentreStandin::coded(Value::dict({{"z", nullptr}, {"b", "x"}})), -8, "服务器错误"},
        {UserCentreStandin::coded(Value::dict({{"z", "-12"}})), -12, "登录失败"},
        {Reply::html500(), -8, "服务器错误"},
        {Reply::closeConnection(), -8, "服务器错误"},
    };
    for (auto& c : cases) {
        env.standin().server().script(p, c.reply);
        r = login("player1", "secret1");
        EXPECT_FALSE(r.ok) << c.reply.body;
        EXPECT_EQ(r.code, c.code) << c.reply.body;
        EXPECT_EQ(r.message, c.message) << c.reply.body;
    }
}

TEST(ZVLoginAPI, RoleUploadAndSdkInfo) {
    uctest::Environment env;
    bool done = false, ok = false;
    ZVLoginAPI::uploadRole(Value::dict({{"roleId", "r1"}, {"roleName", "名"}, {"roleLevel", "3"}, {"zoneId", "z"},
                                        {"zoneName", "一区"}, {"ext", ""}}),
                           [&](bool b) { done = true, ok = b; });
    ASSERT_TRUE(testsupport::waitFor([&] { return done; }));
    EXPECT_TRUE(ok);

    env.standin().setUpdate(true, "https://dl.example.invalid/new", "请更新");
    std::optional<SdkInfoResult> info;
    done = false;
    ZVLoginAPI::requestSdkInfo([&](std::optional<SdkInfoResult> i) { done = true, info = i; });
    ASSERT_TRUE(testsupport::waitFor([&] { return done; }));
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->needsUpdate);
    EXPECT_EQ(info->updateURL, "https://dl.example.invalid/new");

    env.standin().server().script(UserCentreStandin::path("Sdkhome/sdkinfo"), Reply::html500());
    done = false;
    ZVLoginAPI::requestSdkInfo([&](std::optional<SdkInfoResult> i) { done = true, info = i; });
    ASSERT_TRUE(testsupport::waitFor([&] { return done; }));
    EXPECT_FALSE(info);
}
