#pragma once
// How far the heap grew while a fuzz target's call ran: the most bytes held
// at once above what was held when the watch began. Counted through
// AddressSanitizer's allocator hooks (the libFuzzer build and the
// sanitized replay), so a property can bound the memory an input costs
// relative to what it makes; elsewhere nothing is counted. Each block is
// counted twice: as asked for, and as the chunk glibc's malloc would take
// for it, which is what a process outside the sanitizer grows by.

#include <cstdint>
#include <optional>

namespace fuzz {

class HeapPeak {
public:
    HeapPeak();  // starts watching from what is held now
    // The growth so far; nullopt in a build without the allocator hooks.
    std::optional<uint64_t> growth() const;
    // The same in glibc's chunks: a request of n bytes takes max(32,
    // round_up(n + 8, 16)), one mapped on its own (past 128 KiB) whole
    // pages.
    std::optional<uint64_t> chunkGrowth() const;
    // What is held now above the start, in glibc's chunks.
    std::optional<int64_t> chunksHeld() const;

private:
    int64_t base_ = 0, chunkBase_ = 0;
};

}  // namespace fuzz
