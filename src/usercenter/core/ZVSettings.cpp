#include "usercenter/core/ZVSettings.h"

#include "platform/foundation/Files.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"

namespace {

std::string withSlash(std::string url) {
    url = strings::trim(url);
    if (!url.empty() && url.back() != '/') url += '/';
    return url;
}

// Only web addresses: a setting such as "file:///" or "javascript:" must
// never become the base of a request or of a page shown in the SDK.
std::string webAddress(const std::string& url, const char* key) {
    std::string lower = strings::toLower(strings::trim(url));
    if (lower.empty()) return "";
    if (!strings::hasPrefix(lower, "http://") && !strings::hasPrefix(lower, "https://")) {
        NSLog("ZVSettings: %s is not an http(s) address, ignored", key);
        return "";
    }
    return withSlash(url);
}

std::string pick(const Value& info, const Value& zv, const char* key) {
    std::string v = info[key].textValue();
    return strings::trim(v).empty() ? zv[key].textValue() : v;
}

}  // namespace

std::string ZVSettings::apiBaseURL() const { return serverURL.empty() ? "" : serverURL + "sdkapicoupon2/"; }

std::filesystem::path ZVSettings::zvPlistPath() {
    auto& main = NSBundle::mainBundle();
    if (auto p = main.pathForResource("ZV", "plist")) return *p;
    if (auto p = main.pathForResource("ZV", "plist", "ZVSDK.bundle")) return *p;
    return {};
}

ZVSettings ZVSettings::fromDictionaries(const Value& info, const Value& zv) {
    ZVSettings s;
    s.appKey = zv["ZORVIA_APPKEY"].textValue();
    s.gameID = zv["ZORVIA_GAMEID"].textValue();
    s.appID = zv["ZORVIA_APPID"].textValue();
    s.agent = zv["ZORVIA_AGENT"].textValue();
    s.channelID = info["channel"].textValue();
    if (strings::trim(s.channelID).empty()) s.channelID = s.agent;
    s.serverURL = webAddress(pick(info, zv, "ZORVIA_SERVER_URL"), "ZORVIA_SERVER_URL");
    s.chatURL = webAddress(pick(info, zv, "ZORVIA_CHAT_URL"), "ZORVIA_CHAT_URL");
    return s;
}

ZVSettings ZVSettings::fromMainBundle() {
    Value zv = Value::dict();
    auto path = zvPlistPath();
    if (!path.empty()) {
        if (auto bytes = files::readData(path)) {
            auto parsed = Value::fromPlist(*bytes);
            if (parsed && parsed->isDict()) zv = *parsed;
            else NSLog("ZVSettings: ZV.plist is not a dictionary");
        }
    }
    return fromDictionaries(NSBundle::mainBundle().infoDictionary(), zv);
}
