#include "platform/foundation/MIMEType.h"

#include <gio/gio.h>

namespace mime {

std::string typeForFileName(std::string_view name) {
    constexpr const char* kUnknown = "application/octet-stream";
    std::string text(name);
    // "Uncertain" only says the content might refine the answer (text/html
    // may be any text); the name's type is what we want.
    gchar* type = g_content_type_guess(text.c_str(), nullptr, 0, nullptr);
    gchar* mimeType = type ? g_content_type_get_mime_type(type) : nullptr;
    std::string out = mimeType ? mimeType : kUnknown;
    g_free(mimeType);
    g_free(type);
    return out;
}

}  // namespace mime
