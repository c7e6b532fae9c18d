// scripts/run-demo as a player runs it, on this build and the virtual X
// server: the user centre's stand-in gets the options meant for it and
// says on standard error what it answers, and SIGTERM to the script ends
// the game and the stand-ins with it. A game developer's own bundle runs
// from a copy pointed at the stand-ins, whatever form its Info.plist has
// and whatever product it names, and logs in with the demo account; one
// whose Info.plist cannot be read stops the script with the reason. Help
// and wrong options stop it before it builds anything.

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "UITestSupport.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/UIEventInjection.h"
#include "support/TestSupport.h"
#include "usercenter/core/ZVLoginVC.h"
#include "usercenter/core/ZVScreenWindow.h"

// X11 last: its macros collide with names above.
#include "support/GameWindow.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Every process under `root`, the root included, by pid and command line.
std::vector<std::pair<pid_t, std::string>> treeOf(pid_t root) {
    std::vector<std::pair<pid_t, std::string>> all{{root, ""}};
    for (auto& p : testsupport::processesUnder(root)) all.emplace_back(pid_t(p.pid), p.commandLine);
    return all;
}

bool alive(pid_t pid) { return kill(pid, 0) == 0; }

// A page of a developer's own: it logs in once the aggregator is ready and
// reports what onLogin brings. Dark, so that nothing of it passes for the
// login screen's blue button.
const char* kOwnPage = R"HTML(<!DOCTYPE html><html><head><meta charset="utf-8"></head>
<body style="margin: 0; height: 100vh; background: rgb(20, 24, 43)"><script>
RelaySDK_IOS.SetCallback({onLogin: function (r) { KL_IOS.Error('login ' + r.result + ' ' + r.userToken); }});
function whenReady(f) {
  RelaySDK_IOS.GetInitResult(function (c) { if (c === 0) f(); else setTimeout(function () { whenReady(f); }, 100); });
}
whenReady(function () { RelaySDK_IOS.Login(); });
</script></body></html>)HTML";

// Generous: a sanitized game on a loaded machine can take half a minute to
// map its window; every wait ends as soon as its event comes.
constexpr auto kEventBound = std::chrono::seconds(120);

// Where the login screen's parts are, laid out in this process before the
// game starts, as the game lays them out.
struct LoginPoints {
    CGPoint account, login;
};
LoginPoints loginPoints() {
    auto vc = ZVLoginVC::present([](const LoginResult&) {}, [](int64_t, const std::string&) {});
    uitest::layout();
    auto centre = [](const UIView& v) {
        CGRect f = uitest::screenFrame(v);
        return CGPoint{f.midX(), f.midY()};
    };
    LoginPoints p{centre(*vc->accountField()), centre(*uitest::findButton("登录"))};
    ZVCloseScreenWindow(vc->window());
    return p;
}

