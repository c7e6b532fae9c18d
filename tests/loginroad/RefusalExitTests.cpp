// A login the server refuses (error id 30001): the prompt's button ends the
// game's process with status 0, and what was logged up to then is on disk.

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/wait.h>
#include <unistd.h>

#include "LoginRoadSupport.h"
#include "platform/foundation/Strings.h"
#include "support/TestSupport.h"

using standin::AggregatorStandin;
using standin::Reply;

namespace {

struct ChildResult {
    int status = -1;
    std::string err;
};

ChildResult runChild(const std::vector<std::string>& args) {
    int err[2];
    if (pipe(err) != 0) return {};
    std::vector<std::string> copy = args;
    std::string path = REFUSAL_CHILD;
    std::vector<char*> argv{path.data()};
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(err[1], 2);
        close(err[0]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(err[1]);
    ChildResult r;
    char buf[4096];
    ssize_t n;
    while ((n = read(err[0], buf, sizeof buf)) > 0) r.err.append(buf, size_t(n));
    close(err[0]);
    waitpid(pid, &r.status, 0);
    return r;
}

// The lines of the log files in the folder, oldest file first.
std::vector<std::string> logLines(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (auto& e : std::filesystem::directory_iterator(dir, ec))
        if (e.path().extension() == ".log") files.push_back(e.path());
    std::sort(files.begin(), files.end(), [](auto& a, auto& b) {
        return std::filesystem::last_write_time(a) < std::filesystem::last_write_time(b);
    });
    std::vector<std::string> lines;
    for (auto& f : files)
        for (auto& line : strings::split(testsupport::readFile(f), "\n"))
            if (!line.empty()) lines.push_back(line);
    return lines;
}

TEST(RefusedLogin, ThePromptsButtonEndsTheProcessWithStatusZeroAndTheLogWritten) {
    roadtest::StandIns standIns;
    ASSERT_TRUE(standIns.start());
    for (size_t i = 0; i < standIns.aggregator.apiCount(); ++i)
        standIns.aggregator.api(i).scriptAlways(
            "/v2/users/checklogin", Reply::json(AggregatorStandin::errorReply(30001, "该账号已被禁止登录")));
    testsupport::TempDir bundle, home;
    roadtest::writeBundle(bundle.path(), roadtest::infoFor(standIns), "<html><body>refusal</body></html>");

    auto r = runChild({bundle.path().string(), home.path().string()});
    // Status 0 comes only from the prompt's exit: the child ends every other
    // way with status 2. (Its standard error is no witness: under the flood
    // of last words the platform log drops lines rather than block.)
    ASSERT_TRUE(WIFEXITED(r.status)) << r.err.substr(0, 4000);
    EXPECT_EQ(WEXITSTATUS(r.status), 0) << r.err.substr(0, 4000);
    // It ended where it should: after the server refused the checked login.
    EXPECT_EQ(standIns.aggregator.journal().count("/v2/users/checklogin"), 1u);

    // Every line the page logged before the end is in the file, the last one last.
    auto lines = logLines(home.path() / "Library" / "Caches" / "Logs");
    int words = 0;
    for (auto& line : lines)
        if (line.find("js_warn: last words ") != std::string::npos) ++words;
    EXPECT_EQ(words, 100000);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(strings::hasSuffix(lines.back(), "js_warn: last words 99999")) << lines.back();
}

}  // namespace
