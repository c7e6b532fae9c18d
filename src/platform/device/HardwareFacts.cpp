#include "platform/device/HardwareFacts.h"

#include <filesystem>

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

bool hasCamera() {
    std::error_code ec;
    std::filesystem::directory_iterator it(factsRoot() / "sys/class/video4linux", ec);
    return !ec && it != std::filesystem::directory_iterator();
}

}  // namespace device
