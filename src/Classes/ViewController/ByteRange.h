#pragma once
// Parts of a file as the asset scheme and the media server answer them.
//
// The "Range" header of a request: "bytes=<start>-<end>", "bytes=<start>-"
// or "bytes=<start>-*" (to the end), and "bytes=-<n>" (the last n bytes).
// An end past the last byte is clamped; a start past the end, or an end
// before the start, cannot be satisfied.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct ByteRange {
    enum class Kind { Satisfiable, Unsatisfiable, Malformed };
    Kind kind = Kind::Malformed;
    uint64_t start = 0, end = 0;  // inclusive, when satisfiable
    uint64_t length() const { return end - start + 1; }

    static ByteRange parse(std::string_view header, uint64_t fileSize);
    // The answer's "Content-Range": "bytes <start>-<end>/<size>" when
    // satisfiable, else "bytes */<size>".
    std::string contentRange(uint64_t fileSize) const;
};

// Reads `length` bytes of the open file from `offset`, in pieces of at most
// `pieceSize` bytes, and hands each to `sink` while it returns true. 0 when
// every byte was handed over or the sink stopped; else the errno of the
// failed read (EIO for a file that ended early), so that a short answer is
// never taken for a whole one.
int sendFileRange(int fd, uint64_t offset, uint64_t length, size_t pieceSize,
                  const std::function<bool(const uint8_t* bytes, size_t count)>& sink);
