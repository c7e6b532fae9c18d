// The executable with a game page served from one loopback origin that
// embeds a third-party frame from a second one, clicked as a player clicks:
// the frame's link to the top goes to the desktop's browser and the game's
// page stays with its bridge; a link to another page of the game's own
// origin keeps the bridge; no move of the top frame to a blank page, a
// script address, inline data, a blob or a file, and no new window, from
// the frame or from the page itself, ends the game's page. An inner frame's
// text shown as the top page brings the start page back; another host of
// the bundle's scheme is not the game's; a frame moving the top again and
// again after one click reaches the desktop once, whatever the player
// presses on the game's page meanwhile; a frame that keeps the focus gets
// nothing out of clicks on the game's page nor of keys; a content process
// that ends is logged with its reason and the player told that the game
// stopped.

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <set>

#include "platform/foundation/Strings.h"
#include "standin/StandinServer.h"
#include "support/GameProcess.h"
#include "support/TestSupport.h"
#include "support/GameWindow.h"  // last: Xlib's macros

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

const RGB kFrameRed{220, 30, 30}, kOwnLinkGreen{30, 200, 60}, kPageBlue{40, 120, 220};

// The game's page: a frame of the other origin at the top left, a link to
// a page of its own below it, and a bridge call every 200 ms reporting the
// page's own id, how many answers it has had and the host it runs under.
std::string gamePage(const std::string& frame) {
    return R"HTML(<html><body style="margin: 0; height: 100vh; background: rgb(40, 120, 220)">
<iframe src=")HTML" + frame + R"HTML(" style="position: absolute; left: 0; top: 0; width: 200px; height: 100px; border: 0"></iframe>
<a href="/orba7/second.html" style="position: absolute; left: 0; top: 150px; width: 200px; height: 100px; background: rgb(30, 200, 60)"></a>
<script>
  var id = Math.random().toString(36).slice(2), answers = 0;
  setInterval(function () {
    KL_IOS.GetDocumentPath(function () { KL_IOS.Error('game ' + id + ' ' + (++answers) + ' ' + location.host); });
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

// The game's page with a third party's frame of traps at the top left
// (six columns of 60 px, two rows), three buttons of its own below (two
// open windows, the third starts its own tries), and the same bridge calls
// as gamePage. Once started, every third answer it moves its own top frame
// to another kind of address, five in all.
std::string trappedGamePage(const std::string& foreign) {
    return R"HTML(<html><body style="margin: 0; height: 100vh; background: rgb(40, 120, 220)">
<iframe src=")HTML" + foreign + R"HTML(/traps.html" style="position: absolute; left: 0; top: 0; width: 360px; height: 120px; border: 0"></iframe>
<div onclick="window.open('about:blank')" style="position: absolute; left: 0; top: 200px; width: 60px; height: 60px; background: rgb(30, 200, 60)"></div>
<div onclick="window.open(')HTML" + foreign + R"HTML(/from-page.html')" style="position: absolute; left: 60px; top: 200px; width: 60px; height: 60px; background: rgb(30, 200, 60)"></div>
<div onclick="started = true" style="position: absolute; left: 120px; top: 200px; width: 60px; height: 60px; background: rgb(30, 200, 60)"></div>
<script>
  var gone = '<img src=")HTML" + foreign + R"HTML(/report?where=top-page">';
  var own = ['about:blank', 'data:text/html,' + encodeURIComponent(gone),
             URL.createObjectURL(new Blob([gone], {type: 'text/html'})), 'file:///etc/hostname', 'javascript:void 0'];
  var id = Math.random().toString(36).slice(2), answers = 0, tried = 0, started = false;
  setInterval(function () {
    KL_IOS.GetDocumentPath(function () {
      KL_IOS.Error('game ' + id + ' ' + (++answers));
      if (started && answers % 3 == 0 && own.length) {
        location = own.shift();
        KL_IOS.Error('page tried ' + (++tried));
      }
    });
  }, 200);
</script></body></html>)HTML";
}

// The third party's traps: the top row links to the top frame, the bottom
// row moves it from script, each to a blank page, a script address, inline
// data, a blob and a file; the last column opens windows. Any of them that
// became the top page would report it.
const char* kTrapsFrame = R"HTML(<html><body style="margin: 0; background: rgb(220, 30, 30)"><script>
  function gone(kind) { return '<img src="' + location.origin + '/report?where=top-' + kind + '">'; }
  var addresses = ['about:blank', "javascript:'" + gone('script') + "'", 'data:text/html,' + encodeURIComponent(gone('data')),
                   URL.createObjectURL(new Blob([gone('blob')], {type: 'text/html'})), 'file:///etc/hostname'];
  function square(column, row, element) {
    element.style.cssText = 'position: absolute; display: block; width: 58px; height: 58px; background: rgb(220, 30, 30); ' +
                            'left: ' + (60 * column) + 'px; top: ' + (60 * row) + 'px';
    document.body.appendChild(element);
    return element;
  }
  addresses.forEach(function (address, column) {
    var link = square(column, 0, document.createElement('a'));
    link.href = address;
    link.target = '_top';
    square(column, 1, document.createElement('div')).onclick = function () { top.location = address; };
  });
  square(5, 0, document.createElement('div')).onclick = function () { window.open('about:blank'); };
  square(5, 1, document.createElement('div')).onclick = function () { window.open(location.origin + '/from-frame.html'); };
  new Image().src = '/report?where=traps';
</script></body></html>)HTML";

// A third party's ways out after one click each, in 60 px squares: a link
// showing an inner frame's text as the top page, the same from script, and
// a loop moving the top frame to 40 pages of its own, 100 ms apart.
const char* kEscapesFrame = R"HTML(<html><body style="margin: 0; background: rgb(220, 30, 30)"><script>
  function square(column, element) {
    element.style.cssText = 'position: absolute; display: block; width: 58px; height: 58px; top: 0; ' +
                            'background: rgb(220, 30, 30); left: ' + (60 * column) + 'px';
    document.body.appendChild(element);
    return element;
  }
  var link = square(0, document.createElement('a'));
  link.href = 'about:srcdoc';
  link.target = '_top';
  square(1, document.createElement('div')).onclick = function () { top.location = 'about:srcdoc'; };
  square(2, document.createElement('div')).onclick = function () {
    var moves = 0, loop = setInterval(function () {
      top.location = location.origin + '/elsewhere.html?move=' + (++moves);
      if (moves == 40) clearInterval(loop);
    }, 100);
  };
  new Image().src = '/report?where=escapes';
</script></body></html>)HTML";

