#pragma once
// Keeps the game's web view on the game's own pages: what it lets through
// before a navigation, when the navigation's answer comes, and once the top
// frame has shown a page.
//
// Before a navigation the engine does not say which frame it is for, so
// this stage judges the address:
// - what the application asked for through the web view passes (the start
//   page, its retry, the shell's reload of it), whatever its address;
// - an address of the game's origin passes;
// - an address that gets an answer (http, https, data:, blob:, a scheme the
//   web view serves) passes, to be judged when the answer comes, where the
//   engine names the frame;
// - about:srcdoc passes: an inner frame's own text (the top frame showing
//   it is caught once it has);
// - anything else is refused: about:blank and the other addresses that get
//   no answer (the top frame would show them without being asked again),
//   and every new window. An inner frame's own move to such an address is
//   refused with them (it keeps the page it has).
// When the answer comes, the top frame's from outside the game's origin
// (the game's own scheme, host and port) is refused; inner frames show any
// origin. Once the top frame has shown a page, one outside the game's
// origin (about:srcdoc, or anything else that slipped by) is reported, for
// the caller to load the start page again.
//
// A refused http or https address goes to the desktop's browser
// (URLOpener), one per press of the player on the web view: the first one
// refused after a press goes, and is logged; the ones after it until the
// next press are withheld, the first of them logged with its address and
// their count kWithheldCountDelay later. Nothing else is handed on. Any
// other refusal is logged the first time for its address (without its
// fragment), for the first 64 addresses.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/foundation/NSURL.h"
#include "platform/web/WKWebView.h"
#include "platform/web/WebOrigin.h"

class TopFrameGuard {
public:
    // `view` is the web view asking: the schemes it serves, the player's presses.
    WKNavigationActionPolicy decide(const WKNavigationAction& action, const WebOrigin& game, const WKWebView& view);
    WKNavigationResponsePolicy decide(const WKNavigationResponse& response, const WebOrigin& game,
                                      const WKWebView& view);
    // Whether the page the top frame has shown may stay (nullopt: an
    // address that is no URL); false, and logged, outside the game's origin.
    bool keeps(const std::optional<NSURL>& shown, const WebOrigin& game);

    static constexpr size_t kLoggedAddresses = 64;
    static constexpr std::chrono::seconds kWithheldCountDelay{5};

private:
    // Hands a web address to the desktop when the player has pressed since
    // the last one went, and logs `what`.
    void refuse(const NSURL& url, const char* what, uint64_t presses);
    void withhold(const NSURL& url, const char* what);
    // Logs `message` the first time `address` comes, for the first
    // kLoggedAddresses addresses.
    void logFirst(const std::string& address, const std::string& message);

    std::set<std::string> logged_;
    // The web view's presses when the last address went to the desktop.
    uint64_t pressesAtHandOff_ = 0;
    // Web addresses withheld since the count was last logged; the timer that
    // logs it holds it weakly. Main thread only.
    std::shared_ptr<size_t> withheld_ = std::make_shared<size_t>(0);
};
