#pragma once
// How the photo library's folder reads as albums and assets (the listing
// behind ALAssetsLibrary; plain data, made off the main thread).
//
// Albums: the root's own files are the saved-photos album ("相机胶卷",
// type 16); a subfolder named "Photo Stream" is the photo stream (32);
// every other subfolder is an album of type 2 named after it (in name
// order). Only files directly in a folder count. Assets: files imageio
// reads (PNG, JPEG, GIF, told by their first bytes), and ".mp4", ".mov"
// and ".m4v" videos; oldest first (modification time, then name). Skipped:
// hidden names, unreadable files, other files, and symlinks that lead out
// of the root. Names that are not UTF-8 are shown with U+FFFD in place of
// bad bytes; their paths and URLs keep the bytes.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"

namespace photolibrary {

namespace fs = std::filesystem;

inline constexpr uint32_t kGroupAlbum = 2;
inline constexpr uint32_t kGroupSavedPhotos = 16;
inline constexpr uint32_t kGroupPhotoStream = 32;
inline constexpr const char* kSavedPhotosName = "相机胶卷";
inline constexpr const char* kPhotoStreamName = "Photo Stream";

enum class MediaKind { Photo, Video };

struct Entry {
    fs::path path;
    std::string url;  // percent-encoded file:// URL
    MediaKind kind = MediaKind::Photo;
    double duration = 0;  // seconds, videos only
    fs::file_time_type modified{};
};

struct Folder {
    std::string name;  // as shown
    fs::path path;
    std::string url;
    uint32_t groupType = kGroupAlbum;
    std::vector<Entry> entries;  // oldest first
};

// The duration of a video file; replaceable so that listings need no
// media framework in tests (the default asks GStreamer).
using DurationReader = std::function<double(const fs::path&)>;
void setDurationReader(DurationReader reader);

// The albums of the library under `root`: the saved-photos album first,
// then the photo stream (when present), then the other albums. nullopt
// (and `error`) when the root cannot be listed.
std::optional<std::vector<Folder>> scan(const fs::path& root, Error* error = nullptr);

// A picture imageio reads, told by the file's first bytes whatever its name.
bool isPictureFile(const fs::path& path);

// The asset a file is, when it is one and lies inside the root.
std::optional<Entry> entryForPath(const fs::path& root, const fs::path& path);

// "file://" and the percent-encoded path (bytes beyond the unreserved set
// and "/" encoded).
std::string fileURL(const fs::path& path);
// The path of a "file://" URL when it lies inside the root; nullopt for
// other URLs and for paths outside (after resolving symlinks).
std::optional<fs::path> pathForURL(const fs::path& root, const std::string& url);

}  // namespace photolibrary
