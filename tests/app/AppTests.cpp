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
    EXPECT_EQ(run({"--help"}), 0);
    // What is wrong is named, the wrong value with it, before the usage.
    for (auto& [args, said] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--bogus", "--exit-after", "0"}, "korvel-game: unknown option --bogus\n"},
             {{"--exit-after", "1", "stray"}, "korvel-game: unexpected argument stray\n"},
             {{"--exit-after", "soon"}, "korvel-game: --exit-after takes a number of seconds, not \"soon\"\n"}}) {
        auto result = testsupport::runProgram([&] {
            std::vector<std::string> argv{testsupport::built("app/korvel-game")};
            argv.insert(argv.end(), args.begin(), args.end());
            return argv;
        }());
        EXPECT_EQ(result.status, 2) << said;
        EXPECT_TRUE(result.err.starts_with(said + "usage: korvel-game")) << result.err;
    }
}

// A bundle whose Info.plist gives the game no settings would run a blank
// page: the game stops at once, naming the file as given and the reason.
TEST(App, ABundleWithoutAUsableInfoPlistStopsTheGame) {
    testsupport::TempDir dir;
    auto bundle = [&](const std::string& name) {
        std::filesystem::create_directories(dir / name / "Data");
        return (dir / name).string();
    };
    std::string missing = bundle("Missing.app"), dangling = bundle("Dangling.app"), folder = bundle("Folder.app"),
                broken = bundle("Broken.app");
    std::filesystem::create_symlink("../Shared/Info.plist", dir / "Dangling.app/Info.plist");
    std::filesystem::create_directories(dir / "Folder.app/Info.plist");
    testsupport::writeFile(dir / "Broken.app/Info.plist", "<plist><array/></plist>");
    for (auto& [path, said] : std::vector<std::pair<std::string, std::string>>{
             {missing, missing + "/Info.plist does not exist"},
             {dangling, dangling + "/Info.plist is a link to ../Shared/Info.plist, which does not exist"},
             {folder, folder + "/Info.plist is a folder, not a file"},
             {broken, broken + "/Info.plist holds no dictionary"}}) {
        auto result = testsupport::runProgram({testsupport::built("app/korvel-game"), "--bundle", path, "--home",
                                               (dir / "home").string(), "--exit-after", "0"});
        EXPECT_EQ(result.status, 2) << said;
        EXPECT_TRUE(result.err.starts_with("korvel-game: " + said + ";")) << result.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "home")) << "stopped before the game made its home";
}

TEST(App, TheDemoRunsHeadlessAndWritesAPictureOfItsPage) {
    testsupport::TempDir dir;
    std::string png = (dir / "demo.png").string();
    // GTK's own options are taken (and not refused as unknown).
    ASSERT_EQ(run({"--bundle", (testsupport::sourceDir() / "examples/DemoGame.app").string(), "--home",
                   (dir / "home").string(), "--class=KorvelTest", "--screenshot", png, "--exit-after", "3"}),
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
// home holding one of 150,000 (3.3 MB, within the size the preferences
// take), the game runs both times: the first launch refuses the file and
// sets it aside, saying so in the log, and the second starts from what the
// first wrote.
TEST(App, APreferencesFileThatOnceStoppedEveryLaunchIsSetAsideAndTheGameRuns) {
    testsupport::TempDir dir;
    auto prefs = dir / "home/Library/Preferences/com.korvel.demogame.plist";
    std::string xml = testsupport::deepXML(150000, testsupport::DeepXMLForm::quotedAttribute);
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
