#include "plugin/iOS/RAZ5Orered/PluginLog.h"

#include <cstdarg>

void pluginLog(bool asynchronous, uint64_t level, uint64_t flag, const char* file, const char* function, int line,
               const char* format, ...) {
    va_list args;
    va_start(args, format);
    VLLog::logv(asynchronous, level, flag, 0, file, function, uint64_t(line), Value(), format, args);
    va_end(args);
}
