#pragma once
// A loading indicator: a ring of nine grey dots that shrink one after
// another (each 0.7 s, the next starting 0.7/9 s later, without end), with
// an optional caption whose trailing dots cycle "...", "...", "..", "."
// every 0.2 s. The ring is drawn at the clock's now, so a picture taken at
// any moment shows where the dots are; while shown in a window a display
// link redraws it every frame, so the dots move on screen. Nothing in the
// system shows it yet.
//
// dismiss() drops the ring for good: a view once dismissed shows only a
// caption when shown again. A second caption replaces the first, and its
// timer the first one's.

#include <memory>
#include <string>

#include "platform/dispatch/DispatchSync.h"
#include "platform/ui/CADisplayLink.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIView.h"

class ZVProgressDP : public UIView {
public:
    static constexpr int kDotCount = 9;
    static constexpr double kDotSide = 13;
    static constexpr double kShrinkSeconds = 0.7;
    static constexpr double kCaptionSeconds = 0.2;

    ZVProgressDP();
    explicit ZVProgressDP(const CGRect& frame);
    ~ZVProgressDP() override;

    void show();
    void showWithTitle(const std::string& title);
    void dismiss();
    // Advances the caption's dots.
    void changeLable();

    const std::string& title() const { return title_; }
    std::shared_ptr<UILabel> label() const { return label_.lock(); }
    std::shared_ptr<CALayer> replayer() const { return replayer_.lock(); }
    bool isAnimating() const;
    bool hasCaptionTimer() const { return timer_ != nullptr; }
    // The frames' link runs only while the dots move in a window.
    bool isRedrawingEveryFrame() const { return link_ && !link_->isPaused(); }

    void didMoveToWindow() override;

private:
    void setup();
    void initLoadView();
    void showLoadView();
    void dimssLoadView();
    void stopTimer();
    void updateLink();

    std::string title_;
    std::weak_ptr<UILabel> label_;
    std::weak_ptr<CALayer> replayer_;
    std::shared_ptr<DispatchTimer> timer_;
    std::shared_ptr<CADisplayLink> link_;  // made by the first show, gone with dismiss
};
