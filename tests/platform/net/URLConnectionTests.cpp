#include <gtest/gtest.h>

#include <openssl/x509_vfy.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Strings.h"
#include "platform/net/CurlSetup.h"
#include "platform/net/NetworkReachability.h"
#include "platform/net/URLConnection.h"
#include "standin/RawServer.h"
#include "standin/StandinServer.h"
#include "support/TestSupport.h"

using namespace std::chrono_literals;
using standin::HttpServer;
using standin::Reply;

namespace {

// Writes down what a connection tells, in order.
class Recorder : public URLConnectionDelegate {
public:
    explicit Recorder(const NetworkThread& thread) : thread_(thread) {}

    void connection_didReceiveResponse(URLConnection& c, const HTTPURLResponse& r) override {
        {
            std::lock_guard lock(mutex_);
            response = r;
        }
        add("response " + std::to_string(r.statusCode) + " " + std::to_string(r.expectedContentLength));
        if (onResponse) onResponse(c);
    }
    void connection_didReceiveData(URLConnection&, std::string_view d) override {
        std::lock_guard lock(mutex_);
        body.append(d);
        ++pieces;
        if (events.back() != "data") events.push_back("data");
        offThread = offThread || !thread_.isCurrent();
    }
    void connectionDidFinishLoading(URLConnection&) override { add("finish"); }
    void connection_didFailWithError(URLConnection&, const Error& e) override {
        {
            std::lock_guard lock(mutex_);
            error = e;
        }
        add("fail " + std::to_string(e.code));
    }

    bool waitEnded() {
        return testsupport::waitFor([&] {
            std::lock_guard lock(mutex_);
            return !events.empty() && (events.back() == "finish" || strings::hasPrefix(events.back(), "fail"));
        });
    }
    bool waitBody(const std::string& b, std::chrono::milliseconds timeout = 10s) {
        return testsupport::waitFor(
            [&] {
                std::lock_guard lock(mutex_);
                return body == b;
            },
            timeout);
    }
    std::string trace() {
        std::lock_guard lock(mutex_);
        return strings::join(events, ", ");
    }

    std::mutex mutex_;
    std::vector<std::string> events;
    std::string body;
    int pieces = 0;
    HTTPURLResponse response;
    std::optional<Error> error;
    bool offThread = false;
    std::function<void(URLConnection&)> onResponse;

private:
    void add(std::string e) {
        std::lock_guard lock(mutex_);
        events.push_back(std::move(e));
        offThread = offThread || !thread_.isCurrent();
    }
    const NetworkThread& thread_;
};

class URLConnectionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start()); }
    std::shared_ptr<Recorder> load(URLRequest r, URLConnection::Options o = {}, NetworkThread* on = nullptr) {
        auto rec = std::make_shared<Recorder>(on ? *on : thread);
        if (r.timeout.count() == 0) r.timeout = 10s;
        keep.push_back(URLConnection::start(on ? *on : thread, std::move(r), rec, o));
        return rec;
    }
    std::shared_ptr<Recorder> load(const std::string& path) { return load(URLRequest(server.baseURL() + path)); }

    HttpServer server{"net"};
    NetworkThread thread{"com.korvel.test.request", URLSessionConfiguration()};
    std::vector<std::shared_ptr<URLConnection>> keep;
};

TEST_F(URLConnectionTest, ResponseThenPiecesAsTheyArriveThenTheEnd) {
    server.script("/img", Reply::held({"abc", "def"}, "image/png"));
    auto rec = load("/img");
    ASSERT_TRUE(testsupport::waitFor([&] { return rec->trace() == "response 200 6"; })) << rec->trace();
    EXPECT_EQ(rec->response.valueForHTTPHeaderField("content-type"), "image/png");
    server.releasePieces();
    ASSERT_TRUE(rec->waitBody("abc"));
    server.releasePieces();
    ASSERT_TRUE(rec->waitEnded());
    EXPECT_EQ(rec->trace(), "response 200 6, data, finish");
    EXPECT_EQ(rec->body, "abcdef");
    EXPECT_FALSE(rec->offThread);
    // What the shared set-up sends: decodable encodings, no cookies unasked.
    auto seen = server.journal().last("/img");
    EXPECT_NE(seen->request.header("Accept-Encoding").find("gzip"), std::string::npos);
    EXPECT_EQ(seen->request.header("Cookie"), "");
    EXPECT_TRUE(testsupport::waitFor([&] { return thread.connectionCount() == 0; }));
}

