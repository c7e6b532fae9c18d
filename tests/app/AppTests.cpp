// The executable as a user runs it: options, and a headless run that writes
// a picture of the demo game's page.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/PlistBombs.h"
#include "support/TestSupport.h"

namespace {

int run(std::vector<std::string> args) {
    args.insert(args.begin(), testsupport::built("app/korvel-game"));
    return testsupport::runProgram(args).status;
}

TEST(App, BadOptionsAreRefusedWithUsage) {
    EXPECT_EQ(run({"--bundle", "/nonexistent/folder"}), 2);
    EXPECT_EQ(run({"--screenshot", "x.png"}), 2);  // needs --exit-after
    EXPECT_EQ(run({"--exit-after", "soon"}), 2);
    EXPECT_EQ(run({"--help"}), 0);
}

TEST(App, TheDemoRunsHeadlessAndWritesAPictureOfItsPage) {
    testsupport::TempDir dir;
    std::string png = (dir / "demo.png").string();
    ASSERT_EQ(run({"--bundle", (testsupport::sourceDir() / "examples/DemoGame.app").string(), "--home",
                   (dir / "home").string(), "--screenshot", png, "--exit-after", "3"}),
              0);
    std::string bytes = testsupport::readFile(png);
    ASSERT_GT(bytes.size(), 1000u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    // The home it was given holds the application's folders.
    EXPECT_TRUE(std::filesystem::is_directory(dir / "home/Library"));
}

// The demo launched on `home` for two seconds: its exit status (-1 for a
// signal) and what it logged.
testsupport::ProgramResult launch(const std::filesystem::path& home) {
    return testsupport::runProgram({testsupport::built("app/korvel-game"), "--bundle",
                                    (testsupport::sourceDir() / "examples/DemoGame.app").string(), "--home",
                                    home.string(), "--exit-after", "2"});
}

// A preferences file nested 200,000 levels behind quoted "/>" took the
// game down in a fifth of a second, at every launch. Launched twice on a
// home holding it, the game runs both times: the first launch refuses the
// file and sets it aside, saying so in the log, and the second starts from
// what the first wrote.
TEST(App, APreferencesFileThatOnceStoppedEveryLaunchIsSetAsideAndTheGameRuns) {
    testsupport::TempDir dir;
    auto prefs = dir / "home/Library/Preferences/com.korvel.demogame.plist";
    std::string xml = testsupport::deepXML(200000, testsupport::DeepXMLForm::quotedAttribute);
    testsupport::writeFile(prefs, xml);
    for (int time = 1; time <= 2; ++time) {
        auto run = launch(dir / "home");
        EXPECT_EQ(run.status, 0) << "launch " << time << ": " << run.err.substr(0, 3000);
        bool setAside = run.err.find(prefs.string() + " set aside, it is unreadable") != std::string::npos;
        EXPECT_EQ(setAside, time == 1) << "launch " << time << ": " << run.err.substr(0, 3000);
    }
    EXPECT_EQ(testsupport::readFile(prefs.string() + ".corrupt"), xml);
    EXPECT_TRUE(std::filesystem::exists(prefs));
}

// A launch that ended while it read the preferences (its marker is left,
// naming a process that is gone) makes the next one set the file aside
// unread, rather than be taken down by it again.
TEST(App, APreferencesFileWhoseReadingWasCutIsSetAsideUnread) {
    testsupport::TempDir dir;
    auto prefs = dir / "home/Library/Preferences/com.korvel.demogame.plist";
    Data settings = Value::dict({{"volume", 7}}).toBinaryPlist();
    testsupport::writeFile(prefs, std::string(settings.begin(), settings.end()));
    testsupport::writeFile(prefs.string() + ".reading", std::to_string(testsupport::goneProcessId()));
    auto run = launch(dir / "home");
    EXPECT_EQ(run.status, 0) << run.err.substr(0, 3000);
    EXPECT_NE(run.err.find(prefs.string() + " set aside, the last launch ended while reading it"), std::string::npos)
        << run.err.substr(0, 3000);
    EXPECT_EQ(testsupport::readFile(prefs.string() + ".corrupt"), std::string(settings.begin(), settings.end()));
    EXPECT_FALSE(std::filesystem::exists(prefs.string() + ".reading"));
}

}  // namespace
