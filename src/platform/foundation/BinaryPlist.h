#pragma once
// Binary property lists ("bplist00"), read and written by our own code:
// through the generic library, dates were cut to 32-bit seconds, a NUL
// inside a text aborted the process, and shared objects were copied without
// bound. Value::fromPlist and Value::toBinaryPlist use it.
//
// Reading refuses (nullopt) a file whose tables point outside it, whose
// objects refer to themselves or nest deeper than 512 levels, whose shared
// objects would build more than resultBudget allows, that holds a NUL
// inside a text, a dictionary key that is not text, or a date that is no
// number. Only sharing is charged: an object read for the first time
// builds what its own bytes hold, free (objects laid over each other's
// bytes, which no writer makes, excepted), and each later reference to it
// builds all of it again, which is charged, block for block as glibc's
// malloc takes it. So a file whose shared objects hold nothing on the heap
// (numbers, dates, booleans, texts of up to 15 bytes, empty containers)
// reads whatever its density, up to kMaxFileSize. Texts that are not valid UTF-8 (ASCII-marked
// text with bytes >= 0x80, lone UTF-16 surrogates) read with U+FFFD in
// place of the bad units, as the writer writes them. Dates are the stored
// double, read and written unrounded, whatever the year
// (Value::dateFromStoredSeconds). A UID reads as {"CF$UID": n}.
//
// Writing stores each distinct object once, containers included, so that
// a file read and written again keeps about its size; where what that
// sharing builds when read is more than the file's budget, an object
// nothing refers to makes the file as large as the budget needs. A
// dictionary {"CF$UID": n} with n from 0 to 2^32 - 1 is written as a UID (the width
// other readers take); a larger n stays a dictionary.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

namespace binaryplist {

std::optional<Value> read(std::string_view bytes);
Data write(const Value& root);

// What a value read from a file holds in memory: its own Value, and each
// heap block beneath it as glibc's malloc sizes it (heapBytes). The
// readers of files count what they build this way, as they build it.
size_t resultBytes(const Value& v);

// What glibc's malloc takes for a request of `n` bytes on 64-bit: a chunk
// of the request and an 8-byte header, at least 32 bytes, in steps of 16;
// one that may be mapped on its own (past 128 KiB) in whole pages.
constexpr size_t heapBlock(size_t n) {
    if (n == 0) return 0;
    size_t chunk = n + 8 + 15 < 32 ? 32 : (n + 8 + 15) & ~size_t(15);
    return chunk < (size_t(128) << 10) ? chunk : (chunk + 8 + 4095) & ~size_t(4095);
}

// What a value of `type` holds on the heap beyond its own Value, without
// what its elements hold: a text of `count` bytes past the small-string
// capacity its bytes and a NUL, data its bytes, an array of `count`
// elements their Values, a dictionary of `count` entries their map nodes
// (keys are texts of their own). Both resultBytes and the readers' charges
// are sums of it, so they cannot disagree.
size_t heapBytes(Value::Type type, size_t count);

// Property lists larger than this are refused, in either form: what one
// builds is a multiple of its size (below), and no file the program reads
// comes near it.
inline constexpr size_t kMaxFileSize = size_t(32) << 20;

// What shared objects may add when a file of `fileSize` bytes is read, in
// resultBytes: up to 256 times the file and 128 KiB (one large dictionary
// named at each element of a long list), within 128 MiB; a file past 16
// MiB, 8 times its size.
size_t resultBudget(size_t fileSize);

// What reading a file of `fileSize` bytes may build at most, in either
// form: what its objects hold, read once (at most 64 times their bytes: a
// dictionary's map node, 128 bytes, for two bytes of references), and
// what sharing adds.
inline constexpr size_t kOwnBytesPerFileByte = 64;
size_t resultCeiling(size_t fileSize);

// Text as property lists store it: valid UTF-8 without NUL, bad bytes and
// NULs written U+FFFD (as the JSON writer does), so that a written file
// always reads back. Both writers use it.
std::string storedText(std::string_view s);

// A dictionary's entries as both writers store them: keys as storedText,
// and where two keys become one there, only the later (in key order), so
// that no file holds one key twice (other readers differ on which wins).
std::map<std::string, const Value*> storedEntries(const Value::Dictionary& d);

// The UID that both writers store for `v`, a dictionary {"CF$UID": n}
// with n that other readers take; nullopt for anything else.
std::optional<uint32_t> storedUID(const Value& v);

// Dates as property lists store them: seconds since 2001-01-01 GMT. The
// conversions are exact both ways for every date a Date holds to the
// nanosecond, so a date read and written again keeps its double. Seconds
// beyond what a Date holds give the nearest Date (Value keeps the seconds).
Date dateFromReferenceSeconds(double seconds);
double referenceSecondsFromDate(Date date);

}  // namespace binaryplist
