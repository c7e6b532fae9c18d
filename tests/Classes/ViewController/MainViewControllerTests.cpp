// The web-view host without an engine: start page choice, retries, script
// dialogs, the "local" scheme's answers, and the audit request's pieces
// (its top frame: TopFrameGuardTests).

#include <gtest/gtest.h>

#include <httplib.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <thread>

#include "Classes/ViewController/ByteRange.h"
#include "Classes/ViewController/MainViewController.h"
#include "Classes/ViewController/PageBackground.h"
#include "platform/foundation/NSUserDefaults.h"
#include "HostTestSupport.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Strings.h"
#include "platform/web/RecordingWebView.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"
#include "plugin/iOS/RAZ5Orered/PluginLog.h"
#include "plugin/iOS/RAZ5Orered/LogCapture.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"
#include "support/TestSupport.h"

namespace {


class Host : public ::testing::Test {
protected:
    void SetUp() override {
        hosttest::freshBridge();
        bundle.writeFile("Data/index.html", "<html>local page</html>");
        bundle.writeFile("Data/nativefiles.json",
                         R"({"/img/a.png": {"mime": "image/png", "encoding": "binary"}, "/v.mp4": {"mime": "video/mp4"},
                             "/odd.png": {"mime": 5}})");
        std::string thousand;
        for (int i = 0; i < 1000; ++i) thousand += char('0' + i % 10);
        bundle.writeFile("Data/v.mp4", thousand);
        bundle.writeFile("Data/img/a.png", "PNGDATA");
        bundle.writeFile("Data/sub dir/ü.txt", "unicode");
        bundle.writeFile("secret.txt", "outside Data");
    }

    std::shared_ptr<hosttest::RecordingController> start(const Value& extraInfo = Value::dict()) {
        return hosttest::startController(bundle, extraInfo);
    }
    std::shared_ptr<RecordingURLSchemeTask> get(hosttest::RecordingController& c, const std::string& url,
                                                std::optional<std::string> range = std::nullopt) {
        NSURLRequest r = NSURLRequest::requestWithURL(*NSURL::URLWithString(url));
        if (range) r.setValue(*range, "Range");
        auto task = c.recording->startSchemeTask(r);
        EXPECT_TRUE(task->waitUntilComplete()) << url;
        return task;
    }

    testsupport::TempBundle bundle;
    shelltest::LogCapture capture;
};

TEST_F(Host, WithoutAPageServerTheLocalPageLoadsWithTheConfiguredBase) {
    ScopedTestClock clock;
    clock->setWall(Clock::Wall(std::chrono::seconds(1700000000)));
    auto c = start(Value::dict({{"KL_URL", "local://game/"}}));
    ASSERT_EQ(c->recording->loads().size(), 1u);
    auto& load = c->recording->loads()[0];
    EXPECT_EQ(load.html, "<html>local page</html>");
    ASSERT_TRUE(load.baseURL);
    EXPECT_EQ(load.baseURL->absoluteString(), "local://game/?timestamp=1700000000");
    EXPECT_EQ(c->queue()->label(), "korvel_h5_file_queue");
    EXPECT_EQ(c->basePath(), (bundle.path() / "Data").string());
    EXPECT_TRUE(c->recording->configuration()->urlSchemeHandlerForURLScheme("local"));
    EXPECT_EQ(c->recording->configuration()->mediaTypesRequiringUserActionForPlayback(), 0u);
    EXPECT_TRUE(c->recording->configuration()->allowsInlineMediaPlayback());

    // KL_URL missing or empty: no base address.
    auto plain = start(Value::dict({{"KL_URL", ""}}));
    EXPECT_FALSE(plain->recording->loads().at(0).baseURL);
}

// Its web view (whose configuration holds the scheme's handler) and the
// bridge's hooks keep no controller alive.
TEST_F(Host, AControllerLetGoIsFreedWithItsWebView) {
    auto c = start(Value::dict({{"KL_URL", "local://game/"}}));
    std::weak_ptr<MainViewController> controller = c;
    std::weak_ptr<WKWebView> webView = c->webView();
    auto handler = c->webView()->configuration()->urlSchemeHandlerForURLScheme("local");
    hosttest::freshBridge();  // the bridge lets go of the web view
    c.reset();
    EXPECT_TRUE(controller.expired());
    EXPECT_TRUE(webView.expired());
    // A request still in flight when the controller went away fails.
    auto view = RecordingWebView::create();
    auto task = std::make_shared<RecordingURLSchemeTask>(NSURLRequest::requestWithURL(*NSURL::URLWithString("local://game/v.mp4")));
    handler->webView_startURLSchemeTask(*view, task);
    ASSERT_TRUE(task->error());
    EXPECT_EQ(task->error()->code, 404);
}

