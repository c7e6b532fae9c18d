// The player's presses in the real engine, clicked and typed through the X
// server, as a navigation policy hears of them: which navigations carry the
// engine's user gesture and a Referer, and whether the top page heard the
// press that came before.

#include <gtest/gtest.h>

#include "platform/foundation/Strings.h"
#include "platform/web/WKWebView.h"
#include "platform/web/WebTestSupport.h"
#include "standin/StandinServer.h"
#include <gdk/gdkx.h>  // last, with XTest: Xlib's macros

#include "support/XTestClick.h"

using namespace webtest;

namespace {

// Serves one page of the top frame's own scheme.
class OnePageHandler : public WKURLSchemeHandler {
public:
    std::string page;
    void webView_startURLSchemeTask(WKWebView&, const std::shared_ptr<WKURLSchemeTask>& task) override {
        task->didReceiveResponse(
            NSHTTPURLResponse{task->request().URL, 200, "HTTP/1.1", {{"Content-Type", "text/html"}}});
        task->didReceiveData(Data(page.begin(), page.end()));
        task->didFinish();
    }
    void webView_stopURLSchemeTask(WKWebView&, const std::shared_ptr<WKURLSchemeTask>&) override {}
};

// Refuses every move to the third party's "/away" (the page stays), noting
// what the policy is told of it.
class AwayWatcher : public WKNavigationDelegate {
public:
    struct Asked {
        bool userGesture;
        std::optional<std::string> referrer;
        WKPress press;
    };
    std::string away;
    std::map<std::string, Asked> asked;  // by query

    void webView_decidePolicyForNavigationAction_decisionHandler(WKWebView& view, const WKNavigationAction& a,
                                                                 PolicyHandler handler) override {
        if (!strings::hasPrefix(a.request.URL.absoluteString(), away))
            return handler(WKNavigationActionPolicy::Allow);
        asked[a.request.URL.query()] =
            Asked{a.userGesture, a.request.valueForHTTPHeaderField("Referer"), view.lastPress()};
        handler(WKNavigationActionPolicy::Cancel);
    }
    bool waitFor(const std::string& query) {
        return testsupport::waitFor([&] { return asked.count(query) > 0; });
    }
};

// The top page, of the "test" scheme: a frame of the third party at the top
// left, that reports when it has loaded, and a key handler of its own that
// moves the top frame away.
std::string topPage(const std::string& foreign) {
    return R"HTML(<html><body style="margin: 0; height: 100vh">
<iframe src=")HTML" + foreign + R"HTML(/frame.html" onload="window.webkit.messageHandlers.probe.postMessage('frame')"
  style="position: absolute; left: 0; top: 0; width: 200px; height: 100px; border: 0"></iframe>
<script>window.addEventListener('keydown', function () { location = ')HTML" + foreign + R"HTML(/away?own-key'; });</script>
</body></html>)HTML";
}

// A click on the frame sets a timer going that moves the top frame twice,
// 200 ms apart; once clicked, the frame moves it when it loses the focus.
const char* kFrame = R"HTML(<html><body style="margin: 0; background: rgb(220, 30, 30)"><script>
  var clicked = false;
  document.body.onclick = function () {
    clicked = true;
    var moves = 0, loop = setInterval(function () {
      top.location = location.origin + '/away?move=' + (++moves);
      if (moves == 2) clearInterval(loop);
    }, 200);
  };
  window.addEventListener('blur', function () { if (clicked) top.location = location.origin + '/away?blur'; });
</script></body></html>)HTML";

