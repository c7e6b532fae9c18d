#include "platform/foundation/Value.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <nlohmann/json.hpp>
#include <plist/plist.h>

#include "platform/foundation/BinaryPlist.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/JSONReading.h"
#include "platform/foundation/Strings.h"

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

namespace {

// XML goes through libplist, which aborts the process (an assertion) when it
// hands out a key holding a NUL: XML may not contain U+0000, so bytes
// holding one are refused before parsing, and values are read through the
// length-aware getter and checked again. Its parser recurses once per
// element (a file of 200,000 nested arrays overflows the stack), so files
// nested deeper than a property list may be are refused before it too. Its
// date getter has 32-bit seconds, so dates cross as tiny binary files of
// our own. Binary files are ours alone (BinaryPlist.h).
constexpr int kMaxPlistDepth = 512;

// True when elements nest deeper than `limit` (comments, CDATA sections and
// declarations skipped).
bool nestsDeeperThan(std::string_view xml, size_t limit) {
    size_t depth = 0;
    auto skipPast = [&](size_t from, std::string_view end) {
        size_t at = xml.find(end, from);
        return at == std::string_view::npos ? xml.size() : at + end.size();
    };
    for (size_t i = xml.find('<'); i < xml.size(); i = xml.find('<', i)) {
        std::string_view rest = xml.substr(i);
        if (rest.substr(0, 4) == "<!--") i = skipPast(i + 4, "-->");
        else if (rest.substr(0, 9) == "<![CDATA[") i = skipPast(i + 9, "]]>");
        else if (rest.substr(0, 2) == "<?" || rest.substr(0, 2) == "<!") i = skipPast(i + 2, ">");
        else if (rest.substr(0, 2) == "</") {
            if (depth > 0) --depth;
            i = skipPast(i + 2, ">");
        } else {
            size_t end = skipPast(i + 1, ">");
            if (xml[end - 1] == '>' && xml[end - 2] != '/' && ++depth > limit) return true;
            i = end;
        }
    }
    return false;
}

bool mayHandToLibplist(std::string_view bytes) {
    // The <plist> element and the root's own are two of the elements.
    return !bytes.empty() && bytes.size() < UINT32_MAX && bytes.find('\0') == std::string_view::npos &&
           !nestsDeeperThan(bytes, kMaxPlistDepth + 2);
}

// Reads a parsed tree; `damaged` is set by a node that cannot be read.
struct PlistReader {
    bool damaged = false;

    Value text(plist_t node) {
        if (plist_get_node_type(node) == PLIST_KEY) {
            char* s = nullptr;
            plist_get_key_val(node, &s);  // no NUL: refused before parsing
            Value out(strings::validUTF8(s ? s : ""));
            free(s);
            return out;
        }
        uint64_t length = 0;
        const char* s = plist_get_string_ptr(node, &length);
        if (!s) return Value("");
        std::string_view raw(s, length);
        if (raw.find('\0') != std::string_view::npos) damaged = true;
        return Value(strings::validUTF8(raw));
    }

    Value date(plist_t node) {
        // Through our binary reader, which keeps dates of any year.
        char* bytes = nullptr;
        uint32_t length = 0;
        plist_to_bin(node, &bytes, &length);
        auto v = bytes ? binaryplist::read(std::string_view(bytes, length)) : std::nullopt;
        free(bytes);
        if (!v || !v->isDate()) damaged = true;
        return v ? *v : Value();
    }

    Value read(plist_t node, int depth);
};

Value PlistReader::read(plist_t node, int depth) {
    if (depth > kMaxPlistDepth) damaged = true;  // as the binary reader refuses
    if (!node || damaged) return Value();
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return Value(b != 0);
    }
    case PLIST_UINT: {
        uint64_t u = 0;
        plist_get_uint_val(node, &u);
        return Value(int64_t(u));
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return Value(d);
    }
    case PLIST_STRING:
    case PLIST_KEY: return text(node);
    case PLIST_DATA: {
        uint64_t len = 0;
        auto* bytes = reinterpret_cast<const uint8_t*>(plist_get_data_ptr(node, &len));
        return Value(bytes ? ::Data(bytes, bytes + len) : ::Data());
    }
    case PLIST_DATE: return date(node);
    case PLIST_UID: {
        uint64_t uid = 0;
        plist_get_uid_val(node, &uid);
        return Value::dict({{"CF$UID", Value(int64_t(uid))}});
    }
    case PLIST_ARRAY: {
        Value::Array a;
        uint32_t n = plist_array_get_size(node);
        a.reserve(n);
        for (uint32_t i = 0; i < n; ++i) a.push_back(read(plist_array_get_item(node, i), depth + 1));
        return Value(std::move(a));
    }
    case PLIST_DICT: {
        Value::Dictionary d;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        while (it && !damaged) {
            plist_t item = nullptr;
            plist_dict_next_item(node, it, nullptr, &item);
            if (!item) break;
            Value key = text(plist_dict_item_get_key(item));
            d.insert_or_assign(*key.getString(), read(item, depth + 1));  // the last, as in binary
        }
        free(it);
        return Value(std::move(d));
    }
    default: return Value();
    }
}

