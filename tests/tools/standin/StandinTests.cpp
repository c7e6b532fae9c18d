#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>

#include "aggregator/NetworkManager.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/net/URLSession.h"
#include "platform/security/Digest.h"
#include "standin/AggregatorStandin.h"
#include "support/TestSupport.h"

using standin::AggregatorStandin;
using standin::Reply;

namespace {

URLResult send(const std::string& url, const std::string& method = "GET", const std::string& body = "") {
    URLRequest r(url, method);
    r.body = body;
    r.timeout = std::chrono::seconds(10);
    return testsupport::offMainThread(
        [&] { return URLSession::sessionWithConfiguration(URLSessionConfiguration())->sendSynchronousRequest(r); });
}

Value json(const URLResult& r) { return Value::fromJSON(r.body).value_or(Value()); }

TEST(AggregatorStandin, ScriptsPlayInOrderThenTheRouteAnswersAgain) {
    AggregatorStandin s;
    ASSERT_TRUE(s.start());
    auto url = s.configURL() + "/P100/977.html";
    s.configHost().script("/P100/977.html", Reply::json(Value::dict({{"n", 1}}), 418), 2);
    EXPECT_EQ(send(url).response->statusCode, 418);
    EXPECT_EQ(send(url).response->statusCode, 418);
    EXPECT_EQ(json(send(url))["open"].intValue(), 1);
    s.configHost().scriptAlways("/P100/977.html", Reply::html500());
    EXPECT_EQ(send(url).response->statusCode, 500);
    EXPECT_EQ(send(url).response->statusCode, 500);
    s.configHost().clearScripts();
    EXPECT_EQ(send(url).response->statusCode, 200);

    auto entries = s.journal().entries("/P100/977.html");
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0].played, "json");
    EXPECT_EQ(entries[3].played, "html500");
    EXPECT_EQ(entries[0].request.server, "config");
}

TEST(AggregatorStandin, ServerListDefaultsToTheFurtherAPIServers) {
    AggregatorStandin::Options o;
    o.apiServers = 3;
    AggregatorStandin s(o);
    ASSERT_TRUE(s.start());
    EXPECT_EQ(json(send(s.listURL() + "/P100-977.html")), Value::array({s.apiURL(1), s.apiURL(2)}));
    EXPECT_EQ(send(s.listURL() + "/nothing").response->statusCode, 404);
    auto settings = s.infoPlistSettings();
    EXPECT_EQ(settings.str("RELAY_API_SERVER_URL"), s.apiURL(0));
    EXPECT_EQ(settings.str("RELAY_REPORT_GATEWAY_URL"), s.gatewayURL());
    EXPECT_TRUE(settings.str("RELAY_REPORT_GATEWAY_URL").ends_with("/api"));
}

TEST(AggregatorStandin, EnvelopesAreOpenedAndChecked) {
    AggregatorStandin s;
    ASSERT_TRUE(s.start());
    auto body = [](const Value& v, const std::string& code, const std::string& key) {
        return NetworkManager::envelope(v, code, key).body;
    };
    auto login = send(s.apiURL(1) + "/v2/users/checklogin", "POST",
                      body(Value::dict({{"uid", "u1"}, {"user_name", "nick"}, {"token", "t"}}), "P100", "abcdefgh12345"));
    EXPECT_EQ(json(login)["data"].str("uid"), "u1");
    EXPECT_TRUE(json(login)["result"].boolValue());

    auto order = send(s.apiURL(0) + "/v1/order/orderpay", "POST", body(Value::dict({{"cp_order_id", "c9"}}), "P100", "abcdefgh12345"));
    EXPECT_FALSE(json(order)["data"].str("order_id").empty());

    auto wrongKey = send(s.apiURL(0) + "/v1/api/init", "POST", body(Value::dict({{"a", 1}}), "P100", "zzzzzzzz"));
    EXPECT_FALSE(json(wrongKey)["result"].boolValue());
    auto unknown = send(s.apiURL(0) + "/v1/api/init", "POST", body(Value::dict({{"a", 1}}), "P999", "abcdefgh12345"));
    EXPECT_FALSE(json(unknown)["result"].boolValue());
    EXPECT_EQ(s.journal().last()->signOk, false);
}

