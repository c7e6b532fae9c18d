#include "platform/security/SharedWebCredentials.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/security/Cipher.h"
#include "platform/security/SecretServiceStore.h"

namespace webcredentials {

namespace {

constexpr size_t kMaxDomainBytes = 253;
constexpr size_t kMaxLabelBytes = 63;
constexpr size_t kMaxAccountBytes = 256;
constexpr size_t kMaxPasswordBytes = 4096;

// One queue for every operation: a write is seen by the requests after it.
std::shared_ptr<DispatchQueue> workQueue() {
    static auto* queue =
        new std::shared_ptr<DispatchQueue>(DispatchQueue::serial("com.korvel.security.webcredentials"));
    return *queue;
}

bool isLabelCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

bool isAcceptableLabel(std::string_view label) {
    if (label.empty() || label.size() > kMaxLabelBytes) return false;
    if (label.front() == '-' || label.back() == '-') return false;
    return std::all_of(label.begin(), label.end(), isLabelCharacter);
}

// Characters that make an account name lie about itself when shown: control
// characters, line breaks of any kind, and the bidirectional controls that
// reorder what follows them.
bool isHostileCharacter(char16_t c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029 || c == 0x200e || c == 0x200f ||
           (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

// From the kernel's generator; OpenSSL's (seeded by it) only where the call
// itself is missing.
Data kernelRandomBytes(size_t count) {
    Data bytes(count);
    size_t filled = 0;
    while (filled < count) {
        ssize_t n = getrandom(bytes.data() + filled, count - filled, 0);
        if (n > 0) filled += size_t(n);
        else if (n < 0 && errno != EINTR) return cipher::randomBytes(count);
    }
    return bytes;
}

std::string statusMessage(long status) {
    switch (status) {
    case keychain::errSecParam: return "One or more parameters passed to a function were not valid.";
    case keychain::errSecItemNotFound: return "The specified item could not be found in the keychain.";
    case keychain::errSecInteractionNotAllowed: return "User interaction is not allowed.";
    case errSecUserCanceled: return "User canceled the operation.";
    case errSecInternalComponent: return "An internal component failed.";
    case errSecNotAvailable: return "No keychain is available.";
    case errSecNoDefaultKeychain: return "A default keychain could not be found.";
    case errSecMissingEntitlement: return "A required entitlement isn't present.";
    default: return "Security error has occurred.";
    }
}

void deliver(RequestCompletion completion, std::vector<Credential> found, std::optional<Error> error) {
    if (!completion) return;
    DispatchQueue::main()->async(
        [completion = std::move(completion), found = std::move(found), error = std::move(error)]() mutable {
            completion(std::move(found), std::move(error));
        });
}

void deliver(AddCompletion completion, std::optional<Error> error) {
    if (!completion) return;
    DispatchQueue::main()->async(
        [completion = std::move(completion), error = std::move(error)]() mutable { completion(std::move(error)); });
}

// The sites a request may look at: the one asked for, or every declared one.
std::optional<std::vector<std::string>> sitesFor(const std::optional<std::string>& fqdn, Error* error) {
    auto declared = associatedDomains();
    if (!fqdn) {
        if (declared.empty()) *error = makeError(errSecMissingEntitlement, "the application declares no site");
        return declared.empty() ? std::nullopt : std::optional(declared);
    }
    auto host = normalizedDomain(*fqdn);
    if (!host) {
        *error = makeError(keychain::errSecParam, "the domain is not a host name");
        return std::nullopt;
    }
    if (std::find(declared.begin(), declared.end(), *host) == declared.end()) {
        *error = makeError(errSecMissingEntitlement, "the site is not one the application declares");
        return std::nullopt;
    }
    return std::vector<std::string>{*host};
}

// Newest first, then by account, so that "the first credential" is the
// password the user saved last.
std::vector<Credential> credentialsOf(const std::string& host, std::vector<secretservice::StoredItem> items) {
    std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
        return a.modified != b.modified ? a.modified > b.modified : a.user < b.user;
    });
    std::vector<Credential> out;
    for (auto& item : items) {
        if (!item.hasSecret) continue;  // left locked by the user
        auto credential = credentialFromItem(host, item.server, item.user, item.secret);
        if (!credential) continue;
        bool seen = std::any_of(out.begin(), out.end(), [&](auto& c) { return c.account == credential->account; });
        if (!seen) out.push_back(std::move(*credential));
    }
    return out;
}

}  // namespace

Error makeError(long status, const std::string& debugDescription) {
    Error e = Error::withDescription(keychain::ErrorDomain, status, statusMessage(status));
    if (!debugDescription.empty()) e.userInfo.set("NSDebugDescription", debugDescription);
    return e;
}

std::optional<std::string> normalizedDomain(std::string_view domain) {
    if (domain.empty() || domain.size() > kMaxDomainBytes) return std::nullopt;
    std::string host = strings::toLower(domain);
    auto labels = strings::split(host, ".");
    if (labels.size() < 2) return std::nullopt;
    for (auto& label : labels)
        if (!isAcceptableLabel(label)) return std::nullopt;
    const auto& top = labels.back();
    if (std::all_of(top.begin(), top.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
    return host;
}

bool isAcceptableAccount(std::string_view account) {
    if (account.empty() || account.size() > kMaxAccountBytes || !strings::isValidUTF8(account)) return false;
    auto units = strings::toUTF16(account);
    return std::none_of(units.begin(), units.end(), isHostileCharacter);
}

bool isAcceptablePassword(std::string_view password) {
    return !password.empty() && password.size() <= kMaxPasswordBytes && strings::isValidUTF8(password) &&
           password.find('\0') == std::string_view::npos;
}

std::vector<std::string> associatedDomains() {
    std::vector<std::string> out;
    const Value& listed = NSBundle::mainBundle().objectForInfoDictionaryKey(kAssociatedDomainsKey);
    if (!listed.isArray()) return out;
    for (auto& entry : *listed.getArray()) {
        auto host = entry.getString() ? normalizedDomain(*entry.getString()) : std::nullopt;
        if (!host) {
            NSLog("%s: %s is not a host name; left out", kAssociatedDomainsKey, entry.toJSON().c_str());
            continue;
        }
        if (std::find(out.begin(), out.end(), *host) == out.end()) out.push_back(*host);
    }
    return out;
}

std::optional<Credential> credentialFromItem(const std::string& host, std::string_view server, std::string_view user,
                                             std::string_view secret) {
    auto itemHost = normalizedDomain(server);
    if (!itemHost || *itemHost != host) return std::nullopt;
    if (!isAcceptableAccount(user) || !isAcceptablePassword(secret)) return std::nullopt;
    return Credential{host, std::string(user), std::string(secret)};
}

void requestSharedWebCredential(const std::optional<std::string>& fqdn, const std::optional<std::string>& account,
                                RequestCompletion completion) {
    Error refusal;
    auto sites = sitesFor(fqdn, &refusal);
    if (!sites) return deliver(std::move(completion), {}, refusal);
    if (account && !isAcceptableAccount(*account))
        return deliver(std::move(completion), {}, makeError(keychain::errSecParam, "the account is not acceptable"));
    workQueue()->async([sites = std::move(*sites), account, completion = std::move(completion)]() mutable {
        std::vector<Credential> found;
        for (auto& host : sites) {
            Error error;
            auto items = secretservice::search(host, account, &error);
            if (!items) return deliver(std::move(completion), {}, error);
            auto some = credentialsOf(host, std::move(*items));
            found.insert(found.end(), some.begin(), some.end());
        }
        if (found.empty()) return deliver(std::move(completion), {}, makeError(keychain::errSecItemNotFound));
        deliver(std::move(completion), std::move(found), std::nullopt);
    });
}

void addSharedWebCredential(const std::optional<std::string>& fqdn, const std::optional<std::string>& account,
                            const std::optional<std::string>& password, AddCompletion completion) {
    Error refusal;
    if (!fqdn) return deliver(std::move(completion), makeError(keychain::errSecParam, "no domain"));
    auto sites = sitesFor(fqdn, &refusal);
    if (!sites) return deliver(std::move(completion), refusal);
    if (!account || !isAcceptableAccount(*account))
        return deliver(std::move(completion), makeError(keychain::errSecParam, "the account is not acceptable"));
    if (password && !isAcceptablePassword(*password))
        return deliver(std::move(completion), makeError(keychain::errSecParam, "the password is not acceptable"));
    auto host = sites->front();
    workQueue()->async([host, account = *account, password, completion = std::move(completion)]() mutable {
        Error error;
        bool ok = password ? secretservice::store(host, account, *password, &error)
                           : secretservice::clear(host, account, &error);
        deliver(std::move(completion), ok ? std::nullopt : std::optional(error));
    });
}

std::string createSharedWebCredentialPassword() {
    // No 0/O/o, 1/l/I: the password may be read off one screen and typed on another.
    static constexpr std::string_view alphabet = "abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    static constexpr unsigned limit = 256 - 256 % alphabet.size();  // no modulo bias
    while (true) {
        std::string chars;
        while (chars.size() < 12) {
            Data bytes = kernelRandomBytes(32);
            for (size_t i = 0; i < bytes.size() && chars.size() < 12; ++i)
                if (bytes[i] < limit) chars.push_back(char(alphabet[bytes[i] % alphabet.size()]));
        }
        bool upper = std::any_of(chars.begin(), chars.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
        bool lower = std::any_of(chars.begin(), chars.end(), [](char c) { return c >= 'a' && c <= 'z'; });
        bool digit = std::any_of(chars.begin(), chars.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (upper && lower && digit)
            return chars.substr(0, 3) + "-" + chars.substr(3, 3) + "-" + chars.substr(6, 3) + "-" + chars.substr(9, 3);
    }
}

}  // namespace webcredentials
