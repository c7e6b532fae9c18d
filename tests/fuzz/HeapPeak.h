#pragma once
// How far the heap grew while a fuzz target's call ran: the most bytes held
// at once above what was held when the watch began. Counted through
// AddressSanitizer's allocator hooks (the libFuzzer build and the
// sanitized replay), so a property can bound the memory an input costs
// relative to what it makes; elsewhere nothing is counted.

#include <cstdint>
#include <optional>

namespace fuzz {

class HeapPeak {
public:
    HeapPeak();  // starts watching from what is held now
    // The growth so far; nullopt in a build without the allocator hooks.
    std::optional<uint64_t> growth() const;

private:
    int64_t base_ = 0;
};

}  // namespace fuzz
