// The media road's server on its own: what it serves, with which headers,
// what it refuses, and how it holds up under clients that flood it.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include <future>
#include <thread>

#include "Classes/ViewController/LocalMediaServer.h"
#include "Classes/ViewController/MediaRequest.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Strings.h"
#include "support/TestSupport.h"

namespace {

// A raw client: the server's defences are about what real clients do not send.
class RawClient {
public:
    explicit RawClient(int port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~RawClient() { ::close(fd_); }
    bool connected() const { return connected_; }
    bool send(const std::string& bytes) { return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size()); }
    // What arrives until the server closes or `timeout` passes without a byte.
    std::string receive(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::string out;
        char buffer[4096];
        pollfd p{fd_, POLLIN, 0};
        while (::poll(&p, 1, int(timeout.count())) > 0) {
            ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) {
                closedByServer_ = true;
                break;
            }
            out.append(buffer, size_t(n));
        }
        return out;
    }
    bool closedByServer() const { return closedByServer_; }
    int fd() const { return fd_; }

private:
    int fd_;
    bool connected_ = false;
    bool closedByServer_ = false;
};

class MediaServer : public ::testing::Test {
protected:
    void SetUp() override {
        std::string thousand;
        for (int i = 0; i < 1000; ++i) thousand += char('a' + i % 26);
        testsupport::writeFile(dir / "Data/v.mp4", thousand);
        testsupport::writeFile(dir / "Data/sub dir/s.ogg", "sound");
        testsupport::writeFile(dir / "secret.mp4", "outside");
        std::filesystem::create_symlink(dir / "secret.mp4", dir / "Data/link.mp4");
        start({});
    }
    void start(LocalMediaServer::Limits limits) {
        server = std::make_unique<LocalMediaServer>(
            dir / "Data",
            [](const std::string& p) { return p == "/v.mp4" ? std::string("video/mp4") : std::string("application/octet-stream"); },
            limits);
        ASSERT_TRUE(server->start());
        auto url = NSURL::URLWithString(server->baseURL());
        ASSERT_TRUE(url);
        EXPECT_EQ(url->host(), "127.0.0.1");
        prefix = url->percentEncodedPath();  // "/<random>/"
        client = std::make_unique<httplib::Client>("127.0.0.1", server->port());
        client->set_keep_alive(true);  // requests follow each other on one connection
    }
    httplib::Result get(const std::string& path, const std::string& range = "", const std::string& origin = "") {
        httplib::Headers h;
        if (!range.empty()) h.emplace("Range", range);
        if (!origin.empty()) h.emplace("Origin", origin);
        return client->Get((prefix + path).c_str(), h);
    }
    std::string request(const std::string& path) { return "GET " + prefix + path + " HTTP/1.1\r\nHost: x\r\n\r\n"; }

    testsupport::TempDir dir;
    std::unique_ptr<LocalMediaServer> server;
    std::unique_ptr<httplib::Client> client;
    std::string prefix;
};

TEST_F(MediaServer, ServesWholeFilesAndRangesWithHeadersThatKeepThemOutOfCaches) {
    auto whole = get("v.mp4");
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->status, 200);
    EXPECT_EQ(whole->body.size(), 1000u);
    EXPECT_EQ(whole->get_header_value("Content-Type"), "video/mp4");
    EXPECT_EQ(whole->get_header_value("Accept-Ranges"), "bytes");
    EXPECT_EQ(whole->get_header_value("Cache-Control"), "no-store");

    auto part = get("v.mp4", "bytes=100-199");
    EXPECT_EQ(part->status, 206);
    EXPECT_EQ(part->get_header_value("Content-Range"), "bytes 100-199/1000");
    EXPECT_EQ(part->body, whole->body.substr(100, 100));
    EXPECT_EQ(get("v.mp4", "bytes=-10")->body, whole->body.substr(990));
    auto tooFar = get("v.mp4", "bytes=1000-");
    EXPECT_EQ(tooFar->status, 416);
    EXPECT_EQ(tooFar->get_header_value("Content-Range"), "bytes */1000");
    // Ranges work for every type, and names are percent-decoded.
    EXPECT_EQ(get("sub%20dir/s.ogg", "bytes=1-")->body, "ound");
    EXPECT_EQ(server->requestCount(), 5u);
}

