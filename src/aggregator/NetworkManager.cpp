#include "aggregator/NetworkManager.h"

#include <chrono>
#include <cstring>

#include "aggregator/Extend.h"
#include "aggregator/NetworkInterface.h"
#include "aggregator/ProcessInstance.h"
#include "aggregator/RLPCRelayChannel.h"
#include "aggregator/RMDevice.h"
#include "aggregator/RUVURazuzEVE.h"
#include "aggregator/RelayReply.h"
#include "aggregator/SDKCooperater.h"
#include "logging/VLLog.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/security/Cipher.h"

namespace {

int64_t nowMilliseconds() {
    auto since = Clock::current().wallNow().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
}

void deliver(const std::shared_ptr<DispatchQueue>& queue, const NetworkManager::Completion& completion,
             std::optional<Value> reply) {
    if (!completion) return;
    queue->async([completion, reply = std::move(reply)] { completion(reply); });
}

int64_t channelCodeNumber() { return Value(RLPCRelayChannel::defaultChannel().channelCode()).intValue(); }

std::string gameVersion() {
    auto v = NSBundle::mainBundle().objectForInfoDictionaryKey("CFBundleShortVersionString").stringOr();
    return v.empty() ? "1.0.0" : v;
}

// "%XX" for everything but ALPHA / DIGIT / "-._~": a value can never break
// its pair or the query.
std::string encodePair(const std::string& key, const std::string& value) {
    return strings::percentEncode(key) + "=" + strings::percentEncode(value);
}

// A real random number for the session tag.
long sessionRandom() {
    Data bytes = cipher::randomBytes(sizeof(uint64_t));
    uint64_t n = 0;
    std::memcpy(&n, bytes.data(), std::min(bytes.size(), sizeof(n)));
    return long(n & 0x7fffffffffffffffULL);
}

}  // namespace

std::shared_ptr<DispatchQueue> NetworkManager::callingQueue() {
    auto q = DispatchQueue::current();
    return q ? q : DispatchQueue::main();
}

NetworkManager& NetworkManager::sharedInstance() { return *shared(); }

std::shared_ptr<NetworkManager> NetworkManager::shared() { return ProcessInstance<NetworkManager>::get(); }

void NetworkManager::replaceSharedForTesting(std::shared_ptr<NetworkManager> instance) {
    ProcessInstance<NetworkManager>::replace(std::move(instance));
}

NetworkManager::NetworkManager() : NetworkManager(RelayServerSettings::fromMainBundle()) {}

NetworkManager::NetworkManager(RelayServerSettings settings) : settings_(std::move(settings)) {
    auto& device = RMDevice::sharedInstance();
    auto& channel = RLPCRelayChannel::defaultChannel();
    sessionId_ = Extend::md5Stringg(strings::format("%s_%ld", device.deviceID().c_str(), sessionRandom()));
    publicDict_ = Value::dict({{"channel_code", channelCodeNumber()},
                               {"platform", 1},
                               {"device_id", device.deviceID()},
                               {"idfa", device.idfa()},
                               {"session_id", sessionId_},
                               {"sdk_v", kRelaySDKVersion},
                               {"sdk_sub_v", channel.frameworkVersion()},
                               {"channel_sdk_v", channel.channelVersion()},
                               {"product_v", ""},
                               {"device_os", device.osName()},
                               {"device_os_v", device.os_version()},
                               {"device_name", device.deviceName()},
                               {"debug", true},
                               {"screen_height", device.screen_Height()},
                               {"screen_width", device.screen_Width()},
                               {"dpi", device.deviceDpi()},
                               {"net_type", 1}});
    std::vector<std::string> builtIn = serverEntries(Value::array({settings_.apiServerURL}));
    if (builtIn.empty()) NSLog("RLLog:no built-in API server is set");
    serveUrls_ = builtIn;
}

Value NetworkManager::publicDict() {
    publicDict_.set("time", nowMilliseconds());
    publicDict_.set("channel_code", channelCodeNumber());
    return publicDict_;
}

std::vector<std::string> NetworkManager::serveUrls() const {
    std::lock_guard lock(mutex_);
    return serveUrls_;
}

size_t NetworkManager::selectedIndex() const {
    std::lock_guard lock(mutex_);
    return selectedIndex_;
}

void NetworkManager::rememberIndex(size_t index) {
    std::lock_guard lock(mutex_);
    selectedIndex_ = index;
}

