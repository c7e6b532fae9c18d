#include "Classes/ViewController/TopFrameGuard.h"

#include "platform/device/URLOpener.h"
#include "platform/foundation/Strings.h"
#include "plugin/iOS/RAZ5Orered/PluginLog.h"

namespace {

constexpr const char* kGuardLogFile = "Classes/ViewController/MainViewController";

bool isWebAddress(const NSURL& url) {
    std::string scheme = strings::toLower(url.scheme());
    return (scheme == "http" || scheme == "https") && !url.host().empty();
}

// Schemes whose pages come with an answer the response policy sees.
bool getsAnAnswer(const std::string& scheme, const TopFrameGuard::ServedScheme& served) {
    return scheme == "http" || scheme == "https" || scheme == "data" || scheme == "blob" || (served && served(scheme));
}

// An address with a host of the game's origin ("about:blank" has none: a
// blank page takes the origin of whoever opened it, never the game's).
bool isGamePage(const NSURL& url, const WebOrigin& game) { return !url.host().empty() && game.contains(url); }

std::string withoutFragment(const std::string& address) { return address.substr(0, address.find('#')); }

}  // namespace

WKNavigationActionPolicy TopFrameGuard::decide(const WKNavigationAction& action, const WebOrigin& game,
                                               const ServedScheme& served) {
    const NSURL& url = action.request.URL;
    if (action.targetsNewWindow) {
        refuse(url, "a window is not opened from the game");
        return WKNavigationActionPolicy::Cancel;
    }
    std::string scheme = strings::toLower(url.scheme());
    bool innerFrameText = strings::toLower(withoutFragment(url.absoluteString())) == "about:srcdoc";
    if (action.requestedByApplication || isGamePage(url, game) || getsAnAnswer(scheme, served) || innerFrameText)
        return WKNavigationActionPolicy::Allow;
    refuse(url, "a page without an answer of its own is not shown in the game");
    return WKNavigationActionPolicy::Cancel;
}

WKNavigationResponsePolicy TopFrameGuard::decide(const WKNavigationResponse& response, const WebOrigin& game) {
    if (!response.forMainFrame || game.contains(response.URL)) return WKNavigationResponsePolicy::Allow;
    refuse(response.URL, "a page of another origin is not shown in the game");
    return WKNavigationResponsePolicy::Cancel;
}

void TopFrameGuard::refuse(const NSURL& url, const char* what) {
    bool web = isWebAddress(url);
    std::string address = withoutFragment(url.absoluteString());
    bool first = logged_.size() < kLoggedAddresses && logged_.insert(address).second;
    if (first)
        pluginLog(true, PluginLogLevelWarning, PluginLogFlagWarning, kGuardLogFile, "-[MainViewController webView:decidePolicy]",
                  0, "%s%s: %s", what, web ? " (handed to the desktop)" : "", url.absoluteString().c_str());
    if (web) URLOpener::current()->open(url.absoluteString(), nullptr);
}
