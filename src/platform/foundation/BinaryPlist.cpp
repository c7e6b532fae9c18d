#include "platform/foundation/BinaryPlist.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "platform/foundation/Strings.h"

namespace binaryplist {

namespace {

// Seconds between 1970-01-01 and 2001-01-01.
constexpr int64_t kReferenceOffset = 978307200;
constexpr int64_t kNanos = 1000000000;
constexpr size_t kHeader = 8, kTrailer = 32;
constexpr int kMaxDepth = 512;

}  // namespace

std::optional<Date> dateFromReferenceSeconds(double seconds) {
    if (!std::isfinite(seconds)) return std::nullopt;
    // Whole seconds and the fraction apart: adding the offset to the double
    // first would round away the fraction's last bits.
    double whole = std::floor(seconds);
    constexpr double kLimit = double(std::chrono::duration_cast<std::chrono::seconds>(Date::duration::max()).count()) - 1;
    if (whole + double(kReferenceOffset) > kLimit || whole + double(kReferenceOffset) < -kLimit) return std::nullopt;
    int64_t nanos = std::llround((seconds - whole) * double(kNanos));
    auto since1970 = std::chrono::seconds(int64_t(whole) + kReferenceOffset) + std::chrono::nanoseconds(nanos);
    return Date(std::chrono::duration_cast<Date::duration>(since1970));
}

std::string storedText(std::string_view s) {
    return strings::replaceAll(strings::validUTF8(s), std::string_view("\0", 1), "\xEF\xBF\xBD");
}

double referenceSecondsFromDate(Date date) {
    int64_t nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(date.time_since_epoch()).count();
    int64_t whole = nanos / kNanos, rest = nanos % kNanos;
    if (rest < 0) {
        rest += kNanos;
        whole -= 1;
    }
    return double(whole - kReferenceOffset) + double(rest) / double(kNanos);
}

// ---- reading

namespace {

class Reader {
public:
    explicit Reader(std::string_view b) : b_(b), budget_(64 * b.size() + 4096) {}

    std::optional<Value> run() {
        if (b_.size() < kHeader + kTrailer || b_.substr(0, 8) != "bplist00") return std::nullopt;
        size_t t = b_.size() - kTrailer;
        offsetSize_ = uint8_t(b_[t + 6]);
        refSize_ = uint8_t(b_[t + 7]);
        uint64_t count = be(t + 8, 8), top = be(t + 16, 8), table = be(t + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8) return std::nullopt;
        if (table < kHeader || table > t || count == 0 || count > (t - table) / offsetSize_ || top >= count)
            return std::nullopt;
        table_ = table;
        objectsEnd_ = table;
        count_ = count;
        inProgress_.assign(count, false);
        Value root = object(top, 0);
        if (failed_) return std::nullopt;
        return root;
    }

private:
    uint64_t be(uint64_t at, uint64_t width) const {
        uint64_t v = 0;
        for (uint64_t i = 0; i < width; ++i) v = v << 8 | uint8_t(b_[at + i]);
        return v;
    }

    // True when [at, at + length) lies within the object area.
    bool fits(uint64_t at, uint64_t length) const { return at <= objectsEnd_ && length <= objectsEnd_ - at; }

    Value fail() {
        failed_ = true;
        return Value();
    }

    void charge(uint64_t cost) {
        if (cost > budget_) failed_ = true;
        else budget_ -= cost;
    }

    // The count of a container, text or data object: the marker's low
    // nibble, or an integer object after it. `at` moves past the count.
    bool length(uint8_t marker, uint64_t& at, uint64_t& out) {
        out = marker & 0x0F;
        if (out != 0x0F) return true;
        if (!fits(at, 1)) return false;
        uint8_t intMarker = uint8_t(b_[at]);
        if ((intMarker >> 4) != 0x1 || (intMarker & 0x0F) > 3) return false;
        uint64_t width = uint64_t(1) << (intMarker & 0x0F);
        if (!fits(at + 1, width)) return false;
        out = be(at + 1, width);
        at += 1 + width;
        return true;
    }

    Value object(uint64_t index, int depth) {
        if (failed_) return Value();
        if (index >= count_ || depth > kMaxDepth || inProgress_[index]) return fail();
        uint64_t at = be(table_ + index * offsetSize_, offsetSize_);
        if (at < kHeader || at >= objectsEnd_) return fail();
        inProgress_[index] = true;
        Value v = decode(at, depth);
        inProgress_[index] = false;
        charge(1);
        return failed_ ? Value() : v;
    }