std::vector<std::string> NetworkManager::serverEntries(const Value& list) {
    std::vector<std::string> out;
    if (!list.isArray()) return out;
    for (auto& entry : *list.getArray()) {
        std::string text = entry.stringOr();
        auto url = NSURL::URLWithString(text);
        std::string scheme = url ? strings::toLower(url->scheme()) : "";
        if (!url || (scheme != "http" && scheme != "https") || url->host().empty()) {
            NSLog("RLLog:server list entry %s is not an http(s) URL; skipped", entry.toJSON().c_str());
            continue;
        }
        while (!text.empty() && text.back() == '/') text.pop_back();
        out.push_back(text);
    }
    return out;
}

std::string NetworkManager::productCode() {
    auto cfg = SDKCooperater::shareCooperater().platformCfg();
    return cfg ? cfg->productCode() : "";
}

std::string NetworkManager::productKey() {
    auto cfg = SDKCooperater::shareCooperater().platformCfg();
    return cfg ? cfg->productKey() : "";
}

// ---- Envelope and fail-over

NetworkManager::Envelope NetworkManager::envelope(const Value& fields, const std::string& code,
                                                  const std::string& key) {
    Envelope e;
    std::string json = Extend::jsonString(fields).value_or("{}");
    e.jsonData = Extend::urlEncodeFromBase64StrOfDES128Encryptt(json, key);
    e.sign = Extend::md5Stringg(strings::format("%s=%s&%s=%s&%s", "json_data", e.jsonData.c_str(), "product_code",
                                                code.c_str(), key.c_str()));
    e.body = strings::format("%s=%s&%s=%s&%s=%s", "json_data", e.jsonData.c_str(), "product_code", code.c_str(),
                             "sign", e.sign.c_str());
    return e;
}

void NetworkManager::apiRequest(const std::string& path, const Value& params, Completion completion) {
    Value fields = publicDict();
    if (auto d = params.getDict())
        for (auto& [k, v] : *d) fields.set(k, v);
    requestUrlInterface(path, envelope(fields, productCode(), productKey()).body, "POST", std::move(completion));
}

void NetworkManager::requestUrlInterface(const std::string& path, const std::string& body, const std::string& method,
                                         Completion completion) {
    auto queue = callingQueue();
    auto self = shared_from_this();
    DispatchQueue::global()->async([self, path, body, method, completion, queue] {
        std::vector<std::string> urls;
        size_t index;
        {
            std::lock_guard lock(self->mutex_);
            urls = self->serveUrls_;
            index = self->selectedIndex_;
        }
        // The list may have been replaced by a shorter one since the index was stored.
        if (index >= urls.size()) index = 0;
        for (size_t tries = 0; tries < urls.size(); ++tries) {
            auto reply = NetworkInterface::sharedInstance().addSyncHttpRequest(urls[index] + path, body, method,
                                                                             self->timeout_);
            if (reply) {
                self->rememberIndex(index);
                return deliver(queue, completion, std::move(reply));
            }
            index = (index + 1) % urls.size();
        }
        VLLogError("RLLog:no server answered %s", path.c_str());
        deliver(queue, completion, std::nullopt);
    });
}

// ---- API requests

Value NetworkManager::deviceSnapshot() const {
    auto& d = RMDevice::sharedInstance();
    return Value::dict({{"deviceCustomeName", d.deviceCustomeName()},
                        {"mobileProviderCode", d.mobileProviderCode()},
                        {"wifiName", d.wifiName()},
                        {"wifiIP", d.wifiIP()},
                        {"capacityAll", strings::format("%.2f", double(d.capacityAll()))},
                        {"capacityLast", strings::format("%.2f", double(d.capacityLast()))},
                        {"powerLast", strings::format("%.0f", double(d.powerLast()))},
                        {"os_language", d.osLanguage()},
                        {"country_code", d.osCountryCode()},
                        {"ismobiledevice", d.deviceIsMobile()},
                        {"imei", ""},
                        {"imsi", ""},
                        {"wifimac", ""},
                        {"bluetooth_mac", ""},
                        {"push_token", d.device_pushToken()}});
}

void NetworkManager::initInterface(Completion completion) {
    apiRequest(std::string("/v1") + "/api" + "/init", deviceSnapshot(), std::move(completion));
}