TEST_F(URLConnectionTest, PiecesPacedOnTheTestClockAndRedirectsFollowed) {
    ScopedTestClock clock;
    server.on("GET", "/a", standin::redirectTo("/b"));
    server.on("GET", "/b", standin::redirectTo(server.baseURL() + "/paced", 301));
    server.script("/paced", Reply::paced("abcdef", 2, 100ms));
    auto rec = load("/a");
    ASSERT_TRUE(rec->waitBody("ab"));
    EXPECT_EQ(rec->response.url, server.baseURL() + "/paced");
    clock->advance(99ms);
    EXPECT_FALSE(rec->waitBody("abcd", 50ms));
    clock->advance(1ms);
    ASSERT_TRUE(rec->waitBody("abcd"));
    clock->advance(100ms);
    ASSERT_TRUE(rec->waitEnded());
    EXPECT_EQ(rec->trace(), "response 200 6, data, finish");
}

TEST_F(URLConnectionTest, FilesAreReadInPiecesWithTheirSize) {
    testsupport::TempDir dir;
    std::string content(200 * 1024, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = char(i * 7);
    testsupport::writeFile(dir / "big.bin", content);
    auto rec = load(URLRequest(NSURL::fileURLWithPath((dir / "big.bin").string()).absoluteString()));
    ASSERT_TRUE(rec->waitEnded());
    EXPECT_EQ(rec->trace(), "response 0 204800, data, finish");
    EXPECT_GE(rec->pieces, 4);
    EXPECT_TRUE(rec->body == content);
}

TEST_F(URLConnectionTest, EveryFailureIsOneCallWithItsCode) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "secret.txt", "not for servers");
    std::string fileURL = NSURL::fileURLWithPath((dir / "secret.txt").string()).absoluteString();
    server.script("/cut", Reply::cut("0123456789", 4));
    server.script("/lie", Reply::lyingLength("abc", 1000000000000));
    server.on("GET", "/to-file", standin::redirectTo(fileURL));
    server.script("/hang", Reply::hang());
    server.script("/quiet", Reply::held({"never"}));
    server.script("/endless", Reply::endless());
    standin::RawServer raw;
    ASSERT_TRUE(raw.start());
    raw.script("/bad-length", "HTTP/1.1 200 OK\r\nContent-Length: abc\r\n\r\nhello");
    HttpServer gone("gone");
    ASSERT_TRUE(gone.start());
    std::string refused = gone.baseURL() + "/x";
    gone.stop();

    struct Case {
        std::string url;
        long code;
        std::chrono::milliseconds timeout = 10s;
        size_t cap = 64u << 20;
    } cases[] = {
        {refused, NSURLErrorCannotConnectToHost},
        {raw.baseURL() + "/bad-length", NSURLErrorBadServerResponse},
        {server.baseURL() + "/cut", NSURLErrorNetworkConnectionLost},
        {server.baseURL() + "/lie", NSURLErrorNetworkConnectionLost},
        {server.baseURL() + "/to-file", NSURLErrorUnsupportedURL},
        {"ftp://127.0.0.1/x", NSURLErrorUnsupportedURL},
        {server.baseURL() + "/hang", NSURLErrorTimedOut, 300ms},
        {server.baseURL() + "/quiet", NSURLErrorTimedOut, 300ms},  // headers came, then silence
        {server.baseURL() + "/endless", NSURLErrorDataLengthExceedsMaximum, 10s, 1u << 20},
        {fileURL + ".missing", NSURLErrorFileDoesNotExist},
        {NSURL::fileURLWithPath(dir.path().string()).absoluteString(), NSURLErrorFileIsDirectory},
        {fileURL, NSURLErrorDataLengthExceedsMaximum, 10s, 4},
    };
    for (auto& k : cases) {
        URLRequest r(k.url);
        r.timeout = k.timeout;
        auto rec = load(r, {.maxBodyBytes = k.cap});
        ASSERT_TRUE(rec->waitEnded()) << k.url;
        EXPECT_EQ(rec->error ? rec->error->code : 0, k.code) << k.url << ": " << rec->trace();
        EXPECT_EQ(std::count_if(rec->events.begin(), rec->events.end(), [](auto& e) { return e == "finish" || e.rfind("fail", 0) == 0; }), 1);
        EXPECT_EQ(rec->body.find("not for servers"), std::string::npos);
        EXPECT_LE(rec->body.size(), k.cap);
    }
    server.releaseHung();

    // No way out of the device: a failure to connect says so.
    ScopedTestReachability offline;
    auto rec = load(URLRequest(refused));
    ASSERT_TRUE(rec->waitEnded());
    EXPECT_EQ(rec->error->code, NSURLErrorNotConnectedToInternet);
}

