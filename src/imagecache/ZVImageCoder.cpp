#include "imagecache/ZVImageCoder.h"

#include "imagecache/ZVImage.h"
#include "imagecache/ZVImageCoderHelpers.h"
#include "platform/device/PhotoLibrary.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Strings.h"

namespace ZVImageCoder {

namespace {

// The data representation; `forAlbum` keeps animated data only where the
// album can show it.
std::optional<Data> dataRepresentation(const UIImage& image, bool forAlbum) {
    if (auto* animated = dynamic_cast<const ZVImage*>(&image)) {
        auto data = animated->animatedImageData();
        bool albumReads = animated->animatedImageType() == ZVImageType::GIF ||
                          animated->animatedImageType() == ZVImageType::PNG;
        if (data && (!forAlbum || albumReads)) return *data;
    }
    if (const auto& bitmap = image.CGImage()) {
        std::shared_ptr<CGImage> upright = bitmap;
        if (image.imageOrientation() != UIImageOrientation::Up) {
            if (auto turned = ZVCopyCGImageWithOrientation(bitmap, image.imageOrientation(), bitmap->bitmapInfo()))
                upright = turned;
        }
        auto data = upright->hasAlpha() ? ZVCreateEncodedImageData(upright, ZVImageType::PNG, 1)
                                        : ZVCreateEncodedImageData(upright, ZVImageType::JPEG, 0.9);
        if (data) return data;
    }
    return UIImagePNGRepresentation(&image);
}

}  // namespace

bool ZV_isDecodedForDisplay(const UIImage& image) {
    if (image.images().size() > 1) return true;
    if (dynamic_cast<const ZVSpriteSheetImage*>(&image)) return true;
    return image.isDecodedForDisplay();
}

void setZV_isDecodedForDisplay(const UIImage& image, bool decoded) { image.setDecodedForDisplay(decoded); }

std::shared_ptr<UIImage> ZV_imageByDecoded(const std::shared_ptr<UIImage>& image) {
    if (!image || ZV_isDecodedForDisplay(*image) || !image->CGImage()) return image;
    auto bitmap = ZVCopyDecodedCGImage(image->CGImage(), true);
    if (!bitmap) return image;
    auto decoded = UIImage::imageWithCGImage(bitmap, image->scale(), image->imageOrientation());
    if (!decoded) {
        image->setDecodedForDisplay(true);
        return image;
    }
    decoded->setDecodedForDisplay(true);
    return decoded;
}

std::optional<Data> ZV_imageDataRepresentation(const UIImage& image) { return dataRepresentation(image, false); }

void ZV_saveToAlbumWithCompletionBlock(std::shared_ptr<UIImage> image, SaveCompletion completion) {
    if (!image) return;
    DispatchQueue::global()->async([image = std::move(image), completion = std::move(completion)] {
        std::string url;
        std::optional<Error> failure;
        Error error;
        auto data = dataRepresentation(*image, true);
        auto path = data ? PhotoLibrary::saveData(*data, &error) : std::nullopt;
        if (path) url = "file://" + strings::percentEncode(path->string(), "/");
        else failure = data ? error : Error::withDescription(NSCocoaErrorDomain, 2048, "The image cannot be encoded.");
        if (completion) DispatchQueue::main()->async([completion, url, failure] { completion(url, failure); });
    });
}

}  // namespace ZVImageCoder