// A third party's frame that, once clicked, moves the top frame to a page
// of its own every 200 ms, 60 times.
const char* kLoopingFrame = R"HTML(<html><body style="margin: 0; background: rgb(220, 30, 30)"><script>
  document.body.onclick = function () {
    var moves = 0, loop = setInterval(function () {
      top.location = location.origin + '/elsewhere.html?move=' + (++moves);
      if (moves == 60) clearInterval(loop);
    }, 200);
  };
  new Image().src = '/report?where=looping';
</script></body></html>)HTML";

// A third party's frame that, once clicked, takes the keyboard focus back
// whenever it loses it, and moves the top frame to a page of its own each
// time it loses it (a press elsewhere) and at each key it gets: all in the
// handling of a press, none of them a press on it.
const char* kFocusTakingFrame = R"HTML(<html><body style="margin: 0; background: rgb(220, 30, 30)"><script>
  var clicked = false, moves = 0;
  document.body.onclick = function () { clicked = true; };
  setInterval(function () { if (clicked && !document.hasFocus()) window.focus(); }, 100);
  function move(why) { if (clicked) top.location = location.origin + '/elsewhere.html?' + why + '=' + (++moves); }
  window.addEventListener('blur', function () { move('blur'); });
  window.addEventListener('keydown', function () { move('key'); });
  new Image().src = '/report?where=focus-taking';
</script></body></html>)HTML";

// A third party's frame in the bundle's own page: a link that shows the
// game's page under another host of the bundle's scheme.
const char* kOtherHostFrame = R"HTML(<html><body style="margin: 0"><a href="local://elsewhere/index.html" target="_top"
  style="display: block; width: 200px; height: 100px; background: rgb(220, 30, 30)"></a>
<script>new Image().src = '/report?where=frame';</script></body></html>)HTML";

