#include "platform/device/URLOpener.h"

#include <gio/gio.h>

#include <mutex>

#include "platform/dispatch/DispatchQueue.h"

namespace {

std::mutex gMutex;
std::shared_ptr<URLOpener> gOpener;

void launched(GObject*, GAsyncResult* result, gpointer data) {
    auto* completion = static_cast<URLOpener::Completion*>(data);
    GError* error = nullptr;
    bool ok = g_app_info_launch_default_for_uri_finish(result, &error);
    if (error) g_error_free(error);
    if (*completion) {
        auto done = std::move(*completion);
        DispatchQueue::main()->async([done = std::move(done), ok] { done(ok); });
    }
    delete completion;
}

}  // namespace

std::shared_ptr<URLOpener> URLOpener::current() {
    std::lock_guard lock(gMutex);
    if (!gOpener) gOpener = std::make_shared<DesktopURLOpener>();
    return gOpener;
}

void URLOpener::install(std::shared_ptr<URLOpener> opener) {
    std::lock_guard lock(gMutex);
    gOpener = std::move(opener);
}

void DesktopURLOpener::open(const std::string& url, Completion completion) {
    g_app_info_launch_default_for_uri_async(url.c_str(), nullptr, nullptr, launched, new Completion(std::move(completion)));
}

void RecordingURLOpener::open(const std::string& url, Completion completion) {
    opened.push_back(url);
    if (completion) DispatchQueue::main()->async([completion = std::move(completion), ok = result] { completion(ok); });
}
