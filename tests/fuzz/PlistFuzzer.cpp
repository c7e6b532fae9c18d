// Property lists, XML or binary, as stored files and keychain items are
// read. Whatever reads is written back in both forms, and each reads again;
// the binary form is a fixed point (written, read and written again it is
// the same bytes), so nothing changes from one save to the next.

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto v = Value::fromPlist(fuzz::text(data, size));
    if (!v) return 0;
    Data binary = v->toBinaryPlist();
    auto back = Value::fromPlist(binary);
    FUZZ_CHECK(back.has_value());
    FUZZ_CHECK(back->toBinaryPlist() == binary);
    FUZZ_CHECK(Value::fromPlist(v->toXMLPlist()).has_value());
    return 0;
}
