// Streamed and raw replies of the stand-ins, seen from a plain socket so
// that what is written, and when, is exact.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Strings.h"
#include "platform/net/URLSession.h"
#include "standin/RawServer.h"
#include "standin/StandinServer.h"
#include "support/TestSupport.h"

using namespace std::chrono_literals;
using standin::HttpServer;
using standin::Reply;

namespace {

class RawClient {
public:
    explicit RawClient(int port) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~RawClient() { close(fd_); }

    bool get(const std::string& target) {
        std::string req = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        return connected_ && ::send(fd_, req.data(), req.size(), MSG_NOSIGNAL) == ssize_t(req.size());
    }
    // Reads until `enough` holds or the peer closes (at most 10 s of real time).
    bool readUntil(const std::function<bool()>& enough) {
        auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!enough() && !closed && std::chrono::steady_clock::now() < deadline) readFor(100);
        return enough();
    }
    // What arrives without waiting.
    void readNow() { readFor(0); }

    std::string head() const { return received.substr(0, received.find("\r\n\r\n") + 4); }
    std::string body() const {
        auto end = received.find("\r\n\r\n");
        return end == std::string::npos ? "" : received.substr(end + 4);
    }
    bool headDone() const { return received.find("\r\n\r\n") != std::string::npos; }

    std::string received;
    bool closed = false;

private:
    void readFor(int ms) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) return;
        char buf[65536];
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) closed = true;
        else received.append(buf, size_t(n));
    }
    int fd_ = -1;
    bool connected_ = false;
};

struct StandinStreams : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(server.start()); }
    HttpServer server{"streams"};
};

TEST_F(StandinStreams, HeldPiecesGoOnlyWhenReleased) {
    server.script("/held", Reply::held({"first-", "second"}));
    RawClient c(server.port());
    ASSERT_TRUE(c.get("/held"));
    ASSERT_TRUE(c.readUntil([&] { return c.headDone(); }));
    EXPECT_NE(c.head().find("Content-Length: 12\r\n"), std::string::npos) << c.head();
    c.readNow();
    EXPECT_EQ(c.body(), "");
    server.releasePieces();
    EXPECT_TRUE(c.readUntil([&] { return c.body() == "first-"; })) << c.body();
    server.releasePieces();
    EXPECT_TRUE(c.readUntil([&] { return c.body() == "first-second"; })) << c.body();
    c.readNow();
    EXPECT_FALSE(c.closed);  // a complete reply keeps the connection
}

TEST_F(StandinStreams, PacedPiecesFollowTheTestClock) {
    ScopedTestClock clock;
    server.script("/paced", Reply::paced("abcdef", 2, 100ms));
    RawClient c(server.port());
    ASSERT_TRUE(c.get("/paced"));
    ASSERT_TRUE(c.readUntil([&] { return c.body() == "ab"; })) << c.received;
    clock->advance(99ms);
    c.readNow();
    EXPECT_EQ(c.body(), "ab");
    clock->advance(1ms);
    EXPECT_TRUE(c.readUntil([&] { return c.body() == "abcd"; })) << c.body();
    clock->advance(100ms);
    EXPECT_TRUE(c.readUntil([&] { return c.body() == "abcdef"; })) << c.body();
}

TEST_F(StandinStreams, LyingCutAndEndlessBodies) {
    server.script("/lie", Reply::lyingLength("abc", 1000000000000));
    server.script("/cut", Reply::cut("0123456789", 4));
    struct Case {
        const char* path;
        const char* length;
        const char* body;
    } cases[] = {{"/lie", "Content-Length: 1000000000000\r\n", "abc"}, {"/cut", "Content-Length: 10\r\n", "0123"}};
    for (auto& k : cases) {
        RawClient c(server.port());
        ASSERT_TRUE(c.get(k.path));
        c.readUntil([&] { return false; });  // to the close
        EXPECT_TRUE(c.closed) << k.path;
        EXPECT_NE(c.head().find(k.length), std::string::npos) << c.head();
        EXPECT_EQ(c.body(), k.body);
    }

    server.script("/endless", Reply::endless());
    RawClient c(server.port());
    ASSERT_TRUE(c.get("/endless"));
    ASSERT_TRUE(c.readUntil([&] { return c.received.size() > (4u << 20); }));
    EXPECT_NE(c.head().find("Transfer-Encoding: chunked"), std::string::npos);
    EXPECT_FALSE(c.closed);
    std::thread stopper([&] { server.stop(); });  // ends the body while the client still reads
    c.readUntil([&] { return false; });
    stopper.join();
    EXPECT_TRUE(c.closed);
}

