#include "WebImageTestSupport.h"
#include "imagecache/ZVImageCache.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/NSOperationQueue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/ui/UIApplication.h"

using namespace std::chrono_literals;
using namespace webimagetest;
using standin::Reply;

namespace {

class WebImageManagerTest : public WebImageTest {
protected:
    std::string headerOf(const std::string& path, const std::string& name) {
        auto entries = server.journal().entries(path);
        return entries.empty() ? "<no request>" : entries.back().request.header(name);
    }
};

TEST_F(WebImageManagerTest, DefaultsAndTheRequestItMakes) {
    ZVWebImageManager plain(nullptr, nullptr);
    EXPECT_EQ(plain.timeout(), 15.0);
    EXPECT_EQ(plain.headers(), (ZVWebImageManager::Headers{{"Accept", "image/*;q=0.8"}}));
    auto request = plain.requestForURL(*NSURL::URLWithString("http://127.0.0.1/a.png"), 0);
    EXPECT_EQ(request.timeout, 15000ms);
    EXPECT_FALSE(request.httpShouldHandleCookies);
    EXPECT_FALSE(request.credential);
    EXPECT_EQ(request.cachePolicy, NSURLRequestCachePolicy::ReloadIgnoringLocalCacheData);
    EXPECT_EQ(plain.requestForURL(*NSURL::URLWithString("http://127.0.0.1/a.png"), ZVWebImageOptionUseURLCache).cachePolicy,
              NSURLRequestCachePolicy::UseProtocolCachePolicy);

    auto& shared = ZVWebImageManager::sharedManager();
    EXPECT_EQ(shared->queue()->qualityOfService(), NSOperationQueue::QoS::Background);
    EXPECT_EQ(shared->cache(), ZVImageCache::sharedCache());
    EXPECT_EQ(shared->timeout(), 15.0);
}

TEST_F(WebImageManagerTest, CookiesGoOnlyWithTheirOption) {
    Reply setCookie = Reply::text(text(png(*disc(4, 4))), "image/png");
    setCookie.headers.push_back({"Set-Cookie", "session=abc; Path=/"});
    server.scriptAlways("/give.png", setCookie);
    serve("/plain.png", png(*disc(4, 4)), "image/png");
    serve("/with.png", png(*disc(4, 4)), "image/png");
    ASSERT_NE(load("/give.png", ZVWebImageOptionSendCookies)->image, nullptr);
    ASSERT_NE(load("/plain.png")->image, nullptr);
    ASSERT_NE(load("/with.png", ZVWebImageOptionSendCookies)->image, nullptr);
    EXPECT_EQ(headerOf("/plain.png", "Cookie"), "") << "the store has one, but options 0 send none";
    EXPECT_EQ(headerOf("/with.png", "Cookie"), "session=abc");
}

TEST_F(WebImageManagerTest, CredentialOnlyWithBothParts) {
    Data bytes = png(*disc(4, 4));
    server.on("GET", "/auth.png", standin::basicAuth("user", "secret", [&](const standin::Request&, standin::JournalEntry&) {
        return Reply::text(text(bytes), "image/png");
    }));
    manager->setUsername("user");
    auto alone = load("/auth.png");
    ASSERT_TRUE(alone && alone->error);
    EXPECT_EQ(alone->error->code, 401);
    manager->setPassword("secret");
    auto both = load("/auth.png");
    ASSERT_TRUE(both);
    EXPECT_NE(both->image, nullptr);
}

TEST_F(WebImageManagerTest, FiltersApplyPerRequest) {
    serve("/f1.png", png(*disc(4, 4)), "image/png");
    serve("/f2.png", png(*disc(4, 4)), "image/png");
    manager->setHeadersFilter([](const NSURL& u, const ZVWebImageManager::Headers& headers) {
        auto out = headers;
        if (u.path() == "/f1.png") out["X-Icon"] = "1";
        return out;
    });
    manager->setCacheKeyFilter([](const NSURL& u) { return "icon:" + u.lastPathComponent(); });
    Calls calls;
    auto op = request(url("/f1.png"), 0, calls);
    EXPECT_EQ(op->cacheKey(), "icon:f1.png");
    ASSERT_TRUE(calls.waitEnd());
    ASSERT_NE(load("/f2.png")->image, nullptr);
    EXPECT_EQ(headerOf("/f1.png", "X-Icon"), "1");
    EXPECT_EQ(headerOf("/f2.png", "X-Icon"), "");
    EXPECT_EQ(headerOf("/f2.png", "Accept"), "image/*;q=0.8");
    EXPECT_TRUE(testsupport::waitFor([&] { return cache->containsImageForKey("icon:f2.png"); }));
}

TEST_F(WebImageManagerTest, WithoutAQueueTheOperationStartsBeforeTheCallReturns) {
    manager = makeManager(false);
    server.script("/held.png", Reply::held({text(png(*disc(4, 4)))}, "image/png"));
    Calls calls;
    auto op = request(url("/held.png"), 0, calls);
    EXPECT_TRUE(op->isExecuting());
    server.releasePieces();
    auto end = calls.waitEnd();
    ASSERT_TRUE(end);
    EXPECT_NE(end->image, nullptr);
}

TEST(WebImageNetworkIndicator, ChangesWithinAThirtiethOfASecondMakeOneUpdate) {
    ScopedTestClock clock;
    auto& app = UIApplication::sharedApplication();
    std::vector<bool> updates;
    app.setNetworkActivityIndicatorObserver([&](bool visible) { updates.push_back(visible); });
    long base = ZVWebImageManager::currentNetworkActivityCount();
    auto step = [&](double seconds) {
        clock->advance(std::chrono::nanoseconds(int64_t(seconds * 1e9)));
        RunLoop::drain();
    };
    ZVWebImageManager::incrementNetworkActivityCount();
    step(0.01);
    ZVWebImageManager::incrementNetworkActivityCount();
    step(0.01);
    ZVWebImageManager::decrementNetworkActivityCount();
    EXPECT_EQ(ZVWebImageManager::currentNetworkActivityCount(), base + 1);
    step(0.02);  // 1/30 s after the first change, but not after the last
    EXPECT_TRUE(updates.empty());
    step(0.014);
    EXPECT_EQ(updates, std::vector<bool>{true});
    EXPECT_TRUE(app.isNetworkActivityIndicatorVisible());

    // Down to 0, then up again before 1/30 s: the indicator stays on.
    ZVWebImageManager::decrementNetworkActivityCount();
    step(0.02);
    ZVWebImageManager::incrementNetworkActivityCount();
    step(0.05);
    EXPECT_EQ(updates, std::vector<bool>{true});
    ZVWebImageManager::decrementNetworkActivityCount();
    step(0.02);
    EXPECT_TRUE(app.isNetworkActivityIndicatorVisible());
    step(0.014);
    EXPECT_EQ(updates, (std::vector<bool>{true, false}));
    EXPECT_EQ(ZVWebImageManager::currentNetworkActivityCount(), base);
    app.setNetworkActivityIndicatorObserver(nullptr);
}

}  // namespace
