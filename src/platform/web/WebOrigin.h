#pragma once
// The origin of a page as the engine compares them: scheme, host and port.
// A web view's script channels and user scripts can be kept to a set of
// origins (WKUserContentController::setAllowedOrigins).

#include <optional>
#include <string>

#include "platform/foundation/NSURL.h"

class WebOrigin {
public:
    // The origin of an address with a host ("https://a.example:8443/x" is
    // https, a.example, 8443); "about:blank" is an origin of its own (a page
    // loaded as text without a base address); nullopt for anything else.
    static std::optional<WebOrigin> of(const NSURL& url);

    // The address lies in this origin (scheme and host compared without
    // case, the port with the scheme's default filled in).
    bool contains(const NSURL& url) const;
    bool contains(const std::string& url) const;
    // The engine's allow-list pattern ("https://a.example/*"); the engine's
    // patterns name no port, so a pattern covers every port of its host.
    // nullopt for "about:blank", which no pattern can name.
    std::optional<std::string> userScriptPattern() const;
    // "https://a.example:8443", "local://game", "about:blank".
    std::string text() const;

    bool operator==(const WebOrigin& o) const = default;

private:
    std::string scheme_, host_;
    int port_ = -1;  // -1: the scheme's own, or none
};