TEST_F(MediaServer, OnlyTheGamesOwnOriginMayReadAnswersFromScript) {
    server->setAllowedOrigin("local://game");
    EXPECT_EQ(get("v.mp4", "", "local://game")->get_header_value("Access-Control-Allow-Origin"), "local://game");
    for (std::string other : {"", "https://ads.example.com", "null", "local://game.example"})
        EXPECT_FALSE(get("v.mp4", "", other)->has_header("Access-Control-Allow-Origin")) << other;
}

TEST_F(MediaServer, RefusesWhatTheSchemeRefuses) {
    for (std::string path : {"none.mp4", "sub%20dir", "..%2fsecret.mp4", "%2e%2e/secret.mp4", "link.mp4"}) {
        auto r = get(path);
        ASSERT_TRUE(r) << path;
        EXPECT_EQ(r->status, 404) << path;
        EXPECT_TRUE(r->body.empty()) << path;
    }
    // Without the launch's prefix nothing is served.
    auto bare = client->Get("/v.mp4");
    EXPECT_EQ(bare->status, 404);
    auto post = client->Post((prefix + "v.mp4").c_str(), "x", "text/plain");
    EXPECT_EQ(post->status, 405);
}

TEST_F(MediaServer, EachLaunchHasItsOwnPrefixAndTheScriptNamesIt) {
    LocalMediaServer other(dir / "Data", nullptr);
    ASSERT_TRUE(other.start());
    EXPECT_NE(other.baseURL(), server->baseURL());
    EXPECT_NE(server->mediaScript().find(strings::jsStringLiteral(server->baseURL())), std::string::npos);
    other.stop();
    EXPECT_FALSE(httplib::Client("127.0.0.1", other.port()).Get("/"));
}

TEST_F(MediaServer, RequestsOnOneConnectionAreAnsweredInOrderAndHalfClosedPeersStillGetTheirs) {
    RawClient c(server->port());
    ASSERT_TRUE(c.send("\r\n" + request("v.mp4").substr(0, 20)));
    ASSERT_TRUE(c.send(request("v.mp4").substr(20) + request("sub%20dir/s.ogg")));
    ::shutdown(c.fd(), SHUT_WR);
    std::string answers = c.receive();
    EXPECT_TRUE(c.closedByServer());
    size_t first = answers.find("HTTP/1.1 200 OK"), second = answers.find("HTTP/1.1 200 OK", first + 1);
    ASSERT_NE(second, std::string::npos) << answers;
    EXPECT_TRUE(strings::hasSuffix(answers, "\r\n\r\nsound")) << answers;
}

// ---- Under a flood --------------------------------------------------------------

TEST_F(MediaServer, AHeadPastTheLimitIs431AndHugeOnesAreCutOff) {
    RawClient big(server->port());
    ASSERT_TRUE(big.send("GET " + prefix + "v.mp4 HTTP/1.1\r\nX-Pad: " + std::string(17 << 10, 'p') + "\r\n\r\n"));
    EXPECT_TRUE(strings::hasPrefix(big.receive(), "HTTP/1.1 431 ")) << "no 431";
    EXPECT_TRUE(big.closedByServer());

    // A request line that never ends: the server stops reading long before
    // the client stops sending.
    RawClient endless(server->port());
    std::string mebibyte(1 << 20, 'x');
    ASSERT_TRUE(endless.send("GET /"));
    size_t sent = 0;
    while (sent < (64u << 20) && endless.send(mebibyte)) sent += mebibyte.size();
    EXPECT_LT(sent, 64u << 20);
    // Garbage is refused the same way, and the server goes on serving.
    RawClient garbage(server->port());
    ASSERT_TRUE(garbage.send("\x16\x03\x01 binary\r\nno colon here\r\n\r\n"));
    EXPECT_TRUE(strings::hasPrefix(garbage.receive(), "HTTP/1.1 400 "));
    EXPECT_EQ(get("v.mp4")->status, 200);
}

