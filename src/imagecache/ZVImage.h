#pragma once
// Images that an animated view can play, and that show their first frame
// (or the whole sheet) anywhere else, as any UIImage does:
// - ZVImage decodes any readable data, still or animated, through the
//   image decoder and takes its scale from the file name;
// - ZVFrameImage plays separate image files or data blobs;
// - ZVSpriteSheetImage plays rectangles of one large image.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "imagecache/ZVAnimatedImage.h"
#include "imagecache/ZVImageCoderHelpers.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/UIImage.h"

class ZVImageDecoder;

class ZVImage : public UIImage, public ZVAnimatedImage {
public:
    // From the main bundle: the name's own extension, else "", png, jpeg,
    // jpg, gif, webp, apng; the screen's scale first (@2x on a 2× screen),
    // then the others. nullptr when nothing is found or readable.
    static std::shared_ptr<ZVImage> imageNamed(const std::string& name);
    // Scale from the file name (ZVImageScaleFromPath).
    static std::shared_ptr<ZVImage> imageWithContentsOfFile(const std::string& path);
    // A scale that is not positive means the main screen's (not finite: 1).
    // nullptr for empty or unreadable data.
    static std::shared_ptr<ZVImage> imageWithData(const Data& data, double scale = 1);

    // A keyed archive of the scale ("ZVImageScale") and the data
    // ("ZVImageData": the animated data, else the image's data representation).
    Data archivedData() const;
    // A ZVImage from such an archive; nullptr without readable data.
    static std::shared_ptr<ZVImage> imageWithArchivedData(const Data& archive);

    ZVImageType animatedImageType() const { return type_; }
    // The data decoded from, kept for images of two or more frames only.
    std::shared_ptr<const Data> animatedImageData() const;
    // Bytes per frame × frames for animated images (saturating), else 0.
    uint64_t animatedImageMemorySize() const { return memorySize_; }

    bool preloadAllAnimatedImageFrames() const;
    // On: decodes every frame now (failed frames stay empty); off: drops them.
    void setPreloadAllAnimatedImageFrames(bool preload);

    size_t animatedImageFrameCount() const override;  // 0 for a still image
    size_t animatedImageLoopCount() const override;
    size_t animatedImageBytesPerFrame() const override { return bytesPerFrame_; }
    std::shared_ptr<UIImage> animatedImageFrameAtIndex(size_t index) const override;
    // The decoder's duration, very short ones played as 0.1 s.
    double animatedImageDurationAtIndex(size_t index) const override;

    ZVImage(std::shared_ptr<::CGImage> image, double scale, UIImageOrientation orientation);

private:
    ZVImageType type_ = ZVImageType::Unknown;
    std::shared_ptr<ZVImageDecoder> decoder_;  // only for two or more frames
    size_t bytesPerFrame_ = 0;
    uint64_t memorySize_ = 0;
    mutable std::mutex preloadMutex_;  // guards the two below
    bool preload_ = false;
    // Decoded frames while preloading is on; a null entry is a frame that failed.
    std::optional<std::vector<std::shared_ptr<UIImage>>> preloaded_;
};

class ZVFrameImage : public UIImage, public ZVAnimatedImage {
public:
    // nullptr when the list is empty, the counts differ, or the first item
    // cannot be read. Paths give each frame the scale of its name; data
    // blobs the main screen's.
    static std::shared_ptr<ZVFrameImage> imageWithImagePaths(const std::vector<std::string>& paths,
                                                             const std::vector<double>& frameDurations,
                                                             size_t loopCount);
    static std::shared_ptr<ZVFrameImage> imageWithImagePaths(const std::vector<std::string>& paths,
                                                             double oneFrameDuration, size_t loopCount);
    static std::shared_ptr<ZVFrameImage> imageWithImageDataArray(const std::vector<Data>& datas,
                                                                 const std::vector<double>& frameDurations,
                                                                 size_t loopCount);
    static std::shared_ptr<ZVFrameImage> imageWithImageDataArray(const std::vector<Data>& datas,
                                                                 double oneFrameDuration, size_t loopCount);

    size_t animatedImageFrameCount() const override;
    size_t animatedImageLoopCount() const override { return loopCount_; }
    size_t animatedImageBytesPerFrame() const override { return oneFrameBytes_; }
    // Read and decoded anew on each call; nothing is cached.
    std::shared_ptr<UIImage> animatedImageFrameAtIndex(size_t index) const override;
    double animatedImageDurationAtIndex(size_t index) const override;

    ZVFrameImage(std::shared_ptr<::CGImage> image, double scale);

private:
    size_t loopCount_ = 0;
    size_t oneFrameBytes_ = 0;
    std::vector<std::string> paths_;
    std::vector<Data> datas_;
    std::vector<double> durations_;
};

class ZVSpriteSheetImage : public UIImage,
                           public ZVAnimatedImage,
                           public std::enable_shared_from_this<ZVSpriteSheetImage> {
public:
    // Shares the sheet's bitmap, scale and orientation. nullptr when the
    // sheet has no bitmap, a list is empty or the counts differ.
    static std::shared_ptr<ZVSpriteSheetImage> imageWithSpriteSheetImage(const UIImage& sheet,
                                                                        const std::vector<CGRect>& contentRects,
                                                                        const std::vector<double>& frameDurations,
                                                                        size_t loopCount);

    const std::vector<CGRect>& contentRects() const { return rects_; }
    const std::vector<double>& frameDurations() const { return durations_; }
    size_t loopCount() const { return loopCount_; }

    // The frame's rectangle in the unit space of a layer's contents; the
    // unit rectangle out of range, for a sheet under 0.01 points, or when
    // the rectangle lies off the sheet.
    CGRect contentsRectForCALayerAtIndex(size_t index) const;

    size_t animatedImageFrameCount() const override { return rects_.size(); }
    size_t animatedImageLoopCount() const override { return loopCount_; }
    size_t animatedImageBytesPerFrame() const override { return 0; }
    // The sheet itself: it is shown whole and clipped.
    std::shared_ptr<UIImage> animatedImageFrameAtIndex(size_t index) const override;
    double animatedImageDurationAtIndex(size_t index) const override;
    std::optional<CGRect> animatedImageContentsRectAtIndex(size_t index) const override;

    ZVSpriteSheetImage(std::shared_ptr<::CGImage> image, double scale, UIImageOrientation orientation);

private:
    std::vector<CGRect> rects_;
    std::vector<double> durations_;
    size_t loopCount_ = 0;
};
