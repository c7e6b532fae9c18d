#include "platform/foundation/KeyedArchive.h"

#include <vector>

#include "platform/foundation/BinaryPlist.h"
#include "platform/foundation/Error.h"

namespace keyedarchive {

namespace {

constexpr int kMaxDepth = 256;

std::optional<uint64_t> uidOf(const Value& v) {
    if (!v.isDict() || v.size() != 1) return std::nullopt;
    auto n = v["CF$UID"].getInteger();
    if (!n || *n < 0) return std::nullopt;
    return uint64_t(*n);
}

struct Decoder {
    const Value::Array& objects;
    // What sharing may still add, in binaryplist::resultBytes (heap
    // blocks). An object of the table is copied at each reference to it:
    // the first copy builds what the table holds once, the later ones are
    // charged whole before they are built, so that a small table of objects
    // that each refer twice to the next, or a long list that refers to one
    // large object, cannot expand without end.
    size_t budget;
    bool failed = false;
    size_t built = 0;
    int repeating = 0;  // > 0 inside a later copy, already charged whole
    // Per object: 0 before its first copy, kInProgress during it (a
    // reference then is a cycle), else what that copy built, plus one.
    static constexpr size_t kInProgress = SIZE_MAX;
    std::vector<size_t> seen = std::vector<size_t>(objects.size(), 0);

    void build(size_t cost) { built += cost; }

    // A value of the table taken as it is: a copy of all it holds (its own
    // Value is paid for by its container).
    Value copied(const Value& v) {
        build(binaryplist::resultBytes(v) - sizeof(Value));
        return v;
    }

    Value resolve(const Value& ref, int depth) {
        if (failed) return Value();
        auto uid = uidOf(ref);
        if (!uid) return decode(ref, depth);  // an inline value
        if (*uid >= objects.size() || depth > kMaxDepth || seen[*uid] == kInProgress) {
            failed = true;
            return Value();
        }
        if (seen[*uid] != 0) return copyAgain(seen[*uid] - 1, objects[*uid], depth + 1);
        seen[*uid] = kInProgress;
        size_t before = built;
        Value out = decode(objects[*uid], depth + 1);
        seen[*uid] = built - before + 1;
        return out;
    }

    Value copyAgain(size_t cost, const Value& obj, int depth) {
        if (repeating == 0) {
            if (cost > budget) {
                failed = true;
                return Value();
            }
            budget -= cost;
        }
        ++repeating;
        Value out = decode(obj, depth);
        --repeating;
        return out;
    }

    std::string className(const Value& obj) {
        auto uid = uidOf(obj["$class"]);
        if (!uid || *uid >= objects.size()) return "";
        return objects[*uid].str("$classname");
    }

    Value decode(const Value& obj, int depth) {
        Value out = decodeObject(obj, depth);
        if (failed) return Value();
        return out;
    }

    Value decodeObject(const Value& obj, int depth) {
        if (failed) return Value();
        if (depth > kMaxDepth) {
            failed = true;
            return Value();
        }
        if (auto s = obj.getString()) return *s == "$null" ? Value() : copied(obj);
        if (!obj.isDict()) return copied(obj);  // numbers, booleans, data, dates
        if (uidOf(obj)) return resolve(obj, depth + 1);
        if (!obj.has("$class")) return copied(obj);
        std::string cls = className(obj);
        if (obj.has("NS.keys") && obj.has("NS.objects")) {
            Value out = Value::dict();
            auto& keys = obj["NS.keys"];
            auto& values = obj["NS.objects"];
            if (!keys.isArray() || !values.isArray() || keys.size() != values.size()) {
                failed = true;
                return Value();
            }
            build(binaryplist::heapBytes(Value::Type::Dictionary, keys.size()));
            for (size_t i = 0; i < keys.size(); ++i) {
                Value k = resolve(keys[i], depth + 1);
                std::string key = k.isString() ? *k.getString() : k.textValue();
                if (!k.isString()) {
                    key.shrink_to_fit();  // held as charged
                    build(binaryplist::heapBytes(Value::Type::String, key.size()));
                }
                out.set(std::move(key), resolve(values[i], depth + 1));
            }
            return out;
        }
        if (obj.has("NS.objects")) {
            auto elements = obj["NS.objects"].getArray();
            if (!elements) return Value::array();
            // Reserved whole, as charged: grown one at a time it would hold
            // up to twice as many.
            build(binaryplist::heapBytes(Value::Type::Array, elements->size()));
            Value::Array out;
            out.reserve(elements->size());
            for (auto& e : *elements) out.push_back(resolve(e, depth + 1));
            return Value(std::move(out));
        }
        if (obj.has("NS.string")) return copied(obj["NS.string"].isString() ? obj["NS.string"] : Value(""));
        if (obj.has("NS.bytes")) return copied(obj["NS.bytes"].isData() ? obj["NS.bytes"] : Value(Data()));
        if (obj.has("NS.data")) return copied(obj["NS.data"].isData() ? obj["NS.data"] : Value(Data()));
        if (obj.has("NS.time")) {
            auto date = Value::dateFromStoredSeconds(obj["NS.time"].doubleValue());
            if (!date) failed = true;  // no number
            return date ? *date : Value();
        }
        if (cls == "NSNull") return Value();
        failed = true;  // a class we cannot rebuild
        return Value();
    }
};

Value uid(uint64_t n) { return Value::dict({{"CF$UID", Value(int64_t(n))}}); }

struct Encoder {
    Value::Array objects{Value("$null")};
    std::map<std::string, uint64_t> classes;

