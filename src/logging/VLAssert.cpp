#include "logging/VLAssert.h"

#include <mutex>

#include "platform/foundation/PlatformLog.h"

namespace vl {

namespace {
std::mutex gMutex;
AssertionHandler& handler() {
    static auto* h = new AssertionHandler();
    return *h;
}
}  // namespace

AssertionHandler setAssertionHandler(AssertionHandler h) {
    std::lock_guard lock(gMutex);
    AssertionHandler previous = std::move(handler());
    handler() = std::move(h);
    return previous;
}

void assertionFailure(const std::string& file, const std::string& text) {
    AssertionHandler h;
    {
        std::lock_guard lock(gMutex);
        h = handler();
    }
    if (h) h(file, text);
    else NSLog("%s: %s", file.c_str(), text.c_str());
}

}  // namespace vl
