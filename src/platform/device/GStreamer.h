#pragma once
// GStreamer, started once for the process (camera, media facts, sounds).

#include <filesystem>

namespace gstreamer {

// Starts GStreamer on first use; false (logged once) when it cannot start.
bool initialize();

// The playing time of a media file in seconds, from the discoverer (a few
// seconds at most); 0 when it is unknown or the file cannot be read.
double mediaDuration(const std::filesystem::path& path);

}  // namespace gstreamer
