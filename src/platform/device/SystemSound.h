#pragma once
// System sounds. The desktop has no vibration motor and no system sound
// set, so playing one only records it (the last ones played, for whoever
// wants to know that the application asked).

#include <cstdint>
#include <vector>

inline constexpr uint32_t kSystemSoundID_Vibrate = 4095;
// The keyboard's key click (what the platform's input click plays).
inline constexpr uint32_t kSystemSoundID_InputClick = 1104;

void AudioServicesPlaySystemSound(uint32_t soundID);

namespace SystemSound {
// The sounds asked for since the last clear, oldest first (at most 64).
std::vector<uint32_t> played();
void clearPlayed();
}  // namespace SystemSound
