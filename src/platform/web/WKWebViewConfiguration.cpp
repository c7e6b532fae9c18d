#include "platform/web/WKWebViewConfiguration.h"

#include <set>

#include "platform/foundation/Strings.h"

bool WKWebViewConfiguration::setURLSchemeHandler(std::shared_ptr<WKURLSchemeHandler> handler, const std::string& scheme) {
    static const std::set<std::string> reserved = {"http", "https", "file", "data", "blob", "about", "ws", "wss", "javascript"};
    std::string s = strings::toLower(scheme);
    if (s.empty() || reserved.count(s)) return false;
    if (handler) schemeHandlers_[s] = std::move(handler);
    else schemeHandlers_.erase(s);
    return true;
}

std::shared_ptr<WKURLSchemeHandler> WKWebViewConfiguration::urlSchemeHandlerForURLScheme(const std::string& scheme) const {
    auto it = schemeHandlers_.find(strings::toLower(scheme));
    return it == schemeHandlers_.end() ? nullptr : it->second;
}
