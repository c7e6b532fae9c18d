#include "platform/web/ExtraTrust.h"

#include <gio/gio.h>

#include "platform/foundation/NSURL.h"
#include "platform/net/URLSession.h"

namespace webengine {

bool trustedByExtraCA(GTlsCertificate* certificate, const char* uri) {
    std::string ca = URLSessionConfiguration::defaultConfiguration().extraCAFile;
    auto url = uri ? NSURL::URLWithString(uri) : std::nullopt;
    if (ca.empty() || !certificate || !url || url->host().empty()) return false;
    GError* error = nullptr;
    GTlsDatabase* database = g_tls_file_database_new(ca.c_str(), &error);
    if (!database) {
        g_clear_error(&error);
        return false;
    }
    GSocketConnectable* identity = g_network_address_new(url->host().c_str(), 0);
    GTlsCertificateFlags problems =
        g_tls_database_verify_chain(database, certificate, G_TLS_DATABASE_PURPOSE_AUTHENTICATE_SERVER, identity,
                                    nullptr, G_TLS_DATABASE_VERIFY_NONE, nullptr, &error);
    g_clear_error(&error);
    g_object_unref(identity);
    g_object_unref(database);
    return problems == 0;
}

}  // namespace webengine
