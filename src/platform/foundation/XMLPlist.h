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
// deep would overflow the stack. The values are counted there too: libplist
// builds a tree of about 110 bytes for each (about 16 times the file for
// "<true/>"), before anything of it can be judged, and what it holds is
// built again here, so a file whose values would build more than the
// budget of a binary file of its size (binaryplist::resultBudget, at two
// Values each; what XML spells out reads far within it) is refused before
// libplist reads it. So is a file whose dictionaries' keys or texts'
// entities would cost libplist more work than a budget linear in the
// file's size (XMLPlistWork.h): keys that share its hash once took 76 s
// for 3.3 MB.
//
// Dates hold whole seconds of the years 1 to 9999, written with four
// digits; a date beyond them is written as the nearest one they hold, and
// read into the stored double, whatever the year, as binary dates are.

#include <optional>
#include <string_view>

#include "platform/foundation/Value.h"
#include "platform/foundation/XMLPlistWork.h"

namespace xmlplist {

std::optional<Value> read(std::string_view bytes);
Data write(const Value& root);

// What libplist would build from `xml`, and the work it would take, found
// from its tags as libplist reads them, without building it. Exposed for
// tests.
struct XMLShape {
    bool refused = false;     // markup refused above
    size_t depth = 0;         // containers nested, the root's 1
    size_t elements = 0;      // values, keys included
    Work work;                // up to where the scan stopped
    bool overBudget = false;  // the work passed the budgets of the file's size, and the scan stopped
};
XMLShape shapeOf(std::string_view xml);

}  // namespace xmlplist
