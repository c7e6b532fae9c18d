#pragma once
// A key-value store of strings or bytes on the platform keychain. A store is
// bound either to a service (generic-password items, the key being the
// item's account) or to a server URL (internet-password items).
//
// Errors are in the domain "com.quenvik.kxkeychainstore": 1 for a bad
// argument, -67594 for a text that is not UTF-8, -99999 for the unexpected,
// and the keychain's own status code for everything the keychain refuses.
// Every error is logged when made.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"
#include "platform/security/Keychain.h"

enum class KXKeyChainStoreItemClass : int64_t { GenericPassword = 1, InternetPassword = 2 };

// 1 when unlocked, 2 after first unlock, 3 always, 4 when a passcode is set
// (this device only), 5-7 the "this device only" forms of 1-3. Kept with
// the items; this keychain is never locked.
using KXKeyChainStoreAccessibility = int64_t;
// 1 FTP ... 16 HTTPS ... 29 POP3S; 0 none.
using KXKeyChainStoreProtocolType = int64_t;
// 1 NTLM ... 5 HTTP basic, 6 HTTP digest, 7 HTML form, 8 default; 0 none.
using KXKeyChainStoreAuthenticationType = int64_t;

class KXKeyChainStore : public NSObject {
public:
    static constexpr const char* ErrorDomain = "com.quenvik.kxkeychainstore";
    enum ErrorCode : long { InvalidArguments = 1, ConversionError = -67594, UnexpectedError = -99999 };

    // Generic-password stores; no service means the default service.
    static std::shared_ptr<KXKeyChainStore> keyChainStore();
    static std::shared_ptr<KXKeyChainStore> keyChainStoreWithService(const std::optional<std::string>& service);
    static std::shared_ptr<KXKeyChainStore> keyChainStoreWithService(const std::optional<std::string>& service,
                                                                    const std::optional<std::string>& accessGroup);
    // Internet-password stores (authentication type 8 when not given).
    static std::shared_ptr<KXKeyChainStore> keyChainStoreWithServer(const NSURL& server,
                                                                   KXKeyChainStoreProtocolType protocolType,
                                                                   KXKeyChainStoreAuthenticationType
                                                                       authenticationType = 8);

    KXKeyChainStore();
    explicit KXKeyChainStore(std::optional<std::string> service, std::optional<std::string> accessGroup = {});
    KXKeyChainStore(const NSURL& server, KXKeyChainStoreProtocolType protocolType,
                    KXKeyChainStoreAuthenticationType authenticationType = 8);

    // The main bundle's identifier, or "" without one, unless replaced.
    static std::string defaultService();
    static void setDefaultService(const std::string& service);

    KXKeyChainStoreItemClass itemClass() const { return itemClass_; }
    const std::string& service() const { return service_; }
    const std::optional<std::string>& accessGroup() const { return accessGroup_; }
    const std::optional<NSURL>& server() const { return server_; }
    KXKeyChainStoreProtocolType protocolType() const { return protocolType_; }
    KXKeyChainStoreAuthenticationType authenticationType() const { return authenticationType_; }
    KXKeyChainStoreAccessibility accessibility() const { return accessibility_; }
    void setAccessibility(KXKeyChainStoreAccessibility accessibility) { accessibility_ = accessibility; }
    int64_t authenticationPolicy() const { return authenticationPolicy_; }
    void setAccessibility(KXKeyChainStoreAccessibility accessibility, int64_t authenticationPolicy);
    bool synchronizable() const { return synchronizable_; }
    void setSynchronizable(bool synchronizable);
    const std::string& authenticationPrompt() const { return authenticationPrompt_; }
    void setAuthenticationPrompt(const std::string& prompt) { authenticationPrompt_ = prompt; }

    bool contains(const std::optional<std::string>& key);
    // nullopt without an error when there is no item.
    std::optional<std::string> stringForKey(const std::optional<std::string>& key, Error* error = nullptr);
    std::optional<Data> dataForKey(const std::optional<std::string>& key, Error* error = nullptr);
    // No value removes the item.
    bool setString(const std::optional<std::string>& string, const std::optional<std::string>& key,
                   Error* error = nullptr);
    bool setString(const std::optional<std::string>& string, const std::optional<std::string>& key,
                   const std::optional<Data>& genericAttribute, const std::optional<std::string>& label,
                   const std::optional<std::string>& comment, Error* error = nullptr);
    bool setData(const std::optional<Data>& data, const std::optional<std::string>& key, Error* error = nullptr);
    bool setData(const std::optional<Data>& data, const std::optional<std::string>& key,
                 const std::optional<Data>& genericAttribute, const std::optional<std::string>& label,
                 const std::optional<std::string>& comment, Error* error = nullptr);
    // True also when there was nothing to delete; a missing key is refused.
    bool removeItemForKey(const std::optional<std::string>& key, Error* error = nullptr);
    bool removeAllItems(Error* error = nullptr);

    std::optional<std::string> objectForKeyedSubscript(const std::string& key) { return stringForKey(key); }
    void setObject_forKeyedSubscript(const std::optional<std::string>& string, const std::string& key) {
        setString(string, key);
    }

