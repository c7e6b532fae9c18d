#include "platform/device/DeviceFacts.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Strings.h"
#include "platform/security/Cipher.h"
#include "platform/security/Keychain.h"

namespace device {

namespace {

std::mutex gMutex;
std::filesystem::path gRoot = "/";

std::filesystem::path under(const std::string& absolute) {
    return factsRoot() / absolute.substr(1);
}

std::string readTrimmed(const std::filesystem::path& p) {
    auto t = files::readText(p);
    return t ? strings::trim(*t) : "";
}

utsname uname_() {
    utsname u{};
    uname(&u);
    return u;
}

std::string unquote(std::string v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
    return v;
}

}  // namespace

void setFactsRoot(const std::filesystem::path& root) {
    std::lock_guard lock(gMutex);
    gRoot = root.empty() ? std::filesystem::path("/") : root;
}

std::filesystem::path factsRoot() {
    std::lock_guard lock(gMutex);
    return gRoot;
}

std::string machine() { return uname_().machine; }

std::string hostName() {
    auto pretty = files::readText(under("/etc/machine-info"));
    if (pretty) {
        for (auto& line : strings::split(*pretty, "\n"))
            if (strings::hasPrefix(line, "PRETTY_HOSTNAME=")) {
                auto v = unquote(strings::trim(line.substr(16)));
                if (!v.empty()) return v;
            }
    }
    char buf[256] = {0};
    if (gethostname(buf, sizeof buf - 1) == 0) return buf;
    return "";
}

OSRelease osRelease() {
    OSRelease r;
    for (auto path : {"/etc/os-release", "/usr/lib/os-release"}) {
        auto text = files::readText(under(path));
        if (!text) continue;
        for (auto& line : strings::split(*text, "\n")) {
            if (strings::hasPrefix(line, "NAME=")) r.name = unquote(strings::trim(line.substr(5)));
            else if (strings::hasPrefix(line, "VERSION_ID=")) r.version = unquote(strings::trim(line.substr(11)));
        }
        break;
    }
    auto u = uname_();
    if (r.name.empty()) r.name = u.sysname;
    if (r.version.empty()) r.version = u.release;
    return r;
}

std::optional<DiskSpace> diskSpace(const std::filesystem::path& path) {
    struct statvfs s{};
    if (statvfs(path.c_str(), &s) != 0) return std::nullopt;
    return DiskSpace{uint64_t(s.f_frsize) * s.f_blocks, uint64_t(s.f_frsize) * s.f_bavail};
}

std::optional<double> batteryLevel() {
    std::error_code ec;
    auto dir = under("/sys/class/power_supply");
    std::vector<std::filesystem::path> supplies;
    for (auto& e : std::filesystem::directory_iterator(dir, ec)) supplies.push_back(e.path());
    std::sort(supplies.begin(), supplies.end());
    for (auto& p : supplies) {
        if (readTrimmed(p / "type") != "Battery") continue;
        if (auto present = readTrimmed(p / "present"); present == "0") continue;
        auto cap = readTrimmed(p / "capacity");
        if (!cap.empty()) {
            double v = strings::leadingDouble(cap);
            if (v >= 0 && v <= 100) return v / 100.0;
        }
        for (auto [now, full] : {std::pair{"energy_now", "energy_full"}, std::pair{"charge_now", "charge_full"}}) {
            double n = strings::leadingDouble(readTrimmed(p / now)), f = strings::leadingDouble(readTrimmed(p / full));
            if (f > 0 && n >= 0) return std::min(1.0, n / f);
        }
    }
    return std::nullopt;
}

std::string localeIdentifier() {
    std::string v;
    for (auto name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* e = std::getenv(name);
        if (e && *e) {
            v = e;
            break;
        }
    }
    v = v.substr(0, v.find_first_of(".@"));
    if (v.empty() || v == "C" || v == "POSIX") return "en_US";
    return v;
}

std::string languageCode() {
    auto id = localeIdentifier();
    return id.substr(0, id.find('_'));
}

std::string countryCode() {
    auto id = localeIdentifier();
    auto us = id.find('_');
    return us == std::string::npos ? "" : id.substr(us + 1);
}

std::vector<InterfaceAddress> interfaceAddresses() {
    std::vector<InterfaceAddress> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return out;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_name || !a->ifa_addr) continue;
        int family = a->ifa_addr->sa_family;
        if (family != AF_INET && family != AF_INET6) continue;
        char text[INET6_ADDRSTRLEN] = {0};
        const void* src = family == AF_INET ? static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr)
                                            : static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(a->ifa_addr)->sin6_addr);
        inet_ntop(family, src, text, sizeof text);
        InterfaceAddress ia;
        ia.interface = a->ifa_name;
        ia.address = text;
        ia.ipv6 = family == AF_INET6;
        ia.up = (a->ifa_flags & IFF_UP) && (a->ifa_flags & IFF_RUNNING);
        ia.loopback = a->ifa_flags & IFF_LOOPBACK;
        ia.wireless = files::exists(under("/sys/class/net/" + ia.interface + "/wireless")) ||
                      files::exists(under("/sys/class/net/" + ia.interface + "/phy80211"));
        out.push_back(std::move(ia));
    }
    freeifaddrs(list);
    return out;
}

std::string wifiIPAddress() {
    std::string found;
    for (auto& a : interfaceAddresses())
        if (a.wireless && !a.ipv6) found = a.address;
    return found;
}

std::string wifiSSID() { return ""; }
std::string carrierNetworkCode() { return ""; }

std::string newUUID() {
    Data b = cipher::randomBytes(16);
    b[6] = uint8_t((b[6] & 0x0F) | 0x40);
    b[8] = uint8_t((b[8] & 0x3F) | 0x80);
    auto hex = strings::toUpper(strings::hexEncode(b.data(), b.size()));
    return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" + hex.substr(16, 4) + "-" +
           hex.substr(20);
}

namespace {

constexpr const char* kService = "com.korvel.platform.identifierForVendor";
[[maybe_unused]] const bool kServiceReserved = keychain::reserveService(kService);

std::string storedOrNewVendorIdentifier() {
    static constexpr const char* kAccount = "identifierForVendor";
    auto& kc = keychain::Keychain::standard();
    if (auto stored = kc.data(kService, kAccount)) {
        std::string s(stored->begin(), stored->end());
        if (s.size() == 36) return s;
    }
    std::string id = newUUID();
    keychain::Item item;
    item.service = kService;
    item.account = kAccount;
    item.data = Data(id.begin(), id.end());
    Error e;
    if (!kc.add(item, &e) && e.code == keychain::errSecDuplicateItem) {
        // Another process won the race: use its id.
        if (auto stored = kc.data(kService, kAccount)) {
            std::string s(stored->begin(), stored->end());
            if (s.size() == 36) return s;
        }
        kc.setData(kService, kAccount, item.data);
    }
    return id;
}

}  // namespace

std::string vendorIdentifier() {
    // Decided once per home for the process: stable even when the keychain
    // cannot keep it (one thread at a time decides; the keychain's file lock
    // covers other processes). Never destroyed: signed requests on other
    // threads may still ask while the process exits.
    static std::mutex m;
    static auto* decided = new std::map<std::filesystem::path, std::string>();  // guarded by m
    std::lock_guard lock(m);
    auto& id = (*decided)[AppHome::root()];
    if (id.empty()) id = storedOrNewVendorIdentifier();
    return id;
}

std::string advertisingIdentifier() { return "00000000-0000-0000-0000-000000000000"; }
bool advertisingTrackingEnabled() { return false; }

}  // namespace device
