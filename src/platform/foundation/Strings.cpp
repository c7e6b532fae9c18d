#include "platform/foundation/Strings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace strings {

std::string vformat(const char* fmt, va_list args) {
    if (!fmt) return "";
    char stackBuf[512];
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(stackBuf, sizeof stackBuf, fmt, copy);
    va_end(copy);
    if (n < 0) return "";
    if (size_t(n) < sizeof stackBuf) return std::string(stackBuf, size_t(n));
    std::string out(size_t(n) + 1, '\0');
    vsnprintf(out.data(), out.size(), fmt, args);
    out.resize(size_t(n));
    return out;
}

std::string format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string s = vformat(fmt, args);
    va_end(args);
    return s;
}

bool hasPrefix(std::string_view s, std::string_view p) { return s.size() >= p.size() && s.compare(0, p.size(), p) == 0; }
bool hasSuffix(std::string_view s, std::string_view p) {
    return s.size() >= p.size() && s.compare(s.size() - p.size(), p.size(), p) == 0;
}
bool contains(std::string_view s, std::string_view part) { return s.find(part) != std::string_view::npos; }

std::string trim(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    size_t b = 0, e = s.size();
    while (b < e && blank(s[b])) ++b;
    while (e > b && blank(s[e - 1])) --e;
    return std::string(s.substr(b, e - b));
}

std::vector<std::string> split(std::string_view s, std::string_view sep) {
    std::vector<std::string> out;
    if (sep.empty()) {
        out.emplace_back(s);
        return out;
    }
    size_t start = 0;
    while (true) {
        size_t pos = s.find(sep, start);
        if (pos == std::string_view::npos) {
            out.emplace_back(s.substr(start));
            return out;
        }
        out.emplace_back(s.substr(start, pos - start));
        start = pos + sep.size();
    }
}

std::string join(const std::vector<std::string>& parts, std::string_view sep) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out += sep;
        out += parts[i];
    }
    return out;
}

std::string replaceAll(std::string s, std::string_view from, std::string_view to) {
    if (from.empty()) return s;
    size_t pos = 0;
    while ((pos = s.find(from, pos)) != std::string::npos) {
        s.replace(pos, from.size(), to);
        pos += to.size();
    }
    return s;
}

std::string toLower(std::string_view s) {
    std::string o(s);
    for (auto& c : o) c = char(std::tolower(static_cast<unsigned char>(c)));
    return o;
}

std::string toUpper(std::string_view s) {
    std::string o(s);
    for (auto& c : o) c = char(std::toupper(static_cast<unsigned char>(c)));
    return o;
}

namespace {
size_t skipBlanks(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
    return i;
}
}  // namespace

int64_t leadingInteger(std::string_view s) {
    size_t i = skipBlanks(s);
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
    uint64_t acc = 0;
    bool overflow = false;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (acc > (UINT64_MAX - 9) / 10) overflow = true;
        if (!overflow) acc = acc * 10 + uint64_t(s[i] - '0');
    }
    if (neg) {
        if (overflow || acc > uint64_t(INT64_MAX) + 1) return INT64_MIN;
        return acc == uint64_t(INT64_MAX) + 1 ? INT64_MIN : -int64_t(acc);
    }
    if (overflow || acc > uint64_t(INT64_MAX)) return INT64_MAX;
    return int64_t(acc);
}

double leadingDouble(std::string_view s) {
    std::string copy(s.substr(skipBlanks(s)));
    char* end = nullptr;
    double d = std::strtod(copy.c_str(), &end);
    if (end == copy.c_str()) return 0;
    return d;
}

