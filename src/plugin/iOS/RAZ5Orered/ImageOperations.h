#pragma once
// The page's image operations that need no screen: thumbnails, saving to
// the photo library and QR code files. Source paths may lie in the
// container or the bundle, save paths in the container (ContainerPaths).
// Arguments that are unusable do nothing; nothing is reported to the page.

#include <optional>
#include <string>

namespace ImageOperations {

using Arg = std::optional<std::string>;

// {"sourcePath", "savePath", "width", "height", "crop", "circle", "alpha"}:
// writes the thumbnail (Utils::GetThumbnail) as PNG with alpha, else as
// JPEG at quality 0.9, whatever the save path's extension.
bool SaveThumbnail(const Arg& json);
// The image at the path, into the photo library.
bool SaveImageToPhotoAlbum(const Arg& path);
// {"text", "savePath", "imagePath"}: QRCodeManager::QRCodeFileData, written
// to the save path.
bool CreateQRCode(const Arg& json);

}  // namespace ImageOperations