// The reports "game <id> <answers> [<host>]" so far: the last one's id and count.
std::optional<std::pair<std::string, int>> lastGameReport(const GameProcess& game) {
    std::optional<std::pair<std::string, int>> last;
    for (auto& r : game.reports()) {
        auto parts = strings::split(r, " ");
        if (parts.size() >= 3 && parts[0] == "game") last = std::make_pair(parts[1], std::stoi(parts[2]));
    }
    return last;
}

// The hosts the game's page reported running under, each once.
std::set<std::string> gameHosts(const GameProcess& game) {
    std::set<std::string> hosts;
    for (auto& r : game.reports()) {
        auto parts = strings::split(r, " ");
        if (parts.size() == 4 && parts[0] == "game") hosts.insert(parts[3]);
    }
    return hosts;
}

bool reportedBy(standin::HttpServer& server, const std::string& where) {
    for (auto& e : server.journal().entries("/report"))
        if (e.request.param("where") == where) return true;
    return false;
}

// The game (its start page from `pages`) running in a window, a third
// party's server beside it.
class TopFrame : public ::testing::Test {
protected:
    void SetUp() override {
        display = XOpenDisplay(nullptr);
        ASSERT_TRUE(display) << "needs a display (run under xvfb-run)";
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        ASSERT_TRUE(pages.start());
        ASSERT_TRUE(thirdParty.start(0, "127.0.0.2"));
        foreign = thirdParty.baseURL();
        thirdParty.on("GET", "/report", [](const standin::Request&, standin::JournalEntry&) { return standin::Reply::text(""); });
    }
    void TearDown() override {
        game.reset();
        if (display) XCloseDisplay(display);
    }
    void servePage(standin::HttpServer& server, const std::string& path, std::string html) {
        server.on("GET", path, [html](const standin::Request&, standin::JournalEntry&) {
            return standin::Reply::text(html, "text/html");
        });
    }
    // Starts the game and waits for its window: on the start page of
    // `pages`, or with `bundlePage` as the bundle's own page (at
    // local://game/, as the demo has it).
    void startGame(const std::optional<std::string>& bundlePage = std::nullopt) {
        fs::copy(sourceDir() / "examples/DemoGame.app", dir / "Game.app", fs::copy_options::recursive);
        auto info = Value::fromPlist(readFile(dir / "Game.app/Info.plist"));
        ASSERT_TRUE(info);
        if (bundlePage) writeFile(dir / "Game.app/Data/index.html", *bundlePage);
        else info->set("KL_PAGE_SERVER", pages.baseURL());
        auto xml = info->toXMLPlist();
        writeFile(dir / "Game.app/Info.plist", std::string(xml.begin(), xml.end()));
        game = std::make_unique<GameProcess>(
            GameProcess::Options{dir / "Game.app", dir / "home", dir / "game.log", desktop.environment()});
        ASSERT_TRUE(waitFor([&] { return !game->running() || (window = windowOf(display, game->pid())); },
                            std::chrono::seconds(30)))
            << game->log();
        ASSERT_TRUE(window) << game->log();
    }
    bool shows(int x, int y, RGB want) {
        return waitFor(
            [&] {
                auto p = pixel(display, window, x, y);
                return p && near(*p, want, 20);
            },
            std::chrono::seconds(30));
    }
    // The same game page answers `more` times through the bridge from now on.
    bool keepsAnswering(const std::string& pageId, int more) {
        int then = lastGameReport(*game)->second;
        return waitFor([&] {
            auto last = lastGameReport(*game);
            return last->first == pageId && last->second >= then + more;
        });
    }
    // A game page other than `pageId` (the start page loaded again) answers
    // `count` times; its id.
    std::optional<std::string> answersAgain(const std::string& pageId, int count) {
        bool again = waitFor([&] {
            auto last = lastGameReport(*game);
            return last->first != pageId && last->second >= count;
        });
        if (!again) return std::nullopt;
        return lastGameReport(*game)->first;
    }
    // The game is up with the frame of `thirdParty` reporting `where`; the
    // id of its page.
    std::string gameUp(const std::string& where) {
        EXPECT_TRUE(shows(30, 30, kFrameRed)) << game->log();
        EXPECT_TRUE(waitFor([&] { return reportedBy(thirdParty, where); })) << game->log();
        EXPECT_TRUE(waitFor([&] { return lastGameReport(*game).has_value(); }, std::chrono::seconds(30)))
            << game->log();
        auto last = lastGameReport(*game);
        return last ? last->first : "";
    }

