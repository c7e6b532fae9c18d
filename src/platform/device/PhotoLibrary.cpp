#include "platform/device/PhotoLibrary.h"

#include <glib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "platform/device/DeviceFacts.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/graphics/ImageIO.h"

namespace PhotoLibrary {

namespace {

std::mutex gMutex;
std::filesystem::path gFolder;

// The image as displayed, at one pixel per point of its bitmap: orientation
// applied, so that viewers which ignore EXIF show it the right way up.
std::shared_ptr<CGImage> uprightBitmap(const UIImage& image) {
    if (image.imageOrientation() == UIImageOrientation::Up) return image.CGImage();
    const auto& src = image.CGImage();
    CGSize shown = image.size();
    double w = shown.width * image.scale(), h = shown.height * image.scale();
    auto ctx = CGContext::bitmap(CGSize{w, h}, !src->hasAlpha(), 1);
    if (!ctx) return nullptr;
    UIImage(src, 1, image.imageOrientation()).drawInRect(*ctx, CGRect(0, 0, w, h));
    return ctx->makeImage();
}

bool numberTaken(const std::filesystem::path& dir, int n) {
    for (const char* ext : {"JPG", "PNG", "GIF"})
        if (files::exists(dir / strings::format("IMG_%04d.%s", n, ext))) return true;
    return false;
}

}  // namespace

std::filesystem::path folder() {
    {
        std::lock_guard lock(gMutex);
        if (!gFolder.empty()) return gFolder;
    }
    if (const char* env = std::getenv("KORVEL_PHOTO_LIBRARY"); env && *env) return env;
    if (const char* pictures = g_get_user_special_dir(G_USER_DIRECTORY_PICTURES); pictures && *pictures)
        return pictures;
    return std::filesystem::path(g_get_home_dir()) / "Pictures";
}

bool isReadable() {
    auto root = folder();
    return files::isDirectory(root) && ::access(root.c_str(), R_OK | X_OK) == 0;
}

void setFolder(const std::filesystem::path& path) {
    std::lock_guard lock(gMutex);
    gFolder = path;
}

std::optional<std::filesystem::path> saveImage(const UIImage& image, Error* error) {
    auto bitmap = uprightBitmap(image);
    if (!bitmap) {
        if (error) *error = Error::withDescription(NSCocoaErrorDomain, 2048, "The image cannot be drawn.");
        return std::nullopt;
    }
    bool png = bitmap->hasAlpha();
    UIImage upright(bitmap, 1, UIImageOrientation::Up);
    auto data = png ? UIImagePNGRepresentation(&upright) : UIImageJPEGRepresentation(&upright, 0.9);
    if (!data) {
        if (error) *error = Error::withDescription(NSCocoaErrorDomain, 2048, "The image cannot be encoded.");
        return std::nullopt;
    }
    return saveData(*data, error);
}

std::optional<std::filesystem::path> saveData(const Data& bytes, Error* error) {
    const char* ext = nullptr;
    switch (imageio::sniff(bytes.data(), bytes.size())) {
        case imageio::Format::JPEG: ext = "JPG"; break;
        case imageio::Format::PNG: ext = "PNG"; break;
        case imageio::Format::GIF: ext = "GIF"; break;
        default:
            if (error) *error = Error::withDescription(NSCocoaErrorDomain, 2048, "The data is not a JPEG, PNG or GIF image.");
            return std::nullopt;
    }
    auto dir = folder();
    if (!files::createDirectories(dir, error)) return std::nullopt;
    // Written under a private name first, then moved to the first free
    // number; two savers (threads or processes) never take the same name.
    auto tmp = dir / (".saving-" + device::newUUID());
    if (!files::writeAtomically(tmp, bytes, error)) return std::nullopt;
    for (int n = 1; n < 100000; ++n) {
        auto path = dir / strings::format("IMG_%04d.%s", n, ext);
        // A number is used once, whatever the format that took it.
        if (numberTaken(dir, n)) continue;
        Error e;
        if (files::renameNoReplace(tmp, path, &e)) return path;
        if (e.code != EEXIST) {
            std::error_code ec;
            std::filesystem::remove(tmp, ec);
            if (error) *error = e;
            return std::nullopt;
        }
    }
    std::error_code ec;
    std::filesystem::remove(tmp, ec);
    if (error) *error = Error::withDescription(NSCocoaErrorDomain, 640, "The photo library is full.");
    return std::nullopt;
}

}  // namespace PhotoLibrary

bool UIImageWriteToSavedPhotosAlbum(const UIImage& image) {
    Error e;
    if (PhotoLibrary::saveImage(image, &e)) return true;
    NSLog("Saving to the photo library failed: %s", e.localizedDescription().c_str());
    return false;
}
