#pragma once
// Memory for records. A record is made on the caller's thread and released
// on the logging queue's thread; with the C library's allocator that free
// takes the lock of the caller's arena, so a busy caller and the logging
// queue would fight over it for every record. Here each thread keeps its
// own blocks: the logging queue hands a released block back to its thread
// with one atomic push, and the thread reuses it without any lock. A thread
// reuses the blocks that came back last first and keeps only about a
// thousand of them in use, so that its records stay in its core's cache;
// more are kept aside for moments when the logging queue falls behind.

#include <cstddef>
#include <new>

namespace vl_detail {

// A block of at least `size` bytes, from the calling thread's blocks when
// it fits; nullptr never.
void* poolAllocate(size_t size);
// From any thread.
void poolDeallocate(void* p, size_t size);
// How many blocks the calling thread has had to make so far (it reuses the
// ones that came back first): for tests and benchmarks.
size_t poolBlocksMadeOnThisThread();

template <class T>
struct PoolAllocator {
    using value_type = T;
    PoolAllocator() = default;
    template <class U>
    PoolAllocator(const PoolAllocator<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(poolAllocate(n * sizeof(T))); }
    void deallocate(T* p, size_t n) { poolDeallocate(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const PoolAllocator<U>&) const { return true; }
};

}  // namespace vl_detail
