#pragma once
// The application's home folder, the stand-in for the sandbox container:
// Documents/, Library/Caches/, Library/Preferences/, tmp/ and the keychain
// file. It is $XDG_DATA_HOME/<bundle identifier> (~/.local/share/...) unless
// the environment variable KORVEL_HOME or the executable's --home option
// names another folder. The home is 0700 (made so, or tightened, on first
// use) and every folder below it is made 0700.

#include <filesystem>

namespace AppHome {

std::filesystem::path root();
void setRoot(const std::filesystem::path& path);  // also used by tests

// Each created on first use.
std::filesystem::path documents();
std::filesystem::path library();
std::filesystem::path caches();       // Library/Caches
std::filesystem::path preferences();  // Library/Preferences
std::filesystem::path tmp();

}  // namespace AppHome
