#include "usercenter/screens/common/ZVProgressDP.h"

#include <cmath>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/CALayer.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// The timing curve (0.42, 0, 0.58, 1) at `t`, by bisection on x.
double easeInEaseOut(double t) {
    auto bezier = [](double a, double b, double s) { return 3 * a * s * (1 - s) * (1 - s) + 3 * b * s * s * (1 - s) + s * s * s; };
    double lo = 0, hi = 1;
    for (int i = 0; i < 30; ++i) {
        double mid = (lo + hi) / 2;
        (bezier(0.42, 0.58, mid) < t ? lo : hi) = mid;
    }
    return bezier(0, 1, (lo + hi) / 2);
}

// The ring: one grey dot at the top centre, repeated kDotCount times around
// the centre, each instance's shrinking delayed by 0.7/9 s. Before it is
// started (and before an instance's own start) a dot has scale 0.
class DotRingLayer : public CALayer {
public:
    void start() { started_ = Clock::current().now(); }
    void stop() { started_.reset(); }
    bool running() const { return started_.has_value(); }

    // The scale of dot `i` now.
    double scaleOf(int i) const {
        if (!started_) return 0;
        double elapsed = std::chrono::duration<double>(Clock::current().now() - *started_).count();
        double local = elapsed - i * ZVProgressDP::kShrinkSeconds / ZVProgressDP::kDotCount;
        if (local < 0) return 0;
        double phase = std::fmod(local, ZVProgressDP::kShrinkSeconds) / ZVProgressDP::kShrinkSeconds;
        return 1 - easeInEaseOut(phase);
    }

    void drawInContext(CGContext& ctx) override {
        CGRect b = bounds();
        CGPoint centre{b.midX(), b.midY()};
        for (int i = 0; i < ZVProgressDP::kDotCount; ++i) {
            double side = ZVProgressDP::kDotSide * scaleOf(i);
            if (side <= 0) continue;
            double angle = 2 * kPi * i / ZVProgressDP::kDotCount;
            // The dot sits at (width / 2, 10), turned about the centre.
            double dx = b.width() / 2 - centre.x, dy = 10 - centre.y;
            CGPoint p{centre.x + dx * std::cos(angle) - dy * std::sin(angle),
                      centre.y + dx * std::sin(angle) + dy * std::cos(angle)};
            ctx.setFillColor(UIColor::grayColor());
            ctx.fillEllipseInRect(CGRect(p.x - side / 2, p.y - side / 2, side, side));
        }
    }

private:
    std::optional<Clock::Monotonic> started_;
};

}  // namespace

ZVProgressDP::ZVProgressDP() : ZVProgressDP(CGRect()) {}

ZVProgressDP::ZVProgressDP(const CGRect& frame) : UIView(frame) { setup(); }

ZVProgressDP::~ZVProgressDP() {
    if (link_) link_->invalidate();
}

void ZVProgressDP::setup() { initLoadView(); }

void ZVProgressDP::initLoadView() {
    auto ring = std::make_shared<DotRingLayer>();
    ring->setFrame(bounds());
    layer()->addSublayer(ring);
    replayer_ = ring;
}

bool ZVProgressDP::isAnimating() const {
    auto ring = std::static_pointer_cast<DotRingLayer>(replayer());
    return ring && ring->running();
}

void ZVProgressDP::show() { showLoadView(); }

void ZVProgressDP::showLoadView() {
    auto ring = std::static_pointer_cast<DotRingLayer>(replayer());
    if (!ring) return;
    ring->start();
    ring->setNeedsDisplay();
    if (!link_) {
        // The ring is drawn at the clock's now: each frame only asks for a redraw.
        std::weak_ptr<CALayer> weak = ring;
        link_ = CADisplayLink::displayLinkWithCallback([weak](CADisplayLink&) {
            if (auto layer = weak.lock()) layer->setNeedsDisplay();
        });
        link_->addToRunLoop(NSRunLoopCommonModes);
    }
    updateLink();
}

void ZVProgressDP::updateLink() {
    if (link_) link_->setPaused(!window() || !isAnimating());
}

void ZVProgressDP::didMoveToWindow() {
    UIView::didMoveToWindow();
    updateLink();
}

void ZVProgressDP::showWithTitle(const std::string& title) {
    title_ = title;
    show();
    stopTimer();
    if (auto old = label()) old->removeFromSuperview();
    auto caption = std::make_shared<UILabel>();
    caption->setTextColor(UIColor::grayColor());
    caption->setFont(UIFont::systemFontOfSize(15));
    auto ring = replayer();
    CGRect ringFrame = ring ? ring->frame() : bounds();
    caption->setText(title_ + "...");
    caption->sizeToFit();
    caption->setFrame(CGRect(0, ringFrame.maxY() + 8, caption->frame().width(), caption->frame().height()));
    caption->setCenter({ringFrame.width() / 2, caption->center().y});
    caption->setTag(0);
    addSubview(caption);
    label_ = caption;

    timer_ = DispatchTimer::create(DispatchQueue::main());
    auto interval = std::chrono::nanoseconds(int64_t(kCaptionSeconds * 1e9));
    timer_->schedule(interval, interval);
    std::weak_ptr<ZVProgressDP> weak = std::static_pointer_cast<ZVProgressDP>(sharedView());
    timer_->setEventHandler([weak] {
        if (auto self = weak.lock()) self->changeLable();
    });
    timer_->resume();
}

void ZVProgressDP::changeLable() {
    auto caption = label();
    if (!caption) return;
    switch (caption->tag()) {
    case 0: caption->setText(title_ + "..."), caption->setTag(1); break;
    case 1: caption->setText(title_ + ".."), caption->setTag(2); break;
    case 2: caption->setText(title_ + "."), caption->setTag(0); break;
    default: break;
    }
}

void ZVProgressDP::dimssLoadView() {
    auto ring = std::static_pointer_cast<DotRingLayer>(replayer());
    if (!ring) return;
    ring->stop();
    ring->removeFromSuperlayer();
    if (link_) link_->invalidate();
    link_.reset();
}

void ZVProgressDP::dismiss() {
    dimssLoadView();
    if (auto caption = label()) caption->removeFromSuperview();
    stopTimer();
}

void ZVProgressDP::stopTimer() {
    if (!timer_) return;
    timer_->cancel();
    timer_.reset();
}
