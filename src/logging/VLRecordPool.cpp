#include "logging/VLRecordPool.h"

#include <atomic>

namespace vl_detail {

namespace {

constexpr size_t kPayload = 512;         // a queued record with its control block fits
constexpr size_t kMaxReturned = 4096;    // blocks kept for a thread (2 MiB); beyond, freed at once

struct Pool;

struct alignas(16) Header {
    Pool* owner;
    Header* next;
    size_t count;  // blocks in the list from here on, while in a returned list
};

void* payloadOf(Header* h) { return reinterpret_cast<char*>(h) + sizeof(Header); }
Header* headerOf(void* p) { return reinterpret_cast<Header*>(static_cast<char*>(p) - sizeof(Header)); }

Header* newBlock(Pool* owner) {
    auto* h = static_cast<Header*>(::operator new(sizeof(Header) + kPayload));
    h->owner = owner;
    h->next = nullptr;
    return h;
}

void freeList(Header* h) {
    while (h) {
        Header* next = h->next;
        ::operator delete(h);
        h = next;
    }
}

// One thread's blocks. Lives until its thread has ended and every block it
// handed out has come back. The thread touches the shared fields only when
// its own list runs dry, so per record only the releasing side writes them.
struct Pool {
    alignas(64) std::atomic<Header*> returned{nullptr};
    std::atomic<long> refs{1};  // the thread, plus each block outside `returned`
    std::atomic<bool> alive{true};
    alignas(64) Header* local = nullptr;  // owner thread only
    size_t localCount = 0;

    Header* take() {
        if (!local) {
            local = returned.exchange(nullptr, std::memory_order_acquire);
            localCount = local ? local->count : 0;
            if (localCount) refs.fetch_add(long(localCount), std::memory_order_relaxed);
        }
        if (local) {
            Header* h = local;
            local = h->next;
            --localCount;
            return h;
        }
        refs.fetch_add(1, std::memory_order_relaxed);
        return newBlock(this);
    }

    void giveBack(Header* h) {
        Header* head = returned.load(std::memory_order_relaxed);
        while (true) {
            if (!alive.load(std::memory_order_acquire) || (head && head->count >= kMaxReturned)) {
                ::operator delete(h);
                break;
            }
            h->next = head;
            h->count = head ? head->count + 1 : 1;
            if (returned.compare_exchange_weak(head, h, std::memory_order_release, std::memory_order_relaxed)) break;
        }
        unref(1);
    }

    void unref(long n) {
        if (refs.fetch_sub(n, std::memory_order_acq_rel) != n) return;
        freeList(returned.exchange(nullptr, std::memory_order_acquire));
        delete this;
    }

    void threadEnded() {
        alive.store(false, std::memory_order_release);
        long mine = long(localCount);
        freeList(local);
        local = nullptr;
        localCount = 0;
        freeList(returned.exchange(nullptr, std::memory_order_acquire));
        unref(mine + 1);
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
