#include "logging/VLRecordPool.h"

#include <atomic>

namespace vl_detail {

namespace {

constexpr size_t kPayload = 512;         // a queued record with its control block fits
// Blocks kept for a thread (8 MiB at most); beyond, freed at once. A busy
// moment holds a batch being written, the next one gathering and the queue
// behind them (each up to 4096 records): a smaller cap made a steady caller
// throw blocks away and make fresh ones, whose pages then fault in, on
// every such moment (most often on a loaded machine, where the logging
// queue falls behind).
constexpr size_t kMaxReturned = 16384;

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

// Marks the returned list of a pool whose thread has ended: nothing can be
// pushed onto it any more.
Header gClosed{};

// One thread's blocks. Lives until its thread has ended and every block it
// made has been freed. The thread touches the shared fields only when its
// own list runs dry, so per record only the releasing side writes them.
// No block in a list says anything about the blocks after it: a releaser
// may read the list's head just as the thread takes the whole list.
struct Pool {
    alignas(64) std::atomic<Header*> returned{nullptr};
    std::atomic<size_t> returnedCount{0};  // about how many `returned` holds: only a cap
    std::atomic<long> refs{1};             // the thread, plus each block not yet freed
    alignas(64) Header* local = nullptr;   // owner thread only

    Header* take() {
        if (!local) {
            local = returned.exchange(nullptr, std::memory_order_acquire);
            if (local) returnedCount.store(0, std::memory_order_relaxed);
        }
        if (local) {
            Header* h = local;
            local = h->next;
            return h;
        }
        refs.fetch_add(1, std::memory_order_relaxed);
        return newBlock(this);
    }

    void giveBack(Header* h) {
        // Until the push, `h` keeps the pool alive; after it, the pool may
        // go at any moment, so nothing of it is touched then.
        if (returnedCount.fetch_add(1, std::memory_order_relaxed) < kMaxReturned) {
            Header* head = returned.load(std::memory_order_relaxed);
            while (head != &gClosed) {
                h->next = head;
                if (returned.compare_exchange_weak(head, h, std::memory_order_release, std::memory_order_relaxed))
                    return;
            }
        }
        ::operator delete(h);
        unref(1);
    }

    void unref(long n) {
        if (refs.fetch_sub(n, std::memory_order_acq_rel) == n) delete this;
    }

    void threadEnded() {
        long freed = freeList(local);
        local = nullptr;
        freed += freeList(returned.exchange(&gClosed, std::memory_order_acquire));
        unref(freed + 1);
    }
};

thread_local bool tEnded = false;

struct Holder {
    Pool* pool = new Pool();
    ~Holder() {
        tEnded = true;
        pool->threadEnded();
    }
};

thread_local Holder tHolder;

}  // namespace

void* poolAllocate(size_t size) {
    if (size > kPayload) return ::operator new(size);
    if (tEnded) return payloadOf(newBlock(nullptr));
    return payloadOf(tHolder.pool->take());
}

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
