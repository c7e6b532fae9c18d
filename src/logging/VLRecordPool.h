#pragma once
// Memory for records. A record is made on the caller's thread and released
// on the logging queue's thread; with the C library's allocator that free
// takes the lock of the caller's arena, so a busy caller and the logging
// queue would fight over it for every record. Here each thread keeps its
// own blocks: the logging queue hands a released block back to its thread
// with one atomic push, and the thread reuses it without any lock.

#include <cstddef>
#include <new>

namespace vl_detail {

// A block of at least `size` bytes, from the calling thread's blocks when
// it fits; nullptr never.
void* poolAllocate(size_t size);
// From any thread.
void poolDeallocate(void* p, size_t size);

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
