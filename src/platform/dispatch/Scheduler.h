#pragma once
// Deadlines of delayed dispatch and timers, kept in one heap and fired by one
// thread against the installed clock (or by TestClock::advance).

#include <chrono>
#include <cstdint>
#include <functional>

#include "platform/dispatch/Clock.h"

namespace dispatch_detail {

using FireFn = std::function<void()>;

// Runs `fn` (which should only post work somewhere) when the clock reaches
// `deadline`. Returns an id for cancel().
uint64_t schedule(Clock::Monotonic deadline, FireFn fn);
void cancel(uint64_t id);
// Fires every entry with a deadline <= `now`, in deadline order, calling
// `beforeEach(deadline)` first so a test clock can show the deadline as now.
void fireDue(Clock::Monotonic now, const std::function<void(Clock::Monotonic)>& beforeEach);
// Wakes the timer thread (a new clock was installed).
void wake();

}  // namespace dispatch_detail
