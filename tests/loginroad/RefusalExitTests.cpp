// A login the server refuses (error id 30001): the prompt's button ends the
// game's process with status 0, and what was logged up to then is on disk.

#include <gtest/gtest.h>

#include <algorithm>

#include "LoginRoadSupport.h"
#include "platform/foundation/Strings.h"
#include "support/TestSupport.h"

using standin::AggregatorStandin;
using standin::Reply;

namespace {

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

    auto r = testsupport::runProgram({testsupport::built(REFUSAL_CHILD), bundle.path().string(), home.path().string()});
    // Status 0 comes only from the prompt's exit: the child ends every other
    // way with status 2. (Its standard error is no witness: under the flood
    // of last words the platform log drops lines rather than block.)
    ASSERT_NE(r.status, -1) << r.err.substr(0, 4000);
    EXPECT_EQ(r.status, 0) << r.err.substr(0, 4000);
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