TEST_F(Host, APageServerGivesTheFixedPageWithAFreshTimestampEachLoad) {
    ScopedTestClock clock;
    clock->setWall(Clock::Wall(std::chrono::seconds(1700000000)));
    auto c = start(Value::dict({{"KL_PAGE_SERVER", "https://game.example.com/"}}));
    clock->setWall(Clock::Wall(std::chrono::seconds(1700000001)));
    SysPlugin::RunReload();  // the page's Reload runs Load
    RunLoop::drain();
    ASSERT_EQ(c->recording->loads().size(), 2u);
    EXPECT_EQ(c->recording->loads()[0].request->URL.absoluteString(),
              "https://game.example.com/orba7/index/native_ios/release/index.html?timestamp=1700000000");
    EXPECT_EQ(c->recording->loads()[1].request->URL.absoluteString(),
              "https://game.example.com/orba7/index/native_ios/release/index.html?timestamp=1700000001");
}

TEST_F(Host, AMissingLocalPageIsLoggedAndNothingLoads) {
    std::filesystem::remove(bundle.path() / "Data/index.html");
    auto c = start();
    EXPECT_TRUE(c->recording->loads().empty());
    auto now = capture->lines();  // written before Load returned
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(now[0].message, "index error: " + (bundle.path() / "Data/index.html").string());
    EXPECT_EQ(now[0].flag, PluginLogFlagError);
}

TEST_F(Host, OnlyTheStartPagesOwnProvisionalFailureIsRetriedOnceASecond) {
    ScopedTestClock clock;
    auto c = start(Value::dict({{"KL_PAGE_SERVER", "http://127.0.0.1:9"}}));
    auto& view = *c->recording;
    auto first = view.loads().back().navigation;
    Error unreachable(NSURLErrorDomain, -1004);

    // Cancelled or replaced loads and other navigations are not retried.
    view.didFailProvisionalNavigation(first, Error(NSURLErrorDomain, NSURLErrorCancelled));
    view.didFailProvisionalNavigation(first, Error(WebKitErrorDomain, WebKitErrorFrameLoadInterruptedByPolicyChange));
    view.didFailProvisionalNavigation(std::make_shared<WKNavigation>("http://other/"), unreachable);
    view.didFailNavigation(first, unreachable);
    EXPECT_FALSE(c->retryPending());

    // A real failure twice before the retry runs: one retry.
    view.didFailProvisionalNavigation(first, unreachable);
    view.didFailProvisionalNavigation(first, unreachable);
    EXPECT_TRUE(c->retryPending());
    clock->advance(std::chrono::milliseconds(999));
    RunLoop::drain();
    EXPECT_EQ(view.loads().size(), 1u);
    clock->advance(std::chrono::milliseconds(1));
    ASSERT_TRUE(testsupport::waitFor([&] { return view.loads().size() == 2; }));
    EXPECT_FALSE(c->retryPending());
    // The retry's own failure is retried again.
    view.didFailProvisionalNavigation(view.loads().back().navigation, unreachable);
    clock->advance(std::chrono::seconds(1));
    ASSERT_TRUE(testsupport::waitFor([&] { return view.loads().size() == 3; }));
    // The old navigation is no longer the start page's.
    view.didFailProvisionalNavigation(first, unreachable);
    EXPECT_FALSE(c->retryPending());
}

TEST_F(Host, ScriptDialogsAnswerWithoutAnyNativeDialog) {
    auto c = start();
    bool alerted = false, confirmed = false;
    std::optional<std::string> prompted = "unset";
    c->webView_runJavaScriptAlertPanelWithMessage(*c->webView(), "a", [&] { alerted = true; });
    c->webView_runJavaScriptConfirmPanelWithMessage(*c->webView(), "c", [&](bool v) { confirmed = v; });
    c->webView_runJavaScriptTextInputPanelWithPrompt(*c->webView(), "p", "d", [&](auto v) { prompted = v; });
    EXPECT_TRUE(alerted);
    EXPECT_TRUE(confirmed);
    EXPECT_FALSE(prompted);
    EXPECT_EQ(c->preferredStatusBarStyle(), UIStatusBarStyle::LightContent);
}

