// The keychain store's shared web credentials, on the platform's.
#include "plugin/iOS/RAZ5Orered/KXKeyChainStore.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/security/SharedWebCredentials.h"

namespace {

constexpr const char* kServerMissing =
    "the server property must not to be nil, should use 'keyChainStoreWithServer:protocolType:' initializer to "
    "instantiate keychain store";

Value dictionary(const webcredentials::Credential& c) {
    return Value::dict({{"server", c.server}, {"account", c.account}, {"password", c.password}});
}

void logError(const Error& error) {
    NSLog("error: [%ld] %s", error.code, error.localizedDescription().c_str());
}

// A refusal made before the platform is asked still reaches the caller the
// way every answer does: later, on the main queue.
void later(std::function<void()> block) { DispatchQueue::main()->async(std::move(block)); }

}  // namespace

std::optional<std::string> KXKeyChainStore::sharedCredentialHost(Error* error) const {
    if (!server_) {
        *error = argumentError(kServerMissing);
        return std::nullopt;
    }
    return server_->host();
}

void KXKeyChainStore::requestSharedWebCredentialForDomain(const std::optional<std::string>& domain,
                                                          const std::optional<std::string>& account,
                                                          CredentialsCompletion completion) {
    webcredentials::requestSharedWebCredential(
        domain, account,
        [completion = std::move(completion)](std::vector<webcredentials::Credential> found,
                                             std::optional<Error> error) {
            if (error) logError(*error);
            std::vector<Value> credentials;
            for (auto& c : found) credentials.push_back(dictionary(c));
            if (completion) completion(std::move(credentials), std::move(error));
        });
}

void KXKeyChainStore::requestSharedWebCredentialWithCompletion(CredentialsCompletion completion) {
    requestSharedWebCredentialForDomain(std::nullopt, std::nullopt, std::move(completion));
}

void KXKeyChainStore::sharedPasswordWithCompletion(SharedPasswordCompletion completion) {
    Error error;
    auto host = sharedCredentialHost(&error);
    if (!host) return later([completion, error] {
        if (completion) completion(std::nullopt, std::nullopt, error);
    });
    requestSharedWebCredentialForDomain(
        *host, std::nullopt, [completion](std::vector<Value> credentials, std::optional<Error> error) {
            if (!completion) return;
            if (credentials.empty()) return completion(std::nullopt, std::nullopt, error);
            completion(credentials[0].str("account"), credentials[0].str("password"), error);
        });
}

void KXKeyChainStore::sharedPasswordForAccount(const std::optional<std::string>& account,
                                               PasswordCompletion completion) {
    Error error;
    auto host = sharedCredentialHost(&error);
    if (!host) return later([completion, error] {
        if (completion) completion(std::nullopt, error);
    });
    requestSharedWebCredentialForDomain(
        *host, account, [completion](std::vector<Value> credentials, std::optional<Error> error) {
            if (!completion) return;
            if (credentials.empty()) return completion(std::nullopt, error);
            completion(credentials[0].str("password"), error);
        });
}

void KXKeyChainStore::setSharedPassword(const std::optional<std::string>& password,
                                        const std::optional<std::string>& account, ErrorCompletion completion) {
    Error error;
    auto host = sharedCredentialHost(&error);
    if (!host) return later([completion, error] {
        if (completion) completion(error);
    });
    webcredentials::addSharedWebCredential(*host, account, password, [completion](std::optional<Error> error) {
        if (error) logError(*error);
        if (completion) completion(std::move(error));
    });
}

void KXKeyChainStore::removeSharedPasswordForAccount(const std::optional<std::string>& account,
                                                     ErrorCompletion completion) {
    setSharedPassword(std::nullopt, account, std::move(completion));
}

std::string KXKeyChainStore::generatePassword() { return webcredentials::createSharedWebCredentialPassword(); }
