#include "logging/VLRecordPool.h"

#include <atomic>

namespace vl_detail {

namespace {

constexpr size_t kPayload = 512;  // a queued record with its control block fits
// A thread cycles through every block it gets back before it looks for more,
// so the blocks it keeps at hand are its working set, which should stay in
// a core's own cache (1 MiB here): 1024 blocks are 544 KiB with the
// allocator's headers. With 16384 at hand, every record went into memory
// untouched for 16384 records (8.5 MiB a thread; 34 MiB for four, more
// than the shared cache).
constexpr size_t kHotBlocks = 1024;
// Beyond those, blocks are kept apart (16384 with the hot ones, 8 MiB) and
// used only when none has come back yet: a caller ahead of a busy logging
// queue takes them instead of faulting in fresh memory. Beyond, freed at
// once. (Both caps count what came back since the thread last took it.)
constexpr size_t kSpareBlocks = 16384 - kHotBlocks;
// Blocks whose memory is being fetched ahead of use.
constexpr int kAhead = 4;

struct Pool;

struct alignas(16) Header {
    Pool* owner;
    Header* next;
};

void* payloadOf(Header* h) { return reinterpret_cast<char*>(h) + sizeof(Header); }
Header* headerOf(void* p) { return reinterpret_cast<Header*>(static_cast<char*>(p) - sizeof(Header)); }

Header* newBlock(Pool* owner) {
    auto* h = static_cast<Header*>(::operator new(sizeof(Header) + kPayload));
    h->owner = owner;
    h->next = nullptr;
    return h;
}

// Fetched for writing: a line comes over ready to be written, rather than
// shared first and taken over again at the first store. (The compiler
// emits a read prefetch for x86-64 without -mprfchw; every x86-64
// processor runs the write form, older Intel ones as a no-op.)
void warm(Header* h) {
    auto* p = reinterpret_cast<char*>(h);
    for (size_t at = 0; at < sizeof(Header) + kPayload; at += 64) {
#if defined(__x86_64__)
        asm volatile("prefetchw %0" : : "m"(p[at]));
#else
        __builtin_prefetch(p + at, 1, 3);
#endif
    }
}

// Frees a list; answers how many blocks it held.
long freeList(Header* h) {
    long n = 0;
    while (h) {
        Header* next = h->next;
        ::operator delete(h);
        h = next;
        ++n;
    }
    return n;
}

// Marks the shared lists of a pool whose thread has ended: nothing can be
// pushed onto them any more.
Header gClosed{};

// Blocks handed back from any thread, the last one first; the owner takes
// the whole list at once.
struct SharedList {
    std::atomic<Header*> head{nullptr};
    std::atomic<size_t> count{0};  // about how many `head` holds: only a cap

    // False when full or closed; `h` is then the caller's still.
    bool push(Header* h, size_t cap) {
        if (count.fetch_add(1, std::memory_order_relaxed) >= cap) return false;
        Header* top = head.load(std::memory_order_relaxed);
        while (top != &gClosed) {
            h->next = top;
            if (head.compare_exchange_weak(top, h, std::memory_order_release, std::memory_order_relaxed))
                return true;
        }
        return false;
    }

    // Owner only. A plain read first: an empty list is not written to.
    Header* takeAll() {
        if (!head.load(std::memory_order_relaxed)) return nullptr;
        Header* all = head.exchange(nullptr, std::memory_order_acquire);
        count.store(0, std::memory_order_relaxed);
        return all;
    }

    Header* close() { return head.exchange(&gClosed, std::memory_order_acquire); }
};

// One thread's blocks. Lives until its thread has ended and every block it
// made has been freed. The thread touches the shared lists only when its
// own list runs dry, so per record only the releasing side writes them.
// No block in a list says anything about the blocks after it: a releaser
// may read the list's head just as the thread takes the whole list.
struct Pool {
    alignas(64) SharedList returned;  // up to kHotBlocks since the owner last took them
    SharedList spare;                 // the overflow, up to kSpareBlocks
    std::atomic<long> refs{1};        // the thread, plus each block not yet freed
    // Owner thread only.
    alignas(64) Header* local = nullptr;  // the blocks being used
    Header* lastWarmed = nullptr;         // the last of the first `warmed` blocks of `local`
    int warmed = 0;
    size_t made = 0;

    Header* take() {
        if (!local) refill();
        if (!local) {
            refs.fetch_add(1, std::memory_order_relaxed);
            ++made;
            return newBlock(this);
        }
        Header* h = local;
        local = h->next;
        warmAhead();
        return h;
    }

    // A block that came back was last written on another core (the release,
    // the list): its lines are fetched while the records before it are
    // made, not when it is written.
    void warmAhead() {
        if (warmed > 0) --warmed;
        Header* next = warmed ? lastWarmed->next : local;
        while (next && warmed < kAhead) {
            warm(next);
            lastWarmed = next;
            ++warmed;
            next = warmed < kAhead ? next->next : nullptr;
        }
    }

    // The blocks that came back, else every spare one (the thread is ahead
    // of the logging queue). Once those are used, the thread is back to the
    // blocks that come back, at most kHotBlocks at a time.
    void refill() {
        warmed = 0;
        local = returned.takeAll();
        if (!local) local = spare.takeAll();
    }

    void giveBack(Header* h) {
        // Until the push, `h` keeps the pool alive; after it, the pool may
        // go at any moment, so nothing of it is touched then.
        if (returned.push(h, kHotBlocks) || spare.push(h, kSpareBlocks)) return;
        ::operator delete(h);
        unref(1);
    }

    void unref(long n) {
        if (refs.fetch_sub(n, std::memory_order_acq_rel) == n) delete this;
    }

    void threadEnded() {
        long freed = freeList(local);
        local = nullptr;
        freed += freeList(returned.close());
        freed += freeList(spare.close());
        unref(freed + 1);
    }
};

// The calling thread's pool: a plain pointer, so that reaching it costs no
// check that a thread-local object has been made.
thread_local Pool* tPool = nullptr;
thread_local bool tEnded = false;

struct Holder {
    ~Holder() {
        tEnded = true;
        Pool* pool = tPool;
        tPool = nullptr;
        pool->threadEnded();
    }
};

// nullptr once the thread is ending.
Pool* makePool() {
    if (tEnded) return nullptr;
    thread_local Holder holder;  // ends the pool with the thread
    tPool = new Pool();
    return tPool;
}

}  // namespace

void* poolAllocate(size_t size) {
    if (size > kPayload) return ::operator new(size);
    Pool* pool = tPool ? tPool : makePool();
    if (!pool) return payloadOf(newBlock(nullptr));
    return payloadOf(pool->take());
}

size_t poolBlocksMadeOnThisThread() { return tPool ? tPool->made : 0; }

void poolDeallocate(void* p, size_t size) {
    if (size > kPayload) {
        ::operator delete(p);
        return;
    }
    Header* h = headerOf(p);
    if (!h->owner) ::operator delete(h);
    else h->owner->giveBack(h);
}

}  // namespace vl_detail
