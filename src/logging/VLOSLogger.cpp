#include "logging/VLOSLogger.h"

#include "logging/VLLog.h"
#include "platform/foundation/PlatformLog.h"

namespace {

class PlatformLogObject : public VLOSLogObject {
public:
    explicit PlatformLogObject(std::string fields) : fields_(std::move(fields)) {}
    void log(VLOSLogType type, std::string_view text) override {
        PlatformLog::Priority p = type == VLOSLogType::Error  ? PlatformLog::Priority::Error
                                  : type == VLOSLogType::Info ? PlatformLog::Priority::Info
                                                              : PlatformLog::Priority::Debug;
        if (!PlatformLog::writeToSystemLog(p, text, {}, fields_)) PlatformLog::writeToStderr(text);
    }

private:
    std::string fields_;
};

}  // namespace

std::shared_ptr<VLOSLogger> VLOSLogger::sharedInstance() {
    static auto* instance = new std::shared_ptr<VLOSLogger>(std::make_shared<VLOSLogger>());
    return *instance;
}

VLOSLogger::VLOSLogger() : VLOSLogger(std::nullopt, std::nullopt) {}

VLOSLogger::VLOSLogger(std::optional<std::string> subsystem, std::optional<std::string> category)
    : VLAbstractLogger("varmelund.logging.osLogger") {
    if (!vl::check(subsystem.has_value() == category.has_value(), "VLOSLogger",
                   "Either both subsystem and category or neither should be nil."))
        return;
    subsystem_ = std::move(subsystem);
    category_ = std::move(category);
}

std::shared_ptr<VLOSLogObject> VLOSLogger::logger() {
    std::lock_guard lock(loggerMutex_);
    if (!logger_) logger_ = getLogger();
    return logger_;
}

void VLOSLogger::setLogger(std::shared_ptr<VLOSLogObject> logger) {
    std::lock_guard lock(loggerMutex_);
    logger_ = std::move(logger);
}

std::shared_ptr<VLOSLogObject> VLOSLogger::getLogger() {
    std::string fields;
    // A line break would start a field of its own.
    auto oneLine = [](std::string s) {
        for (char& c : s)
            if (c == '\n') c = ' ';
        return s;
    };
    if (subsystem_ && category_)
        fields = "VL_SUBSYSTEM=" + oneLine(*subsystem_) + "\nVL_CATEGORY=" + oneLine(*category_) + "\n";
    return std::make_shared<PlatformLogObject>(fields);
}

VLOSLogType VLOSLogger::typeForFlag(uint64_t flag) {
    if (flag == VLLogFlagError) return VLOSLogType::Error;
    if (flag == VLLogFlagWarning || flag == VLLogFlagInfo) return VLOSLogType::Info;
    return VLOSLogType::Debug;
}

void VLOSLogger::logMessage(const VLLogMessagePtr& message) {
    if (!message || isCapturedRecord(*message)) return;
    if (auto text = lt_textFor(*message)) logger()->log(typeForFlag(message->flag()), *text);
}
