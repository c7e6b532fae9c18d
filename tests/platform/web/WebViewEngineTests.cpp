// The web view in the real engine: channels, user scripts, script
// evaluation, custom schemes, script dialogs, navigation events, the
// player's presses, and drawing where GL is software.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <cairo.h>
#include <webkit2/webkit2.h>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Strings.h"
#include "platform/web/SoftwareGL.h"
#include "platform/web/WKWebView.h"
#include "platform/web/WebTestSupport.h"
#include "standin/StandinServer.h"

#include <gdk/gdkx.h>  // last, with XTest: Xlib's macros

#include "support/GameWindow.h"

using namespace webtest;

namespace {

// Answers "test" URLs from a table of paths; some answers are special.
class TableSchemeHandler : public WKURLSchemeHandler {
public:
    std::map<std::string, std::string> pages;
    std::vector<std::string> started;
    int stopped = 0;

    void webView_startURLSchemeTask(WKWebView&, const std::shared_ptr<WKURLSchemeTask>& task) override {
        std::string path = task->request().URL.path();
        started.push_back(path);
        if (path == "/fail-before") {
            task->didFailWithError(Error(NSCocoaErrorDomain, 404));
            return;
        }
        if (path == "/fail-after") {
            // Half an answer, then a read error: the page must not see success.
            DispatchQueue::global()->async([task] {
                NSHTTPURLResponse r{task->request().URL, 200, "HTTP/1.1", {{"Content-Type", "text/plain"}, {"Content-Length", "10"}}};
                task->didReceiveResponse(r);
                task->didReceiveData(Data{'h', 'a', 'l', 'f', '!'});
                task->didFailWithError(Error(NSPOSIXErrorDomain, 5));
            });
            return;
        }
        if (path == "/big") {
            // 16 MiB in 64 KiB pieces from another queue; the page reads it all.
            DispatchQueue::global()->async([task] {
                const size_t total = 16 << 20, piece = 64 << 10;
                NSHTTPURLResponse r{task->request().URL, 200, "HTTP/1.1",
                                    {{"Content-Type", "application/octet-stream"}, {"Content-Length", std::to_string(total)}}};
                task->didReceiveResponse(r);
                Data chunk(piece, 'x');
                for (size_t sent = 0; sent < total && !task->isStopped(); sent += piece) {
                    task->didReceiveData(chunk);
                }
                task->didFinish();
            });
            return;
        }
        auto it = pages.find(path);
        if (it == pages.end()) {
            task->didFailWithError(Error(NSCocoaErrorDomain, 404));
            return;
        }
        std::string type = strings::hasSuffix(path, ".html") ? "text/html" : "text/plain";
        NSHTTPURLResponse r{task->request().URL, path == "/teapot" ? 418 : 200, "HTTP/1.1",
                            {{"Content-Type", type}, {"Content-Length", std::to_string(it->second.size())},
                             {"X-Test", "yes"}, {"Access-Control-Allow-Origin", "*"},
                             {"Access-Control-Expose-Headers", "X-Test"}}};
        task->didReceiveResponse(r);
        task->didReceiveData(Data(it->second.begin(), it->second.end()));
        task->didFinish();
    }
    void webView_stopURLSchemeTask(WKWebView&, const std::shared_ptr<WKURLSchemeTask>&) override { ++stopped; }
};

class RecordingNavigation : public WKNavigationDelegate {
public:
    std::vector<std::string> events;
    // Addresses holding this are refused; every decision asked is kept.
    std::string refuse = "\x01";
    std::vector<std::pair<std::string, WKNavigationType>> asked;
    // The refused ones by their query, with the view's last press then.
    std::map<std::string, std::pair<WKNavigationAction, WKPress>> refused;
    void webView_decidePolicyForNavigationAction_decisionHandler(WKWebView& view, const WKNavigationAction& a,
                                                                 PolicyHandler handler) override {
        std::string url = a.request.URL.absoluteString();
        asked.emplace_back(url, a.navigationType);
        if (url.find(refuse) == std::string::npos) return handler(WKNavigationActionPolicy::Allow);
        refused.insert_or_assign(a.request.URL.query(), std::make_pair(a, view.lastPress()));
        handler(WKNavigationActionPolicy::Cancel);
    }
    std::vector<std::shared_ptr<WKNavigation>> navigations;
    std::vector<Error> errors;
    void webView_didStartProvisionalNavigation(WKWebView&, const Navigation& n) override { add("start", n); }
    void webView_didCommitNavigation(WKWebView&, const Navigation& n) override { add("commit", n); }
    void webView_didFinishNavigation(WKWebView&, const Navigation& n) override { add("finish", n); }
    void webView_didFailProvisionalNavigation_withError(WKWebView&, const Navigation& n, const Error& e) override {
        add("failProvisional", n);
        errors.push_back(e);
    }
    void webView_didFailNavigation_withError(WKWebView&, const Navigation& n, const Error& e) override {
        add("fail", n);
        errors.push_back(e);
    }
    std::vector<WKContentProcessTermination> terminations;
    void webViewWebContentProcessDidTerminate(WKWebView&, WKContentProcessTermination reason) override {
        terminations.push_back(reason);
    }
    bool has(const std::string& e) const { return std::find(events.begin(), events.end(), e) != events.end(); }

private:
    void add(const std::string& e, const Navigation& n) {
        events.push_back(e);
        navigations.push_back(n);
    }
};

class WebEngine : public ::testing::Test, protected ProbedWebView {
protected:
    void SetUp() override {
        ASSERT_TRUE(WKWebView::engineAvailable());
        config->setURLSchemeHandler(handler, "test");
        handler->pages["/index.html"] = "<html><body>index</body></html>";
    }
    void makeView() { show().setNavigationDelegate(nav); }
    void loadPage(const std::string& path, const std::string& html) {
        handler->pages[path] = html;
        view->loadRequest(NSURLRequest::requestWithURL(*NSURL::URLWithString("test://app" + path)));
        ASSERT_TRUE(testsupport::waitFor([&] { return nav->has("finish"); }));
    }