    Value decode(uint64_t at, int depth) {
        uint8_t marker = uint8_t(b_[at]);
        ++at;
        switch (marker >> 4) {
        case 0x0:
            if (marker == 0x00) return Value();
            if (marker == 0x08 || marker == 0x09) return Value(marker == 0x09);
            return fail();
        case 0x1: return integer(marker, at);
        case 0x2: return real(marker, at);
        case 0x3: {
            if (marker != 0x33 || !fits(at, 8)) return fail();
            auto date = dateFromReferenceSeconds(doubleAt(at));
            return date ? Value(*date) : fail();
        }
        case 0x4: {
            uint64_t n = 0;
            if (!length(marker, at, n) || !fits(at, n)) return fail();
            charge(n);
            auto* p = reinterpret_cast<const uint8_t*>(b_.data() + at);
            return Value(Data(p, p + n));
        }
        case 0x5:
        case 0x7: {
            uint64_t n = 0;
            if (!length(marker, at, n) || !fits(at, n)) return fail();
            return text(strings::validUTF8(b_.substr(at, n)));
        }
        case 0x6: {
            uint64_t n = 0;
            if (!length(marker, at, n) || n > objectsEnd_ / 2 || !fits(at, n * 2)) return fail();
            std::u16string units(n, u'\0');
            for (uint64_t i = 0; i < n; ++i) units[i] = char16_t(be(at + 2 * i, 2));
            return text(strings::fromUTF16(units));
        }
        case 0x8: {
            uint64_t width = uint64_t(marker & 0x0F) + 1;
            if (width > 8 || !fits(at, width)) return fail();
            uint64_t uid = be(at, width);
            if (uid > uint64_t(INT64_MAX)) return fail();
            return Value::dict({{"CF$UID", Value(int64_t(uid))}});
        }
        case 0xA:
        case 0xC: return array(marker, at, depth);
        case 0xD: return dictionary(marker, at, depth);
        default: return fail();
        }
    }

    double doubleAt(uint64_t at) const {
        uint64_t bits = be(at, 8);
        double d;
        std::memcpy(&d, &bits, 8);
        return d;
    }

    Value integer(uint8_t marker, uint64_t at) {
        unsigned power = marker & 0x0F;
        if (power > 4) return fail();
        uint64_t width = uint64_t(1) << power;
        if (!fits(at, width)) return fail();
        if (width == 16) {
            // Written for unsigned values past the signed range: the high
            // half is zero.
            if (be(at, 8) != 0) return fail();
            uint64_t u = be(at + 8, 8);
            return u > uint64_t(INT64_MAX) ? Value(double(u)) : Value(int64_t(u));
        }
        // Eight bytes are signed, fewer unsigned: both fit.
        return Value(int64_t(be(at, width)));
    }

    Value real(uint8_t marker, uint64_t at) {
        unsigned power = marker & 0x0F;
        if (power == 3 && fits(at, 8)) return Value(doubleAt(at));
        if (power == 2 && fits(at, 4)) {
            uint32_t bits = uint32_t(be(at, 4));
            float f;
            std::memcpy(&f, &bits, 4);
            return Value(double(f));
        }
        return fail();
    }

    // A NUL inside a text makes the file damaged, as in XML, which cannot
    // hold one.
    Value text(std::string s) {
        if (s.find('\0') != std::string::npos) return fail();
        charge(s.size());
        return Value(std::move(s));
    }

    bool refs(uint64_t at, uint64_t n, uint64_t times) {
        return n <= objectsEnd_ / refSize_ / times && fits(at, n * refSize_ * times);
    }

    Value array(uint8_t marker, uint64_t at, int depth) {
        uint64_t n = 0;
        if (!length(marker, at, n) || !refs(at, n, 1)) return fail();
        Value::Array out;
        out.reserve(n);
        for (uint64_t i = 0; i < n && !failed_; ++i) out.push_back(object(be(at + i * refSize_, refSize_), depth + 1));
        return failed_ ? Value() : Value(std::move(out));
    }

    Value dictionary(uint8_t marker, uint64_t at, int depth) {
        uint64_t n = 0;
        if (!length(marker, at, n) || !refs(at, n, 2)) return fail();
        Value::Dictionary out;
        for (uint64_t i = 0; i < n && !failed_; ++i) {
            Value key = object(be(at + i * refSize_, refSize_), depth + 1);
            if (!key.isString()) return fail();
            Value value = object(be(at + (n + i) * refSize_, refSize_), depth + 1);
            out.insert_or_assign(*key.getString(), std::move(value));
        }
        return failed_ ? Value() : Value(std::move(out));
    }

    std::string_view b_;
    uint64_t budget_;
    uint8_t offsetSize_ = 0, refSize_ = 0;
    uint64_t table_ = 0, objectsEnd_ = 0, count_ = 0;
    std::vector<bool> inProgress_;  // guards against reference cycles
    bool failed_ = false;
};

// ---- writing

class Writer {
public:
    Data run(const Value& root) {
        add(root);
        uint64_t count = objects_.size();
        refSize_ = widthFor(count);
        // Objects first (their references need refSize_), then the offsets.
        Data out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
        std::vector<uint64_t> offsets;
        offsets.reserve(count);
        for (auto& o : objects_) {
            offsets.push_back(out.size());
            encode(o, out);
        }
        uint64_t table = out.size();
        uint8_t offsetSize = widthFor(table);
        for (uint64_t off : offsets) putBE(out, off, offsetSize);
        out.insert(out.end(), 6, 0);
        out.push_back(offsetSize);
        out.push_back(refSize_);
        putBE(out, count, 8);
        putBE(out, 0, 8);  // the root is the first object
        putBE(out, table, 8);
        return out;
    }

private:
    // One object of the file: a value without children, or a container
    // with the indexes of its children (keys first for a dictionary).
    struct Object {
        const Value* value;
        std::string text;  // strings and keys, as stored
        std::vector<uint64_t> children;
    };

