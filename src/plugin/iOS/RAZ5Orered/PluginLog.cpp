#include "plugin/iOS/RAZ5Orered/PluginLog.h"

#include <cstdarg>
#include <mutex>

#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"

namespace {
std::mutex gMutex;
std::function<void(const PluginLog::Record&)> gObserver;
}  // namespace

void PluginLog::setObserver(std::function<void(const Record&)> observer) {
    std::lock_guard lock(gMutex);
    gObserver = std::move(observer);
}

void pluginLog(bool asynchronous, uint64_t level, uint64_t flag, const char* file, const char* function, int line,
               const char* format, ...) {
    if (!(level & flag)) return;
    va_list args;
    va_start(args, format);
    std::string message = strings::vformat(format, args);
    va_end(args);
    {
        std::lock_guard lock(gMutex);
        if (gObserver) gObserver({asynchronous, flag, file ? file : "", function ? function : "", message});
    }
    PlatformLog::write(flag == PluginLogFlagError ? PlatformLog::Priority::Error : PlatformLog::Priority::Warning,
                       message);
}
