// The executable with a game page served from one loopback origin that
// embeds a third-party frame from a second one, clicked as a player clicks:
// the frame's link to the top goes to the desktop's browser and the game's
// page stays with its bridge; a link to another page of the game's own
// origin keeps the bridge.

#include <gtest/gtest.h>

#include "platform/foundation/Strings.h"
#include "standin/StandinServer.h"
#include "support/GameProcess.h"
#include "support/TestSupport.h"
#include "support/GameWindow.h"  // last: Xlib's macros

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

const RGB kFrameRed{220, 30, 30}, kOwnLinkGreen{30, 200, 60};

// The game's page: a frame of the other origin at the top left, a link to
// a page of its own below it, and a bridge call every 200 ms reporting the
// page's own id and how many answers it has had.
std::string gamePage(const std::string& foreign) {
    return R"HTML(<html><body style="margin: 0; height: 100vh; background: rgb(40, 120, 220)">
<iframe src=")HTML" + foreign + R"HTML(/frame.html" style="position: absolute; left: 0; top: 0; width: 200px; height: 100px; border: 0"></iframe>
<a href="/orba7/second.html" style="position: absolute; left: 0; top: 150px; width: 200px; height: 100px; background: rgb(30, 200, 60)"></a>
<script>
  var id = Math.random().toString(36).slice(2), answers = 0;
  setInterval(function () {
    KL_IOS.GetDocumentPath(function () { KL_IOS.Error('game ' + id + ' ' + (++answers)); });
  }, 200);
</script></body></html>)HTML";
}

// Another page of the game's origin uses the bridge.
const char* kSecondPage = R"HTML(<html><body><script>
  KL_IOS.GetDocumentPath(function (docs) {
    KL_IOS.CreateDir(docs + '/second', function (ok) { KL_IOS.Error('second ' + ok); });
  });
</script></body></html>)HTML";

// The third party's frame: a link that replaces the top page, a report of
// what the frame sees, and a post straight to the system channel.
std::string framePage(const std::string& foreign) {
    return R"HTML(<html><body style="margin: 0"><a href=")HTML" + foreign +
           R"HTML(/foreign.html" target="_top" style="display: block; width: 200px; height: 100px; background: rgb(220, 30, 30)"></a>
<script>
  new Image().src = '/report?where=frame&kl=' + typeof window.KL_IOS;
  try { window.webkit.messageHandlers.iOS_Sys.postMessage(JSON.stringify({name: 'CreateDir', args: 'from-frame'})); } catch (e) {}
</script></body></html>)HTML";
}

// What the third party would do as the top page.
const char* kForeignPage = R"HTML(<html><body><script>
  new Image().src = '/report?where=top&kl=' + typeof window.KL_IOS;
  if (window.KL_IOS) KL_IOS.CreateDir('pwned', function () {});
</script></body></html>)HTML";

// The reports "game <id> <answers>" so far: the last one's id and count.
std::optional<std::pair<std::string, int>> lastGameReport(const GameProcess& game) {
    std::optional<std::pair<std::string, int>> last;
    for (auto& r : game.reports()) {
        auto parts = strings::split(r, " ");
        if (parts.size() == 3 && parts[0] == "game") last = std::make_pair(parts[1], std::stoi(parts[2]));
    }
    return last;
}

bool reportedBy(standin::HttpServer& server, const std::string& where) {
    for (auto& e : server.journal().entries("/report"))
        if (e.request.param("where") == where) return true;
    return false;
}

