#include "plugin/iOS/RAZ5Orered/KXKeyChainStore.h"

#include <mutex>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"

using keychain::Keychain;

namespace {

constexpr const char* kKeyMissing = "the key must not to be nil";
constexpr const char* kStringToData = "failed to convert string to data";
constexpr const char* kDataToString = "failed to convert data to string";

std::mutex gDefaultMutex;
std::optional<std::string> gDefaultService;

bool mappedAccessibility(int64_t code) { return code >= 1 && code <= 7; }
bool mappedProtocol(int64_t code) { return code >= 1 && code <= 29; }
bool mappedAuthentication(int64_t code) { return code >= 1 && code <= 8; }

Value describe(const keychain::Item& item) {
    Value d = Value::dict();
    bool generic = item.itemClass == keychain::ItemClass::GenericPassword;
    d.set("class", generic ? "GenericPassword" : "InternetPassword");
    if (generic) {
        if (!item.service.empty()) d.set("service", item.service);
        if (!item.accessGroup.empty()) d.set("accessGroup", item.accessGroup);
    } else {
        if (!item.server.empty()) d.set("server", item.server);
        if (item.protocol) d.set("protocol", item.protocol);
        if (item.authenticationType) d.set("authenticationType", item.authenticationType);
    }
    d.set("key", item.account);
    std::string text(item.data.begin(), item.data.end());
    if (strings::isValidUTF8(text)) d.set("value", text);
    else d.set("value", item.data);
    d.set("accessibility", item.accessibility);
    d.set("synchronizable", item.synchronizable);
    return d;
}

}  // namespace

// Creation

KXKeyChainStore::KXKeyChainStore() : KXKeyChainStore(std::optional<std::string>()) {}

KXKeyChainStore::KXKeyChainStore(std::optional<std::string> service, std::optional<std::string> accessGroup)
    : itemClass_(KXKeyChainStoreItemClass::GenericPassword),
      service_(service ? std::move(*service) : defaultService()),
      accessGroup_(std::move(accessGroup)) {}

KXKeyChainStore::KXKeyChainStore(const NSURL& server, KXKeyChainStoreProtocolType protocolType,
                                 KXKeyChainStoreAuthenticationType authenticationType)
    : itemClass_(KXKeyChainStoreItemClass::InternetPassword),
      server_(server),
      protocolType_(protocolType),
      authenticationType_(authenticationType) {}

std::shared_ptr<KXKeyChainStore> KXKeyChainStore::keyChainStore() { return std::make_shared<KXKeyChainStore>(); }

std::shared_ptr<KXKeyChainStore> KXKeyChainStore::keyChainStoreWithService(const std::optional<std::string>& service) {
    return std::make_shared<KXKeyChainStore>(service);
}

std::shared_ptr<KXKeyChainStore> KXKeyChainStore::keyChainStoreWithService(
    const std::optional<std::string>& service, const std::optional<std::string>& accessGroup) {
    return std::make_shared<KXKeyChainStore>(service, accessGroup);
}

std::shared_ptr<KXKeyChainStore> KXKeyChainStore::keyChainStoreWithServer(
    const NSURL& server, KXKeyChainStoreProtocolType protocolType,
    KXKeyChainStoreAuthenticationType authenticationType) {
    return std::make_shared<KXKeyChainStore>(server, protocolType, authenticationType);
}

std::string KXKeyChainStore::defaultService() {
    std::lock_guard lock(gDefaultMutex);
    if (gDefaultService) return *gDefaultService;
    return NSBundle::mainBundle().bundleIdentifier();
}

void KXKeyChainStore::setDefaultService(const std::string& service) {
    std::lock_guard lock(gDefaultMutex);
    gDefaultService = service;
}

void KXKeyChainStore::setSynchronizable(bool synchronizable) {
    synchronizable_ = synchronizable;
    if (authenticationPolicy_ && synchronizable_)
        NSLog("%s", "Cannot specify both an authenticationPolicy and a synchronizable");
}

void KXKeyChainStore::setAccessibility(KXKeyChainStoreAccessibility accessibility, int64_t authenticationPolicy) {
    accessibility_ = accessibility;
    authenticationPolicy_ = authenticationPolicy;
    if (authenticationPolicy_ && synchronizable_)
        NSLog("%s", "Cannot specify both an authenticationPolicy and a synchronizable");
}

// Errors

Error KXKeyChainStore::argumentError(const std::string& message) {
    NSLog("error: [%ld] %s", long(InvalidArguments), message.c_str());
    return Error::withDescription(ErrorDomain, InvalidArguments, message);
}

Error KXKeyChainStore::conversionError(const std::string& message) {
    NSLog("error: [%ld] %s", long(ConversionError), message.c_str());
    return Error::withDescription(ErrorDomain, ConversionError, message);
}

Error KXKeyChainStore::securityError(long status) {
    const char* message = "Security error has occurred.";
    NSLog("OSStatus error: [%ld] %s", status, message);
    return Error::withDescription(ErrorDomain, status, message);
}

