#include "platform/foundation/Value.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <nlohmann/json.hpp>

#include "platform/foundation/BinaryPlist.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/JSONReading.h"
#include "platform/foundation/Strings.h"
#include "platform/foundation/XMLPlist.h"

std::string Error::localizedDescription() const {
    const Value& d = userInfo[NSLocalizedDescriptionKey];
    if (d.isString() && !d.getString()->empty()) return *d.getString();
    return "The operation couldn't be completed. (" + domain + " error " + std::to_string(code) + ".)";
}

std::optional<Date> dateFromSeconds(double seconds) {
    // A second short of the limits, so that the rounding of the conversion
    // cannot step past them.
    constexpr double kLimit = double(std::chrono::duration_cast<std::chrono::seconds>(Date::duration::max()).count()) - 1;
    if (!std::isfinite(seconds) || seconds > kLimit || seconds < -kLimit) return std::nullopt;
    return Date(std::chrono::duration_cast<Date::duration>(std::chrono::duration<double>(seconds)));
}

Value::Value(::Date d) : v_(StoredDate{d, binaryplist::referenceSecondsFromDate(d)}) {}

std::optional<Value> Value::dateFromStoredSeconds(double secondsSince2001) {
    if (!std::isfinite(secondsSince2001)) return std::nullopt;
    Value v;
    v.v_ = StoredDate{binaryplist::dateFromReferenceSeconds(secondsSince2001), secondsSince2001};
    return v;
}

std::optional<double> Value::storedSeconds() const {
    if (auto d = std::get_if<StoredDate>(&v_)) return d->since2001;
    return std::nullopt;
}

Value Value::dict(std::initializer_list<std::pair<const std::string, Value>> items) {
    return Value(Dictionary(items.begin(), items.end()));
}

Value Value::array(std::initializer_list<Value> items) { return Value(Array(items)); }

const Value& Value::null() {
    static const Value n;
    return n;
}

std::optional<Date> Value::getDate() const {
    if (auto d = std::get_if<StoredDate>(&v_)) return d->date;
    return std::nullopt;
}

std::optional<int64_t> Value::getInteger() const {
    switch (type()) {
    case Type::Bool: return std::get<bool>(v_) ? 1 : 0;
    case Type::Integer: return std::get<int64_t>(v_);
    case Type::Real: {
        double d = std::get<double>(v_);
        if (std::isfinite(d) && std::floor(d) == d && std::fabs(d) < 9.2e18) return int64_t(d);
        return std::nullopt;
    }
    default: return std::nullopt;
    }
}

std::optional<double> Value::getNumber() const {
    switch (type()) {
    case Type::Bool: return std::get<bool>(v_) ? 1.0 : 0.0;
    case Type::Integer: return double(std::get<int64_t>(v_));
    case Type::Real: return std::get<double>(v_);
    default: return std::nullopt;
    }
}

std::optional<bool> Value::getBool() const {
    if (auto n = getNumber()) return *n != 0;
    return std::nullopt;
}

int64_t Value::intValue() const {
    switch (type()) {
    case Type::Bool:
    case Type::Integer: return *getInteger();
    case Type::Real: {
        double d = std::get<double>(v_);
        if (!std::isfinite(d)) return 0;
        if (d >= 9.2e18) return INT64_MAX;
        if (d <= -9.2e18) return INT64_MIN;
        return int64_t(d);
    }
    case Type::String: return strings::leadingInteger(std::get<std::string>(v_));
    default: return 0;
    }
}

double Value::doubleValue() const {
    if (auto n = getNumber()) return *n;
    if (auto s = getString()) return strings::leadingDouble(*s);
    return 0;
}

bool Value::boolValue() const {
    if (auto n = getNumber()) return *n != 0;
    if (auto s = getString()) return strings::leadingBool(*s);
    return false;
}

std::string Value::textValue() const {
    switch (type()) {
    case Type::String: return std::get<std::string>(v_);
    case Type::Bool: return std::get<bool>(v_) ? "1" : "0";
    case Type::Integer: return std::to_string(std::get<int64_t>(v_));
    case Type::Real: return strings::formatNumber(std::get<double>(v_));
    default: return "";
    }
}

