#pragma once
// Property lists made to order for the tests and the fuzz seeds: shared
// subtrees, XML nested past what the reader takes behind markup that a
// tag scan may misread, XML that costs libplist work growing faster than
// the file, the shape of a hostile preferences file, lists of references
// to one object.
// Header-only.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

namespace testsupport {

// `v` in `bytes` bytes, big-endian, as binary property lists store numbers.
inline void putBE(Data& out, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(uint8_t(v >> (8 * i)));
}

// Ends a binary property list: the offset table of `offsets`, each
// `offsetSize` bytes, and the trailer (references `refSize` bytes, `top`
// the root's index).
inline void endBinaryPlist(Data& out, const std::vector<uint64_t>& offsets, int offsetSize, int refSize, uint64_t top) {
    uint64_t table = out.size();
    for (uint64_t offset : offsets) putBE(out, offset, offsetSize);
    out.insert(out.end(), 6, 0);
    out.push_back(uint8_t(offsetSize));
    out.push_back(uint8_t(refSize));
    putBE(out, offsets.size(), 8);
    putBE(out, top, 8);
    putBE(out, table, 8);
}

// A binary property list of three objects: a list holding `copies`
// references to one list B, which holds `width` references to one empty
// text. Each reference is one byte of the file, and reading copies B each
// time: a megabyte of `[B x n]` with B of 62 texts is 63 million values.
inline Data sharedSubtrees(size_t copies, size_t width) {
    auto putList = [&](Data& out, size_t count, uint8_t ref) {
        out.push_back(0xAF);  // a list whose count follows as an 8-byte integer
        out.push_back(0x13);
        putBE(out, count, 8);
        out.insert(out.end(), count, ref);
    };
    Data out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    std::vector<uint64_t> offsets;
    offsets.push_back(out.size());
    putList(out, copies, 1);
    offsets.push_back(out.size());
    putList(out, width, 2);
    offsets.push_back(out.size());
    out.push_back(0x50);  // ""
    endBinaryPlist(out, offsets, 8, 1, 0);
    return out;
}

// A binary property list whose list holds `copies` objects that all lie at
// the same bytes: one list of `width` references to one number. Each is an
// object of its own to the offset table, and read once each they would
// build copies times width values from a few bytes a copy.
inline Data overlappingObjects(size_t copies, size_t width) {
    auto putList = [&](Data& out, size_t count) {
        out.push_back(0xAF);
        out.push_back(0x13);
        putBE(out, count, 8);
    };
    Data out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    uint64_t root = out.size();
    putList(out, copies);
    for (size_t i = 1; i <= copies; ++i) putBE(out, i, 4);
    uint64_t shared = out.size();
    putList(out, width);
    for (size_t i = 0; i < width; ++i) putBE(out, copies + 1, 4);
    uint64_t number = out.size();
    out.insert(out.end(), {0x10, 0x07});
    std::vector<uint64_t> offsets(copies + 2, shared);
    offsets.front() = root;
    offsets.back() = number;
    endBinaryPlist(out, offsets, 8, 4, 0);
    return out;
}

// `levels` lists, each holding the next; the innermost is empty.
inline Value nestedLists(int levels) {
    Value v = Value::array();
    for (int i = 1; i < levels; ++i) v = Value::array({v});
    return v;
}

// XML whose tags open `levels` arrays in libplist's reading, each opening
// written in one of the forms below, so that a scan reading tags otherwise
// than libplist sees the nesting end early (a first '>' taken as the end of
// a declaration, or a "/>" inside quotes as an empty element).
enum class DeepXMLForm {
    quotedAttribute,        // <array x="/>">
    instruction,            // <array><?x > </array> ?>
    documentType,           // <array><!DOCTYPE x [ > </array> ]>
    commentedClose,         // <array><!-- </array> -->
    cdataClose,             // <array><string><![CDATA[</array>]]></string>
};

inline const std::vector<std::pair<DeepXMLForm, const char*>>& deepXMLForms() {
    static const std::vector<std::pair<DeepXMLForm, const char*>> forms = {
        {DeepXMLForm::quotedAttribute, "quoted-attribute"},
        {DeepXMLForm::instruction, "instruction"},
        {DeepXMLForm::documentType, "document-type"},
        {DeepXMLForm::commentedClose, "commented-close"},
        {DeepXMLForm::cdataClose, "cdata-close"}};
    return forms;
}

inline std::string deepXML(size_t levels, DeepXMLForm form) {
    const char* opening = "";
    switch (form) {
    case DeepXMLForm::quotedAttribute: opening = "<array x=\"/>\">"; break;
    case DeepXMLForm::instruction: opening = "<array><?x > </array> ?>"; break;
    case DeepXMLForm::documentType: opening = "<array><!DOCTYPE x [ > </array> ]>"; break;
    case DeepXMLForm::commentedClose: opening = "<array><!-- </array> -->"; break;
    case DeepXMLForm::cdataClose: opening = "<array><string><![CDATA[</array>]]></string>"; break;
    }
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
    out.reserve(out.size() + levels * (std::char_traits<char>::length(opening) + 8) + 8);
    for (size_t i = 0; i < levels; ++i) out += opening;
    for (size_t i = 0; i < levels; ++i) out += "</array>";
    return out + "</plist>\n";
}

// XML that costs libplist work growing faster than the file, in forms the
// count of its values does not show: one dictionary of 2^blocks keys that
// all fall in one bucket of libplist's table, each key `blocks` blocks of
// two bytes, each block either of two that its hash adds alike ("aa" and
// "b@"), written plainly, through entities and CDATA sections, or in bytes
// that collide only as its signed char adds them; a dictionary of
// 2^(blocks-1) keys whose last is given again as often; a text of
// 2^blocks * 10 "&amp;".
enum class CostlyXMLForm { collidingKeys, spelledCollidingKeys, signedCollidingKeys, repeatedKey, entities };

inline const std::vector<std::pair<CostlyXMLForm, const char*>>& costlyXMLForms() {
    static const std::vector<std::pair<CostlyXMLForm, const char*>> forms = {
        {CostlyXMLForm::collidingKeys, "colliding-keys"},
        {CostlyXMLForm::spelledCollidingKeys, "spelled-colliding-keys"},
        {CostlyXMLForm::signedCollidingKeys, "signed-colliding-keys"},
        {CostlyXMLForm::repeatedKey, "repeated-key"},
        {CostlyXMLForm::entities, "entities"}};
    return forms;
}

// Key `n` of the colliding forms: bit i of n picks block i's spelling.
inline std::string collidingKey(CostlyXMLForm form, size_t blocks, size_t n) {
    // Spelt three ways in turn, each pair still two bytes that collide.
    static const char* const kSpelled[3][2] = {
        {"&amp;a", "&apos;@"}, {"<![CDATA[aa]]>", "<![CDATA[b@]]>"}, {"&#97;a", "b&#x40;"}};
    std::string key;
    for (size_t i = 0; i < blocks; ++i) {
        bool second = (n >> i) & 1;
        if (form == CostlyXMLForm::spelledCollidingKeys) key += kSpelled[i % 3][second];
        else if (form == CostlyXMLForm::signedCollidingKeys) key += second ? "\xFFz" : "\x01" "8";
        else key += second ? "b@" : "aa";
    }
    return key;
}

inline std::string costlyXML(CostlyXMLForm form, size_t blocks) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
    size_t keys = size_t(1) << blocks;
    if (form == CostlyXMLForm::entities) {
        out += "<string>";
        for (size_t i = 0; i < keys * 10; ++i) out += "&amp;";
        return out + "</string></plist>\n";
    }
    out += "<dict>";
    for (size_t n = 0; n < keys; ++n) {
        std::string key = form == CostlyXMLForm::repeatedKey ? "k" + std::to_string(std::min(n, keys / 2 - 1))
                                                             : collidingKey(form, blocks, n);
        out += "<key>" + key + "</key><true/>";
    }
    return out + "</dict></plist>\n";
}

