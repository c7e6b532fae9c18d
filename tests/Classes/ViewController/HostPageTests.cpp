// The web-view host in the real engine: the local page, a start page that
// needs retries, the "local" scheme as the page sees it, script dialogs,
// and media from the scheme.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <thread>

#include "Classes/ViewController/LocalMediaServer.h"
#include "Classes/ViewController/MainViewController.h"
#include "HostTestSupport.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Strings.h"
#include "platform/web/WebTestSupport.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"
#include "plugin/iOS/RAZ5Orered/LogCapture.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"
#include "standin/StandinServer.h"

using namespace webtest;

namespace {


// A listening socket on a free loopback port.
int listenOnLoopback(int& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, 16);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

// A loopback server whose first `failures` answers are not HTTP at all, so
// those loads fail before any page; later requests get a small page.
class FlakyServer {
public:
    explicit FlakyServer(int failures) : failures_(failures) {
        fd_ = listenOnLoopback(port_);
        thread_ = std::thread([this] { serve(); });
    }
    ~FlakyServer() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
        for (auto& w : workers_) w.join();
    }
    int port() const { return port_; }
    std::atomic<int> connections{0};

private:
    void serve() {
        while (!stop_) {
            int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) return;
            // The engine may open connections it never uses: each gets its own thread.
            workers_.emplace_back([this, c] { answer(c); });
        }
    }
    void answer(int c) {
        char buf[4096];
        if (::recv(c, buf, sizeof buf, 0) <= 0) {
            ::close(c);
            return;
        }
        int n = ++connections;
        std::string reply;
        if (n <= failures_) {
            reply = "NOT HTTP\r\n\r\n";
        } else {
            std::string body = "<html><body><script>window.webkit.messageHandlers.probe.postMessage("
                               "'served ' + location.pathname + location.search)</script></body></html>";
            reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: " +
                    std::to_string(body.size()) + "\r\n\r\n" + body;
        }
        ::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
        ::shutdown(c, SHUT_RDWR);
        ::close(c);
    }
    int fd_, port_ = 0, failures_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<std::thread> workers_;
};

class HostPage : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WKWebView::engineAvailable());
        hosttest::freshBridge();
        std::string thousand;
        for (int i = 0; i < 1000; ++i) thousand += char('a' + i % 26);
        bundle.writeFile("Data/v.mp4", thousand);
        bundle.writeFile("Data/a.txt", "text file");
        bundle.writeFile("secret.txt", "outside");
        bundle.writeFile("Data/nativefiles.json", R"({"/v.mp4": {"mime": "video/mp4"}, "/a.txt": {"mime": "text/plain"}})");
        bundle.writeFile("Data/index.html",
                         "<html><body><img id=logo src='a.txt'><script>"
                         "window.webkit.messageHandlers.probe.postMessage('local ' + location.href)</script></body></html>");
    }
    void start(const Value& info) {
        bundle.setInfo(info);
        controller = std::make_shared<hosttest::ProbedController>();
        controller->view();
        window = ShownWindow(controller->webView());
    }

    testsupport::TempBundle bundle;
    std::shared_ptr<hosttest::ProbedController> controller;
    ShownWindow window;
};

TEST_F(HostPage, TheLocalFallbackPageLoadsFromTheBundle) {
    start(Value::dict({{"CFBundleIdentifier", "com.example.host"}, {"KL_URL", "local://game/"}}));
    ASSERT_TRUE(controller->probe->waitForMessages(1));
    std::string href = controller->probe->messages[0].stringOr("");
    EXPECT_TRUE(strings::hasPrefix(href, "local local://game/?timestamp=")) << href;
    // Its relative subresources come through the scheme.
    EXPECT_TRUE(waitForPage(*controller->webView(), "document.getElementById('logo').complete"));
}

