#include "platform/security/SecretServiceStore.h"

#include <libsecret/secret.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>

#include "platform/security/SharedWebCredentials.h"

namespace webcredentials::secretservice {

namespace {

struct GObjectUnref {
    void operator()(gpointer p) const { g_object_unref(p); }
};
struct HashTableUnref {
    void operator()(GHashTable* t) const { g_hash_table_unref(t); }
};
struct SecretValueUnref {
    void operator()(SecretValue* v) const { secret_value_unref(v); }
};
using ServicePtr = std::unique_ptr<SecretService, GObjectUnref>;
using AttributesPtr = std::unique_ptr<GHashTable, HashTableUnref>;
using SecretValuePtr = std::unique_ptr<SecretValue, SecretValueUnref>;

// The bus library would otherwise start a bus of its own (autolaunch) when
// the environment names none, leaving a daemon behind.
bool sessionBusKnown() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address) return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return false;
    struct stat st {};
    return stat((std::string(runtime) + "/bus").c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

long statusFor(const GError* e) {
    if (e->domain == G_IO_ERROR && e->code == G_IO_ERROR_CANCELLED) return errSecUserCanceled;
    if (e->domain == SECRET_ERROR && e->code == SECRET_ERROR_IS_LOCKED) return keychain::errSecInteractionNotAllowed;
    if (e->domain == G_DBUS_ERROR) {
        switch (e->code) {
        case G_DBUS_ERROR_UNKNOWN_METHOD:
        case G_DBUS_ERROR_UNKNOWN_OBJECT: return errSecNoDefaultKeychain;  // no collection to store into
        case G_DBUS_ERROR_ACCESS_DENIED:
        case G_DBUS_ERROR_AUTH_FAILED:
        case G_DBUS_ERROR_INVALID_ARGS: return errSecInternalComponent;
        default: return errSecNotAvailable;  // no service, no reply, no bus
        }
    }
    // Connecting to the bus, or a bus that went away.
    if (e->domain == G_IO_ERROR || e->domain == G_SPAWN_ERROR || e->domain == G_SPAWN_EXIT_ERROR)
        return errSecNotAvailable;
    return errSecInternalComponent;
}

Error errorFrom(GError* e) {
    Error out = makeError(statusFor(e), e->message ? e->message : "");
    g_error_free(e);
    return out;
}

ServicePtr open(Error* error) {
    if (!sessionBusKnown()) {
        if (error) *error = makeError(errSecNotAvailable, "no session bus");
        return nullptr;
    }
    GError* e = nullptr;
    // A fresh proxy each time: a Secret Service that restarted since is found again.
    ServicePtr service(
        secret_service_open_sync(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_OPEN_SESSION, nullptr, &e));
    if (!service) {
        Error err = e ? errorFrom(e) : makeError(errSecNotAvailable);
        if (error) *error = err;
    }
    return service;
}

// Borrowed strings: the table lives no longer than the call it is made for.
AttributesPtr attributes(const std::string& host, const std::optional<std::string>& user) {
    AttributesPtr table(g_hash_table_new(g_str_hash, g_str_equal));
    g_hash_table_insert(table.get(), (gpointer) "server", (gpointer)host.c_str());
    g_hash_table_insert(table.get(), (gpointer) "protocol", (gpointer) "https");
    if (user) g_hash_table_insert(table.get(), (gpointer) "user", (gpointer)user->c_str());
    return table;
}

std::string attribute(GHashTable* table, const char* name) {
    auto* v = static_cast<const char*>(g_hash_table_lookup(table, name));
    return v ? v : "";
}

StoredItem describe(SecretItem* item) {
    StoredItem out;
    AttributesPtr attrs(secret_item_get_attributes(item));
    if (attrs) {
        out.server = attribute(attrs.get(), "server");
        out.user = attribute(attrs.get(), "user");
    }
    SecretValuePtr value(secret_item_get_secret(item));
    if (value) {
        gsize length = 0;
        const gchar* bytes = secret_value_get(value.get(), &length);
        out.secret.assign(bytes, length);
        out.hasSecret = true;
    }
    out.modified = secret_item_get_modified(item);
    return out;
}

}  // namespace

std::optional<std::vector<StoredItem>> search(const std::string& host, const std::optional<std::string>& user,
                                              Error* error) {
    auto service = open(error);
    if (!service) return std::nullopt;
    GError* e = nullptr;
    auto flags = SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS);
    GList* found = secret_service_search_sync(service.get(), SECRET_SCHEMA_COMPAT_NETWORK,
                                              attributes(host, user).get(), flags, nullptr, &e);
    if (e) {
        g_list_free_full(found, g_object_unref);
        Error err = errorFrom(e);
        if (error) *error = err;
        return std::nullopt;
    }
    std::vector<StoredItem> items;
    for (GList* l = found; l; l = l->next) items.push_back(describe(SECRET_ITEM(l->data)));
    g_list_free_full(found, g_object_unref);
    return items;
}

bool store(const std::string& host, const std::string& user, const std::string& secret, Error* error) {
    auto service = open(error);
    if (!service) return false;
    SecretValuePtr value(secret_value_new(secret.data(), gssize(secret.size()), "text/plain"));
    std::string label = host + " (" + user + ")";
    GError* e = nullptr;
    bool ok = secret_service_store_sync(service.get(), SECRET_SCHEMA_COMPAT_NETWORK, attributes(host, user).get(),
                                        SECRET_COLLECTION_DEFAULT, label.c_str(), value.get(), nullptr, &e);
    if (!ok) {
        Error err = e ? errorFrom(e) : makeError(errSecInternalComponent);
        if (error) *error = err;
    }
    return ok;
}

bool clear(const std::string& host, const std::string& user, Error* error) {
    auto service = open(error);
    if (!service) return false;
    GError* e = nullptr;
    // False without an error means nothing matched: that is no failure.
    secret_service_clear_sync(service.get(), SECRET_SCHEMA_COMPAT_NETWORK, attributes(host, user).get(), nullptr, &e);
    if (!e) return true;
    Error err = errorFrom(e);
    if (error) *error = err;
    return false;
}

}  // namespace webcredentials::secretservice
