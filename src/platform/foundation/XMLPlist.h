#pragma once
// XML property lists, read and written through libplist. Value::fromPlist
// and Value::toXMLPlist use it.
//
// Reading refuses (nullopt) what libplist refuses, a text holding a NUL
// (XML cannot hold U+0000, and libplist aborts the process on a key with
// one), elements nested deeper than 512 levels, and markup that no
// property list has and that parsers may read differently: a quoted
// attribute value holding '<' or '>', an unpaired quote in a tag, a
// document type with declarations of its own. The nesting is found before
// libplist reads the file, by reading its tags as libplist does (quoted
// values, comments, CDATA sections, processing instructions): libplist
// frees what it builds one call per level, so a file nested 200,000 levels
// deep would overflow the stack. XML shares nothing: what a file builds is
// what it holds, at most about 9 times its size (a Value for each "<key/>"
// or "<true/>"); libplist's own tree, gone when reading ends, takes about
// 16 times.
//
// Dates hold whole seconds of the years 1 to 9999, written with four
// digits; a date beyond them is written as the nearest one they hold, and
// read into the stored double, whatever the year, as binary dates are.

#include <optional>
#include <string_view>

#include "platform/foundation/Value.h"

namespace xmlplist {

std::optional<Value> read(std::string_view bytes);
Data write(const Value& root);

// Whether libplist may be given `xml`: false when what it would build
// nests deeper than `limit` containers, or the text holds markup refused
// above. Exposed for tests.
bool nestsWithin(std::string_view xml, size_t limit);

}  // namespace xmlplist