TEST_F(HostPage, AStartPageThatFailsTwiceLoadsOnTheThirdTry) {
    ScopedTestClock clock;
    shelltest::LogCapture log;
    FlakyServer server(2);
    start(Value::dict({{"CFBundleIdentifier", "com.example.host"},
                       {"KL_PAGE_SERVER", "http://127.0.0.1:" + std::to_string(server.port())}}));
    for (int attempt = 1; attempt <= 2; ++attempt) {
        ASSERT_TRUE(testsupport::waitFor([&] { return controller->retryPending(); })) << attempt;
        EXPECT_TRUE(controller->probe->messages.empty());
        clock->advance(std::chrono::seconds(1));
        ASSERT_TRUE(testsupport::waitFor([&] { return !controller->retryPending(); })) << attempt;
    }
    ASSERT_TRUE(controller->probe->waitForMessages(1));
    EXPECT_TRUE(strings::hasPrefix(controller->probe->messages[0].stringOr(""),
                                   "served /orba7/index/native_ios/release/index.html?timestamp="));
    EXPECT_EQ(server.connections.load(), 3);
    EXPECT_FALSE(controller->retryPending());
    // Each failure reached the log (and so its files) with the address and the engine's reason.
    std::string address = "http://127.0.0.1:" + std::to_string(server.port()) + "/orba7/index/native_ios/release/index.html?timestamp=";
    int failures = 0;
    for (auto& line : log->flushed())
        if (strings::hasPrefix(line.message, "Load Fail " + address)) {
            ++failures;
            EXPECT_EQ(line.flag, VLLogFlagError);
            EXPECT_GT(line.message.find(": ", address.size()), address.size()) << line.message;
        }
    EXPECT_EQ(failures, 2);
}

// The bundle's extra CA is trusted by the web view as by the network layer.
TEST_F(HostPage, AStartPageSignedByTheBundlesExtraCALoads) {
    standin::HttpServer server("pages", true), stranger("stranger", true);
    server.on("GET", ".*", [](const standin::Request& r, standin::JournalEntry&) {
        return standin::Reply::text("<script>window.webkit.messageHandlers.probe.postMessage('served ' + location.pathname)</script>",
                                    "text/html");
    });
    ASSERT_TRUE(server.start() && stranger.start());
    auto info = [&](const std::string& ca) {
        return Value::dict({{"CFBundleIdentifier", "com.example.host"}, {"KL_PAGE_SERVER", server.baseURL()},
                            {"KorvelExtraCAFile", ca}});
    };
    // Another CA vouches for nothing here: the load fails (and is retried).
    start(info(stranger.caFile()));
    ASSERT_TRUE(testsupport::waitFor([&] { return controller->retryPending(); }));
    EXPECT_TRUE(controller->probe->messages.empty());

    hosttest::freshBridge();
    start(info(server.caFile()));
    ASSERT_TRUE(controller->probe->waitForMessages(1));
    EXPECT_EQ(controller->probe->messages[0], Value("served /orba7/index/native_ios/release/index.html"));
    EXPECT_FALSE(controller->retryPending());
}

