#pragma once
// The JSON reader with options its callers set: texts from outside (server
// replies) are read under a budget of values, so that one reply of millions
// of tiny elements cannot cost gigabytes.

#include <cstddef>
#include <optional>
#include <string_view>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

struct JSONReadingOptions {
    // At most this many values (containers, members' values and elements all
    // count); a text holding more is refused as malformed before the rest of
    // it is built. 0: no limit.
    size_t maxValues = 0;
};

// Value::fromJSON under the options.
std::optional<Value> readJSON(std::string_view text, const JSONReadingOptions& options, Error* error = nullptr);
