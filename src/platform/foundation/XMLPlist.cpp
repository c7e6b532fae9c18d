#include "platform/foundation/XMLPlist.h"

#include <plist/plist.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

#include "platform/foundation/BinaryPlist.h"
#include "platform/foundation/Strings.h"

namespace xmlplist {

namespace {

// libplist aborts the process (an assertion) when it hands out a key
// holding a NUL: bytes holding one are refused before parsing, and values
// are read through the length-aware getter and checked again. Its date
// getter has 32-bit seconds, so dates cross as tiny binary files of our
// own.
constexpr int kMaxDepth = 512;
// Each value counts two Values against the budget of a binary file of its
// size: the count of values a file may hold stays where it was when that
// budget was half as large.
constexpr size_t kValueCharge = 2 * sizeof(Value);

// Reads tags as libplist 2.2 does (xplist.c), to learn how deep what it
// builds will nest, how many values it holds, and the work it does filing
// dictionaries' keys and unescaping texts (XMLPlistWork.h), before it builds
// it. Its tree nests where a container's opening tag is not empty
// ("<array/>"), and goes up at each closing tag; it stops, keeping what it
// built, when the root closes. Tags end at the first '>' outside double
// quotes; processing instructions at the first "?>" outside them; comments
// at "-->"; CDATA sections, inside the text of an element, at "]]>". A
// non-empty <key> in a dictionary names the next value, unless a key is
// named already (then it is a text); any element, or closing tag, ends the
// naming. Where libplist would fail, nothing more is built, and the scan
// ends too; it ends as well where the work passes the budgets of the
// file's size. Markup where parsers differ, which no property list holds,
// is refused: a quoted value holding '<' or '>', an unpaired quote
// (libplist knows only double quotes), a document type with declarations
// of its own, a character reference spelt oddly.
class TagScan {
public:
    explicit TagScan(std::string_view xml)
        : x_(xml), stepBudget_(stepBudget(xml.size())), byteBudget_(byteBudget(xml.size())) {}

    XMLShape run() {
        while (!shape_.refused && !overBudget() && next()) {
        }
        overBudget();  // the last element's work too
        return shape_;
    }

private:
    bool overBudget() {
        shape_.overBudget = shape_.work.steps > stepBudget_ || shape_.work.bytes > byteBudget_;
        return shape_.overBudget;
    }

    // One declaration, comment or element; false where libplist stops.
    bool next() {
        skipSpace();
        if (at_ >= x_.size() || !take("<")) return false;
        if (x_.substr(at_, 1) == "?") return skipPast("?>", true);  // "<?>" is one whole
        if (take("!--")) return skipPast("-->", false);
        if (take("!DOCTYPE")) return skipDocumentType();
        return !take("!") && element();
    }

    // One element, after its '<'.
    bool element() {
        std::string_view name;
        bool empty = false;
        if (!tag(name, empty)) return false;
        if (name == "plist" || name == "/plist") return true;
        // The key named before, taken by this element or ended by it.
        std::optional<std::string> named = std::exchange(key_, std::nullopt);
        if (name[0] == '/') return close();
        bool container = name == "array" || name == "dict";
        static constexpr std::string_view kLeaves[] = {"integer", "real", "true", "false", "string", "key", "data", "date"};
        if (!container && std::find(std::begin(kLeaves), std::end(kLeaves), name) == std::end(kLeaves)) return false;
        ++shape_.elements;
        if (name == "key" && !empty && !named && inDictionary()) {
            key_.emplace();
            return text(name, &*key_);
        }
        if (!container && !empty && !text(name, nullptr)) return false;
        if (!root_) {
            root_ = true;
            shape_.depth = 1;
            if (container) open(name);  // the root, even "<array/>", takes what follows
            return container;
        }
        if (!file(named)) return false;
        if (container && !empty) open(name);
        return true;
    }

    bool inDictionary() const { return !open_.empty() && open_.back() == 'd'; }

    // The value goes into its parent; in a dictionary, under the key named
    // before it (libplist fails without one).
    bool file(const std::optional<std::string>& named) {
        if (!inDictionary()) return true;
        if (!named) return false;
        dictionaries_.back().set(*named, shape_.work);
        return true;
    }

    void open(std::string_view container) {
        bool dictionary = container == "dict";
        open_.push_back(dictionary ? 'd' : 'a');
        if (dictionary) dictionaries_.emplace_back();
        shape_.depth = std::max(shape_.depth, open_.size());
    }

    // A closing tag; false when the root closes: libplist is done.
    bool close() {
        if (open_.empty()) return false;
        if (open_.back() == 'd') dictionaries_.pop_back();
        open_.pop_back();
        return !open_.empty();
    }

    // The rest of a tag: its name and whether it ends with "/>".
    bool tag(std::string_view& name, bool& empty) {
        size_t from = at_;
        while (at_ < x_.size() && std::string_view(" \r\n\t<>").find(x_[at_]) == std::string_view::npos) ++at_;
        size_t nameEnd = at_;
        if (!skipTo("<>", true) || x_[at_] != '>') return false;
        empty = x_[at_ - 1] == '/';
        name = x_.substr(from, (empty && at_ - 1 < nameEnd ? at_ - 1 : nameEnd) - from);
        ++at_;
        return !name.empty();
    }

