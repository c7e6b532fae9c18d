#pragma once
// Names of the aggregator's notifications. The channel adapter posts the
// "RC" ones to the lifecycle controller; the controller posts the "RP" ones
// to the game side. All are posted on the main thread, with no sender; their
// user info carries "error" (0 on success) and "msg".

// Channel adapter → lifecycle controller.
inline constexpr const char* kRlpcRCInitDidFinishedNotification = "kRlpcRCInitDidFinishedNotification";
inline constexpr const char* kRlpcRCLoginNotification = "kRlpcRCLoginNotification";
inline constexpr const char* kRlpcRCLogoutNotification = "kRlpcRCLogoutNotification";
inline constexpr const char* kRlpcRCRealAuthNotification = "kRlpcRCRealAuthNotification";
inline constexpr const char* kRlpcRCLeavedNotification = "kRlpcRCLeavedNotification";
inline constexpr const char* kRlpcRCPauseDidExitNotification = "kRlpcRCPauseDidExitNotification";
inline constexpr const char* kRlpcRCRechargeResultNotification = "kRlpcRCRechargeResultNotification";

// Lifecycle controller → game side.
inline constexpr const char* kRlpcRPInitDidFinishedNotification = "kRlpcRPInitDidFinishedNotification";
inline constexpr const char* kRlpcRPLoginNotification = "kRlpcRPLoginNotification";
inline constexpr const char* kRlpcRPLogoutNotification = "kRlpcRPLogoutNotification";
inline constexpr const char* kRlpcRPNotiRecharge = "kRlpcRPNotiRecharge";
inline constexpr const char* kRlpcRPRealAuthNotification = "kRlpcRPRealAuthNotification";
inline constexpr const char* kRlpcRPLeavedNotification = "kRlpcRPLeavedNotification";
inline constexpr const char* kRlpcRPPauseOverNotification = "kRlpcRPPauseOverNotification";
