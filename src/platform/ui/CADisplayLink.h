#pragma once
// The display link: a callback on the main thread once per frame, in the
// platform's manner. Hosted (a GTK host window on a display, the real clock
// installed), frames come from the window's frame clock, as the toolkit's
// animations do; otherwise a 60 Hz DispatchTimer on the replaceable clock
// makes them, so that a test steps a link frame by frame:
// TestClock::advance(link->duration()), then a run of the main loop.
//
// - A link fires only while it is added to the run loop in at least one
//   mode, not paused and not invalidated. Modes are kept as names: this
//   system has one run-loop mode, and a link fires in every mode.
// - The run loop keeps an added link alive, as the platform's does, until
//   it is invalidated or removed from every mode: a callback that needs its
//   owner holds it weakly.
// - Frames that fall due together (a busy main thread, a test clock moved
//   several frames at once) give one callback: a late frame is dropped,
//   never delivered twice.
// - Every call on the main thread.

#include <functional>
#include <memory>
#include <set>
#include <string>

class DispatchTimer;

inline const std::string NSDefaultRunLoopMode = "kCFRunLoopDefaultMode";
inline const std::string NSRunLoopCommonModes = "kCFRunLoopCommonModes";

// Seconds on the installed clock's monotonic time (media time).
double CACurrentMediaTime();

class CADisplayLink : public std::enable_shared_from_this<CADisplayLink> {
public:
    using Callback = std::function<void(CADisplayLink& link)>;

    // The platform's target and selector, as one callback.
    static std::shared_ptr<CADisplayLink> displayLinkWithCallback(Callback callback);

    // On the main run loop.
    void addToRunLoop(const std::string& mode);
    void removeFromRunLoop(const std::string& mode);
    // Stops the link for good and lets go of the callback.
    void invalidate();
    bool isValid() const { return valid_; }

    bool isPaused() const { return paused_; }
    void setPaused(bool paused);

    // Seconds between frames: 1/60 from the timer, the display's refresh
    // interval from the frame clock.
    double duration() const { return duration_; }
    // Media time of the last frame delivered (0 before the first), and of
    // the one expected next.
    double timestamp() const { return timestamp_; }
    double targetTimestamp() const { return timestamp_ + duration_; }

    ~CADisplayLink();
    explicit CADisplayLink(Callback callback) : callback_(std::move(callback)) {}

private:
    bool shouldRun() const { return valid_ && !paused_ && !modes_.empty(); }
    // Starts or stops the frame source to match shouldRun().
    void update();
    void startSource();
    void stopSource();
    void frame(double interval);

    Callback callback_;
    std::set<std::string> modes_;
    bool valid_ = true;
    bool paused_ = false;
    double duration_ = 1.0 / 60;
    double timestamp_ = 0;
    std::shared_ptr<DispatchTimer> timer_;  // headless or on a test clock
    unsigned frameCallback_ = 0;            // hosted
};
