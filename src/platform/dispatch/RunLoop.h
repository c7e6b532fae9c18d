#pragma once
// The main run loop: the GLib main context of the main thread. The
// application runs it for its whole life; tests run it until a condition
// holds (never a bare sleep).

#include <chrono>
#include <functional>

namespace RunLoop {

// Runs the main context until quit() (call on the main thread).
void run();
void quit();

// Runs the main context until `condition` holds or `timeout` (real time)
// passes; true when the condition held. Call on the main thread.
bool runUntil(const std::function<bool()>& condition,
              std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

// Runs the main context for `duration` of real time.
void runFor(std::chrono::milliseconds duration);

// Dispatches everything ready now (main-queue blocks, ready sources)
// without blocking.
void drain();

}  // namespace RunLoop
