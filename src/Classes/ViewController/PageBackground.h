#pragma once
// The start page's own background colour, learnt as early as the page can
// tell it: the host window appears painted in it, so that no black or
// empty frame shows before the engine's first frame, and it appears then
// rather than at the page's `load` (a hidden page loads more slowly, and
// the engine paints nothing until its window is on screen).
//
// On a later launch the window does not wait at all: it appears at once in
// the background the page had last time (remembered in the user defaults),
// and the engine paints the page into it as it goes. A first launch, with
// nothing remembered, waits for the page to tell its background.
//
// A script at document start in the top frame waits until the document is
// parsed and every style sheet of its head has loaded or failed (the
// engine paints nothing before then either), then posts the computed
// background of the body (or of the root element) to the channel
// kPageBackgroundChannel. The page's own scripts can post there too; the
// worst they can do is choose the colour of that first frame.

#include <functional>
#include <optional>

#include "platform/ui/UIColor.h"
#include "platform/web/WKUserContentController.h"

namespace pagebackground {

inline constexpr const char* kChannel = "korvelPageBackground";

// The document-start script that posts to kChannel once.
const char* postingScript();
// A script whose value is the background now, for evaluateJavaScript.
const char* currentScript();

// Three numbers from 0 to 255, as both scripts give them; else nothing.
std::optional<UIColor> colourOf(const Value& rgb);

// The start page's background at the last launch; nothing on a first launch
// (or when what is kept is not a colour).
std::optional<UIColor> remembered();
// Keeps `colour` for the next launch (written only when it changed).
void remember(const UIColor& colour);

// The channel's handler: calls `heard` with the colour of the first
// well-formed message, and ignores every later one.
class Handler : public WKScriptMessageHandler {
public:
    explicit Handler(std::function<void(const UIColor&)> heard) : heard_(std::move(heard)) {}
    void userContentController_didReceiveScriptMessage(WKUserContentController&, const WKScriptMessage& m) override;

private:
    std::function<void(const UIColor&)> heard_;
};

}  // namespace pagebackground