// A binary preferences file of `fileSize` bytes: {"k": [d x n], "s": [B x
// copies]}, d one value (true, or a byte of data, which builds a heap block
// at each copy), the n elements one-byte references to it, filling the
// file, and B a list of 62 references to d. With `copies` up to what the
// budget for sharing admits, the costliest file of its size that reads.
inline Data denseReferences(size_t fileSize, size_t copies, bool data) {
    auto putList = [&](Data& out, size_t count, uint8_t ref) {
        out.push_back(0xAF);  // a list whose count follows as a 4-byte integer
        out.push_back(0x12);
        putBE(out, count, 4);
        out.insert(out.end(), count, ref);
    };
    constexpr size_t kObjects = 7, kFixed = 8 + 2 + 6 + 62 + 6 + 4 + 5 + 6 + 32 + 4 * kObjects;
    Data out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    std::vector<uint64_t> offsets;
    auto next = [&] { offsets.push_back(out.size()); };
    next();
    if (data) out.insert(out.end(), {0x41, 0x07});  // 0: d
    else out.insert(out.end(), {0x09, 0x09});      // 0: true, and a byte nothing reads
    next();
    putList(out, 62, 0);  // 1: B
    next();
    putList(out, fileSize - kFixed - copies, 0);  // 2
    next();
    putList(out, copies, 1);  // 3
    next();
    out.insert(out.end(), {0x51, 'k'});
    next();
    out.insert(out.end(), {0x51, 's'});
    next();
    out.insert(out.end(), {0xD2, 4, 5, 2, 3});  // 6: the root
    endBinaryPlist(out, offsets, 4, 1, kObjects - 1);
    return out;
}

// A binary list filling `fileSize` bytes with one-byte references: the
// first `costly` to `object` (as stored: marker and bytes), the rest to
// true. Each builds a Value, and a copy of the object when it is not true.
inline Data referencesTo(const Data& object, size_t fileSize, size_t costly) {
    const size_t fixed = 8 + object.size() + 1 + 6 + 3 * 4 + 32;
    const size_t count = fileSize - fixed;
    Data out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    std::vector<uint64_t> offsets;
    offsets.push_back(out.size());
    out.insert(out.end(), object.begin(), object.end());
    offsets.push_back(out.size());
    out.push_back(0x09);
    offsets.push_back(out.size());
    out.push_back(0xAF);  // a list whose count follows as a 4-byte integer
    out.push_back(0x12);
    putBE(out, count, 4);
    out.insert(out.end(), std::min(costly, count), 0);
    out.insert(out.end(), count - std::min(costly, count), 1);
    endBinaryPlist(out, offsets, 4, 1, 2);
    return out;
}

}  // namespace testsupport
