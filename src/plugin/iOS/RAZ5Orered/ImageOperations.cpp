#include "plugin/iOS/RAZ5Orered/ImageOperations.h"

#include <algorithm>

#include "platform/device/PhotoLibrary.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/CGImage.h"
#include "plugin/iOS/RAZ5Orered/ContainerPaths.h"
#include "plugin/iOS/RAZ5Orered/PageArgument.h"
#include "plugin/iOS/RAZ5Orered/QRCodeManager.h"
#include "plugin/iOS/RAZ5Orered/Utils.h"

using ContainerPaths::Access;

namespace ImageOperations {

namespace {

std::optional<files::Place> pathIn(const Value& v, const char* key, Access access) {
    const std::string* s = v[key].getString();
    if (!s || s->empty()) return std::nullopt;
    return ContainerPaths::resolve(*s, access);
}

// Read through the place's folder, without following a link; for drawing
// into at most `pixels` square when that is given.
std::shared_ptr<UIImage> loadImage(const files::Place& place, int pixels = 0) {
    auto bytes = place.read();
    return bytes ? UIImage::imageWithData(*bytes, UIImage::scaleFromFileName(place.relative), pixels) : nullptr;
}

}  // namespace

bool SaveThumbnail(const Arg& json) {
    auto v = PageArgument::jsonObject(json);
    if (!v) return false;
    auto source = pathIn(*v, "sourcePath", Access::Read);
    auto save = pathIn(*v, "savePath", Access::Write);
    if (!source || !save) return false;
    int64_t width = (*v)["width"].intValue(), height = (*v)["height"].intValue();
    bool crop = (*v)["crop"].boolValue(), circle = (*v)["circle"].boolValue(), alpha = (*v)["alpha"].boolValue();
    if (!CGImage::fitsBudget(width, height)) return false;  // the one pixel budget of every bitmap
    // A JPEG 2000 decodes only the resolutions the thumbnail needs.
    auto image = loadImage(*source, int(std::max(width, height)));
    if (!image) return false;
    auto thumbnail = Utils::GetThumbnail(image, int(width), int(height), crop, circle, alpha);
    if (!thumbnail) return false;
    auto data = alpha ? UIImagePNGRepresentation(thumbnail.get()) : UIImageJPEGRepresentation(thumbnail.get(), 0.9);
    if (!data) return false;
    Error e;
    if (save->write(*data, &e)) return true;
    NSLog("Thumbnail not written: %s", e.localizedDescription().c_str());
    return false;
}

bool SaveImageToPhotoAlbum(const Arg& path) {
    if (!path) return false;
    auto source = ContainerPaths::resolve(*path, Access::Read);
    if (!source) return false;
    auto image = loadImage(*source);
    return image && UIImageWriteToSavedPhotosAlbum(*image);
}

bool CreateQRCode(const Arg& json) {
    auto v = PageArgument::jsonObject(json);
    if (!v) return false;
    const std::string* text = (*v)["text"].getString();
    if (!text || text->empty()) return false;
    auto save = pathIn(*v, "savePath", Access::Write);
    if (!save) return false;
    std::shared_ptr<UIImage> logo;
    if (auto logoPath = pathIn(*v, "imagePath", Access::Read)) logo = loadImage(*logoPath);
    auto data = QRCodeManager::QRCodeFileData(*text, logo);
    Error e;
    if (data && save->write(*data, &e)) return true;
    if (data) NSLog("QR code not written: %s", e.localizedDescription().c_str());
    return false;
}

}  // namespace ImageOperations
