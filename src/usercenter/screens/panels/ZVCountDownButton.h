#pragma once
// The SMS-code button of the user centre's panels: it counts down the
// seconds until another code may be asked for. startWithSecond(n) ticks
// once a second on the main queue (the replaceable clock: tests advance
// it): each tick lowers the seconds left and sets the normal title from
// `didChange` ("%d秒" without one); the tick that finds one second left
// (or fewer, for a countdown started at 1 or below) stops instead, puts
// the seconds back and sets the title from `didFinished` ("重新获取"
// without one). A second start while counting replaces the running count.
// The running timer keeps the button alive until it stops. Main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/dispatch/DispatchSync.h"
#include "platform/ui/UIButton.h"

class ZVCountDownButton : public UIButton {
public:
    using TitleBlock = std::function<std::string(ZVCountDownButton& button, int seconds)>;
    using TouchedDownBlock = std::function<void(ZVCountDownButton& button, long tag)>;

    ZVCountDownButton();
    ~ZVCountDownButton() override;

    // Runs `block` with the button and its tag on touch-up-inside.
    void addToucheHandler(TouchedDownBlock block);
    void touched();

    void startWithSecond(int seconds);
    void stop();
    void didChange(TitleBlock block) { didChangeBlock_ = std::move(block); }
    void didFinished(TitleBlock block) { didFinishedBlock_ = std::move(block); }

    bool isCounting() const { return timer_ != nullptr; }
    int32_t second() const { return second_; }

private:
    void timerStart();

    int32_t second_ = 0, totalSecond_ = 0;
    std::shared_ptr<DispatchTimer> timer_;
    TitleBlock didChangeBlock_, didFinishedBlock_;
    TouchedDownBlock touchedDownBlock_;
    bool targetAdded_ = false;
};
