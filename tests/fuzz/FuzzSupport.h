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

// A fresh folder for this process (under TMPDIR or /tmp), removed at exit.
std::filesystem::path scratchFolder();

// Keeps the platform log off standard error: a target that logs each bad
// input would spend its time writing.
void quietPlatformLog();

}  // namespace fuzz