TEST_F(Host, LocalFilesComeWithTheirTableTypeAndTheFourHeaders) {
    auto c = start();
    auto t = get(*c, "local://any-host/img/a.png?x=1#f");
    ASSERT_TRUE(t->finished());
    EXPECT_EQ(t->body(), "PNGDATA");
    EXPECT_EQ(t->response()->statusCode, 200);
    EXPECT_EQ(t->response()->allHeaderFields,
              (HTTPHeaderFields{{"Content-Type", "image/png"}, {"Content-Length", "7"},
                                {"Access-Control-Allow-Origin", "*"}, {"Access-Control-Allow-Methods", "GET, POST, OPTIONS"}}));
    EXPECT_EQ(c->GetAssetEncoding("/img/a.png"), "binary");
    EXPECT_EQ(c->GetAssetEncoding("/nothing"), "");
    // No entry, or an entry whose mime is not text: the type of the name,
    // octet-stream when the name says nothing known.
    EXPECT_EQ(get(*c, "local://game/index.html")->response()->valueForHTTPHeaderField("Content-Type"), "text/html");
    EXPECT_EQ(c->GetAssetMIME("/odd.png"), "image/png");
    EXPECT_EQ(c->GetAssetMIME("/save.k7q"), "application/octet-stream");
    // Percent-encoded names are decoded.
    EXPECT_EQ(get(*c, "local://game/sub%20dir/%C3%BC.txt")->body(), "unicode");
}

TEST_F(Host, MissingDirectoriesAndEscapesFailWith404) {
    auto c = start();
    std::filesystem::create_symlink(bundle.path() / "secret.txt", bundle.path() / "Data/link.txt");
    for (std::string url : {"local://game/none.png", "local://game/img", "local://game/", "local://game/..%2fsecret.txt",
                            "local://game/img/..%2F..%2Fsecret.txt", "local://game/%2e%2e/secret.txt",
                            "local://game/link.txt", "local://game/none.mp4"}) {
        auto t = get(*c, url);
        ASSERT_TRUE(t->error()) << url;
        EXPECT_EQ(t->error()->domain, NSCocoaErrorDomain) << url;
        EXPECT_EQ(t->error()->code, 404) << url;
        EXPECT_FALSE(t->response()) << url;
    }
}

TEST_F(Host, VideoRangesCarryTheExactSixHeaders) {
    auto c = start();
    auto t = get(*c, "local://game/v.mp4", "bytes=100-199");
    EXPECT_EQ(t->response()->statusCode, 206);
    EXPECT_EQ(t->response()->HTTPVersion, "HTTP/1.1");
    EXPECT_EQ(t->response()->allHeaderFields,
              (HTTPHeaderFields{{"Content-Type", "video/mp4"}, {"Content-Length", "100"},
                                {"Content-Range", "bytes 100-199/1000"}, {"Connection", "keep-alive"},
                                {"Access-Control-Allow-Origin", "*"}, {"Access-Control-Allow-Methods", "GET, POST, OPTIONS"}}));
    EXPECT_EQ(t->body().size(), 100u);
    EXPECT_EQ(t->body().substr(0, 3), "012");

    struct Case {
        std::string range, contentRange;
        size_t length;
    };
    for (auto& k : std::vector<Case>{{"bytes=0-", "bytes 0-999/1000", 1000},
                                     {"bytes=500-*", "bytes 500-999/1000", 500},
                                     {"bytes=-100", "bytes 900-999/1000", 100},
                                     {"bytes=990-5000", "bytes 990-999/1000", 10}}) {
        auto r = get(*c, "local://game/v.mp4", k.range);
        EXPECT_EQ(r->response()->statusCode, 206) << k.range;
        EXPECT_EQ(r->response()->valueForHTTPHeaderField("Content-Range"), k.contentRange) << k.range;
        EXPECT_EQ(r->response()->valueForHTTPHeaderField("Content-Length"), std::to_string(k.length)) << k.range;
        EXPECT_EQ(r->body().size(), k.length) << k.range;
    }
    for (std::string bad : {"bytes=1000-", "bytes=200-100"}) {
        auto r = get(*c, "local://game/v.mp4", bad);
        EXPECT_EQ(r->response()->statusCode, 416) << bad;
        EXPECT_EQ(r->response()->valueForHTTPHeaderField("Content-Range"), "bytes */1000") << bad;
        EXPECT_TRUE(r->body().empty()) << bad;
    }
    for (std::string malformed : {"items=0-10", "bytes=100"}) {
        auto r = get(*c, "local://game/v.mp4", malformed);
        ASSERT_TRUE(r->error()) << malformed;
        EXPECT_EQ(r->error()->code, 404);
    }
    // No Range header at all: the whole file.
    auto whole = get(*c, "local://game/v.mp4");
    EXPECT_EQ(whole->response()->statusCode, 200);
    EXPECT_EQ(whole->body().size(), 1000u);
}

