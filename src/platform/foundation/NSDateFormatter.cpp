#include "platform/foundation/NSDateFormatter.h"

#include <atomic>
#include <cctype>
#include <climits>
#include <ctime>

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void civilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = int64_t(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(y + (month <= 2));
}

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

void appendNumber(std::string& out, long value, int width) {
    char buf[24];
    int n = 0;
    bool negative = value < 0;
    unsigned long v = negative ? 0UL - (unsigned long)value : (unsigned long)value;
    do {
        buf[n++] = char('0' + v % 10);
        v /= 10;
    } while (v);
    while (n < width) buf[n++] = '0';
    if (negative) out += '-';
    while (n) out += buf[--n];
}

}  // namespace

namespace {
std::atomic<uint64_t> gNextId{1};

// The text of the last whole second formatted on this thread, so that the
// next dates of the same second only patch their fraction digits.
struct SecondCache {
    uint64_t owner = 0;
    int64_t second = LLONG_MIN;
    std::string text;
    std::vector<std::pair<size_t, int>> fractions;
};
thread_local SecondCache tCache;

void appendFraction(char* at, long nanos, int count) {
    int digits = count > 9 ? 9 : count;
    long frac = nanos;
    for (int i = digits; i < 9; ++i) frac /= 10;
    for (int i = digits - 1; i >= 0; --i) {
        at[i] = char('0' + frac % 10);
        frac /= 10;
    }
    for (int i = digits; i < count; ++i) at[i] = '0';
}
}  // namespace

