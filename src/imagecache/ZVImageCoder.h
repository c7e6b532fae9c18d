#pragma once
// What every image gains from the image toolkit: the decoded-for-display
// flag, decoding now, the data to store it as, and saving to the photo
// album. (The platform's category on its image class, as free functions.)

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/UIImage.h"

namespace ZVImageCoder {

// True for an animated platform image (two or more images), for any
// sprite sheet, else the flag last set (false when never set).
bool ZV_isDecodedForDisplay(const UIImage& image);
void setZV_isDecodedForDisplay(const UIImage& image, bool decoded);

// The image when already decoded or without a bitmap; else a new image of
// its decoded bitmap (same scale and orientation), marked decoded. When
// that cannot be made, the image itself is marked decoded and returned.
std::shared_ptr<UIImage> ZV_imageByDecoded(const std::shared_ptr<UIImage>& image);

// The data to store the image as: the animated data a ZVImage was made
// from, as it was; else the bitmap turned upright, as PNG when it has
// alpha and JPEG at 0.9 when opaque; failing that, PNG of the bitmap.
std::optional<Data> ZV_imageDataRepresentation(const UIImage& image);

// Saves the image to the photo album from a background queue: its data
// representation, where animated data is kept only for GIF and PNG (so a
// GIF keeps its frames). The block, when given, runs on the main queue
// with the saved file's URL ("file:///...") or an error.
using SaveCompletion = std::function<void(const std::string& assetURL, const std::optional<Error>& error)>;
void ZV_saveToAlbumWithCompletionBlock(std::shared_ptr<UIImage> image, SaveCompletion completion);

}  // namespace ZVImageCoder