    static uint8_t widthFor(uint64_t n) { return n < 0x100 ? 1 : n < 0x10000 ? 2 : n < 0x100000000 ? 4 : 8; }

    static void putBE(Data& out, uint64_t v, unsigned width) {
        for (unsigned i = width; i-- > 0;) out.push_back(uint8_t(v >> (8 * i)));
    }

    uint64_t addText(std::string_view s) {
        std::string stored = storedText(s);
        auto it = texts_.find(stored);
        if (it != texts_.end()) return it->second;
        objects_.push_back({nullptr, stored, {}});
        return texts_[std::move(stored)] = objects_.size() - 1;
    }

    uint64_t add(const Value& v) {
        if (v.isString()) return addText(*v.getString());
        if (v.isNull()) return addText("");  // no null object in this format
        uint64_t slot = objects_.size();
        objects_.push_back({&v, {}, {}});
        std::vector<uint64_t> children;
        if (auto a = v.getArray()) {
            for (auto& e : *a) children.push_back(add(e));
        } else if (auto d = v.getDict(); d && !isUID(v)) {
            for (auto& [k, e] : *d) children.push_back(addText(k));
            for (auto& [k, e] : *d) children.push_back(add(e));
        }
        objects_[slot].children = std::move(children);
        return slot;
    }

    static bool isUID(const Value& v) {
        return v.size() == 1 && v["CF$UID"].isInteger() && *v["CF$UID"].getInteger() >= 0;
    }

    static void putMarker(Data& out, uint8_t kind, uint64_t count) {
        if (count < 0x0F) {
            out.push_back(uint8_t(kind << 4 | count));
            return;
        }
        out.push_back(uint8_t(kind << 4 | 0x0F));
        uint8_t width = widthFor(count);
        out.push_back(uint8_t(0x10 | (width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3)));
        putBE(out, count, width);
    }

    static void putDouble(Data& out, uint8_t marker, double d) {
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        out.push_back(marker);
        putBE(out, bits, 8);
    }

    void encode(const Object& o, Data& out) {
        if (!o.value) return encodeText(o.text, out);
        const Value& v = *o.value;
        switch (v.type()) {
        case Value::Type::Bool: out.push_back(*v.getBool() ? 0x09 : 0x08); break;
        case Value::Type::Integer: {
            int64_t i = *v.getInteger();
            uint8_t width = i < 0 ? 8 : widthFor(uint64_t(i));
            out.push_back(uint8_t(0x10 | (width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3)));
            putBE(out, uint64_t(i), width);
            break;
        }
        case Value::Type::Real: putDouble(out, 0x23, *v.getNumber()); break;
        case Value::Type::Date: putDouble(out, 0x33, referenceSecondsFromDate(*v.getDate())); break;
        case Value::Type::Data: {
            auto& d = *v.getData();
            putMarker(out, 0x4, d.size());
            out.insert(out.end(), d.begin(), d.end());
            break;
        }
        case Value::Type::Array:
            putMarker(out, 0xA, o.children.size());
            for (uint64_t c : o.children) putBE(out, c, refSize_);
            break;
        case Value::Type::Dictionary:
            if (isUID(v)) {
                uint64_t uid = uint64_t(*v["CF$UID"].getInteger());
                uint8_t width = widthFor(uid);
                out.push_back(uint8_t(0x80 | (width - 1)));
                putBE(out, uid, width);
                break;
            }
            putMarker(out, 0xD, o.children.size() / 2);
            for (uint64_t c : o.children) putBE(out, c, refSize_);
            break;
        default: break;  // strings and null are texts
        }
    }

    // ASCII when it can be, else UTF-16 (big-endian), as the platform writes.
    static void encodeText(const std::string& s, Data& out) {
        bool ascii = std::all_of(s.begin(), s.end(), [](char c) { return uint8_t(c) < 0x80; });
        if (ascii) {
            putMarker(out, 0x5, s.size());
            out.insert(out.end(), s.begin(), s.end());
            return;
        }
        std::u16string units = strings::toUTF16(s);
        putMarker(out, 0x6, units.size());
        for (char16_t u : units) putBE(out, u, 2);
    }

    std::vector<Object> objects_;
    std::unordered_map<std::string, uint64_t> texts_;
    uint8_t refSize_ = 1;
};

}  // namespace

std::optional<Value> read(std::string_view bytes) { return Reader(bytes).run(); }

Data write(const Value& root) { return Writer().run(root); }

}  // namespace binaryplist
