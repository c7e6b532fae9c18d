#include <gtest/gtest.h>

#include <atomic>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSync.h"
#include "platform/net/URLSession.h"
#include "standin/StandinServer.h"
#include "support/TestSupport.h"

using standin::HttpServer;
using standin::Reply;

namespace {

// Synchronous requests run off the main thread, as callers must run them.
URLResult sendOffMain(URLSession& session, const URLRequest& request) {
    return testsupport::offMainThread([&] { return session.sendSynchronousRequest(request); });
}

class URLSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.on("POST", "/echo", [](const standin::Request& r, standin::JournalEntry&) {
            return Reply::text(r.body, "text/plain", 201);
        });
        server.on("GET", "/json", [](const standin::Request&, standin::JournalEntry&) {
            Reply r = Reply::json(Value::dict({{"ok", true}}));
            r.headers.emplace_back("X-Stand-In", "yes");
            return r;
        });
        ASSERT_TRUE(server.start());
    }
    URLRequest request(const std::string& path, const std::string& method = "GET") {
        URLRequest r(server.baseURL() + path, method);
        r.timeout = std::chrono::seconds(10);
        return r;
    }

    HttpServer server{"test"};
    std::shared_ptr<URLSession> session = URLSession::sessionWithConfiguration(URLSessionConfiguration());
};

TEST_F(URLSessionTest, PostCarriesBodyLengthTheGivenHeadersAndAFormTypeByDefault) {
    struct Case {
        std::string body, type, expectedType;
    } cases[] = {{"a=1", "", "application/x-www-form-urlencoded"},
                 {"{}", "application/json", "application/json"},
                 {"", "", ""}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.body);
        auto r = request("/echo", "POST");
        r.body = c.body;
        r.setValue("999", "Content-Length");  // always the body's own length
        r.setValue("v", "X-Custom");
        if (!c.type.empty()) r.setValue(c.type, "Content-Type");
        auto result = sendOffMain(*session, r);
        ASSERT_TRUE(result.ok()) << result.error->localizedDescription();
        EXPECT_EQ(result.response->statusCode, 201);
        EXPECT_EQ(result.body, c.body);
        auto seen = server.journal().last("/echo");
        ASSERT_TRUE(seen);
        EXPECT_EQ(seen->request.header("Content-Length"), std::to_string(c.body.size()));
        EXPECT_EQ(seen->request.header("X-Custom"), "v");
        EXPECT_EQ(seen->request.header("Content-Type"), c.expectedType);
        EXPECT_EQ(seen->request.header("Expect"), "");  // no 100-continue round trip
    }
}

TEST_F(URLSessionTest, ReplyCarriesStatusHeadersAndBody) {
    auto result = sendOffMain(*session, request("/json"));
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.response->statusCode, 200);
    EXPECT_EQ(result.response->valueForHTTPHeaderField("x-stand-in"), "yes");
    EXPECT_EQ(result.response->valueForHTTPHeaderField("content-type"), "application/json");
    auto json = Value::fromJSON(result.body);
    ASSERT_TRUE(json);
    EXPECT_TRUE((*json)["ok"].boolValue());
    // A path nobody serves is an answer too, with its status.
    auto missing = sendOffMain(*session, request("/nothing"));
    ASSERT_TRUE(missing.ok());
    EXPECT_EQ(missing.response->statusCode, 404);
}

TEST_F(URLSessionTest, TransportFailuresHaveTheirCodes) {
    server.script("/json", Reply::closeConnection());
    auto closed = sendOffMain(*session, request("/json"));
    ASSERT_FALSE(closed.ok());
    EXPECT_EQ(closed.error->domain, NSURLErrorDomain);
    EXPECT_EQ(closed.error->code, NSURLErrorNetworkConnectionLost);
    EXPECT_FALSE(closed.response);

    server.script("/json", Reply::hang());
    auto r = request("/json");
    r.timeout = std::chrono::milliseconds(300);
    auto hung = sendOffMain(*session, r);
    ASSERT_FALSE(hung.ok());
    EXPECT_EQ(hung.error->code, NSURLErrorTimedOut);
    EXPECT_EQ(hung.error->userInfo.str(NSURLErrorFailingURLStringErrorKey), r.url);
    server.releaseHung();

    server.script("/json", Reply::oversized(4u << 20));
    URLSessionConfiguration small;
    small.maxResponseBytes = 1u << 20;
    auto capped = sendOffMain(*URLSession::sessionWithConfiguration(small), request("/json"));
    ASSERT_FALSE(capped.ok());
    EXPECT_EQ(capped.error->code, NSURLErrorDataLengthExceedsMaximum);

    int port = server.port();
    server.stop();
    URLRequest refused("http://127.0.0.1:" + std::to_string(port) + "/json");
    auto none = sendOffMain(*session, refused);
    ASSERT_FALSE(none.ok());
    EXPECT_EQ(none.error->code, NSURLErrorCannotConnectToHost);

    auto bad = sendOffMain(*session, URLRequest("ftp://127.0.0.1/x"));
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error->code, NSURLErrorUnsupportedURL);
}

