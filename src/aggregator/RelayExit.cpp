#include "aggregator/RelayExit.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "logging/VLLog.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/foundation/PlatformLog.h"

namespace {

std::mutex gMutex;
std::function<void(int)> gReplacement;

void realExit(int status) {
    NSLog("RLLog:ending the process with status %d", status);
    VLLog::flushBeforeExit();
    NSUserDefaults::standardUserDefaults().synchronize();
    std::fflush(nullptr);
    std::_Exit(status);
}

}  // namespace

void relayExitProcess(int status) {
    std::function<void(int)> f;
    {
        std::lock_guard lock(gMutex);
        f = gReplacement;
    }
    if (f) f(status);
    else realExit(status);
}

void setRelayExitFunction(std::function<void(int)> exitFunction) {
    std::lock_guard lock(gMutex);
    gReplacement = std::move(exitFunction);
}
