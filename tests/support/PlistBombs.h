#pragma once
// Binary property lists made to order for the tests and the fuzz seeds:
// shared subtrees, the shape of a hostile preferences file. Header-only.

#include <cstdint>

#include "platform/foundation/Value.h"

namespace testsupport {

// A binary property list of three objects: a list holding `copies`
// references to one list B, which holds `width` references to one empty
// text. Each reference is one byte of the file, and reading copies B each
// time: a megabyte of `[B x n]` with B of 62 texts is 63 million values.
inline Data sharedSubtrees(size_t copies, size_t width) {
    auto putBE = [](Data& out, uint64_t v, int bytes) {
        for (int i = bytes - 1; i >= 0; --i) out.push_back(uint8_t(v >> (8 * i)));
    };
    auto putList = [&](Data& out, size_t count, uint8_t ref) {
        out.push_back(0xAF);  // a list whose count follows as an 8-byte integer
        out.push_back(0x13);
        putBE(out, count, 8);
        out.insert(out.end(), count, ref);
    };
    Data out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    uint64_t offsets[3];
    offsets[0] = out.size();
    putList(out, copies, 1);
    offsets[1] = out.size();
    putList(out, width, 2);
    offsets[2] = out.size();
    out.push_back(0x50);  // ""
    uint64_t table = out.size();
    for (uint64_t offset : offsets) putBE(out, offset, 8);
    out.insert(out.end(), 6, 0);
    out.push_back(8);  // offset size
    out.push_back(1);  // reference size
    putBE(out, 3, 8);
    putBE(out, 0, 8);
    putBE(out, table, 8);
    return out;
}

// `levels` lists, each holding the next; the innermost is empty.
inline Value nestedLists(int levels) {
    Value v = Value::array();
    for (int i = 1; i < levels; ++i) v = Value::array({v});
    return v;
}

}  // namespace testsupport
