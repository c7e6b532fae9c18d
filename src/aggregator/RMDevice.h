#pragma once
// The device facts the aggregator SDK sends to its servers, gathered once
// when the single instance is made: a persistent device id kept in the
// keychain, the advertising id, model and system, screen, network, disk and
// battery. Only the push token changes later.

#include <memory>
#include <mutex>
#include <string>

#include "platform/foundation/Value.h"

class RMDevice {
public:
    static RMDevice& sharedInstance();
    // Gathers every fact now (tests make their own instances).
    RMDevice();

    // The facts, in the order they are gathered.
    float capacityAll() const { return capacityAll_; }    // GiB
    float capacityLast() const { return capacityLast_; }  // GiB free
    float powerLast() const { return powerLast_; }        // percent
    int platform() const { return 2; }
    const std::string& deviceID() const { return deviceID_; }
    const std::string& deviceName() const { return deviceName_; }
    int deviceIsMobile() const { return deviceIsMobile_; }
    const std::string& deviceImei() const { return empty_; }
    const std::string& deviceImsi() const { return empty_; }
    const std::string& deviceWifiMac() const { return deviceWifiMac_; }
    const std::string& bluetoothMac() const { return empty_; }
    const std::string& netType() const { return netType_; }
    double screen_Height() const { return screenHeight_; }
    double screen_Width() const { return screenWidth_; }
    double deviceDpi() const { return 0; }
    std::string device_pushToken() const;
    double deviceLongitude() const { return 0; }
    double deviceLatitude() const { return 0; }
    const std::string& deviceCustomeName() const { return deviceCustomeName_; }
    const std::string& mobileProviderCode() const { return mobileProviderCode_; }
    const std::string& wifiName() const { return wifiName_; }
    const std::string& wifiIP() const { return wifiIP_; }
    const std::string& osName() const { return osName_; }
    const std::string& os_version() const { return osVersion_; }
    const std::string& osLanguage() const { return osLanguage_; }
    const std::string& osCountryCode() const { return osCountryCode_; }
    const std::string& osDefaultbrowser() const { return empty_; }
    int osJavasupport() const { return 0; }
    const std::string& osFlashversion() const { return empty_; }
    const std::string& idfa() const { return idfa_; }

    // A non-empty token replaces the push token and is kept in the user
    // defaults ("KEY_PUSH_TOKEN_KEY").
    void savePushToken(const std::string& token);

    // The persistent device id: the stored one, or a new one (the
    // advertising id, else "IDFV" and the vendor id) that is then stored.
    static std::string updateDeviceID();
    static std::string updateIDFA();

    // Keychain items whose service and account are the identifier, holding
    // a keyed archive of {"com.pxqvbtrok.data": value}.
    static bool saveMessageWithData(const Value& value, const std::string& identifier);
    // The stored value; null when absent, empty or unreadable.
    static Value getDataWithIdentifier(const std::string& identifier);
    static void removeDataWithIdentifier(const std::string& identifier);

    // One fact each.
    static float getBatteryQuantity();
    static std::string getWifiName();
    static std::string getDeviceIPAddress();
    static float getTotalDiskSize();
    static float getAvailableDiskSize();
    static std::string updateDeviceName();
    static std::string localNetworkType();
    static std::string mobileNetProvider();
    static std::string updateDevicePushToken();

    static constexpr const char* kDeviceIdItem = "com.pxqvbtrok.deviceid";
    static constexpr const char* kDataKey = "com.pxqvbtrok.data";
    static constexpr const char* kPushTokenKey = "KEY_PUSH_TOKEN_KEY";
    static constexpr const char* kZeroId = "00000000-0000-0000-0000-000000000000";

private:
    void setData();

    std::string empty_;
    float capacityAll_ = 0, capacityLast_ = 0, powerLast_ = 0;
    std::string deviceID_, idfa_, deviceName_, deviceWifiMac_, netType_;
    int deviceIsMobile_ = 0;
    double screenHeight_ = 0, screenWidth_ = 0;
    mutable std::mutex pushMutex_;
    std::string pushToken_;
    std::string osName_, osVersion_, osLanguage_, osCountryCode_, deviceCustomeName_, mobileProviderCode_, wifiName_,
        wifiIP_;
};
