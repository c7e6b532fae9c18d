// The console logger: colour modes from the environment, escape sequences
// byte for byte, profile choice, and the line layout on standard error.

#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "logging/VLTTYLogger.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/Strings.h"

using namespace logtest;

namespace {

const VLColor kErrorColor = VLColor::rgb(214, 57, 30);
const VLColor kWarningColor = VLColor::rgb(204, 121, 32);

// Sets the two variables for the object's life and makes the console
// logger read them afresh.
class Environment {
public:
    Environment(const char* xcodeColors, const char* term) {
        save("XcodeColors", xcodeColors);
        save("TERM", term);
        VLTTYLogger::resetSharedStateForTesting();
    }
    ~Environment() {
        for (auto& [name, value] : saved_) {
            if (value) setenv(name.c_str(), value->c_str(), 1);
            else unsetenv(name.c_str());
        }
        LoggingTest::resetLogging();
        VLTTYLogger::resetSharedStateForTesting();
    }

private:
    void save(const char* name, const char* value) {
        const char* old = getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(TTYColours, TheModeComesFromTheEnvironment) {
    struct Case {
        const char* xcode;
        const char* term;
        VLTTYColorMode mode;
    };
    for (const Case& c : {Case{nullptr, nullptr, VLTTYColorMode::Plain}, Case{nullptr, "xterm", VLTTYColorMode::Plain},
                          Case{nullptr, "XTERM-COLOR", VLTTYColorMode::Terminal16},
                          Case{nullptr, "xterm-256color", VLTTYColorMode::Terminal256},
                          Case{"YES", "xterm-256color", VLTTYColorMode::XcodeColors},
                          Case{"yes", "xterm-color", VLTTYColorMode::Terminal16}}) {
        Environment env(c.xcode, c.term);
        EXPECT_EQ(VLTTYLogger::colorMode(), c.mode) << (c.term ? c.term : "no TERM");
        EXPECT_EQ(VLTTYLogger::sharedInstance(), VLTTYLogger::sharedInstance());
    }
}

TEST(TTYColours, SixteenColourSequences) {
    VLTTYLoggerColorProfile error(kErrorColor, std::nullopt, VLLogFlagError, VLTTYAnyContext,
                                  VLTTYColorMode::Terminal16);
    EXPECT_EQ(error.fgCodeIndex, 1u);
    EXPECT_EQ(error.fgCode, "\x1b[31m");
    EXPECT_EQ(error.bgCode, "");
    EXPECT_EQ(error.resetCode, "\x1b[0m");
    VLTTYLoggerColorProfile warning(kWarningColor, VLColor::rgb(250, 60, 30), VLLogFlagWarning, 0,
                                    VLTTYColorMode::Terminal16);
    EXPECT_EQ(warning.fgCodeIndex, 3u);
    EXPECT_EQ(warning.fgCode, "\x1b[33m");
    EXPECT_EQ(warning.bgCodeIndex, 9u);  // the bright red
    EXPECT_EQ(warning.bgCode, "\x1b[1;41m");
    EXPECT_EQ(warning.fg_r, 204);
    EXPECT_EQ(warning.bg_b, 30);
    EXPECT_NE(warning.description().find("mask:2 ctxt:0 fg:204,121,32 bg:250,60,30 fgCode:33m bgCode:1;41m"),
              std::string::npos);
}

TEST(TTYColours, TwoHundredFiftySixColourTableKeepsTheKnownRows) {
    const auto& table = VLTTYLogger::table256();
    ASSERT_EQ(table.size(), 240u);
    struct Row {
        int code, r, g, b;
    };
    for (Row row : {Row{16, 47, 49, 49}, Row{21, 88, 51, 255}, Row{46, 27, 254, 30}, Row{196, 255, 61, 30},
                    Row{226, 251, 252, 15}, Row{231, 254, 255, 255}, Row{232, 52, 53, 53}, Row{255, 240, 242, 242}}) {
        const auto& e = table[size_t(row.code - 16)];
        EXPECT_EQ(e.fg, strings::format("38;5;%dm", row.code));
        EXPECT_EQ(e.bg, strings::format("48;5;%dm", row.code));
        EXPECT_EQ(VLColor::rgb(uint8_t(row.r), uint8_t(row.g), uint8_t(row.b)).red, e.color.red) << row.code;
        EXPECT_EQ(VLColor::rgb(uint8_t(row.r), uint8_t(row.g), uint8_t(row.b)).blue, e.color.blue) << row.code;
        // A known colour finds its own row.
        EXPECT_EQ(VLTTYLogger::codeIndexForColor(e.color, VLTTYColorMode::Terminal256), uint64_t(row.code - 16));
    }
    VLTTYLoggerColorProfile error(kErrorColor, std::nullopt, VLLogFlagError, 0, VLTTYColorMode::Terminal256);
    EXPECT_EQ(error.fgCode, "\x1b[" + table[error.fgCodeIndex].fg);
    EXPECT_EQ(error.resetCode, "\x1b[0m");
}

TEST(TTYColours, XcodeColorsAndPlainSequences) {
    VLTTYLoggerColorProfile xcode(kErrorColor, VLColor::rgb(1, 2, 3), VLLogFlagError, 0, VLTTYColorMode::XcodeColors);
    EXPECT_EQ(xcode.fgCode, "\x1b[fg214,57,30;");
    EXPECT_EQ(xcode.bgCode, "\x1b[bg1,2,3;");
    EXPECT_EQ(xcode.resetCode, "\x1b[;");
    EXPECT_EQ(xcode.fgCodeRaw, "");
    VLTTYLoggerColorProfile plain(kErrorColor, kWarningColor, VLLogFlagError, 0, VLTTYColorMode::Plain);
    EXPECT_EQ(plain.fgCode + plain.bgCode + plain.resetCode, "");
    EXPECT_EQ(VLTTYLogger::codeIndexForColor(kErrorColor, VLTTYColorMode::Plain), 0u);
}

VLLogMessagePtr record(const char* text, uint64_t flag, int64_t context = 0, Value tag = {}) {
    auto when = *NSDateFormatter("yyyy-MM-dd HH:mm:ss.SSS", NSDateFormatter::TimeZone::local())
                     .dateFromString("2024-03-05 07:08:09.250");
    auto m = std::make_shared<VLLogMessage>(text, VLLogLevelAll, flag, context, "f", "fn", 1, std::move(tag), 0, when);
    m->setThreadFactsForTesting("4660", "", "", 0);
    return m;
}

// Writes records through the shared console logger and answers what
// reached standard error.
std::string written(const std::shared_ptr<VLTTYLogger>& logger, std::vector<VLLogMessagePtr> records) {
    VLLog::syncOnLoggingQueue([] {});  // settings changed so far have been posted
    StderrCapture err;
    logger->loggerQueue()->sync([&] { logger->logMessages(records); });
    err.restore();
    return err.text();
}

TEST(TTYLogger, ThePlainLineLayoutAfterTheStartUpWarning) {
    Environment env(nullptr, nullptr);
    StderrCapture err;
    auto logger = VLTTYLogger::sharedInstance();
    err.restore();
    EXPECT_NE(err.text().find("VarmelundLogging: Warning: Usage of VLTTYLogger detected when VLOSLogger is available "
                              "and can be used! Please consider migrating to VLOSLogger."),
              std::string::npos)
        << err.text();
    std::string head = "2024-03-05 07:08:09:250 " + logger->appName() + "[" + logger->processID() + ":4660] ";
    EXPECT_EQ(written(logger, {record("hello", VLLogFlagInfo)}), head + "hello\n");
    EXPECT_EQ(written(logger, {record("ends\n", VLLogFlagInfo)}), head + "ends\n");
    EXPECT_EQ(logger->processID(), std::to_string(getpid()));
    EXPECT_EQ(logger->loggerName(), "varmelund.logging.ttyLogger");

    // Only the first 8 bytes of a thread id.
    auto m = std::make_shared<VLLogMessage>(*record("x", VLLogFlagInfo));
    m->setThreadFactsForTesting("1234567890", "", "", 0);
    EXPECT_NE(written(logger, {m}).find("[" + logger->processID() + ":12345678] x"), std::string::npos);
}

TEST(TTYLogger, FormattedLinesAndTheirLineEnds) {
    Environment env(nullptr, nullptr);
    struct Brackets : VLLogFormatter {
        std::optional<std::string> formatLogMessage(const VLLogMessage& m) override {
            if (m.message() == "drop") return std::nullopt;
            return "[" + std::string(m.message()) + "]";
        }
    };
    auto logger = VLTTYLogger::sharedInstance();
    logger->setLogFormatter(std::make_shared<Brackets>());
    VLLog::syncOnLoggingQueue([] {});
    logger->loggerQueue()->sync([] {});
    EXPECT_EQ(written(logger, {record("a", 1), record("drop", 1)}), "[a]\n");
    logger->setAutomaticallyAppendNewlineForCustomFormatters(false);
    EXPECT_EQ(written(logger, {record("a", 1), record("b", 1)}), "[a][b]");
    logger->setLogFormatter(nullptr);
}

TEST(TTYLogger, EscapeSequencesAroundAColouredLine) {
    {
        Environment env(nullptr, "xterm-color");
        auto logger = VLTTYLogger::sharedInstance();
        logger->setColorsEnabled(true);  // no profiles yet: the defaults
        EXPECT_TRUE(logger->colorsEnabled());
        std::string head = "2024-03-05 07:08:09:250 " + logger->appName() + "[" + logger->processID() + ":4660] ";
        EXPECT_EQ(written(logger, {record("bad", VLLogFlagError)}), "\x1b[31m" + head + "bad\n\x1b[0m");
        EXPECT_EQ(written(logger, {record("careful", VLLogFlagWarning)}), "\x1b[33m" + head + "careful\n\x1b[0m");
        EXPECT_EQ(written(logger, {record("fine", VLLogFlagInfo)}), head + "fine\n");
    }
    {
        Environment env("YES", "xterm-256color");
        auto logger = VLTTYLogger::sharedInstance();
        logger->setColorsEnabled(true);
        std::string head = "2024-03-05 07:08:09:250 " + logger->appName() + "[" + logger->processID() + ":4660] ";
        EXPECT_EQ(written(logger, {record("bad", VLLogFlagError)}), "\x1b[fg214,57,30;" + head + "bad\n\x1b[;");
        EXPECT_EQ(written(logger, {record("careful", VLLogFlagWarning)}), "\x1b[fg204,121,32;" + head + "careful\n\x1b[;");
    }
}

TEST(TTYLogger, WhichProfileARecordGets) {
    Environment env(nullptr, "xterm-color");
    auto logger = VLTTYLogger::sharedInstance();
    VLColor green = VLColor::rgb(37, 188, 36), blue = VLColor::rgb(73, 46, 225), cyan = VLColor::rgb(51, 187, 200);
    logger->setForegroundColor(green, std::nullopt, VLLogFlagInfo);          // any context
    logger->setForegroundColor(blue, std::nullopt, VLLogFlagInfo, 7);         // context 7
    logger->setForegroundColor(cyan, std::nullopt, Value("net"));             // a tag
    logger->setColorsEnabled(false);  // profiles exist: no defaults, and off
    auto code = [&](VLLogMessagePtr m) {
        std::string c;
        VLLog::syncOnLoggingQueue([] {});  // the changes asked for so far have been posted
        logger->loggerQueue()->sync([&] {
            auto* p = logger->lt_profileFor(*m);
            c = p ? p->fgCode : "none";
        });
        return c;
    };
    EXPECT_EQ(code(record("x", VLLogFlagInfo)), "none");
    logger->setColorsEnabled(true);
    EXPECT_EQ(code(record("x", VLLogFlagInfo, 3)), "\x1b[32m");
    EXPECT_EQ(code(record("x", VLLogFlagInfo, 7)), "\x1b[34m");
    EXPECT_EQ(code(record("x", VLLogFlagInfo, 7, Value("net"))), "\x1b[36m");
    EXPECT_EQ(code(record("x", VLLogFlagError)), "none");  // no defaults were loaded

    logger->clearColorsForFlag(VLLogFlagInfo);  // context 0 only: both stay
    EXPECT_EQ(code(record("x", VLLogFlagInfo, 3)), "\x1b[32m");
    logger->clearColorsForFlag(VLLogFlagInfo, VLTTYAnyContext);
    EXPECT_EQ(code(record("x", VLLogFlagInfo, 3)), "none");
    EXPECT_EQ(code(record("x", VLLogFlagInfo, 7)), "\x1b[34m");
    logger->clearColorsForTag(Value("net"));
    EXPECT_EQ(code(record("x", VLLogFlagInfo, 7, Value("net"))), "\x1b[34m");
    logger->clearAllColors();
    EXPECT_EQ(code(record("x", VLLogFlagInfo, 7)), "none");

    AssertionRecorder asserts;
    logger->setForegroundColor(cyan, std::nullopt, Value());
    EXPECT_EQ(asserts.reports(), std::vector<std::string>{"VLTTYLogger: Invalid tag"});
}

TEST(TTYLogger, DisablingOnAnEmptyLoggerStillInstallsTheDefaults) {
    Environment env(nullptr, "xterm-color");
    auto logger = VLTTYLogger::sharedInstance();
    logger->setColorsEnabled(false);
    logger->setColorsEnabled(true);
    std::string code;
    VLLog::syncOnLoggingQueue([] {});
    logger->loggerQueue()->sync([&] { code = logger->lt_profileFor(*record("x", VLLogFlagError))->fgCode; });
    EXPECT_EQ(code, "\x1b[31m");
}

}  // namespace
