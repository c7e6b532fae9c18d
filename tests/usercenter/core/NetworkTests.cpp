#include <gtest/gtest.h>

#include "UCTestSupport.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Strings.h"
#include "platform/net/URLSession.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVNetwork.h"
#include "usercenter/core/ZVRequestCodec.h"

using standin::Reply;
using standin::UserCentreStandin;

namespace {

// What one request produced: which block ran, how often, on which thread.
struct Outcome {
    int successes = 0, failures = 0;
    bool onMain = true;
    Value reply;
    Error error;
    bool done() const { return successes + failures > 0; }
};

ZVSuccess onSuccess(Outcome& o) {
    return [&o](const Value& v) {
        ++o.successes;
        o.onMain = o.onMain && isMainThread();
        o.reply = v;
    };
}
ZVFailure onFailure(Outcome& o) {
    return [&o](const Error& e) {
        ++o.failures;
        o.onMain = o.onMain && isMainThread();
        o.error = e;
    };
}

Outcome postForm(const std::string& path, const Value& params) {
    Outcome o;
    CXRSdpNetTool::sharedTool().PostWithURLString(path, params, onSuccess(o), onFailure(o));
    EXPECT_TRUE(testsupport::waitFor([&] { return o.done(); }));
    RunLoop::drain();
    return o;
}

Outcome postCoded(const std::string& path, const Value& params) {
    Outcome o;
    NetWorkManager::sharedInstance().PostCouponURL(path, params, onSuccess(o), onFailure(o));
    EXPECT_TRUE(testsupport::waitFor([&] { return o.done(); }, std::chrono::seconds(20)));
    RunLoop::drain();
    return o;
}

// A codec that is not JSON on the wire, to show both ends use the one installed.
class ReversedBase64Codec : public ZVRequestCodec {
public:
    std::string encode(const Value& d) const override {
        std::string b = strings::base64Encode(d.toJSON());
        return std::string(b.rbegin(), b.rend());
    }
    std::optional<Value> decode(std::string_view body) const override {
        std::string b(body.rbegin(), body.rend());
        auto bytes = strings::base64Decode(b);
        if (!bytes) return std::nullopt;
        auto v = Value::fromJSON(std::string(bytes->begin(), bytes->end()));
        if (!v || !v->isDict()) return std::nullopt;
        return v;
    }
};

}  // namespace

TEST(CXRSdpNetTool, PostsFormEncodedToTheBaseURLAndAnswersOnTheMainQueue) {
    uctest::Environment env;
    auto o = postForm("Sdkhome/yzm", Value::dict({{"sj", "13800000000"}, {"username", "张 三&x=y"}, {"type", 5}}));
    EXPECT_EQ(o.successes, 1);
    EXPECT_EQ(o.failures, 0);
    EXPECT_TRUE(o.onMain);
    EXPECT_EQ(o.reply["a"].intValue(), 1);

    auto entry = env.standin().journal().last(UserCentreStandin::path("Sdkhome/yzm"));
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->request.method, "POST");
    EXPECT_EQ(entry->request.header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(entry->decoded["username"].textValue(), "张 三&x=y");
    EXPECT_EQ(entry->decoded["type"].textValue(), "5");
    EXPECT_EQ(entry->request.param("username"), strings::formEncode("张 三&x=y"));
}

TEST(CXRSdpNetTool, FailuresRunOnlyTheFailureBlock) {
    uctest::Environment env;
    const std::string p = UserCentreStandin::path("Sdkhome/yzm");
    env.standin().server().script(p, Reply::html500());
    env.standin().server().script(p, Reply::malformedJson());
    env.standin().server().script(p, Reply::closeConnection());
    env.standin().server().script(p, Reply::json(Value::dict({{"a", 1}}), 404));
    for (const char* what : {"html 500", "malformed", "closed", "404 with JSON"}) {
        auto o = postForm("Sdkhome/yzm", Value::dict({{"sj", "13800000000"}}));
        EXPECT_EQ(o.successes, 0) << what;
        EXPECT_EQ(o.failures, 1) << what;
        EXPECT_TRUE(o.onMain) << what;
    }
}

// A reply is capped in bytes and in JSON values, for both senders: one past
// either runs the failure block; one within both is read as usual.
TEST(UserCentreReplies, AReplyPastItsBudgetFailsThroughTheFailureBlock) {
    uctest::Environment env;
    auto tinyElements = [](size_t n) {
        std::string rows = "0";
        for (size_t i = 1; i < n; ++i) rows += ",0";
        return R"({"a": 1, "z": 1, "lists": [)" + rows + "]}";
    };
    for (const char* endpoint : {"Server/lists2", "sdkhomexiaov2/index"}) {
        const std::string p = UserCentreStandin::path(endpoint);
        bool coded = std::string(endpoint) == "sdkhomexiaov2/index";
        auto post = [&] { return coded ? postCoded(endpoint, Value::dict()) : postForm(endpoint, Value::dict()); };
        env.standin().server().script(p, Reply::oversized(zvnet::kMaxReplyBytes + 1));
        env.standin().server().script(p, Reply::text(tinyElements(zvnet::kMaxReplyValues), "application/json"));
        env.standin().server().script(p, Reply::text(tinyElements(zvnet::kMaxReplyValues - 10), "application/json"));
        auto tooLong = post(), tooMany = post(), within = post();
        EXPECT_EQ(tooLong.failures, 1) << endpoint;
        EXPECT_EQ(tooLong.error.code, NSURLErrorDataLengthExceedsMaximum) << endpoint;
        EXPECT_EQ(tooMany.failures, 1) << endpoint;
        EXPECT_EQ(tooMany.error.code, 3840) << endpoint;
        EXPECT_EQ(within.successes, 1) << endpoint;
        EXPECT_EQ(within.reply["lists"].size(), zvnet::kMaxReplyValues - 10) << endpoint;
    }
}

