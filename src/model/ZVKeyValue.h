#pragma once
// Mapping between reply dictionaries and model objects.
//
// A model class describes its fields once, in a table: the property name,
// the member it fills and, where the server uses another key, that key
// (what the class's replaced-key hook answers). One mapping function reads
// a dictionary through that table:
// - numbers given as text become numbers, numbers become text for text
//   fields, "1"/"0"/"true"/"false" and numbers become booleans;
// - a value of a type the field cannot take (a dictionary for a number, a
//   text that is no number, null) leaves the field at its default;
// - nested models and arrays of models map through their own tables;
// - in an array, elements that give no object (not dictionaries) are left out.
//
// A model class T opts in with a static member
//     static const zv::ModelTable<T>& zvTable();
// and a subclass of a model includes its base's fields with inherit().

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/foundation/Value.h"

namespace zv {

template <class T>
class ModelTable;

template <class T>
concept Model = requires {
    { T::zvTable() } -> std::same_as<const ModelTable<T>&>;
};

namespace convert {

// The field conversions. Each returns false when the value cannot be taken
// (the field then keeps its default).
bool read(const Value& v, std::string& out);
bool read(const Value& v, int64_t& out);
bool read(const Value& v, int& out);
bool read(const Value& v, double& out);
bool read(const Value& v, bool& out);
bool read(const Value& v, Value& out);
template <class T>
bool read(const Value& v, std::optional<T>& out) {
    T inner{};
    if (!read(v, inner)) return false;
    out = std::move(inner);
    return true;
}
template <Model M>
bool read(const Value& v, M& out);
template <class E>
bool read(const Value& v, std::vector<E>& out);

inline Value write(const std::string& v) { return Value(v); }
inline Value write(int64_t v) { return Value(v); }
inline Value write(int v) { return Value(v); }
inline Value write(double v) { return Value(v); }
inline Value write(bool v) { return Value(v); }
inline Value write(const Value& v) { return v; }
template <class T>
Value write(const std::optional<T>& v) {
    return v ? write(*v) : Value();
}
template <Model M>
Value write(const M& m);
template <class E>
Value write(const std::vector<E>& v) {
    Value out = Value::array();
    for (auto& e : v) out.push(write(e));
    return out;
}

}  // namespace convert

template <class T>
class ModelTable {
public:
    using Setter = std::function<bool(T&, const Value&)>;
    using Getter = std::function<Value(const T&)>;
    struct Field {
        std::string property;
        Setter set;
        Getter get;
    };

    // A field named `property`, filled from the reply key of the same name
    // unless replacedKeys() names another.
    template <class M>
    ModelTable& field(std::string property, M T::*member) {
        fields_.push_back(Field{std::move(property),
                                [member](T& t, const Value& v) { return convert::read(v, t.*member); },
                                [member](const T& t) { return convert::write(t.*member); }});
        return *this;
    }

    // The replaced-key hook: property name → reply key.
    ModelTable& replacedKeys(std::map<std::string, std::string> keys) {
        for (auto& [k, v] : keys) replaced_[k] = v;
        return *this;
    }

    // Every field (and replaced key) of a base model.
    template <class B>
        requires std::is_base_of_v<B, T>
    ModelTable& inherit(const ModelTable<B>& base) {
        for (auto& f : base.fields()) {
            auto set = f.set;
            auto get = f.get;
            fields_.push_back(Field{f.property, [set](T& t, const Value& v) { return set(static_cast<B&>(t), v); },
                                    [get](const T& t) { return get(static_cast<const B&>(t)); }});
        }
        for (auto& [k, v] : base.replaced()) replaced_.emplace(k, v);
        return *this;
    }

    const std::vector<Field>& fields() const { return fields_; }
    const std::map<std::string, std::string>& replaced() const { return replaced_; }
    std::string keyFor(const std::string& property) const {
        auto it = replaced_.find(property);
        return it == replaced_.end() ? property : it->second;
    }

    // Fills `target` from a dictionary; false (nothing set) for anything else.
    bool fill(T& target, const Value& dict) const {
        if (!dict.isDict()) return false;
        for (auto& f : fields_) {
            const Value& v = dict[keyFor(f.property)];
            if (!v.isNull()) f.set(target, v);
        }
        return true;
    }

    Value keyValues(const T& source) const {
        Value out = Value::dict();
        for (auto& f : fields_) {
            Value v = f.get(source);
            if (!v.isNull()) out.set(keyFor(f.property), std::move(v));
        }
        return out;
    }

private:
    std::vector<Field> fields_;
    std::map<std::string, std::string> replaced_;
};

// JSON text (or a value already parsed) as one value; text that is no JSON gives null.
Value parseKeyValues(std::string_view jsonText);

// A new object from a dictionary (or JSON text of one); nullopt otherwise.
template <Model T>
std::optional<T> objectWithKeyValues(const Value& keyValues) {
    T out{};
    if (!T::zvTable().fill(out, keyValues)) return std::nullopt;
    return out;
}
template <Model T>
std::optional<T> objectWithKeyValues(std::string_view jsonText) {
    return objectWithKeyValues<T>(parseKeyValues(jsonText));
}

// One new object per element of an array of dictionaries (or JSON text of
// one); elements that give no object are left out; nullopt when the
// argument is no array.
template <Model T>
std::optional<std::vector<T>> objectArrayWithKeyValuesArray(const Value& array) {
    std::vector<T> out;
    if (!convert::read(array, out)) return std::nullopt;
    return out;
}
template <Model T>
std::optional<std::vector<T>> objectArrayWithKeyValuesArray(std::string_view jsonText) {
    return objectArrayWithKeyValuesArray<T>(parseKeyValues(jsonText));
}

// The reverse: a dictionary of the model's fields under their reply keys.
template <Model T>
Value keyValues(const T& model) {
    return T::zvTable().keyValues(model);
}

namespace convert {
template <Model M>
bool read(const Value& v, M& out) {
    return M::zvTable().fill(out, v);
}
template <class E>
bool read(const Value& v, std::vector<E>& out) {
    const Value::Array* items = v.getArray();
    if (!items) return false;
    out.clear();
    for (auto& item : *items) {
        E e{};
        if (read(item, e)) out.push_back(std::move(e));
    }
    return true;
}
template <Model M>
Value write(const M& m) {
    return M::zvTable().keyValues(m);
}
}  // namespace convert

}  // namespace zv