// Items

keychain::Query KXKeyChainStore::baseQuery() const {
    keychain::Query q;
    // Synchronizable: any, so items of both kinds match.
    if (itemClass_ == KXKeyChainStoreItemClass::GenericPassword) {
        q.itemClass = keychain::ItemClass::GenericPassword;
        q.service = service_;
        if (accessGroup_) q.accessGroup = *accessGroup_;
    } else {
        q.itemClass = keychain::ItemClass::InternetPassword;
        if (server_) {
            if (!server_->host().empty()) q.server = server_->host();
            if (server_->port()) q.port = *server_->port();
        }
        if (mappedProtocol(protocolType_)) q.protocol = int(protocolType_);
        if (mappedAuthentication(authenticationType_)) q.authenticationType = int(authenticationType_);
    }
    return q;
}

bool KXKeyChainStore::contains(const std::optional<std::string>& key) {
    if (!key) return false;
    auto q = baseQuery();
    q.account = *key;
    return Keychain::standard().find(q).has_value();
}

std::optional<Data> KXKeyChainStore::dataForKey(const std::optional<std::string>& key, Error* error) {
    if (!key) {
        if (error) *error = argumentError(kKeyMissing);
        return std::nullopt;
    }
    auto q = baseQuery();
    q.account = *key;
    Error e;
    auto item = Keychain::standard().find(q, &e);
    if (item) return std::move(item->data);
    if (e.code != keychain::errSecItemNotFound) {
        Error se = securityError(e.code);
        if (error) *error = se;
    }
    return std::nullopt;
}

std::optional<std::string> KXKeyChainStore::stringForKey(const std::optional<std::string>& key, Error* error) {
    auto data = dataForKey(key, error);
    if (!data) return std::nullopt;
    std::string text(data->begin(), data->end());
    if (!strings::isValidUTF8(text)) {
        Error e = conversionError(kDataToString);
        if (error) *error = e;
        return std::nullopt;
    }
    return text;
}

bool KXKeyChainStore::setString(const std::optional<std::string>& string, const std::optional<std::string>& key,
                                Error* error) {
    return setString(string, key, std::nullopt, std::nullopt, std::nullopt, error);
}

bool KXKeyChainStore::setString(const std::optional<std::string>& string, const std::optional<std::string>& key,
                                const std::optional<Data>& genericAttribute, const std::optional<std::string>& label,
                                const std::optional<std::string>& comment, Error* error) {
    if (!string) return setData(std::nullopt, key, genericAttribute, label, comment, error);
    if (!strings::isValidUTF8(*string)) {
        Error e = conversionError(kStringToData);
        if (error) *error = e;
        return false;
    }
    return setData(Data(string->begin(), string->end()), key, genericAttribute, label, comment, error);
}

bool KXKeyChainStore::setData(const std::optional<Data>& data, const std::optional<std::string>& key, Error* error) {
    return setData(data, key, std::nullopt, std::nullopt, std::nullopt, error);
}

bool KXKeyChainStore::setData(const std::optional<Data>& data, const std::optional<std::string>& key,
                              const std::optional<Data>& genericAttribute, const std::optional<std::string>& label,
                              const std::optional<std::string>& comment, Error* error) {
    if (!key) {
        if (error) *error = argumentError(kKeyMissing);
        return false;
    }
    if (!data) return removeItemForKey(key, error);

    auto& kc = Keychain::standard();
    auto q = baseQuery();
    q.account = *key;
    keychain::Changes changes;
    changes.data = *data;
    if (mappedAccessibility(accessibility_)) changes.accessibility = int(accessibility_);
    if (genericAttribute) changes.genericAttribute = *genericAttribute;
    if (label) changes.label = *label;
    if (comment) changes.comment = *comment;

    auto fail = [&](long status) {
        Error e = securityError(status);
        if (error) *error = e;
        return false;
    };

    Error e;
    if (kc.find(q, &e)) {
        if (kc.update(q, changes, &e)) return true;
        return fail(e.code);
    }
    if (e.code != keychain::errSecItemNotFound) return fail(e.code);

    keychain::Item item;
    item.itemClass = keychain::ItemClass(int(itemClass_));
    item.account = *key;
    item.accessGroup = q.accessGroup.value_or("");
    item.service = q.service.value_or("");
    item.server = q.server.value_or("");
    item.port = q.port.value_or(0);
    item.protocol = q.protocol.value_or(0);
    item.authenticationType = q.authenticationType.value_or(0);
    item.data = *data;
    item.synchronizable = synchronizable_;
    if (changes.accessibility) item.accessibility = *changes.accessibility;
    if (genericAttribute) item.genericAttribute = *genericAttribute;
    if (label) item.label = *label;
    if (comment) item.comment = *comment;
    if (kc.add(item, &e)) return true;
    // Another thread or process added it between the two steps.
    if (e.code == keychain::errSecDuplicateItem && kc.update(q, changes, &e)) return true;
    return fail(e.code);
}

