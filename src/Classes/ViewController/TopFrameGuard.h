#pragma once
// Keeps the game's web view on the game's own pages: what it lets through
// before a navigation and when the navigation's answer comes.
//
// Before a navigation the engine does not say which frame it is for, so
// this stage judges the address:
// - what the application asked for through the web view passes (the start
//   page, its retry, the shell's reload of it), whatever its address;
// - an address of the game's origin passes;
// - an address that gets an answer (http, https, data:, blob:, a scheme the
//   web view serves) passes, to be judged when the answer comes, where the
//   engine names the frame;
// - about:srcdoc passes: an inner frame's own text, never a top page;
// - anything else is refused: about:blank and the other addresses that get
//   no answer (the top frame would show them without being asked again),
//   and every new window. An inner frame's own move to such an address is
//   refused with them (it keeps the page it has).
// When the answer comes, the top frame's from outside the game's origin is
// refused; inner frames show any origin.
//
// A refused http or https address goes to the desktop's browser
// (URLOpener); nothing else is handed on. Each refused address (without its
// fragment) is logged the first time, for the first 64 addresses.

#include <functional>
#include <set>
#include <string>

#include "platform/foundation/NSURL.h"
#include "platform/web/WKWebView.h"
#include "platform/web/WebOrigin.h"

class TopFrameGuard {
public:
    // Whether the web view serves a scheme itself (a scheme handler's).
    using ServedScheme = std::function<bool(const std::string& scheme)>;

    WKNavigationActionPolicy decide(const WKNavigationAction& action, const WebOrigin& game, const ServedScheme& served);
    WKNavigationResponsePolicy decide(const WKNavigationResponse& response, const WebOrigin& game);

    static constexpr size_t kLoggedAddresses = 64;

private:
    // Hands a web address to the desktop and logs `what` once per address.
    void refuse(const NSURL& url, const char* what);

    std::set<std::string> logged_;
};