bool leadingBool(std::string_view s) {
    size_t i = skipBlanks(s);
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    while (i < s.size() && s[i] == '0') ++i;
    if (i >= s.size()) return false;
    char c = s[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

std::string formatNumber(double d) {
    if (std::isnan(d)) return "nan";
    if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
    if (std::floor(d) == d && std::fabs(d) < 1e15) return std::to_string(int64_t(d));
    char buf[40];
    for (int prec = 1; prec <= 17; ++prec) {
        snprintf(buf, sizeof buf, "%.*g", prec, d);
        if (std::strtod(buf, nullptr) == d) break;
    }
    return buf;
}

// ---- UTF-8 / UTF-16 ----

namespace {

// Decodes one code point at s[i]; returns its byte length (>= 1). Invalid
// sequences give U+FFFD with length 1.
size_t decodeUTF8(std::string_view s, size_t i, char32_t& cp) {
    auto b = static_cast<unsigned char>(s[i]);
    auto cont = [&](size_t k) { return i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80; };
    if (b < 0x80) { cp = b; return 1; }
    if (b >= 0xC2 && b <= 0xDF && cont(1)) {
        cp = char32_t(b & 0x1F) << 6 | (s[i + 1] & 0x3F);
        return 2;
    }
    if (b >= 0xE0 && b <= 0xEF && cont(1) && cont(2)) {
        cp = char32_t(b & 0x0F) << 12 | char32_t(s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F);
        if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) return 3;
    }
    if (b >= 0xF0 && b <= 0xF4 && cont(1) && cont(2) && cont(3)) {
        cp = char32_t(b & 0x07) << 18 | char32_t(s[i + 1] & 0x3F) << 12 | char32_t(s[i + 2] & 0x3F) << 6 | (s[i + 3] & 0x3F);
        if (cp >= 0x10000 && cp <= 0x10FFFF) return 4;
    }
    cp = 0xFFFD;
    return 1;
}

void appendUTF8(std::string& out, char32_t cp) {
    if (cp < 0x80) out += char(cp);
    else if (cp < 0x800) { out += char(0xC0 | (cp >> 6)); out += char(0x80 | (cp & 0x3F)); }
    else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12)); out += char(0x80 | ((cp >> 6) & 0x3F)); out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18)); out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F)); out += char(0x80 | (cp & 0x3F));
    }
}

}  // namespace

size_t utf16Length(std::string_view s) {
    size_t n = 0;
    for (size_t i = 0; i < s.size();) {
        char32_t cp;
        size_t len = decodeUTF8(s, i, cp);
        n += cp >= 0x10000 ? 2 : 1;
        i += len;
    }
    return n;
}

std::u16string toUTF16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        char32_t cp;
        i += decodeUTF8(s, i, cp);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
    }
    return out;
}

std::string fromUTF16(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        appendUTF8(out, c);
    }
    return out;
}

size_t utf16IndexToByteOffset(std::string_view s, size_t index) {
    size_t units = 0, i = 0;
    while (i < s.size() && units < index) {
        char32_t cp;
        size_t len = decodeUTF8(s, i, cp);
        size_t w = cp >= 0x10000 ? 2 : 1;
        if (units + w > index) break;  // index falls inside a surrogate pair
        units += w;
        i += len;
    }
    return i;
}

std::string utf16Substring(std::string_view s, size_t location, size_t length) {
    // Start: round down to the pair's start; end: round up past the pair.
    size_t begin = utf16IndexToByteOffset(s, location);
    size_t units = 0, i = 0;
    size_t endIndex = location > SIZE_MAX - length ? SIZE_MAX : location + length;
    while (i < s.size() && units < endIndex) {
        char32_t cp;
        size_t len = decodeUTF8(s, i, cp);
        units += cp >= 0x10000 ? 2 : 1;
        i += len;
    }
    if (i < begin) i = begin;
    return std::string(s.substr(begin, i - begin));
}

bool isValidUTF8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        char32_t cp;
        size_t len = decodeUTF8(s, i, cp);
        if (cp == 0xFFFD && len == 1) return false;
        i += len;
    }
    return true;
}

std::string validUTF8(std::string_view s) {
    if (isValidUTF8(s)) return std::string(s);
    std::string out;
    out.reserve(s.size() + 8);
    for (size_t i = 0; i < s.size();) {
        char32_t cp;
        size_t len = decodeUTF8(s, i, cp);
        if (len == 1) appendUTF8(out, cp);
        else out.append(s.substr(i, len));
        i += len;
    }
    return out;
}

