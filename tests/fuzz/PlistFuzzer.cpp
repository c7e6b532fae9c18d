// Property lists, XML or binary, as stored files and keychain items are
// read. What reads costs at most the reader's budget for the input's size
// (shared objects once made a megabyte 6.8 GB), and is written back in
// both forms, and each reads again; the binary form keeps about the
// input's size (once 259 times it) and is a fixed point (written, read and
// written again it is the same bytes), so nothing changes from one save to
// the next.

#include "FuzzSupport.h"
#include "platform/foundation/BinaryPlist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto v = Value::fromPlist(fuzz::text(data, size));
    if (!v) return 0;
    FUZZ_CHECK(binaryplist::resultBytes(*v) <= binaryplist::resultBudget(size));
    Data binary = v->toBinaryPlist();
    FUZZ_CHECK(binary.size() <= 4 * size + 256);
    auto back = Value::fromPlist(binary);
    FUZZ_CHECK(back.has_value());
    FUZZ_CHECK(back->toBinaryPlist() == binary);
    FUZZ_CHECK(Value::fromPlist(v->toXMLPlist()).has_value());
    return 0;
}