TEST_F(HostPage, TheSchemeAsThePageSeesIt) {
    start(Value::dict({{"CFBundleIdentifier", "com.example.host"}, {"KL_URL", "local://game/"}}));
    ASSERT_TRUE(controller->probe->waitForMessages(1));
    auto& view = *controller->webView();
    evaluate(view, R"JS(
        window.results = {};
        function grab(key, url, init) {
          return fetch(url, init).then(function(r) {
            var h = {};
            r.headers.forEach(function(v, k) { h[k] = v; });
            return r.text().then(function(t) { results[key] = {status: r.status, headers: h, length: t.length, head: t.substring(0, 3)}; });
          }, function(e) { results[key] = 'failed'; });
        }
        Promise.all([
          grab('text', 'local://game/a.txt'),
          grab('range', 'local://game/v.mp4', {headers: {Range: 'bytes=100-199'}}),
          grab('missing', 'local://game/none.txt'),
          grab('escape', 'local://game/..%2fsecret.txt'),
          grab('dots', 'local://game/%2e%2e/secret.txt'),
        ]).then(function() { window.done = true; });
        1)JS");
    ASSERT_TRUE(waitForPage(view, "window.done"));
    Value r = evaluate(view, "results").value;
    EXPECT_EQ(r["text"].integer("status"), 200);
    EXPECT_EQ(r["text"]["headers"].str("content-type"), "text/plain");
    EXPECT_EQ(r["text"].integer("length"), 9);
    EXPECT_EQ(r["range"].integer("status"), 206);
    EXPECT_EQ(r["range"]["headers"].str("content-range"), "bytes 100-199/1000");
    EXPECT_EQ(r["range"]["headers"].str("content-length"), "100");
    EXPECT_EQ(r["range"]["headers"].str("content-type"), "video/mp4");
    EXPECT_EQ(r["range"]["headers"].str("access-control-allow-methods"), "GET, POST, OPTIONS");
    EXPECT_EQ(r["range"].integer("length"), 100);
    EXPECT_EQ(r["range"].str("head"), "wxy");  // byte 100 of the alphabet pattern
    EXPECT_EQ(r["missing"], Value("failed"));
    EXPECT_EQ(r["escape"], Value("failed"));
    // The engine folds %2e%2e itself; what remains stays inside Data.
    EXPECT_NE(r["dots"]["head"], Value("out"));
}

// A loopback server that takes connections and answers none until it ends:
// an image from it keeps the page's `load` from firing.
class SilentServer {
public:
    SilentServer() { fd_ = listenOnLoopback(port_); }
    ~SilentServer() { ::close(fd_); }
    int port() const { return port_; }

private:
    int fd_, port_ = 0;
};

// The window appears in the page's own background as soon as the page is
// parsed and styled, without waiting for its `load` (here held back for
// good by an image that never arrives).
TEST_F(HostPage, TheWindowTakesThePagesBackgroundBeforeItsLoad) {
    SilentServer silent;
    bundle.writeFile("Data/look.css", "body { background: rgb(20, 120, 60); }");
    bundle.writeFile("Data/index.html",
                     "<html><head><link rel=stylesheet href='look.css'></head><body>"
                     "<img src='http://127.0.0.1:" + std::to_string(silent.port()) + "/slow.png'>"
                     "<script>window.webkit.messageHandlers.probe.postMessage('parsed')</script></body></html>");
    start(Value::dict({{"CFBundleIdentifier", "com.example.host"}, {"KL_URL", "local://game/"}}));
    const UIColor expected = UIColor::colorWithRed(20 / 255.0, 120 / 255.0, 60 / 255.0);
    ASSERT_TRUE(testsupport::waitFor([&] { return controller->view()->backgroundColor() == expected; }));
    EXPECT_EQ(evaluate(*controller->webView(), "document.readyState").value, Value("interactive"));
}

// A game dropped into a bundle without listing its files in the table.
TEST_F(HostPage, FilesMissingFromTheTableComeWithTheTypeOfTheirName) {
    bundle.writeFile("Data/s.css", "@font-face { font-family: Dropped; src: url(f.ttf); } #t { color: rgb(1, 2, 3); font-family: Dropped; }");
    bundle.writeFile("Data/j.js", "window.scriptRan = true;");
    bundle.writeFile("Data/i.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='20' height='10'><rect width='20' height='10'/></svg>");
    std::filesystem::copy_file("/usr/share/fonts/truetype/noto/NotoSans-Regular.ttf", bundle.path() / "Data/f.ttf");
    bundle.writeFile("Data/index.html", "<html><head><link rel=stylesheet href=s.css><script src=j.js></script></head>"
                                        "<body><p id=t>text</p><img id=i src=i.svg></body></html>");
    start(Value::dict({{"CFBundleIdentifier", "com.example.host"}, {"KL_URL", "local://game/"}}));
    auto& view = *controller->webView();
    ASSERT_TRUE(waitForPage(view, "document.readyState == 'complete'"));
    // The face itself settles (the set can read "loaded" before the face starts).
    ASSERT_TRUE(waitForPage(view, "document.fonts.size == 1 &&"
                                  " ['loaded', 'error'].includes(Array.from(document.fonts)[0].status)"));
    auto seen = evaluate(view, "[getComputedStyle(document.getElementById('t')).color, window.scriptRan === true,"
                               " document.getElementById('i').naturalWidth, Array.from(document.fonts)[0].status]");
    EXPECT_EQ(seen.value, Value::array({"rgb(1, 2, 3)", true, 20, "loaded"})) << seen.value.toJSON();
}