    // A leaf's text up to its closing tag, comments and CDATA sections
    // skipped; false where libplist fails. A text's or a key's stretches
    // outside CDATA sections are unescaped, a key's made into `key`.
    bool text(std::string_view name, std::string* key) {
        bool escaped = name == "string" || name == "key";
        for (size_t from = at_;; from = at_) {
            size_t lt = x_.find('<', at_);
            if (lt == std::string_view::npos) return false;
            if (escaped && !unescaped(x_.substr(from, lt - from), key)) return false;
            at_ = lt + 1;
            if (take("!--")) {
                if (!skipPast("-->", false)) return false;
            } else if (take("![CDATA[")) {
                size_t inside = at_;
                if (!skipPast("]]>", false)) return false;
                if (key) key->append(x_.substr(inside, at_ - 3 - inside));
            } else if (take("/")) {
                if (!take(name)) return false;
                skipSpace();
                return take(">");
            } else {
                return false;
            }
        }
    }

    bool unescaped(std::string_view raw, std::string* key) {
        if (!unescape(raw, key, shape_.work)) shape_.refused = true;
        return !shape_.refused;
    }

    // "<!DOCTYPE" ... ">", quotes skipped; one with an internal subset
    // ('[') is refused.
    bool skipDocumentType() {
        if (!skipTo("[>", true)) return false;
        if (x_[at_] == '[') {
            shape_.refused = true;
            return false;
        }
        ++at_;
        return true;
    }

    // Moves to the first of `stops`, past double-quoted values when
    // `quotes`; false at the end of the text, or where a quote is refused.
    bool skipTo(std::string_view stops, bool quotes) {
        size_t from = at_;
        while (at_ < x_.size() && stops.find(x_[at_]) == std::string_view::npos) {
            if (quotes && x_[at_] == '"' && !skipQuoted()) return false;
            ++at_;
        }
        return at_ < x_.size() && quotesPair(from, at_);
    }

    bool skipPast(std::string_view end, bool quotes) {
        size_t from = at_;
        while (at_ < x_.size() && x_.substr(at_, end.size()) != end) {
            if (quotes && x_[at_] == '"' && !skipQuoted()) return false;
            ++at_;
        }
        if (at_ >= x_.size() || (quotes && !quotesPair(from, at_))) return false;
        at_ += end.size();
        return true;
    }

    // From an opening '"' to its closing one.
    bool skipQuoted() {
        size_t close = x_.find('"', at_ + 1);
        if (close == std::string_view::npos) return false;
        if (x_.substr(at_, close - at_).find_first_of("<>") != std::string_view::npos) shape_.refused = true;
        at_ = close;
        return !shape_.refused;
    }

    // Single quotes in [from, to) pair up: libplist does not skip them,
    // other parsers do.
    bool quotesPair(size_t from, size_t to) {
        if (std::count(x_.begin() + from, x_.begin() + to, '\'') % 2) shape_.refused = true;
        return !shape_.refused;
    }

    bool take(std::string_view s) {
        if (x_.substr(at_, s.size()) != s) return false;
        at_ += s.size();
        return true;
    }

    void skipSpace() {
        while (at_ < x_.size() && std::string_view(" \r\n\t").find(x_[at_]) != std::string_view::npos) ++at_;
    }

    std::string_view x_;
    uint64_t stepBudget_, byteBudget_;
    size_t at_ = 0;
    bool root_ = false;
    std::vector<char> open_;                      // the open containers, 'd' or 'a', the root first
    std::vector<DictionaryFiling> dictionaries_;  // the open dictionaries', innermost last
    std::optional<std::string> key_;              // named for the next value
    XMLShape shape_;
};

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
    if (depth > kMaxDepth) damaged = true;  // as the binary reader refuses
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

// libplist writes the year without leading zeros ("999-01-01T..."), which
// other readers refuse: each date's year is made four digits. Texts cannot
// hold "<date>" unescaped, so every one found is a date.
Data withFourDigitYears(std::string_view xml) {
    Data out;
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

XMLShape shapeOf(std::string_view xml) { return TagScan(xml).run(); }

std::optional<Value> read(std::string_view bytes) {
    if (bytes.empty() || bytes.size() >= UINT32_MAX || bytes.find('\0') != std::string_view::npos) return std::nullopt;
    // The root is at depth 1 of what libplist builds, 0 of what is read.
    XMLShape shape = shapeOf(bytes);
    if (shape.refused || shape.overBudget || shape.depth > kMaxDepth + 1 ||
        shape.elements > binaryplist::resultBudget(bytes.size()) / kValueCharge)
        return std::nullopt;
    plist_t root = nullptr;
    plist_from_xml(bytes.data(), uint32_t(bytes.size()), &root);
    if (!root) return std::nullopt;
    PlistReader reader;
    Value v = reader.read(root, 0);
    plist_free(root);
    if (reader.damaged) return std::nullopt;
    return v;
}

Data write(const Value& value) {
    plist_t root = toPlistNode(value);
    char* out = nullptr;
    uint32_t len = 0;
    plist_to_xml(root, &out, &len);
    Data d = withFourDigitYears(std::string_view(out ? out : "", out ? len : 0));
    free(out);
    plist_free(root);
    return d;
}

}  // namespace xmlplist
