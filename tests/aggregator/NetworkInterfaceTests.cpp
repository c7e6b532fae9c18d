#include <gtest/gtest.h>

#include "aggregator/Extend.h"

#include <atomic>

#include "aggregator/NetworkInterface.h"
#include "aggregator/NetworkManager.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/net/URLSession.h"
#include "standin/AggregatorStandin.h"
#include "support/TestSupport.h"

using standin::AggregatorStandin;
using standin::Reply;

namespace {

// The synchronous forms run off the main thread, as the server API runs them.
using testsupport::offMainThread;

class NetworkInterfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(standin.start());
        net.setSession(URLSession::sessionWithConfiguration(URLSessionConfiguration()));
    }
    void TearDown() override { net.setSession(nullptr); }

    std::string api(const std::string& path) { return standin.apiURL(0) + path; }

    AggregatorStandin standin;
    NetworkInterface& net = NetworkInterface::sharedInstance();
};

TEST_F(NetworkInterfaceTest, SignedEnvelopeReachesTheServer) {
    auto envelope = NetworkManager::envelope(Value::dict({{"n", 6}}), "P100", "abcdefgh12345");
    const std::string& body = envelope.body;
    auto reply = offMainThread([&] { return net.addSyncHttpRequest(api("/v1/api/init"), body, "POST"); });
    ASSERT_TRUE(reply);
    EXPECT_TRUE((*reply)["result"].boolValue());
    auto seen = standin.journal().last("/v1/api/init");
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->request.header("Content-Length"), std::to_string(body.size()));
    EXPECT_EQ(seen->request.body, body);
    EXPECT_EQ(seen->decoded, Value::dict({{"n", 6}}));
    EXPECT_EQ(seen->signOk, true);

    // A wrong signature is refused by the server, and that is still an answer.
    auto bad = offMainThread([&] {
        return net.addSyncHttpRequest(api("/v1/api/init"), "json_data=" + envelope.jsonData + "&product_code=P100&sign=0",
                                      "POST");
    });
    ASSERT_TRUE(bad);
    EXPECT_FALSE((*bad)["result"].boolValue());
    EXPECT_EQ(standin.journal().last("/v1/api/init")->signOk, false);
}

TEST_F(NetworkInterfaceTest, PostBodyLengthAndGetEscaping) {
    offMainThread([&] { return net.addSyncHttpRequest(api("/v2/users/checkversion"), "a=1", "POST"); });
    auto post = standin.journal().last("/v2/users/checkversion");
    ASSERT_TRUE(post);
    EXPECT_EQ(post->request.header("Content-Length"), "3");

    offMainThread([&] {
        return net.addSyncHttpRequest(standin.gatewayURL() + "/gateway", "a=1 2&b=x+y/z:%\"", "GET");
    });
    auto get = standin.journal().last("/api/gateway");
    ASSERT_TRUE(get);
    EXPECT_EQ(get->request.query, "a=1%202&b=x+y/z:%25%22");
    EXPECT_EQ(get->request.body, "");

    // No parameters: the file URL as it is, with no query.
    std::optional<Value> anti;
    bool done = false;
    net.addHttpRequest(standin.configURL() + "/P100/977.html", "", "GET", [&](std::optional<Value> r) {
        anti = r;
        done = true;
    });
    ASSERT_TRUE(testsupport::waitFor([&] { return done; }));
    ASSERT_TRUE(anti);
    EXPECT_EQ((*anti)["open"].intValue(), 1);
    EXPECT_EQ(standin.journal().last("/P100/977.html")->request.query, "");
}

// The synchronous forms take whatever arrives as an answer, an empty
// dictionary unless it is a JSON object (an empty body included); the
// asynchronous form takes only JSON: an empty or unreadable body is none,
// JSON that is no object an empty dictionary.
TEST_F(NetworkInterfaceTest, AnyReplyAnswersTheSynchronousFormsOnlyJSONTheAsynchronousOne) {
    struct Case {
        Reply reply;
        bool asyncAnswers;
    };
    for (auto& [reply, asyncAnswers] :
         {Case{Reply::html500(), false}, Case{Reply::malformedJson(), false},
          Case{Reply::json(Value::array({1, 2}), 503), true}, Case{Reply::text("", "text/plain", 204), false},
          Case{Reply::text("", "text/plain", 404), false}}) {
        SCOPED_TRACE(reply.kindName());
        standin.api(0).script("/v1/api/init", reply, 2);
        auto sync = offMainThread([&] { return net.addSyncHttpRequest(api("/v1/api/init"), "x", "POST"); });
        std::optional<Value> async = Value::dict({{"unset", true}});
        bool done = false;
        net.addHttpRequest(api("/v1/api/init"), "x", "POST", [&](std::optional<Value> r) {
            async = r;
            done = true;
        });
        ASSERT_TRUE(testsupport::waitFor([&] { return done; }));
        ASSERT_TRUE(sync);
        EXPECT_TRUE(sync->isDict() && sync->empty());
        ASSERT_EQ(async.has_value(), asyncAnswers);
        if (async) {
            EXPECT_TRUE(async->isDict() && async->empty());
        }
    }
}

