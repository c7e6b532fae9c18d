// Keyed archives, two ways. The input as an archive (a keychain item, the
// channel file): what unarchives builds at most what the archive's table
// holds once and what sharing adds within the budget for the archive's
// size (a list naming one large object at each element once copied it each
// time without count), reading holds little more than that in glibc's
// chunks, the result exactly what was counted for it, and what
// unarchives is archived again and reads back the same. And the input as choices building a value, which is archived and
// must read back as the writers store it (texts valid UTF-8, "$null" a
// text, dates to the second).
//
// Input: byte 0 chooses the way, the rest is the archive or the choices.

#include "FuzzSupport.h"
#include "HeapPeak.h"
#include "platform/foundation/BinaryPlist.h"
#include "platform/foundation/KeyedArchive.h"

namespace {

// Null stays null in an archive (it is "$null"), unlike in a property list.
Value archivedForm(const Value& v) {
    if (v.isNull()) return v;
    if (auto a = v.getArray()) {
        Value out = Value::array();
        for (auto& e : *a) out.push(archivedForm(e));
        return out;
    }
    if (auto d = v.getDict()) {
        Value out = Value::dict();
        for (auto& [k, e] : *d) out.set(fuzz::storedForm(Value(k)).stringOr(), archivedForm(e));
        return out;
    }
    return fuzz::storedForm(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    if (data[0] & 1) {
        Data archive(data + 1, data + size);
        fuzz::HeapPeak heap;
        auto v = keyedarchive::unarchive(archive);
        // The table read, and the objects copied out of it, in glibc's chunks.
        size_t ceiling = 2 * binaryplist::resultCeiling(archive.size()) + 8 * archive.size() + (64 << 10);
        if (auto growth = heap.chunkGrowth()) FUZZ_CHECK(*growth <= ceiling);
        if (!v) return 0;
        // The copies hold what was counted for them, block for block.
        if (auto held = heap.chunksHeld()) FUZZ_CHECK(*held == int64_t(binaryplist::resultBytes(*v) - sizeof(Value)));
        auto table = Value::fromPlist(archive);
        FUZZ_CHECK(binaryplist::resultBytes(*v) <=
                   binaryplist::resultBytes(*table) + binaryplist::resultBudget(archive.size()));
        Data again = keyedarchive::archive(*v);
        auto back = keyedarchive::unarchive(again);
        FUZZ_CHECK(back.has_value());
        FUZZ_CHECK(keyedarchive::archive(*back) == again);
        return 0;
    }
    fuzz::Input in(data + 1, size - 1);
    Value v = in.value(4);
    auto back = keyedarchive::unarchive(keyedarchive::archive(v));
    FUZZ_CHECK(back.has_value());
    FUZZ_CHECK(*back == archivedForm(v));
    return 0;
}
