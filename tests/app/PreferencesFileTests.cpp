// The executable launched on a home whose preferences file is hostile:
// XML whose keys share libplist's hash (65,536 of them once held the launch
// for 42 to 76 s, 131,072 for 374 s), a 32 MiB binary file of one-byte
// references (the game once peaked at 2.7 GB, and wrote it back). The game
// starts within seconds and stays under 1 GB, the file set aside; the
// costliest binary file within the cap reads, under 1 GB; honest files of a
// few megabytes written by plistlib read.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "platform/foundation/NSUserDefaults.h"
#include "platform/foundation/Value.h"
#include "support/PlistBombs.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

struct MeasuredLaunch {
    int status = -1;
    double seconds = 0;
    long peakKiB = 0;
    std::string log;
};

// The demo launched on `home`, quitting two seconds after it started: its
// exit status, how long it ran, its peak resident memory and its log.
MeasuredLaunch launchMeasured(const fs::path& home) {
    std::string binary = testsupport::built("app/korvel-game");
    std::string bundle = (testsupport::sourceDir() / "examples/DemoGame.app").string();
    fs::path log = home.parent_path() / "game.log";
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        dup2(fd, STDOUT_FILENO);
        dup2(fd, STDERR_FILENO);
        execl(binary.c_str(), binary.c_str(), "--bundle", bundle.c_str(), "--home", home.c_str(), "--exit-after", "2",
              nullptr);
        _exit(127);
    }
    MeasuredLaunch out;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)) out.status = WEXITSTATUS(status);
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    out.peakKiB = usage.ru_maxrss;
    out.log = testsupport::readFile(log);
    return out;
}

constexpr long kOneGiBInKiB = 1024 * 1024;
// The run's two seconds and starting up, on a hostile file; a sanitized
// build starts slower.
constexpr double kLaunchSeconds = testsupport::kMeasuresMemory ? 10 : 30;

class PreferencesFile : public ::testing::Test {
protected:
    fs::path prefs() const { return dir_ / "home/Library/Preferences/com.korvel.demogame.plist"; }

    void place(const std::string& bytes) { testsupport::writeFile(prefs(), bytes); }

    // Launched on the file in place: the game ran and stayed under 1 GB.
    MeasuredLaunch launchOnIt(const std::string& name) {
        MeasuredLaunch run = launchMeasured(dir_ / "home");
        EXPECT_EQ(run.status, 0) << name << ": " << run.log.substr(0, 3000);
        if (testsupport::kMeasuresMemory) {
            EXPECT_LT(run.peakKiB, kOneGiBInKiB) << name;
        }
        return run;
    }

    // What plistlib writes of `expression` (Python, over i), in `form`.
    std::string plistlib(const std::string& expression, const char* form) {
        std::string script = "import plistlib, sys\nsys.stdout.buffer.write(plistlib.dumps(" + expression +
                             ", fmt=plistlib.FMT_" + form + "))";
        auto run = testsupport::runProgram({"/usr/bin/python3", "-c", script});
        EXPECT_EQ(run.status, 0) << run.err;
        return run.out;
    }

    testsupport::TempDir dir_;
};

TEST_F(PreferencesFile, HostileFilesAreSetAsideAndTheGameStartsInSecondsUnder1GB) {
    using testsupport::CostlyXMLForm;
    Data dense = testsupport::denseReferences(size_t(32) << 20, 0, false);
    const std::pair<std::string, std::string> files[] = {
        {"65,536 colliding keys", testsupport::costlyXML(CostlyXMLForm::collidingKeys, 16)},
        {"131,072 colliding keys", testsupport::costlyXML(CostlyXMLForm::collidingKeys, 17)},
        {"32 MiB of one-byte references", std::string(dense.begin(), dense.end())},
    };
    for (auto& [name, bytes] : files) {
        place(bytes);
        MeasuredLaunch run = launchOnIt(name);
        EXPECT_LT(run.seconds, kLaunchSeconds) << name;
        EXPECT_NE(run.log.find(prefs().string() + " set aside"), std::string::npos) << name << ": " << run.log;
        EXPECT_TRUE(testsupport::readFile(prefs().string() + ".corrupt") == bytes) << name;
        EXPECT_LT(fs::file_size(prefs()), 1000u) << name << ": the file written since";
        fs::remove(prefs().string() + ".corrupt");
    }
}

// One-byte references to a byte of data, each copy a 32-byte block charged
// to the budget for sharing, which admits them all: 4 MiB that read as
// 370 MB, and are written back.
TEST_F(PreferencesFile, TheCostliestFileWithinTheCapReadsUnder1GB) {
    Data costly = testsupport::denseReferences(NSUserDefaults::kMaxFileSize, 0, true);
    ASSERT_TRUE(Value::fromPlist(costly));
    place(std::string(costly.begin(), costly.end()));
    MeasuredLaunch run = launchOnIt("the costliest file");
    EXPECT_EQ(run.log.find("set aside"), std::string::npos) << run.log;
    EXPECT_FALSE(fs::exists(prefs().string() + ".corrupt"));
}

// An XML dictionary of 100,000 distinct keys (2.7 MB) and a binary file of
// 50,000 records (3.5 MB), both from plistlib, read as the preferences and
// are kept whole.
TEST_F(PreferencesFile, HonestFilesOfAFewMegabytesRead) {
    const std::pair<const char*, std::string> files[] = {
        {"100,000 keys", plistlib("{'k%d' % i: i % 2 == 0 for i in range(100000)}", "XML")},
        {"50,000 records", plistlib("{'records': [{'id': i, 'name': 'player-%06d' % i, 'level': i % 100, "
                                    "'active': i % 3 == 0, 'guild': 'guild-%03d' % (i % 50)} for i in range(50000)]}",
                                    "BINARY")},
    };
    for (auto& [name, bytes] : files) {
        ASSERT_LE(bytes.size(), NSUserDefaults::kMaxFileSize) << name;
        ASSERT_GT(bytes.size(), size_t(2) << 20) << name;
        place(bytes);
        MeasuredLaunch run = launchOnIt(name);
        EXPECT_EQ(run.log.find("set aside"), std::string::npos) << name << ": " << run.log.substr(0, 3000);
        EXPECT_FALSE(fs::exists(prefs().string() + ".corrupt")) << name;
        auto kept = Value::fromPlist(testsupport::readFile(prefs()));
        ASSERT_TRUE(kept) << name;
        auto written = Value::fromPlist(bytes);
        auto& entries = *written->getDict();
        EXPECT_EQ(std::count_if(entries.begin(), entries.end(), [&](auto& e) { return (*kept)[e.first] != e.second; }), 0)
            << name;
    }
}

}  // namespace
