#pragma once
// Text helpers shared by the whole system. Text is UTF-8 std::string; where
// the platform counts lengths and ranges in UTF-16 units, the utf16 helpers
// give those counts.

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Value.h"

namespace strings {

// printf-style formatting into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string vformat(const char* fmt, va_list args) __attribute__((format(printf, 1, 0)));

bool hasPrefix(std::string_view s, std::string_view prefix);
bool hasSuffix(std::string_view s, std::string_view suffix);
bool contains(std::string_view s, std::string_view part);
std::string trim(std::string_view s);  // blanks, tabs and line ends at both ends
std::vector<std::string> split(std::string_view s, std::string_view separator);  // keeps empty pieces
std::string join(const std::vector<std::string>& parts, std::string_view separator);
std::string replaceAll(std::string s, std::string_view from, std::string_view to);
std::string toLower(std::string_view s);
std::string toUpper(std::string_view s);

// The platform's forgiving number reads of a text: leading blanks, an
// optional sign, then digits; anything else stops the read. No digits give 0.
int64_t leadingInteger(std::string_view s);
double leadingDouble(std::string_view s);
// True when the first non-blank character is Y, y, T, t or a digit 1-9
// (after optional sign and zeros).
bool leadingBool(std::string_view s);

// Shortest text of a number that reads back the same ("3", "2.5", "0.1").
std::string formatNumber(double d);

// UTF-8 / UTF-16. Invalid UTF-8 bytes count as one unit each and decode to U+FFFD.
size_t utf16Length(std::string_view utf8);
std::u16string toUTF16(std::string_view utf8);
std::string fromUTF16(std::u16string_view utf16);
// Substring by UTF-16 location and length (clamped). A range that would cut
// a surrogate pair in half is widened to keep the pair whole.
std::string utf16Substring(std::string_view utf8, size_t location, size_t length);
// Byte offset in `utf8` of the UTF-16 unit index (clamped to the end).
size_t utf16IndexToByteOffset(std::string_view utf8, size_t index);
bool isValidUTF8(std::string_view s);
// The text with each invalid UTF-8 byte replaced by U+FFFD (valid text is
// returned as it is).
std::string validUTF8(std::string_view s);
// Longest prefix of at most `maxBytes` that does not end inside a UTF-8 sequence.
size_t utf8SafePrefixLength(std::string_view s, size_t maxBytes);

// Percent-encoding. `keep` lists the bytes kept as they are besides
// ALPHA / DIGIT / "-._~".
std::string percentEncode(std::string_view s, std::string_view keep = "");
// Form value encoding (application/x-www-form-urlencoded): unreserved bytes
// kept, everything else %XX (blank as %20).
std::string formEncode(std::string_view s);
// Decodes %XX; malformed escapes are kept literally. '+' is not a blank.
std::string percentDecode(std::string_view s);

// Encodes a text as a JavaScript string literal with its double quotes
// ("..."): JSON escaping plus U+2028 and U+2029, and "</" written "<\/" so
// that the text can sit inside an HTML script element. Invalid UTF-8 bytes
// become U+FFFD. Whatever the input, the result evaluates to that text and
// never to anything else.
std::string jsStringLiteral(std::string_view text);

std::string base64Encode(const Data& bytes);
std::string base64Encode(std::string_view bytes);
// Accepts padding or none, ignores line breaks and blanks; nullopt on other garbage.
std::optional<Data> base64Decode(std::string_view text);

std::string hexEncode(const uint8_t* bytes, size_t n);  // lower case
std::string iso8601(Date d);                             // "2026-12-06T17:00:00.000Z"

}  // namespace strings
