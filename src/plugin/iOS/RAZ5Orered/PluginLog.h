#pragma once
// The shell's one road into the log: every log call of the bridge and the
// web-view host goes through pluginLog, which hands it to the logging
// framework with no tag and context 0.

#include <cstdint>

#include "logging/VLLog.h"

inline constexpr uint64_t PluginLogFlagError = VLLogFlagError;
inline constexpr uint64_t PluginLogFlagWarning = VLLogFlagWarning;
inline constexpr uint64_t PluginLogLevelWarning = VLLogLevelWarning;  // error | warning

// printf-style; `asynchronous` false for errors, which reach every logger
// before the call returns.
void pluginLog(bool asynchronous, uint64_t level, uint64_t flag, const char* file, const char* function, int line,
               const char* format, ...) __attribute__((format(printf, 7, 8)));