    Display* display = nullptr;
    Window window = 0;
    standin::HttpServer pages{"game"}, thirdParty{"third party"};
    std::string foreign;
    TempDir dir;
    DesktopRecorder desktop{dir.path()};
    std::unique_ptr<GameProcess> game;
};

TEST_F(TopFrame, AThirdPartyFramesTopLinkGoesToTheBrowserAndTheGamesOwnPagesKeepTheBridge) {
    servePage(pages, "/orba7/index/native_ios/release/index.html", gamePage(foreign + "/frame.html"));
    servePage(pages, "/orba7/second.html", kSecondPage);
    servePage(thirdParty, "/frame.html", framePage(foreign));
    servePage(thirdParty, "/foreign.html", kForeignPage);
    startGame();
    ASSERT_TRUE(shows(100, 50, kFrameRed)) << game->log();
    ASSERT_TRUE(waitFor([&] { return reportedBy(thirdParty, "frame"); })) << game->log();
    ASSERT_TRUE(waitFor([&] { return lastGameReport(*game).has_value(); }, std::chrono::seconds(30))) << game->log();
    std::string pageId = lastGameReport(*game)->first;

    // The player clicks the frame's link.
    clickIn(display, window, 100, 50);
    std::string foreignPage = foreign + "/foreign.html";
    ASSERT_TRUE(waitFor([&] { return desktop.opened() == foreignPage + "\n"; }, std::chrono::seconds(30)))
        << desktop.opened() << game->log();
    // The same game page (its id) goes on answering through the bridge.
    ASSERT_TRUE(keepsAnswering(pageId, 5)) << game->log();
    EXPECT_TRUE(game->logged("a page of another origin is not shown in the game (handed to the desktop): " + foreignPage))
        << game->log();
    // The third party's frame never had the bridge, and its page never ran
    // as the top one; nothing it asked of native code was done.
    for (auto& e : thirdParty.journal().entries("/report")) EXPECT_EQ(e.request.param("kl"), "undefined");
    EXPECT_FALSE(reportedBy(thirdParty, "top"));
    EXPECT_FALSE(fs::exists(dir / "home/Documents/pwned"));
    EXPECT_FALSE(fs::exists(dir / "home/Documents/from-frame"));

    // A page of the game's own origin keeps the bridge.
    ASSERT_TRUE(shows(100, 200, kOwnLinkGreen)) << game->log();
    clickIn(display, window, 100, 200);
    ASSERT_TRUE(waitFor([&] { return game->reported("second true"); }, std::chrono::seconds(30))) << game->log();
    EXPECT_TRUE(fs::is_directory(dir / "home/Documents/second"));
    EXPECT_EQ(desktop.opened(), foreignPage + "\n");
    EXPECT_TRUE(game->running());
}

