// The web-view host's top frame without an engine: which navigations and
// answers it lets through, what it does once the top frame shows a page
// that is not the game's, what reaches the desktop, what it logs, and
// what the player sees once the page's content process ended.

#include <gtest/gtest.h>

#include "Classes/ViewController/MainViewController.h"
#include "HostTestSupport.h"
#include "platform/device/URLOpener.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIKeyCommand.h"
#include "platform/web/RecordingWebView.h"
#include "plugin/iOS/RAZ5Orered/LogCapture.h"
#include "plugin/iOS/RAZ5Orered/PluginLog.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"
#include "support/TestSupport.h"

namespace {

class TopFrameHost : public ::testing::Test {
protected:
    void SetUp() override {
        hosttest::freshBridge();
        bundle.writeFile("Data/index.html", "<html>local page</html>");
        URLOpener::install(opener);
    }
    void TearDown() override { URLOpener::install(nullptr); }
    std::shared_ptr<hosttest::RecordingController> start(const Value& extraInfo) {
        return hosttest::startController(bundle, extraInfo);
    }
    // The messages logged so far that hold `text`.
    std::vector<std::string> logged(const std::string& text) {
        std::vector<std::string> out;
        for (auto& line : capture->flushed())
            if (strings::contains(line.message, text)) out.push_back(line.message);
        return out;
    }

