#include "platform/web/NSURLRequest.h"

#include <strings.h>

std::optional<std::string> headerValue(const HTTPHeaderFields& fields, std::string_view name) {
    for (auto& [k, v] : fields)
        if (k.size() == name.size() && strncasecmp(k.data(), name.data(), k.size()) == 0) return v;
    return std::nullopt;
}

void NSURLRequest::setValue(const std::string& value, const std::string& field) {
    for (auto& [k, v] : allHTTPHeaderFields)
        if (strcasecmp(k.c_str(), field.c_str()) == 0) {
            v = value;
            return;
        }
    allHTTPHeaderFields.emplace_back(field, value);
}
