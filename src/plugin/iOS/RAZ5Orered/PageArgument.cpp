#include "plugin/iOS/RAZ5Orered/PageArgument.h"

namespace PageArgument {

std::optional<Value> jsonObject(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    auto v = Value::fromJSON(*text);
    if (!v || !v->isDict()) return std::nullopt;
    return v;
}

}  // namespace PageArgument
