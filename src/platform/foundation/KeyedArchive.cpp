#include "platform/foundation/KeyedArchive.h"

#include <set>

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
    // What may still be built: objects shared by reference are copied at
    // each use, so a small table of objects that each refer twice to the
    // next would otherwise expand without end.
    size_t budget;
    std::set<uint64_t> inProgress;  // guards against reference cycles
    bool failed = false;

    // Counts one more value of the result, and its bytes.
    void charge(const Value& v) {
        size_t cost = 1;
        if (auto s = v.getString()) cost += s->size();
        else if (auto d = v.getData()) cost += d->size();
        if (cost > budget) failed = true;
        else budget -= cost;
    }

    Value resolve(const Value& ref, int depth) {
        if (failed) return Value();
        auto uid = uidOf(ref);
        if (!uid) return decode(ref, depth);  // an inline value
        if (*uid >= objects.size() || depth > kMaxDepth || inProgress.count(*uid)) {
            failed = true;
            return Value();
        }
        inProgress.insert(*uid);
        Value out = decode(objects[*uid], depth + 1);
        inProgress.erase(*uid);
        return out;
    }

    std::string className(const Value& obj) {
        auto uid = uidOf(obj["$class"]);
        if (!uid || *uid >= objects.size()) return "";
        return objects[*uid].str("$classname");
    }

    Value decode(const Value& obj, int depth) {
        Value out = decodeObject(obj, depth);
        charge(out);
        if (failed) return Value();
        return out;
    }

    Value decodeObject(const Value& obj, int depth) {
        if (failed) return Value();
        if (depth > kMaxDepth) {
            failed = true;
            return Value();
        }
        if (auto s = obj.getString()) return *s == "$null" ? Value() : obj;
        if (!obj.isDict()) return obj;  // numbers, booleans, data, dates
        if (uidOf(obj)) return resolve(obj, depth + 1);
        if (!obj.has("$class")) return obj;
        std::string cls = className(obj);
        if (obj.has("NS.keys") && obj.has("NS.objects")) {
            Value out = Value::dict();
            auto& keys = obj["NS.keys"];
            auto& values = obj["NS.objects"];
            if (!keys.isArray() || !values.isArray() || keys.size() != values.size()) {
                failed = true;
                return Value();
            }
            for (size_t i = 0; i < keys.size(); ++i) {
                Value k = resolve(keys[i], depth + 1);
                out.set(k.isString() ? *k.getString() : k.textValue(), resolve(values[i], depth + 1));
            }
            return out;
        }
        if (obj.has("NS.objects")) {
            Value out = Value::array();
            for (auto& e : obj["NS.objects"].getArray() ? *obj["NS.objects"].getArray() : Value::Array())
                out.push(resolve(e, depth + 1));
            return out;
        }
        if (obj.has("NS.string")) return Value(obj.str("NS.string"));
        if (obj.has("NS.bytes")) return obj["NS.bytes"].isData() ? obj["NS.bytes"] : Value(Data());
        if (obj.has("NS.data")) return obj["NS.data"].isData() ? obj["NS.data"] : Value(Data());
        if (obj.has("NS.time")) {
            auto date = binaryplist::dateFromReferenceSeconds(obj["NS.time"].doubleValue());
            if (!date) failed = true;  // a date no Date can hold
            return date ? Value(*date) : Value();
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
            Value o = Value::dict({{"NS.time", binaryplist::referenceSecondsFromDate(*v.getDate())}});
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
    Decoder d{*objects, 64 * bytes.size() + 4096, {}, false};
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
