#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "platform/device/DeviceFacts.h"
#include "platform/device/HardwareFacts.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

struct FakeRoot {
    testsupport::TempDir dir;
    FakeRoot() { device::setFactsRoot(dir.path()); }
    ~FakeRoot() { device::setFactsRoot("/"); }
    void write(const std::string& rel, const std::string& text) { testsupport::writeFile(dir / rel, text); }
};

TEST(DeviceFacts, BatteryFromThePowerSupplyClass) {
    FakeRoot root;
    EXPECT_FALSE(device::batteryLevel());  // a desktop: no battery
    root.write("sys/class/power_supply/AC/type", "Mains\n");
    root.write("sys/class/power_supply/AC/online", "1\n");
    EXPECT_FALSE(device::batteryLevel());
    root.write("sys/class/power_supply/BAT0/type", "Battery\n");
    root.write("sys/class/power_supply/BAT0/capacity", "50\n");
    EXPECT_DOUBLE_EQ(device::batteryLevel().value_or(-1), 0.5);
    // Without a capacity file, the charge counters give the level.
    std::filesystem::remove(root.dir / "sys/class/power_supply/BAT0/capacity");
    root.write("sys/class/power_supply/BAT0/energy_now", "25000\n");
    root.write("sys/class/power_supply/BAT0/energy_full", "100000\n");
    EXPECT_DOUBLE_EQ(device::batteryLevel().value_or(-1), 0.25);
    root.write("sys/class/power_supply/BAT0/present", "0\n");
    EXPECT_FALSE(device::batteryLevel());
}

TEST(DeviceFacts, SystemNameAndVersionFromOsRelease) {
    FakeRoot root;
    root.write("etc/os-release", "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n");
    auto r = device::osRelease();
    EXPECT_EQ(r.name, "Debian GNU/Linux");
    EXPECT_EQ(r.version, "12");
    std::filesystem::remove(root.dir / "etc/os-release");
    r = device::osRelease();  // falls back to uname
    EXPECT_EQ(r.name, "Linux");
    EXPECT_FALSE(r.version.empty());
}

TEST(DeviceFacts, LocaleFromTheEnvironment) {
    auto saved = [](const char* n) { const char* v = std::getenv(n); return std::string(v ? v : ""); };
    std::string all = saved("LC_ALL"), msg = saved("LC_MESSAGES"), lang = saved("LANG");
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "zh_CN.UTF-8", 1);
    EXPECT_EQ(device::localeIdentifier(), "zh_CN");
    EXPECT_EQ(device::languageCode(), "zh");
    EXPECT_EQ(device::countryCode(), "CN");
    setenv("LC_ALL", "C", 1);
    EXPECT_EQ(device::localeIdentifier(), "en_US");
    setenv("LC_ALL", "de", 1);
    EXPECT_EQ(device::countryCode(), "");
    auto restore = [](const char* n, const std::string& v) { v.empty() ? unsetenv(n) : setenv(n, v.c_str(), 1); };
    restore("LC_ALL", all);
    restore("LC_MESSAGES", msg);
    restore("LANG", lang);
}

TEST(DeviceFacts, VendorIdentifierIsAPersistentUUID) {
    testsupport::TempHome home;
    std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    auto id = device::vendorIdentifier();
    EXPECT_TRUE(std::regex_match(id, uuid)) << id;
    EXPECT_EQ(device::vendorIdentifier(), id);
    testsupport::TempHome other;
    EXPECT_NE(device::vendorIdentifier(), id);
    EXPECT_NE(device::newUUID(), device::newUUID());
}

TEST(DeviceFacts, VendorIdentifierHoldsWithABrokenOrReadOnlyKeychain) {
    {
        testsupport::TempHome home;
        fs::create_directory(home.path() / "keychain.sqlite");  // cannot be opened at all
        auto id = device::vendorIdentifier();
        EXPECT_EQ(id.size(), 36u);
        EXPECT_EQ(device::vendorIdentifier(), id);
    }
    // A home made read-only after the id was stored: the stored id is read.
    testsupport::TempDir home;
    auto stored = testsupport::runProgram({testsupport::built(DEVICE_CHILD), "vendor-id", home.path().string()});
    ASSERT_EQ(stored.status, 0) << stored.err;
    ASSERT_EQ(stored.out.size(), 36u);
    auto readOnly = testsupport::runProgram({testsupport::built(DEVICE_CHILD), "vendor-id-readonly", home.path().string()});
    ASSERT_EQ(readOnly.status, 0) << readOnly.err;
    EXPECT_EQ(readOnly.out, stored.out + " " + stored.out) << readOnly.err;
}

TEST(DeviceFacts, DiskAndInterfaces) {
    auto disk = device::diskSpace("/");
    ASSERT_TRUE(disk);
    EXPECT_GT(disk->total, 0u);
    EXPECT_LE(disk->available, disk->total);
    EXPECT_FALSE(device::diskSpace("/no/such/folder"));
    bool loopback = false;
    for (auto& a : device::interfaceAddresses())
        if (a.loopback && a.address == "127.0.0.1") loopback = true;
    EXPECT_TRUE(loopback);
}

TEST(DeviceFacts, MemoryAvailableFromMeminfoBelowTheRoot) {
    FakeRoot root;
    EXPECT_EQ(device::availableMemory(), -1);  // no meminfo
    struct Case {
        const char* meminfo;
        int64_t bytes;
    } cases[] = {
        {"MemTotal:       16000000 kB\nMemFree:          100000 kB\nMemAvailable:    2097152 kB\n", 2147483648},
        {"MemAvailable: 0 kB\n", 0},
        {"MemTotal: 100 kB\nMemFree: 50 kB\n", -1},        // an old kernel without the line
        {"MemAvailable: lots kB\n", -1},
        {"MemAvailable: 12 MB\n", -1},                      // not the unit the kernel writes
        {"MemAvailable: 99999999999999999999 kB\n", -1},    // overflows
    };
    for (auto& c : cases) {
        root.write("proc/meminfo", c.meminfo);
        EXPECT_EQ(device::availableMemory(), c.bytes) << c.meminfo;
    }
    // Physical memory is the machine's own, whatever the root.
    EXPECT_GE(device::physicalMemory(), uint64_t(64) << 20);
}

}  // namespace
