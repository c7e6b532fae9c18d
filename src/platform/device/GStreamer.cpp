#include "platform/device/GStreamer.h"

#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

#include <mutex>

#include "platform/foundation/PlatformLog.h"

namespace gstreamer {

bool initialize() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        GError* error = nullptr;
        started = gst_init_check(nullptr, nullptr, &error);
        if (!started) NSLog("GStreamer cannot start: %s", error ? error->message : "unknown error");
        if (error) g_error_free(error);
    });
    return started;
}

double mediaDuration(const std::filesystem::path& path) {
    if (!initialize()) return 0;
    GError* error = nullptr;
    GstDiscoverer* discoverer = gst_discoverer_new(5 * GST_SECOND, &error);
    if (!discoverer) {
        if (error) g_error_free(error);
        return 0;
    }
    double seconds = 0;
    gchar* uri = gst_filename_to_uri(path.c_str(), nullptr);
    GstDiscovererInfo* info = uri ? gst_discoverer_discover_uri(discoverer, uri, &error) : nullptr;
    if (info && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
        GstClockTime d = gst_discoverer_info_get_duration(info);
        if (GST_CLOCK_TIME_IS_VALID(d)) seconds = double(d) / GST_SECOND;
    }
    if (info) g_object_unref(info);
    if (error) g_error_free(error);
    g_free(uri);
    g_object_unref(discoverer);
    return seconds;
}

}  // namespace gstreamer
