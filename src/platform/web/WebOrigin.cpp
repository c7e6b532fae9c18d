#include "platform/web/WebOrigin.h"

#include "platform/foundation/Strings.h"

namespace {

int defaultPort(const std::string& scheme) {
    if (scheme == "http" || scheme == "ws") return 80;
    if (scheme == "https" || scheme == "wss") return 443;
    return -1;
}

bool isBlank(const NSURL& url) { return strings::toLower(url.absoluteString()) == "about:blank"; }

}  // namespace

std::optional<WebOrigin> WebOrigin::of(const NSURL& url) {
    WebOrigin o;
    if (isBlank(url)) {
        o.scheme_ = "about";
        o.host_ = "blank";
        return o;
    }
    if (url.scheme().empty() || url.host().empty()) return std::nullopt;
    o.scheme_ = strings::toLower(url.scheme());
    o.host_ = strings::toLower(url.host());
    o.port_ = url.port().value_or(defaultPort(o.scheme_));
    return o;
}

bool WebOrigin::contains(const NSURL& url) const {
    auto other = of(url);
    return other && *other == *this;
}

bool WebOrigin::contains(const std::string& url) const {
    auto parsed = NSURL::URLWithString(url);
    return parsed && contains(*parsed);
}

std::optional<std::string> WebOrigin::userScriptPattern() const {
    if (scheme_ == "about") return std::nullopt;
    return scheme_ + "://" + host_ + "/*";
}

std::string WebOrigin::text() const {
    if (scheme_ == "about") return "about:blank";
    std::string out = scheme_ + "://" + host_;
    if (port_ >= 0 && port_ != defaultPort(scheme_)) out += ":" + std::to_string(port_);
    return out;
}
