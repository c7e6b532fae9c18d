#include "platform/ui/CADisplayLink.h"

#include <chrono>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSync.h"
#include "platform/ui/GtkHost.h"

namespace {

constexpr double kTimerInterval = 1.0 / 60;

// The links added to the run loop, kept alive by it (main thread only).
std::set<std::shared_ptr<CADisplayLink>>& runLoopLinks() {
    static auto* links = new std::set<std::shared_ptr<CADisplayLink>>();
    return *links;
}

}  // namespace

double CACurrentMediaTime() {
    return std::chrono::duration<double>(Clock::current().now().time_since_epoch()).count();
}

std::shared_ptr<CADisplayLink> CADisplayLink::displayLinkWithCallback(Callback callback) {
    return std::make_shared<CADisplayLink>(std::move(callback));
}

CADisplayLink::~CADisplayLink() { stopSource(); }

void CADisplayLink::addToRunLoop(const std::string& mode) {
    if (!valid_) return;
    modes_.insert(mode);
    runLoopLinks().insert(shared_from_this());
    update();
}

void CADisplayLink::removeFromRunLoop(const std::string& mode) {
    auto keep = shared_from_this();
    modes_.erase(mode);
    if (modes_.empty()) runLoopLinks().erase(keep);
    update();
}

void CADisplayLink::invalidate() {
    auto keep = shared_from_this();
    valid_ = false;
    modes_.clear();
    runLoopLinks().erase(keep);
    update();
    callback_ = nullptr;
}

void CADisplayLink::setPaused(bool paused) {
    paused_ = paused;
    update();
}

void CADisplayLink::update() {
    bool running = timer_ || frameCallback_;
    if (shouldRun() && !running) startSource();
    else if (!shouldRun() && running) stopSource();
}

void CADisplayLink::startSource() {
    std::weak_ptr<CADisplayLink> weak = weak_from_this();
    // Tests own time: on a test clock the timer runs even with a display.
    if (GtkHost::hasDisplay() && !Clock::current().isTestClock()) {
        frameCallback_ = GtkHost::addFrameCallback([weak](double interval) {
            if (auto link = weak.lock()) link->frame(interval);
        });
        if (frameCallback_) return;
    }
    auto period = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(kTimerInterval));
    timer_ = DispatchTimer::create(DispatchQueue::main());
    timer_->setEventHandler([weak] {
        if (auto link = weak.lock()) link->frame(kTimerInterval);
    });
    timer_->schedule(period, period);
    timer_->resume();
}

void CADisplayLink::stopSource() {
    if (timer_) timer_->cancel();
    timer_ = nullptr;
    if (frameCallback_) GtkHost::removeFrameCallback(frameCallback_);
    frameCallback_ = 0;
}

void CADisplayLink::frame(double interval) {
    if (!shouldRun()) return;
    double now = CACurrentMediaTime();
    if (timestamp_ > 0 && now - timestamp_ < interval / 2) return;  // due together with the last: dropped
    duration_ = interval;
    timestamp_ = now;
    auto keep = shared_from_this();  // the callback may invalidate the link
    auto callback = callback_;
    if (callback) callback(*this);
}
