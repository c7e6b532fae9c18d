#include "platform/device/PhotoLibraryScan.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <mutex>

#include "platform/device/GStreamer.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Strings.h"
#include "platform/graphics/ImageIO.h"

namespace photolibrary {

namespace {

std::mutex gReaderMutex;
DurationReader gReader;

double durationOf(const fs::path& path) {
    DurationReader reader;
    {
        std::lock_guard lock(gReaderMutex);
        reader = gReader;
    }
    return reader ? reader(path) : gstreamer::mediaDuration(path);
}

bool isHidden(const fs::path& path) { return strings::hasPrefix(path.filename().string(), "."); }

bool isVideoName(const fs::path& path) {
    std::string ext = strings::toLower(path.extension().string());
    return ext == ".mp4" || ext == ".mov" || ext == ".m4v";
}

// Hidden names and symlinks out of the root are no part of the library.
bool isListed(const fs::path& root, const fs::directory_entry& e) {
    if (isHidden(e.path())) return false;
    std::error_code ec;
    if (e.is_symlink(ec) && !files::isInside(root, e.path())) return false;
    return true;
}

std::optional<Entry> classify(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec) || ::access(path.c_str(), R_OK) != 0) return std::nullopt;
    Entry e;
    e.path = path;
    e.url = fileURL(path);
    e.modified = fs::last_write_time(path, ec);
    if (isVideoName(path)) {
        e.kind = MediaKind::Video;
        e.duration = durationOf(path);
        return e;
    }
    if (!isPictureFile(path)) return std::nullopt;
    return e;
}

std::string shownName(const std::string& bytes) { return strings::fromUTF16(strings::toUTF16(bytes)); }

Folder listFolder(const fs::path& root, const fs::path& dir, uint32_t type, std::string name) {
    Folder f;
    f.name = std::move(name);
    f.path = dir;
    f.url = fileURL(dir);
    f.groupType = type;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (!isListed(root, *it)) continue;
        if (auto entry = classify(it->path())) f.entries.push_back(std::move(*entry));
    }
    std::sort(f.entries.begin(), f.entries.end(), [](const Entry& a, const Entry& b) {
        if (a.modified != b.modified) return a.modified < b.modified;
        return a.path.filename().native() < b.path.filename().native();
    });
    return f;
}

}  // namespace

bool isPictureFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    uint8_t head[16] = {};
    in.read(reinterpret_cast<char*>(head), sizeof head);
    return imageio::sniff(head, size_t(in.gcount())) != imageio::Format::Unknown;
}

void setDurationReader(DurationReader reader) {
    std::lock_guard lock(gReaderMutex);
    gReader = std::move(reader);
}

std::optional<std::vector<Folder>> scan(const fs::path& root, Error* error) {
    std::error_code ec;
    fs::directory_iterator it(root, ec);
    if (ec || ::access(root.c_str(), R_OK | X_OK) != 0) {
        if (error)
            *error = Error::withDescription(NSCocoaErrorDomain, 257, "The photo library cannot be read.");
        return std::nullopt;
    }
    std::vector<fs::path> albums;
    std::optional<fs::path> stream;
    for (fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        std::error_code kind;
        if (!isListed(root, *it) || !it->is_directory(kind)) continue;
        if (it->path().filename() == kPhotoStreamName) stream = it->path();
        else albums.push_back(it->path());
    }
    std::sort(albums.begin(), albums.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename().native() < b.filename().native(); });
    std::vector<Folder> out;
    out.push_back(listFolder(root, root, kGroupSavedPhotos, kSavedPhotosName));
    if (stream) out.push_back(listFolder(root, *stream, kGroupPhotoStream, kPhotoStreamName));
    for (auto& a : albums) out.push_back(listFolder(root, a, kGroupAlbum, shownName(a.filename().string())));
    return out;
}

std::optional<Entry> entryForPath(const fs::path& given, const fs::path& path) {
    fs::path root = given.lexically_normal();
    if (!root.has_filename() && root.has_parent_path()) root = root.parent_path();
    fs::path folder = path.lexically_normal().parent_path();
    bool inLibrary = folder == root || (folder.parent_path() == root && !isHidden(folder));
    if (!inLibrary || isHidden(path) || !files::isInside(root, path)) return std::nullopt;
    return classify(path);
}

std::string fileURL(const fs::path& path) { return "file://" + strings::percentEncode(path.native(), "/"); }

std::optional<fs::path> pathForURL(const fs::path& root, const std::string& url) {
    if (!strings::hasPrefix(url, "file:///")) return std::nullopt;
    std::string decoded = strings::percentDecode(url.substr(7));
    if (decoded.find('\0') != std::string::npos) return std::nullopt;
    fs::path path(decoded);
    for (auto& part : path)
        if (part == "..") return std::nullopt;
    if (!files::isInside(root, path)) return std::nullopt;
    return path.lexically_normal();
}

}  // namespace photolibrary