TEST(TopFrame, AThirdPartyFramesTopLinkGoesToTheBrowserAndTheGamesOwnPagesKeepTheBridge) {
    Display* display = XOpenDisplay(nullptr);
    ASSERT_TRUE(display) << "needs a display (run under xvfb-run)";
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    standin::HttpServer pages("game"), thirdParty("third party");
    ASSERT_TRUE(pages.start());
    ASSERT_TRUE(thirdParty.start(0, "127.0.0.2"));
    const std::string foreign = thirdParty.baseURL();
    pages.on("GET", "/orba7/index/native_ios/release/index.html", [&](const standin::Request&, standin::JournalEntry&) {
        return standin::Reply::text(gamePage(foreign), "text/html");
    });
    pages.on("GET", "/orba7/second.html",
             [](const standin::Request&, standin::JournalEntry&) { return standin::Reply::text(kSecondPage, "text/html"); });
    thirdParty.on("GET", "/frame.html", [&](const standin::Request&, standin::JournalEntry&) {
        return standin::Reply::text(framePage(foreign), "text/html");
    });
    thirdParty.on("GET", "/foreign.html",
                  [](const standin::Request&, standin::JournalEntry&) { return standin::Reply::text(kForeignPage, "text/html"); });
    thirdParty.on("GET", "/report", [](const standin::Request&, standin::JournalEntry&) { return standin::Reply::text(""); });

    TempDir dir;
    fs::copy(sourceDir() / "examples/DemoGame.app", dir / "Game.app", fs::copy_options::recursive);
    auto info = Value::fromPlist(readFile(dir / "Game.app/Info.plist"));
    ASSERT_TRUE(info);
    info->set("KL_PAGE_SERVER", pages.baseURL());
    auto xml = info->toXMLPlist();
    writeFile(dir / "Game.app/Info.plist", std::string(xml.begin(), xml.end()));
    DesktopRecorder desktop(dir.path());
    GameProcess game(GameProcess::Options{dir / "Game.app", dir / "home", dir / "game.log", desktop.environment()});
    Window window = 0;
    ASSERT_TRUE(waitFor([&] { return !game.running() || (window = windowOf(display, game.pid())); },
                        std::chrono::seconds(30)))
        << game.log();
    ASSERT_TRUE(window) << game.log();
    auto shows = [&](int x, int y, RGB want) {
        return waitFor(
            [&] {
                auto p = pixel(display, window, x, y);
                return p && near(*p, want, 20);
            },
            std::chrono::seconds(30));
    };
    ASSERT_TRUE(shows(100, 50, kFrameRed)) << game.log();
    ASSERT_TRUE(waitFor([&] { return reportedBy(thirdParty, "frame"); })) << game.log();
    ASSERT_TRUE(waitFor([&] { return lastGameReport(game).has_value(); }, std::chrono::seconds(30))) << game.log();
    std::string pageId = lastGameReport(game)->first;

    // The player clicks the frame's link.
    clickIn(display, window, 100, 50);
    std::string foreignPage = foreign + "/foreign.html";
    ASSERT_TRUE(waitFor([&] { return desktop.opened() == foreignPage + "\n"; }, std::chrono::seconds(30)))
        << desktop.opened() << game.log();
    int answersThen = lastGameReport(game)->second;
    // The same game page (its id) goes on answering through the bridge.
    ASSERT_TRUE(waitFor([&] { return lastGameReport(game)->second >= answersThen + 5; })) << game.log();
    EXPECT_EQ(lastGameReport(game)->first, pageId);
    EXPECT_TRUE(game.logged("a page of another origin is not shown in the game (handed to the desktop): " + foreignPage))
        << game.log();
    // The third party's frame never had the bridge, and its page never ran
    // as the top one; nothing it asked of native code was done.
    for (auto& e : thirdParty.journal().entries("/report")) EXPECT_EQ(e.request.param("kl"), "undefined");
    EXPECT_FALSE(reportedBy(thirdParty, "top"));
    EXPECT_FALSE(fs::exists(dir / "home/Documents/pwned"));
    EXPECT_FALSE(fs::exists(dir / "home/Documents/from-frame"));

    // A page of the game's own origin keeps the bridge.
    ASSERT_TRUE(shows(100, 200, kOwnLinkGreen)) << game.log();
    clickIn(display, window, 100, 200);
    ASSERT_TRUE(waitFor([&] { return game.reported("second true"); }, std::chrono::seconds(30))) << game.log();
    EXPECT_TRUE(fs::is_directory(dir / "home/Documents/second"));
    EXPECT_EQ(desktop.opened(), foreignPage + "\n");
    EXPECT_TRUE(game.running());
    XCloseDisplay(display);
}

}  // namespace
