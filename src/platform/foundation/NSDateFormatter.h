#pragma once
// Fixed-format dates in the platform's pattern language, for log lines and
// file names. Only the "en_US_POSIX" locale and the Gregorian calendar
// exist here, so a pattern always gives ASCII digits.
//
// Pattern letters: y (yyyy four digits, yy two), M, d, H, h, a, m, s, S
// (fraction of the second, as many digits as letters, truncated), Z
// (+hhmm); text in single quotes is literal ('' is one quote); any other
// character is copied. A doubled letter pads to two digits.
//
// A formatter is immutable once made and safe to use from any number of
// threads at once.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class NSDateFormatter {
public:
    using Date = std::chrono::system_clock::time_point;

    // The zone dates are shown in: GMT, the device's local zone (TZ, read
    // through the C library), or a fixed offset east of GMT.
    struct TimeZone {
        enum class Kind { GMT, Local, Fixed } kind = Kind::GMT;
        int secondsFromGMT = 0;
        static TimeZone gmt() { return {}; }
        static TimeZone local() { return {Kind::Local, 0}; }
        static TimeZone fixed(int seconds) { return {Kind::Fixed, seconds}; }
    };

    explicit NSDateFormatter(std::string format, TimeZone zone = TimeZone::gmt());

    const std::string& dateFormat() const { return format_; }
    TimeZone timeZone() const { return zone_; }

    std::string stringFromDate(Date date) const;
    // Appends to `out`: the allocation-free form for hot paths.
    void appendDate(std::string& out, Date date) const;
    // The whole text must match the pattern; nullopt otherwise.
    std::optional<Date> dateFromString(std::string_view text) const;

private:
    struct Token {
        char letter = 0;  // 0: literal
        int count = 0;
        std::string literal;
    };
    struct Fields {
        int year, month, day, hour, minute, second;
        long nanos;
        int offset;  // seconds east of GMT
    };
    Fields fieldsOf(Date date) const;
    // Appends the text of `f`; notes where each fraction field starts.
    void appendFields(std::string& out, const Fields& f, std::vector<std::pair<size_t, int>>* fractions) const;

    std::string format_;
    TimeZone zone_;
    std::vector<Token> tokens_;
    uint64_t id_;  // tells formatters apart in the per-thread cache
};
