#pragma once
// Tells whether the device is muted by timing a short sound ("MuteChecker"
// of type "caf" in the resource bundle "Korvel"): a muted device ends it at
// once (0.1 s or less), an audible one plays it through. The desktop has
// no silent switch, so the probe reports "not muted" once the clip has
// played. A check while the last one started less than a second ago does
// nothing. Nothing in the system calls it; a plug-in operation may.

#include <functional>
#include <memory>
#include <optional>

#include "platform/dispatch/Clock.h"
#include "platform/device/SoundPlayer.h"

class MuteChecker : public std::enable_shared_from_this<MuteChecker> {
public:
    using Completion = std::function<void(bool muted, double elapsedSeconds)>;

    // Loads the sound; without it "error setting up Sound ID" is logged and
    // checks do nothing.
    static std::shared_ptr<MuteChecker> initWithCompletionBlk(Completion block);

    void check();
    void playMuteSound();
    void completed();
    bool hasSound() const { return player_ != nullptr; }

private:
    MuteChecker() = default;
    std::shared_ptr<SoundPlayer> player_;
    Completion completionBlk_;
    std::optional<Clock::Monotonic> startTime_;
};
