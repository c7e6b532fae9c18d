#pragma once
// The JSON texts the page hands to native operations: a text that does not
// parse, or parses as anything but an object, is no argument at all.

#include <optional>
#include <string>

#include "platform/foundation/Value.h"

namespace PageArgument {

std::optional<Value> jsonObject(const std::optional<std::string>& text);

}  // namespace PageArgument
