#include "logging/VLTTYLogger.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <unistd.h>

#include "logging/VLLog.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"

namespace {

constexpr const char* kFile = "VLTTYLogger";
const char kEscape[] = "\x1b[";

struct SharedState {
    std::mutex mutex;
    bool decided = false;
    VLTTYColorMode mode = VLTTYColorMode::Plain;
    std::shared_ptr<VLTTYLogger> instance;
};

SharedState& shared() {
    static auto* s = new SharedState();
    return *s;
}

VLTTYColorMode modeFromEnvironment() {
    const char* xcode = getenv("XcodeColors");
    if (xcode && std::string_view(xcode) == "YES") return VLTTYColorMode::XcodeColors;
    const char* term = getenv("TERM");
    if (term) {
        std::string t = strings::toLower(term);
        if (strings::contains(t, "color")) {
            return strings::contains(t, "256") ? VLTTYColorMode::Terminal256 : VLTTYColorMode::Terminal16;
        }
    }
    return VLTTYColorMode::Plain;
}

// A component as a byte, truncated; the small guard keeps 214/255 from
// coming back as 213.
uint8_t toByte(double component) {
    double v = std::clamp(component, 0.0, 1.0) * 255.0 + 1e-7;
    return uint8_t(v);
}

const std::vector<VLTTYLogger::TableEntry>& tableFor(VLTTYColorMode mode) {
    static const std::vector<VLTTYLogger::TableEntry> empty;
    if (mode == VLTTYColorMode::Terminal16) return VLTTYLogger::table16();
    if (mode == VLTTYColorMode::Terminal256) return VLTTYLogger::table256();
    return empty;
}

}  // namespace

// ---- tables ----

const std::vector<VLTTYLogger::TableEntry>& VLTTYLogger::table16() {
    static const std::vector<TableEntry>* table = [] {
        static const uint8_t colors[16][3] = {{0, 0, 0},       {194, 54, 33},   {37, 188, 36},   {173, 173, 39},
                                              {73, 46, 225},   {211, 56, 211},  {51, 187, 200},  {203, 204, 205},
                                              {129, 131, 131}, {252, 57, 31},   {49, 231, 34},   {234, 236, 35},
                                              {88, 51, 255},   {249, 53, 248},  {20, 240, 240},  {233, 235, 235}};
        auto* t = new std::vector<TableEntry>();
        for (int i = 0; i < 16; ++i) {
            std::string fg = i < 8 ? strings::format("3%dm", i) : strings::format("1;3%dm", i - 8);
            std::string bg = i < 8 ? strings::format("4%dm", i) : strings::format("1;4%dm", i - 8);
            t->push_back({fg, bg, VLColor::rgb(colors[i][0], colors[i][1], colors[i][2])});
        }
        return t;
    }();
    return *table;
}

const std::vector<VLTTYLogger::TableEntry>& VLTTYLogger::table256() {
    static const std::vector<TableEntry>* table = [] {
        // The usual 6 x 6 x 6 cube and grey ramp, with the measured colours
        // we know put in their places.
        static const uint8_t levels[6] = {0, 95, 135, 175, 215, 255};
        struct Known {
            int code;
            uint8_t r, g, b;
        };
        static const Known known[] = {{16, 47, 49, 49},   {21, 88, 51, 255},   {46, 27, 254, 30},  {196, 255, 61, 30},
                                      {226, 251, 252, 15}, {231, 254, 255, 255}, {232, 52, 53, 53}, {255, 240, 242, 242}};
        auto* t = new std::vector<TableEntry>();
        for (int code = 16; code < 256; ++code) {
            uint8_t r, g, b;
            if (code < 232) {
                int n = code - 16;
                r = levels[n / 36];
                g = levels[n / 6 % 6];
                b = levels[n % 6];
            } else {
                r = g = b = uint8_t(8 + 10 * (code - 232));
            }
            for (const Known& k : known)
                if (k.code == code) r = k.r, g = k.g, b = k.b;
            t->push_back({strings::format("38;5;%dm", code), strings::format("48;5;%dm", code), VLColor::rgb(r, g, b)});
        }
        return t;
    }();
    return *table;
}

void VLTTYLogger::getRGB(double* red, double* green, double* blue, const VLColor& color) {
    if (red) *red = color.red;
    if (green) *green = color.green;
    if (blue) *blue = color.blue;
}

uint64_t VLTTYLogger::codeIndexForColor(const VLColor& color, VLTTYColorMode mode) {
    const auto& table = tableFor(mode);
    double best = 100.0;
    uint64_t index = 0;
    for (size_t i = 0; i < table.size(); ++i) {
        const VLColor& c = table[i].color;
        double d = std::sqrt(std::pow(c.red - color.red, 2) + std::pow(c.green - color.green, 2) +
                             std::pow(c.blue - color.blue, 2));
        if (d < best) {
            best = d;
            index = i;
        }
    }
    return index;
}

