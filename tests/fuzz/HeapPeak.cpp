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

// Bytes held on the heap (since the hooks went in) and the most held at once.
std::atomic<int64_t> gHeld{0}, gPeak{0};

void raisePeak(int64_t held) {
    int64_t peak = gPeak.load(std::memory_order_relaxed);
    while (held > peak && !gPeak.compare_exchange_weak(peak, held, std::memory_order_relaxed)) {
    }
}

void onMalloc(const volatile void*, size_t size) {
    raisePeak(gHeld.fetch_add(int64_t(size), std::memory_order_relaxed) + int64_t(size));
}

void onFree(const volatile void* p) {
    gHeld.fetch_sub(int64_t(__sanitizer_get_allocated_size(p)), std::memory_order_relaxed);
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
}

std::optional<uint64_t> HeapPeak::growth() const {
    if (!installHooks()) return std::nullopt;
    int64_t peak = gPeak.load();
    return uint64_t(peak > base_ ? peak - base_ : 0);
}

#else

HeapPeak::HeapPeak() = default;
std::optional<uint64_t> HeapPeak::growth() const { return std::nullopt; }

#endif

}  // namespace fuzz