// XML holds whole seconds of the years 1 to 9999 (four digits): a date
// beyond them is written as the nearest one it holds.
constexpr double kFirstXMLSecond = -63113904000.0;  // 0001-01-01T00:00:00Z
constexpr double kLastXMLSecond = 252423993599.0;   // 9999-12-31T23:59:59Z

// A date node holding the whole date: made from our binary form, since
// libplist's own constructor takes 32-bit seconds.
plist_t dateNode(const Value& date) {
    double seconds = std::clamp(std::floor(*date.storedSeconds()), kFirstXMLSecond, kLastXMLSecond);
    ::Data bytes = binaryplist::write(*Value::dateFromStoredSeconds(seconds));
    plist_t node = nullptr;
    plist_from_bin(reinterpret_cast<const char*>(bytes.data()), uint32_t(bytes.size()), &node);
    return node ? node : plist_new_date(0, 0);
}

plist_t toPlistNode(const Value& v) {
    switch (v.type()) {
    case Value::Type::Null: return plist_new_string("");
    case Value::Type::Bool: return plist_new_bool(*v.getBool() ? 1 : 0);
    case Value::Type::Integer: return plist_new_uint(uint64_t(*v.getInteger()));
    case Value::Type::Real: return plist_new_real(*v.getNumber());
    case Value::Type::String: return plist_new_string(binaryplist::storedText(*v.getString()).c_str());
    case Value::Type::Data: {
        auto& d = *v.getData();
        return plist_new_data(reinterpret_cast<const char*>(d.data()), d.size());
    }
    case Value::Type::Date: return dateNode(v);
    case Value::Type::Array: {
        plist_t a = plist_new_array();
        for (auto& e : *v.getArray()) plist_array_append_item(a, toPlistNode(e));
        return a;
    }
    case Value::Type::Dictionary: {
        if (auto uid = binaryplist::storedUID(v)) return plist_new_uid(*uid);
        plist_t d = plist_new_dict();
        for (auto& [k, e] : binaryplist::storedEntries(*v.getDict())) plist_dict_set_item(d, k.c_str(), toPlistNode(*e));
        return d;
    }
    }
    return plist_new_string("");
}

}  // namespace

std::optional<Value> Value::fromPlist(std::string_view bytes, Error* error) {
    std::optional<Value> out;
    if (bytes.substr(0, 6) == "bplist") {
        out = binaryplist::read(bytes);
    } else if (mayHandToLibplist(bytes)) {
        plist_t root = nullptr;
        plist_from_xml(bytes.data(), uint32_t(bytes.size()), &root);
        PlistReader reader;
        if (root) {
            Value v = reader.read(root, 0);
            if (!reader.damaged) out = std::move(v);
        }
        plist_free(root);
    }
    if (!out && error)
        *error = Error::withDescription(NSCocoaErrorDomain, 3840, "The data couldn't be read because it isn't in the correct format.");
    return out;
}

std::optional<Value> Value::fromPlist(const ::Data& bytes, Error* error) {
    return fromPlist(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), error);
}

namespace {

// libplist writes the year without leading zeros ("999-01-01T..."), which
// other readers refuse: each date's year is made four digits. Texts cannot
// hold "<date>" unescaped, so every one found is a date.
::Data withFourDigitYears(std::string_view xml) {
    ::Data out;
    out.reserve(xml.size());
    size_t from = 0;
    for (size_t at = xml.find("<date>"); at != std::string_view::npos; at = xml.find("<date>", from)) {
        size_t year = at + 6, digits = 0;
        while (year + digits < xml.size() && xml[year + digits] >= '0' && xml[year + digits] <= '9') ++digits;
        out.insert(out.end(), xml.begin() + from, xml.begin() + year);
        out.insert(out.end(), digits < 4 ? 4 - digits : 0, '0');
        from = year;
    }
    out.insert(out.end(), xml.begin() + from, xml.end());
    return out;
}

}  // namespace

::Data Value::toXMLPlist() const {
    plist_t root = toPlistNode(*this);
    char* out = nullptr;
    uint32_t len = 0;
    plist_to_xml(root, &out, &len);
    ::Data d = withFourDigitYears(std::string_view(out ? out : "", out ? len : 0));
    free(out);
    plist_free(root);
    return d;
}

::Data Value::toBinaryPlist() const { return binaryplist::write(*this); }
