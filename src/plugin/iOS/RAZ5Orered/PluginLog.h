#pragma once
// The shell's one road into the log: every log call of the bridge and the
// web-view host goes through pluginLog, so the logging framework is wired
// in one place.

#include <cstdint>
#include <functional>
#include <string>

// Flags, as the logging framework numbers them.
inline constexpr uint64_t PluginLogFlagError = 1;
inline constexpr uint64_t PluginLogFlagWarning = 2;
inline constexpr uint64_t PluginLogLevelWarning = 3;  // error | warning

// printf-style; `asynchronous` false for errors, which are written before
// the call returns.
void pluginLog(bool asynchronous, uint64_t level, uint64_t flag, const char* file, const char* function, int line,
               const char* format, ...) __attribute__((format(printf, 7, 8)));

namespace PluginLog {
// Sees every message as it is logged (tests).
struct Record {
    bool asynchronous;
    uint64_t flag;
    std::string file, function, message;
};
void setObserver(std::function<void(const Record&)> observer);
}  // namespace PluginLog
