#pragma once
// Credentials never reach a log whole. A log line keeps its wording, but a
// token, password, key or sign in it shows as its first 4 characters and
// "…" (a text of 4 characters or fewer shows only "…"). In a dictionary,
// every text under a key whose name holds "token", "password", "pwd",
// "secret", "key" or "sign" (any case) is shortened so, at any depth, and
// so is every text under one of the `alsoSecret` keys (matched whole): the
// short keys of a wire format that names its credentials tersely.

#include <string>
#include <vector>

#include "platform/foundation/Value.h"

namespace redact {

std::string secret(const std::string& text);
// A copy of `v` with the credentials in it shortened.
Value credentials(const Value& v, const std::vector<std::string>& alsoSecret = {});
// The JSON text of `v` with the credentials shortened: what a log line prints.
std::string json(const Value& v, const std::vector<std::string>& alsoSecret = {});
// The same for an optional reply; "(none)" without one.
std::string json(const std::optional<Value>& v);
// An address with the values of its credential query parameters shortened
// ("...?user=a&sign=1f3e…"); the rest as it is.
std::string url(const std::string& address);

}  // namespace redact
