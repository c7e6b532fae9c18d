#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "CrashValues.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;

struct Child {
    pid_t pid = -1;
    int out = -1;  // the child's standard output and error
};

Child spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return {};
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    return {pid, fds[0]};
}

// Reads until `marker` appears, EOF, or the time-out; what was read.
std::string readUntil(int fd, const std::string& marker, std::chrono::milliseconds timeout) {
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (marker.empty() || got.find(marker) == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, int(left.count())) <= 0) break;
        char buf[4096];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, size_t(n));
    }
    return got;
}

// Starts the child with `args`, waits for its "ready", lets it run on for
// up to 25 ms and kills it; the child's output, or a failure.
::testing::AssertionResult killWhileRunning(const std::vector<std::string>& args, std::mt19937& rng, std::string& out) {
    Child child = spawn(args);
    if (child.pid <= 0) return ::testing::AssertionFailure() << "no child";
    out = readUntil(child.out, "ready", std::chrono::seconds(30));
    if (out.find("ready") == std::string::npos) {
        kill(child.pid, SIGKILL);
        waitpid(child.pid, nullptr, 0);
        close(child.out);
        return ::testing::AssertionFailure() << "not ready: " << out;
    }
    // The moment of the kill: anywhere in the next 25 ms of its work.
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 25000));
    kill(child.pid, SIGKILL);
    int status = 0;
    waitpid(child.pid, &status, 0);
    out += readUntil(child.out, "", std::chrono::milliseconds(0));
    close(child.out);
    if (!WIFSIGNALED(status)) return ::testing::AssertionFailure() << "it stopped by itself: " << out;
    return ::testing::AssertionSuccess();
}

TEST(CrashSafety, KilledWritersLeaveWholeValuesOrNothing) {
    TempDir tmp;
    const std::string path = (tmp / "cache").string();
    const unsigned seed = std::random_device{}();
    std::mt19937 rng(seed);
    int whole = 0, missing = 0;
    for (int round = 0; round < 200; ++round) {
        std::string out;
        ASSERT_TRUE(killWhileRunning({testsupport::built(CRASH_CHILD), "write", path, std::to_string(rng())}, rng, out))
            << "round " << round;

        auto cache = crashvalues::openCache(path);
        ASSERT_TRUE(cache) << "round " << round;
        auto report = crashvalues::verifyAll(*cache);
        ASSERT_TRUE(report.ok) << "round " << round << " (seed " << seed << "): " << report.problem;
        whole += report.whole;
        missing += report.missing;
    }
    // The rounds did save and read real values.
    EXPECT_GT(whole, 200 * crashvalues::kKeys / 4) << "seed " << seed;
    RecordProperty("whole", whole);
    RecordProperty("missing", missing);
}

// Reads record access times in memory and write them in batches: a reader
// killed anywhere (within a batch's transaction too) loses no value.
TEST(CrashSafety, KilledReadersLoseNoValue) {
    TempDir tmp;
    const unsigned seed = std::random_device{}();
    std::mt19937 rng(seed);
    for (int round = 0; round < 60; ++round) {
        const std::string path = (tmp / ("cache" + std::to_string(round % 4))).string();
        std::string out;
        ASSERT_TRUE(killWhileRunning({testsupport::built(CRASH_CHILD), "read", path, std::to_string(rng())}, rng, out))
            << "round " << round;

        auto cache = crashvalues::openCache(path);
        ASSERT_TRUE(cache) << "round " << round;
        auto report = crashvalues::verifyAll(*cache);
        ASSERT_TRUE(report.ok) << "round " << round << " (seed " << seed << "): " << report.problem;
        ASSERT_EQ(report.whole, crashvalues::kKeys) << "round " << round << " (seed " << seed << ")";
    }
}

TEST(CrashSafety, AFullDiskNeverYieldsATornValue) {
    // Needs a private mount namespace (root, or unprivileged user
    // namespaces): the child mounts a small tmpfs only it can see. When the
    // mount cannot be made, this fails rather than skips.
    TempDir tmp;
    fs::create_directories(tmp / "mnt");
    Child child = spawn({testsupport::built(CRASH_CHILD), "fulldisk", (tmp / "mnt").string()});
    ASSERT_GT(child.pid, 0);
    std::string out = readUntil(child.out, "", std::chrono::seconds(120));
    int status = 0;
    waitpid(child.pid, &status, 0);
    close(child.out);
    ASSERT_TRUE(WIFEXITED(status)) << out;
    ASSERT_NE(WEXITSTATUS(status), 2) << "no tmpfs could be mounted for the full-disk test:\n" << out;
    EXPECT_EQ(WEXITSTATUS(status), 0) << out;
    EXPECT_NE(out.find("whole values on the full disk: "), std::string::npos) << out;
    // Nothing of the tmpfs leaked into our namespace.
    EXPECT_FALSE(fs::exists(tmp / "mnt" / "cache"));
}

}  // namespace