std::string Value::stringOr(std::string_view fallback) const {
    if (auto s = getString()) return *s;
    return std::string(fallback);
}

const Value& Value::operator[](std::string_view key) const {
    if (auto d = getDict()) {
        auto it = d->find(key);
        if (it != d->end()) return it->second;
    }
    return null();
}

const Value& Value::operator[](size_t index) const {
    if (auto a = getArray()) {
        if (index < a->size()) return (*a)[index];
    }
    return null();
}

bool Value::has(std::string_view key) const {
    auto d = getDict();
    return d && d->find(key) != d->end();
}

size_t Value::size() const {
    if (auto a = getArray()) return a->size();
    if (auto d = getDict()) return d->size();
    return 0;
}

std::vector<std::string> Value::keys() const {
    std::vector<std::string> out;
    if (auto d = getDict())
        for (auto& [k, _] : *d) out.push_back(k);
    return out;
}

int64_t Value::integer(std::string_view key, int64_t fallback) const {
    const Value& v = (*this)[key];
    if (v.isNumber() || v.isString()) return v.intValue();
    return fallback;
}

Value& Value::set(std::string key, Value value) {
    if (isNull()) v_ = Dictionary{};
    if (auto d = std::get_if<Dictionary>(&v_)) (*d)[std::move(key)] = std::move(value);
    return *this;
}

void Value::remove(std::string_view key) {
    if (auto d = std::get_if<Dictionary>(&v_)) {
        auto it = d->find(key);
        if (it != d->end()) d->erase(it);
    }
}

Value& Value::push(Value value) {
    if (isNull()) v_ = Array{};
    if (auto a = std::get_if<Array>(&v_)) a->push_back(std::move(value));
    return *this;
}

Value::Dictionary& Value::mutableDict() {
    if (!isDict()) v_ = Dictionary{};
    return std::get<Dictionary>(v_);
}

Value::Array& Value::mutableArray() {
    if (!isArray()) v_ = Array{};
    return std::get<Array>(v_);
}

bool Value::operator==(const Value& other) const {
    // Numbers compare by value across integer, real and boolean forms.
    if (isNumber() && other.isNumber()) {
        if (isReal() || other.isReal()) return *getNumber() == *other.getNumber();
        return *getInteger() == *other.getInteger();
    }
    return v_ == other.v_;
}

// ---- JSON ----

namespace {

using json = nlohmann::json;

// Builds the Value straight from the parser's events, with an explicit
// stack: a deeply nested text from a server or the page must not recurse
// once per level (and overflow the stack), so nesting deeper than
// kMaxJSONDepth is refused as malformed.
constexpr size_t kMaxJSONDepth = 512;

class ValueBuilder : public nlohmann::json_sax<json> {
public:
    explicit ValueBuilder(size_t maxValues) : left_(maxValues ? maxValues : SIZE_MAX) {}
    bool null() override { return spend() && add(Value()); }
    bool boolean(bool b) override { return spend() && add(Value(b)); }
    bool number_integer(number_integer_t i) override { return spend() && add(Value(int64_t(i))); }
    bool number_unsigned(number_unsigned_t u) override {
        return spend() && add(u > uint64_t(INT64_MAX) ? Value(double(u)) : Value(int64_t(u)));
    }
    bool number_float(number_float_t d, const string_t&) override { return spend() && add(Value(d)); }
    bool string(string_t& s) override { return spend() && add(Value(std::move(s))); }
    bool binary(binary_t&) override { return false; }  // not produced by JSON text
    bool start_object(std::size_t) override { return open(Value(Value::Dictionary())); }
    bool key(string_t& k) override {
        stack_.back().key = std::move(k);
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(Value(Value::Array())); }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

    Value result() { return std::move(root_); }

private:
    struct Frame {
        Value container;
        std::string key;
    };

