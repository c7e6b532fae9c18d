#pragma once
// What every fuzz target shares. A target checks properties of what the code
// under test returns, not only that it returns: a failed FUZZ_CHECK aborts,
// which libFuzzer reports as a crash (with the input saved) and the corpus
// replay under ctest as a failed test.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

#define FUZZ_CHECK(condition)                                                                     \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "fuzz property failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (0)

namespace fuzz {

inline std::string_view text(const uint8_t* data, size_t size) {
    return std::string_view(reinterpret_cast<const char*>(data), size);
}

// True when a text anywhere in `v` holds `needle` (keys aside): a reply
// that says "(null)" itself may have it shown.
inline bool anyTextHolds(const Value& v, std::string_view needle) {
    if (auto s = v.getString()) return s->find(needle) != std::string::npos;
    if (auto a = v.getArray())
        for (auto& item : *a)
            if (anyTextHolds(item, needle)) return true;
    if (auto d = v.getDict())
        for (auto& [key, item] : *d)
            if (anyTextHolds(item, needle)) return true;
    return false;
}

// A fresh folder for this process (under TMPDIR or /tmp), removed at exit.
std::filesystem::path scratchFolder();

// Keeps the platform log off standard error: a target that logs each bad
// input would spend its time writing.
void quietPlatformLog();

// An input read as a row of choices, for targets that build what they test
// from it; past its end every read gives zero or nothing.
class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint64_t integer(int bytes);
    // Up to `max` bytes of any value, its length read first.
    std::string text(size_t max = 32);
    // A value of any type (texts of any bytes, finite reals, dates in whole
    // seconds of any year from -7500 to 11500), nested up to `depth` levels.
    Value value(int depth = 3);
    // What is left.
    std::string_view rest() const;

private:
    const uint8_t* data_;
    size_t size_, at_ = 0;
};

// A value as the property-list writers store it: texts and keys valid
// UTF-8 without NUL (U+FFFD in place of bad bytes), null as "".
Value storedForm(const Value& v);

}  // namespace fuzz
