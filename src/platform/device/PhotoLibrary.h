#pragma once
// The photo library: a folder of image files standing in for the device's
// saved-photos album ("Media/DCIM" in the application home unless the
// environment variable KORVEL_PHOTO_LIBRARY names another folder).
// Saved images get the next free name "IMG_0001.JPG", "IMG_0002.PNG",
// "IMG_0003.GIF", ...; a number is never reused and an existing file is
// never replaced.

#include <filesystem>
#include <optional>

#include "platform/foundation/Error.h"
#include "platform/graphics/UIImage.h"

namespace PhotoLibrary {

std::filesystem::path folder();
// Tests point it elsewhere; "" restores the default.
void setFolder(const std::filesystem::path& path);

// Writes the image upright: PNG when it has alpha, else JPEG at quality
// 0.9. The path of the new file, or nullopt (and `error`).
std::optional<std::filesystem::path> saveImage(const UIImage& image, Error* error = nullptr);

// Saves encoded bytes as they are (a GIF keeps its frames): JPEG, PNG or
// GIF, told by their content; anything else is refused.
std::optional<std::filesystem::path> saveData(const Data& bytes, Error* error = nullptr);

}  // namespace PhotoLibrary

// The platform call: saves to the saved-photos album. True when written.
bool UIImageWriteToSavedPhotosAlbum(const UIImage& image);