// Another frame inside the game's page (an advertisement, a help page) may
// post to the native channels, but reaches nothing, and never learns the
// media server's address.
TEST_F(HostPage, OnlyTheGamesTopFrameReachesNativeCode) {
    bundle.writeFile("Data/inner.html", R"(<script>
        var r = {href: location.href, kl: !!window.KL_IOS, media: !!window.__localMediaRoad};
        try { r.parentReadable = !!parent.document.body; } catch (e) { r.parentReadable = false; }
        var h = window.webkit.messageHandlers;
        h.iOS_Sys.postMessage({name: 'SetClipboardText', args: 'owned'});
        h.iOS_Sys.postMessage('{"name":"SetClipboardText","args":"owned"}');
        h.iOS_Sys.postMessage('0123456789abcdef0123456789abcdef{"name":"SetClipboardText","args":"owned"}');
        h.iOS_Console.postMessage({name: 'console_error', args: 'owned'});
        h.probe.postMessage(r);
        </script>)");
    start(Value::dict({{"CFBundleIdentifier", "com.example.host"}, {"KL_URL", "local://game/"}}));
    ASSERT_TRUE(controller->probe->waitForMessages(1));
    auto& view = *controller->webView();
    EXPECT_EQ(evaluate(view, "!!window.KL_IOS && !!window.__localMediaRoad").value, Value(true));
    evaluate(view, "KL_IOS.SetClipboardText('from the game'); 1");
    size_t refused = BridgeMessage::refusedCount();
    // Same origin (the game's own folder) and another origin (the media server's).
    std::string other = controller->mediaServer()->baseURL() + "inner.html";
    evaluate(view, "['local://game/inner.html', " + strings::jsStringLiteral(other) + "].forEach(function(src) {"
                   "  var f = document.createElement('iframe'); f.src = src; document.body.appendChild(f); }); 1");
    ASSERT_TRUE(controller->probe->waitForMessages(3));
    ASSERT_TRUE(testsupport::waitFor([&] { return BridgeMessage::refusedCount() >= refused + 8; }));
    for (size_t i = 1; i < 3; ++i) {
        Value r = controller->probe->messages[i];
        bool same = strings::hasPrefix(r.str("href"), "local:");
        EXPECT_EQ(r["parentReadable"], Value(same)) << r.toJSON();
        EXPECT_EQ(r["kl"], Value(false)) << r.toJSON();
        EXPECT_EQ(r["media"], Value(false)) << r.toJSON();
    }
    evaluate(view, "KL_IOS.GetClipboardText(function(t) { window.clip = t; }); 1");
    ASSERT_TRUE(waitForPage(view, "window.clip !== undefined"));
    EXPECT_EQ(evaluate(view, "window.clip").value, Value("from the game"));
    EXPECT_EQ(BridgeMessage::refusedCount(), refused + 8);
}

TEST_F(HostPage, ScriptDialogsReturnAtOnce) {
    start(Value::dict({{"CFBundleIdentifier", "com.example.host"}}));
    ASSERT_TRUE(controller->probe->waitForMessages(1));
    auto r = evaluate(*controller->webView(), "var a = alert('hi'); [a === undefined, confirm('ok?'), prompt('name?', 'x')]");
    EXPECT_EQ(r.value, Value::array({true, true, nullptr}));
}


