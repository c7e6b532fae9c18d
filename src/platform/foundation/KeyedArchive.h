#pragma once
// Keyed archives: the platform's object-graph archive format (a binary
// property list with "$archiver", "$top" and a "$objects" table whose
// entries refer to each other by UID). Stored files and keychain items made
// on the platform use it. Strings, numbers, booleans, data, dates, arrays
// and dictionaries (mutable or not, with string keys) are understood.

#include <optional>

#include "platform/foundation/Value.h"

struct Error;

namespace keyedarchive {

// The root object of an archive; nullopt (and `error`) when the bytes are
// not a property list, not a keyed archive, refer to missing objects, or
// name objects so often that their later copies (the first of each is not
// charged) would build more than binaryplist::resultBudget allows for
// their size. An archived null
// ("$null") yields the null value; a date of any year keeps its stored
// seconds (Value::dateFromStoredSeconds).
std::optional<Value> unarchive(const Data& bytes, Error* error = nullptr);

// A binary keyed archive whose root ("root") is `root`. Dictionaries are
// archived as NSDictionary, arrays as NSArray, dates as NSDate.
Data archive(const Value& root);

}  // namespace keyedarchive