TEST(CXRSdpNetTool, WithoutAServerAddressFailsLaterNotInline) {
    uctest::Environment env(false);
    Outcome o;
    CXRSdpNetTool::sharedTool().PostWithURLString("Sdkhome/yzm", Value::dict(), onSuccess(o), onFailure(o));
    EXPECT_FALSE(o.done());  // never inside the caller
    ASSERT_TRUE(testsupport::waitFor([&] { return o.done(); }));
    EXPECT_EQ(o.failures, 1);
    EXPECT_EQ(o.error.code, NSURLErrorBadURL);
}

TEST(NetWorkManager, CodedBodyWithItsHeaderAndDecodedReply) {
    uctest::Environment env;
    auto o = postCoded("login/idcheck", Value::dict({{"id", "110101199001011234"}, {"r", "张三"}, {"i", "player1"}}));
    ASSERT_EQ(o.successes, 1);
    EXPECT_TRUE(o.onMain);
    EXPECT_EQ(o.reply["z"].intValue(), 1);
    EXPECT_EQ(o.reply["nrz"].textValue(), "1");
    auto entry = env.standin().journal().last(UserCentreStandin::path("login/idcheck"));
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->request.header("Content-Type"), "text/html");
    EXPECT_EQ(entry->request.body, Value::dict({{"id", "110101199001011234"}, {"r", "张三"}, {"i", "player1"}}).toJSON());
    EXPECT_EQ(entry->decoded["r"].textValue(), "张三");
}

TEST(NetWorkManager, AnyReplyBodyThatDecodesCountsWhateverItsStatus) {
    uctest::Environment env;
    const std::string p = UserCentreStandin::path("Sdkhome/online");
    env.standin().server().script(p, UserCentreStandin::coded(Value::dict({{"z", 0}, {"b", "维护中"}}), 503));
    auto o = postCoded("Sdkhome/online", Value::dict());
    EXPECT_EQ(o.successes, 1);
    EXPECT_EQ(o.reply["b"].textValue(), "维护中");

    env.standin().server().script(p, Reply::html500());
    env.standin().server().script(p, Reply::text("[1,2]", "text/html"));
    env.standin().server().script(p, Reply::text("", "text/html"));
    env.standin().server().script(p, Reply::closeConnection());
    for (const char* what : {"html", "array", "empty", "closed"}) {
        o = postCoded("Sdkhome/online", Value::dict());
        EXPECT_EQ(o.successes, 0) << what;
        EXPECT_EQ(o.failures, 1) << what;
    }
}

TEST(NetWorkManager, AHungServerFailsAtTheTimeOut) {
    uctest::Environment env;
    zvnet::setCodedTimeout(std::chrono::milliseconds(300));
    env.standin().server().script(UserCentreStandin::path("Sdkhome/online"), Reply::hang());
    auto o = postCoded("Sdkhome/online", Value::dict());
    EXPECT_EQ(o.failures, 1);
    EXPECT_EQ(o.error.code, NSURLErrorTimedOut);
    env.standin().server().releaseHung();
}

TEST(NetWorkManager, ClientAndStandInShareTheInstalledCodec) {
    uctest::Environment env;
    ZVRequestCodec::install(std::make_shared<ReversedBase64Codec>());
    auto o = postCoded("login/idcheck", Value::dict({{"id", "110101199001011234"}, {"r", "李四"}}));
    ZVRequestCodec::install(nullptr);
    ASSERT_EQ(o.successes, 1);
    EXPECT_EQ(o.reply["b"].textValue(), "认证成功");
    auto entry = env.standin().journal().last(UserCentreStandin::path("login/idcheck"));
    ASSERT_TRUE(entry);
    EXPECT_FALSE(Value::fromJSON(entry->request.body));  // not JSON on the wire
    EXPECT_EQ(entry->decoded["r"].textValue(), "李四");

    // With the plain codec back, the plain body is JSON again.
    postCoded("login/idcheck", Value::dict({{"id", "1"}}));
    EXPECT_TRUE(Value::fromJSON(env.standin().journal().last(UserCentreStandin::path("login/idcheck"))->request.body));
}

TEST(ZVPlainCodec, TheJSONTextAsItIs) {
    ZVPlainCodec c;
    Value v = Value::dict({{"a", 1}, {"b", "文字\"\n"}});
    EXPECT_EQ(c.encode(v), v.toJSON());
    EXPECT_EQ(c.decode(c.encode(v)), v);
    EXPECT_FALSE(c.decode("[1]"));
    EXPECT_FALSE(c.decode("{"));
    EXPECT_FALSE(c.decode(""));
    EXPECT_EQ(c.encode(Value::array({1})), "{}");
}
