#pragma once
// The formatting of a logging call's printf-style text, on the caller's
// thread. Most formats hold only plain conversions (%d, %s, %u, %x, %c, %%
// with the length modifiers hh, h, l, ll, j, z, t); those are formatted here
// at a fraction of the C library's cost, byte for byte as snprintf would.
// Anything else (flags, widths, precisions, floating point, %p, %n, ...)
// is left to the C library.

#include <cstdarg>
#include <cstddef>

namespace vl_detail {

// Formats into `buf` (room for `capacity` bytes, ending with a NUL) and
// answers the text's length. -1 when the format is not one of the plain
// ones or the text does not fit: then nothing of `args` was used up, and
// the caller formats with vsnprintf from the same va_list.
int formatPlain(char* buf, size_t capacity, const char* format, va_list args);

}  // namespace vl_detail
