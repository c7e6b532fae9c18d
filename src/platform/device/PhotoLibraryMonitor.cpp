#include "platform/device/PhotoLibraryMonitor.h"

#include <gio/gio.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "platform/device/ALAssetsLibrary.h"
#include "platform/device/PhotoLibrary.h"
#include "platform/device/PhotoLibraryScan.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NSNotificationCenter.h"

namespace PhotoLibraryMonitor {

namespace {

namespace fs = std::filesystem;

constexpr auto kGather = std::chrono::milliseconds(300);

// Main-thread state.
struct Watch {
    GFileMonitor* monitor;
    std::string* url;  // the watched folder's group URL
};
int gHolds = 0;
std::vector<Watch> gWatches;
std::set<std::string> gChanged;
bool gFlushPending = false;
std::atomic<uint64_t> gGeneration{0};

void flush();

void changed(GFileMonitor*, GFile*, GFile*, GFileMonitorEvent, gpointer data) {
    gGeneration++;
    gChanged.insert(*static_cast<std::string*>(data));
    if (gFlushPending) return;
    gFlushPending = true;
    DispatchQueue::main()->asyncAfter(kGather, flush);
}

void watch(const fs::path& folder) {
    GFile* file = g_file_new_for_path(folder.c_str());
    GFileMonitor* monitor = g_file_monitor_directory(file, G_FILE_MONITOR_WATCH_MOVES, nullptr, nullptr);
    g_object_unref(file);
    if (!monitor) return;
    auto* url = new std::string(photolibrary::fileURL(folder));
    g_signal_connect(monitor, "changed", G_CALLBACK(changed), url);
    gWatches.push_back({monitor, url});
}

void unwatchAll() {
    for (auto& w : gWatches) {
        g_file_monitor_cancel(w.monitor);
        g_signal_handlers_disconnect_by_data(w.monitor, w.url);
        g_object_unref(w.monitor);
        delete w.url;
    }
    gWatches.clear();
}

// The root and its subfolders as they are now (folders come and go).
void watchAll() {
    unwatchAll();
    fs::path root = PhotoLibrary::folder();
    if (!files::isDirectory(root)) return;
    watch(root);
    std::error_code ec;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code kind;
        if (it->is_directory(kind) && it->path().filename().string().rfind(".", 0) != 0) watch(it->path());
    }
}

void flush() {
    gFlushPending = false;
    if (gChanged.empty()) return;
    Value urls = Value::array();
    for (auto& u : gChanged) urls.push(u);
    gChanged.clear();
    if (gHolds > 0) watchAll();
    NSNotificationCenter::defaultCenter().postNotificationName(
        ALAssetsLibraryChangedNotification, nullptr, Value::dict({{ALAssetLibraryUpdatedAssetGroupsKey, urls}}));
}

}  // namespace

void hold() {
    if (gHolds++ == 0) watchAll();
}

void release() {
    if (gHolds > 0 && --gHolds == 0) unwatchAll();
}

uint64_t generation() { return gGeneration.load(); }

}  // namespace PhotoLibraryMonitor
