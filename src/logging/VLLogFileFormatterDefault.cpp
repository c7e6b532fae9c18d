#include "logging/VLLogFileFormatterDefault.h"

VLLogFileFormatterDefault::VLLogFileFormatterDefault(std::shared_ptr<const NSDateFormatter> dateFormatter)
    : dateFormatter_(std::move(dateFormatter)) {
    if (!dateFormatter_)
        dateFormatter_ = std::make_shared<NSDateFormatter>("yyyy/MM/dd HH:mm:ss:SSS", NSDateFormatter::TimeZone::gmt());
}

std::optional<std::string> VLLogFileFormatterDefault::formatLogMessage(const VLLogMessage& message) {
    std::string out;
    out.reserve(message.message().size() + 26);
    appendLine(out, message);
    return out;
}

void VLLogFileFormatterDefault::appendLine(std::string& out, const VLLogMessage& message) const {
    dateFormatter_->appendDate(out, message.timestamp());
    out += "  ";
    out += message.message();
}
