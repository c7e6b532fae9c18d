// scripts/run-demo as a player runs it, on this build and the virtual X
// server: the user centre's stand-in gets the options meant for it and
// says on standard error what it answers, and SIGTERM to the script ends
// the game and the stand-ins with it.

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Strings.h"
#include "support/TestSupport.h"

// X11 last: its macros collide with names above.
#include "support/GameWindow.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// What a file holds; "" when it cannot be read (a process that ended
// under /proc fails its reads).
std::string fileText(const fs::path& p) {
    std::string out;
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return out;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) out.append(buf, size_t(n));
    ::close(fd);
    return out;
}

// The processes whose parent is `parent`, by their pid and command line
// (arguments separated by blanks).
std::vector<std::pair<pid_t, std::string>> childrenOf(pid_t parent) {
    std::vector<std::pair<pid_t, std::string>> out;
    std::error_code ec;
    for (auto& entry : fs::directory_iterator("/proc", ec)) {
        std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::string stat = fileText(entry.path() / "stat");
        auto close = stat.rfind(')');
        if (close == std::string::npos) continue;
        auto fields = strings::split(stat.substr(close + 2), " ");
        if (fields.size() < 2 || std::atol(fields[1].c_str()) != parent) continue;
        std::string cmdline = fileText(entry.path() / "cmdline");
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        out.emplace_back(pid_t(std::atol(name.c_str())), cmdline);
    }
    return out;
}

// Every process under `root`, the root included.
std::vector<std::pair<pid_t, std::string>> treeOf(pid_t root) {
    std::vector<std::pair<pid_t, std::string>> all{{root, ""}};
    for (size_t i = 0; i < all.size(); ++i)
        for (auto& child : childrenOf(all[i].first)) all.push_back(child);
    return all;
}

bool alive(pid_t pid) { return kill(pid, 0) == 0; }

class RunDemo : public ::testing::Test {
protected:
    void TearDown() override {
        if (script > 0 && !ended) {
            for (auto& [pid, cmd] : treeOf(script)) kill(pid, SIGKILL);
            waitpid(script, nullptr, 0);
        }
        if (display) XCloseDisplay(display);
    }
    // Starts the script with `args` in folder `cwd` (the test's folder by
    // default), its output going to files of the test's folder.
    void run(const std::vector<std::string>& args, const fs::path& cwd = {}) {
        std::vector<std::string> argv{"bash", (testsupport::sourceDir() / "scripts/run-demo").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> cargv;
        for (auto& a : argv) cargv.push_back(a.data());
        cargv.push_back(nullptr);
        // This build, a folder of the test's for the run and for the game's home.
        std::vector<std::string> env{"BUILD_DIR=" + testsupport::binaryDir().string(), "TMPDIR=" + dir.path().string(),
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
    std::string errors() { return fileText(dir / "err"); }
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

    testsupport::TempDir dir;
    Display* display = nullptr;
    pid_t script = -1;
    bool ended = false;
};

TEST_F(RunDemo, StandinOptionsPassThroughAndSigtermEndsTheGame) {
    display = XOpenDisplay(nullptr);
    ASSERT_TRUE(display) << "needs a display (run under xvfb-run)";
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    run({"--real-name", "optional", "--slow", "0"});

    // The game comes up with its window; the stand-in got its options.
    std::optional<pid_t> game;
    Window window = 0;
    ASSERT_TRUE(testsupport::waitFor(
        [&] {
            game = find("app/korvel-game --bundle " + dir.path().string());
            return game && (window = testsupport::windowOf(display, *game)) != 0;
        },
        std::chrono::seconds(120)))
        << errors();
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
    std::string said = fileText(dir / "out");
    EXPECT_NE(said.find("run-demo: the game's home is " + (dir / "home").string()), std::string::npos) << said;
    // The game kept its user defaults there (the page's background, at least).
    std::error_code ec;
    EXPECT_FALSE(fs::is_empty(dir / "home/Library/Preferences", ec) || ec) << errors();
}

}  // namespace