void NetworkManager::loginVerifyInterface(const Value& params, Completion completion) {
    apiRequest(std::string("/v2") + "/users" + "/checklogin", params, std::move(completion));
}

void NetworkManager::checkGameVersion(Completion completion) {
    apiRequest("/v2/users/checkversion", Value::dict(), std::move(completion));
}

Value NetworkManager::orderFields(const RUVURazuzEVEPayOrderInfo& order, const RUVURazuzEVEGameRoleInfo& role) const {
    auto& channel = RLPCRelayChannel::defaultChannel();
    Value roleInfo = Value::dict({{"server_name", role.serverName()},
                                  {"server_id", role.serverId()},
                                  {"game_role_name", role.gameRoleName()},
                                  {"game_role_id", role.gameRoleID()},
                                  {"game_role_balance", role.gameUserBalance()},
                                  {"vip_level", role.vipLevel()},
                                  {"game_role_level", role.gameUserLevel()},
                                  {"party_name", role.partyName()}});
    Value fields = Value::dict({{"uid", channel.userId()},
                                {"user_name", channel.userNick()},
                                {"token", channel.sessionId()},
                                {"goods_id", order.goodsID()},
                                {"goods_name", order.productName()},
                                {"goods_desc", order.productDesc()},
                                {"cp_order_id", order.cpOrderID()},
                                {"price", order.price()},
                                {"count", order.count()},
                                {"amount", order.amount()},
                                {"callback_url", order.callbackUrl()},
                                {"extras_params", order.extrasParams()},
                                {"game_role_info", Extend::base64Stringg(roleInfo.toJSON())}});
    std::string payParams = SDKCooperater::shareCooperater().getPaayParams();
    if (!payParams.empty()) fields.set("pay_params", payParams);
    return fields;
}

void NetworkManager::orderInterface(const RUVURazuzEVEPayOrderInfo& order, const RUVURazuzEVEGameRoleInfo& role,
                                    Completion completion) {
    apiRequest(std::string("/v1") + "/order" + "/orderpay", orderFields(order, role), std::move(completion));
}

// ---- Report gateway

Value NetworkManager::roleReportFields(const std::string& uid, const std::string& name,
                                       const RUVURazuzEVEGameRoleInfo& role) const {
    auto& channel = RLPCRelayChannel::defaultChannel();
    return Value::dict({{"uid", uid},
                        {"username", name},
                        {"serverID", role.serverId()},
                        {"serverName", role.serverName()},
                        {"gameRoleName", role.gameRoleName()},
                        {"gameRoleID", role.gameRoleID()},
                        {"gameRoleBalance", role.gameUserBalance()},
                        {"vipLevel", role.vipLevel()},
                        {"gameRoleLevel", role.gameUserLevel()},
                        {"partyName", role.partyName()},
                        {"partyId", role.partyId()},
                        {"roleCreateTime", role.creatTime()},
                        {"gameRoleGender", role.roleGender()},
                        {"gameRolePower", role.fightPower()},
                        {"partyRoleId", role.partyRoleId()},
                        {"partyRoleName", role.partyRoleName()},
                        {"profession", role.profession()},
                        {"professionId", role.professionId()},
                        {"time", nowMilliseconds()},
                        {"channelCode", channelCodeNumber()},
                        {"productCode", productCode()},
                        {"action", "role"},
                        {"channelVersion", channel.channelVersion()},
                        {"sdkVersion", kRelaySDKVersion},
                        {"gameVersion", gameVersion()},
                        {"deviceId", RMDevice::sharedInstance().deviceID()}});
}

void NetworkManager::updateRoleWithUid(const std::string& uid, const std::string& name,
                                       const RUVURazuzEVEGameRoleInfo& role, Completion completion) {
    Value fields = roleReportFields(uid, name, role);
    std::weak_ptr<NetworkManager> weak = weak_from_this();
    updateRoleInfoDict(fields, true, [weak, fields, completion](std::optional<Value> reply) {
        bool refused = reply && !RelayReply::succeeded(reply) && RelayReply::errorId(reply) == 1000;
        auto self = weak.lock();
        if (refused && self) return self->updateRoleInfoDict(fields, false, completion);
        if (completion) completion(reply);
    });
}