bool KXKeyChainStore::removeItemForKey(const std::optional<std::string>& key, Error* error) {
    if (!key) {
        if (error) *error = argumentError(kKeyMissing);
        return false;
    }
    auto q = baseQuery();
    q.account = *key;
    Error e;
    if (Keychain::standard().remove(q, &e) || e.code == keychain::errSecItemNotFound) return true;
    Error se = securityError(e.code);
    if (error) *error = se;
    return false;
}

bool KXKeyChainStore::removeAllItems(Error* error) {
    Error e;
    if (Keychain::standard().remove(baseQuery(), &e) || e.code == keychain::errSecItemNotFound) return true;
    Error se = securityError(e.code);
    if (error) *error = se;
    return false;
}

std::vector<Value> KXKeyChainStore::items(Error* error) {
    Error e;
    auto found = Keychain::standard().list(baseQuery(), &e);
    std::vector<Value> out;
    if (!e.domain.empty()) {
        Error se = securityError(e.code);
        if (error) *error = se;
        return out;
    }
    for (auto& item : found) out.push_back(describe(item));
    return out;
}

std::vector<std::string> KXKeyChainStore::allKeys() {
    std::vector<std::string> keys;
    for (auto& item : items(nullptr)) keys.push_back(item.str("key"));
    return keys;
}

std::vector<Value> KXKeyChainStore::allItems() { return items(nullptr); }

std::string KXKeyChainStore::description() {
    auto all = allItems();
    if (all.empty()) return "()";
    std::string out = "(\n";
    for (auto& item : all) out += "    " + item.toJSON() + "\n";
    out += ")";
    return out;
}

// Class forms

std::optional<std::string> KXKeyChainStore::stringForKey_service_accessGroup(
    const std::optional<std::string>& key, const std::optional<std::string>& service,
    const std::optional<std::string>& accessGroup, Error* error) {
    if (!key) {
        if (error) *error = argumentError(kKeyMissing);
        return std::nullopt;
    }
    return KXKeyChainStore(service, accessGroup).stringForKey(key, error);
}

std::optional<Data> KXKeyChainStore::dataForKey_service_accessGroup(const std::optional<std::string>& key,
                                                                    const std::optional<std::string>& service,
                                                                    const std::optional<std::string>& accessGroup,
                                                                    Error* error) {
    if (!key) {
        if (error) *error = argumentError(kKeyMissing);
        return std::nullopt;
    }
    return KXKeyChainStore(service, accessGroup).dataForKey(key, error);
}

bool KXKeyChainStore::setString_forKey_service_accessGroup(const std::optional<std::string>& string,
                                                           const std::optional<std::string>& key,
                                                           const std::optional<std::string>& service,
                                                           const std::optional<std::string>& accessGroup,
                                                           const std::optional<Data>& genericAttribute,
                                                           Error* error) {
    return KXKeyChainStore(service, accessGroup)
        .setString(string, key, genericAttribute, std::nullopt, std::nullopt, error);
}

bool KXKeyChainStore::setData_forKey_service_accessGroup(const std::optional<Data>& data,
                                                         const std::optional<std::string>& key,
                                                         const std::optional<std::string>& service,
                                                         const std::optional<std::string>& accessGroup,
                                                         const std::optional<Data>& genericAttribute, Error* error) {
    return KXKeyChainStore(service, accessGroup)
        .setData(data, key, genericAttribute, std::nullopt, std::nullopt, error);
}

bool KXKeyChainStore::removeItemForKey_service_accessGroup(const std::optional<std::string>& key,
                                                           const std::optional<std::string>& service,
                                                           const std::optional<std::string>& accessGroup,
                                                           Error* error) {
    return KXKeyChainStore(service, accessGroup).removeItemForKey(key, error);
}

bool KXKeyChainStore::removeAllItemsForService_accessGroup(const std::optional<std::string>& service,
                                                           const std::optional<std::string>& accessGroup,
                                                           Error* error) {
    return KXKeyChainStore(service, accessGroup).removeAllItems(error);
}

std::vector<Value> KXKeyChainStore::allKeysWithItemClass(KXKeyChainStoreItemClass itemClass) {
    std::vector<Value> out;
    for (auto& item : allItemsWithItemClass(itemClass)) {
        bool generic = itemClass == KXKeyChainStoreItemClass::GenericPassword;
        const char* where = generic ? "service" : "server";
        out.push_back(Value::dict({{where, item[where]}, {"key", item["key"]}}));
    }
    return out;
}

std::vector<Value> KXKeyChainStore::allItemsWithItemClass(KXKeyChainStoreItemClass itemClass) {
    keychain::Query q;
    q.itemClass = keychain::ItemClass(int(itemClass));
    Error e;
    auto found = Keychain::standard().list(q, &e);
    std::vector<Value> out;
    if (!e.domain.empty()) {
        securityError(e.code);
        return out;
    }
    for (auto& item : found) out.push_back(describe(item));
    return out;
}
