// Memory for records: blocks made on a caller's thread, released on another,
// reused by their thread.

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "logging/VLRecordPool.h"

using vl_detail::poolAllocate;
using vl_detail::poolBlocksMadeOnThisThread;
using vl_detail::poolDeallocate;

namespace {

constexpr size_t kRecord = 400;

// Runs `work` on a thread of its own, so that it starts with no blocks.
template <class F>
void onFreshThread(F work) {
    std::thread(work).join();
}

std::vector<void*> allocate(int n) {
    std::vector<void*> blocks;
    for (int i = 0; i < n; ++i) {
        blocks.push_back(poolAllocate(kRecord));
        std::memset(blocks.back(), i, kRecord);
    }
    return blocks;
}

void releaseOnAnotherThread(const std::vector<void*>& blocks) {
    std::thread([&] {
        for (void* p : blocks) poolDeallocate(p, kRecord);
    }).join();
}

TEST(RecordPool, AfterABurstASteadyCallerCyclesThroughFewBlocks) {
    // Every block a thread keeps at hand is touched once per cycle: after a
    // burst had filled its pool, cycling through all of it put each record
    // in memory untouched for thousands of records.
    onFreshThread([] {
        releaseOnAnotherThread(allocate(20000));
        std::deque<void*> inFlight;
        std::set<void*> used;
        for (int i = 0; i < 60000; ++i) {
            void* p = poolAllocate(kRecord);
            std::memset(p, i, kRecord);
            inFlight.push_back(p);
            if (i >= 30000) used.insert(p);
            if (inFlight.size() > 64) {
                poolDeallocate(inFlight.front(), kRecord);
                inFlight.pop_front();
            }
        }
        EXPECT_LE(used.size(), 2048u);
        for (void* p : inFlight) poolDeallocate(p, kRecord);
    });
}

TEST(RecordPool, ASecondBurstReusesTheBlocksOfTheFirst) {
    onFreshThread([] {
        auto first = allocate(16384);
        size_t made = poolBlocksMadeOnThisThread();
        EXPECT_EQ(made, 16384u);
        releaseOnAnotherThread(first);
        auto second = allocate(16000);
        EXPECT_EQ(poolBlocksMadeOnThisThread(), made) << "a burst after a burst faulted in fresh memory";
        releaseOnAnotherThread(second);
    });
}

TEST(RecordPool, BlocksOutliveTheirThreadAndLargeOnesBypassThePool) {
    std::vector<void*> orphans;
    onFreshThread([&] { orphans = allocate(100); });
    for (size_t i = 0; i < orphans.size(); ++i) {
        EXPECT_EQ(static_cast<unsigned char*>(orphans[i])[kRecord - 1], static_cast<unsigned char>(i));
        poolDeallocate(orphans[i], kRecord);  // the thread has ended: freed, not kept
    }
    void* large = poolAllocate(4096);
    std::memset(large, 1, 4096);
    poolDeallocate(large, 4096);
}

TEST(RecordPool, ReleasesFromAnotherThreadWhileTheOwnerAllocates) {
    // As the logging queue does: the owner makes records while another
    // thread releases them, and the owner ends with records still out.
    std::mutex mutex;
    std::deque<void*> handed;
    std::set<void*> live;  // made and not yet released: a block is never handed out twice
    bool done = false;
    std::thread releaser([&] {
        while (true) {
            void* p = nullptr;
            {
                std::lock_guard lock(mutex);
                if (handed.empty() && done) return;
                if (!handed.empty()) {
                    p = handed.front();
                    handed.pop_front();
                    live.erase(p);
                }
            }
            if (p) poolDeallocate(p, kRecord);
        }
    });
    onFreshThread([&] {
        for (int i = 0; i < 100000; ++i) {
            void* p = poolAllocate(kRecord);
            std::memset(p, i, kRecord);
            std::lock_guard lock(mutex);
            EXPECT_TRUE(live.insert(p).second) << "a block in use was handed out again";
            handed.push_back(p);
        }
    });
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    releaser.join();
}

}  // namespace
