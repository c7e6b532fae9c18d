#include "usercenter/screens/common/ZVDescription.h"

namespace ZVDescription {

namespace {
std::string describe(const Value& v);

std::string container(const Value& v) {
    std::string out;
    if (v.isDict()) {
        out = "{\n";
        for (auto& [key, value] : *v.getDict()) out += "\t" + key + " : " + describe(value) + ",\n";
        out += "}";
    } else {
        out = "[\n";
        for (auto& element : *v.getArray()) out += "\t" + describe(element) + ",\n";
        out += "]";
    }
    if (auto comma = out.rfind(','); comma != std::string::npos) out.erase(comma, 1);
    return out;
}

std::string describe(const Value& v) {
    if (v.isDict() || v.isArray()) return container(v);
    if (v.isNull()) return "<null>";
    return v.textValue();
}
}  // namespace

std::string descriptionWithLocale(const Value& value) { return describe(value); }

}  // namespace ZVDescription
