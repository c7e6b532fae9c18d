#pragma once
// An image: a bitmap with a scale (pixels per point), an orientation, a
// rendering mode (template images take the tint colour) and optional cap
// insets (nine-slice stretching or tiling of the middle).

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGImage.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/UIColor.h"

enum class UIImageOrientation {
    Up = 0, Down = 1, Left = 2, Right = 3, UpMirrored = 4, DownMirrored = 5, LeftMirrored = 6, RightMirrored = 7,
};
enum class UIImageRenderingMode { Automatic, AlwaysOriginal, AlwaysTemplate };
enum class UIImageResizingMode { Tile, Stretch };

// The image orientation an EXIF orientation tag (1...8) stands for.
UIImageOrientation UIImageOrientationFromEXIF(int exif);

class UIImage {
public:
    // nullptr when the bitmap is missing.
    static std::shared_ptr<UIImage> imageWithCGImage(std::shared_ptr<::CGImage> image, double scale = 1,
                                                     UIImageOrientation orientation = UIImageOrientation::Up);
    // PNG, JPEG (EXIF orientation honoured) or GIF (first frame); nullptr otherwise.
    static std::shared_ptr<UIImage> imageWithData(const Data& data, double scale = 1);
    // The same for drawing into at most `pixels` x `pixels` (a thumbnail): a
    // JPEG 2000 decodes only the resolution levels that needs, giving a
    // smaller bitmap of the same aspect and a size in points to match.
    static std::shared_ptr<UIImage> imageWithData(const Data& data, double scale, int pixels);
    // A name ending in "@2x" or "@3x" (before the extension) gives that scale.
    static std::shared_ptr<UIImage> imageWithContentsOfFile(const std::filesystem::path& path);
    // 2 for a name ending in "@2x" before its extension, 3 for "@3x", else 1.
    static double scaleFromFileName(const std::filesystem::path& path);
    // From the main bundle (or a path relative to it): tries the name as
    // given, then with "@2x.png", "@3x.png" and ".png" appended. Cached by name.
    static std::shared_ptr<UIImage> imageNamed(const std::string& name);
    static void clearNamedCache();
    // A w × h point image filled with one colour (scale 1).
    static std::shared_ptr<UIImage> imageWithColor(const UIColor& color, CGSize size = {1, 1});
    // An animated image: shows the first image; `images()` lists them all,
    // played over `duration` seconds. nullptr for an empty list.
    static std::shared_ptr<UIImage> animatedImageWithImages(std::vector<std::shared_ptr<UIImage>> images,
                                                            double duration);

    // Images derive (animated images of the image toolkit).
    virtual ~UIImage() = default;
    UIImage(const UIImage& other);
    UIImage& operator=(const UIImage&) = delete;

    const std::shared_ptr<::CGImage>& CGImage() const { return image_; }
    double scale() const { return scale_; }
    UIImageOrientation imageOrientation() const { return orientation_; }
    // Size in points, as displayed (orientation applied).
    CGSize size() const;
    UIImageRenderingMode renderingMode() const { return renderingMode_; }
    const UIEdgeInsets& capInsets() const { return capInsets_; }
    UIImageResizingMode resizingMode() const { return resizingMode_; }
    // The frames of an animated image (empty for a still one) and their total time.
    const std::vector<std::shared_ptr<UIImage>>& images() const { return images_; }
    double duration() const { return duration_; }

    // Whether the bitmap is known to be ready for display (decoded into the
    // display layout, nothing left to do on the main thread). Safe to set
    // and read from any thread.
    bool isDecodedForDisplay() const { return decodedForDisplay_.load(std::memory_order_relaxed); }
    void setDecodedForDisplay(bool decoded) const { decodedForDisplay_.store(decoded, std::memory_order_relaxed); }

    std::shared_ptr<UIImage> resizableImageWithCapInsets(const UIEdgeInsets& insets,
                                                         UIImageResizingMode mode = UIImageResizingMode::Tile) const;
    std::shared_ptr<UIImage> imageWithRenderingMode(UIImageRenderingMode mode) const;

    // Draws the image (orientation applied, nine-slice when it has cap
    // insets) into `rect` of the context; a template image is filled with `tint`.
    void drawInRect(CGContext& ctx, const CGRect& rect, const UIColor* tint = nullptr) const;
    void drawInRect(const CGRect& rect) const;  // into UIGraphicsGetCurrentContext()
    void drawAtPoint(CGPoint p) const { drawInRect(CGRect(p, size())); }

    UIImage(std::shared_ptr<::CGImage> image, double scale, UIImageOrientation orientation);

private:
    void drawPlain(CGContext& ctx, const CGRect& rect, const UIColor* tint) const;
    void drawNineSlice(CGContext& ctx, const CGRect& rect, const UIColor* tint) const;

    std::shared_ptr<::CGImage> image_;
    double scale_ = 1;
    UIImageOrientation orientation_ = UIImageOrientation::Up;
    UIImageRenderingMode renderingMode_ = UIImageRenderingMode::Automatic;
    UIEdgeInsets capInsets_;
    UIImageResizingMode resizingMode_ = UIImageResizingMode::Tile;
    std::vector<std::shared_ptr<UIImage>> images_;
    double duration_ = 0;
    mutable std::atomic<bool> decodedForDisplay_{false};
};

// The image of the current image context (nullptr without one).
std::shared_ptr<UIImage> UIGraphicsGetImageFromCurrentImageContext();

// Encoded bitmaps of the image as stored (orientation not applied for PNG,
// as the platform does); nullopt when encoding fails.
std::optional<Data> UIImagePNGRepresentation(const UIImage* image);
std::optional<Data> UIImageJPEGRepresentation(const UIImage* image, double quality);
