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
    // Room for exactly `n` bytes, or nullptr (and full) when there is none.
    char* reserve(size_t n) {
        if (size_t(end_ - p_) < n) {
            full_ = true;
            return nullptr;
        }
        char* at = p_;
        p_ += n;
        return at;
    }
    bool full() const { return full_; }
    char* end() const { return p_; }

private:
    char* p_;
    char* end_;  // the last byte, kept for the NUL
    bool full_ = false;
};

unsigned decimalDigits(unsigned long long v) {
    unsigned n = 1;
    for (unsigned long long limit = 10; n < 20 && v >= limit; limit *= 10) ++n;
    return n;
}

// Decimal digits two at a time, straight into the text: the divisions by a
// constant become multiplications, where a division by a variable base cost
// about as much as the rest of the formatting.
void putDecimal(Out& out, unsigned long long v) {
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    unsigned n = decimalDigits(v);
    char* at = out.reserve(n);
    if (!at) return;
    char* t = at + n;
    while (v >= 100) {
        unsigned pair = unsigned(v % 100) * 2;
        v /= 100;
        *--t = kPairs[pair + 1];
        *--t = kPairs[pair];
    }
    if (v >= 10) {
        *--t = kPairs[v * 2 + 1];
        *--t = kPairs[v * 2];
    } else {
        *--t = char('0' + v);
    }
}

void putHex(Out& out, unsigned long long v, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char tmp[16];
    char* t = tmp + sizeof tmp;
    do {
        *--t = digits[v & 15];
        v >>= 4;
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

// One pass: a conversion it does not know ends it, and as it formats from
// its own copy of `args`, the C library can start again from the caller's.
int formatPlain(char* buf, size_t capacity, const char* format, va_list args) {
    if (capacity == 0) return -1;
    Out out(buf, capacity);
    va_list ap;
    va_copy(ap, args);
    bool plain = true;
    for (const char* p = format; plain && !out.full();) {
        const char* percent = strchrnul(p, '%');
        out.put(p, size_t(percent - p));
        if (!*percent) break;
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
            putDecimal(out, v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v));
            break;
        }
        case 'u': putDecimal(out, unsignedArg(length, ap)); break;
        case 'x':
        case 'X': putHex(out, unsignedArg(length, ap), c == 'X'); break;
        case 'c':
        case 's':
            if (length != Length::None) {
                plain = false;  // wide characters and strings
            } else if (c == 'c') {
                out.put(static_cast<char>(va_arg(ap, int)));
            } else {
                const char* s = va_arg(ap, const char*);
                if (!s) s = "(null)";
                out.put(s, std::strlen(s));
            }
            break;
        default: plain = false;  // flags, widths, precisions, other conversions, a lone "%" at the end
        }
    }
    va_end(ap);
    if (!plain || out.full()) return -1;
    *out.end() = '\0';
    return int(out.end() - buf);
}

}  // namespace vl_detail