// The player clicks, one after the other, every trap of a third party's
// frame (links to the top and scripts moving it, to a blank page, a script
// address, inline data, a blob and a file; new windows), then the game
// page's own buttons that open windows, and lets the page move its own top
// frame to the same kinds of address: the game's page never goes away.
TEST_F(TopFrame, NoMoveOfTheTopFrameOrNewWindowEndsTheGamesPage) {
    servePage(pages, "/orba7/index/native_ios/release/index.html", trappedGamePage(foreign));
    servePage(thirdParty, "/traps.html", kTrapsFrame);
    startGame();
    ASSERT_TRUE(shows(30, 30, kFrameRed)) << game->log();
    ASSERT_TRUE(shows(150, 230, kOwnLinkGreen)) << game->log();
    ASSERT_TRUE(waitFor([&] { return reportedBy(thirdParty, "traps"); })) << game->log();
    ASSERT_TRUE(waitFor([&] { return lastGameReport(*game).has_value(); }, std::chrono::seconds(30))) << game->log();
    std::string pageId = lastGameReport(*game)->first;
    const std::string blankRefused = "a page without an answer of its own is not shown in the game: about:blank";

    // The frame's link to a blank top page: refused, the page answers on.
    clickIn(display, window, 30, 30);
    ASSERT_TRUE(waitFor([&] { return game->logged(blankRefused); })) << game->log();
    ASSERT_TRUE(keepsAnswering(pageId, 3)) << game->log();
    for (int trap = 1; trap < 12; ++trap) {
        int row = trap / 6, column = trap % 6;
        SCOPED_TRACE("trap " + std::to_string(row) + "," + std::to_string(column));
        clickIn(display, window, 30 + 60 * column, 30 + 60 * row);
        ASSERT_TRUE(keepsAnswering(pageId, 3)) << game->log();
    }
    std::string fromFrame = foreign + "/from-frame.html";
    ASSERT_TRUE(waitFor([&] { return desktop.opened() == fromFrame + "\n"; })) << desktop.opened() << game->log();

    // The page's own windows, then its own moves.
    for (int x : {30, 90, 150}) {
        clickIn(display, window, x, 230);
        ASSERT_TRUE(keepsAnswering(pageId, 3)) << game->log();
    }
    std::string fromPage = foreign + "/from-page.html";
    ASSERT_TRUE(waitFor([&] { return desktop.opened() == fromFrame + "\n" + fromPage + "\n"; }))
        << desktop.opened() << game->log();
    ASSERT_TRUE(waitFor([&] { return game->reported("page tried 5"); }, std::chrono::seconds(30))) << game->log();

    ASSERT_TRUE(keepsAnswering(pageId, 5)) << game->log();
    for (auto& e : thirdParty.journal().entries("/report"))
        EXPECT_FALSE(strings::hasPrefix(e.request.param("where"), "top")) << e.request.param("where");
    std::string log = game->log();
    EXPECT_EQ(strings::split(log, blankRefused).size(), 2u) << log;  // logged once
    EXPECT_TRUE(game->running());
}

// An inner frame's own text is let through before the navigation (the
// engine does not say for which frame); shown as the top page it takes the
// game's page away, and the start page comes back, by link and by script.
TEST_F(TopFrame, AnInnerFramesTextShownAsTheTopPageBringsBackTheStartPage) {
    servePage(pages, "/orba7/index/native_ios/release/index.html", gamePage(foreign + "/escapes.html"));
    servePage(thirdParty, "/escapes.html", kEscapesFrame);
    startGame();
    std::string pageId = gameUp("escapes");

    clickIn(display, window, 30, 30);  // the link
    auto again = answersAgain(pageId, 3);
    ASSERT_TRUE(again) << game->log();
    EXPECT_TRUE(game->logged("a page that is not the game's was shown; the start page is loaded again: about:srcdoc"))
        << game->log();

    ASSERT_TRUE(shows(90, 30, kFrameRed)) << game->log();
    clickIn(display, window, 90, 30);  // the script
    ASSERT_TRUE(answersAgain(*again, 3)) << game->log();
    EXPECT_EQ(gameHosts(*game), std::set<std::string>{strings::split(pages.baseURL(), "//").back()});
    EXPECT_TRUE(desktop.opened().empty()) << desktop.opened();
    EXPECT_TRUE(game->running());
}

// The bundle's page is the game's under its own host only: another host
// of the scheme is another origin, with its own storage.
TEST_F(TopFrame, AnotherHostOfTheBundlesSchemeIsNotTheGames) {
    servePage(thirdParty, "/frame.html", kOtherHostFrame);
    startGame(gamePage(foreign + "/frame.html"));
    std::string pageId = gameUp("frame");

    clickIn(display, window, 100, 50);
    ASSERT_TRUE(waitFor([&] {
        return game->logged("a page of another origin is not shown in the game: local://elsewhere/index.html");
    })) << game->log();
    ASSERT_TRUE(keepsAnswering(pageId, 3)) << game->log();
    EXPECT_EQ(gameHosts(*game), std::set<std::string>{"game"});
    EXPECT_TRUE(desktop.opened().empty()) << desktop.opened();
}

