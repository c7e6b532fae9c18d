#include "Classes/ViewController/TopFrameGuard.h"

#include "platform/device/URLOpener.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Redact.h"
#include "platform/foundation/Strings.h"
#include "plugin/iOS/RAZ5Orered/PluginLog.h"

namespace {

constexpr const char* kGuardLogFile = "Classes/ViewController/MainViewController";

void warn(const std::string& message) {
    pluginLog(true, PluginLogLevelWarning, PluginLogFlagWarning, kGuardLogFile,
              "-[MainViewController webView:decidePolicy]", 0, "%s", message.c_str());
}

bool isWebAddress(const NSURL& url) {
    std::string scheme = strings::toLower(url.scheme());
    return (scheme == "http" || scheme == "https") && !url.host().empty();
}

// Schemes whose pages come with an answer the response policy sees.
bool getsAnAnswer(const std::string& scheme, const WKWebView& view) {
    return scheme == "http" || scheme == "https" || scheme == "data" || scheme == "blob" ||
           view.configuration()->urlSchemeHandlerForURLScheme(scheme);
}

// An address with a host of the game's origin ("about:blank" has none: a
// blank page takes the origin of whoever opened it, never the game's).
bool isGamePage(const NSURL& url, const WebOrigin& game) { return !url.host().empty() && game.contains(url); }

std::string withoutFragment(const std::string& address) { return address.substr(0, address.find('#')); }

// The page that started the navigation, as its Referer names it: a page may
// withhold it (the bundle's pages, which are no web pages, send none), none
// may name another's.
enum class Starter { GamePage, Unnamed, OtherPage };
Starter starterOf(const WKNavigationAction& action, const WebOrigin& game) {
    auto referrer = action.request.valueForHTTPHeaderField("Referer");
    if (!referrer || referrer->empty()) return Starter::Unnamed;
    auto url = NSURL::URLWithString(*referrer);
    return url && isGamePage(*url, game) ? Starter::GamePage : Starter::OtherPage;
}

}  // namespace

std::optional<uint64_t> TopFrameGuard::pressAsking(const WKNavigationAction& action, const WebOrigin& game,
                                                   const WKWebView& view) {
    const WKPress& press = view.lastPress();
    if (!action.userGesture || press.number == 0) return std::nullopt;
    Starter starter = starterOf(action, game);
    if (starter == Starter::GamePage) return press.number;
    // A press on the game's page: a frame handles it only when it held the
    // focus (and loses it, or gets the key) or when the page posts to it, so
    // an unnamed starter is the page itself unless a frame held the focus.
    if (press.reachedTopPage)
        return starter == Starter::Unnamed && !press.innerFrameHadFocus ? std::optional(press.number) : std::nullopt;
    // A press in an inner frame lets out what it started there; a key went
    // to whichever frame holds the focus, which a frame can take by itself.
    if (press.device == WKPress::Device::Key) return std::nullopt;
    return press.number;
}

WKNavigationActionPolicy TopFrameGuard::decide(const WKNavigationAction& action, const WebOrigin& game,
                                               const WKWebView& view) {
    const NSURL& url = action.request.URL;
    std::optional<uint64_t> press = pressAsking(action, game, view);
    if (action.targetsNewWindow) {
        refuse(url, "a window is not opened from the game", press);
        return WKNavigationActionPolicy::Cancel;
    }
    std::string scheme = strings::toLower(url.scheme());
    bool innerFrameText = strings::toLower(withoutFragment(url.absoluteString())) == "about:srcdoc";
    if (action.requestedByApplication || isGamePage(url, game) || getsAnAnswer(scheme, view) || innerFrameText) {
        if (press && isWebAddress(url)) remember(url, *press);
        return WKNavigationActionPolicy::Allow;
    }
    refuse(url, "a page without an answer of its own is not shown in the game", press);
    return WKNavigationActionPolicy::Cancel;
}

WKNavigationResponsePolicy TopFrameGuard::decide(const WKNavigationResponse& response, const WebOrigin& game) {
    std::optional<uint64_t> press = takeAsked(response.URL);
    if (!response.forMainFrame || game.contains(response.URL)) return WKNavigationResponsePolicy::Allow;
    refuse(response.URL, "a page of another origin is not shown in the game", press);
    return WKNavigationResponsePolicy::Cancel;
}

void TopFrameGuard::remember(const NSURL& url, uint64_t press) {
    takeAsked(url);
    asked_.push_back(AskedNavigation{withoutFragment(url.absoluteString()), press, Clock::current().now()});
    if (asked_.size() > kAskedNavigations) asked_.pop_front();
}

std::optional<uint64_t> TopFrameGuard::takeAsked(const NSURL& url) {
    auto oldest = Clock::current().now() - kAskedNavigationLifetime;
    while (!asked_.empty() && asked_.front().since < oldest) asked_.pop_front();
    std::string address = withoutFragment(url.absoluteString());
    for (auto it = asked_.begin(); it != asked_.end(); ++it) {
        if (it->address != address) continue;
        uint64_t press = it->press;
        asked_.erase(it);
        return press;
    }
    return std::nullopt;
}

bool TopFrameGuard::keeps(const std::optional<NSURL>& shown, const WebOrigin& game) {
    if (shown && game.contains(*shown)) return true;
    std::string address = shown ? withoutFragment(shown->absoluteString()) : "(an address that is no URL)";
    logFirst(address, "a page that is not the game's was shown; the start page is loaded again: " + redact::url(address));
    return false;
}

void TopFrameGuard::refuse(const NSURL& url, const char* what, std::optional<uint64_t> press) {
    std::string address = withoutFragment(url.absoluteString());
    if (!isWebAddress(url)) {
        logFirst(address, std::string(what) + ": " + redact::url(url.absoluteString()));
        return;
    }
    if (!press) return withhold(url, what, "no press of the player asked for it");
    if (*press <= pressesAtHandOff_) return withhold(url, what, "one address per press");
    pressesAtHandOff_ = *press;
    warn(std::string(what) + " (handed to the desktop): " + redact::url(url.absoluteString()));
    URLOpener::current()->open(url.absoluteString(), nullptr);
}

// A frame moving the top frame again and again would open page after page
// in the browser: after the first, a burst costs two lines.
void TopFrameGuard::withhold(const NSURL& url, const char* what, const char* why) {
    if ((*withheld_)++ > 0) return;
    warn(std::string(what) + " (not handed to the desktop: " + why + "): " + redact::url(url.absoluteString()));
    std::weak_ptr<size_t> count = withheld_;
    DispatchQueue::main()->asyncAfter(kWithheldCountDelay, [count] {
        auto withheld = count.lock();
        if (!withheld) return;
        warn("web addresses not handed to the desktop (one per press of the player, asked for by what was pressed): " +
             std::to_string(*withheld));
        *withheld = 0;
    });
}

void TopFrameGuard::logFirst(const std::string& address, const std::string& message) {
    if (logged_.size() < kLoggedAddresses && logged_.insert(address).second) warn(message);
}
