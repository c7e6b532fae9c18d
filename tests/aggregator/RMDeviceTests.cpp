#include <gtest/gtest.h>

#include <cstdio>

#include "aggregator/RMDevice.h"
#include "platform/device/DeviceFacts.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/net/NetworkReachability.h"
#include "platform/security/Keychain.h"
#include "platform/ui/UIScreen.h"
#include "support/TestSupport.h"

namespace {

std::string runProbe(const std::filesystem::path& home) {
    std::string cmd = "KORVEL_HOME='" + home.string() + "' '" + testsupport::built(RMDEVICE_PROBE) + "'";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return "";
    char buf[256] = {0};
    std::string out = fgets(buf, sizeof buf, p) ? buf : "";
    pclose(p);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

TEST(RMDevice, DeviceIdSurvivesARestart) {
    testsupport::TempDir home;
    auto first = runProbe(home.path());
    auto second = runProbe(home.path());
    EXPECT_EQ(first.rfind("IDFV", 0), 0u) << first;
    EXPECT_EQ(first.size(), 40u);
    EXPECT_EQ(first, second);
    testsupport::TempDir other;
    EXPECT_NE(runProbe(other.path()), first);
}

TEST(RMDevice, StoredIdWinsAndIsNotRewritten) {
    testsupport::TempHome home;
    ASSERT_TRUE(RMDevice::saveMessageWithData("stored-id", RMDevice::kDeviceIdItem));
    auto before = keychain::Keychain::standard().find(keychain::Query::generic(RMDevice::kDeviceIdItem));
    EXPECT_EQ(RMDevice::updateDeviceID(), "stored-id");
    auto after = keychain::Keychain::standard().find(keychain::Query::generic(RMDevice::kDeviceIdItem));
    ASSERT_TRUE(before && after);
    EXPECT_EQ(before->modified, after->modified);
}

TEST(RMDevice, ZeroOrDamagedStoredIdIsReplacedAndStored) {
    testsupport::TempHome home;
    ASSERT_TRUE(RMDevice::saveMessageWithData(RMDevice::kZeroId, RMDevice::kDeviceIdItem));
    auto id = RMDevice::updateDeviceID();
    EXPECT_EQ(id, "IDFV" + device::vendorIdentifier());
    EXPECT_EQ(RMDevice::getDataWithIdentifier(RMDevice::kDeviceIdItem), Value(id));

    // An item whose data is no keyed archive: a new id, no crash.
    auto& kc = keychain::Keychain::standard();
    ASSERT_TRUE(kc.setData(RMDevice::kDeviceIdItem, RMDevice::kDeviceIdItem, Data{0xde, 0xad, 0xbe, 0xef}));
    EXPECT_TRUE(RMDevice::getDataWithIdentifier(RMDevice::kDeviceIdItem).isNull());
    EXPECT_EQ(RMDevice::updateDeviceID(), id);  // the vendor id of this home is stable
    EXPECT_EQ(RMDevice::getDataWithIdentifier(RMDevice::kDeviceIdItem), Value(id));

    // An archive of something else, and an item without data.
    ASSERT_TRUE(kc.setData(RMDevice::kDeviceIdItem, RMDevice::kDeviceIdItem, keyedarchive::archive(Value::array({1}))));
    EXPECT_TRUE(RMDevice::getDataWithIdentifier(RMDevice::kDeviceIdItem).isNull());
    RMDevice::removeDataWithIdentifier(RMDevice::kDeviceIdItem);
    EXPECT_TRUE(RMDevice::getDataWithIdentifier(RMDevice::kDeviceIdItem).isNull());
    EXPECT_EQ(RMDevice::updateDeviceID(), id);
}

TEST(RMDevice, FactsAndTheirFallbacks) {
    testsupport::TempHome home;
    ScopedTestReachability net;
    net->setCellular();
    testsupport::TempDir root;
    device::setFactsRoot(root.path());
    testsupport::writeFile(root / "sys/class/power_supply/BAT0/type", "Battery");
    testsupport::writeFile(root / "sys/class/power_supply/BAT0/capacity", "50");
    RMDevice d;
    device::setFactsRoot("/");

    EXPECT_FLOAT_EQ(d.powerLast(), 50.0f);
    EXPECT_EQ(d.netType(), "2");  // cellular
    EXPECT_EQ(d.idfa(), "");      // tracking is off
    EXPECT_EQ(d.deviceID().rfind("IDFV", 0), 0u);
    EXPECT_EQ(d.device_pushToken(), "v2");
    EXPECT_EQ(d.deviceIsMobile(), 0);
    EXPECT_FALSE(d.deviceName().empty());
    EXPECT_FALSE(d.osName().empty());
    EXPECT_GT(d.capacityAll(), 0.0f);
    EXPECT_LE(d.capacityLast(), d.capacityAll());
    EXPECT_DOUBLE_EQ(d.screen_Width(), 750);
    EXPECT_DOUBLE_EQ(d.screen_Height(), 1334);
    // The size follows the screen the views are laid out on.
    UIScreen::mainScreen().setProfile(UIScreen::Profile::Tall);
    RMDevice tall;
    UIScreen::mainScreen().setProfile(UIScreen::Profile::Compact);
    EXPECT_DOUBLE_EQ(tall.screen_Width(), 750);
    EXPECT_DOUBLE_EQ(tall.screen_Height(), 1624);

    // No battery at all (a desktop) reports full, as an unknown level does;
    // an empty one reports 1.
    testsupport::TempDir bare;
    device::setFactsRoot(bare.path());
    EXPECT_FLOAT_EQ(RMDevice::getBatteryQuantity(), 100.0f);
    testsupport::writeFile(bare / "sys/class/power_supply/BAT1/type", "Battery");
    testsupport::writeFile(bare / "sys/class/power_supply/BAT1/capacity", "0");
    EXPECT_FLOAT_EQ(RMDevice::getBatteryQuantity(), 1.0f);
    device::setFactsRoot("/");
    net->setWiFi();
    EXPECT_EQ(RMDevice::localNetworkType(), "0");
}

TEST(RMDevice, PushTokenIsKeptForLaterRequests) {
    testsupport::TempHome home;
    RMDevice d;
    d.savePushToken("");
    EXPECT_EQ(d.device_pushToken(), "v2");
    d.savePushToken("abc123");
    EXPECT_EQ(d.device_pushToken(), "abc123");
    EXPECT_EQ(NSUserDefaults::standardUserDefaults().stringForKey(RMDevice::kPushTokenKey), "abc123");
    RMDevice later;
    EXPECT_EQ(later.device_pushToken(), "abc123");
}

}  // namespace