// After one click a frame moves the top frame to 40 pages of its own: one
// reaches the desktop's browser, and the rest are counted in the log.
TEST_F(TopFrame, OneClickHandsOneAddressToTheDesktop) {
    servePage(pages, "/orba7/index/native_ios/release/index.html", gamePage(foreign + "/escapes.html"));
    servePage(thirdParty, "/escapes.html", kEscapesFrame);
    servePage(thirdParty, "/elsewhere.html", kForeignPage);
    startGame();
    std::string pageId = gameUp("escapes");

    clickIn(display, window, 150, 30);
    auto lastMove = [&] {
        for (auto& e : thirdParty.journal().entries("/elsewhere.html"))
            if (e.request.param("move") == "40") return true;
        return false;
    };
    ASSERT_TRUE(waitFor(lastMove)) << game->log();
    const std::string counted =
        "web addresses not handed to the desktop (one per press of the player, asked for by what was pressed): ";
    ASSERT_TRUE(waitFor([&] { return game->logged(counted); })) << game->log();
    std::string opened = desktop.opened();
    EXPECT_EQ(std::count(opened.begin(), opened.end(), '\n'), 1) << opened;
    EXPECT_TRUE(strings::hasPrefix(opened, foreign + "/elsewhere.html?move=")) << opened;
    ASSERT_TRUE(keepsAnswering(pageId, 3)) << game->log();
    EXPECT_FALSE(reportedBy(thirdParty, "top"));
}

// The moves of the top frame to /elsewhere.html that reached the third
// party's server with `key` in their query.
int movesWith(standin::HttpServer& server, const std::string& key) {
    int n = 0;
    for (auto& e : server.journal().entries("/elsewhere.html")) n += !e.request.param(key).empty();
    return n;
}

// One click on a frame that then moves the top frame again and again, and
// four on the game's own page while it does: the first move, which the
// click started, reaches the desktop's browser; the clicks on the game's
// page let none of the others out.
TEST_F(TopFrame, ClicksOnTheGamesPageLetNoneOfAFramesMovesOut) {
    servePage(pages, "/orba7/index/native_ios/release/index.html", gamePage(foreign + "/looping.html"));
    servePage(thirdParty, "/looping.html", kLoopingFrame);
    servePage(thirdParty, "/elsewhere.html", kForeignPage);
    startGame();
    std::string pageId = gameUp("looping");
    ASSERT_TRUE(shows(100, 320, kPageBlue)) << game->log();

    clickIn(display, window, 100, 50);
    for (int click = 1; click <= 4; ++click) {
        int before = movesWith(thirdParty, "move");
        ASSERT_TRUE(waitFor([&] { return movesWith(thirdParty, "move") >= before + 2; })) << game->log();
        clickIn(display, window, 100, 320);
    }
    int before = movesWith(thirdParty, "move");
    ASSERT_TRUE(waitFor([&] { return movesWith(thirdParty, "move") >= before + 2; })) << game->log();
    EXPECT_EQ(desktop.opened(), foreign + "/elsewhere.html?move=1\n") << game->log();
    ASSERT_TRUE(keepsAnswering(pageId, 3)) << game->log();
    EXPECT_FALSE(reportedBy(thirdParty, "top"));
}

// A frame clicked once keeps the keyboard focus and moves the top frame
// whenever a click on the game's page takes the focus away, and at each
// key the player presses: none of it reaches the desktop's browser.
TEST_F(TopFrame, AFrameThatKeepsTheFocusGetsNoAddressOutOfPressesElsewhere) {
    servePage(pages, "/orba7/index/native_ios/release/index.html", gamePage(foreign + "/focus.html"));
    servePage(thirdParty, "/focus.html", kFocusTakingFrame);
    servePage(thirdParty, "/elsewhere.html", kForeignPage);
    startGame();
    std::string pageId = gameUp("focus-taking");
    ASSERT_TRUE(shows(100, 320, kPageBlue)) << game->log();

    clickIn(display, window, 100, 50);
    for (int click = 1; click <= 4; ++click) {
        RunLoop::runFor(std::chrono::milliseconds(400));  // the frame takes the focus back
        clickIn(display, window, 100, 320);
        ASSERT_TRUE(waitFor([&] { return movesWith(thirdParty, "blur") >= click; })) << game->log();
    }
    for (int key = 1; key <= 2; ++key) {
        RunLoop::runFor(std::chrono::milliseconds(400));
        xtestKey(display, XK_space);
        ASSERT_TRUE(waitFor([&] { return movesWith(thirdParty, "key") >= key; })) << game->log();
    }
    ASSERT_TRUE(keepsAnswering(pageId, 3)) << game->log();
    EXPECT_EQ(desktop.opened(), "") << game->log();
    EXPECT_FALSE(reportedBy(thirdParty, "top"));
}

