#include "platform/device/SystemSound.h"

#include <mutex>

namespace {
std::mutex gMutex;
std::vector<uint32_t> gPlayed;
}  // namespace

void AudioServicesPlaySystemSound(uint32_t soundID) {
    std::lock_guard lock(gMutex);
    if (gPlayed.size() >= 64) gPlayed.erase(gPlayed.begin());
    gPlayed.push_back(soundID);
}

namespace SystemSound {

std::vector<uint32_t> played() {
    std::lock_guard lock(gMutex);
    return gPlayed;
}

void clearPlayed() {
    std::lock_guard lock(gMutex);
    gPlayed.clear();
}

}  // namespace SystemSound