TEST_F(URLConnectionTest, TrustCredentialAndCookies) {
    HttpServer tls("tls", true);
    ASSERT_TRUE(tls.start());
    tls.on("GET", "/private", standin::basicAuth("user", "secret", [](auto&, auto&) { return Reply::text("inside"); }));
    // Threads made after the server end first, so that it never waits on their idle connections.
    NetworkThread plain("com.korvel.test.tls", URLSessionConfiguration());
    URLRequest r(tls.baseURL() + "/private");
    auto untrusted = load(r, {}, &plain);
    ASSERT_TRUE(untrusted->waitEnded());
    EXPECT_EQ(untrusted->error->code, NSURLErrorServerCertificateUntrusted);
    auto anyServer = load(r, {.trustAnyServerCertificate = true}, &plain);
    ASSERT_TRUE(anyServer->waitEnded());
    EXPECT_EQ(anyServer->trace(), "response 401 -1, data, finish");  // trusted, but no credential (a gzipped text)
    URLSessionConfiguration withCA;
    withCA.extraCAFile = tls.caFile();
    NetworkThread trusting("com.korvel.test.ca", withCA);
    r.credential = URLCredential{"user", "secret"};
    auto inside = load(r, {}, &trusting);
    ASSERT_TRUE(inside->waitEnded());
    EXPECT_EQ(inside->body, "inside");

    // One cookie store, used only by requests that handle cookies.
    server.on("GET", "/set", [](auto&, auto&) {
        Reply reply = Reply::text("set");
        reply.headers.emplace_back("Set-Cookie", "flavour=plain; Path=/");
        return reply;
    });
    auto cookieOf = [&](bool handle) {
        URLRequest q(server.baseURL() + "/look");
        q.httpShouldHandleCookies = handle;
        auto rec = load(q);
        EXPECT_TRUE(rec->waitEnded());
        return server.journal().last("/look")->request.header("Cookie");
    };
    URLRequest set(server.baseURL() + "/set");
    set.httpShouldHandleCookies = true;
    ASSERT_TRUE(load(set)->waitEnded());
    EXPECT_EQ(cookieOf(false), "");
    EXPECT_EQ(cookieOf(true), "flavour=plain");
}

TEST_F(URLConnectionTest, NothingIsDeliveredOnceCancelReturns) {
    // From the main thread, mid-body.
    server.script("/slow", Reply::held({"a", "b", "c"}));
    auto rec = load("/slow");
    server.releasePieces();
    ASSERT_TRUE(rec->waitBody("a"));
    keep.back()->cancel();
    server.releasePieces(2);
    EXPECT_TRUE(testsupport::waitFor([&] { return thread.connectionCount() == 0; }));
    EXPECT_EQ(rec->trace(), "response 200 3, data");

    // From inside the delegate's own call.
    server.script("/img", Reply::text("body", "image/png"));
    auto inner = std::make_shared<Recorder>(thread);
    inner->onResponse = [](URLConnection& c) { c.cancel(); };
    keep.push_back(URLConnection::start(thread, URLRequest(server.baseURL() + "/img"), inner));
    EXPECT_TRUE(testsupport::waitFor([&] { return thread.connectionCount() == 0; }));
    EXPECT_EQ(inner->trace(), "response 200 4");

    // A delegate that is gone ends its connection.
    server.script("/gone", Reply::held({"x"}));
    load("/gone");
    keep.clear();
    EXPECT_TRUE(testsupport::waitFor([&] { return thread.connectionCount() == 0; }));
}

// A cancel racing the delivery on another thread: once cancel() has
// returned, no delegate call may start or still be running.
class Watch : public URLConnectionDelegate {
public:
    void connection_didReceiveResponse(URLConnection&, const HTTPURLResponse&) override { check(); }
    void connection_didReceiveData(URLConnection&, std::string_view) override { check(); }
    void connectionDidFinishLoading(URLConnection&) override { check(); }
    void connection_didFailWithError(URLConnection&, const Error&) override { check(); }
    void check() {
        ++calls;
        inside = true;
        if (cancelReturned) ++late;
        inside = false;
    }
    std::atomic<bool> inside{false}, cancelReturned{false};
    std::atomic<int> late{0}, runningAtReturn{0}, calls{0};
};

