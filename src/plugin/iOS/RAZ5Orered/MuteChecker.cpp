#include "plugin/iOS/RAZ5Orered/MuteChecker.h"

#include <chrono>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/PlatformLog.h"

namespace {

double secondsBetween(Clock::Monotonic from, Clock::Monotonic to) {
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace

std::shared_ptr<MuteChecker> MuteChecker::initWithCompletionBlk(Completion block) {
    auto checker = std::shared_ptr<MuteChecker>(new MuteChecker());
    std::optional<std::filesystem::path> sound;
    if (auto bundlePath = NSBundle::mainBundle().pathForResource("Korvel", "bundle"))
        if (auto bundle = NSBundle::bundleWithPath(*bundlePath)) sound = bundle->pathForResource("MuteChecker", "caf");
    auto player = SoundPlayer::make();
    if (!sound || !player || !player->load(*sound)) {
        NSLog("%s", "error setting up Sound ID");
        return checker;
    }
    checker->player_ = std::move(player);
    checker->completionBlk_ = std::move(block);
    return checker;
}

void MuteChecker::check() {
    if (!player_) return;
    // A check still running is not started again.
    if (startTime_ && secondsBetween(*startTime_, Clock::current().now()) <= 1.0) return;
    playMuteSound();
}

void MuteChecker::playMuteSound() {
    if (!player_) return;
    startTime_ = Clock::current().now();
    std::weak_ptr<MuteChecker> weak = weak_from_this();
    player_->play([weak] {
        if (auto self = weak.lock()) self->completed();
    });
}

void MuteChecker::completed() {
    if (!startTime_) return;
    double elapsed = secondsBetween(*startTime_, Clock::current().now());
    if (completionBlk_) completionBlk_(elapsed <= 0.1, elapsed);
}