class WebViewPresses : public ::testing::Test, protected ProbedWebView {
protected:
    void SetUp() override {
        ASSERT_TRUE(WKWebView::engineAvailable());
        ASSERT_TRUE(thirdParty.start(0, "127.0.0.2"));
        foreign = thirdParty.baseURL();
        thirdParty.on("GET", "/frame.html", [](const standin::Request&, standin::JournalEntry&) {
            return standin::Reply::text(kFrame, "text/html");
        });
        handler->page = topPage(foreign);
        config->setURLSchemeHandler(handler, "test");
        watcher->away = foreign + "/away";
        show().setNavigationDelegate(watcher);
    }
    // Loads the top page and waits until its frame has loaded and shows.
    void loadTopPage() {
        size_t before = probe->messages.size();
        view->loadRequest(NSURLRequest::requestWithURL(*NSURL::URLWithString("test://app/index.html")));
        ASSERT_TRUE(probe->waitForMessages(before + 1));
        RunLoop::runFor(std::chrono::milliseconds(300));
    }
    void click(int x, int y) {
        int rootX = 0, rootY = 0;
        gdk_window_get_origin(gtk_widget_get_window(view->nativeWidget()), &rootX, &rootY);
        testsupport::xtestClick(display(), rootX + x, rootY + y);
    }
    void key() {
        KeyCode space = XKeysymToKeycode(display(), XK_space);
        XTestFakeKeyEvent(display(), space, 1, CurrentTime);
        XTestFakeKeyEvent(display(), space, 0, CurrentTime);
        XFlush(display());
    }
    static Display* display() { return GDK_DISPLAY_XDISPLAY(gdk_display_get_default()); }

    standin::HttpServer thirdParty{"third party"};
    std::string foreign;
    std::shared_ptr<OnePageHandler> handler = std::make_shared<OnePageHandler>();
    std::shared_ptr<AwayWatcher> watcher = std::make_shared<AwayWatcher>();
};

// A click in the frame: its handler's timer moves the top with the user
// gesture the first time (within a second of the click), without it the
// second, both with the frame's Referer; the top page did not hear the
// click. A click on the top page then takes the focus from the frame, which
// moves the top with the gesture, in the handling of a press it never got:
// the top page heard that one. The top page's own key handler moves it with
// the gesture and no Referer (its scheme is not the web's).
TEST_F(WebViewPresses, GesturesReferrersAndWhereThePressWent) {
    loadTopPage();
    const std::string framePage = foreign + "/frame.html";

    click(100, 50);
    ASSERT_TRUE(watcher->waitFor("move=2"));
    auto first = watcher->asked.at("move=1"), second = watcher->asked.at("move=2");
    EXPECT_TRUE(first.userGesture);
    EXPECT_FALSE(second.userGesture);
    EXPECT_EQ(first.referrer, framePage);
    EXPECT_EQ(second.referrer, framePage);
    EXPECT_EQ(first.press.number, 1u);
    EXPECT_EQ(first.press.device, WKPress::Device::Pointer);
    EXPECT_FALSE(first.press.reachedTopPage);

    click(100, 200);
    ASSERT_TRUE(watcher->waitFor("blur"));
    auto blur = watcher->asked.at("blur");
    EXPECT_TRUE(blur.userGesture);
    EXPECT_EQ(blur.referrer, framePage);
    EXPECT_EQ(blur.press.number, 2u);
    EXPECT_TRUE(blur.press.reachedTopPage);

    key();
    ASSERT_TRUE(watcher->waitFor("own-key"));
    auto own = watcher->asked.at("own-key");
    EXPECT_TRUE(own.userGesture);
    EXPECT_EQ(own.referrer, std::nullopt);
    EXPECT_EQ(own.press.number, 3u);  // once, though the engine hands the key back
    EXPECT_EQ(own.press.device, WKPress::Device::Key);
    EXPECT_TRUE(own.press.reachedTopPage);
}

// The top page hears its presses whatever becomes of the scripts the
// application gave the web view.
TEST_F(WebViewPresses, TheTopPageHearsPressesAfterTheApplicationsScriptsAreReplaced) {
    auto scripts = config->userContentController();
    scripts->setAllowedOrigins({*WebOrigin::of(*NSURL::URLWithString("test://app/"))});
    scripts->removeAllUserScripts();
    scripts->addUserScript(WKUserScript("1", WKUserScriptInjectionTime::AtDocumentEnd, true));
    loadTopPage();
    click(100, 200);
    EXPECT_TRUE(testsupport::waitFor([&] { return view->lastPress().reachedTopPage; }));
    click(100, 50);
    ASSERT_TRUE(watcher->waitFor("move=1"));
    EXPECT_FALSE(view->lastPress().reachedTopPage);
}

}  // namespace
