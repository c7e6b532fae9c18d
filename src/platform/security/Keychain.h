#pragma once
// The platform keychain: password items kept in one SQLite file (mode 0600)
// in the application home. Items are generic passwords (found by service
// and account) or internet passwords (found by server, port, protocol,
// authentication type and account). Safe to use from any thread and from
// several processes sharing a home. On a read-only home an existing file is
// read; writes then fail.
//
// Failures are `Error`s in the domain "NSOSStatusErrorDomain" whose codes
// are the platform's status codes (the constants below), so a store built
// on top can hand them on unchanged.

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

struct sqlite3;

namespace keychain {

inline constexpr const char* ErrorDomain = "NSOSStatusErrorDomain";
inline constexpr long errSecSuccess = 0;
inline constexpr long errSecParam = -50;                    // an argument makes no sense
inline constexpr long errSecIO = -36;                       // the file cannot be read or written
inline constexpr long errSecDuplicateItem = -25299;         // add: the item already exists
inline constexpr long errSecItemNotFound = -25300;          // nothing matches
inline constexpr long errSecInteractionNotAllowed = -25308;
inline constexpr long errSecDecode = -26275;                // stored data cannot be read

enum class ItemClass { GenericPassword = 1, InternetPassword = 2 };

// Accessibility codes as the platform's: 1 when unlocked, 2 after first
// unlock, 3 always, 4-7 the "this device only" variants. This keychain is
// never locked, so they are kept as attributes only.
struct Item {
    ItemClass itemClass = ItemClass::GenericPassword;
    std::string account;
    std::string accessGroup;
    // Generic passwords.
    std::string service;
    // Internet passwords.
    std::string server;
    int port = 0;
    int protocol = 0;
    int authenticationType = 0;

    Data data;
    std::string label;
    std::string comment;
    Data genericAttribute;
    int accessibility = 2;
    bool synchronizable = false;
    Date created{};
    Date modified{};
};

// What to match: unset fields match anything.
struct Query {
    ItemClass itemClass = ItemClass::GenericPassword;
    std::optional<std::string> service, account, accessGroup, server;
    std::optional<int> port, protocol, authenticationType;
    std::optional<bool> synchronizable;

    static Query generic(std::string service, std::optional<std::string> account = std::nullopt) {
        Query q;
        q.service = std::move(service);
        q.account = std::move(account);
        return q;
    }
};

// Attributes to change in update(); unset fields stay as they are.
struct Changes {
    std::optional<Data> data;
    std::optional<std::string> label, comment;
    std::optional<Data> genericAttribute;
    std::optional<int> accessibility;
};

// Services the program itself keeps items under (device ids, a saved
// password). Each owner reserves its service where it names it (at namespace
// scope, so before anything runs); stores acting for the page refuse
// reserved services, so the page can neither read, replace nor delete
// those items. reserveService returns true, for use as an initialiser.
bool reserveService(std::string service);
bool isReservedService(std::string_view service);

class Keychain {
public:
    // The application's keychain: "keychain.sqlite" in AppHome::root(),
    // following the home when tests switch it.
    static Keychain& standard();
    explicit Keychain(std::filesystem::path file);
    ~Keychain();
    Keychain(const Keychain&) = delete;
    Keychain& operator=(const Keychain&) = delete;

    // Adds a new item; errSecDuplicateItem when one with the same identity
    // (class, account, group, synchronizable, and service or server, port,
    // protocol and authentication type) exists.
    bool add(const Item& item, Error* error = nullptr);
    // The first matching item; nullopt with errSecItemNotFound when none.
    std::optional<Item> find(const Query& query, Error* error = nullptr);
    // Every matching item (empty, without error, when none).
    std::vector<Item> list(const Query& query, Error* error = nullptr);
    // Changes every matching item; errSecItemNotFound when none.
    bool update(const Query& query, const Changes& changes, Error* error = nullptr);
    // Deletes every matching item; errSecItemNotFound when none.
    bool remove(const Query& query, Error* error = nullptr);

    // Convenience for generic passwords: add, or replace the data of, the
    // item for service and account.
    bool setData(const std::string& service, const std::string& account, const Data& data, Error* error = nullptr);
    std::optional<Data> data(const std::string& service, const std::string& account, Error* error = nullptr);

    const std::filesystem::path& file() const { return file_; }

    static Error makeError(long status, const std::string& message);

private:
    bool openLocked(Error* error);
    void closeLocked();
    bool openReadOnlyLocked();

    std::mutex mutex_;
    std::filesystem::path file_;
    sqlite3* db_ = nullptr;
};

}  // namespace keychain