TEST_F(Host, LargeFilesAreHandedOverInPieces) {
    std::string big(3 * MainViewController::kReadPiece + 123, 'z');
    bundle.writeFile("Data/big.bin", big);
    auto c = start();
    auto t = get(*c, "local://game/big.bin");
    EXPECT_EQ(t->body().size(), big.size());
    EXPECT_EQ(t->dataCalls(), 4u);
    EXPECT_LE(t->largestPiece(), MainViewController::kReadPiece);
    // A task stopped before its read runs is not answered at all.
    c->queue()->suspend();
    auto stopped = c->recording->startSchemeTask(NSURLRequest::requestWithURL(*NSURL::URLWithString("local://game/big.bin")));
    c->recording->stopSchemeTask(stopped);
    c->queue()->resume();
    c->queue()->barrierSync([] {});  // everything queued before has run
    EXPECT_FALSE(stopped->finished());
    EXPECT_EQ(stopped->callsAfterEnd(), 0);
}

TEST_F(Host, AuditRequestPieces) {
    auto c = start();
    EXPECT_EQ(MainViewController::GetMD5(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(MainViewController::GetMD5("The quick brown fox jumps over the lazy dog"), "9e107d9d372bb6826bd81d3542a419d6");
    EXPECT_EQ(c->auditRequestBody("1700000000"),
              "appid=app1&gameid=g9&pack_name=com.example.host&version=7&time=1700000000&token=" +
                  MainViewController::GetMD5("5d1c0e9a7b3f42c8a6e09d17b4f2c385" "1700000000"));

    Error offline(NSURLErrorDomain, -1009);
    EXPECT_FALSE(c->evaluateAuditReply(std::nullopt, &offline));
    EXPECT_FALSE(c->evaluateAuditReply(std::string("not json"), nullptr));
    EXPECT_FALSE(c->evaluateAuditReply(std::string(R"({"data":{}})"), nullptr));
    EXPECT_FALSE(c->evaluateAuditReply(std::string(R"({"code":500})"), nullptr));
    EXPECT_FALSE(c->evaluateAuditReply(std::string(R"({"code":200,"data":{}})"), nullptr));
    auto logs = capture->flushed();
    ASSERT_EQ(logs.size(), 5u);
    EXPECT_EQ(logs[1].message, "json parse error: not json");
    EXPECT_EQ(logs[3].message, "request url: code 500");
    EXPECT_EQ(logs[3].flag, PluginLogFlagWarning);
    EXPECT_EQ(logs[4].message, R"(request url data error: {"code":200,"data":{}})");
    EXPECT_EQ(c->evaluateAuditReply(std::string(R"({"code":200,"data":{"content":"https://x/"}})"), nullptr), "https://x/");
    EXPECT_EQ(c->url(), "https://x/");
}

TEST_F(Host, TheAuditRequestPostsItsBodyKeepsTheContentAndLoadsAgain) {
    httplib::Server server;
    std::string body, contentType;
    server.Post("/api2/game_audit/geturl", [&](const httplib::Request& req, httplib::Response& res) {
        body = req.body;
        contentType = req.get_header_value("Content-Type");
        res.set_content(R"({"code":200,"data":{"content":"https://pages.example.com/"}})", "application/json");
    });
    int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { server.listen_after_bind(); });
    auto c = start(Value::dict({{"KL_AUDIT_SERVER", "http://127.0.0.1:" + std::to_string(port)}}));
    ASSERT_EQ(c->recording->loads().size(), 1u);
    c->RequestURL();
    ASSERT_TRUE(testsupport::waitFor([&] { return c->recording->loads().size() == 2; }));
    server.stop();
    serving.join();
    EXPECT_EQ(c->url(), "https://pages.example.com/");
    EXPECT_TRUE(strings::hasPrefix(body, "appid=app1&gameid=g9&pack_name=com.example.host&version=7&time=")) << body;
    EXPECT_EQ(contentType, "application/x-www-form-urlencoded");

    // Without an audit server: logged, nothing sent, nothing loaded.
    auto quiet = start();
    capture->clear();
    quiet->RequestURL();
    auto logs = capture->flushed();
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_TRUE(strings::hasPrefix(logs[0].message, "request url error: ")) << logs[0].message;
    EXPECT_EQ(quiet->recording->loads().size(), 1u);
}

TEST(ByteRangeParse, EdgesOfTheFile) {
    auto r = ByteRange::parse("bytes=-5000", 1000);
    EXPECT_EQ(r.kind, ByteRange::Kind::Satisfiable);
    EXPECT_EQ(r.start, 0u);
    EXPECT_EQ(r.end, 999u);
    EXPECT_EQ(ByteRange::parse("bytes=0-", 0).kind, ByteRange::Kind::Unsatisfiable);
    EXPECT_EQ(ByteRange::parse("bytes=-0", 10).kind, ByteRange::Kind::Unsatisfiable);
    EXPECT_EQ(ByteRange::parse("bytes 0-1", 10).kind, ByteRange::Kind::Malformed);
    auto one = ByteRange::parse("bytes=9-9", 10);
    EXPECT_EQ(one.length(), 1u);
    EXPECT_EQ(one.contentRange(10), "bytes 9-9/10");
    EXPECT_EQ(ByteRange::parse("bytes=10-", 10).contentRange(10), "bytes */10");
}

TEST(SendFileRange, PiecesStopsAndAFileThatEndsEarly) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "f", "0123456789");
    int fd = ::open((dir / "f").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::vector<std::string> pieces;
    auto collect = [&](const uint8_t* bytes, size_t n) {
        pieces.emplace_back(reinterpret_cast<const char*>(bytes), n);
        return true;
    };
    EXPECT_EQ(sendFileRange(fd, 1, 8, 3, collect), 0);
    EXPECT_EQ(pieces, (std::vector<std::string>{"123", "456", "78"}));

    // The sink stops it: nothing more is read, and that is no failure.
    pieces.clear();
    EXPECT_EQ(sendFileRange(fd, 0, 10, 4, [&](const uint8_t* b, size_t n) { return collect(b, n) && false; }), 0);
    EXPECT_EQ(pieces, (std::vector<std::string>{"0123"}));

    // More asked for than the file holds: what there is, then a failure.
    pieces.clear();
    EXPECT_EQ(sendFileRange(fd, 6, 10, 4, collect), EIO);
    EXPECT_EQ(pieces, (std::vector<std::string>{"6789"}));
    ::close(fd);
    // A read that fails gives its own error.
    int folder = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    EXPECT_EQ(sendFileRange(folder, 0, 1, 4, collect), EISDIR);
    ::close(folder);
}

// The page's background as its scripts report it: three numbers, clamped;
// anything else is no colour. Only the first good report counts.
TEST(PageBackground, ColoursAndTheFirstGoodReport) {
    using pagebackground::colourOf;
    EXPECT_EQ(colourOf(Value::array({Value(255), Value(0), Value(51)})), UIColor::colorWithRed(1, 0, 0.2));
    EXPECT_EQ(colourOf(Value::array({Value(300.0), Value(-4), Value(0)})), UIColor::colorWithRed(1, 0, 0));
    EXPECT_FALSE(colourOf(Value::array({Value(1), Value(2)})));
    EXPECT_FALSE(colourOf(Value::array({Value(1), Value("2"), Value(3)})));
    EXPECT_FALSE(colourOf(Value("rgb(1, 2, 3)")));

    std::vector<UIColor> heard;
    pagebackground::Handler handler([&](const UIColor& c) { heard.push_back(c); });
    auto channel = WKUserContentController::create();
    handler.userContentController_didReceiveScriptMessage(*channel, {pagebackground::kChannel, Value("red"), {}});
    handler.userContentController_didReceiveScriptMessage(
        *channel, {pagebackground::kChannel, Value::array({Value(0), Value(0), Value(255)}), {}});
    handler.userContentController_didReceiveScriptMessage(
        *channel, {pagebackground::kChannel, Value::array({Value(255), Value(255), Value(255)}), {}});
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0], UIColor::colorWithRed(0, 0, 1));
}

// The background kept for the next launch: read back as it was kept,
// nothing before the first launch or when what is kept is not a colour.
TEST(PageBackground, KeptForTheNextLaunch) {
    testsupport::TempHome home;
    EXPECT_FALSE(pagebackground::remembered());
    pagebackground::remember(UIColor::colorWithRed(20 / 255.0, 24 / 255.0, 43 / 255.0));
    NSUserDefaults::resetStandardUserDefaults();  // as a new process reads it
    EXPECT_EQ(pagebackground::remembered(), UIColor::colorWithRed(20 / 255.0, 24 / 255.0, 43 / 255.0));
    NSUserDefaults::standardUserDefaults().setObject("KorvelStartPageBackground", Value("#14182b"));
    EXPECT_FALSE(pagebackground::remembered());
}

}  // namespace
