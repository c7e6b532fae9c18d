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
// (URLOpener) only when a press of the player asked for it, one per press:
// a navigation started in the handling of the press (the engine's user
// gesture) by the page the press went to. The engine says neither which
// frame started a navigation nor where a press went; the web view tells
// whether the top page heard the press, and the navigation's Referer names
// the page it came from (a page may withhold it; none can name another's).
// So a navigation from a page of the game's origin is asked for by any
// press. A press the top page heard asks for no other page's, and for one
// without a Referer (the bundle's pages send none) only when no inner
// frame held the focus: a frame handles a press on the game's page too
// when it loses the focus to it (or gets a message from the page). Other
// navigations are asked for only by a click or a touch that the top page
// did not hear (one in an inner frame), not by a key, which goes to
// whichever frame holds the focus. A navigation let
// through before its answer is remembered by its address, with its press,
// until that answer comes (kAskedNavigationLifetime at most). The first
// refused address a press asked for goes, and is logged; the others are
// withheld, the first of a burst logged with its address and why, their
// count kWithheldCountDelay later. Nothing else is handed on. Any other
// refusal is logged the first time for its address (without its fragment),
// for the first 64 addresses.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/NSURL.h"
#include "platform/web/WKWebView.h"
#include "platform/web/WebOrigin.h"

class TopFrameGuard {
public:
    // `view` is the web view asking: the schemes it serves, the player's presses.
    WKNavigationActionPolicy decide(const WKNavigationAction& action, const WebOrigin& game, const WKWebView& view);
    WKNavigationResponsePolicy decide(const WKNavigationResponse& response, const WebOrigin& game);
    // Whether the page the top frame has shown may stay (nullopt: an
    // address that is no URL); false, and logged, outside the game's origin.
    bool keeps(const std::optional<NSURL>& shown, const WebOrigin& game);

    static constexpr size_t kLoggedAddresses = 64;
    static constexpr std::chrono::seconds kWithheldCountDelay{5};
    static constexpr std::chrono::seconds kAskedNavigationLifetime{10};
    static constexpr size_t kAskedNavigations = 16;  // remembered at most

private:
    // The press that asked for `action` (nullopt: none did).
    static std::optional<uint64_t> pressAsking(const WKNavigationAction& action, const WebOrigin& game,
                                               const WKWebView& view);
    void remember(const NSURL& url, uint64_t press);
    // The press that asked for the navigation answered from `url`, forgotten
    // with it.
    std::optional<uint64_t> takeAsked(const NSURL& url);
    // Hands a web address to the desktop when `press` asked for it and has
    // handed none yet, and logs `what`.
    void refuse(const NSURL& url, const char* what, std::optional<uint64_t> press);
    void withhold(const NSURL& url, const char* what, const char* why);
    // Logs `message` the first time `address` comes, for the first
    // kLoggedAddresses addresses.
    void logFirst(const std::string& address, const std::string& message);

    std::set<std::string> logged_;
    // The press whose navigation last went to the desktop.
    uint64_t pressesAtHandOff_ = 0;
    struct AskedNavigation {
        std::string address;  // without its fragment
        uint64_t press;
        Clock::Monotonic since;
    };
    std::deque<AskedNavigation> asked_;  // oldest first, one per address
    // Web addresses withheld since the count was last logged; the timer that
    // logs it holds it weakly. Main thread only.
    std::shared_ptr<size_t> withheld_ = std::make_shared<size_t>(0);
};
