#include "platform/ui/DisplayLoop.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/UIApplication.h"

namespace DisplayLoop {
namespace {
bool gPending = false;
bool gInPass = false;
std::function<void()>& handler() {
    static auto* h = new std::function<void()>();
    return *h;
}
}  // namespace

void setNeedsUpdate() {
    // Changes made by the pass itself are laid out and drawn by that pass.
    if (gPending || gInPass) return;
    gPending = true;
    DispatchQueue::main()->async([] {
        gPending = false;
        runPass();
    });
}

void runPass() {
    if (gInPass) return;
    gInPass = true;
    for (int round = 0; round < 4; ++round) {
        bool again = false;
        for (auto& w : UIApplication::sharedApplication().windows()) {
            w->layoutIfNeeded();
            again = again || w->needsLayoutInTree();
        }
        if (!again) break;
    }
    for (auto& w : UIApplication::sharedApplication().windows()) w->displayLayersIfNeeded();
    gInPass = false;
    if (handler()) handler()();
}

void setRedrawHandler(std::function<void()> h) { handler() = std::move(h); }

}  // namespace DisplayLoop
