#pragma once
// Small helpers of the system plug-in's image operations: the Documents
// folder, fresh file names and thumbnails.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/graphics/UIImage.h"

class Utils {
public:
    // The application's Documents folder (absolute).
    static std::optional<std::string> GetDocumentPath();
    // "<dir>/<seconds since 1970>_<n>" for the first n from 0 at which
    // nothing exists; no extension.
    static std::string GenerateFileName(const std::string& directory);
    static bool Exists(const std::optional<std::string>& path);

    // The image scaled into width × height pixels: fitted inside (the
    // canvas takes the scaled size) or, with crop, filling the box with the
    // overflow cut equally from both sides. Optionally clipped to the
    // ellipse of the canvas, and transparent where not drawn when `alpha`.
    // Sides are at least one pixel. nullptr for no image or a box below 1.
    static std::shared_ptr<UIImage> GetThumbnail(const std::shared_ptr<UIImage>& image, int width, int height,
                                                 bool crop, bool circle, bool alpha);

    // The pixel geometry GetThumbnail uses: the canvas and where the image
    // is drawn in it.
    struct ThumbnailGeometry {
        int canvasWidth = 0, canvasHeight = 0;
        CGRect drawRect;
    };
    static ThumbnailGeometry ThumbnailGeometryFor(double imageWidth, double imageHeight, int width, int height,
                                                  bool crop);
};
