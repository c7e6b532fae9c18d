// Names of log files as the file manager reads dates from them (a name in
// the logs folder may come from anywhere): a date that reads is one a Date
// holds, and written the way the manager names files it reads back the
// same; a name of the dated shape whose date cannot be read sorts as the
// oldest (Date::min()), never as some wrapped-round year.

#include "FuzzSupport.h"
#include "logging/VLLogFileInfo.h"
#include "platform/foundation/NSDateFormatter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string name = "App " + std::string(fuzz::text(data, size)) + ".log";
    auto date = VLLogFileInfo::dateInFileName(name);
    if (!date || *date == VLLogFileInfo::Date::min()) return 0;
    static const NSDateFormatter format("yyyy'-'MM'-'dd'--'HH'-'mm'-'ss'-'SSS'");
    std::string written = format.stringFromDate(*date);
    auto back = VLLogFileInfo::dateInFileName("App " + written + ".log");
    FUZZ_CHECK(back.has_value());
    // Milliseconds are what the name holds.
    FUZZ_CHECK(std::chrono::floor<std::chrono::milliseconds>(*back) == std::chrono::floor<std::chrono::milliseconds>(*date));
    return 0;
}
