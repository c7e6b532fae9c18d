#include "platform/device/HardwareFacts.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <vector>

#include "platform/device/DeviceFacts.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Strings.h"

namespace device {

namespace {

std::string dmiField(const char* name) {
    auto text = files::readText(factsRoot() / "sys/class/dmi/id" / name);
    if (!text) return "";
    std::string v = strings::trim(*text);
    std::string lower = strings::toLower(v);
    for (auto filler : {"to be filled by o.e.m.", "default string", "system manufacturer", "system product name",
                        "not specified", "none", "n/a"})
        if (lower == filler) return "";
    return v;
}

}  // namespace

std::string dmiVendor() { return dmiField("sys_vendor"); }
std::string dmiProductName() { return dmiField("product_name"); }

namespace {

// Capture devices by name ("video0", ...), in order.
std::vector<std::string> captureDevices() {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(factsRoot() / "sys/class/video4linux", ec), end; !ec && it != end;
         it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool opens(const std::filesystem::path& node) {
    int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace

std::string cameraDevice() {
    for (auto& name : captureDevices()) {
        auto node = factsRoot() / "dev" / name;
        if (opens(node)) return node.string();
    }
    return "";
}

CameraAccess cameraAccess() {
    if (captureDevices().empty()) return CameraAccess::Unavailable;
    return cameraDevice().empty() ? CameraAccess::Denied : CameraAccess::Available;
}

bool hasCamera() {
    std::error_code ec;
    std::filesystem::directory_iterator it(factsRoot() / "sys/class/video4linux", ec);
    return !ec && it != std::filesystem::directory_iterator();
}

uint64_t physicalMemory() {
    long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? uint64_t(pages) * uint64_t(pageSize) : 0;
}

int64_t availableMemory() {
    auto text = files::readText(factsRoot() / "proc/meminfo");
    if (!text) return -1;
    for (auto& line : strings::split(*text, "\n")) {
        if (!strings::hasPrefix(line, "MemAvailable:")) continue;
        // "MemAvailable:    8123456 kB"
        std::string value = strings::trim(line.substr(13));
        int64_t kib = 0;
        auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), kib);
        if (ec != std::errc() || kib < 0 || kib > INT64_MAX / 1024) return -1;
        if (strings::trim(std::string_view(end, size_t(value.data() + value.size() - end))) != "kB") return -1;
        return kib * 1024;
    }
    return -1;
}

}  // namespace device
