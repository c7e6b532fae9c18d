// The executable as a user runs it: options, and a headless run that writes
// a picture of the demo game's page.

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

}  // namespace
