#pragma once
// The MIME type of a file from its name, as the desktop knows it (the
// shared MIME database through GIO): "text/css" for "a.css", "font/woff2"
// for "f.woff2". Only the name is looked at, never the content, so the
// answer does not depend on what a file happens to begin with.

#include <string>
#include <string_view>

namespace mime {

// "application/octet-stream" when the name says nothing known. Any thread.
std::string typeForFileName(std::string_view name);

}  // namespace mime
