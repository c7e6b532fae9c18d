#pragma once
// The bundle's extra trusted CAs ("KorvelExtraCAFile", as the network layer
// reads it) for the web view's own loads: a page whose certificate chain
// ends at one of them, valid now and for the page's host, is trusted as it
// is by every other HTTPS request of the program.

typedef struct _GTlsCertificate GTlsCertificate;

namespace webengine {

// True when the bundle names an extra CA file and `certificate` verifies
// against it for the host of `uri`. Any failure (no file, an unreadable
// one, a wrong host, an expired certificate) is false.
bool trustedByExtraCA(GTlsCertificate* certificate, const char* uri);

}  // namespace webengine
