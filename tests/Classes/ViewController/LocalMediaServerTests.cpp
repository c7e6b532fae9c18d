// The media road's server on its own: what it serves, with which headers,
// and what it refuses.

#include <gtest/gtest.h>

#include <httplib.h>

#include "Classes/ViewController/LocalMediaServer.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Strings.h"
#include "support/TestSupport.h"

namespace {

class MediaServer : public ::testing::Test {
protected:
    void SetUp() override {
        std::string thousand;
        for (int i = 0; i < 1000; ++i) thousand += char('a' + i % 26);
        testsupport::writeFile(dir / "Data/v.mp4", thousand);
        testsupport::writeFile(dir / "Data/sub dir/s.ogg", "sound");
        testsupport::writeFile(dir / "secret.mp4", "outside");
        std::filesystem::create_symlink(dir / "secret.mp4", dir / "Data/link.mp4");
        server = std::make_unique<LocalMediaServer>(dir / "Data", [](const std::string& p) {
            return p == "/v.mp4" ? std::string("video/mp4") : std::string("application/octet-stream");
        });
        ASSERT_TRUE(server->start());
        auto url = NSURL::URLWithString(server->baseURL());
        ASSERT_TRUE(url);
        EXPECT_EQ(url->host(), "127.0.0.1");
        prefix = url->percentEncodedPath();  // "/<random>/"
        client = std::make_unique<httplib::Client>("127.0.0.1", server->port());
        client->set_keep_alive(true);  // requests follow each other on one connection
    }
    httplib::Result get(const std::string& path, const std::string& range = "") {
        httplib::Headers h;
        if (!range.empty()) h.emplace("Range", range);
        return client->Get((prefix + path).c_str(), h);
    }

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
    EXPECT_EQ(whole->get_header_value("Access-Control-Allow-Origin"), "*");

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

}  // namespace
