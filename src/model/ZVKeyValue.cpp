#include "model/ZVKeyValue.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "platform/foundation/Strings.h"

namespace zv {

Value parseKeyValues(std::string_view jsonText) { return Value::fromJSON(jsonText).value_or(Value()); }

namespace convert {

namespace {

// A text that is one number as a whole (blanks around it allowed); the
// server sends ids and amounts either way.
std::optional<double> numberFromText(const std::string& s) {
    std::string t = strings::trim(s);
    if (t.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    double d = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || errno == ERANGE || !std::isfinite(d)) return std::nullopt;
    // strtod also reads "nan", "inf" and hexadecimal; the server never means those.
    for (char c : t) {
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E'))
            return std::nullopt;
    }
    return d;
}

std::optional<int64_t> integerFromText(const std::string& s) {
    auto d = numberFromText(s);
    if (!d) return std::nullopt;
    if (*d >= 9.2e18 || *d <= -9.2e18) return std::nullopt;
    // "12" reads exactly; "12.7" keeps its whole part, as an integer field would.
    std::string t = strings::trim(s);
    if (t.find_first_of(".eE") == std::string::npos) return strings::leadingInteger(t);
    return int64_t(*d);
}

}  // namespace

bool read(const Value& v, std::string& out) {
    if (v.isString() || v.isNumber()) {
        out = v.textValue();
        return true;
    }
    return false;
}

bool read(const Value& v, int64_t& out) {
    if (v.isNumber()) {
        out = v.intValue();
        return true;
    }
    if (auto s = v.getString()) {
        if (auto i = integerFromText(*s)) {
            out = *i;
            return true;
        }
    }
    return false;
}

bool read(const Value& v, int& out) {
    int64_t wide = 0;
    if (!read(v, wide) || wide > INT32_MAX || wide < INT32_MIN) return false;
    out = int(wide);
    return true;
}

bool read(const Value& v, double& out) {
    if (v.isNumber()) {
        out = v.doubleValue();
        return true;
    }
    if (auto s = v.getString()) {
        if (auto d = numberFromText(*s)) {
            out = *d;
            return true;
        }
    }
    return false;
}

bool read(const Value& v, bool& out) {
    if (v.isNumber()) {
        out = v.boolValue();
        return true;
    }
    if (auto s = v.getString()) {
        std::string t = strings::toLower(strings::trim(*s));
        std::optional<bool> b;
        if (t == "true" || t == "yes") b = true;
        else if (t == "false" || t == "no") b = false;
        else if (auto d = numberFromText(t)) b = *d != 0;
        if (b) {
            out = *b;
            return true;
        }
    }
    return false;
}

bool read(const Value& v, Value& out) {
    out = v;
    return true;
}

}  // namespace convert
}  // namespace zv
