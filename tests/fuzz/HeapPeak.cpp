#include "HeapPeak.h"

#include <atomic>
#include <cstddef>

// GCC says __SANITIZE_ADDRESS__, clang (older ones only) __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define KORVEL_HEAP_HOOKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORVEL_HEAP_HOOKS 1
#endif
#endif

// GCC installs the runtime without its interface headers: declared here.
#if KORVEL_HEAP_HOOKS
extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, size_t),
                                              void (*onFree)(const volatile void*));
size_t __sanitizer_get_allocated_size(const volatile void* p);
}
#endif

namespace fuzz {

#if KORVEL_HEAP_HOOKS

namespace {

// Bytes held on the heap (since the hooks went in) and the most held at
// once: as asked for, and in glibc's chunks.
std::atomic<int64_t> gHeld{0}, gPeak{0}, gChunks{0}, gChunkPeak{0};

void raise(std::atomic<int64_t>& peak, int64_t held) {
    int64_t seen = peak.load(std::memory_order_relaxed);
    while (held > seen && !peak.compare_exchange_weak(seen, held, std::memory_order_relaxed)) {
    }
}

int64_t glibcChunk(size_t n) {
    size_t chunk = n + 8 + 15 < 32 ? 32 : (n + 8 + 15) & ~size_t(15);
    if (chunk >= (size_t(128) << 10)) chunk = (chunk + 8 + 4095) & ~size_t(4095);
    return int64_t(chunk);
}

void onMalloc(const volatile void*, size_t size) {
    raise(gPeak, gHeld.fetch_add(int64_t(size), std::memory_order_relaxed) + int64_t(size));
    int64_t chunk = glibcChunk(size);
    raise(gChunkPeak, gChunks.fetch_add(chunk, std::memory_order_relaxed) + chunk);
}

void onFree(const volatile void* p) {
    size_t size = __sanitizer_get_allocated_size(p);
    gHeld.fetch_sub(int64_t(size), std::memory_order_relaxed);
    gChunks.fetch_sub(glibcChunk(size), std::memory_order_relaxed);
}

bool installHooks() {
    static const bool installed = __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree) != 0;
    return installed;
}

}  // namespace

HeapPeak::HeapPeak() {
    installHooks();
    base_ = gHeld.load();
    gPeak.store(base_);
    chunkBase_ = gChunks.load();
    gChunkPeak.store(chunkBase_);
}

std::optional<uint64_t> HeapPeak::growth() const {
    if (!installHooks()) return std::nullopt;
    int64_t peak = gPeak.load();
    return uint64_t(peak > base_ ? peak - base_ : 0);
}

std::optional<uint64_t> HeapPeak::chunkGrowth() const {
    if (!installHooks()) return std::nullopt;
    int64_t peak = gChunkPeak.load();
    return uint64_t(peak > chunkBase_ ? peak - chunkBase_ : 0);
}

std::optional<int64_t> HeapPeak::chunksHeld() const {
    if (!installHooks()) return std::nullopt;
    return gChunks.load() - chunkBase_;
}

#else

HeapPeak::HeapPeak() = default;
std::optional<uint64_t> HeapPeak::growth() const { return std::nullopt; }
std::optional<uint64_t> HeapPeak::chunkGrowth() const { return std::nullopt; }
std::optional<int64_t> HeapPeak::chunksHeld() const { return std::nullopt; }

#endif

}  // namespace fuzz