// This process's resident memory now, or at its peak since resetPeak().
long residentKiB(const char* field = "VmRSS:") {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (strings::hasPrefix(line, field)) return long(strings::leadingInteger(line.substr(strlen(field))));
    return 0;
}
void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// The engine forwards a scheme answer to the page's process without waiting
// for the page: read as fast as it can be, a large answer piled up in this
// process.
TEST_F(HostPage, ALargeAnswerIsNotHeldInTheProcess) {
    const off_t size = off_t(128) << 20;
    int fd = ::open((bundle.path() / "Data/big.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_EQ(::ftruncate(fd, size), 0);  // sparse: no disk, every byte still read and sent
    ::close(fd);
    start(Value::dict({{"CFBundleIdentifier", "com.example.host"}, {"KL_URL", "local://game/"}}));
    ASSERT_TRUE(controller->probe->waitForMessages(1));
    resetPeak();
    long before = residentKiB();
    evaluate(*controller->webView(), R"JS(fetch('local://game/big.bin').then(function(r) {
        var reader = r.body.getReader(), n = 0;
        function pump() {
          return reader.read().then(function(x) {
            if (x.done) return window.webkit.messageHandlers.probe.postMessage(n);
            n += x.value.length;
            return pump();
          });
        }
        return pump();
      }); 1)JS");
    ASSERT_TRUE(controller->probe->waitForMessages(2, std::chrono::seconds(60)));
    EXPECT_EQ(controller->probe->messages[1].intValue(), size);
    long grown = residentKiB("VmHWM:") - before;
    EXPECT_LT(grown, 32 << 10) << "the process grew by " << grown << " KiB";
}

// Should a page of another origin ever become the top page (here the
// host's navigation gate is taken away), it has no bridge object, and what
// it posts to a channel with the launch's token reaches nothing.
TEST_F(HostPage, APageOfAnotherOriginInTheTopFrameGetsNoBridge) {
    standin::HttpServer pages("pages"), stranger("stranger");
    pages.on("GET", ".*", [](const standin::Request&, standin::JournalEntry&) {
        return standin::Reply::text("<script>window.webkit.messageHandlers.probe.postMessage('game ' + typeof KL_IOS)</script>",
                                    "text/html");
    });
    std::string token = strings::jsStringLiteral(BridgeMessage::pageToken());
    stranger.on("GET", "/page.html", [token](const standin::Request&, standin::JournalEntry&) {
        return standin::Reply::text(
            "<script>new Image().src = '/report?kl=' + typeof window.KL_IOS;"
            "window.webkit.messageHandlers.iOS_Sys.postMessage(" + token +
                " + JSON.stringify({name: 'CreateDir', args: 'stolen'}));</script>",
            "text/html");
    });
    stranger.on("GET", "/report", [](const standin::Request&, standin::JournalEntry&) { return standin::Reply::text(""); });
    ASSERT_TRUE(pages.start() && stranger.start(0, "127.0.0.2"));
    start(Value::dict({{"CFBundleIdentifier", "com.example.host"}, {"KL_PAGE_SERVER", pages.baseURL()}}));
    ASSERT_TRUE(controller->probe->waitForMessages(1));
    EXPECT_EQ(controller->probe->messages[0], Value("game object"));

    auto& view = *controller->webView();
    auto contents = view.configuration()->userContentController();
    size_t refusedBefore = contents->refusedMessageCount();
    view.setNavigationDelegate(nullptr);
    view.loadRequest(NSURLRequest::requestWithURL(*NSURL::URLWithString(stranger.baseURL() + "/page.html")));
    ASSERT_TRUE(testsupport::waitFor([&] { return stranger.journal().count("/report") == 1; }));
    EXPECT_EQ(stranger.journal().last("/report")->request.param("kl"), "undefined");
    ASSERT_TRUE(testsupport::waitFor([&] { return contents->refusedMessageCount() > refusedBefore; }));
    EXPECT_FALSE(std::filesystem::exists(AppHome::documents() / "stolen"));
}

}  // namespace
