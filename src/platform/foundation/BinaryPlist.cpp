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
const size_t kUIDBytes = heapBytes(Value::Type::Dictionary, 1);  // read as {"CF$UID": n}

}  // namespace

Date dateFromReferenceSeconds(double seconds) {
    if (std::isnan(seconds)) seconds = 0;
    // Whole seconds and the fraction apart: adding the offset to the double
    // first would round away the fraction's last bits.
    double whole = std::floor(seconds);
    constexpr double kLimit = double(std::chrono::duration_cast<std::chrono::seconds>(Date::duration::max()).count()) - 1;
    if (whole + double(kReferenceOffset) > kLimit) return Date(std::chrono::seconds(int64_t(kLimit)));
    if (whole + double(kReferenceOffset) < -kLimit) return Date(std::chrono::seconds(-int64_t(kLimit)));
    int64_t nanos = std::llround((seconds - whole) * double(kNanos));
    auto since1970 = std::chrono::seconds(int64_t(whole) + kReferenceOffset) + std::chrono::nanoseconds(nanos);
    return Date(std::chrono::duration_cast<Date::duration>(since1970));
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

std::string storedText(std::string_view s) {
    return strings::replaceAll(strings::validUTF8(s), std::string_view("\0", 1), "\xEF\xBF\xBD");
}

std::map<std::string, const Value*> storedEntries(const Value::Dictionary& d) {
    std::map<std::string, const Value*> out;
    for (auto& [key, value] : d) out.insert_or_assign(storedText(key), &value);
    return out;
}

std::optional<uint32_t> storedUID(const Value& v) {
    if (!v.isDict() || v.size() != 1) return std::nullopt;
    const Value& n = v["CF$UID"];
    if (!n.isInteger() || *n.getInteger() < 0 || *n.getInteger() > int64_t(UINT32_MAX)) return std::nullopt;
    return uint32_t(*n.getInteger());
}

size_t heapBytes(Value::Type type, size_t count) {
    // libstdc++'s map node: its colour and three links, then the entry.
    constexpr size_t kMapNode = 4 * sizeof(void*) + sizeof(Value::Dictionary::value_type);
    constexpr size_t kSmallText = 15;  // held inside the std::string
    switch (type) {
    case Value::Type::String: return count <= kSmallText ? 0 : heapBlock(count + 1);
    case Value::Type::Data: return heapBlock(count);
    case Value::Type::Array: return count > SIZE_MAX / sizeof(Value) ? SIZE_MAX : heapBlock(count * sizeof(Value));
    case Value::Type::Dictionary: return count > SIZE_MAX / heapBlock(kMapNode) ? SIZE_MAX : count * heapBlock(kMapNode);
    default: return 0;
    }
}

size_t resultBytes(const Value& v) {
    // The root's own Value; elements are counted by their container.
    struct Walk {
        size_t operator()(const Value& v) const {
            size_t n = 0;
            if (auto s = v.getString()) n += heapBytes(Value::Type::String, s->size());
            else if (auto d = v.getData()) n += heapBytes(Value::Type::Data, d->size());
            else if (auto a = v.getArray()) {
                n += heapBytes(Value::Type::Array, a->size());
                for (auto& e : *a) n += (*this)(e);
            } else if (auto d = v.getDict()) {
                n += heapBytes(Value::Type::Dictionary, d->size());
                for (auto& [k, e] : *d) n += heapBytes(Value::Type::String, k.size()) + (*this)(e);
            }
            return n;
        }
    };
    return sizeof(Value) + Walk()(v);
}

namespace {

// Twice what it was when a byte of data counted as a byte and a list's
// elements without their block: what sharing builds counts up to 1.7 times
// as much on the heap (lists of a few bytes of data; twice for a 16-byte
// text), and files written to the old count still read.
constexpr size_t kBudgetCeiling = size_t(128) << 20, kBudgetFloor = size_t(128) << 10, kBudgetFactor = 256,
                 kBudgetPastCeiling = 8;

// The smallest file size whose budget admits `result` bytes.
size_t sizeAdmitting(size_t result) {
    if (result <= kBudgetFloor) return 0;
    if (result <= kBudgetCeiling) return (result - kBudgetFloor + kBudgetFactor - 1) / kBudgetFactor;
    return (result + kBudgetPastCeiling - 1) / kBudgetPastCeiling;
}

}  // namespace

size_t resultCeiling(size_t fileSize) {
    return sizeof(Value) + kOwnBytesPerFileByte * fileSize + resultBudget(fileSize);
}

size_t resultBudget(size_t fileSize) {
    size_t scaled = fileSize > kBudgetCeiling ? kBudgetCeiling
                                              : std::min(kBudgetCeiling, kBudgetFactor * fileSize + kBudgetFloor);
    return std::max(scaled, fileSize > SIZE_MAX / kBudgetPastCeiling ? SIZE_MAX : kBudgetPastCeiling * fileSize);
}

// ---- reading

namespace {

class Reader {
public:
    explicit Reader(std::string_view b) : b_(b), budget_(resultBudget(b.size())) {}

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
        seen_.assign(count, kUnread);
        claimed_.assign(table, false);
        built_ = sizeof(Value);
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

    // Counts what is built, in resultBytes: each container its block of
    // elements or its map nodes when it opens (before anything is
    // reserved), texts and data their blocks. Charged against the budget
    // only where object() says so.
    bool build(uint64_t cost) {
        built_ += cost;
        if (charging_ && repeating_ == 0) {
            if (cost > budget_) failed_ = true;
            else budget_ -= cost;
        }
        return !failed_;
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

    // An object read for the first time builds what its own bytes hold,
    // at most 64 times as many, and is not charged, unless its bytes are
    // another's too (objects laid over each other, which no writer makes):
    // then what it builds is charged as it is built. A later reference
    // builds the whole of it again, which is what sharing adds: charged
    // before it is built, and nothing inside it a second time.
    Value object(uint64_t index, int depth) {
        if (failed_) return Value();
        if (index >= count_ || depth > kMaxDepth || seen_[index] == kInProgress) return fail();
        uint64_t at = be(table_ + index * offsetSize_, offsetSize_);
        if (at < kHeader || at >= objectsEnd_) return fail();
        if (seen_[index] != kUnread) return readAgain(seen_[index] - 1, at, depth);
        seen_[index] = kInProgress;
        uint64_t before = built_;
        bool outer = charging_;
        charging_ = !claim(at, objectEnd(at));  // its own cost is built before its children are read
        Value v = decode(at, depth);
        charging_ = outer;
        seen_[index] = uint32_t(std::min<uint64_t>(built_ - before, kInProgress - 2) + 1);
        if (failed_) return Value();
        return v;  // moved, where the conditional operator would copy
    }

    Value readAgain(uint64_t cost, uint64_t at, int depth) {
        if (repeating_ == 0) {
            if (cost > budget_) return fail();
            budget_ -= cost;
        }
        ++repeating_;
        Value v = decode(at, depth);
        --repeating_;
        return failed_ ? Value() : v;
    }

    // Marks [at, end) as read; false when some of it already was.
    bool claim(uint64_t at, uint64_t end) {
        for (uint64_t i = at; i < end; ++i)
            if (claimed_[i]) return false;
        std::fill(claimed_.begin() + at, claimed_.begin() + end, true);
        return true;
    }

    // Where the object at `at` ends (within the object area; one byte for
    // what decode() refuses).
    uint64_t objectEnd(uint64_t at) {
        uint8_t marker = uint8_t(b_[at]);
        uint64_t p = at + 1, n = 0, width = 1;
        switch (marker >> 4) {
        case 0x1:
        case 0x2: p += (marker & 0x0F) <= 4 ? uint64_t(1) << (marker & 0x0F) : 0; break;
        case 0x3: p += 8; break;
        case 0x8: p += (marker & 0x0F) + 1; break;
        case 0x4:
        case 0x5:
        case 0x6:
        case 0x7:
        case 0xA:
        case 0xC:
        case 0xD:
            if (!length(marker, p, n)) break;
            width = (marker >> 4) == 0x6 ? 2 : (marker >> 4) == 0xD ? 2 * refSize_ : (marker >> 4) >= 0xA ? refSize_ : 1;
            p += std::min(n, objectsEnd_) * width;
            break;
        default: break;
        }
        return std::min(p, objectsEnd_);
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
            auto date = Value::dateFromStoredSeconds(doubleAt(at));
            return date ? *date : fail();
        }
        case 0x4: {
            uint64_t n = 0;
            if (!length(marker, at, n) || !fits(at, n) || !build(heapBytes(Value::Type::Data, n))) return fail();
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
            if (uid > uint64_t(INT64_MAX) || !build(kUIDBytes)) return fail();
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
    // hold one. Decoding may have reserved more than the text: it keeps
    // only its bytes, as charged.
    Value text(std::string s) {
        if (s.find('\0') != std::string::npos || !build(heapBytes(Value::Type::String, s.size()))) return fail();
        if (s.capacity() > s.size()) s.shrink_to_fit();
        return Value(std::move(s));
    }

    bool refs(uint64_t at, uint64_t n, uint64_t times) {
        return n <= objectsEnd_ / refSize_ / times && fits(at, n * refSize_ * times);
    }

    Value array(uint8_t marker, uint64_t at, int depth) {
        uint64_t n = 0;
        if (!length(marker, at, n) || !refs(at, n, 1) || !build(heapBytes(Value::Type::Array, n))) return fail();
        Value::Array out;
        out.reserve(n);
        for (uint64_t i = 0; i < n && !failed_; ++i) out.push_back(object(be(at + i * refSize_, refSize_), depth + 1));
        return failed_ ? Value() : Value(std::move(out));
    }

    Value dictionary(uint8_t marker, uint64_t at, int depth) {
        uint64_t n = 0;
        if (!length(marker, at, n) || !refs(at, n, 2) || !build(heapBytes(Value::Type::Dictionary, n))) return fail();
        Value::Dictionary out;
        for (uint64_t i = 0; i < n && !failed_; ++i) {
            Value key = object(be(at + i * refSize_, refSize_), depth + 1);
            if (!key.isString()) return fail();
            Value value = object(be(at + (n + i) * refSize_, refSize_), depth + 1);
            out.insert_or_assign(*key.getString(), std::move(value));
        }
        return failed_ ? Value() : Value(std::move(out));
    }

    // Per object: kUnread, kInProgress while it is read (a reference to it
    // then is a cycle), else what its first read built, plus one (at most
    // kInProgress - 1, more than any budget).
    static constexpr uint32_t kUnread = 0, kInProgress = UINT32_MAX;

    std::string_view b_;
    uint64_t budget_;  // what sharing may still add
    uint64_t built_ = 0;
    bool charging_ = false;  // the object being read is charged as it is built
    int repeating_ = 0;      // > 0 inside a repeated read, already charged whole
    uint8_t offsetSize_ = 0, refSize_ = 0;
    uint64_t table_ = 0, objectsEnd_ = 0, count_ = 0;
    std::vector<uint32_t> seen_;
    std::vector<bool> claimed_;  // bytes of the objects read so far
    bool failed_ = false;
};

// ---- writing

uint8_t widthFor(uint64_t n) { return n < 0x100 ? 1 : n < 0x10000 ? 2 : n < 0x100000000 ? 4 : 8; }

template <class Bytes>
void putBE(Bytes& out, uint64_t v, unsigned width) {
    for (unsigned i = width; i-- > 0;) out.push_back(typename Bytes::value_type(uint8_t(v >> (8 * i))));
}

// A marker with its count: in the low nibble, or an integer after it.
void putMarker(std::string& out, uint8_t kind, uint64_t count) {
    if (count < 0x0F) {
        out.push_back(char(kind << 4 | count));
        return;
    }
    out.push_back(char(kind << 4 | 0x0F));
    uint8_t width = widthFor(count);
    out.push_back(char(0x10 | (width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3)));
    putBE(out, count, width);
}

// The length of a marker with its count (as putMarker writes it).
size_t markerLength(std::string_view form) {
    if ((uint8_t(form[0]) & 0x0F) != 0x0F) return 1;
    return 2 + (size_t(1) << (uint8_t(form[1]) & 0x0F));
}

bool isContainer(std::string_view form) {
    uint8_t kind = uint8_t(form[0]) >> 4;
    return kind == 0xA || kind == 0xD;
}

class Writer {
public:
    Data run(const Value& root) {
        readBack_ = ownBytes_ = sizeof(Value);
        uint64_t top = add(root);
        Data out = file(top);
        // What sharing adds when read (a long list of one large dictionary
        // builds it at each element) may be more than the reader takes from
        // a file so small: an object that nothing refers to makes the file
        // as large as the reader needs, so that all that is written reads
        // back.
        if (size_t needed = sizeAdmitting(readBack_ - ownBytes_); out.size() < needed) {
            std::string filler;
            putMarker(filler, 0x4, needed - out.size() + 32);
            filler.resize(filler.size() + needed - out.size() + 32, '\0');
            objects_.push_back(&filler);
            out = file(top);
        }
        return out;
    }

private:
    Data file(uint64_t top) {
        uint64_t count = objects_.size();
        refSize_ = widthFor(count);
        Data out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
        std::vector<uint64_t> offsets;
        offsets.reserve(count);
        for (const std::string* form : objects_) {
            offsets.push_back(out.size());
            encode(*form, out);
        }
        uint64_t table = out.size();
        uint8_t offsetSize = widthFor(table);
        for (uint64_t off : offsets) putBE(out, off, offsetSize);
        out.insert(out.end(), 6, 0);
        out.push_back(offsetSize);
        out.push_back(refSize_);
        putBE(out, count, 8);
        putBE(out, top, 8);
        putBE(out, table, 8);
        return out;
    }

    // Each distinct object is kept once, by its form: its bytes as written,
    // except that a container's references are 8-byte indexes (widened to
    // refSize_ when written). Children come before their container, so
    // equal values, containers included, have equal forms and share one
    // object. `own` is what its first read builds (without its children).
    uint64_t intern(std::string form, size_t own) {
        auto [it, fresh] = index_.try_emplace(std::move(form), objects_.size());
        if (fresh) {
            objects_.push_back(&it->first);
            ownBytes_ += own;
        }
        return it->second;
    }

    uint64_t add(const Value& v) {
        std::string form;
        size_t before = readBack_;
        switch (v.type()) {
        case Value::Type::Null: putText("", form); break;  // no null object in this format
        case Value::Type::String: {
            std::string stored = storedText(*v.getString());
            readBack_ += heapBytes(Value::Type::String, stored.size());
            putText(stored, form);
            break;
        }
        case Value::Type::Bool: form.push_back(*v.getBool() ? 0x09 : 0x08); break;
        case Value::Type::Integer: putInteger(*v.getInteger(), form); break;
        case Value::Type::Real: putDouble(0x23, *v.getNumber(), form); break;
        case Value::Type::Date: putDouble(0x33, *v.storedSeconds(), form); break;
        case Value::Type::Data: {
            auto& d = *v.getData();
            readBack_ += heapBytes(Value::Type::Data, d.size());
            putMarker(form, 0x4, d.size());
            form.append(d.begin(), d.end());
            break;
        }
        case Value::Type::Array: {
            std::vector<uint64_t> children;
            for (auto& e : *v.getArray()) children.push_back(add(e));
            putMarker(form, 0xA, children.size());
            for (uint64_t c : children) putBE(form, c, 8);
            return intern(std::move(form), readOwn(heapBytes(Value::Type::Array, children.size())));
        }
        case Value::Type::Dictionary:
            if (auto uid = storedUID(v)) {
                readBack_ += kUIDBytes;
                putUID(*uid, form);
            } else {
                return putDictionary(*v.getDict(), form);
            }
            break;
        }
        return intern(std::move(form), readBack_ - before);
    }

    // A container's own cost, added to what is read back.
    size_t readOwn(size_t cost) {
        readBack_ += cost;
        return cost;
    }

    uint64_t putDictionary(const Value::Dictionary& d, std::string& form) {
        auto entries = storedEntries(d);
        std::vector<uint64_t> children;
        for (auto& [k, e] : entries) {
            size_t keyBytes = heapBytes(Value::Type::String, k.size());
            readBack_ += keyBytes;
            std::string key;
            putText(k, key);
            children.push_back(intern(std::move(key), keyBytes));
        }
        for (auto& [k, e] : entries) children.push_back(add(*e));
        putMarker(form, 0xD, entries.size());
        for (uint64_t c : children) putBE(form, c, 8);
        return intern(std::move(form), readOwn(heapBytes(Value::Type::Dictionary, entries.size())));
    }

    // ASCII when it can be, else UTF-16 (big-endian), as the platform writes.
    static void putText(const std::string& s, std::string& form) {
        bool ascii = std::all_of(s.begin(), s.end(), [](char c) { return uint8_t(c) < 0x80; });
        if (ascii) {
            putMarker(form, 0x5, s.size());
            form += s;
            return;
        }
        std::u16string units = strings::toUTF16(s);
        putMarker(form, 0x6, units.size());
        for (char16_t u : units) putBE(form, u, 2);
    }

    static void putInteger(int64_t i, std::string& form) {
        uint8_t width = i < 0 ? 8 : widthFor(uint64_t(i));
        form.push_back(char(0x10 | (width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3)));
        putBE(form, uint64_t(i), width);
    }

    static void putUID(uint32_t uid, std::string& form) {
        uint8_t width = widthFor(uid);
        form.push_back(char(0x80 | (width - 1)));
        putBE(form, uid, width);
    }

    static void putDouble(uint8_t marker, double d, std::string& form) {
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        form.push_back(char(marker));
        putBE(form, bits, 8);
    }

    void encode(std::string_view form, Data& out) const {
        if (!isContainer(form)) {
            out.insert(out.end(), form.begin(), form.end());
            return;
        }
        size_t header = markerLength(form);
        out.insert(out.end(), form.begin(), form.begin() + header);
        for (size_t at = header; at + 8 <= form.size(); at += 8) {
            uint64_t ref = 0;
            for (size_t i = 0; i < 8; ++i) ref = ref << 8 | uint8_t(form[at + i]);
            putBE(out, ref, refSize_);
        }
    }

    std::unordered_map<std::string, uint64_t> index_;
    std::vector<const std::string*> objects_;  // keys of index_, in the file's order
    uint8_t refSize_ = 1;
    size_t readBack_ = 0;  // what reading the file builds, in resultBytes
    size_t ownBytes_ = 0;  // what first reads of its objects build: the rest is sharing
};

}  // namespace

std::optional<Value> read(std::string_view bytes) { return Reader(bytes).run(); }

Data write(const Value& root) { return Writer().run(root); }

}  // namespace binaryplist
