#pragma once
// The work libplist 2.2 (Debian 12's) does reading an XML property list
// that its count of values does not show, reckoned the way it will do it,
// so that a file whose work would stall the program is refused before
// libplist reads it. Two parts of its reading take time that grows faster
// than the file:
//
// - Filing a dictionary's entries (plist_dict_set_item, plist.c). Up to
//   250 entries it looks each new key up by comparing it with every key
//   before it (strcmp); at the 251st it files them all in a table of 4096
//   buckets, by djb2 (its char signed) & 0xFFF, and from then on walks the
//   key's bucket twice for each key (once to look it up, once to insert
//   it), comparing lengths, then the texts (strcmp) where they are equal.
//   Keys made of blocks that hash alike ("aa", "b@") all land in one
//   bucket: 65,536 of them (3.3 MB) took 76 s. A key given twice replaces
//   the value, which walks the dictionary's list to it, twice.
// - Unescaping a text's entities (unescape_entities, xplist.c): each one
//   moves the rest of the text down over it, so 5 MB of "&amp;" took 32 s.
//
// Its binary reader files entries without a table or any lookup, and the
// binary files here are read by our own code: neither has this cost.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace xmlplist {

struct Work {
    uint64_t steps = 0;  // key comparisons, and steps along lists
    uint64_t bytes = 0;  // bytes compared by strcmp or moved over entities
};

// What a file of `fileSize` bytes may cost: linear in its size, far above
// what honest files take (a dictionary of 100,000 distinct keys takes less
// than a step a byte of its file) and far below what stalls.
uint64_t stepBudget(size_t fileSize);
uint64_t byteBudget(size_t fileSize);

// One dictionary's keys as libplist files them.
class DictionaryFiling {
public:
    // plist_dict_set_item with `key`: adds the work it takes.
    void set(std::string_view key, Work& work);

private:
    struct Entry {
        uint32_t at, length;
        int32_t next;  // the entry after it in its bucket, -1 for none
    };
    std::string_view keyOf(int32_t entry) const;
    void setInList(std::string_view key, Work& work);
    void setInTable(std::string_view key, Work& work);
    int32_t findInBucket(std::string_view key, Work& work) const;
    void fileInBucket(int32_t entry, Work& work);
    void buildTable(Work& work);
    void replaceValue(int32_t entry, Work& work) const;
    int32_t add(std::string_view key);

    std::string keys_;              // the keys' bytes, one after another
    std::vector<Entry> entries_;    // in the dictionary's order
    std::vector<int32_t> buckets_;  // the first entry of each bucket, once the table is built
};

// One stretch of a text between comments and CDATA sections as libplist
// unescapes it: `out` gets what it makes of it (when not null), `work` the
// bytes it moves. False where libplist fails (an unknown or malformed
// entity), and for a character reference spelt as no writer spells one
// (spaces, signs, "0x"), which libplist may take: refused rather than
// guessed at.
bool unescape(std::string_view raw, std::string* out, Work& work);

}  // namespace xmlplist