    testsupport::TempBundle bundle;
    shelltest::LogCapture capture;
    std::shared_ptr<RecordingURLOpener> opener = std::make_shared<RecordingURLOpener>();
};

// Which answers may become the top page: the game's origin only, the
// port and the host of the bundle's scheme included; an inner frame may
// show anything; a web address from elsewhere goes to the desktop (each a
// link that a click in a frame followed), any other scheme nowhere.
TEST_F(TopFrameHost, OnlyTheGamesOriginBecomesTheTopPage) {
    struct Case {
        const char* page;
        bool mainFrame;
        bool allowed;
    };
    auto decide = [](hosttest::RecordingController& c, const Case& k) {
        c.recording->press();
        c.recording->followLink(k.page, {true, ""});
        std::optional<WKNavigationResponsePolicy> policy;
        WKNavigationResponse response{*NSURL::URLWithString(k.page), k.mainFrame, 200, "text/html"};
        c.webView_decidePolicyForNavigationResponse_decisionHandler(*c.webView(), response,
                                                                    [&](auto p) { policy = p; });
        ASSERT_TRUE(policy.has_value()) << k.page;
        EXPECT_EQ(*policy == WKNavigationResponsePolicy::Allow, k.allowed) << k.page;
    };
    auto served = start(Value::dict({{"KL_PAGE_SERVER", "https://Game.example.com:8443/"}}));
    for (const Case& k : {Case{"https://game.example.com:8443/orba7/other.html?x=1", true, true},
                          Case{"https://game.example.com/orba7/index.html", true, false},
                          Case{"http://game.example.com:8443/", true, false},
                          Case{"https://ads.example.net/top.html", true, false},
                          Case{"https://ads.example.net/frame.html", false, true},
                          Case{"data:text/html,x", true, false}, Case{"local://game/index.html", true, false}})
        decide(*served, k);
    EXPECT_EQ(opener->opened, (std::vector<std::string>{"https://game.example.com/orba7/index.html",
                                                        "http://game.example.com:8443/", "https://ads.example.net/top.html"}));
    opener->opened.clear();
    // The bundle's page: every host of the "local" scheme serves it.
    auto local = start(Value::dict({{"KL_URL", "local://game/"}}));
    for (const Case& k : {Case{"local://game/?timestamp=1", true, true}, Case{"local://Game/b.html", true, true},
                          Case{"local://other/index.html", true, false}, Case{"local://other/frame.html", false, true},
                          Case{"about:blank", true, false}, Case{"http://127.0.0.1:9/", true, false}})
        decide(*local, k);
    // A text without a base address is the blank page.
    auto plain = start(Value::dict({{"KL_URL", ""}}));
    for (const Case& k : {Case{"about:blank", true, true}, Case{"local://game/", true, false}}) decide(*plain, k);
    EXPECT_EQ(opener->opened, std::vector<std::string>{"http://127.0.0.1:9/"});
    // The bridge's scripts and channels are kept to the same origin.
    EXPECT_EQ(served->webView()->configuration()->userContentController()->allowedOrigins(),
              std::vector<WebOrigin>{*WebOrigin::of(*NSURL::URLWithString("https://game.example.com:8443"))});
    EXPECT_EQ(local->webView()->configuration()->userContentController()->allowedOrigins(),
              std::vector<WebOrigin>{*WebOrigin::of(*NSURL::URLWithString("local://game/"))});
}

// Before a navigation, whose frame the engine does not tell: the
// application's own loads pass, and so do the game's pages and addresses
// whose answer is judged when it comes; a blank page, any other address
// without an answer and every new window are refused, each address logged
// once, web addresses handed to the desktop.
TEST_F(TopFrameHost, TheTopFrameLeavesTheGamesPagesForNoPageWithoutAnAnswer) {
    auto c = start(Value::dict({{"KL_URL", ""}}));  // the game's page is itself a blank page
    SysPlugin::RunReload();                          // the shell's reload of it
    RunLoop::drain();
    auto policy = [&](size_t i) { return c->recording->decisions().at(i).policy; };
    ASSERT_EQ(c->recording->decisions().size(), 2u);
    EXPECT_EQ(policy(0), WKNavigationActionPolicy::Allow);
    EXPECT_EQ(policy(1), WKNavigationActionPolicy::Allow);

    struct Case {
        const char* address;
        bool allowed;
    };
    for (const Case& k : {Case{"about:blank", false}, Case{"about:blank#again", false}, Case{"about:srcdoc", true},
                          Case{"https://ads.example.net/top.html", true}, Case{"data:text/html,x", true},
                          Case{"blob:https://ads.example.net/1", true}, Case{"local://other/x.html", true},
                          Case{"file:///etc/hostname", false}, Case{"javascript:void(0)", false},
                          Case{"mailto:a@example.net", false}}) {
        size_t at = c->recording->decisions().size();
        ASSERT_TRUE(c->recording->followLink(k.address)) << k.address;
        EXPECT_EQ(policy(at) == WKNavigationActionPolicy::Allow, k.allowed) << k.address;
    }
    for (const char* window : {"about:blank", "https://ads.example.net/popup.html", "local://game/"}) {
        c->recording->press();
        size_t at = c->recording->decisions().size();
        ASSERT_TRUE(c->recording->openWindow(window, {true, ""}));
        EXPECT_EQ(policy(at), WKNavigationActionPolicy::Cancel) << window;
    }
    EXPECT_EQ(opener->opened, std::vector<std::string>{"https://ads.example.net/popup.html"});
    auto refusals = [&] {
        std::vector<std::string> out;
        for (auto& line : capture->flushed())
            if (strings::contains(line.message, "not shown in the game") || strings::contains(line.message, "not opened"))
                out.push_back(line.message);
        return out;
    };
    EXPECT_EQ(refusals(), (std::vector<std::string>{
                           "a page without an answer of its own is not shown in the game: about:blank",
                           "a page without an answer of its own is not shown in the game: file:///etc/hostname",
                           "a page without an answer of its own is not shown in the game: javascript:void(0)",
                           "a page without an answer of its own is not shown in the game: mailto:a@example.net",
                           "a window is not opened from the game (handed to the desktop): https://ads.example.net/popup.html",
                           "a window is not opened from the game: local://game/"}));

    // A page trying address after address fills no log: the first ones only.
    capture->clear();
    for (int i = 0; i < 100; ++i) c->recording->followLink("about:x" + std::to_string(i));
    EXPECT_EQ(refusals().size(), TopFrameGuard::kLoggedAddresses - 5);  // hand-offs count apart
}

// The refused web addresses that a press asked for go to the desktop, one
// per press, whichever policy refuses them; the others are withheld: the
// first of a burst logged with its address and why, their count a few
// seconds later. A navigation is remembered by its address until its
// answer, through redirects.
TEST_F(TopFrameHost, OnlyAnAddressAPressAskedForGoesToTheDesktopOnePerPress) {
    ScopedTestClock clock;
    auto c = start(Value::dict({{"KL_PAGE_SERVER", "https://game.example.com"}}));
    auto& view = *c->recording;
    const std::string frame = "https://ads.example.net/frame.html";
    const RecordingWebView::Starter byClick{true, frame}, byTimer{false, frame};
    auto topAnswer = [&](const std::string& page) {
        WKNavigationResponse response{*NSURL::URLWithString(page), true, 200, "text/html"};
        c->webView_decidePolicyForNavigationResponse_decisionHandler(view, response, [](auto) {});
    };
    auto move = [&](const std::string& page, const RecordingWebView::Starter& starter) {
        view.followLink(page, starter);
        topAnswer(page);
    };
    move("https://ads.example.net/0", byClick);  // before any press
    view.press();
    move("https://ads.example.net/1", byClick);
    for (int i = 2; i <= 40; ++i) move("https://ads.example.net/" + std::to_string(i), byTimer);
    move("https://ads.example.net/1", byTimer);  // its press spent, and its answer come
    view.press();
    view.press();
    view.openWindow("https://ads.example.net/window", byClick);
    view.openWindow("https://ads.example.net/another", byClick);
    move("ftp://ads.example.net/", byClick);  // not a web address: nothing goes, nothing withheld
    // A redirect asks again, for the address whose answer comes.
    view.press();
    view.followLink("https://ads.example.net/click?to=landing", byClick);
    move("https://landing.example.org/", byClick);
    EXPECT_EQ(opener->opened, (std::vector<std::string>{"https://ads.example.net/1", "https://ads.example.net/window",
                                                        "https://landing.example.org/"}));

    const std::string countLine =
        "web addresses not handed to the desktop (one per press of the player, asked for by what was pressed): ";
    const std::string refused = "a page of another origin is not shown in the game ";
    EXPECT_EQ(logged("desktop"),
              (std::vector<std::string>{
                  refused +
                      "(not handed to the desktop: no press of the player asked for it): https://ads.example.net/0",
                  refused + "(handed to the desktop): https://ads.example.net/1",
                  "a window is not opened from the game (handed to the desktop): https://ads.example.net/window",
                  refused + "(handed to the desktop): https://landing.example.org/"}));
    clock->advance(TopFrameGuard::kWithheldCountDelay);
    RunLoop::drain();
    EXPECT_EQ(logged(countLine), std::vector<std::string>{countLine + "42"});

    capture->clear();
    view.press();
    view.openWindow("https://ads.example.net/later", byClick);
    view.openWindow("https://ads.example.net/again", byClick);
    clock->advance(TopFrameGuard::kWithheldCountDelay);
    RunLoop::drain();
    EXPECT_EQ(logged("desktop"),
              (std::vector<std::string>{
                  "a window is not opened from the game (handed to the desktop): https://ads.example.net/later",
                  "a window is not opened from the game (not handed to the desktop: one address per press): "
                  "https://ads.example.net/again",
                  countLine + "1"}));
    EXPECT_EQ(opener->opened.size(), 4u);
}

// A press on the game's own page lets out only what the game's pages ask
// for (their Referer): a frame handles the press too when it loses the
// focus to it, or when the page posts it a message. A key goes to
// whichever frame holds the focus: it lets out the game's own alone. A
// click in a frame lets out what it started there, Referer or not.
TEST_F(TopFrameHost, PressesOnTheGamesPageLetOutOnlyTheGamesOwnPages) {
    auto c = start(Value::dict({{"KL_PAGE_SERVER", "https://game.example.com"}}));
    auto& view = *c->recording;
    const std::string frame = "https://ads.example.net/frame.html";
    auto topAnswer = [&](const std::string& page) {
        WKNavigationResponse response{*NSURL::URLWithString(page), true, 200, "text/html"};
        c->webView_decidePolicyForNavigationResponse_decisionHandler(view, response, [](auto) {});
    };
    auto tries = [&](const std::string& page, const std::string& referrer) {
        view.followLink(page, {true, referrer});
        topAnswer(page);
        view.openWindow(page + "?window", {true, referrer});
    };
    const auto pointer = WKPress::Device::Pointer, key = WKPress::Device::Key;
    for (auto device : {pointer, key}) {
        view.press(device, true);
        tries("https://ads.example.net/message", frame);
        tries("https://ads.example.net/other-game", "https://game.example.com:444/");
        view.press(device, true, true);  // a frame held the focus, and loses it to the press
        tries("https://ads.example.net/blur", frame);
        tries("https://ads.example.net/blur-unnamed", "");
    }
    EXPECT_EQ(opener->opened, std::vector<std::string>{});
    view.press(key, false);
    tries("https://ads.example.net/focused", frame);
    EXPECT_EQ(opener->opened, std::vector<std::string>{});

    const std::vector<std::pair<WKPress::Device, bool>> presses{{pointer, true}, {key, true}, {key, false}};
    for (auto [device, onTopPage] : presses) {
        view.press(device, onTopPage);
        view.openWindow("https://publisher.example.com/", {true, "https://game.example.com/orba7/index.html"});
    }
    view.press();
    view.followLink("https://ads.example.net/landing", {true, ""});
    topAnswer("https://ads.example.net/landing");
    const std::string publisher = "https://publisher.example.com/";
    EXPECT_EQ(opener->opened,
              (std::vector<std::string>{publisher, publisher, publisher, "https://ads.example.net/landing"}));
}

// The bundle's pages send no Referer: a window or a move to the web that
// the game's page starts on a press of the player goes to the desktop,
// unless an inner frame held the focus as the press came (the frame, losing
// it, may be the one asking).
TEST_F(TopFrameHost, ABundlePagesOwnLinkGoesOnAPressItHeard) {
    auto c = start(Value::dict({{"KL_URL", "local://game/"}}));
    auto& view = *c->recording;
    const auto pointer = WKPress::Device::Pointer, key = WKPress::Device::Key;
    view.press(pointer, true);
    view.openWindow("https://publisher.example.com/news", {true, ""});
    view.press(key, true);
    view.followLink("https://publisher.example.com/shop", {true, ""});
    WKNavigationResponse answer{*NSURL::URLWithString("https://publisher.example.com/shop"), true, 200, "text/html"};
    c->webView_decidePolicyForNavigationResponse_decisionHandler(view, answer, [](auto) {});
    view.press(pointer, true, true);
    view.openWindow("https://ads.example.net/blur", {true, ""});
    view.press(key, true, true);
    view.openWindow("https://ads.example.net/key", {true, ""});
    view.press(pointer, true);
    view.openWindow("https://ads.example.net/timer", {false, ""});
    EXPECT_EQ(opener->opened,
              (std::vector<std::string>{"https://publisher.example.com/news", "https://publisher.example.com/shop"}));
}

// A navigation a press asked for keeps it until its answer, however slow
// and whatever is pressed meanwhile; the answer spends it, in an inner
// frame too, and an answer that never comes lets it go after a while.
TEST_F(TopFrameHost, APressedNavigationIsRememberedUntilItsAnswerOnly) {
    ScopedTestClock clock;
    auto c = start(Value::dict({{"KL_PAGE_SERVER", "https://game.example.com"}}));
    auto& view = *c->recording;
    const std::string frame = "https://ads.example.net/frame.html";
    const RecordingWebView::Starter byClick{true, frame}, byTimer{false, frame};
    auto answer = [&](const std::string& page, bool mainFrame) {
        WKNavigationResponse response{*NSURL::URLWithString(page), mainFrame, 200, "text/html"};
        c->webView_decidePolicyForNavigationResponse_decisionHandler(view, response, [](auto) {});
    };
    view.press();
    view.followLink("https://ads.example.net/slow#top", byClick);
    for (int i = 0; i < 4; ++i) view.press(WKPress::Device::Pointer, true);
    clock->advance(TopFrameGuard::kAskedNavigationLifetime - std::chrono::seconds(1));
    answer("https://ads.example.net/slow", true);
    EXPECT_EQ(opener->opened, std::vector<std::string>{"https://ads.example.net/slow"});

    view.press();
    view.followLink("https://ads.example.net/own", byClick);
    answer("https://ads.example.net/own", false);  // the frame's own page
    view.followLink("https://ads.example.net/own", byTimer);
    answer("https://ads.example.net/own", true);
    view.followLink("https://ads.example.net/unanswered", byClick);
    clock->advance(TopFrameGuard::kAskedNavigationLifetime + std::chrono::seconds(1));
    view.followLink("https://ads.example.net/unanswered", byTimer);
    answer("https://ads.example.net/unanswered", true);
    EXPECT_EQ(opener->opened.size(), 1u);
}

// A refused address is logged with its credentials shortened, whichever
// line logs it; the desktop still gets it whole.
TEST_F(TopFrameHost, RefusedAddressesAreLoggedWithTheirCredentialsShortened) {
    auto c = start(Value::dict({{"KL_PAGE_SERVER", "https://game.example.com"}}));
    auto& view = *c->recording;
    auto topAnswer = [&](const std::string& page) {
        WKNavigationResponse response{*NSURL::URLWithString(page), true, 200, "text/html"};
        c->webView_decidePolicyForNavigationResponse_decisionHandler(view, response, [](auto) {});
    };
    view.press();
    view.followLink("https://ads.example.net/a?token=HANDEDTOKEN123", {true, ""});
    topAnswer("https://ads.example.net/a?token=HANDEDTOKEN123");
    topAnswer("https://ads.example.net/b?user=x;sign=WITHHELDSIGN99");
    c->webView_decidePolicyForNavigationResponse_decisionHandler(
        view, WKNavigationResponse{*NSURL::URLWithString("ftp://ads.example.net/c?password=NOWHEREPASS77"), true, 200, ""},
        [](auto) {});
    ASSERT_EQ(opener->opened.size(), 1u);
    EXPECT_EQ(opener->opened[0], "https://ads.example.net/a?token=HANDEDTOKEN123");
    std::vector<std::string> lines = logged("ads.example.net");
    ASSERT_EQ(lines.size(), 3u);
    for (auto& line : lines)
        for (const char* secret : {"HANDEDTOKEN123", "WITHHELDSIGN99", "NOWHEREPASS77"})
            EXPECT_FALSE(strings::contains(line, secret)) << line;
}

// What the top frame shows is judged again once it shows it: a page that
// is not the game's (an inner frame's text, another host of the bundle's
// scheme) brings back the start page, each address logged once; the
// game's own pages stay, and so does the start page's own load whatever
// its address (a base address without a host would load it for ever).
TEST_F(TopFrameHost, ATopPageThatIsNotTheGamesBringsBackTheStartPage) {
    auto c = start(Value::dict({{"KL_URL", "local://game/"}}));
    auto& view = *c->recording;
    ASSERT_EQ(view.loads().size(), 1u);
    view.didCommitNavigation(view.loads()[0].navigation);
    auto shows = [&](const std::string& address) {
        auto navigation = view.followLink(address);
        EXPECT_EQ(view.currentURL(), address);  // let through before the navigation
        view.didCommitNavigation(navigation);
        RunLoop::drain();
        return view.loads().size();
    };
    EXPECT_EQ(shows("local://game/second.html"), 1u);
    EXPECT_EQ(shows("about:srcdoc"), 2u);
    EXPECT_EQ(view.loads().back().baseURL->host(), "game");
    EXPECT_EQ(shows("about:srcdoc#again"), 3u);
    EXPECT_EQ(shows("local://elsewhere/index.html"), 4u);
    EXPECT_EQ(shows("local://game/index.html"), 4u);
    EXPECT_EQ(logged("was shown"),
              (std::vector<std::string>{
                  "a page that is not the game's was shown; the start page is loaded again: about:srcdoc",
                  "a page that is not the game's was shown; the start page is loaded again: local://elsewhere/index.html"}));

    auto hostless = start(Value::dict({{"KL_URL", "index.html"}}));
    hostless->recording->didCommitNavigation(hostless->recording->loads().at(0).navigation);
    RunLoop::drain();
    EXPECT_EQ(hostless->recording->loads().size(), 1u);
}

// A content process that ends is one error line with the engine's reason;
// nothing is loaded again, and the player is told once, over every window,
// that the game stopped: a message that Escape does not put away.
TEST_F(TopFrameHost, AnEndedContentProcessIsLoggedNotLoadedAgainAndThePlayerTold) {
    auto c = start(Value::dict({{"KL_URL", "local://game/"}}));
    capture->clear();
    EXPECT_FALSE(c->stoppedWindow());
    for (auto reason : {WKContentProcessTermination::Crashed, WKContentProcessTermination::ExceededMemoryLimit,
                        WKContentProcessTermination::EndedByApplication})
        c->recording->webContentProcessDidTerminate(reason);
    auto lines = capture->lines();  // errors are written before the call returns
    ASSERT_EQ(lines.size(), 3u);
    for (auto& line : lines) EXPECT_EQ(line.flag, PluginLogFlagError);
    EXPECT_EQ(lines[0].message, "the page's content process ended (it crashed); the page is not loaded again");
    EXPECT_EQ(lines[1].message,
              "the page's content process ended (it used more memory than it may); the page is not loaded again");
    EXPECT_EQ(lines[2].message,
              "the page's content process ended (the application ended it); the page is not loaded again");
    RunLoop::drain();
    EXPECT_EQ(c->recording->loads().size(), 1u);

    auto window = c->stoppedWindow();
    ASSERT_TRUE(window);
    EXPECT_FALSE(window->isHidden());
    EXPECT_TRUE(window->isKeyWindow());
    size_t aboveThePage = 0;
    for (auto& w : UIApplication::sharedApplication().windows())
        aboveThePage += !w->isHidden() && w->windowLevel() >= UIWindowLevelAlert;
    EXPECT_EQ(aboveThePage, 1u);  // one message for the three ends
    auto alert = std::dynamic_pointer_cast<UIAlertController>(window->rootViewController()->presentedViewController());
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->alertTitle(), "温馨提示");
    EXPECT_EQ(alert->message(), "游戏已停止运行，请重新启动游戏");
    ASSERT_EQ(alert->actions().size(), 1u);
    EXPECT_EQ(alert->actions()[0]->title(), "退出游戏");
    ASSERT_TRUE(testsupport::waitFor([&] { return !alert->isBeingPresented(); }));
    if (const char* dir = std::getenv("KORVEL_SHOT_DIR")) window->writePNG(std::string(dir) + "/game-stopped.png");

    UIKeyRouting::press(UIKeyInputEscape);
    RunLoop::drain();
    EXPECT_FALSE(window->isHidden());
    EXPECT_EQ(window->rootViewController()->presentedViewController(), alert);
}

}  // namespace
