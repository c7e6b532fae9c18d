#pragma once
// The Secret Service (libsecret) behind the shared web credentials: blocking
// calls, made only on the credentials' own queue. Items use the network
// password schema with "server", "user" and "protocol" = "https".
//
// Nothing here starts a session bus: without one (no DBUS_SESSION_BUS_ADDRESS
// and no bus socket in XDG_RUNTIME_DIR) every call fails with
// errSecNotAvailable before the bus library is asked.

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"

namespace webcredentials::secretservice {

struct StoredItem {
    std::string server, user;
    std::string secret;  // empty when the item stayed locked
    bool hasSecret = false;
    uint64_t modified = 0;  // seconds since 1970
};

// Items of `host` (and `user` when given); nullopt with the error on failure.
std::optional<std::vector<StoredItem>> search(const std::string& host, const std::optional<std::string>& user,
                                              Error* error);
// Stores or replaces the item of host and user in the default collection.
bool store(const std::string& host, const std::string& user, const std::string& secret, Error* error);
// Removes the items of host and user; true also when there was none.
bool clear(const std::string& host, const std::string& user, Error* error);

}  // namespace webcredentials::secretservice