// ---- profiles ----

VLTTYLoggerColorProfile::VLTTYLoggerColorProfile(std::optional<VLColor> fg, std::optional<VLColor> bg, uint64_t flag,
                                                 int64_t ctx)
    : VLTTYLoggerColorProfile(fg, bg, flag, ctx, VLTTYLogger::colorMode()) {}

VLTTYLoggerColorProfile::VLTTYLoggerColorProfile(std::optional<VLColor> fg, std::optional<VLColor> bg, uint64_t flag,
                                                 int64_t ctx, VLTTYColorMode mode)
    : mask(flag), context(ctx) {
    if (fg) fg_r = toByte(fg->red), fg_g = toByte(fg->green), fg_b = toByte(fg->blue);
    if (bg) bg_r = toByte(bg->red), bg_g = toByte(bg->green), bg_b = toByte(bg->blue);
    bool terminal = mode == VLTTYColorMode::Terminal16 || mode == VLTTYColorMode::Terminal256;
    const auto& table = tableFor(mode);
    if (fg && terminal) {
        fgCodeIndex = VLTTYLogger::codeIndexForColor(*fg, mode);
        fgCodeRaw = table[fgCodeIndex].fg;
        fgCode = kEscape + fgCodeRaw;
    } else if (fg && mode == VLTTYColorMode::XcodeColors) {
        fgCode = strings::format("%sfg%u,%u,%u;", kEscape, fg_r, fg_g, fg_b).substr(0, 23);
    }
    if (bg && terminal) {
        bgCodeIndex = VLTTYLogger::codeIndexForColor(*bg, mode);
        bgCodeRaw = table[bgCodeIndex].bg;
        bgCode = kEscape + bgCodeRaw;
    } else if (bg && mode == VLTTYColorMode::XcodeColors) {
        bgCode = strings::format("%sbg%u,%u,%u;", kEscape, bg_r, bg_g, bg_b).substr(0, 23);
    }
    if (terminal) resetCode = std::string(kEscape) + "0m";
    else if (mode == VLTTYColorMode::XcodeColors) resetCode = std::string(kEscape) + ";";
}

std::string VLTTYLoggerColorProfile::description() const {
    return strings::format("<VLTTYLoggerColorProfile: %p mask:%i ctxt:%ld fg:%u,%u,%u bg:%u,%u,%u fgCode:%s bgCode:%s>",
                           static_cast<const void*>(this), int(mask), long(context), fg_r, fg_g, fg_b, bg_r, bg_g,
                           bg_b, fgCodeRaw.c_str(), bgCodeRaw.c_str());
}

// ---- the logger ----

std::shared_ptr<VLTTYLogger> VLTTYLogger::sharedInstance() {
    SharedState& s = shared();
    std::lock_guard lock(s.mutex);
    if (!s.decided) {
        s.mode = modeFromEnvironment();
        s.decided = true;
    }
    if (!s.instance) s.instance = std::make_shared<VLTTYLogger>();
    return s.instance;
}

VLTTYColorMode VLTTYLogger::colorMode() {
    SharedState& s = shared();
    std::lock_guard lock(s.mutex);
    if (!s.decided) {
        s.mode = modeFromEnvironment();
        s.decided = true;
    }
    return s.mode;
}

void VLTTYLogger::resetSharedStateForTesting() {
    SharedState& s = shared();
    std::lock_guard lock(s.mutex);
    s.decided = false;
    s.instance.reset();
}

VLTTYLogger::VLTTYLogger() : VLAbstractLogger("varmelund.logging.ttyLogger") {
    // The platform-log logger is always there to take its place.
    NSLog("%s", "VarmelundLogging: Warning: Usage of VLTTYLogger detected when VLOSLogger is available and can be "
                "used! Please consider migrating to VLOSLogger.");
    appName_ = program_invocation_short_name ? program_invocation_short_name : "";
    if (appName_.empty()) appName_ = "<UnnamedApp>";
    processID_ = strings::format("%i", int(getpid()));
    colorProfiles_.reserve(8);
    tagProfiles_.reserve(8);
}

bool VLTTYLogger::colorsEnabled() {
    return readSetting(kFile, [this] { return colorsEnabled_; });
}

void VLTTYLogger::setColorsEnabled(bool enabled) {
    changeSetting(
        kFile,
        [this, enabled] {
            colorsEnabled_ = enabled;
            if (colorProfiles_.empty()) loadDefaultColorProfiles();
        },
        false);
}

void VLTTYLogger::profileChange(std::function<void()> change) { changeSetting(kFile, std::move(change)); }

