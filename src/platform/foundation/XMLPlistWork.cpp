#include "platform/foundation/XMLPlistWork.h"

#include <algorithm>
#include <cstring>

namespace xmlplist {

namespace {

constexpr size_t kBuckets = 4096;
constexpr size_t kListEntries = 250;  // the table is built at the next (past 500 nodes)

// dict_key_hash: djb2, adding each byte as the platform's char, signed here.
unsigned int keyHash(std::string_view key) {
    unsigned int hash = 5381;
    for (char c : key) hash = ((hash << 5) + hash) + static_cast<unsigned int>(static_cast<int>(c));
    return hash;
}

// The bytes strcmp reads comparing two texts that hold no NUL: up to the
// first that differs, or the end of the shorter, and that one. Found a
// block at a time by memcmp, as fast as strcmp goes over them.
uint64_t strcmpBytes(std::string_view a, std::string_view b) {
    constexpr size_t kBlock = 256;
    size_t n = std::min(a.size(), b.size()), same = 0;
    while (same + kBlock <= n && std::memcmp(a.data() + same, b.data() + same, kBlock) == 0) same += kBlock;
    size_t end = std::min(n, same + kBlock);
    same = size_t(std::mismatch(a.begin() + long(same), a.begin() + long(end), b.begin() + long(same)).first - a.begin());
    return same + 1;
}

}  // namespace

// Four steps a byte: a dictionary of 100,000 keys written by plistlib takes
// about one, records of 250 fields three, while the 65,536 keys that took
// 76 s take 1,300. A step that misses the cache takes libplist about
// 130 ns (a dictionary of a million honest keys, 29 MB, takes it 30 s), so
// what passes takes it a second or two for a few megabytes. Bytes go by
// far faster (strcmp, memmove: some 10 to 80 GB/s): 1,024 a byte and
// 16 GiB for any file.
uint64_t stepBudget(size_t fileSize) { return 4 * uint64_t(fileSize) + (uint64_t(1) << 20); }
uint64_t byteBudget(size_t fileSize) { return 1024 * uint64_t(fileSize) + (uint64_t(1) << 34); }

void DictionaryFiling::set(std::string_view key, Work& work) {
    if (buckets_.empty()) setInList(key, work);
    else setInTable(key, work);
}

std::string_view DictionaryFiling::keyOf(int32_t entry) const {
    auto& e = entries_[size_t(entry)];
    return std::string_view(keys_).substr(e.at, e.length);
}

// Without a table, plist_dict_get_item compares the key with each before
// it, in order, up to the one it equals.
void DictionaryFiling::setInList(std::string_view key, Work& work) {
    for (int32_t j = 0; j < int32_t(entries_.size()); ++j) {
        std::string_view other = keyOf(j);
        ++work.steps;
        work.bytes += strcmpBytes(key, other);
        if (other == key) return replaceValue(j, work);
    }
    add(key);
    if (entries_.size() > kListEntries) buildTable(work);
}

// With one, it walks the key's bucket to look it up, then again to insert
// it (or, for a key given again, to find it and replace its value).
void DictionaryFiling::setInTable(std::string_view key, Work& work) {
    int32_t found = findInBucket(key, work);
    if (found < 0) return fileInBucket(add(key), work);
    replaceValue(found, work);
    findInBucket(key, work);
}

// hash_table_lookup: lengths compared first, then the texts.
int32_t DictionaryFiling::findInBucket(std::string_view key, Work& work) const {
    for (int32_t e = buckets_[keyHash(key) % kBuckets]; e >= 0; e = entries_[size_t(e)].next) {
        ++work.steps;
        std::string_view other = keyOf(e);
        if (other.size() != key.size()) continue;
        work.bytes += strcmpBytes(key, other);
        if (other == key) return e;
    }
    return -1;
}

// hash_table_insert of a key not there yet: the whole bucket is walked, and
// the key goes first in it.
void DictionaryFiling::fileInBucket(int32_t entry, Work& work) {
    findInBucket(keyOf(entry), work);
    int32_t& first = buckets_[keyHash(keyOf(entry)) % kBuckets];
    entries_[size_t(entry)].next = first;
    first = entry;
}

// Every key so far, in order.
void DictionaryFiling::buildTable(Work& work) {
    buckets_.assign(kBuckets, -1);
    for (int32_t j = 0; j < int32_t(entries_.size()); ++j) fileInBucket(j, work);
}

// A key given again: the old value is taken out of the dictionary's list
// of keys and values, which is walked from its start to find it, and the
// new one put at its place, walking again (unless it is the last).
void DictionaryFiling::replaceValue(int32_t entry, Work& work) const {
    uint64_t place = 2 * uint64_t(entry) + 1;
    work.steps += place + 1;
    if (size_t(entry) + 1 < entries_.size()) work.steps += place;
}

int32_t DictionaryFiling::add(std::string_view key) {
    entries_.push_back({uint32_t(keys_.size()), uint32_t(key.size()), -1});
    keys_.append(key);
    return int32_t(entries_.size() - 1);
}

namespace {

// libplist's UTF-8 for a character reference.
void appendUTF8(uint64_t c, std::string& out) {
    auto continuation = [&](int shift) { out += char(0x80 + ((c >> shift) & 0x3F)); };
    if (c >= 0x10000) {
        out += char(0xF0 + ((c >> 18) & 0x7));
        continuation(12);
        continuation(6);
    } else if (c >= 0x800) {
        out += char(0xE0 + ((c >> 12) & 0xF));
        continuation(6);
    } else if (c >= 0x80) {
        out += char(0xC0 + ((c >> 6) & 0x1F));
    } else {
        out += char(c);
        return;
    }
    continuation(0);
}

// "#" and digits, decimal or (after "x") hexadecimal, up to 8 bytes.
bool characterReference(std::string_view name, std::string* out) {
    bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
    std::string_view digits = name.substr(hex ? 2 : 1);
    if (name.size() > 8 || digits.empty() ||
        digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string_view::npos)
        return false;
    uint64_t c = std::stoull(std::string(digits), nullptr, hex ? 16 : 10);
    if (c == 0 || c > 0x10FFFF) return false;
    if (out) appendUTF8(c, *out);
    return true;
}

}  // namespace

bool unescape(std::string_view raw, std::string* out, Work& work) {
    size_t at = 0;
    // libplist looks at every byte but the last: a '&' there stays.
    while (at + 1 < raw.size()) {
        if (raw[at] != '&') {
            if (out) *out += raw[at];
            ++at;
            continue;
        }
        size_t end = raw.find(';', at);
        if (end == std::string_view::npos || end == at + 1) return false;
        work.bytes += raw.size() - end;  // the rest of the text, moved down over the entity
        // The names are compared from the '&' on, as prefixes ("&ampx;" is '&').
        std::string_view from = raw.substr(at + 1);
        static constexpr std::pair<std::string_view, char> kNamed[] = {
            {"amp", '&'}, {"apos", '\''}, {"quot", '"'}, {"lt", '<'}, {"gt", '>'}};
        auto named = std::find_if(std::begin(kNamed), std::end(kNamed),
                                  [&](auto& n) { return from.substr(0, n.first.size()) == n.first; });
        if (named != std::end(kNamed)) {
            if (out) *out += named->second;
        } else if (from[0] != '#' || !characterReference(raw.substr(at + 1, end - at - 1), out)) {
            return false;
        }
        at = end + 1;
    }
    if (out && at < raw.size()) *out += raw.substr(at);
    return true;
}

}  // namespace xmlplist