size_t utf8SafePrefixLength(std::string_view s, size_t maxBytes) {
    if (maxBytes >= s.size()) return s.size();
    size_t i = 0;
    while (i < s.size()) {
        char32_t cp;
        size_t len = decodeUTF8(s, i, cp);
        if (i + len > maxBytes) break;
        i += len;
    }
    return i;
}

// ---- URL escaping ----

namespace {
bool unreserved(unsigned char c) { return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~'; }
const char kHex[] = "0123456789ABCDEF";
}  // namespace

std::string percentEncode(std::string_view s, std::string_view keep) {
    std::string out;
    out.reserve(s.size() * 3);
    for (unsigned char c : s) {
        if (unreserved(c) || (c && keep.find(char(c)) != std::string_view::npos)) {
            out += char(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string formEncode(std::string_view s) { return percentEncode(s); }

std::string percentDecode(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    auto hexVal = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            int h = hexVal(s[i + 1]), l = hexVal(s[i + 2]);
            if (h >= 0 && l >= 0) {
                out += char(h * 16 + l);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

std::string jsStringLiteral(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (size_t i = 0; i < text.size();) {
        char32_t cp;
        size_t len = decodeUTF8(text, i, cp);
        switch (cp) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case 0x2028: out += "\\u2028"; break;
        case 0x2029: out += "\\u2029"; break;
        case '/':
            // "</script>" must not close an enclosing script element.
            if (i > 0 && text[i - 1] == '<') out += "\\/";
            else out += '/';
            break;
        default:
            if (cp < 0x20 || cp == 0x7F) {
                out += format("\\u%04x", unsigned(cp));
            } else if (cp == 0xFFFD && len == 1) {
                out += "\\ufffd";
            } else {
                out.append(text.substr(i, len));
            }
        }
        i += len;
    }
    out += '"';
    return out;
}

// ---- Base64 and hex ----

namespace {
const char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

std::string base64Encode(std::string_view in) {
    std::string out;
    out.reserve((in.size() + 2) / 3 * 4);
    size_t i = 0;
    auto byte = [&](size_t k) { return static_cast<unsigned char>(in[k]); };
    for (; i + 2 < in.size(); i += 3) {
        uint32_t v = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
        out += kB64[v >> 18]; out += kB64[(v >> 12) & 63]; out += kB64[(v >> 6) & 63]; out += kB64[v & 63];
    }
    if (i + 1 == in.size()) {
        uint32_t v = byte(i) << 16;
        out += kB64[v >> 18]; out += kB64[(v >> 12) & 63]; out += "==";
    } else if (i + 2 == in.size()) {
        uint32_t v = byte(i) << 16 | byte(i + 1) << 8;
        out += kB64[v >> 18]; out += kB64[(v >> 12) & 63]; out += kB64[(v >> 6) & 63]; out += '=';
    }
    return out;
}

std::string base64Encode(const Data& bytes) {
    return base64Encode(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::optional<Data> base64Decode(std::string_view text) {
    Data out;
    uint32_t acc = 0;
    int bits = 0;
    size_t padding = 0;
    for (char c : text) {
        if (c == '\n' || c == '\r' || c == ' ' || c == '\t') continue;
        if (c == '=') { ++padding; continue; }
        if (padding) return std::nullopt;  // data after padding
        const char* p = std::strchr(kB64, c);
        if (!p || !c) return std::nullopt;
        acc = acc << 6 | uint32_t(p - kB64);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(uint8_t(acc >> bits));
        }
    }
    if (padding > 2 || bits >= 6) return std::nullopt;
    return out;
}

std::string hexEncode(const uint8_t* bytes, size_t n) {
    static const char lower[] = "0123456789abcdef";
    std::string out;
    out.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        out += lower[bytes[i] >> 4];
        out += lower[bytes[i] & 15];
    }
    return out;
}

std::string iso8601(Date d) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(d.time_since_epoch()).count();
    time_t secs = time_t(ms / 1000);
    int rem = int(ms % 1000);
    if (rem < 0) { rem += 1000; secs -= 1; }
    struct tm tm {};
    gmtime_r(&secs, &tm);
    char buf[64];
    snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
             tm.tm_hour, tm.tm_min, tm.tm_sec, rem);
    return buf;
}

}  // namespace strings
