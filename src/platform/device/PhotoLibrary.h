#pragma once
// The photo library: a folder of image and video files standing in for the
// device's library. Its root is the folder named by the environment
// variable KORVEL_PHOTO_LIBRARY, else the desktop's pictures folder (XDG
// "PICTURES", ~/Pictures when unset). Reading never creates it.
//
// Saved images go into the root under the next free name "IMG_0001.JPG",
// "IMG_0002.PNG", "IMG_0003.GIF", ...; a name is never reused and an
// existing file is never replaced. How the folder reads as albums and
// assets: ALAssetsLibrary.h.

#include <filesystem>
#include <optional>

#include "platform/foundation/Error.h"
#include "platform/graphics/UIImage.h"

namespace PhotoLibrary {

std::filesystem::path folder();
// Tests point it elsewhere; "" restores the default.
void setFolder(const std::filesystem::path& path);
// True when the root is a folder this process may list and read.
bool isReadable();

// Writes the image upright: PNG when it has alpha, else JPEG at quality
// 0.9. The path of the new file, or nullopt (and `error`).
std::optional<std::filesystem::path> saveImage(const UIImage& image, Error* error = nullptr);

// Saves encoded bytes as they are (a GIF keeps its frames): JPEG, PNG or
// GIF, told by their content; anything else is refused.
std::optional<std::filesystem::path> saveData(const Data& bytes, Error* error = nullptr);

}  // namespace PhotoLibrary

// The platform call: saves to the saved-photos album. True when written.
bool UIImageWriteToSavedPhotosAlbum(const UIImage& image);
