#pragma once
// Shared web credentials: the passwords the user's browsers keep for web
// sites, which an application may read and write for the sites it is
// associated with. On this desktop that store is the Secret Service on the
// session bus (the one the desktop's browsers use too): each credential is
// an item with the site's host as "server", the account as "user" and
// "https" as "protocol".
//
// - Completions always run on the main queue; the work runs on a serial
//   queue of its own, so operations take effect in the order they were
//   asked for.
// - Only the sites the main bundle declares (Info.plist key
//   "KorvelWebCredentialDomains", an array of host names) can be read or
//   written; any other site is refused with errSecMissingEntitlement. A
//   request without a domain covers every declared site.
// - Refused before anything is asked of the Secret Service (errSecParam): a
//   domain that is not a lower- or upper-case ASCII host name of at least two
//   labels (each 1-63 letters, digits or inner hyphens, 253 bytes in all, the
//   last label not all digits, so no address literal); an account that is
//   empty, longer than 256 bytes, not UTF-8, or holds a control character, a
//   line or paragraph separator or a bidirectional control; a password that is
//   empty, longer than 4096 bytes, not UTF-8 or holds a NUL.
// - Without a session bus, or without a Secret Service on it, every
//   operation fails at once with errSecNotAvailable: the bus is never
//   started on demand (no autolaunch). A collection the user must unlock is
//   unlocked through the Secret Service's own prompt; a prompt that cannot
//   be shown fails the operation.
// - Errors are in keychain::ErrorDomain with the platform's status codes;
//   the Secret Service's own message is kept under "NSDebugDescription".

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/security/Keychain.h"

namespace webcredentials {

inline constexpr long errSecUserCanceled = -128;
inline constexpr long errSecInternalComponent = -2070;
inline constexpr long errSecNotAvailable = -25291;       // no keychain (no Secret Service) to ask
inline constexpr long errSecNoDefaultKeychain = -25307;  // nowhere to store a new item
inline constexpr long errSecMissingEntitlement = -34018; // the site is not one of the application's

// The Info.plist key listing the sites the application is associated with.
inline constexpr const char* kAssociatedDomainsKey = "KorvelWebCredentialDomains";

struct Credential {
    std::string server;  // the site's host, lower case
    std::string account;
    std::string password;
    bool operator==(const Credential&) const = default;
};

using RequestCompletion = std::function<void(std::vector<Credential> credentials, std::optional<Error> error)>;
using AddCompletion = std::function<void(std::optional<Error> error)>;

// The credentials of `fqdn` (every declared site when absent), only those of
// `account` when given. The most recently changed come first within a site;
// none found is errSecItemNotFound with an empty list.
void requestSharedWebCredential(const std::optional<std::string>& fqdn, const std::optional<std::string>& account,
                                RequestCompletion completion);

// Stores (or replaces) the password of `account` at `fqdn`; without a
// password the credential is removed (no error when there was none).
void addSharedWebCredential(const std::optional<std::string>& fqdn, const std::optional<std::string>& account,
                            const std::optional<std::string>& password, AddCompletion completion);

// A strong password: four groups of three characters joined by "-"
// ("xK7-mPq-2dR-vhN"), with at least one upper-case letter, one lower-case
// letter and one digit, letters and digits that are easily confused left
// out; drawn from the kernel's random bytes.
std::string createSharedWebCredentialPassword();

// ---- The checks above, for callers and tests.
// The host in lower case, or nullopt when `domain` is not an acceptable host name.
std::optional<std::string> normalizedDomain(std::string_view domain);
bool isAcceptableAccount(std::string_view account);
bool isAcceptablePassword(std::string_view password);
// The declared sites of the main bundle, normalised; entries that are not
// host names are left out.
std::vector<std::string> associatedDomains();
// A stored item as a credential of `host`: nullopt when the item is of
// another site or its account or password is not acceptable (items in the
// shared store may have been written by anyone).
std::optional<Credential> credentialFromItem(const std::string& host, std::string_view server,
                                             std::string_view user, std::string_view secret);
// A status code as the platform's error, with its standard message.
Error makeError(long status, const std::string& debugDescription = "");

}  // namespace webcredentials