TEST_F(MediaServer, AHeadMustBeWholeWithinItsDeadlineHoweverSlowlyItTrickles) {
    ScopedTestClock clock;
    start({});  // deadlines on the test clock
    RawClient slow(server->port());
    // One answer first: the next head's deadline runs from its end.
    ASSERT_TRUE(slow.send(request("v.mp4")));
    ASSERT_TRUE(testsupport::waitFor([&] { return server->requestCount() == 1; }));
    ASSERT_NE(slow.receive(std::chrono::milliseconds(300)).find("200 OK"), std::string::npos);
    std::string next = request("v.mp4");
    for (int second = 0; second < 9; ++second) {
        ASSERT_TRUE(slow.send(next.substr(size_t(second), 1)));  // a byte a second
        clock->advance(std::chrono::seconds(1));
    }
    server->wake();
    EXPECT_EQ(slow.receive(std::chrono::milliseconds(300)), "");
    EXPECT_FALSE(slow.closedByServer());
    clock->advance(std::chrono::seconds(1));  // ten seconds since the answer
    server->wake();
    slow.receive();
    EXPECT_TRUE(slow.closedByServer());
    EXPECT_EQ(server->requestCount(), 1u);
}

TEST_F(MediaServer, AtMostTheBoundOfConnectionsIsOpenAndNewOnesAreStillServed) {
    LocalMediaServer::Limits limits;
    limits.maxConnections = 8;
    start(limits);
    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 40; ++i) idle.push_back(std::make_unique<RawClient>(server->port()));
    size_t most = 0;
    auto served = std::async(std::launch::async, [&] {
        httplib::Client fresh("127.0.0.1", server->port());
        return fresh.Get((prefix + "v.mp4").c_str());
    });
    ASSERT_TRUE(testsupport::waitFor([&] {
        most = std::max(most, server->openConnections());
        return served.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }));
    auto r = served.get();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_LE(most, 8u);
}

// ---- The head reader ------------------------------------------------------------

TEST(MediaRequestHead, ReadsWhatIsThereAndNoMore) {
    struct Case {
        std::string bytes;
        HeadStatus status;
        size_t consumed = 0;
    };
    const std::string head = "GET /p/a.mp4 HTTP/1.1\r\nRange: bytes=1-\r\nHost:x\r\n\r\n";
    const Case cases[] = {
        {head, HeadStatus::Complete, head.size()},
        {head + "GET /next", HeadStatus::Complete, head.size()},
        {"\r\n\nGET / HTTP/1.0\n\n", HeadStatus::Complete, 19},
        {head.substr(0, head.size() - 1), HeadStatus::Incomplete},
        {"GET / HTTP/1.1\r\n" + std::string(100, 'a'), HeadStatus::TooLarge},
        {std::string(200, '\n'), HeadStatus::TooLarge},
        {"GET /\r\n\r\n", HeadStatus::Malformed},
        {"GET / SPDY/3\r\n\r\n", HeadStatus::Malformed},
        {"GET / HTTP/1.1\r\nno colon\r\n\r\n", HeadStatus::Malformed},
        {"GET / HTTP/1.1\r\n: empty name\r\n\r\n", HeadStatus::Malformed},
    };
    for (auto& c : cases) {
        MediaRequest r;
        size_t consumed = 0;
        EXPECT_EQ(readRequestHead(c.bytes, 100, r, consumed), c.status) << c.bytes;
        if (c.status == HeadStatus::Complete) {
            EXPECT_EQ(consumed, c.consumed) << c.bytes;
        }
    }
    MediaRequest r;
    size_t consumed = 0;
    ASSERT_EQ(readRequestHead(head, 100, r, consumed), HeadStatus::Complete);
    EXPECT_EQ(r.target, "/p/a.mp4");
    EXPECT_EQ(r.header("range"), "bytes=1-");
    EXPECT_EQ(r.header("Host"), "x");
    EXPECT_TRUE(r.keepsAlive());
}

}  // namespace
