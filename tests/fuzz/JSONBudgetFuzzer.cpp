// JSON texts read with a budget of values, as the servers' replies are: the
// first byte gives the budget (0, no limit, to 255 values), the rest is the
// text. What a budget lets through holds no more values than it allows and
// equals the text read without one; a text (as written back, without
// repeated keys) of exactly n values passes a budget of n and fails n - 1.

#include "FuzzSupport.h"
#include "platform/foundation/JSONReading.h"
#include "platform/foundation/Value.h"

namespace {

size_t valuesIn(const Value& v) {
    size_t n = 1;
    if (auto a = v.getArray())
        for (auto& e : *a) n += valuesIn(e);
    if (auto d = v.getDict())
        for (auto& [k, e] : *d) n += valuesIn(e);
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    size_t budget = data[0];
    auto text = fuzz::text(data + 1, size - 1);
    auto limited = readJSON(text, {budget});
    auto whole = Value::fromJSON(text);
    if (limited) {
        FUZZ_CHECK(whole);
        FUZZ_CHECK(*limited == *whole);
        if (budget) FUZZ_CHECK(valuesIn(*limited) <= budget);
    }
    if (!whole) return 0;
    std::string written = whole->toJSON();
    size_t n = valuesIn(*whole);
    FUZZ_CHECK(readJSON(written, {n}) == whole);
    if (n > 1) FUZZ_CHECK(!readJSON(written, {n - 1}));
    return 0;
}
