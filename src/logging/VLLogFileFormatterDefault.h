#pragma once
// The line every file logger writes unless given another formatter: the
// record's time in GMT as "yyyy/MM/dd HH:mm:ss:SSS", two blanks, the text.
// No line end is added here; the file logger adds it.

#include <memory>

#include "logging/VLLogger.h"
#include "platform/foundation/NSDateFormatter.h"

class VLLogFileFormatterDefault : public VLLogFormatter {
public:
    // nullptr: the GMT formatter above. A caller's formatter is used as it is.
    explicit VLLogFileFormatterDefault(std::shared_ptr<const NSDateFormatter> dateFormatter = nullptr);

    std::optional<std::string> formatLogMessage(const VLLogMessage& message) override;
    // The same line appended to `out`, without a string of its own.
    void appendLine(std::string& out, const VLLogMessage& message) const;

    const NSDateFormatter& dateFormatter() const { return *dateFormatter_; }

private:
    std::shared_ptr<const NSDateFormatter> dateFormatter_;
};
