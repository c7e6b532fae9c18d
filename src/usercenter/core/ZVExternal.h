#pragma once
// Hand-offs outside the SDK: web addresses opened by the system's browser,
// and the entry point of the payment provider's SDK for its return URLs.

#include <functional>
#include <string>

#include "platform/foundation/NSURL.h"

namespace ZVExternal {
// Opens an http(s) address with the desktop's default handler; anything
// else is refused (false).
bool openURL(const std::string& url);
// Tests replace the opener (nullptr restores the desktop's).
void setOpener(std::function<bool(const std::string&)> opener);
}  // namespace ZVExternal

// The payment provider's result processing for its return URL. The payment
// SDK is not part of this build: the entry point only records the URL.
class ZVPayPlug {
public:
    static void processOrderWithPaymentResult(const NSURL& url);
    // How many return URLs reached the entry point (for tests and the log).
    static size_t handledCount();
};
