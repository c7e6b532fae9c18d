// Property lists, XML or binary, as stored files and keychain items are
// read. What reads builds at most the reader's ceiling for the input's size
// (its objects once each, and what sharing adds within the budget: shared
// objects once made a megabyte 6.8 GB), and reading, libplist's tree
// included, holds little more than that in glibc's chunks (a byte of data
// counted as one byte once let one-byte references to it hold 88 a file
// byte); a binary file's value holds exactly what the reader counted; what reads is written back in
// both forms, and each reads again (the XML unless the work libplist would
// do reading it passes the budget of its size: keys a binary file held
// that share libplist's hash); the binary form keeps about the input's
// size (once 259 times it) and is a fixed point (written, read and written
// again it is the same bytes), so nothing changes from one save to the
// next. XML is read in time linear in its size: the work libplist does
// beyond its count of values (filing dictionaries' keys, unescaping
// entities) is reckoned before it reads, within budgets linear in the
// size (XMLPlistWork.h), and a hang is libFuzzer's -timeout.

#include "FuzzSupport.h"
#include "HeapPeak.h"
#include "platform/foundation/BinaryPlist.h"
#include "platform/foundation/XMLPlist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::HeapPeak heap;
    auto v = Value::fromPlist(fuzz::text(data, size));
    // In glibc's chunks, as the process grows; the reader's own tables: a
    // word for each object of a binary file.
    if (auto growth = heap.chunkGrowth())
        FUZZ_CHECK(*growth <= binaryplist::resultCeiling(size) + 8 * size + (64 << 10));
    if (!v) return 0;
    FUZZ_CHECK(binaryplist::resultBytes(*v) <= binaryplist::resultCeiling(size));
    // What a binary file's value holds is what the reader counted, block
    // for block (its root Value is not on the heap).
    if (auto held = heap.chunksHeld(); held && fuzz::text(data, size).substr(0, 6) == "bplist")
        FUZZ_CHECK(*held == int64_t(binaryplist::resultBytes(*v) - sizeof(Value)));
    Data binary = v->toBinaryPlist();
    FUZZ_CHECK(binary.size() <= 4 * size + 256);
    auto back = Value::fromPlist(binary);
    FUZZ_CHECK(back.has_value());
    FUZZ_CHECK(back->toBinaryPlist() == binary);
    Data xml = v->toXMLPlist();
    std::string_view text(reinterpret_cast<const char*>(xml.data()), xml.size());
    FUZZ_CHECK(Value::fromPlist(text).has_value() || xmlplist::shapeOf(text).overBudget);
    return 0;
}
