#include "FuzzSupport.h"

#include <unistd.h>

#include <cstring>
#include <system_error>

#include "platform/foundation/PlatformLog.h"

namespace fuzz {

namespace {

std::filesystem::path gScratch;

void removeScratch() {
    std::error_code ec;
    if (!gScratch.empty()) std::filesystem::remove_all(gScratch, ec);
}

}  // namespace

std::filesystem::path scratchFolder() {
    if (!gScratch.empty()) return gScratch;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvel-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::fprintf(stderr, "cannot make a scratch folder: %s\n", std::strerror(errno));
        std::abort();
    }
    gScratch = std::filesystem::canonical(pattern);
    std::atexit(removeScratch);
    return gScratch;
}

void quietPlatformLog() {
    PlatformLog::setStderrEnabled(false);
    PlatformLog::connectSystemSink(PlatformLog::Sink::None, "");
}

}  // namespace fuzz
