#pragma once
// Facts about the device and its system, read from Linux: uname,
// os-release, statvfs, the power-supply class in sysfs, the interface list
// and the locale. Every read has a fallback and never fails.
//
// Files are read below a root folder ("/" by default) that tests point at
// a fake tree (setFactsRoot) to play batteries and releases.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace device {

// Where /etc, /sys and /proc are read from; "" or "/" for the real system.
void setFactsRoot(const std::filesystem::path& root);
std::filesystem::path factsRoot();

std::string machine();   // uname machine ("x86_64")
std::string hostName();  // the user-visible device name; "" when unknown

struct OSRelease {
    std::string name;     // os-release NAME ("Debian GNU/Linux"), else uname sysname
    std::string version;  // os-release VERSION_ID ("12"), else uname release
};
OSRelease osRelease();

struct DiskSpace {
    uint64_t total = 0;      // bytes
    uint64_t available = 0;  // bytes free to unprivileged users
};
std::optional<DiskSpace> diskSpace(const std::filesystem::path& path);

// The battery charge, 0 to 1, of the first battery in the power-supply
// class; nullopt when there is no battery or its level cannot be read.
std::optional<double> batteryLevel();

// From the locale in the environment (LC_ALL, LC_MESSAGES, LANG):
// "zh_CN.UTF-8" gives "zh_CN", "zh" and "CN". "C"/"POSIX" give "en_US".
std::string localeIdentifier();
std::string languageCode();
std::string countryCode();

struct InterfaceAddress {
    std::string interface;
    std::string address;  // dotted IPv4 or IPv6 text
    bool ipv6 = false;
    bool up = false;
    bool loopback = false;
    bool wireless = false;
};
std::vector<InterfaceAddress> interfaceAddresses();
// The IPv4 address of the wireless interface (the last found), else "".
std::string wifiIPAddress();
// The name of the current Wi-Fi network; "" (not read on this system).
std::string wifiSSID();
// The mobile network code of the cellular carrier; "" (no modem facts here).
std::string carrierNetworkCode();

// A per-install random UUID, kept in the keychain, the same for every
// process of this home; the same for the whole process even when the
// keychain cannot be read or written.
std::string vendorIdentifier();
// This system has no advertising identifier: always the all-zero UUID,
// with tracking disabled.
std::string advertisingIdentifier();
bool advertisingTrackingEnabled();

// A new random (version 4) UUID in upper case, as the platform writes them.
std::string newUUID();

}  // namespace device