void NetworkManager::updateRoleInfoDict(const Value& fields, bool withSign, Completion completion) {
    Value sent = fields;
    if (withSign) sent.set("sign", envelope(fields, productCode(), productKey()).sign);
    std::vector<std::string> pairs;
    for (auto& [k, v] : *sent.getDict()) pairs.push_back(encodePair(k, v.textValue()));
    std::string url = strings::format("%s/%s", settings_.reportGatewayURL.c_str(), "gateway");
    gatewayRequest(url + "?" + strings::join(pairs, "&"), "", "GET", std::move(completion));
}

void NetworkManager::getPayData(Completion completion) {
    Value realName = RUVURazuzEVE::defaultInstance().realNameInfo();
    auto& channel = RLPCRelayChannel::defaultChannel();
    std::vector<std::pair<std::string, std::string>> values = {
        {"uid", channel.userId()},
        {"productCode", productCode()},
        {"realStatus", realName["realName"].textValue()},
        {"action", "checkRealnamePay"},
        {"gameVersion", gameVersion()},
        {"sdkVersion", kRelaySDKVersion},
        {"channelVersion", channel.channelVersion()},
        {"time", strings::format("%lld", (long long)nowMilliseconds())},
        {"deviceId", RMDevice::sharedInstance().deviceID()},
        {"age", realName["age"].textValue()},
        {"channelCode", channel.channelCode()}};
    // The server signs the pairs as they are; they travel percent-encoded.
    std::vector<std::string> raw, encoded;
    for (auto& [k, v] : values) {
        raw.push_back(k + "=" + v);
        encoded.push_back(encodePair(k, v));
    }
    std::string body = strings::join(encoded, "&") + "&sign=" + Extend::md5Stringg(strings::join(raw, "&"));
    gatewayRequest(strings::format("%s/%s", settings_.reportGatewayURL.c_str(), "getData"), body, "POST",
                   std::move(completion));
}

void NetworkManager::gatewayRequest(const std::string& url, const std::string& body, const std::string& method,
                                    Completion completion) {
    auto queue = callingQueue();
    auto self = shared_from_this();
    DispatchQueue::global()->async([self, url, body, method, completion, queue] {
        size_t tries;
        {
            std::lock_guard lock(self->mutex_);
            tries = std::max<size_t>(1, self->serveUrls_.size());
        }
        // Retries of the one gateway have their own count: they leave the
        // API servers' remembered index alone.
        for (size_t i = 0; i < tries; ++i) {
            auto reply = NetworkInterface::sharedInstance().addSyncHttpRequest(url, body, method, self->timeout_);
            if (reply) return deliver(queue, completion, std::move(reply));
        }
        deliver(queue, completion, std::nullopt);
    });
}

// ---- Static files

void NetworkManager::getAntiIndulgeMessage(Completion completion) {
    std::string url = strings::format("%s/%s/%s.html", settings_.configHostURL.c_str(), productCode().c_str(),
                                      RLPCRelayChannel::defaultChannel().channelCode().c_str());
    NetworkInterface::sharedInstance().addHttpRequest(url, "", "GET", std::move(completion));
}

void NetworkManager::updateServerListWithChannelParams(const Value& channelCfg, std::function<void()> handler) {
    auto queue = callingQueue();
    std::string base = channelCfg["relaysdk_server_ip_config"].stringOr();
    if (base.empty()) base = settings_.serverListURL;
    while (!base.empty() && base.back() == '/') base.pop_back();
    const Value& configured = channelCfg["relay_server_config"];
    if (configured.isArray() && !configured.empty()) {
        auto entries = serverEntries(configured);
        if (!entries.empty()) {
            std::lock_guard lock(mutex_);
            serveUrls_ = entries;
        }
    }
    std::string url = strings::format("%s/%s-%s.html", base.c_str(), productCode().c_str(),
                                      RLPCRelayChannel::defaultChannel().channelCode().c_str());
    auto self = shared_from_this();
    DispatchQueue::global()->async([self, url, handler, queue] {
        auto fetched = serverEntries(NetworkInterface::sharedInstance().addSyncHttpRequest2(url, "", "GET"));
        if (!fetched.empty()) {
            std::lock_guard lock(self->mutex_);
            fetched.insert(fetched.end(), self->serveUrls_.begin(), self->serveUrls_.end());
            self->serveUrls_ = std::move(fetched);
            self->selectedIndex_ = 0;
        }
        if (handler) queue->async(handler);
    });
}
