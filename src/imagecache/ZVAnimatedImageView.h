#pragma once
// An image view that plays any image answering ZVAnimatedImage frame by
// frame, timed by a display link, while a background operation decodes the
// frames ahead into a bounded buffer. Plain images and the image-array
// animation work as in any image view.
//
// - Timing: each display-link frame adds its duration to the time spent on
//   the shown frame; past that frame's duration the next one is shown. A
//   frame not yet decoded holds the shown one and stops the time (a frame
//   is never skipped); a frame that failed to decode keeps the last frame.
// - Loops: with a loop count, playback stops on the last frame after that
//   many passes; startAnimating() plays them again.
// - Buffer: up to 20% of physical memory or 60% of available memory (at
//   least 10 MB, at most maxBufferSize when set), 1 to 512 frames. Each
//   fetch decodes one frame more than the last; a memory warning pushes
//   that growth back by 60 to 179 fetches and prunes the buffer to the
//   next frame, as entering the background does. Old buffers are freed off
//   the main thread.
// - Sprite sheets animate the layer's contents rectangle only.
// - What shows: while highlighted, the highlighted animation images when
//   there are any, else the highlighted image; otherwise (or when neither
//   is set) the animation images when there are any, else the image.
//   Turning highlighted on or off switches between them at once.
// - With autoPlayAnimatedImage (the default) the view plays while it is
//   in a window and stops when it leaves.
// - Frames are shown as the layer's contents, stretched over the bounds.
//
// Made with create() (a display link holds the view weakly); every call on
// the main thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/ui/CADisplayLink.h"
#include "platform/ui/UIImageView.h"

class NSOperationQueue;
class ZVAnimatedImage;

class ZVAnimatedImageView : public UIImageView {
public:
    static std::shared_ptr<ZVAnimatedImageView> create(const CGRect& frame = CGRectZero);
    // The frame is (0, 0, image size); with no image, the highlighted image's size.
    static std::shared_ptr<ZVAnimatedImageView> initWithImage(std::shared_ptr<UIImage> image,
                                                             std::shared_ptr<UIImage> highlightedImage = nullptr);
    // A view from archivedData(); null when the bytes are no such archive.
    static std::shared_ptr<ZVAnimatedImageView> initWithArchivedData(const Data& archive);
    ~ZVAnimatedImageView() override;

    // A keyed archive of "runloopMode", "autoPlayAnimatedImage" and, when the
    // image (highlighted image) is a ZVImage of two or more frames, its
    // archive under "ZVAnimatedImage" ("ZVHighlightedAnimatedImage").
    Data archivedData() const;

    void setImage(std::shared_ptr<UIImage> image) override;
    void setHighlightedImage(std::shared_ptr<UIImage> image) override;
    void setAnimationImages(std::vector<std::shared_ptr<UIImage>> images) override;
    void setHighlightedAnimationImages(std::vector<std::shared_ptr<UIImage>> images) override;
    void setHighlighted(bool highlighted) override;

    void startAnimating() override;
    void stopAnimating() override;
    bool isAnimating() const override { return playing_; }
    bool currentIsPlayingAnimation() const { return playing_; }

    bool autoPlayAnimatedImage() const { return autoPlay_; }
    void setAutoPlayAnimatedImage(bool v) { autoPlay_ = v; }
    size_t currentAnimatedImageIndex() const { return curIndex_.load(); }
    // Shows that frame now; ignored without an animated image, out of range
    // or for the frame shown. From another thread it is queued to the main queue.
    void setCurrentAnimatedImageIndex(size_t index);
    // Called on the main thread with every new index.
    std::function<void(size_t index)> currentAnimatedImageIndexDidChange;

    const std::string& runloopMode() const { return runloopMode_; }
    void setRunloopMode(const std::string& mode);
    // Bytes; 0 decides from the device's memory.
    uint64_t maxBufferSize() const { return maxBufferSize_.load(); }
    void setMaxBufferSize(uint64_t bytes) { maxBufferSize_.store(bytes); }

    void displayLayer(CALayer& layer) override;
    void drawRect(CGContext& ctx, const CGRect& rect) override;
    void didMoveToWindow() override;
    void didMoveToSuperview() override;

    // What tests look at: the buffer's frame count limit, the growth
    // counter, the frames buffered now, and the fetch queue.
    size_t maxBufferCount() const { return maxBufferCount_.load(); }
    int32_t bufferGrowthCounter() const { return growth_.load(); }
    std::vector<size_t> bufferedFrameIndexes() const;
    void waitUntilFetchesFinished() const;
    // The back-off's random source (rand-like; null restores the default).
    static void setRandomSourceForTesting(std::function<uint32_t()> source);

    explicit ZVAnimatedImageView(const CGRect& frame);

private:
    enum class ImageType { None, Image, HighlightedImage, Images, HighlightedImages };
    class FetchOperation;
    using Buffer = std::map<size_t, std::shared_ptr<UIImage>>;  // null: a frame that failed

    std::shared_ptr<ZVAnimatedImageView> self();
    ImageType currentImageType() const;
    std::shared_ptr<UIImage> imageForType(ImageType type) const;
    void setImageWithType(std::shared_ptr<UIImage> image, std::vector<std::shared_ptr<UIImage>> images, ImageType type);
    void imageChanged();
    void reset();
    void createPlaybackParts();
    void step(CADisplayLink& link);
    void queueFetch(size_t nextIndex);
    void setIndex(size_t index);
    void applyContentsRect(size_t index);
    void resetContentsRect();
    void applyWindowRule();
    void didReceiveMemoryWarning();
    void didEnterBackground();
    void pruneBufferToNextFrame();
    bool isBuffered(size_t index) const;
    // Stores a fetched frame unless the buffer now belongs to another image.
    bool storeFrame(size_t index, std::shared_ptr<UIImage> frame, const UIImage* owner);
    // Buffer size limit for `image` from the device's memory.
    size_t computeMaxBufferCount(const ZVAnimatedImage& image) const;

    bool autoPlay_ = true;
    bool playing_ = false;
    std::string runloopMode_ = NSRunLoopCommonModes;
    std::atomic<uint64_t> maxBufferSize_{0};

    std::shared_ptr<NSOperationQueue> requestQueue_;
    std::shared_ptr<CADisplayLink> link_;
    // The animated image played (null when idle) and its protocol view.
    std::shared_ptr<UIImage> curAnimatedImage_;
    const ZVAnimatedImage* animated_ = nullptr;
    std::shared_ptr<UIImage> curFrame_;
    double time_ = 0;  // on the shown frame
    bool loopEnd_ = false;
    bool restartAtEnd_ = false;  // started again after the last pass
    bool bufferMiss_ = false;
    size_t curLoop_ = 0, totalLoop_ = 0;
    bool usesContentsRect_ = false;
    // Read by fetch operations as well as the main thread.
    std::atomic<size_t> curIndex_{0};
    std::atomic<size_t> totalFrameCount_{1};
    std::atomic<size_t> maxBufferCount_{0};
    std::atomic<int32_t> growth_{0};

    mutable std::mutex lock_;  // guards buffer_ and bufferOwner_
    Buffer buffer_;
    // The image the buffer's frames belong to: a fetch for an image no
    // longer played stores nothing.
    const UIImage* bufferOwner_ = nullptr;
};
