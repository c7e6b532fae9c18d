#include "usercenter/screens/panels/ZVCountDownButton.h"

#include <utility>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"

ZVCountDownButton::ZVCountDownButton() = default;

ZVCountDownButton::~ZVCountDownButton() {
    if (timer_) timer_->cancel();
}

void ZVCountDownButton::addToucheHandler(TouchedDownBlock block) {
    touchedDownBlock_ = std::move(block);
    if (std::exchange(targetAdded_, true)) return;
    std::weak_ptr<ZVCountDownButton> weak = std::static_pointer_cast<ZVCountDownButton>(sharedView());
    addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->touched();
    });
}

void ZVCountDownButton::touched() {
    if (touchedDownBlock_) touchedDownBlock_(*this, tag());
}

void ZVCountDownButton::startWithSecond(int seconds) {
    NSLog("倒计时内部函数调用成功");
    if (timer_) timer_->cancel();
    totalSecond_ = second_ = seconds;
    timer_ = DispatchTimer::create(DispatchQueue::main());
    timer_->schedule(std::chrono::seconds(1), std::chrono::seconds(1));
    // As a scheduled timer does, the handler holds the button until stop().
    auto self = std::static_pointer_cast<ZVCountDownButton>(sharedView());
    timer_->setEventHandler([self] { self->timerStart(); });
    timer_->resume();
}

void ZVCountDownButton::timerStart() {
    // At one second left the count is over; a count started at 1 or below
    // ends on its first tick instead of running below zero.
    if (second_ <= 1) return stop();
    --second_;
    setTitle(didChangeBlock_ ? didChangeBlock_(*this, second_) : strings::format("%d秒", second_), UIControlStateNormal);
}

void ZVCountDownButton::stop() {
    if (!timer_) return;
    std::exchange(timer_, nullptr)->cancel();
    second_ = totalSecond_;
    setTitle(didFinishedBlock_ ? didFinishedBlock_(*this, totalSecond_) : std::string("重新获取"), UIControlStateNormal);
}