// The bundle's own page sends no Referer: its button that opens a page of
// the web goes to the desktop's browser on the player's click, but not on a
// click that takes the focus from a frame, which may be the one asking (as
// the frame here does, moving the top frame as it loses the focus).
TEST_F(TopFrame, TheBundlePagesOwnWindowGoesUnlessAFrameHeldTheFocus) {
    servePage(thirdParty, "/focus.html", kFocusTakingFrame);
    servePage(thirdParty, "/elsewhere.html", kForeignPage);
    const std::string fromPage = foreign + "/from-page.html";
    startGame(strings::replaceAll(gamePage(foreign + "/focus.html"), "<a href=\"/orba7/second.html\"",
                                  "<a onclick=\"window.open('" + fromPage + "')\""));
    std::string pageId = gameUp("focus-taking");
    ASSERT_TRUE(shows(100, 200, kOwnLinkGreen)) << game->log();

    clickIn(display, window, 100, 200);
    ASSERT_TRUE(waitFor([&] { return desktop.opened() == fromPage + "\n"; })) << desktop.opened() << game->log();
    clickIn(display, window, 100, 50);  // the frame, which now keeps the focus
    RunLoop::runFor(std::chrono::milliseconds(400));
    clickIn(display, window, 100, 200);
    ASSERT_TRUE(waitFor([&] { return movesWith(thirdParty, "blur") >= 1; })) << game->log();
    ASSERT_TRUE(waitFor([&] { return game->logged("(not handed to the desktop: "); })) << game->log();
    ASSERT_TRUE(keepsAnswering(pageId, 3)) << game->log();
    EXPECT_EQ(desktop.opened(), fromPage + "\n") << game->log();
    EXPECT_FALSE(reportedBy(thirdParty, "top"));
}

// The engine's content process ends (here killed, as a crash ends it): the
// page is gone for good, standard error and the log files say why, and the
// player sees a message over the window that the game stopped, whose
// button ends the game.
TEST_F(TopFrame, AContentProcessThatEndsIsLoggedAndThePlayerToldTheGameStopped) {
    servePage(pages, "/orba7/index/native_ios/release/index.html", gamePage(foreign + "/frame.html"));
    servePage(thirdParty, "/frame.html", framePage(foreign));
    startGame();
    gameUp("frame");
    auto content = game->processesNamed("WebKitWebProces");
    ASSERT_FALSE(content.empty()) << game->log();
    for (pid_t process : content) ASSERT_EQ(::kill(process, SIGKILL), 0);

    const std::string ended = "the page's content process ended (it crashed); the page is not loaded again";
    ASSERT_TRUE(waitFor([&] { return game->logged(ended); })) << game->log();
    EXPECT_TRUE(game->running());
    // The message's box, light grey, in the middle of the window, once it has faded in.
    XWindowAttributes a;
    ASSERT_TRUE(XGetWindowAttributes(display, window, &a));
    const RGB box{247, 247, 247};
    const int inBox = a.width / 2 - 100;
    ASSERT_TRUE(waitFor([&] {
        auto p = pixel(display, window, inBox, a.height / 2);
        return p && near(*p, box, 3);
    })) << game->log();
    // Its button is the box's last row, 44 points high, under a hairline.
    int bottom = a.height / 2;
    for (int y = bottom; y < a.height && y - bottom < 4; ++y) {
        auto p = pixel(display, window, inBox, y);
        if (p && near(*p, box, 3)) bottom = y;
    }
    clickIn(display, window, a.width / 2, bottom - 22);
    ASSERT_TRUE(waitFor([&] { return !game->running(); })) << game->log();
    EXPECT_EQ(game->exitCode(), 0) << game->log();
    std::string files;
    for (auto& f : fs::directory_iterator(dir / "home/Library/Caches/Logs")) files += readFile(f.path());
    EXPECT_NE(files.find(ended), std::string::npos) << files;
}

}  // namespace
