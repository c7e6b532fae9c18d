#pragma once
// A dynamic value, the stand-in for the platform's object graph of strings,
// numbers, data, dates, arrays and dictionaries (JSON replies, property
// lists, notification user info, script message bodies).
//
// Reading is forgiving by design: a missing key, an index out of range or a
// value of another type yields the null value or the documented default,
// never an exception or a crash. Callers that must tell "absent" from
// "wrong type" use the is*() tests or the get*() accessors returning
// pointers/optionals.

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

struct Error;

using Data = std::vector<uint8_t>;
using Date = std::chrono::system_clock::time_point;

// The date `seconds` after 1970-01-01 as read from outside (an archive, a
// database column); nullopt when it is not a number or lies outside what a
// Date holds (about the years 1678 to 2261), so that it is never converted
// with overflow.
std::optional<Date> dateFromSeconds(double seconds);

class Value {
public:
    using Array = std::vector<Value>;
    using Dictionary = std::map<std::string, Value, std::less<>>;

    enum class Type { Null, Bool, Integer, Real, String, Data, Date, Array, Dictionary };

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool b) : v_(b) {}
    Value(int i) : v_(int64_t(i)) {}
    Value(unsigned i) : v_(int64_t(i)) {}
    Value(long i) : v_(int64_t(i)) {}
    Value(long long i) : v_(int64_t(i)) {}
    Value(unsigned long i) : v_(int64_t(i)) {}
    Value(unsigned long long i) : v_(int64_t(i)) {}
    Value(double d) : v_(d) {}
    Value(const char* s) : v_(std::string(s ? s : "")) {}
    Value(std::string s) : v_(std::move(s)) {}
    Value(std::string_view s) : v_(std::string(s)) {}
    Value(::Data d) : v_(std::move(d)) {}
    Value(::Date d);
    Value(Array a) : v_(std::move(a)) {}
    Value(Dictionary d) : v_(std::move(d)) {}

    // Value::dict({{"a", 1}, {"b", "x"}}) and Value::array({1, "x"}).
    static Value dict(std::initializer_list<std::pair<const std::string, Value>> items = {});
    static Value array(std::initializer_list<Value> items = {});

    // Dates as property lists and archives store them: seconds since
    // 2001-01-01 GMT. Files hold dates no Date can hold (other programs
    // write the years 4001, 9999 or 1 for "never" and "always"): such a
    // date reads (getDate) as the nearest Date there is and keeps the
    // stored seconds, so that it is written back unchanged. Nullopt for
    // seconds that are infinite or no number.
    static std::optional<Value> dateFromStoredSeconds(double secondsSince2001);
    // The seconds a date is stored with; nullopt for anything else.
    std::optional<double> storedSeconds() const;

    Type type() const { return Type(v_.index()); }
    bool isNull() const { return type() == Type::Null; }
    bool isBool() const { return type() == Type::Bool; }
    bool isInteger() const { return type() == Type::Integer; }
    bool isReal() const { return type() == Type::Real; }
    bool isNumber() const { return isBool() || isInteger() || isReal(); }
    bool isString() const { return type() == Type::String; }
    bool isData() const { return type() == Type::Data; }
    bool isDate() const { return type() == Type::Date; }
    bool isArray() const { return type() == Type::Array; }
    bool isDict() const { return type() == Type::Dictionary; }

    // Strict accessors: nullptr / nullopt when the type differs.
    const std::string* getString() const { return std::get_if<std::string>(&v_); }
    const ::Data* getData() const { return std::get_if<::Data>(&v_); }
    const Array* getArray() const { return std::get_if<Array>(&v_); }
    const Dictionary* getDict() const { return std::get_if<Dictionary>(&v_); }
    std::optional<::Date> getDate() const;
    std::optional<int64_t> getInteger() const;  // integers and bools; reals only when integral
    std::optional<double> getNumber() const;    // any number
    std::optional<bool> getBool() const;        // bools and numbers

    // Forgiving conversions, in the manner of the platform's intValue,
    // doubleValue, boolValue and description on strings and numbers.
    // Anything else gives 0 / false / "".
    int64_t intValue() const;
    double doubleValue() const;
    bool boolValue() const;
    // Strings as they are; numbers in their shortest text form ("3", "2.5",
    // "1"/"0" for booleans); null, containers, data and dates give "".
    std::string textValue() const;
    // A string, or `fallback` for anything that is not a string.
    std::string stringOr(std::string_view fallback = "") const;

    // Dictionary and array reads; the null value when absent or not a container.
    const Value& operator[](std::string_view key) const;
    const Value& operator[](size_t index) const;
    const Value& operator[](int index) const { return index < 0 ? null() : (*this)[size_t(index)]; }
    bool has(std::string_view key) const;
    size_t size() const;  // element count of an array or dictionary, else 0
    bool empty() const { return size() == 0; }
    std::vector<std::string> keys() const;

    // Convenience reads from a dictionary.
    std::string str(std::string_view key, std::string_view fallback = "") const {
        return (*this)[key].stringOr(fallback);
    }
    std::string text(std::string_view key) const { return (*this)[key].textValue(); }
    int64_t integer(std::string_view key, int64_t fallback = 0) const;

    // Writing. set() and push() turn a null value into a dictionary / array
    // first; on any other type they do nothing.
    Value& set(std::string key, Value value);
    void remove(std::string_view key);
    Value& push(Value value);
    Dictionary& mutableDict();  // turns a non-dictionary into an empty one
    Array& mutableArray();      // turns a non-array into an empty one

    bool operator==(const Value& other) const;
    bool operator!=(const Value& other) const { return !(*this == other); }

    static const Value& null();

    // JSON. Parsing rejects anything but one JSON text, and texts nested
    // deeper than 512 arrays or objects; numbers without a fraction or
    // exponent become integers; the escape of a lone UTF-16 surrogate
    // (valid JSON, which scripts write) reads as U+FFFD. Serialising gives compact text
    // ("{"a":1}") unless pretty; data becomes Base64 and dates ISO 8601, since
    // JSON has neither; non-UTF-8 strings are written with U+FFFD in place
    // of bad bytes.
    static std::optional<Value> fromJSON(std::string_view text, Error* error = nullptr);
    std::string toJSON(bool pretty = false) const;

    // Property lists, XML or binary, read by their content (what is refused:
    // BinaryPlist.h, XMLPlist.h).
    static std::optional<Value> fromPlist(const ::Data& bytes, Error* error = nullptr);
    static std::optional<Value> fromPlist(std::string_view bytes, Error* error = nullptr);
    ::Data toXMLPlist() const;
    ::Data toBinaryPlist() const;

private:
    // A date and the seconds since 2001 that it is stored with: the same
    // instant, unless the stored one lies beyond what a Date holds.
    struct StoredDate {
        ::Date date;
        double since2001;
        bool operator==(const StoredDate&) const = default;
    };

    std::variant<std::monostate, bool, int64_t, double, std::string, ::Data, StoredDate, Array, Dictionary> v_;
};
