#pragma once
// Hands every record to the platform log: the system journal where its
// socket exists, else syslog, else standard error. The whole text is sent
// as it is. A send never blocks the logger's queue: a stalled sink drops
// the line and counts it (PlatformLog::droppedCount()).
//
// Entry types by flag: error (1) → error, warning (2) and info (4) → info,
// anything else (debug, verbose, combinations) → debug.
// Records read back from the system log by the framework's capture (file
// name "VLASLLogCapture") are never written back.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "logging/VLLogger.h"

enum class VLOSLogType { Error, Info, Debug };

// Where entries go; tests replace it with setLogger().
class VLOSLogObject {
public:
    virtual ~VLOSLogObject() = default;
    virtual void log(VLOSLogType type, std::string_view text) = 0;
};

class VLOSLogger : public VLAbstractLogger {
public:
    // Once per process; no subsystem and no category.
    static std::shared_ptr<VLOSLogger> sharedInstance();

    VLOSLogger();
    // Both or neither: one without the other is reported and both are dropped.
    VLOSLogger(std::optional<std::string> subsystem, std::optional<std::string> category);

    const std::optional<std::string>& subsystem() const { return subsystem_; }
    const std::optional<std::string>& category() const { return category_; }

    // Made on first use from getLogger().
    std::shared_ptr<VLOSLogObject> logger();
    void setLogger(std::shared_ptr<VLOSLogObject> logger);
    // The platform log, its entries carrying the subsystem and category
    // (journal fields VL_SUBSYSTEM and VL_CATEGORY) when set.
    std::shared_ptr<VLOSLogObject> getLogger();

    static VLOSLogType typeForFlag(uint64_t flag);

    void logMessage(const VLLogMessagePtr& message) override;

private:
    std::optional<std::string> subsystem_;
    std::optional<std::string> category_;
    std::shared_ptr<VLOSLogObject> logger_;
    std::mutex loggerMutex_;
};