TEST_F(URLConnectionTest, CancelRacingDeliveryFromAnotherThread) {
    server.scriptAlways("/tiny", Reply::text(std::string(2000, 'x')));
    for (int round = 0; round < 200; ++round) {
        auto watch = std::make_shared<Watch>();
        auto c = URLConnection::start(thread, URLRequest(server.baseURL() + "/tiny"), watch);
        std::thread canceller([&] {
            c->cancel();
            if (watch->inside) ++watch->runningAtReturn;
            watch->cancelReturned = true;
        });
        canceller.join();
        ASSERT_TRUE(testsupport::waitFor([&] { return thread.connectionCount() == 0; }));
        ASSERT_EQ(watch->late + watch->runningAtReturn, 0) << "round " << round;
    }
}

TEST(NetworkThread, PerformsBlocksInOrderAndEndsCleanly) {
    HttpServer server("held");
    ASSERT_TRUE(server.start());
    server.scriptAlways("/held", Reply::held({"never"}));
    std::vector<int> order;
    std::atomic<bool> allOnThread{true};
    std::atomic<int> done{0};
    auto watch = std::make_shared<Watch>();
    {
        NetworkThread thread("com.korvel.test.end", URLSessionConfiguration());
        for (int i = 0; i < 100; ++i)
            thread.perform([&, i] {
                order.push_back(i);
                allOnThread = allOnThread && thread.isCurrent();
                ++done;
            });
        ASSERT_TRUE(testsupport::waitFor([&] { return done == 100; }));
        URLConnection::start(thread, URLRequest(server.baseURL() + "/held"), watch);
        ASSERT_TRUE(testsupport::waitFor([&] { return watch->calls == 1; }));  // the response
        ASSERT_EQ(thread.connectionCount(), 1u);
        watch->cancelReturned = true;  // from here on the thread must be silent
        // Leaving the scope ends the thread with the connection still open.
    }
    std::vector<int> expected(100);
    for (int i = 0; i < 100; ++i) expected[size_t(i)] = i;
    EXPECT_EQ(order, expected);
    EXPECT_TRUE(allOnThread);
    EXPECT_EQ(watch->late, 0);
}

TEST(URLErrorTable, EveryFailureHasOneCode) {
    using F = urlerror::Failure;
    struct Row {
        F failure;
        long code;
    } rows[] = {
        {{.curl = CURLE_OPERATION_TIMEDOUT}, -1001},
        {{.curl = CURLE_COULDNT_RESOLVE_HOST}, -1003},
        {{.curl = CURLE_COULDNT_RESOLVE_HOST, .offline = true}, -1009},
        {{.curl = CURLE_COULDNT_CONNECT}, -1004},
        {{.curl = CURLE_COULDNT_CONNECT, .offline = true}, -1009},
        {{.curl = CURLE_RECV_ERROR}, -1005},
        {{.curl = CURLE_PARTIAL_FILE}, -1005},
        {{.curl = CURLE_GOT_NOTHING}, -1005},
        {{.curl = CURLE_UNSUPPORTED_PROTOCOL}, -1002},
        {{.curl = CURLE_URL_MALFORMAT}, -1000},
        {{.curl = CURLE_TOO_MANY_REDIRECTS}, -1007},
        {{.curl = CURLE_WEIRD_SERVER_REPLY}, -1011},
        {{.curl = CURLE_PEER_FAILED_VERIFICATION, .certificateVerifyResult = X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT}, -1202},
        {{.curl = CURLE_PEER_FAILED_VERIFICATION, .certificateVerifyResult = X509_V_ERR_CERT_HAS_EXPIRED}, -1201},
        {{.curl = CURLE_SSL_CONNECT_ERROR}, -1200},
        {{.curl = CURLE_ABORTED_BY_CALLBACK, .cancelled = true}, -999},
        {{.curl = CURLE_WRITE_ERROR, .tooLarge = true}, -1103},
        {{.curl = CURLE_WRITE_ERROR}, -1},
        {{.fileError = ENOENT}, -1100},
        {{.fileError = EISDIR}, -1101},
        {{.fileError = EACCES}, -1102},
    };
    for (auto& row : rows) {
        EXPECT_EQ(urlerror::codeFor(row.failure), row.code) << curllib::errorText(row.failure.curl) << " " << row.failure.fileError;
        Error e = urlerror::fromFailure(row.failure, "http://h/x");
        EXPECT_EQ(e.domain, NSURLErrorDomain);
        EXPECT_EQ(e.code, row.code);
        EXPECT_FALSE(e.localizedDescription().empty());
    }
}

}  // namespace