class RunDemo : public UITest {
protected:
    void TearDown() override {
        if (script > 0 && !ended) {
            for (auto& [pid, cmd] : treeOf(script)) kill(pid, SIGKILL);
            waitpid(script, nullptr, 0);
        }
        if (display) XCloseDisplay(display);
        UITest::TearDown();
    }
    void openDisplay() {
        display = XOpenDisplay(nullptr);
        ASSERT_TRUE(display) << "needs a display (run under xvfb-run)";
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    }
    // A copy of the demo bundle with a page of its own, as a newcomer starts.
    fs::path ownBundle(const std::string& name) {
        fs::path bundle = dir / name;
        fs::copy(testsupport::sourceDir() / "examples/DemoGame.app", bundle, fs::copy_options::recursive);
        testsupport::writeFile(bundle / "Data/index.html", kOwnPage);
        return bundle;
    }
    // Waits for the game the script started (from its copy of the bundle,
    // in the run's folder) and its window.
    void awaitGame() {
        ASSERT_TRUE(testsupport::waitFor(
            [&] {
                game = find("app/korvel-game --bundle " + dir.path().string());
                return game && (window = testsupport::windowOf(display, *game)) != 0;
            },
            kEventBound))
            << errors();
    }
    // The copy of the bundle the game runs from.
    fs::path runningCopy(const std::string& name) {
        for (auto& e : fs::directory_iterator(dir.path()))
            if (strings::hasPrefix(e.path().filename().string(), "korvel-demo.")) return e.path() / name;
        return {};
    }
    bool said(const std::string& text) {
        return testsupport::waitFor([&] { return errors().find(text) != std::string::npos; }, kEventBound);
    }
    bool shows(CGPoint p, testsupport::RGB want) {
        return testsupport::waitFor(
            [&] {
                auto px = testsupport::pixel(display, window, p);
                return px && testsupport::near(*px, want, 40);
            },
            kEventBound);
    }
    // Starts the script with `args` in folder `cwd` (the test's folder by
    // default), its output going to files of the test's folder.
    // `buildDir` replaces this build (a folder no build is in, to see that
    // nothing is built).
    void run(const std::vector<std::string>& args, const fs::path& cwd = {}, const fs::path& buildDir = {}) {
        std::vector<std::string> argv{"bash", (testsupport::sourceDir() / "scripts/run-demo").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> cargv;
        for (auto& a : argv) cargv.push_back(a.data());
        cargv.push_back(nullptr);
        // This build, a folder of the test's for the run and for the game's home.
        std::vector<std::string> env{"BUILD_DIR=" + (buildDir.empty() ? testsupport::binaryDir() : buildDir).string(),
                                     "TMPDIR=" + dir.path().string(),
                                     "KORVEL_HOME=" + (dir / "home").string(), "JOBS=1"};
        for (char** e = environ; *e; ++e) {
            std::string v = *e;
            bool replaced = false;
            for (const char* name : {"BUILD_DIR=", "TMPDIR=", "KORVEL_HOME=", "JOBS=", "CMAKE_ARGS="})
                replaced = replaced || strings::hasPrefix(v, name);
            if (!replaced) env.push_back(v);
        }
        std::vector<char*> cenv;
        for (auto& e : env) cenv.push_back(e.data());
        cenv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, (dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&files, 2, (dir / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addchdir_np(&files, (cwd.empty() ? dir.path() : cwd).c_str());
        ASSERT_EQ(posix_spawn(&script, "/bin/bash", &files, nullptr, cargv.data(), cenv.data()), 0);
        posix_spawn_file_actions_destroy(&files);
    }
    std::string errors() { return testsupport::readFile(dir / "err"); }
    // A process under the script whose command line holds `text`.
    std::optional<pid_t> find(const std::string& text) {
        for (auto& [pid, cmd] : treeOf(script))
            if (cmd.find(text) != std::string::npos) return pid;
        return std::nullopt;
    }
    bool scriptEnded(int& status) {
        if (!ended && waitpid(script, &status, WNOHANG) == script) ended = true;
        return ended;
    }
    // Runs the script to its end, on a build folder that does not exist;
    // its exit status. The script stops before it builds anything: the
    // folder stays missing, and no run's folder was made.
    int runWithoutBuilding(const std::vector<std::string>& args) {
        ended = false;
        run(args, {}, dir / "no-build");
        int status = 0;
        if (!testsupport::waitFor([&] { return scriptEnded(status); }, std::chrono::seconds(30))) {
            ADD_FAILURE() << "the script went on\n" << errors();
            for (auto& [pid, cmd] : treeOf(script)) kill(pid, SIGKILL);
            waitpid(script, &status, 0);
            ended = true;
        }
        EXPECT_FALSE(fs::exists(dir / "no-build")) << "it began to build";
        for (auto& e : fs::directory_iterator(dir.path()))
            EXPECT_FALSE(strings::hasPrefix(e.path().filename().string(), "korvel-demo.")) << "it began a run";
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    testsupport::TempDir dir;
    Display* display = nullptr;
    Window window = 0;
    std::optional<pid_t> game;
    pid_t script = -1;
    bool ended = false;
};

TEST_F(RunDemo, StandinOptionsPassThroughAndSigtermEndsTheGame) {
    ASSERT_NO_FATAL_FAILURE(openDisplay());
    run({"--real-name", "optional", "--slow", "0"});

    // The game comes up with its window; the stand-in got its options.
    ASSERT_NO_FATAL_FAILURE(awaitGame());
    auto standin = find("usercentre-standin --fixtures tools/standin/fixtures --real-name optional --slow 0");
    ASSERT_TRUE(standin) << errors();
    // It tells what it answers: the game's launch asked for the SDK's information.
    ASSERT_TRUE(testsupport::waitFor([&] { return errors().find("POST /sdkapicoupon2/Sdkhome/sdkinfo -> 200") != std::string::npos; },
                                     std::chrono::seconds(30)))
        << errors();

    // SIGTERM to the script ends the game, then the stand-ins, then the script.
    ASSERT_EQ(kill(script, SIGTERM), 0);
    int status = 0;
    ASSERT_TRUE(testsupport::waitFor([&] { return scriptEnded(status); }, std::chrono::seconds(60))) << errors();
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_NE(WEXITSTATUS(status), 0);
    EXPECT_TRUE(testsupport::waitFor([&] { return !alive(*game) && !alive(*standin); }, std::chrono::seconds(30)));
    // Its folder of the run is gone with it.
    bool leftovers = false;
    for (auto& e : fs::directory_iterator(dir.path()))
        leftovers = leftovers || strings::hasPrefix(e.path().filename().string(), "korvel-demo.");
    EXPECT_FALSE(leftovers);
}

// Run from another folder: a relative screenshot lands in that folder, and
// --fresh-home starts the game on an empty home (the one KORVEL_HOME names,
// as the script says), where the game then keeps its user defaults.
TEST_F(RunDemo, PathsAreTheCallersAndAFreshHomeStartsEmpty) {
    fs::create_directories(dir / "caller");
    fs::create_directories(dir / "home");
    { std::ofstream(dir / "home/left-by-an-earlier-run") << "x"; }
    run({"--fresh-home", "--screenshot", "shot.png", "--exit-after", "4"}, dir / "caller");
    int status = 0;
    ASSERT_TRUE(testsupport::waitFor([&] { return scriptEnded(status); }, std::chrono::seconds(240))) << errors();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << errors();
    EXPECT_EQ(testsupport::readFile(dir / "caller/shot.png").substr(0, 8), "\x89PNG\r\n\x1a\n") << errors();
    EXPECT_FALSE(fs::exists(dir / "home/left-by-an-earlier-run"));
    std::string said = testsupport::readFile(dir / "out");
    EXPECT_NE(said.find("run-demo: the game's home is " + (dir / "home").string()), std::string::npos) << said;
    // The game kept its user defaults there (the page's background, at least).
    std::error_code ec;
    EXPECT_FALSE(fs::is_empty(dir / "home/Library/Preferences", ec) || ec) << errors();
}

// The newcomer's road: a copy of the demo with a page of its own, started
// with --bundle from its folder, logs in with the demo account through the
// login screen; the aggregator checks the login (its token, not one made on
// the device). The bundle itself is left as it was.
TEST_F(RunDemo, ANewcomersOwnBundleLogsInWithTheDemoAccount) {
    LoginPoints points = loginPoints();
    ASSERT_NO_FATAL_FAILURE(openDisplay());
    fs::path bundle = ownBundle("MyGame.app");
    const std::string info = testsupport::readFile(bundle / "Info.plist");
    run({"--bundle", "MyGame.app"});
    ASSERT_NO_FATAL_FAILURE(awaitGame());

    ASSERT_TRUE(shows(points.login, {0x49, 0x88, 0xFD})) << errors();  // the login screen's blue button
    testsupport::clickIn(display, window, int(points.account.x), int(points.account.y));
    testsupport::xtestType(display, "demo");
    testsupport::xtestKey(display, XK_Return);
    testsupport::xtestType(display, "123456");
    testsupport::xtestKey(display, XK_Return);
    ASSERT_TRUE(said("js_error: login 0 ")) << errors();
    EXPECT_TRUE(said("usercentre-standin: POST /sdkapicoupon2/login/dologin -> 200"));
    EXPECT_TRUE(said("POST /v2/users/checklogin -> 200 json {"));
    std::string report = errors().substr(errors().find("js_error: login 0 "));
    EXPECT_EQ(report.substr(0, report.find('\n')).find("|||"), std::string::npos) << "a token made on the device";
    EXPECT_EQ(testsupport::readFile(bundle / "Info.plist"), info);
}

// A bundle whose Info.plist is binary (as plistutil writes it) and names
// servers of its own, and whose encrypted channel file names another
// product: the copy's Info.plist stays binary and takes the stand-ins'
// addresses in place of the game's (the script names those it replaced),
// and the aggregator's stand-in reads the requests signed with that
// product's key.
TEST_F(RunDemo, ABinaryInfoPlistAndAProductOfItsOwnArePointedAtTheStandins) {
    ASSERT_NO_FATAL_FAILURE(openDisplay());
    fs::path bundle = ownBundle("Other.app");
    auto plist = Value::fromPlist(testsupport::readFile(bundle / "Info.plist"));
    ASSERT_TRUE(plist);
    plist->set("ZORVIA_SERVER_URL", "https://sdk.example.invalid/");
    plist->set("RELAY_API_SERVER_URL", "https://api.example.invalid");
    auto xml = plist->toXMLPlist();
    testsupport::writeFile(dir / "Info.xml", std::string(xml.begin(), xml.end()));
    ASSERT_EQ(testsupport::runProgram({"/usr/bin/plistutil", "-i", (dir / "Info.xml").string(), "-o",
                                       (bundle / "Info.plist").string(), "-f", "bin"}).status,
              0);
    testsupport::writeFile(dir / "channel.txt", "channel_type=977\nproduct_code=P200\nproduct_key=k200-key\n");
    ASSERT_EQ(testsupport::runProgram({"/bin/bash",
                                       (testsupport::sourceDir() / "tests/aggregator/fixtures/make-channel-fixtures.sh").string(),
                                       (dir / "channel.txt").string(), (dir / "channel").string()})
                  .status,
              0);
    fs::copy_file(dir / "channel/relayChannel-encrypted.cfg", bundle / "relayChannel.cfg",
                  fs::copy_options::overwrite_existing);
    const std::string info = testsupport::readFile(bundle / "Info.plist");
    ASSERT_EQ(info.substr(0, 8), "bplist00");

    run({"--bundle", bundle.string()});
    ASSERT_NO_FATAL_FAILURE(awaitGame());
    EXPECT_TRUE(said("usercentre-standin: POST /sdkapicoupon2/Sdkhome/sdkinfo -> 200"));
    // The stand-in read the envelope, sealed with P200's key: it took the
    // product the way the game reads it.
    EXPECT_TRUE(said("POST /v1/api/init -> 200 json {"));
    EXPECT_NE(find("aggregator-standin --product-of " + runningCopy("Other.app").string()), std::nullopt);
    std::string copied = testsupport::readFile(runningCopy("Other.app") / "Info.plist");
    EXPECT_EQ(copied.substr(0, 8), "bplist00");
    auto read = Value::fromPlist(copied);
    ASSERT_TRUE(read);
    EXPECT_TRUE(strings::hasPrefix(read->text("ZORVIA_SERVER_URL"), "http://127.0.0.1:")) << read->text("ZORVIA_SERVER_URL");
    EXPECT_EQ(read->text("CFBundleIdentifier"), "com.korvel.demogame");
    std::string out = testsupport::readFile(dir / "out");
    EXPECT_NE(out.find("run-demo: the stand-ins' settings replace the game's own: RELAY_API_SERVER_URL ZORVIA_SERVER_URL"),
              std::string::npos)
        << out;
    EXPECT_EQ(testsupport::readFile(bundle / "Info.plist"), info);
}

// --help tells the script's own options and the game's, and stops there.
TEST_F(RunDemo, HelpTellsEveryOptionAndStopsBeforeAnythingIsBuilt) {
    EXPECT_EQ(runWithoutBuilding({"--bundle", "Nowhere.app", "--help"}), 0);
    std::string help = testsupport::readFile(dir / "out");
    for (auto* option : {"--bundle PATH", "--home PATH", "--fresh-home", "--real-name optional|mandatory",
                         "--slow SECONDS", "-h, --help", "--exit-after SECONDS", "--screenshot FILE.png",
                         "demo / 123456"})
        EXPECT_NE(help.find(option), std::string::npos) << option << "\n" << help;
    EXPECT_EQ(errors(), "");
}

// A value the stand-in would refuse is named with its option at once.
TEST_F(RunDemo, AWrongValueIsNamedWithItsOptionBeforeAnythingIsBuilt) {
    for (auto& [args, said] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--real-name", "maybe"}, "run-demo: --real-name takes optional or mandatory, not \"maybe\""},
             {{"--slow", "abc"}, "run-demo: --slow takes a number of seconds from 0 to 600, not \"abc\""},
             {{"--slow", "601"}, "run-demo: --slow takes a number of seconds from 0 to 600, not \"601\""}}) {
        EXPECT_EQ(runWithoutBuilding(args), 2) << said;
        EXPECT_TRUE(strings::hasPrefix(errors(), said)) << errors();
    }
}

// A bundle whose Info.plist gives the game no settings (the page would be
// blank) stops the script before anything is built, naming the file in the
// bundle as given (not in the run's copy) and the reason; the bundle is
// left as it was.
TEST_F(RunDemo, ABundleWithoutAUsableInfoPlistStopsTheScriptWithTheReason) {
    const std::string cut = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>KL_URL</key>";
    struct Case {
        std::string name, said;
        std::function<void(const fs::path&)> make;
    };
    for (auto& [name, said, make] : std::vector<Case>{
             {"Missing.app", "does not exist", [](const fs::path& info) { fs::remove(info); }},
             {"Dangling.app", "is a link to ../Gone/Info.plist, which does not exist",
              [](const fs::path& info) {
                  fs::remove(info);
                  fs::create_symlink("../Gone/Info.plist", info);
              }},
             {"Folder.app", "is a folder, not a file",
              [](const fs::path& info) {
                  fs::remove(info);
                  fs::create_directory(info);
              }},
             {"Broken.app", "cannot be read (", [&](const fs::path& info) { testsupport::writeFile(info, cut); }}}) {
        fs::path bundle = ownBundle(name);
        make(bundle / "Info.plist");
        EXPECT_NE(runWithoutBuilding({"--bundle", name}), 0) << name;
        std::string err = errors();
        EXPECT_TRUE(strings::hasPrefix(err, "run-demo: " + (bundle / "Info.plist").string() + " " + said)) << err;
        EXPECT_EQ(err.find("korvel-demo."), std::string::npos) << err;
        EXPECT_EQ(testsupport::readFile(dir / "out").find("stand-ins ready"), std::string::npos);
    }
    EXPECT_EQ(testsupport::readFile(dir / "Broken.app/Info.plist"), cut);
}

}  // namespace