NSDateFormatter::NSDateFormatter(std::string format, TimeZone zone)
    : format_(std::move(format)), zone_(zone), id_(gNextId.fetch_add(1)) {
    const std::string& f = format_;
    for (size_t i = 0; i < f.size();) {
        char c = f[i];
        if (c == '\'') {
            // Quoted literal; '' inside or outside quotes is one quote.
            if (i + 1 < f.size() && f[i + 1] == '\'') {
                tokens_.push_back({0, 0, "'"});
                i += 2;
                continue;
            }
            std::string lit;
            ++i;
            while (i < f.size()) {
                if (f[i] == '\'') {
                    if (i + 1 < f.size() && f[i + 1] == '\'') {
                        lit += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                lit += f[i++];
            }
            tokens_.push_back({0, 0, lit});
            continue;
        }
        if (std::isalpha(static_cast<unsigned char>(c))) {
            size_t j = i;
            while (j < f.size() && f[j] == c) ++j;
            tokens_.push_back({c, int(j - i), {}});
            i = j;
            continue;
        }
        if (!tokens_.empty() && tokens_.back().letter == 0) tokens_.back().literal += c;
        else tokens_.push_back({0, 0, std::string(1, c)});
        ++i;
    }
}

NSDateFormatter::Fields NSDateFormatter::fieldsOf(Date date) const {
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(date.time_since_epoch()).count();
    int64_t secs = floorDiv(ns, 1000000000);
    long nanos = long(ns - secs * 1000000000);
    Fields f{};
    f.nanos = nanos;
    if (zone_.kind == TimeZone::Kind::Local) {
        time_t t = time_t(secs);
        struct tm tm {};
        localtime_r(&t, &tm);
        f.year = tm.tm_year + 1900;
        f.month = tm.tm_mon + 1;
        f.day = tm.tm_mday;
        f.hour = tm.tm_hour;
        f.minute = tm.tm_min;
        f.second = tm.tm_sec;
        f.offset = int(tm.tm_gmtoff);
        return f;
    }
    f.offset = zone_.kind == TimeZone::Kind::Fixed ? zone_.secondsFromGMT : 0;
    int64_t local = secs + f.offset;
    int64_t days = floorDiv(local, 86400);
    int64_t rem = local - days * 86400;
    civilFromDays(days, f.year, f.month, f.day);
    f.hour = int(rem / 3600);
    f.minute = int(rem / 60 % 60);
    f.second = int(rem % 60);
    return f;
}

void NSDateFormatter::appendDate(std::string& out, Date date) const {
    if (zone_.kind == TimeZone::Kind::Local) {
        appendFields(out, fieldsOf(date), nullptr);
        return;
    }
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(date.time_since_epoch()).count();
    int64_t secs = floorDiv(ns, 1000000000);
    long nanos = long(ns - secs * 1000000000);
    SecondCache& c = tCache;
    if (c.owner != id_ || c.second != secs) {
        Fields f = fieldsOf(date);
        f.nanos = 0;
        c.text.clear();
        c.fractions.clear();
        appendFields(c.text, f, &c.fractions);
        c.owner = id_;
        c.second = secs;
    }
    size_t base = out.size();
    out += c.text;
    for (auto& [pos, count] : c.fractions) appendFraction(&out[base + pos], nanos, count);
}

void NSDateFormatter::appendFields(std::string& out, const Fields& f,
                                   std::vector<std::pair<size_t, int>>* fractions) const {
    for (const Token& t : tokens_) {
        switch (t.letter) {
        case 0: out += t.literal; break;
        case 'y':
            if (t.count == 2) appendNumber(out, ((f.year % 100) + 100) % 100, 2);
            else appendNumber(out, f.year, t.count);
            break;
        case 'M': appendNumber(out, f.month, t.count >= 2 ? 2 : 1); break;
        case 'd': appendNumber(out, f.day, t.count >= 2 ? 2 : 1); break;
        case 'H': appendNumber(out, f.hour, t.count >= 2 ? 2 : 1); break;
        case 'h': appendNumber(out, f.hour % 12 == 0 ? 12 : f.hour % 12, t.count >= 2 ? 2 : 1); break;
        case 'a': out += f.hour < 12 ? "AM" : "PM"; break;
        case 'm': appendNumber(out, f.minute, t.count >= 2 ? 2 : 1); break;
        case 's': appendNumber(out, f.second, t.count >= 2 ? 2 : 1); break;
        case 'S': {
            if (fractions) fractions->emplace_back(out.size(), t.count);
            size_t at = out.size();
            out.append(size_t(t.count), '0');
            appendFraction(&out[at], f.nanos, t.count);
            break;
        }
        case 'Z': {
            int off = f.offset;
            out += off < 0 ? '-' : '+';
            if (off < 0) off = -off;
            appendNumber(out, off / 3600, 2);
            appendNumber(out, off / 60 % 60, 2);
            break;
        }
        default: out.append(size_t(t.count), t.letter); break;
        }
    }
}

std::string NSDateFormatter::stringFromDate(Date date) const {
    std::string out;
    out.reserve(32);
    appendDate(out, date);
    return out;
}

std::optional<NSDateFormatter::Date> NSDateFormatter::dateFromString(std::string_view text) const {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    long nanos = 0;
    bool pm = false, hasAmPm = false, hasOffset = false;
    int offset = 0;
    size_t pos = 0;
    auto readDigits = [&](int minCount, int maxCount, long& value) {
        int n = 0;
        value = 0;
        while (pos < text.size() && n < maxCount && std::isdigit(static_cast<unsigned char>(text[pos]))) {
            value = value * 10 + (text[pos] - '0');
            ++pos;
            ++n;
        }
        return n >= minCount;
    };
    for (const Token& t : tokens_) {
        long v = 0;
        switch (t.letter) {
        case 0:
            if (text.substr(pos, t.literal.size()) != t.literal) return std::nullopt;
            pos += t.literal.size();
            break;
        case 'y':
            if (t.count == 2) {
                if (!readDigits(2, 2, v)) return std::nullopt;
                year = int(2000 + v);
            } else {
                if (!readDigits(t.count, 9, v)) return std::nullopt;
                year = int(v);
            }
            break;
        case 'M':
        case 'd':
        case 'H':
        case 'h':
        case 'm':
        case 's': {
            if (!readDigits(t.count >= 2 ? 2 : 1, 2, v)) return std::nullopt;
            int iv = int(v);
            if (t.letter == 'M') month = iv;
            else if (t.letter == 'd') day = iv;
            else if (t.letter == 'H' || t.letter == 'h') hour = iv;
            else if (t.letter == 'm') minute = iv;
            else second = iv;
            break;
        }
        case 'a':
            if (text.substr(pos, 2) == "AM") pm = false;
            else if (text.substr(pos, 2) == "PM") pm = true;
            else return std::nullopt;
            hasAmPm = true;
            pos += 2;
            break;
        case 'S': {
            size_t start = pos;
            if (!readDigits(t.count, t.count, v)) return std::nullopt;
            int digits = int(pos - start);
            nanos = v;
            for (int i = digits; i < 9; ++i) nanos *= 10;
            break;
        }
        case 'Z': {
            if (pos >= text.size() || (text[pos] != '+' && text[pos] != '-')) return std::nullopt;
            int sign = text[pos] == '-' ? -1 : 1;
            ++pos;
            long hh = 0, mm = 0;
            if (!readDigits(2, 2, hh) || !readDigits(2, 2, mm)) return std::nullopt;
            offset = sign * int(hh * 3600 + mm * 60);
            hasOffset = true;
            break;
        }
        default:
            for (int i = 0; i < t.count; ++i, ++pos)
                if (pos >= text.size() || text[pos] != t.letter) return std::nullopt;
            break;
        }
    }
    if (pos != text.size()) return std::nullopt;
    if (hasAmPm) hour = hour % 12 + (pm ? 12 : 0);
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return std::nullopt;

    int64_t secs;
    if (!hasOffset && zone_.kind == TimeZone::Kind::Local) {
        struct tm tm {};
        tm.tm_year = year - 1900;
        tm.tm_mon = month - 1;
        tm.tm_mday = day;
        tm.tm_hour = hour;
        tm.tm_min = minute;
        tm.tm_sec = second;
        tm.tm_isdst = -1;
        time_t local = mktime(&tm);
        if (local == time_t(-1)) return std::nullopt;
        secs = int64_t(local);
    } else {
        if (!hasOffset) offset = zone_.kind == TimeZone::Kind::Fixed ? zone_.secondsFromGMT : 0;
        secs = daysFromCivil(year, unsigned(month), unsigned(day)) * 86400 + hour * 3600 + minute * 60 + second - offset;
    }
    // A year a Date cannot hold (about 1678 to 2261) is unreadable: converted,
    // it would wrap round to some other year.
    constexpr int64_t kLimit = std::chrono::duration_cast<std::chrono::seconds>(Date::duration::max()).count() - 1;
    if (secs > kLimit || secs < -kLimit) return std::nullopt;
    auto d = std::chrono::seconds(secs) + std::chrono::nanoseconds(nanos);
    return Date(std::chrono::duration_cast<Date::duration>(d));
}
