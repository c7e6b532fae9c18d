// JSON texts from outside (replies, script messages, stored files): reading
// never crashes, and what is read writes out to a text that reads back as
// the same value and writes out the same again.

#include "FuzzSupport.h"
#include "platform/foundation/Value.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto value = Value::fromJSON(fuzz::text(data, size));
    if (!value) return 0;
    std::string written = value->toJSON();
    auto again = Value::fromJSON(written);
    FUZZ_CHECK(again);
    FUZZ_CHECK(*again == *value);
    FUZZ_CHECK(again->toJSON() == written);
    FUZZ_CHECK(Value::fromJSON(value->toJSON(true)) == again);
    return 0;
}
