#pragma once
// The console logger: each record as one line on standard error, either
//
//     2024-03-05 07:08:09:250 Game[321:4660] hello
//
// (local time, process name, process id, thread id) or exactly as the
// logger's formatter made it, optionally coloured by the record's flag and
// context or by its tag.
//
// Colours come as ANSI escapes when "TERM" names a colour terminal (256
// colours when it also says "256"), or in the XcodeColors form
// (ESC[fgR,G,B; ... ESC[;) when "XcodeColors" is "YES"; the mode is read
// once, by the first sharedInstance(). A line is written in one write that
// never blocks: a stalled standard error drops the line. Nothing of a line
// is ever cut but the thread id (its first 8 bytes).

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "logging/VLLogger.h"
#include "platform/foundation/Value.h"

struct VLColor {
    double red = 0, green = 0, blue = 0, alpha = 1;  // 0 to 1
    static VLColor rgb(uint8_t r, uint8_t g, uint8_t b) { return {r / 255.0, g / 255.0, b / 255.0, 1}; }
};

enum class VLTTYColorMode { Plain, Terminal16, Terminal256, XcodeColors };

// Any context, for flag profiles.
inline constexpr int64_t VLTTYAnyContext = 2147483647;

class VLTTYLoggerColorProfile {
public:
    // Codes for the given mode (by default the process's).
    VLTTYLoggerColorProfile(std::optional<VLColor> foreground, std::optional<VLColor> background, uint64_t flag,
                            int64_t context);
    VLTTYLoggerColorProfile(std::optional<VLColor> foreground, std::optional<VLColor> background, uint64_t flag,
                            int64_t context, VLTTYColorMode mode);

    uint64_t mask;
    int64_t context;
    uint8_t fg_r = 0, fg_g = 0, fg_b = 0;
    uint8_t bg_r = 0, bg_g = 0, bg_b = 0;
    uint64_t fgCodeIndex = 0;
    std::string fgCodeRaw;
    uint64_t bgCodeIndex = 0;
    std::string bgCodeRaw;
    std::string fgCode;     // the whole escape sequence; empty for none
    std::string bgCode;
    std::string resetCode;

    std::string description() const;
};

class VLTTYLogger : public VLAbstractLogger {
public:
    // Once per process; reads "XcodeColors" and "TERM" the first time.
    static std::shared_ptr<VLTTYLogger> sharedInstance();
    static VLTTYColorMode colorMode();

    // Colour helpers: the components of a colour, and the index of the
    // nearest colour of the mode's table (0 for an empty table).
    static void getRGB(double* red, double* green, double* blue, const VLColor& color);
    static uint64_t codeIndexForColor(const VLColor& color, VLTTYColorMode mode);
    // The tables: (foreground code, background code, colour) per entry.
    struct TableEntry {
        std::string fg, bg;
        VLColor color;
    };
    static const std::vector<TableEntry>& table16();
    static const std::vector<TableEntry>& table256();

    const std::string& appName() const { return appName_; }
    const std::string& processID() const { return processID_; }

    // Through the two-queue hop: the read waits, the change does not.
    // Enabling (or disabling) with no profiles installs the defaults.
    bool colorsEnabled();
    void setColorsEnabled(bool enabled);
    bool automaticallyAppendNewlineForCustomFormatters() const { return appendNewline_.load(); }
    void setAutomaticallyAppendNewlineForCustomFormatters(bool v) { appendNewline_.store(v); }

    // Profile changes are asynchronous (at once on the logger's queue).
    void setForegroundColor(std::optional<VLColor> fg, std::optional<VLColor> bg, uint64_t flag);  // any context
    void setForegroundColor(std::optional<VLColor> fg, std::optional<VLColor> bg, uint64_t flag, int64_t context);
    void setForegroundColor(std::optional<VLColor> fg, std::optional<VLColor> bg, const Value& tag);
    // Context 0, as the platform has it: a profile set for any context stays.
    void clearColorsForFlag(uint64_t flag);
    void clearColorsForFlag(uint64_t flag, int64_t context);
    void clearColorsForTag(const Value& tag);
    void clearColorsForAllFlags();
    void clearColorsForAllTags();
    void clearAllColors();
    // Errors in (214, 57, 30), warnings in (204, 121, 32), any context.
    void loadDefaultColorProfiles();

    void logMessage(const VLLogMessagePtr& message) override;

    // The profile a record gets (on the logger's queue).
    const VLTTYLoggerColorProfile* lt_profileFor(const VLLogMessage& message) const;

    // Tests: forget the mode and the shared instance, so that the next
    // sharedInstance() reads the environment again.
    static void resetSharedStateForTesting();

    VLTTYLogger();  // use sharedInstance()

private:
    void profileChange(std::function<void()> change);

    std::string appName_;
    std::string processID_;
    bool colorsEnabled_ = false;
    std::vector<VLTTYLoggerColorProfile> colorProfiles_;
    std::vector<std::pair<Value, VLTTYLoggerColorProfile>> tagProfiles_;
    std::atomic<bool> appendNewline_{true};
    std::string line_;
};