TEST_F(URLSessionTest, SynchronousRequestOnTheMainThreadIsRefusedAtOnce) {
    server.script("/json", Reply::hang());
    auto result = session->sendSynchronousRequest(request("/json"));
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error->code, NSURLErrorSynchronousRequestOnMainThread);
    EXPECT_EQ(server.journal().size(), 0u);  // nothing was sent
}

TEST_F(URLSessionTest, AsyncCompletionRunsOnTheChosenQueue) {
    std::optional<URLResult> got;
    bool onMain = false;
    session->dataTask(request("/json"), [&](URLResult r) {
        onMain = isMainThread();
        got = std::move(r);
    });
    ASSERT_TRUE(testsupport::waitFor([&] { return got.has_value(); }));
    EXPECT_TRUE(onMain);
    EXPECT_TRUE(got->ok());

    auto queue = DispatchQueue::serial("com.korvel.test.completions");
    std::atomic<bool> onQueue{false}, done{false};
    session->dataTask(request("/json"), [&](URLResult) {
        onQueue = queue->isCurrent();
        done = true;
    }, queue);
    ASSERT_TRUE(testsupport::waitFor([&] { return done.load(); }));
    EXPECT_TRUE(onQueue);
}

TEST_F(URLSessionTest, CancelEndsAHungTask) {
    server.script("/json", Reply::hang());
    std::optional<URLResult> got;
    auto task = session->dataTask(request("/json"), [&](URLResult r) { got = std::move(r); });
    ASSERT_TRUE(testsupport::waitFor([&] { return server.journal().size() == 1; }));
    task->cancel();
    ASSERT_TRUE(testsupport::waitFor([&] { return got.has_value(); }));
    ASSERT_FALSE(got->ok());
    EXPECT_EQ(got->error->code, NSURLErrorCancelled);
    server.releaseHung();
}

TEST(URLSessionTLS, SelfSignedServerIsRejectedUnlessItsCAIsTrusted) {
    HttpServer server("tls", /*tls=*/true);
    server.on("GET", "/x", [](const standin::Request&, standin::JournalEntry&) { return Reply::json(Value::dict()); });
    ASSERT_TRUE(server.start());
    URLRequest r(server.baseURL() + "/x");
    r.timeout = std::chrono::seconds(10);

    auto strict = URLSession::sessionWithConfiguration(URLSessionConfiguration());
    auto rejected = sendOffMain(*strict, r);
    ASSERT_FALSE(rejected.ok());
    EXPECT_EQ(rejected.error->code, NSURLErrorServerCertificateUntrusted);
    EXPECT_EQ(server.journal().size(), 0u);

    URLSessionConfiguration trusting;
    trusting.extraCAFile = server.caFile();
    auto accepted = sendOffMain(*URLSession::sessionWithConfiguration(trusting), r);
    ASSERT_TRUE(accepted.ok()) << accepted.error->localizedDescription();
    EXPECT_EQ(accepted.response->statusCode, 200);
}

TEST(URLSessionTLS, ExtraCAFileComesFromTheBundle) {
    testsupport::TempBundle bundle(Value::dict({{"CFBundleIdentifier", "com.example.test"},
                                                {"KorvelExtraCAFile", "certs/ca.pem"}}));
    EXPECT_EQ(URLSessionConfiguration::defaultConfiguration().extraCAFile, (bundle.path() / "certs/ca.pem").string());
    bundle.setInfo(Value::dict({{"KorvelExtraCAFile", "/etc/x.pem"}}));
    EXPECT_EQ(URLSessionConfiguration::defaultConfiguration().extraCAFile, "/etc/x.pem");
}

}  // namespace
