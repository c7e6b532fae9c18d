#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <filesystem>

#include "imagecache/ZVMemoryCache.h"
#include "platform/device/MemoryPressure.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using testsupport::waitFor;

struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() { EXPECT_EQ(pipe(fds), 0); }
    ~Pipe() {
        close(fds[0]);
        if (fds[1] >= 0) close(fds[1]);
    }
    void poke() { ASSERT_EQ(write(fds[1], "!", 1), 1); }
};

TEST(MemoryPressure, AReportEmptiesMemoryCachesFromTheMainQueue) {
    ScopedTestClock clock;
    Pipe pipe;
    auto& monitor = MemoryPressureMonitor::shared();
    ASSERT_EQ(monitor.startWithFileDescriptor(pipe.fds[0], POLLIN), MemoryPressureMonitor::Source::FileDescriptor);
    auto cache = ZVMemoryCache::create();
    cache->setObject(CacheObject::make(1), "a");
    bool onMain = false;
    cache->setDidReceiveMemoryWarningBlock([&](ZVMemoryCache&) { onMain = isMainThread(); });

    uint64_t warnings = monitor.warningsPosted();
    pipe.poke();
    ASSERT_TRUE(waitFor([&] { return cache->totalCount() == 0; }));
    EXPECT_TRUE(onMain);
    EXPECT_EQ(monitor.warningsPosted(), warnings + 1);

    // Reports within the minimum interval are seen but not posted again.
    cache->setObject(CacheObject::make(2), "b");
    uint64_t reports = monitor.reportsSeen();
    pipe.poke();
    ASSERT_TRUE(waitFor([&] { return monitor.reportsSeen() == reports + 1; }));
    RunLoop::drain();
    EXPECT_EQ(cache->totalCount(), 1u);
    EXPECT_EQ(monitor.warningsPosted(), warnings + 1);

    clock->advance(10s);
    pipe.poke();
    ASSERT_TRUE(waitFor([&] { return cache->totalCount() == 0; }));
    EXPECT_EQ(monitor.warningsPosted(), warnings + 2);
    monitor.stop();
    EXPECT_EQ(monitor.source(), MemoryPressureMonitor::Source::None);
}

TEST(MemoryPressure, StartsOnTheKernelsReportsWhereTheyExist) {
    auto& monitor = MemoryPressureMonitor::shared();
    auto source = monitor.start();
    EXPECT_EQ(monitor.start(), source);  // a second start changes nothing
    if (std::filesystem::exists("/proc/pressure/memory") && geteuid() == 0) {
        EXPECT_TRUE(source == MemoryPressureMonitor::Source::CgroupPressure ||
                    source == MemoryPressureMonitor::Source::SystemPressure);
    }
    monitor.stop();
    EXPECT_EQ(monitor.source(), MemoryPressureMonitor::Source::None);
    // And it can start again.
    EXPECT_EQ(monitor.start(), source);
    monitor.stop();
}

}  // namespace
