// What only a process of its own can show: nothing lost when it ends right
// after logging, and a full disk in a private file system.

#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <regex>
#include <sys/wait.h>
#include <unistd.h>

#include "LogTestSupport.h"
#include "platform/foundation/Strings.h"

using namespace logtest;

namespace {

struct ChildResult {
    int status = -1;
    std::string out, err;
};

// Runs the helper with `args`; `onLine` sees each line of its standard
// output as it comes and may act on the child (by its pid).
ChildResult runChild(const std::vector<std::string>& args,
                     const std::function<void(pid_t, const std::string&)>& onLine = nullptr) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return {};
    std::vector<char*> argv;
    std::string path = testsupport::built(LOGGING_CHILD);
    argv.push_back(path.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    ChildResult r;
    std::string pending;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, 120000) <= 0) break;
        for (auto& f : fds) {
            if (f.fd < 0 || !(f.revents & (POLLIN | POLLHUP))) continue;
            char buf[4096];
            ssize_t n = read(f.fd, buf, sizeof buf);
            if (n <= 0) {
                close(f.fd);
                f.fd = -1;
                --open;
                continue;
            }
            if (f.fd == out[0]) {
                r.out.append(buf, size_t(n));
                pending.append(buf, size_t(n));
                size_t nl;
                while ((nl = pending.find('\n')) != std::string::npos) {
                    if (onLine) onLine(pid, pending.substr(0, nl));
                    pending.erase(0, nl + 1);
                }
            } else {
                r.err.append(buf, size_t(n));
            }
        }
    }
    waitpid(pid, &r.status, 0);
    return r;
}

// Every one of the 4 × 25,000 lines is in the files, each thread's in order.
void expectEveryLine(const fs::path& home) {
    auto lines = linesOfFolder(home / "Library" / "Caches" / "Logs");
    std::vector<int> next(4, 0);
    for (auto& line : lines) {
        int t, i;
        ASSERT_EQ(sscanf(line.c_str() + 25, "t%d %d", &t, &i), 2) << line;
        ASSERT_TRUE(t >= 0 && t < 4);
        ASSERT_EQ(i, next[t]) << "thread " << t;
        ++next[t];
    }
    EXPECT_EQ(next, (std::vector<int>{25000, 25000, 25000, 25000}));
}

TEST(NothingLostAtExit, ReturningFromMainRightAfterLogging) {
    testsupport::TempDir home;
    auto r = runChild({"flood", home.path().string(), "return"});
    ASSERT_TRUE(WIFEXITED(r.status) && WEXITSTATUS(r.status) == 0) << r.err;
    expectEveryLine(home.path());
}

TEST(NothingLostAtExit, ExitFromAnotherThread) {
    testsupport::TempDir home;
    auto r = runChild({"flood", home.path().string(), "exit"});
    ASSERT_TRUE(WIFEXITED(r.status) && WEXITSTATUS(r.status) == 0) << r.err;
    expectEveryLine(home.path());
}

TEST(NothingLostAtExit, SIGTERMStillEndsTheProcessAfterWritingEverything) {
    testsupport::TempDir home;
    auto r = runChild({"flood", home.path().string(), "sigterm"}, [](pid_t pid, const std::string& line) {
        if (line == "ready") kill(pid, SIGTERM);
    });
    ASSERT_TRUE(WIFSIGNALED(r.status)) << "status " << r.status << " " << r.err;
    EXPECT_EQ(WTERMSIG(r.status), SIGTERM);
    expectEveryLine(home.path());
}

// The counts in the lines "... (N lines dropped)" and "... N lines were dropped", in order.
std::vector<int> droppedCounts(const std::string& err) {
    std::vector<int> out;
    std::smatch m;
    static const std::regex count(R"(\((\d+) lines dropped\)|Writing again; (\d+) lines were dropped)");
    for (auto it = std::sregex_iterator(err.begin(), err.end(), count); it != std::sregex_iterator(); ++it)
        out.push_back(std::stoi((*it)[1].matched ? (*it)[1].str() : (*it)[2].str()));
    return out;
}

void expectPrivateMountNamespace(const ChildResult& r) {
    ASSERT_TRUE(WIFEXITED(r.status)) << r.err;
    // 2 and 3: no private mount namespace or no tmpfs here. That is a
    // failure, not a skip: the test must run where the suite runs.
    ASSERT_NE(WEXITSTATUS(r.status), 2) << r.err;
    ASSERT_NE(WEXITSTATUS(r.status), 3) << r.err;
}

TEST(DiskFull, NoEarlierLineLostNoTornLineAndEveryDroppedLineCounted) {
    testsupport::TempDir dir;
    auto r = runChild({"diskfull", dir.path().string()});
    expectPrivateMountNamespace(r);
    EXPECT_EQ(WEXITSTATUS(r.status), 0) << r.out << r.err;
    int kept = 0;
    ASSERT_EQ(sscanf(r.out.c_str(), "OK kept %d lines", &kept), 1) << r.out;
    // Reported once when it starts, not once per line.
    size_t reports = 0;
    for (size_t at = 0; (at = r.err.find("VLFileLogger: Failed to write data", at)) != std::string::npos; ++at)
        ++reports;
    EXPECT_EQ(reports, 1u) << r.err;
    // The flush before room was made, and the return to writing, tell the whole loss.
    auto counts = droppedCounts(r.err);
    ASSERT_EQ(counts.size(), 3u) << r.err;
    EXPECT_EQ(counts[1], 3000 - kept) << r.err;
    EXPECT_EQ(counts[2], 3000 - kept) << r.err;
}

TEST(ReadOnlyHome, LostLinesAreCountedAndReportedOnceNotPerLine) {
    for (const char* variant : {"with-logs", "without-logs"}) {
        SCOPED_TRACE(variant);
        testsupport::TempDir dir;
        auto r = runChild({"readonly", dir.path().string(), variant});
        expectPrivateMountNamespace(r);
        EXPECT_EQ(r.out, "OK\n") << r.err;
        EXPECT_LE(strings::split(r.err, "\n").size(), 12u) << r.err;
        auto counts = droppedCounts(r.err);
        ASSERT_FALSE(counts.empty()) << r.err;
        EXPECT_EQ(counts.back(), 3000) << r.err;
    }
}

}  // namespace
