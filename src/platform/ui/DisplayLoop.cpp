#include "platform/ui/DisplayLoop.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/UIApplication.h"

namespace DisplayLoop {
namespace {
bool gPending = false;
std::function<void()>& handler() {
    static auto* h = new std::function<void()>();
    return *h;
}
}  // namespace

void setNeedsUpdate() {
    if (gPending) return;
    gPending = true;
    DispatchQueue::main()->async([] {
        gPending = false;
        runPass();
    });
}

void runPass() {
    for (auto& w : UIApplication::sharedApplication().windows()) w->layoutIfNeeded();
    if (handler()) handler()();
}

void setRedrawHandler(std::function<void()> h) { handler() = std::move(h); }

}  // namespace DisplayLoop