    uint64_t classRef(const std::string& name, std::initializer_list<const char*> chain) {
        auto it = classes.find(name);
        if (it != classes.end()) return it->second;
        Value c = Value::dict({{"$classname", name}});
        Value list = Value::array();
        for (auto n : chain) list.push(n);
        c.set("$classes", list);
        objects.push_back(c);
        return classes[name] = objects.size() - 1;
    }

    uint64_t add(const Value& v) {
        switch (v.type()) {
        case Value::Type::Null: return 0;
        case Value::Type::Dictionary: {
            size_t slot = objects.size();
            objects.emplace_back();
            Value keys = Value::array(), vals = Value::array();
            for (auto& [k, e] : *v.getDict()) {
                keys.push(uid(add(Value(k))));
                vals.push(uid(add(e)));
            }
            Value o = Value::dict({{"NS.keys", keys}, {"NS.objects", vals}});
            o.set("$class", uid(classRef("NSDictionary", {"NSDictionary", "NSObject"})));
            objects[slot] = o;
            return slot;
        }
        case Value::Type::Array: {
            size_t slot = objects.size();
            objects.emplace_back();
            Value vals = Value::array();
            for (auto& e : *v.getArray()) vals.push(uid(add(e)));
            Value o = Value::dict({{"NS.objects", vals}});
            o.set("$class", uid(classRef("NSArray", {"NSArray", "NSObject"})));
            objects[slot] = o;
            return slot;
        }
        case Value::Type::Date: {
            Value o = Value::dict({{"NS.time", *v.storedSeconds()}});
            o.set("$class", uid(classRef("NSDate", {"NSDate", "NSObject"})));
            objects.push_back(o);
            return objects.size() - 1;
        }
        case Value::Type::String:
            // The text "$null" stands for the null object in the table: as a
            // plain entry it would read back as null.
            if (*v.getString() == "$null") {
                Value o = Value::dict({{"NS.string", v}});
                o.set("$class", uid(classRef("NSString", {"NSString", "NSObject"})));
                objects.push_back(o);
                return objects.size() - 1;
            }
            objects.push_back(v);
            return objects.size() - 1;
        default:
            objects.push_back(v);
            return objects.size() - 1;
        }
    }
};

bool fail(Error* error, const char* message) {
    if (error) *error = Error::withDescription(NSCocoaErrorDomain, 4864, message);
    return false;
}

}  // namespace

std::optional<Value> unarchive(const Data& bytes, Error* error) {
    Error perr;
    auto plist = Value::fromPlist(bytes, &perr);
    if (!plist) {
        fail(error, "The data is not a property list.");
        return std::nullopt;
    }
    auto objects = (*plist)["$objects"].getArray();
    if (!objects || !(*plist)["$top"].isDict() || (*plist)["$top"].empty()) {
        fail(error, "The data is not a keyed archive.");
        return std::nullopt;
    }
    auto& top = (*plist)["$top"];
    const Value& rootRef = top.has("root") ? top["root"] : top[top.keys().front()];
    // The result may be many times larger than the archive, not without bound.
    Decoder d{*objects, binaryplist::resultBudget(bytes.size())};
    Value root = d.resolve(rootRef, 0);
    if (d.failed) {
        fail(error, "The keyed archive is damaged or holds objects that cannot be read.");
        return std::nullopt;
    }
    return root;
}

Data archive(const Value& root) {
    Encoder e;
    uint64_t r = e.add(root);
    Value plist = Value::dict({{"$version", 100000}, {"$archiver", "NSKeyedArchiver"}});
    plist.set("$top", Value::dict({{"root", uid(r)}}));
    plist.set("$objects", Value(std::move(e.objects)));
    return plist.toBinaryPlist();
}

}  // namespace keyedarchive
