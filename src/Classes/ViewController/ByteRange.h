#pragma once
// The "Range" header of a request for part of a file, as the asset scheme
// answers it: "bytes=<start>-<end>", "bytes=<start>-" or "bytes=<start>-*"
// (to the end), and "bytes=-<n>" (the last n bytes). An end past the last
// byte is clamped; a start past the end, or an end before the start, cannot
// be satisfied.

#include <cstdint>
#include <optional>
#include <string_view>

struct ByteRange {
    enum class Kind { Satisfiable, Unsatisfiable, Malformed };
    Kind kind = Kind::Malformed;
    uint64_t start = 0, end = 0;  // inclusive, when satisfiable
    uint64_t length() const { return end - start + 1; }

    static ByteRange parse(std::string_view header, uint64_t fileSize);
};