TEST(AggregatorStandin, GatewayChecksBothSignatures) {
    AggregatorStandin s;
    ASSERT_TRUE(s.start());
    Value fields = Value::dict({{"action", "role"}, {"channelCode", 977}, {"productCode", "P100"}, {"time", 1700000000000}});
    auto sign = NetworkManager::envelope(fields, "P100", "abcdefgh12345").sign;
    std::string query = "action=role&channelCode=977&productCode=P100&time=1700000000000";
    EXPECT_TRUE(json(send(s.gatewayURL() + "/gateway?" + query + "&sign=" + sign))["result"].boolValue());
    EXPECT_EQ(s.journal().last()->signOk, true);
    auto refused = json(send(s.gatewayURL() + "/gateway?" + query + "&sign=bad"));
    EXPECT_EQ(refused["error"]["id"].intValue(), 1000);
    EXPECT_TRUE(json(send(s.gatewayURL() + "/gateway?" + query))["result"].boolValue());  // unsigned resend

    std::string pairs = "uid=u&productCode=P100&time=1";
    EXPECT_TRUE(json(send(s.gatewayURL() + "/getData", "POST", pairs + "&sign=" + digest::md5Hex(pairs)))["result"].boolValue());
    EXPECT_FALSE(json(send(s.gatewayURL() + "/getData", "POST", pairs + "&sign=x"))["result"].boolValue());
}

TEST(AggregatorStandin, TakenPortsFailCleanly) {
    AggregatorStandin first;
    ASSERT_TRUE(first.start());
    AggregatorStandin::Options o;
    o.listPort = first.listHost().port();
    AggregatorStandin second(o);
    EXPECT_FALSE(second.start());
    EXPECT_FALSE(second.api(0).isRunning());
}

// A slow server: each reply waits its delay on the installed clock, and
// the observer hears of it as it goes.
TEST(StandinServer, RepliesWaitTheirDelayAndAreObserved) {
    ScopedTestClock clock;
    standin::HttpServer s("slow");
    s.on("GET", "/x", [](const standin::Request&, standin::JournalEntry&) { return Reply::json(Value::dict({{"n", 1}})); });
    std::mutex mutex;
    std::vector<std::string> heard;
    s.setObserver([&](const standin::JournalEntry& e) {
        std::lock_guard lock(mutex);
        heard.push_back(e.request.path + " " + std::to_string(e.status));
    });
    s.setReplyDelay(std::chrono::seconds(3));
    ASSERT_TRUE(s.start());
    auto heardSoFar = [&] {
        std::lock_guard lock(mutex);
        return heard;
    };

    auto pending = std::async(std::launch::async, [&] { return send(s.baseURL() + "/x"); });
    ASSERT_TRUE(testsupport::waitFor([&] { return s.journal().count("/x") == 1; }));
    clock->advance(std::chrono::milliseconds(2999));
    EXPECT_EQ(pending.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_TRUE(heardSoFar().empty());
    clock->advance(std::chrono::milliseconds(1));
    auto reply = pending.get();
    ASSERT_TRUE(reply.ok());
    EXPECT_EQ(json(reply)["n"].intValue(), 1);
    EXPECT_EQ(heardSoFar(), std::vector<std::string>{"/x 200"});

    // Without a delay the reply goes at once; a stop releases a waiting one.
    s.setReplyDelay(std::chrono::nanoseconds(0));
    EXPECT_EQ(send(s.baseURL() + "/x").response->statusCode, 200);
    s.setReplyDelay(std::chrono::hours(1));
    auto stopped = std::async(std::launch::async, [&] { return send(s.baseURL() + "/x"); });
    ASSERT_TRUE(testsupport::waitFor([&] { return s.journal().count("/x") == 3; }));
    s.stop();
    auto afterStop = stopped.get();
    EXPECT_FALSE(afterStop.ok() && afterStop.response->statusCode == 200);
}

}  // namespace
