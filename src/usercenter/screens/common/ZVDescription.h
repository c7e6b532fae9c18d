#pragma once
// The user-centre SDK's console descriptions of dictionaries and arrays
// (descriptionWithLocale: of NSDictionary and NSArray): one entry a line,
// tab-indented, "key : value", with the last comma of the whole text
// dropped. Nested containers are described the same way; other values by
// their text, null as "<null>".

#include <string>

#include "platform/foundation/Value.h"

namespace ZVDescription {
std::string descriptionWithLocale(const Value& value);
}
