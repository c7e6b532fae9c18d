#pragma once
// Typed reads of the aggregator servers' replies
// {"result": bool, "data": {...}, "error": {"id": number or text, "message": text}}:
// a null, a value of the wrong type or a missing key takes the failure path.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

namespace RelayReply {

// A dictionary whose "result" is true (a boolean or a number).
bool succeeded(const std::optional<Value>& reply);
// "error"."id" as an integer: a whole number, or a text of digits.
std::optional<int64_t> errorId(const std::optional<Value>& reply);
// "error"."message" when it is a text, else "".
std::string errorMessage(const std::optional<Value>& reply);
// "data" when it is a dictionary, else an empty dictionary.
Value data(const std::optional<Value>& reply);

}  // namespace RelayReply