void VLTTYLogger::setForegroundColor(std::optional<VLColor> fg, std::optional<VLColor> bg, uint64_t flag) {
    setForegroundColor(fg, bg, flag, VLTTYAnyContext);
}

void VLTTYLogger::setForegroundColor(std::optional<VLColor> fg, std::optional<VLColor> bg, uint64_t flag,
                                     int64_t context) {
    VLTTYLoggerColorProfile profile(fg, bg, flag, context);
    profileChange([this, profile] {
        for (auto& p : colorProfiles_) {
            if (p.mask == profile.mask && p.context == profile.context) {
                p = profile;
                return;
            }
        }
        colorProfiles_.push_back(profile);
    });
}

void VLTTYLogger::setForegroundColor(std::optional<VLColor> fg, std::optional<VLColor> bg, const Value& tag) {
    if (!vl::check(!tag.isNull(), kFile, "Invalid tag")) return;
    VLTTYLoggerColorProfile profile(fg, bg, 0, 0);
    profileChange([this, profile, tag] {
        for (auto& [t, p] : tagProfiles_) {
            if (t == tag) {
                p = profile;
                return;
            }
        }
        tagProfiles_.emplace_back(tag, profile);
    });
}

void VLTTYLogger::clearColorsForFlag(uint64_t flag) { clearColorsForFlag(flag, 0); }

void VLTTYLogger::clearColorsForFlag(uint64_t flag, int64_t context) {
    profileChange([this, flag, context] {
        for (auto it = colorProfiles_.begin(); it != colorProfiles_.end(); ++it) {
            if (it->mask == flag && it->context == context) {
                colorProfiles_.erase(it);
                return;
            }
        }
    });
}

void VLTTYLogger::clearColorsForTag(const Value& tag) {
    if (!vl::check(!tag.isNull(), kFile, "Invalid tag")) return;
    profileChange([this, tag] {
        for (auto it = tagProfiles_.begin(); it != tagProfiles_.end(); ++it) {
            if (it->first == tag) {
                tagProfiles_.erase(it);
                return;
            }
        }
    });
}

void VLTTYLogger::clearColorsForAllFlags() {
    profileChange([this] { colorProfiles_.clear(); });
}

void VLTTYLogger::clearColorsForAllTags() {
    profileChange([this] { tagProfiles_.clear(); });
}

void VLTTYLogger::clearAllColors() {
    profileChange([this] {
        colorProfiles_.clear();
        tagProfiles_.clear();
    });
}

void VLTTYLogger::loadDefaultColorProfiles() {
    setForegroundColor(VLColor::rgb(214, 57, 30), std::nullopt, VLLogFlagError);
    setForegroundColor(VLColor::rgb(204, 121, 32), std::nullopt, VLLogFlagWarning);
}

const VLTTYLoggerColorProfile* VLTTYLogger::lt_profileFor(const VLLogMessage& message) const {
    if (!colorsEnabled_) return nullptr;
    if (!message.tag().isNull()) {
        for (const auto& [t, p] : tagProfiles_)
            if (t == message.tag()) return &p;
    }
    const VLTTYLoggerColorProfile* chosen = nullptr;
    for (const auto& p : colorProfiles_) {
        if (!(p.mask & message.flag())) continue;
        if (message.context() == p.context) return &p;
        if (p.context == VLTTYAnyContext) chosen = &p;
    }
    return chosen;
}

void VLTTYLogger::logMessage(const VLLogMessagePtr& message) {
    if (!message) return;
    bool formatted = false;
    std::optional<std::string> formattedText = lt_textFor(*message, &formatted);
    if (!formattedText) return;
    std::string_view text = *formattedText;
    const VLTTYLoggerColorProfile* profile = lt_profileFor(*message);
    bool endsWithNewline = !text.empty() && text.back() == '\n';

    std::string& line = line_;
    line.clear();
    if (profile) line += profile->fgCode, line += profile->bgCode;
    if (formatted) {
        line += text;
        if (appendNewline_.load() && !endsWithNewline) line += '\n';
    } else {
        static const NSDateFormatter stamp("yyyy-MM-dd HH:mm:ss:SSS", NSDateFormatter::TimeZone::local());
        stamp.appendDate(line, message->timestamp());
        line += ' ';
        line += appName_;
        line += '[';
        line += processID_;
        line += ':';
        std::string_view tid = message->threadID();
        line += tid.substr(0, strings::utf8SafePrefixLength(tid, 8));
        line += "] ";
        line += text;
        if (!endsWithNewline) line += '\n';
    }
    if (profile) line += profile->resetCode;
    PlatformLog::writeRawToStderr(line);
    if (line.capacity() > 65536) std::string().swap(line);
}