    std::shared_ptr<TableSchemeHandler> handler = std::make_shared<TableSchemeHandler>();
    std::shared_ptr<RecordingNavigation> nav = std::make_shared<RecordingNavigation>();
};

TEST_F(WebEngine, ChannelsCarryValuesAndUserScriptsRunFirstInTheMainFrameOnly) {
    config->userContentController()->addUserScript(WKUserScript(
        "window.injected = (window.injected || 0) + 1; document.documentElement && (window.sawDocument = true);",
        WKUserScriptInjectionTime::AtDocumentStart, true));
    makeView();
    handler->pages["/frame.html"] = "<script>window.webkit.messageHandlers.probe.postMessage({frame: typeof window.injected});</script>";
    loadPage("/page.html",
             "<html><head><script>window.webkit.messageHandlers.probe.postMessage("
             "{early: window.injected, nested: {a: [1, 'two', null, true]}, text: 'a \"q\" \\\\ \\u2028 b', n: 2.5});"
             "window.webkit.messageHandlers.probe.postMessage('plain');"
             "window.webkit.messageHandlers.probe.postMessage(7);"
             "</script></head><body><iframe src='test://app/frame.html'></iframe></body></html>");
    ASSERT_TRUE(probe->waitForMessages(4));
    const Value& first = probe->messages[0];
    EXPECT_EQ(first.integer("early"), 1);
    EXPECT_EQ(first["nested"]["a"], Value::array({1, "two", nullptr, true}));
    EXPECT_EQ(first.str("text"), "a \"q\" \\ \u2028 b");
    EXPECT_DOUBLE_EQ(first["n"].doubleValue(), 2.5);
    EXPECT_EQ(probe->messages[1], Value("plain"));
    EXPECT_EQ(probe->messages[2], Value(7));
    // The frame ran without the main-frame-only script.
    EXPECT_EQ(probe->messages[3].str("frame"), "undefined");
}

TEST_F(WebEngine, HandlersAddedAfterCreationWorkAndReplacingKeepsOneChannel) {
    makeView();
    auto second = std::make_shared<PageProbe>();
    config->userContentController()->addScriptMessageHandler(second, "late");
    auto third = std::make_shared<PageProbe>();
    config->userContentController()->addScriptMessageHandler(third, "late");
    loadPage("/late.html", "<script>window.webkit.messageHandlers.late.postMessage('x');"
                           "window.webkit.messageHandlers.probe.postMessage('done');</script>");
    ASSERT_TRUE(probe->waitForMessages(1));
    EXPECT_TRUE(second->messages.empty());
    ASSERT_EQ(third->messages.size(), 1u);
    config->userContentController()->removeScriptMessageHandlerForName("late");
    auto r = evaluate(*view, "typeof window.webkit.messageHandlers.late");
    EXPECT_EQ(r.value, Value("undefined"));
}

TEST_F(WebEngine, EvaluateGivesValuesAndErrorsFromAnyThread) {
    makeView();
    loadPage("/e.html", "<body>e</body>");
    auto r = evaluate(*view, "({a: 1, b: [true, 'x']})");
    EXPECT_FALSE(r.error);
    EXPECT_EQ(r.value, Value::dict({{"a", 1}, {"b", Value::array({true, "x"})}}));
    EXPECT_TRUE(evaluate(*view, "undefined").value.isNull());
    auto bad = evaluate(*view, "throw new Error('boom')");
    ASSERT_TRUE(bad.done);
    EXPECT_TRUE(bad.error.has_value());
    std::atomic<bool> done{false};
    Value fromThread;
    std::thread t([&] { view->evaluateJavaScript("6 * 7", [&](const Value& v, const Error*) { fromThread = v; done = true; }); });
    t.join();
    ASSERT_TRUE(testsupport::waitFor([&] { return done.load(); }));
    EXPECT_EQ(fromThread, Value(42));
}

TEST_F(WebEngine, SchemeAnswersCarryStatusHeadersAndFailures) {
    makeView();
    handler->pages["/teapot"] = "short and stout";
    loadPage("/s.html", "<body>s</body>");
    auto r = evaluate(*view, "window.out = null; fetch('test://app/teapot').then(function(r) {"
                             " return r.text().then(function(t) { window.out = {status: r.status, type: r.headers.get('Content-Type'),"
                             " x: r.headers.get('X-Test'), body: t}; }); }); 1");
    ASSERT_TRUE(waitForPage(*view, "window.out"));
    auto out = evaluate(*view, "window.out").value;
    EXPECT_EQ(out.integer("status"), 418);
    EXPECT_EQ(out.str("type"), "text/plain");
    EXPECT_EQ(out.str("x"), "yes");
    EXPECT_EQ(out.str("body"), "short and stout");

    for (std::string path : {"/fail-before", "/fail-after"}) {
        evaluate(*view, "window.res = null; fetch('test://app" + path + "').then(function(r) { return r.text(); })"
                        ".then(function(t) { window.res = 'ok:' + t; }, function(e) { window.res = 'failed'; }); 1");
        ASSERT_TRUE(waitForPage(*view, "window.res")) << path;
        EXPECT_EQ(evaluate(*view, "window.res").value, Value("failed")) << path;
    }
}

TEST_F(WebEngine, EachHomeKeepsItsOwnWebsiteData) {
    testsupport::TempHome first;
    makeView();
    loadPage("/s.html", "<body>s</body>");
    evaluate(*view, "localStorage.setItem('k', 'first home'); 1");
    ASSERT_TRUE(testsupport::waitFor([&] { return std::filesystem::exists(first.path() / "Library/WebKit"); }));
    window.close();

    testsupport::TempHome second;
    nav->events.clear();
    makeView();
    loadPage("/s.html", "<body>s</body>");
    EXPECT_EQ(evaluate(*view, "localStorage.getItem('k')").value, Value());
}

TEST_F(WebEngine, LargeAnswersStreamFromAnotherQueue) {
    makeView();
    loadPage("/b.html", "<body>b</body>");
    evaluate(*view, "window.size = null; fetch('test://app/big').then(function(r) { return r.arrayBuffer(); })"
                    ".then(function(b) { window.size = b.byteLength; }); 1");
    ASSERT_TRUE(waitForPage(*view, "window.size !== null", std::chrono::seconds(30)));
    EXPECT_EQ(evaluate(*view, "window.size").value.intValue(), 16 << 20);

}

class AnsweringUI : public WKUIDelegate {
public:
    std::vector<std::string> seen;
    void webView_runJavaScriptConfirmPanelWithMessage(WKWebView&, const std::string& m,
                                                     std::function<void(bool)> done) override {
        seen.push_back("confirm:" + m);
        // Answer later, from the main queue.
        DispatchQueue::main()->async([done] { done(true); done(false); });
    }
    void webView_runJavaScriptTextInputPanelWithPrompt(WKWebView&, const std::string& p, const std::string& d,
                                                       std::function<void(std::optional<std::string>)> done) override {
        seen.push_back("prompt:" + p + "/" + d);
        done("typed");
    }
};

TEST_F(WebEngine, ScriptDialogsAnswerThroughTheDelegateOrItsDefaults) {
    makeView();
    loadPage("/d.html", "<body>d</body>");
    // No UI delegate: alert returns, confirm false, prompt null.
    auto r = evaluate(*view, "alert('a'); [confirm('c'), prompt('p', 'x')]");
    EXPECT_EQ(r.value, Value::array({false, nullptr}));
    auto ui = std::make_shared<AnsweringUI>();
    view->setUIDelegate(ui);
    r = evaluate(*view, "[confirm('sure?'), prompt('name', 'def')]");
    EXPECT_EQ(r.value, Value::array({true, "typed"}));
    EXPECT_EQ(ui->seen, (std::vector<std::string>{"confirm:sure?", "prompt:name/def"}));
}

TEST_F(WebEngine, NavigationEventsNameTheLoadThatCausedThem) {
    makeView();
    handler->pages["/next.html"] = "<body>next</body>";
    handler->pages["/one.html"] = "<body>one</body>";
    auto own = view->loadRequest(NSURLRequest::requestWithURL(*NSURL::URLWithString("test://app/one.html")));
    ASSERT_TRUE(testsupport::waitFor([&] { return nav->has("finish"); }));
    EXPECT_EQ(nav->events, (std::vector<std::string>{"start", "commit", "finish"}));
    for (auto& n : nav->navigations) EXPECT_EQ(n, own);

    // The page navigates by itself: a navigation of its own.
    nav->events.clear();
    nav->navigations.clear();
    evaluate(*view, "location.href = 'test://app/next.html'; 1");
    ASSERT_TRUE(testsupport::waitFor([&] { return nav->has("finish"); }));
    ASSERT_FALSE(nav->navigations.empty());
    EXPECT_NE(nav->navigations.front(), own);
    EXPECT_EQ(nav->navigations.front()->url(), "test://app/next.html");

    // A page that cannot be had fails before commit.
    nav->events.clear();
    auto missing = view->loadRequest(NSURLRequest::requestWithURL(*NSURL::URLWithString("test://app/missing.html")));
    ASSERT_TRUE(testsupport::waitFor([&] { return nav->has("failProvisional"); }));
    EXPECT_EQ(nav->navigations.back(), missing);
    EXPECT_FALSE(nav->has("commit"));

    // loadHTMLString without a base address.
    nav->events.clear();
    auto html = view->loadHTMLString("<body><script>window.webkit.messageHandlers.probe.postMessage(location.href)</script></body>", std::nullopt);
    ASSERT_TRUE(testsupport::waitFor([&] { return nav->has("finish"); }));
    EXPECT_EQ(nav->navigations.back(), html);
    ASSERT_TRUE(probe->waitForMessages(1));
    EXPECT_EQ(probe->messages.back(), Value("about:blank"));
}

// The engine's reason reaches the delegate (here the application's own
// ending of the process; a crash is tested against the executable).
TEST_F(WebEngine, AnEndedContentProcessReachesTheDelegateWithItsReason) {
    makeView();
    loadPage("/one.html", "<body>one</body>");
    webkit_web_view_terminate_web_process(WEBKIT_WEB_VIEW(view->nativeWidget()));
    ASSERT_TRUE(testsupport::waitFor([&] { return !nav->terminations.empty(); }));
    EXPECT_EQ(nav->terminations,
              std::vector<WKContentProcessTermination>{WKContentProcessTermination::EndedByApplication});
}

TEST_F(WebEngine, ThePolicyRefusesNavigationsAndTheHistoryGoesBack) {
    makeView();
    nav->refuse = "blocked";
    handler->pages["/two.html"] = "<body>two</body>";
    handler->pages["/blocked.html"] = "<body>no</body>";
    loadPage("/one.html", "<body><a id='l' href='two.html'>two</a><a id='b' href='blocked.html'>b</a></body>");
    EXPECT_FALSE(view->canGoBack());
    EXPECT_FALSE(view->goBack());

    nav->events.clear();
    evaluate(*view, "document.getElementById('l').click(); 1");
    ASSERT_TRUE(testsupport::waitFor([&] { return nav->has("finish"); }));
    ASSERT_TRUE(view->URL());
    EXPECT_EQ(view->URL()->path(), "/two.html");
    EXPECT_EQ(nav->asked.back(), std::make_pair(std::string("test://app/two.html"), WKNavigationType::LinkActivated));

    // Refused, from the API and from the page: nothing starts, the page stays.
    nav->events.clear();
    size_t askedBefore = nav->asked.size();
    view->loadRequest(NSURLRequest::requestWithURL(*NSURL::URLWithString("test://app/blocked.html")));
    evaluate(*view, "location.href = 'blocked.html'; 1");
    ASSERT_TRUE(testsupport::waitFor([&] { return nav->asked.size() == askedBefore + 2; }));
    RunLoop::runFor(std::chrono::milliseconds(100));
    EXPECT_FALSE(nav->has("start"));
    EXPECT_EQ(std::count(handler->started.begin(), handler->started.end(), "/blocked.html"), 0);
    EXPECT_EQ(view->URL()->path(), "/two.html");

    ASSERT_TRUE(view->canGoBack());
    auto back = view->goBack();
    ASSERT_TRUE(back);
    ASSERT_TRUE(testsupport::waitFor([&] { return nav->has("finish"); }));
    EXPECT_EQ(view->URL()->path(), "/one.html");
    EXPECT_EQ(nav->asked.back().second, WKNavigationType::BackForward);
    EXPECT_FALSE(view->canGoBack());
    EXPECT_TRUE(view->canGoForward());
}

TEST_F(WebEngine, SnapshotWritesAPicture) {
    makeView();
    loadPage("/p.html", "<body style='background:#0a0'>green</body>");
    testsupport::TempDir dir;
    bool done = false, ok = false;
    view->takeSnapshotToPNG((dir / "shot.png").string(), [&](bool r) { ok = r; done = true; });
    ASSERT_TRUE(testsupport::waitFor([&] { return done; }));
    EXPECT_TRUE(ok);
    auto bytes = testsupport::readFile(dir / "shot.png");
    ASSERT_GT(bytes.size(), 8u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
}

// A frame of another origin (on the web, for its Referer) at the top left
// of the page: a click on it sets a timer moving the top frame twice, 200 ms
// apart; once clicked, it moves the top frame when it loses the focus. The
// page's own key handler moves the top frame too.
const char* kPressedFrame = R"HTML(<html><body style="margin: 0"><script>
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

void clickView(WKWebView& view, int x, int y) {
    int rootX = 0, rootY = 0;
    gdk_window_get_origin(gtk_widget_get_window(view.nativeWidget()), &rootX, &rootY);
    testsupport::xtestClick(GDK_DISPLAY_XDISPLAY(gdk_display_get_default()), rootX + x, rootY + y);
}

// Clicked and typed through the X server. A navigation a click in a frame
// starts carries the engine's user gesture and the frame's Referer, and so
// does the first move of a timer of 200 ms it sets going, but not the
// second. A click on the top page takes the focus from the frame, which
// moves the top frame with the gesture in the handling of a press it never
// got: the top page heard that one, whatever became of the application's
// scripts. The top page's own key handler moves it with the gesture and no
// Referer (its scheme is not the web's); the key counts once, though the
// engine hands it back unhandled.
TEST_F(WebEngine, NavigationsTellTheirGestureAndReferrerAndPressesWhereTheyWent) {
    standin::HttpServer thirdParty{"third party"};
    ASSERT_TRUE(thirdParty.start(0, "127.0.0.2"));
    const std::string foreign = thirdParty.baseURL(), frame = foreign + "/frame.html";
    thirdParty.on("GET", "/frame.html", [](const standin::Request&, standin::JournalEntry&) {
        return standin::Reply::text(kPressedFrame, "text/html");
    });
    makeView();
    nav->refuse = foreign + "/away";
    auto scripts = config->userContentController();
    scripts->setAllowedOrigins({*WebOrigin::of(*NSURL::URLWithString("test://app/"))});
    scripts->removeAllUserScripts();
    loadPage("/presses.html", "<body style='margin: 0; height: 100vh'><iframe src='" + frame +
                                  "' onload='window.webkit.messageHandlers.probe.postMessage(1)' style='border: 0'></iframe>"
                                  "<script>onkeydown = function () { location = '" + foreign + "/away?own'; };</script>");
    ASSERT_TRUE(probe->waitForMessages(1));
    RunLoop::runFor(std::chrono::milliseconds(300));  // the frame shows
    auto refused = [&](const std::string& query) {
        EXPECT_TRUE(testsupport::waitFor([&] { return nav->refused.count(query) > 0; })) << query;
        return nav->refused.count(query) ? nav->refused.at(query) : std::make_pair(WKNavigationAction{}, WKPress{});
    };

    clickView(*view, 50, 50);
    auto [second, afterClick] = refused("move=2");
    auto [first, sameClick] = refused("move=1");
    EXPECT_TRUE(first.userGesture);
    EXPECT_FALSE(second.userGesture);
    EXPECT_EQ(first.request.valueForHTTPHeaderField("Referer"), frame);
    EXPECT_EQ(second.request.valueForHTTPHeaderField("Referer"), frame);
    EXPECT_EQ(sameClick.number, 1u);
    EXPECT_EQ(sameClick.device, WKPress::Device::Pointer);
    EXPECT_FALSE(sameClick.reachedTopPage);

    clickView(*view, 50, 250);
    auto [blur, onTopPage] = refused("blur");
    EXPECT_TRUE(blur.userGesture);
    EXPECT_EQ(blur.request.valueForHTTPHeaderField("Referer"), frame);
    EXPECT_EQ(onTopPage.number, 2u);
    EXPECT_TRUE(onTopPage.reachedTopPage);

    testsupport::xtestKey(GDK_DISPLAY_XDISPLAY(gdk_display_get_default()), XK_space);
    auto [own, key] = refused("own");
    EXPECT_TRUE(own.userGesture);
    EXPECT_EQ(own.request.valueForHTTPHeaderField("Referer"), std::nullopt);
    EXPECT_EQ(key.number, 3u);
    EXPECT_EQ(key.device, WKPress::Device::Key);
    EXPECT_TRUE(key.reachedTopPage);
}

// Where GL is the CPU's (forced here, as a virtual machine without a GPU
// driver has it), the view draws without GL compositing, and still draws.
TEST_F(WebEngine, UnderSoftwareGLTheViewDrawsWithoutGLCompositing) {
    // Before the first view asks (each test runs in a process of its own).
    ::setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    ASSERT_TRUE(webengine::glIsSoftware()) << webengine::glDriverName();
    makeView();
    WebKitSettings* settings = webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view->nativeWidget()));
    EXPECT_EQ(webkit_settings_get_hardware_acceleration_policy(settings), WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    loadPage("/p.html", "<body style='margin: 0; background: rgb(0, 170, 0)'>green</body>");
    testsupport::TempDir dir;
    bool done = false, ok = false;
    view->takeSnapshotToPNG((dir / "shot.png").string(), [&](bool r) { ok = r; done = true; });
    ASSERT_TRUE(testsupport::waitFor([&] { return done; }));
    ASSERT_TRUE(ok);
    cairo_surface_t* shot = cairo_image_surface_create_from_png((dir / "shot.png").c_str());
    ASSERT_EQ(cairo_surface_status(shot), CAIRO_STATUS_SUCCESS);
    cairo_surface_flush(shot);
    const int stride = cairo_image_surface_get_stride(shot);
    const auto* row = cairo_image_surface_get_data(shot) + 50 * stride;
    uint32_t pixel = reinterpret_cast<const uint32_t*>(row)[50];
    cairo_surface_destroy(shot);
    EXPECT_EQ(pixel & 0xFFFFFF, 0x00AA00u) << std::hex << pixel;
}

// The engine's media player takes only the protocols it knows (http,
// https, file, blob, ...): a <video> whose source is a custom scheme fails
// with "source not supported" whatever the scheme handler answers. The
// web-view host gives media another road for that reason.
TEST_F(WebEngine, TheEngineRefusesMediaFromACustomScheme) {
    makeView();
    handler->pages["/clip.mp4"] = testsupport::readFile(testsupport::sourceDir() / "examples/DemoGame.app/Data/clip.mp4");
    loadPage("/v.html", "<video id=v muted src='test://app/clip.mp4'></video><script>"
                        "var v = document.getElementById('v');"
                        "v.addEventListener('loadedmetadata', function() { window.webkit.messageHandlers.probe.postMessage('metadata'); });"
                        "v.addEventListener('error', function() { window.webkit.messageHandlers.probe.postMessage('error ' + v.error.code); });"
                        "</script>");
    ASSERT_TRUE(probe->waitForMessages(1));
    EXPECT_EQ(probe->messages[0], Value("error 4"));
}

}  // namespace