    // Every value passes here once (containers when they close): the budget
    // is counted as values are made.
    bool spend() {
        if (left_ == 0) return false;
        --left_;
        return true;
    }
    bool add(Value v) {
        if (stack_.empty()) {
            root_ = std::move(v);
            return true;
        }
        Frame& top = stack_.back();
        if (top.container.isArray()) top.container.push(std::move(v));
        else top.container.set(std::move(top.key), std::move(v));
        return true;
    }
    bool open(Value container) {
        if (stack_.size() >= kMaxJSONDepth || !spend()) return false;
        stack_.push_back({std::move(container), {}});
        return true;
    }
    bool close() {
        Value done = std::move(stack_.back().container);
        stack_.pop_back();
        return add(std::move(done));
    }

    std::vector<Frame> stack_;
    Value root_;
    size_t left_;
};

json toNlohmann(const Value& v) {
    switch (v.type()) {
    case Value::Type::Null: return nullptr;
    case Value::Type::Bool: return *v.getBool();
    case Value::Type::Integer: return *v.getInteger();
    case Value::Type::Real: {
        double d = *v.getNumber();
        if (!std::isfinite(d)) return nullptr;
        return d;
    }
    case Value::Type::String: return *v.getString();
    case Value::Type::Data: return strings::base64Encode(*v.getData());
    case Value::Type::Date: return strings::iso8601(*v.getDate());
    case Value::Type::Array: {
        json a = json::array();
        for (auto& e : *v.getArray()) a.push_back(toNlohmann(e));
        return a;
    }
    case Value::Type::Dictionary: {
        json o = json::object();
        for (auto& [k, e] : *v.getDict()) o[k] = toNlohmann(e);
        return o;
    }
    }
    return nullptr;
}

int hexQuad(std::string_view s, size_t at) {
    if (at + 4 > s.size()) return -1;
    int v = 0;
    for (size_t i = at; i < at + 4; ++i) {
        char c = s[i];
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

// The text with every "\u" escape of a lone UTF-16 surrogate (which a
// script's JSON.stringify writes for a lone surrogate in a string) made
// "\ufffd"; nullopt when there is none. Backslashes appear only in
// strings in valid JSON, so no string tracking is needed.
std::optional<std::string> withoutLoneSurrogates(std::string_view text) {
    std::optional<std::string> out;
    for (size_t i = text.find('\\'); i != std::string_view::npos && i + 1 < text.size(); i = text.find('\\', i)) {
        if (text[i + 1] != 'u') {
            i += 2;
            continue;
        }
        int unit = hexQuad(text, i + 2);
        bool high = unit >= 0xD800 && unit <= 0xDBFF, low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high && text.substr(i + 6, 2) == "\\u") {
            int next = hexQuad(text, i + 8);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                i += 12;
                continue;
            }
        }
        if (high || low) {
            if (!out) out.emplace(text);
            out->replace(i, 6, "\\ufffd");
        }
        i += 6;
    }
    return out;
}

}  // namespace

std::optional<Value> Value::fromJSON(std::string_view text, Error* error) { return readJSON(text, {}, error); }

std::optional<Value> readJSON(std::string_view text, const JSONReadingOptions& options, Error* error) {
    auto mended = withoutLoneSurrogates(text);
    if (mended) text = *mended;
    ValueBuilder builder(options.maxValues);
    if (!json::sax_parse(text.begin(), text.end(), &builder)) {
        if (error) *error = Error::withDescription(NSCocoaErrorDomain, 3840, "The data couldn't be read because it isn't in the correct format.");
        return std::nullopt;
    }
    return builder.result();
}

std::string Value::toJSON(bool pretty) const {
    return toNlohmann(*this).dump(pretty ? 2 : -1, ' ', false, json::error_handler_t::replace);
}

// ---- Property lists ----

std::optional<Value> Value::fromPlist(std::string_view bytes, Error* error) {
    std::optional<Value> out;
    if (bytes.size() <= binaryplist::kMaxFileSize)
        out = bytes.substr(0, 6) == "bplist" ? binaryplist::read(bytes) : xmlplist::read(bytes);
    if (!out && error)
        *error = Error::withDescription(NSCocoaErrorDomain, 3840, "The data couldn't be read because it isn't in the correct format.");
    return out;
}

std::optional<Value> Value::fromPlist(const ::Data& bytes, Error* error) {
    return fromPlist(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), error);
}

::Data Value::toXMLPlist() const { return xmlplist::write(*this); }

::Data Value::toBinaryPlist() const { return binaryplist::write(*this); }
