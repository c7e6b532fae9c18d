#pragma once
// Image data, complete or still arriving, turned into frames: the
// container type, frame geometry, durations, loop count and orientation,
// and each frame as a ready image. Animated PNG frames are composed on a
// canvas when they depend on the frames before them; every other format
// comes through imageio::ImageSource (GIF frames already composited, every
// page of a TIFF a frame). WebP is recognised but gives no frames.
//
// Threads: updates, frame production and property reads take one
// recursive lock per decoder, so a decoder may be shared; the frame table
// is swapped under a lock of its own, so frameDurationAtIndex answers a
// display thread while another thread decodes. The counters are atomic.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "imagecache/ZVImageCoderHelpers.h"
#include "imagecache/ZVPNGInfo.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/ImageSource.h"
#include "platform/graphics/UIImage.h"

enum class ZVImageDisposeMethod : uint32_t {
    None = 0,
    Background = 1,  // clear the frame's rectangle before the next frame
    Previous = 2,    // put the canvas back as it was before this frame
};
enum class ZVImageBlendOperation : uint32_t {
    None = 0,  // the frame replaces its rectangle
    Over = 1,  // alpha-composited over the canvas
};

// One frame. Offsets are on the canvas with the origin at the bottom-left.
class ZVImageFrame {
public:
    virtual ~ZVImageFrame() = default;
    static std::shared_ptr<ZVImageFrame> frameWithImage(std::shared_ptr<UIImage> image);
    // A new frame of the receiver's own class with every field copied.
    virtual std::shared_ptr<ZVImageFrame> copy() const;

    size_t index = 0;
    size_t width = 0, height = 0;
    size_t offsetX = 0, offsetY = 0;
    double duration = 0;  // seconds
    ZVImageDisposeMethod dispose = ZVImageDisposeMethod::None;
    ZVImageBlendOperation blend = ZVImageBlendOperation::None;
    std::shared_ptr<UIImage> image;
};

class ZVImageDecoder {
public:
    // Produced images take the main screen's scale.
    ZVImageDecoder();
    // A scale that is not positive means 1.
    explicit ZVImageDecoder(double scale);
    ~ZVImageDecoder();
    ZVImageDecoder(const ZVImageDecoder&) = delete;
    ZVImageDecoder& operator=(const ZVImageDecoder&) = delete;

    // A decoder fed `data` as final; nullptr when it has no frames.
    static std::shared_ptr<ZVImageDecoder> decoderWithData(const Data& data, double scale);

    // Offers all data received so far. Refused (false) once final data was
    // given, for data shorter than before, and for data of another type
    // than the one first detected. A refusal for the type keeps the data
    // held and the frames, but `final` still finalises the decoder. The
    // type is fixed by the first update holding more than 16 bytes.
    bool updateData(const Data& data, bool final);

    // A copy of the frame record with its image; nullptr out of range or
    // when the image cannot be made. With `decodeForDisplay` the image is
    // in the display layout and, except for icons, covers the whole canvas.
    std::shared_ptr<ZVImageFrame> frameAtIndex(size_t index, bool decodeForDisplay);
    // The source's properties of a frame or of the file; null when there
    // are none (an animated PNG has none once its frames are cut out).
    Value framePropertiesAtIndex(size_t index);
    Value imageProperties();
    // Under the frame table's lock only; 0 out of range. Not clamped.
    double frameDurationAtIndex(size_t index) const;

    std::shared_ptr<const Data> data() const;
    ZVImageType type() const { return type_.load(); }
    double scale() const { return scale_; }
    size_t frameCount() const { return frameCount_.load(); }
    size_t loopCount() const { return loopCount_.load(); }  // 0 = forever
    size_t width() const { return width_.load(); }
    size_t height() const { return height_.load(); }
    bool isFinalized() const { return finalized_.load(); }

    // Test hook: called with the index of each frame drawn onto the canvas.
    void setCanvasDrawObserver(std::function<void(size_t index)> observer);

private:
    struct Frame;
    using FrameTable = std::vector<Frame>;

    void updateSource();
    void updateSourceImageIO();
    void updateSourceAPNG();
    void publishFrames(std::shared_ptr<const FrameTable> frames);
    std::shared_ptr<const FrameTable> frames() const;
    std::shared_ptr<CGImage> newUnblendedImage(size_t index, bool extendToCanvas, bool* decoded);
    std::shared_ptr<CGImage> newFrameImage(size_t index);
    std::shared_ptr<ZVImageFrame> blendedFrame(std::shared_ptr<ZVImageFrame> frame, const Frame& record,
                                               const FrameTable& table, bool extendToCanvas);
    std::shared_ptr<CGImage> blendedImage(const Frame& frame);
    void drawFrame(const Frame& frame);
    void blendOntoCanvas(const Frame& frame);
    std::shared_ptr<UIImage> platformImage(std::shared_ptr<CGImage> image, bool decoded) const;

    mutable std::recursive_mutex mutex_;  // guards everything below but the frame table
    const double scale_;
    std::atomic<ZVImageType> type_{ZVImageType::Unknown};
    std::atomic<size_t> frameCount_{0}, loopCount_{0}, width_{0}, height_{0};
    std::atomic<bool> finalized_{false};
    bool sourceTypeDetected_ = false;
    std::shared_ptr<const Data> data_;
    std::unique_ptr<imageio::ImageSource> source_;
    std::unique_ptr<ZVPNGInfo> apng_;
    UIImageOrientation orientation_ = UIImageOrientation::Up;
    bool needsBlend_ = false;
    std::unique_ptr<CGContext> canvas_;  // y-up, canvas-size, premultiplied
    size_t canvasShows_ = kNone;        // the frame the canvas holds
    std::function<void(size_t)> drawObserver_;

    mutable std::mutex framesMutex_;  // guards frames_ only
    std::shared_ptr<const FrameTable> frames_;

    static constexpr size_t kNone = size_t(-1);
};