// A reply past its budget: too long fails as a transport failure (no
// reply), too many JSON values reads as an unreadable answer (an empty
// dictionary); one within both is read.
TEST_F(NetworkInterfaceTest, RepliesPastTheirBudgetAreNotRead) {
    auto tinyElements = [](size_t n) {
        std::string rows = "0";
        for (size_t i = 1; i < n; ++i) rows += ",0";
        return R"({"code": 1, "rows": [)" + rows + "]}";
    };
    auto ask = [&] { return offMainThread([&] { return net.addSyncHttpRequest(api("/v1/api/init"), "x", "POST"); }); };
    standin.api(0).script("/v1/api/init", Reply::oversized(Extend::kMaxReplyBytes + 1));
    EXPECT_FALSE(ask());
    standin.api(0).script("/v1/api/init", Reply::text(tinyElements(Extend::kMaxReplyValues), "application/json"));
    auto tooMany = ask();
    ASSERT_TRUE(tooMany);
    EXPECT_TRUE(tooMany->isDict() && tooMany->empty());
    standin.api(0).script("/v1/api/init", Reply::text(tinyElements(1000), "application/json"));
    auto within = ask();
    ASSERT_TRUE(within);
    EXPECT_EQ((*within)["rows"].size(), 1000u);
}

TEST_F(NetworkInterfaceTest, TransportFailuresGiveNoReply) {
    standin.api(0).script("/v1/api/init", Reply::closeConnection());
    EXPECT_FALSE(offMainThread([&] { return net.addSyncHttpRequest(api("/v1/api/init"), "x", "POST"); }));

    standin.api(0).script("/v1/api/init", Reply::hang());
    EXPECT_FALSE(offMainThread([&] { return net.addSyncHttpRequest(api("/v1/api/init"), "x", "POST", 0.3); }));
    standin.api(0).releaseHung();

    standin.api(0).script("/v1/api/init", Reply::oversized(64u << 20));
    EXPECT_FALSE(offMainThread([&] { return net.addSyncHttpRequest(api("/v1/api/init"), "x", "POST"); }));

    auto url = api("/v1/api/init");
    standin.api(0).stop();
    EXPECT_FALSE(offMainThread([&] { return net.addSyncHttpRequest(url, "x", "POST"); }));

    std::optional<Value> async = Value::dict();
    bool done = false, onMain = false;
    net.addHttpRequest(url, "", "GET", [&](std::optional<Value> r) {
        async = r;
        onMain = isMainThread();
        done = true;
    });
    ASSERT_TRUE(testsupport::waitFor([&] { return done; }));
    EXPECT_FALSE(async);
    EXPECT_TRUE(onMain);
}

TEST_F(NetworkInterfaceTest, SynchronousFormsGiveNoReplyOnTheMainThread) {
    standin.api(0).script("/v1/api/init", Reply::hang());
    EXPECT_FALSE(net.addSyncHttpRequest(api("/v1/api/init"), "x", "POST"));
    EXPECT_TRUE(net.addSyncHttpRequest2(standin.listURL() + "/P100-977.html", "", "GET").empty());
    EXPECT_EQ(standin.journal().size(), 0u);
}

TEST_F(NetworkInterfaceTest, ServerListForm) {
    standin.setServerList(Value::array({"https://a.example", "https://b.example"}));
    auto list = offMainThread([&] { return net.addSyncHttpRequest2(standin.listURL() + "/P100-977.html", "", "GET"); });
    EXPECT_EQ(list, Value::array({"https://a.example", "https://b.example"}));

    offMainThread([&] { return net.addSyncHttpRequest2(standin.listURL() + "/P100-977.html", "v=%41", "GET"); });
    EXPECT_EQ(standin.journal().last("/P100-977.html")->request.query, "v=%41");  // unescaped in this form

    standin.listHost().script("/P100-977.html", Reply::json(Value::dict({{"not", "a list"}})));
    EXPECT_EQ(offMainThread([&] { return net.addSyncHttpRequest2(standin.listURL() + "/P100-977.html", "", "GET"); }),
              Value::array());
    standin.listHost().script("/P100-977.html", Reply::closeConnection());
    EXPECT_EQ(offMainThread([&] { return net.addSyncHttpRequest2(standin.listURL() + "/P100-977.html", "", "GET"); }),
              Value::array());
}

TEST(NetworkInterfaceTLS, SelfSignedServerNeedsItsCAInTheBundle) {
    AggregatorStandin::Options options;
    options.apiServers = 1;
    options.tlsApi = true;
    AggregatorStandin standin(options);
    ASSERT_TRUE(standin.start());
    auto& net = NetworkInterface::sharedInstance();
    auto url = standin.apiURL(0) + "/v2/users/checkversion";

    net.setSession(URLSession::sessionWithConfiguration(URLSessionConfiguration::defaultConfiguration()));
    EXPECT_FALSE(offMainThread([&] { return net.addSyncHttpRequest(url, "x", "POST"); }));
    EXPECT_EQ(standin.journal().size(), 0u);

    testsupport::TempBundle bundle(standin.infoPlistSettings());
    net.setSession(URLSession::sessionWithConfiguration(URLSessionConfiguration::defaultConfiguration()));
    auto reply = offMainThread([&] { return net.addSyncHttpRequest(url, "x", "POST"); });
    EXPECT_TRUE(reply);
    EXPECT_EQ(standin.journal().size(), 1u);
    net.setSession(nullptr);
}

}  // namespace
