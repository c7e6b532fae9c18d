#pragma once
// Binary property lists ("bplist00"), read and written by our own code:
// through the generic library, dates were cut to 32-bit seconds, a NUL
// inside a text aborted the process, and shared objects were copied without
// bound. Value::fromPlist and Value::toBinaryPlist use it.
//
// Reading refuses (nullopt) a file whose tables point outside it, whose
// objects refer to themselves or nest deeper than 512 levels, whose shared
// objects would expand to many times its size, that holds a NUL inside a
// text, a dictionary key that is not text, or a date no Date can hold.
// Texts that are not valid UTF-8 (ASCII-marked text with bytes >= 0x80,
// lone UTF-16 surrogates) read with U+FFFD in place of the bad units, as
// the writer writes them. Dates are the stored double, read and written
// unrounded. A UID reads as {"CF$UID": n}, and such a dictionary is
// written as a UID.

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

namespace binaryplist {

std::optional<Value> read(std::string_view bytes);
Data write(const Value& root);

// Text as property lists store it: valid UTF-8 without NUL, bad bytes and
// NULs written U+FFFD (as the JSON writer does), so that a written file
// always reads back. Both writers use it.
std::string storedText(std::string_view s);

// Dates as property lists store them: seconds since 2001-01-01 GMT. The
// conversions are exact both ways for every date a Date holds to the
// nanosecond, so a date read and written again keeps its double.
std::optional<Date> dateFromReferenceSeconds(double seconds);
double referenceSecondsFromDate(Date date);

}  // namespace binaryplist
