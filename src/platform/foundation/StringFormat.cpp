#include "platform/foundation/StringFormat.h"

#include <charconv>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "platform/foundation/Strings.h"

namespace strings {

namespace {

// Widths and precisions above this are clamped: a table cannot make us
// allocate gigabytes with "%999999999d".
constexpr int kMaxField = 1024;

struct Conversion {
    int position = 0;  // 1-based, 0 for "next"
    bool left = false, plus = false, space = false, zero = false, alternate = false;
    int width = -1, precision = -1;
    char kind = 0;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads digits at `i`; -1 when there are none.
int readNumber(std::string_view f, size_t& i) {
    if (i >= f.size() || !isDigit(f[i])) return -1;
    long n = 0;
    while (i < f.size() && isDigit(f[i])) {
        n = std::min<long>(n * 10 + (f[i] - '0'), kMaxField);
        ++i;
    }
    return int(n);
}

class Arguments {
public:
    explicit Arguments(const std::vector<Value>& args) : args_(args) {}
    // The argument at a 1-based position, or the next one for 0; null when missing.
    const Value& take(int position) {
        size_t index = position > 0 ? size_t(position - 1) : next_++;
        return index < args_.size() ? args_[index] : Value::null();
    }

private:
    const std::vector<Value>& args_;
    size_t next_ = 0;
};

// Parses one conversion after its '%'; false when it is not one (the text
// is then copied as it stands). `i` ends after the conversion's kind.
bool parseConversion(std::string_view f, size_t& i, Conversion& s, Arguments& args) {
    size_t start = i;
    int n = readNumber(f, i);
    if (n > 0 && i < f.size() && f[i] == '$') {
        s.position = n;
        ++i;
    } else {
        i = start;
    }
    for (; i < f.size(); ++i) {
        char c = f[i];
        if (c == '-') s.left = true;
        else if (c == '+') s.plus = true;
        else if (c == ' ') s.space = true;
        else if (c == '0') s.zero = true;
        else if (c == '#') s.alternate = true;
        else break;
    }
    if (i < f.size() && f[i] == '*') {
        ++i;
        int64_t w = args.take(0).intValue();
        if (w < 0) s.left = true;
        s.width = int(std::min<int64_t>(std::llabs(w), kMaxField));
    } else {
        s.width = readNumber(f, i);
    }
    if (i < f.size() && f[i] == '.') {
        ++i;
        if (i < f.size() && f[i] == '*') {
            ++i;
            int64_t p = args.take(0).intValue();
            s.precision = p < 0 ? -1 : int(std::min<int64_t>(p, kMaxField));
        } else {
            s.precision = std::max(0, readNumber(f, i));
        }
    }
    while (i < f.size() && std::string_view("hlqztjL").find(f[i]) != std::string_view::npos) ++i;
    if (i >= f.size()) return false;
    s.kind = f[i++];
    return std::string_view("diuoxXcfFeEgGaA@sSnp").find(s.kind) != std::string_view::npos;
}

std::string pad(std::string body, const Conversion& s, bool numeric) {
    if (s.width < 0 || int(body.size()) >= s.width) return body;
    size_t fill = size_t(s.width) - body.size();
    if (s.left) return body + std::string(fill, ' ');
    if (numeric && s.zero) {
        // Zeros go after any sign or base prefix.
        size_t at = 0;
        if (!body.empty() && (body[0] == '-' || body[0] == '+' || body[0] == ' ')) at = 1;
        if (body.size() > at + 1 && body[at] == '0' && (body[at + 1] == 'x' || body[at + 1] == 'X')) at += 2;
        return body.insert(at, fill, '0');
    }
    return std::string(fill, ' ') + body;
}

std::string integer(const Value& v, const Conversion& s) {
    int64_t n = v.isString() ? leadingInteger(*v.getString()) : v.intValue();
    bool negative = n < 0 && (s.kind == 'd' || s.kind == 'i');
    uint64_t magnitude = negative ? uint64_t(0) - uint64_t(n) : uint64_t(n);
    int base = s.kind == 'o' ? 8 : (s.kind == 'x' || s.kind == 'X') ? 16 : 10;
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, magnitude, base);
    std::string digits(buf, r.ptr);
    if (s.kind == 'X')
        for (auto& c : digits) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (s.precision >= 0 && int(digits.size()) < s.precision) digits.insert(0, size_t(s.precision) - digits.size(), '0');
    if (s.precision == 0 && magnitude == 0) digits.clear();
    std::string prefix;
    if (negative) prefix = "-";
    else if (base == 10 && s.plus) prefix = "+";
    else if (base == 10 && s.space) prefix = " ";
    if (s.alternate && magnitude != 0 && base == 16) prefix += s.kind == 'X' ? "0X" : "0x";
    if (s.alternate && base == 8 && (digits.empty() || digits[0] != '0')) digits.insert(0, "0");
    Conversion padding = s;
    if (s.precision >= 0) padding.zero = false;
    return pad(prefix + digits, padding, true);
}

std::string real(double d, const Conversion& s) {
    if (std::isnan(d) || std::isinf(d)) {
        std::string t = std::isnan(d) ? "nan" : (d < 0 ? "-inf" : "inf");
        if (std::isupper(static_cast<unsigned char>(s.kind))) for (auto& c : t) c = char(std::toupper(static_cast<unsigned char>(c)));
        Conversion noZero = s;
        noZero.zero = false;
        return pad(t, noZero, false);
    }
    char lower = char(std::tolower(static_cast<unsigned char>(s.kind)));
    std::chars_format form = lower == 'e'   ? std::chars_format::scientific
                             : lower == 'g' ? std::chars_format::general
                             : lower == 'a' ? std::chars_format::hex
                                            : std::chars_format::fixed;
    int precision = s.precision < 0 ? 6 : s.precision;
    if (lower == 'g' && precision == 0) precision = 1;
    char buf[kMaxField + 400];
    auto r = std::to_chars(buf, buf + sizeof buf, d, form, precision);
    std::string body = r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("0");
    if (lower == 'e' || lower == 'g') {
        // printf writes at least two exponent digits ("1e+05").
        size_t e = body.find('e');
        if (e != std::string::npos && e + 2 < body.size() + 1 && body.size() - e == 3) body.insert(e + 2, "0");
    }
    if (std::isupper(static_cast<unsigned char>(s.kind))) for (auto& c : body) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (!std::signbit(d) && s.plus) body.insert(0, "+");
    else if (!std::signbit(d) && s.space) body.insert(0, " ");
    return pad(body, s, true);
}

std::string text(const Value& v, const Conversion& s) {
    std::string t = v.textValue();
    if (s.precision >= 0 && size_t(s.precision) < t.size()) t.resize(utf8SafePrefixLength(t, size_t(s.precision)));
    return pad(t, s, false);
}

}  // namespace

std::string formatWithArguments(std::string_view f, const std::vector<Value>& arguments) {
    std::string out;
    Arguments args(arguments);
    for (size_t i = 0; i < f.size();) {
        if (f[i] != '%') {
            out += f[i++];
            continue;
        }
        if (i + 1 < f.size() && f[i + 1] == '%') {
            out += '%';
            i += 2;
            continue;
        }
        size_t start = i++;
        Conversion s;
        if (!parseConversion(f, i, s, args)) {
            out.append(f.substr(start, i - start));
            continue;
        }
        if (s.kind == 'n' || s.kind == 'p') continue;
        const Value& v = args.take(s.position);
        if (v.isNull()) continue;
        switch (s.kind) {
            case '@': case 's': case 'S': out += text(v, s); break;
            case 'c': {
                int64_t c = v.intValue();
                out += pad(c > 0 && c < 128 ? std::string(1, char(c)) : std::string(), s, false);
                break;
            }
            case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A':
                out += real(v.isString() ? leadingDouble(*v.getString()) : v.doubleValue(), s);
                break;
            default: out += integer(v, s); break;
        }
    }
    return out;
}

}  // namespace strings
