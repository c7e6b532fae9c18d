#pragma once
// Shared pieces of the login road's end-to-end tests: both stand-ins, a
// game bundle pointed at them, and the player's part on the native login
// screen.

#include <filesystem>
#include <memory>
#include <string>

#include "platform/foundation/Value.h"
#include "standin/AggregatorStandin.h"
#include "standin/UserCentreStandin.h"

namespace roadtest {

inline constexpr const char* kPlayer = "player1";
inline constexpr const char* kPassword = "secret1";
inline constexpr const char* kCheckKey = "ck-9f2e";

// The aggregator's and the user centre's stand-ins on free loopback ports;
// the user centre knows kPlayer with kPassword.
class StandIns {
public:
    StandIns();
    bool start();
    standin::AggregatorStandin aggregator;
    standin::UserCentreStandin userCentre;
};

// The Info.plist of a game pointed at the stand-ins.
Value infoFor(StandIns& standIns);
// Writes a game bundle into `dir`: the Info.plist, the user centre's
// ZV.plist, the channel file (with the check key), the plug-in list with
// the refusal prompts, and `page` as Data/index.html.
void writeBundle(const std::filesystem::path& dir, const Value& info, const std::string& page);

// Waits for the native login screen, types the account and password as a
// player would and taps "登录". False (with a message on stderr) when a
// step cannot be done.
bool loginThroughScreen(const std::string& account = kPlayer, const std::string& password = kPassword);

}  // namespace roadtest
