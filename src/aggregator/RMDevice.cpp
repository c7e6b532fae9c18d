#include "aggregator/RMDevice.h"

#include "aggregator/RMNetWorkUtil.h"
#include "platform/device/DeviceFacts.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/security/Keychain.h"
#include "platform/ui/UIScreen.h"

namespace {
// The page's keychain store may not reach the device id.
[[maybe_unused]] const bool kDeviceIdReserved = keychain::reserveService(RMDevice::kDeviceIdItem);
}  // namespace

RMDevice& RMDevice::sharedInstance() {
    static RMDevice* instance = new RMDevice();
    return *instance;
}

RMDevice::RMDevice() { setData(); }

void RMDevice::setData() {
    deviceID_ = updateDeviceID();
    idfa_ = updateIDFA();
    deviceName_ = updateDeviceName();
    deviceIsMobile_ = strings::contains(deviceName_, "iPhone") ? 1 : 0;
    deviceWifiMac_ = "";
    netType_ = localNetworkType();
    // In pixels: the main screen's points at its scale.
    auto& screen = UIScreen::mainScreen();
    screenHeight_ = screen.bounds().size.height * screen.scale();
    screenWidth_ = screen.bounds().size.width * screen.scale();
    pushToken_ = updateDevicePushToken();
    auto os = device::osRelease();
    osName_ = os.name;
    osVersion_ = os.version;
    osLanguage_ = device::languageCode();
    osCountryCode_ = device::countryCode();
    deviceCustomeName_ = device::hostName();
    mobileProviderCode_ = mobileNetProvider();
    wifiName_ = getWifiName();
    wifiIP_ = getDeviceIPAddress();
    capacityAll_ = getTotalDiskSize();
    capacityLast_ = getAvailableDiskSize();
    powerLast_ = getBatteryQuantity();
}

std::string RMDevice::device_pushToken() const {
    std::lock_guard lock(pushMutex_);
    return pushToken_;
}

void RMDevice::savePushToken(const std::string& token) {
    if (token.empty()) return;
    {
        std::lock_guard lock(pushMutex_);
        pushToken_ = token;
    }
    NSUserDefaults::standardUserDefaults().setObject(kPushTokenKey, token);
}

std::string RMDevice::updateDevicePushToken() {
    // A token delivered in an earlier run stands until a new one arrives.
    auto stored = NSUserDefaults::standardUserDefaults().stringForKey(kPushTokenKey);
    return stored.empty() ? "v2" : stored;
}

std::string RMDevice::updateDeviceID() {
    Value stored = getDataWithIdentifier(kDeviceIdItem);
    if (auto s = stored.getString(); s && !s->empty() && *s != kZeroId) return *s;
    std::string id = device::advertisingIdentifier();
    if (id.empty() || id == kZeroId) id = "IDFV" + device::vendorIdentifier();
    saveMessageWithData(id, kDeviceIdItem);
    return id;
}

std::string RMDevice::updateIDFA() {
    return device::advertisingTrackingEnabled() ? device::advertisingIdentifier() : "";
}

bool RMDevice::saveMessageWithData(const Value& value, const std::string& identifier) {
    auto& kc = keychain::Keychain::standard();
    kc.remove(keychain::Query::generic(identifier, identifier));
    keychain::Item item;
    item.service = identifier;
    item.account = identifier;
    item.accessibility = 2;  // after first unlock
    item.data = keyedarchive::archive(Value::dict({{kDataKey, value}}));
    Error error;
    if (!kc.add(item, &error)) {
        NSLog("RLLog:keychain write of %s failed: %s", identifier.c_str(), error.localizedDescription().c_str());
        return false;
    }
    return true;
}

Value RMDevice::getDataWithIdentifier(const std::string& identifier) {
    auto item = keychain::Keychain::standard().find(keychain::Query::generic(identifier, identifier));
    if (!item) return Value();
    if (item->data.empty()) {
        NSLog("%s在keychain中,没有获取到数据", identifier.c_str());
        return Value();
    }
    Error error;
    auto root = keyedarchive::unarchive(item->data, &error);
    if (!root) {
        NSLog("Unarchive of %s failed: %s", identifier.c_str(), error.localizedDescription().c_str());
        return Value();
    }
    return (*root)[kDataKey];
}

void RMDevice::removeDataWithIdentifier(const std::string& identifier) {
    auto& kc = keychain::Keychain::standard();
    kc.remove(keychain::Query::generic(identifier, identifier));
    keychain::Item item;
    item.service = identifier;
    item.account = identifier;
    kc.add(item);
}

float RMDevice::getBatteryQuantity() {
    double level = device::batteryLevel().value_or(-1);
    if (level < 0) level = 1;  // unknown (no battery) counts as full
    if (level < 0.01) return 1.0f;
    return float(level * 100.0);
}

std::string RMDevice::getWifiName() { return device::wifiSSID(); }
std::string RMDevice::getDeviceIPAddress() { return device::wifiIPAddress(); }

float RMDevice::getTotalDiskSize() {
    auto space = device::diskSpace(AppHome::root());
    return space ? float(double(space->total) / 1024 / 1024 / 1024) : 16.0f;
}

float RMDevice::getAvailableDiskSize() {
    auto space = device::diskSpace(AppHome::root());
    return space ? float(double(space->available) / 1024 / 1024 / 1024) : 16.0f;
}

std::string RMDevice::updateDeviceName() { return device::machine(); }

std::string RMDevice::localNetworkType() {
    return strings::format("%d", RMNetWorkUtil::sharedInstance().networkType() == 1 ? 2 : 0);
}

std::string RMDevice::mobileNetProvider() {
    std::string code = device::carrierNetworkCode();
    if (!code.empty()) NSLog("运营商:%s", code.c_str());  // a desktop has no carrier
    return code;
}
