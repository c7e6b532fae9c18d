#include "usercenter/core/ZVExternal.h"

#include <gio/gio.h>

#include <atomic>
#include <mutex>

#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"

namespace ZVExternal {

namespace {
std::mutex openerMutex;
std::function<bool(const std::string&)> customOpener;

bool desktopOpen(const std::string& url) {
    GError* error = nullptr;
    gboolean ok = g_app_info_launch_default_for_uri(url.c_str(), nullptr, &error);
    if (!ok) {
        NSLog("ZVExternal: cannot open %s: %s", url.c_str(), error ? error->message : "unknown error");
        if (error) g_error_free(error);
    }
    return ok;
}
}  // namespace

bool openURL(const std::string& url) {
    std::string lower = strings::toLower(url);
    if (!strings::hasPrefix(lower, "http://") && !strings::hasPrefix(lower, "https://")) {
        NSLog("ZVExternal: refusing to open a non-web address");
        return false;
    }
    std::function<bool(const std::string&)> opener;
    {
        std::lock_guard lock(openerMutex);
        opener = customOpener;
    }
    return opener ? opener(url) : desktopOpen(url);
}

void setOpener(std::function<bool(const std::string&)> opener) {
    std::lock_guard lock(openerMutex);
    customOpener = std::move(opener);
}

}  // namespace ZVExternal

namespace {
std::atomic<size_t> payReturns{0};
}

void ZVPayPlug::processOrderWithPaymentResult(const NSURL& url) {
    ++payReturns;
    NSLog("ZVPayPlug: payment return received (%zu bytes); no payment SDK is installed", url.absoluteString().size());
}

size_t ZVPayPlug::handledCount() { return payReturns.load(); }
