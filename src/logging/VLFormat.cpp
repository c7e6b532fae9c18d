#include "logging/VLFormat.h"

#include <cstdint>
#include <cstring>
#include <sys/types.h>

namespace vl_detail {

namespace {

enum class Length { None, Char, Short, Long, LongLong, Max, Size, Diff };

// Reads a length modifier at `p`, moving past it.
Length lengthAt(const char*& p) {
    switch (*p) {
    case 'h':
        ++p;
        if (*p == 'h') return ++p, Length::Char;
        return Length::Short;
    case 'l':
        ++p;
        if (*p == 'l') return ++p, Length::LongLong;
        return Length::Long;
    case 'j': return ++p, Length::Max;
    case 'z': return ++p, Length::Size;
    case 't': return ++p, Length::Diff;
    default: return Length::None;
    }
}

// True when every conversion is one formatPlain knows: no flags, widths or
// precisions, no wide characters or strings.
bool isPlain(const char* p) {
    while ((p = std::strchr(p, '%'))) {
        ++p;
        if (*p == '%') {
            ++p;
            continue;
        }
        Length length = lengthAt(p);
        char c = *p;
        if (c == '\0') return false;  // a lone "%" at the end
        ++p;
        bool integer = c == 'd' || c == 'i' || c == 'u' || c == 'x' || c == 'X';
        bool text = (c == 's' || c == 'c') && length == Length::None;
        if (!integer && !text) return false;
    }
    return true;
}

class Out {
public:
    Out(char* buf, size_t capacity) : p_(buf), end_(buf + capacity - 1) {}
    void put(char c) {
        if (p_ < end_) *p_++ = c;
        else full_ = true;
    }
    void put(const char* s, size_t n) {
        if (size_t(end_ - p_) < n) {
            full_ = true;
            n = size_t(end_ - p_);
        }
        std::memcpy(p_, s, n);
        p_ += n;
    }
    bool full() const { return full_; }
    char* end() const { return p_; }

private:
    char* p_;
    char* end_;  // the last byte, kept for the NUL
    bool full_ = false;
};

void putUnsigned(Out& out, unsigned long long v, unsigned base, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char tmp[24];
    char* t = tmp + sizeof tmp;
    do {
        *--t = digits[v % base];
        v /= base;
    } while (v);
    out.put(t, size_t(tmp + sizeof tmp - t));
}

long long signedArg(Length length, va_list& ap) {
    switch (length) {
    case Length::Char: return static_cast<signed char>(va_arg(ap, int));
    case Length::Short: return static_cast<short>(va_arg(ap, int));
    case Length::Long: return va_arg(ap, long);
    case Length::LongLong: return va_arg(ap, long long);
    case Length::Max: return va_arg(ap, intmax_t);
    case Length::Size: return va_arg(ap, ssize_t);
    case Length::Diff: return va_arg(ap, ptrdiff_t);
    default: return va_arg(ap, int);
    }
}

unsigned long long unsignedArg(Length length, va_list& ap) {
    switch (length) {
    case Length::Char: return static_cast<unsigned char>(va_arg(ap, unsigned));
    case Length::Short: return static_cast<unsigned short>(va_arg(ap, unsigned));
    case Length::Long: return va_arg(ap, unsigned long);
    case Length::LongLong: return va_arg(ap, unsigned long long);
    case Length::Max: return va_arg(ap, uintmax_t);
    case Length::Size: return va_arg(ap, size_t);
    case Length::Diff: return static_cast<size_t>(va_arg(ap, ptrdiff_t));
    default: return va_arg(ap, unsigned);
    }
}

}  // namespace

int formatPlain(char* buf, size_t capacity, const char* format, va_list args) {
    if (capacity == 0 || !isPlain(format)) return -1;
    Out out(buf, capacity);
    va_list ap;
    va_copy(ap, args);
    for (const char* p = format; *p && !out.full();) {
        const char* percent = std::strchr(p, '%');
        if (!percent) {
            out.put(p, std::strlen(p));
            break;
        }
        out.put(p, size_t(percent - p));
        p = percent + 1;
        if (*p == '%') {
            out.put('%');
            ++p;
            continue;
        }
        Length length = lengthAt(p);
        switch (char c = *p++) {
        case 'd':
        case 'i': {
            long long v = signedArg(length, ap);
            if (v < 0) out.put('-');
            putUnsigned(out, v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v),
                        10, false);
            break;
        }
        case 'u': putUnsigned(out, unsignedArg(length, ap), 10, false); break;
        case 'x':
        case 'X': putUnsigned(out, unsignedArg(length, ap), 16, c == 'X'); break;
        case 'c': out.put(static_cast<char>(va_arg(ap, int))); break;
        default: {  // 's'
            const char* s = va_arg(ap, const char*);
            if (!s) s = "(null)";
            out.put(s, std::strlen(s));
        }
        }
    }
    va_end(ap);
    if (out.full()) return -1;
    *out.end() = '\0';
    return int(out.end() - buf);
}

}  // namespace vl_detail