    std::vector<std::string> allKeys();
    // One dictionary per item: "class", "service"/"accessGroup" or
    // "server"/"protocol"/"authenticationType", "key", "value" (text, or
    // data when the bytes are not UTF-8), "accessibility", "synchronizable".
    std::vector<Value> allItems();

    bool synchronize() { return true; }
    bool synchronizeWithError(Error*) { return true; }

    // "(" and one line per item indented by four blanks, then ")"; "()" when empty.
    std::string description();

    // Class forms: a store for the service (the default when none) and
    // group, then the instance operation. A missing key is refused.
    static std::optional<std::string> stringForKey_service_accessGroup(const std::optional<std::string>& key,
                                                                        const std::optional<std::string>& service,
                                                                        const std::optional<std::string>& accessGroup,
                                                                        Error* error = nullptr);
    static std::optional<Data> dataForKey_service_accessGroup(const std::optional<std::string>& key,
                                                              const std::optional<std::string>& service,
                                                              const std::optional<std::string>& accessGroup,
                                                              Error* error = nullptr);
    static bool setString_forKey_service_accessGroup(const std::optional<std::string>& string,
                                                     const std::optional<std::string>& key,
                                                     const std::optional<std::string>& service,
                                                     const std::optional<std::string>& accessGroup,
                                                     const std::optional<Data>& genericAttribute = {},
                                                     Error* error = nullptr);
    static bool setData_forKey_service_accessGroup(const std::optional<Data>& data,
                                                   const std::optional<std::string>& key,
                                                   const std::optional<std::string>& service,
                                                   const std::optional<std::string>& accessGroup,
                                                   const std::optional<Data>& genericAttribute = {},
                                                   Error* error = nullptr);
    static bool removeItemForKey_service_accessGroup(const std::optional<std::string>& key,
                                                     const std::optional<std::string>& service,
                                                     const std::optional<std::string>& accessGroup,
                                                     Error* error = nullptr);
    static bool removeAllItemsForService_accessGroup(const std::optional<std::string>& service,
                                                     const std::optional<std::string>& accessGroup,
                                                     Error* error = nullptr);
    // Every item of a class in the application's keychain: {"service" or
    // "server", "key"} per item, or the full descriptions.
    static std::vector<Value> allKeysWithItemClass(KXKeyChainStoreItemClass itemClass);
    static std::vector<Value> allItemsWithItemClass(KXKeyChainStoreItemClass itemClass);

    // ---- Shared web credentials: the passwords the user's browsers keep
    // for a site (webcredentials:: in the platform layer), for the host of
    // the store's server. Completions run on the main queue; a store without
    // a server gets the argument error "the server property must not to be
    // nil, ...". The platform's errors are handed on unchanged.
    using SharedPasswordCompletion = std::function<void(std::optional<std::string> account,
                                                        std::optional<std::string> password,
                                                        std::optional<Error> error)>;
    using PasswordCompletion = std::function<void(std::optional<std::string> password, std::optional<Error> error)>;
    using ErrorCompletion = std::function<void(std::optional<Error> error)>;
    // Each credential a dictionary {"server", "account", "password"}.
    using CredentialsCompletion = std::function<void(std::vector<Value> credentials, std::optional<Error> error)>;

    // The first credential's account and password (the one saved last).
    void sharedPasswordWithCompletion(SharedPasswordCompletion completion);
    void sharedPasswordForAccount(const std::optional<std::string>& account, PasswordCompletion completion);
    // No password removes the credential.
    void setSharedPassword(const std::optional<std::string>& password, const std::optional<std::string>& account,
                           ErrorCompletion completion);
    void removeSharedPasswordForAccount(const std::optional<std::string>& account, ErrorCompletion completion);
    // Every site the application declares, or one site (and one account).
    static void requestSharedWebCredentialWithCompletion(CredentialsCompletion completion);
    static void requestSharedWebCredentialForDomain(const std::optional<std::string>& domain,
                                                    const std::optional<std::string>& account,
                                                    CredentialsCompletion completion);
    // "xxx-xxx-xxx-xxx" from the kernel's random bytes.
    static std::string generatePassword();

private:
    // The server's host, or the argument error for a store without a server.
    std::optional<std::string> sharedCredentialHost(Error* error) const;
    keychain::Query baseQuery() const;
    std::vector<Value> items(Error* error);
    static Error argumentError(const std::string& message);
    static Error conversionError(const std::string& message);
    static Error securityError(long status);

    KXKeyChainStoreItemClass itemClass_ = KXKeyChainStoreItemClass::GenericPassword;
    std::string service_;
    std::optional<std::string> accessGroup_;
    std::optional<NSURL> server_;
    KXKeyChainStoreProtocolType protocolType_ = 0;
    KXKeyChainStoreAuthenticationType authenticationType_ = 0;
    KXKeyChainStoreAccessibility accessibility_ = 2;
    int64_t authenticationPolicy_ = 0;
    bool synchronizable_ = false;
    std::string authenticationPrompt_;
};