URLResult fetch(const std::string& url, const HTTPHeaders& headers = {}) {
    URLRequest r(url);
    r.headers = headers;
    return testsupport::offMainThread(
        [&] { return URLSession::sessionWithConfiguration(URLSessionConfiguration())->sendSynchronousRequest(r); });
}

TEST_F(StandinStreams, RedirectAndBasicAuthHandlers) {
    server.on("GET", "/a", standin::redirectTo("/b"));
    server.on("GET", "/b", standin::redirectTo(server.baseURL() + "/c", 301));
    server.on("GET", "/c", [](auto&, auto&) { return Reply::text("landed"); });
    server.on("GET", "/to-file", standin::redirectTo("file:///etc/passwd"));
    server.on("GET", "/private", standin::basicAuth("user", "secret", [](auto&, auto&) { return Reply::text("inside"); }));

    auto chain = fetch(server.baseURL() + "/a");
    EXPECT_EQ(chain.body, "landed");
    EXPECT_EQ(server.journal().count("/b") + server.journal().count("/c"), 2u);
    auto toFile = fetch(server.baseURL() + "/to-file");
    ASSERT_TRUE(toFile.error);
    EXPECT_EQ(toFile.error->code, NSURLErrorUnsupportedURL);
    EXPECT_TRUE(toFile.body.empty());

    auto refused = fetch(server.baseURL() + "/private");
    EXPECT_EQ(refused.response->statusCode, 401);
    EXPECT_EQ(refused.response->valueForHTTPHeaderField("WWW-Authenticate"), "Basic realm=\"standin\"");
    auto basic = [](const char* pair) { return HTTPHeaders{{"Authorization", "Basic " + strings::base64Encode(std::string(pair))}}; };
    EXPECT_EQ(fetch(server.baseURL() + "/private", basic("user:wrong")).response->statusCode, 401);
    EXPECT_EQ(fetch(server.baseURL() + "/private", basic("user:secret")).body, "inside");
}

TEST(StandinRaw, PlaysAnyBytesAndRecordsTheRequest) {
    standin::RawServer raw;
    ASSERT_TRUE(raw.start());
    raw.script("/garbage", "NOT HTTP AT ALL\r\n\r\n");
    raw.script("/open", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc", true);

    RawClient g(raw.port());
    ASSERT_TRUE(g.get("/garbage?x=1"));
    g.readUntil([] { return false; });
    EXPECT_EQ(g.received, "NOT HTTP AT ALL\r\n\r\n");
    EXPECT_TRUE(g.closed);
    RawClient missing(raw.port());
    ASSERT_TRUE(missing.get("/nothing"));
    missing.readUntil([] { return false; });
    EXPECT_TRUE(strings::hasPrefix(missing.received, "HTTP/1.1 404"));

    RawClient held(raw.port());
    ASSERT_TRUE(held.get("/open"));
    ASSERT_TRUE(held.readUntil([&] { return held.body() == "abc"; }));
    held.readNow();
    EXPECT_FALSE(held.closed);
    std::thread stopper([&] { raw.stop(); });
    held.readUntil([] { return false; });
    stopper.join();
    EXPECT_TRUE(held.closed);

    auto entries = raw.journal().entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].request.path, "/garbage");
    EXPECT_EQ(entries[0].request.param("x"), "1");
    EXPECT_EQ(entries[0].request.header("host"), "127.0.0.1");
}

}  // namespace
