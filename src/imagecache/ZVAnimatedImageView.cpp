#include "imagecache/ZVAnimatedImageView.h"

#include <algorithm>
#include <random>
#include <utility>

#include "imagecache/ZVAnimatedImage.h"
#include "imagecache/ZVImage.h"
#include "imagecache/ZVImageCoder.h"
#include "platform/device/HardwareFacts.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/NSOperationQueue.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/ui/CALayer.h"

namespace {

constexpr size_t kMaxBufferCount = 512;
constexpr int64_t kMinBufferBytes = 10 * 1024 * 1024;
const CGRect kUnitRect(0, 0, 1, 1);

std::mutex& randomMutex() {
    static std::mutex m;
    return m;
}
std::function<uint32_t()>& randomSource() {  // guarded by randomMutex()
    static std::function<uint32_t()> source;
    return source;
}
uint32_t nextRandom() {
    std::lock_guard lock(randomMutex());
    if (randomSource()) return randomSource()();
    static std::mt19937 engine{std::random_device{}()};
    return uint32_t(engine());
}

// The frame's rectangle in the layer's unit space.
CGRect contentsRectForImage(const std::optional<CGRect>& rect, const UIImage* image) {
    if (!rect || !image) return kUnitRect;
    CGSize size = image->size();
    if (size.width <= 0.01 || size.height <= 0.01) return kUnitRect;
    CGRect unit(rect->origin.x / size.width, rect->origin.y / size.height, rect->size.width / size.width,
                rect->size.height / size.height);
    unit = unit.intersection(kUnitRect);
    return unit.isEmpty() ? kUnitRect : unit;
}

const char* const kRunloopModeKey = "runloopMode";
const char* const kAutoPlayKey = "autoPlayAnimatedImage";
const char* const kImageKey = "ZVAnimatedImage";
const char* const kHighlightedImageKey = "ZVHighlightedAnimatedImage";

}  // namespace

// Decodes the frames after `nextIndex` into the view's buffer, one more
// each time the view asks.
class ZVAnimatedImageView::FetchOperation : public NSOperation {
public:
    FetchOperation(std::weak_ptr<ZVAnimatedImageView> view, size_t nextIndex, std::shared_ptr<UIImage> image)
        : view_(std::move(view)), nextIndex_(nextIndex), image_(std::move(image)) {}

    void main() override {
        auto* animated = dynamic_cast<const ZVAnimatedImage*>(image_.get());
        auto view = view_.lock();
        if (!view || isCancelled() || !animated) return;
        int32_t growth = view->growth_.load() + 1;
        if (growth == 0) view->maxBufferCount_ = view->computeMaxBufferCount(*animated);
        growth = int32_t(std::min<int64_t>(growth, int64_t(view->maxBufferCount_.load())));
        view->growth_ = growth;
        const size_t count = size_t(std::max(growth, 1)), total = view->totalFrameCount_.load();
        letGo(std::move(view));
        for (size_t i = 0, index = nextIndex_; i < count; ++i, index = (index + 1) % total) {
            if (isCancelled() || !fetch(*animated, index)) break;
        }
    }

private:
    // The view is held only around buffer access, never while decoding. A
    // view is a main-thread object: when this is the last hold on it, it is
    // let go on the main queue.
    static void letGo(std::shared_ptr<ZVAnimatedImageView>&& view) {
        if (view.use_count() == 1) DispatchQueue::main()->async([last = std::move(view)] {});
        view.reset();
    }

    // False when the work should stop.
    bool fetch(const ZVAnimatedImage& animated, size_t index) {
        auto view = view_.lock();
        if (!view) return false;
        bool buffered = view->isBuffered(index);
        letGo(std::move(view));
        if (buffered) return true;
        auto frame = ZVImageCoder::ZV_imageByDecoded(animated.animatedImageFrameAtIndex(index));
        if (isCancelled() || !(view = view_.lock())) return false;
        bool stored = view->storeFrame(index, std::move(frame), image_.get());
        letGo(std::move(view));
        return stored;
    }

    std::weak_ptr<ZVAnimatedImageView> view_;
    size_t nextIndex_;
    std::shared_ptr<UIImage> image_;
};

// MARK: - Making

ZVAnimatedImageView::ZVAnimatedImageView(const CGRect& frame) : UIImageView(frame) {}

std::shared_ptr<ZVAnimatedImageView> ZVAnimatedImageView::create(const CGRect& frame) {
    return std::make_shared<ZVAnimatedImageView>(frame);
}

std::shared_ptr<ZVAnimatedImageView> ZVAnimatedImageView::initWithImage(std::shared_ptr<UIImage> image,
                                                                       std::shared_ptr<UIImage> highlightedImage) {
    const auto& sizer = image ? image : highlightedImage;
    auto view = create(sizer ? CGRect(CGPointZero, sizer->size()) : CGRectZero);
    view->setImage(std::move(image));
    view->setHighlightedImage(std::move(highlightedImage));
    return view;
}

ZVAnimatedImageView::~ZVAnimatedImageView() {
    if (requestQueue_) requestQueue_->cancelAllOperations();
    NSNotificationCenter::defaultCenter().removeObserver(this);
    if (!link_) return;
    // A fetch operation may hold the view last, off the main thread.
    if (isMainThread()) {
        link_->invalidate();
    } else {
        DispatchQueue::main()->async([link = link_] { link->invalidate(); });
    }
}

std::shared_ptr<ZVAnimatedImageView> ZVAnimatedImageView::self() {
    return std::static_pointer_cast<ZVAnimatedImageView>(sharedView());
}

// MARK: - Images

ZVAnimatedImageView::ImageType ZVAnimatedImageView::currentImageType() const {
    if (isHighlighted() && !highlightedAnimationImages().empty()) return ImageType::HighlightedImages;
    if (isHighlighted() && highlightedImage()) return ImageType::HighlightedImage;
    if (!animationImages().empty()) return ImageType::Images;
    return image() ? ImageType::Image : ImageType::None;
}

std::shared_ptr<UIImage> ZVAnimatedImageView::imageForType(ImageType type) const {
    switch (type) {
        case ImageType::Image: return image();
        case ImageType::HighlightedImage: return highlightedImage();
        default: return nullptr;
    }
}

void ZVAnimatedImageView::setImage(std::shared_ptr<UIImage> image) {
    if (image == this->image()) return;
    setImageWithType(std::move(image), {}, ImageType::Image);
}

void ZVAnimatedImageView::setHighlightedImage(std::shared_ptr<UIImage> image) {
    if (image == highlightedImage()) return;
    setImageWithType(std::move(image), {}, ImageType::HighlightedImage);
}

void ZVAnimatedImageView::setAnimationImages(std::vector<std::shared_ptr<UIImage>> images) {
    if (images == animationImages()) return;
    setImageWithType(nullptr, std::move(images), ImageType::Images);
}

void ZVAnimatedImageView::setHighlightedAnimationImages(std::vector<std::shared_ptr<UIImage>> images) {
    if (images == highlightedAnimationImages()) return;
    setImageWithType(nullptr, std::move(images), ImageType::HighlightedImages);
}

void ZVAnimatedImageView::setHighlighted(bool highlighted) {
    UIImageView::setHighlighted(highlighted);
    if (link_) reset();
    imageChanged();
}

void ZVAnimatedImageView::setImageWithType(std::shared_ptr<UIImage> image,
                                           std::vector<std::shared_ptr<UIImage>> images, ImageType type) {
    stopAnimating();
    if (link_) reset();
    curFrame_ = nullptr;
    switch (type) {
        case ImageType::Image: UIImageView::setImage(std::move(image)); break;
        case ImageType::HighlightedImage: UIImageView::setHighlightedImage(std::move(image)); break;
        case ImageType::Images: UIImageView::setAnimationImages(std::move(images)); break;
        case ImageType::HighlightedImages: UIImageView::setHighlightedAnimationImages(std::move(images)); break;
        case ImageType::None: break;
    }
    imageChanged();
}

void ZVAnimatedImageView::imageChanged() {
    auto image = imageForType(currentImageType());
    auto* animated = dynamic_cast<const ZVAnimatedImage*>(image.get());
    bool animates = animated && animated->animatedImageFrameCount() >= 2;
    bool usesRects = animated && animated->animatedImageContentsRectAtIndex(0).has_value();
    if (!usesRects && usesContentsRect_) resetContentsRect();
    usesContentsRect_ = usesRects;
    if (usesRects) layer()->setContentsRect(contentsRectForImage(animated->animatedImageContentsRectAtIndex(0), image.get()));
    if (animates) {
        reset();
        curAnimatedImage_ = image;
        animated_ = animated;
        curFrame_ = image;
        totalLoop_ = animated->animatedImageLoopCount();
        totalFrameCount_ = animated->animatedImageFrameCount();
        maxBufferCount_ = computeMaxBufferCount(*animated);
        std::lock_guard lock(lock_);
        bufferOwner_ = image.get();
    } else {
        layer()->setContents(nullptr);  // the image view draws the image itself
    }
    setNeedsDisplay();
    if (animates) layer()->setNeedsDisplay();
    applyWindowRule();
}

// MARK: - Playback parts and reset

void ZVAnimatedImageView::createPlaybackParts() {
    requestQueue_ = std::make_shared<NSOperationQueue>();
    requestQueue_->setMaxConcurrentOperationCount(1);
    requestQueue_->setQualityOfService(DispatchQueue::QoS::Utility);
    std::weak_ptr<ZVAnimatedImageView> weak = self();
    link_ = CADisplayLink::displayLinkWithCallback([weak](CADisplayLink& link) {
        if (auto view = weak.lock()) view->step(link);
    });
    if (!runloopMode_.empty()) link_->addToRunLoop(runloopMode_);
    link_->setPaused(true);
    auto& center = NSNotificationCenter::defaultCenter();
    center.addObserver(this, UIApplicationDidReceiveMemoryWarningNotification, nullptr, [weak](const NSNotification&) {
        if (auto view = weak.lock()) view->didReceiveMemoryWarning();
    });
    center.addObserver(this, UIApplicationDidEnterBackgroundNotification, nullptr, [weak](const NSNotification&) {
        if (auto view = weak.lock()) view->didEnterBackground();
    });
}

void ZVAnimatedImageView::reset() {
    if (!link_) createPlaybackParts();
    requestQueue_->cancelAllOperations();
    {
        std::lock_guard lock(lock_);
        bufferOwner_ = nullptr;
        if (!buffer_.empty()) {
            // Many decoded frames: let them go off the main thread.
            DispatchQueue::global(DispatchQueue::QoS::Utility)->async([old = std::move(buffer_)]() mutable { old.clear(); });
            buffer_ = Buffer();
        }
    }
    link_->setPaused(true);
    time_ = 0;
    if (curIndex_.load() != 0) setIndex(0);
    curAnimatedImage_ = nullptr;
    animated_ = nullptr;
    curFrame_ = nullptr;
    curLoop_ = totalLoop_ = 0;
    totalFrameCount_ = 1;
    loopEnd_ = bufferMiss_ = restartAtEnd_ = false;
    growth_ = 0;
}

size_t ZVAnimatedImageView::computeMaxBufferCount(const ZVAnimatedImage& image) const {
    int64_t bytesPerFrame = int64_t(image.animatedImageBytesPerFrame());
    if (bytesPerFrame == 0) bytesPerFrame = 1024;
    double total = double(device::physicalMemory());
    double available = double(device::availableMemory());
    int64_t budget = int64_t(std::min(total * 0.2, available * 0.6));
    budget = std::max(budget, kMinBufferBytes);
    uint64_t limit = maxBufferSize_.load();
    if (limit > 0 && uint64_t(budget) > limit) budget = int64_t(limit);
    return size_t(std::clamp<int64_t>(budget / bytesPerFrame, 1, kMaxBufferCount));
}

// MARK: - Playing

void ZVAnimatedImageView::startAnimating() {
    if (auto type = currentImageType(); type == ImageType::Images || type == ImageType::HighlightedImages) {
        UIImageView::startAnimating();
        playing_ = true;
    } else if (curAnimatedImage_ && link_->isPaused()) {
        // After the last pass the last frame is shown: the wrap to frame 0
        // begins the first new pass rather than ending one, so that every
        // pass of the loop count is played again.
        restartAtEnd_ = loopEnd_;
        curLoop_ = 0;
        loopEnd_ = false;
        link_->setPaused(false);
        playing_ = true;
    }
}

void ZVAnimatedImageView::stopAnimating() {
    UIImageView::stopAnimating();
    if (requestQueue_) requestQueue_->cancelAllOperations();
    if (link_) link_->setPaused(true);
    playing_ = false;
}

void ZVAnimatedImageView::step(CADisplayLink& link) {
    if (!curAnimatedImage_) return;
    if (loopEnd_) return stopAnimating();
    const size_t total = totalFrameCount_.load();
    size_t next = (curIndex_.load() + 1) % total;
    if (!bufferMiss_) {
        time_ += link.duration();
        double delay = animated_->animatedImageDurationAtIndex(curIndex_.load());
        if (time_ < delay) return;
        time_ -= delay;
        if (next == 0 && !std::exchange(restartAtEnd_, false) && ++curLoop_ >= totalLoop_ && totalLoop_ != 0) {
            loopEnd_ = true;
            stopAnimating();
            layer()->setNeedsDisplay();  // the last frame stays
            return;
        }
        time_ = std::min(time_, animated_->animatedImageDurationAtIndex(next));  // never skip a frame
    }
    bool bufferIsFull = false, shown = false;
    const size_t shownIndex = next;
    {
        std::lock_guard lock(lock_);
        auto found = buffer_.find(next);
        if (found != buffer_.end()) {
            std::shared_ptr<UIImage> frame = found->second;  // null for a frame that failed
            // The signed counter compared unsigned, as the original does: a
            // negative counter (after a memory warning) keeps every frame.
            if (uint64_t(int64_t(growth_.load())) < uint64_t(total)) buffer_.erase(found);
            curFrame_ = std::move(frame);
            shown = true;
            next = (next + 1) % total;
            bufferIsFull = buffer_.size() == total;
        }
    }
    bufferMiss_ = !shown;
    if (shown) {
        setIndex(shownIndex);
        if (usesContentsRect_) applyContentsRect(shownIndex);
        layer()->setNeedsDisplay();
    }
    if (!bufferIsFull && requestQueue_->operationCount() == 0) queueFetch(next);
}

void ZVAnimatedImageView::queueFetch(size_t nextIndex) {
    requestQueue_->addOperation(std::make_shared<FetchOperation>(self(), nextIndex, curAnimatedImage_));
}

void ZVAnimatedImageView::setIndex(size_t index) {
    curIndex_ = index;
    if (currentAnimatedImageIndexDidChange) currentAnimatedImageIndexDidChange(index);
}

void ZVAnimatedImageView::setCurrentAnimatedImageIndex(size_t index) {
    if (!isMainThread()) {
        std::weak_ptr<ZVAnimatedImageView> weak = self();
        DispatchQueue::main()->async([weak, index] {
            if (auto view = weak.lock()) view->setCurrentAnimatedImageIndex(index);
        });
        return;
    }
    if (!curAnimatedImage_ || index >= totalFrameCount_.load() || index == curIndex_.load()) return;
    requestQueue_->cancelAllOperations();
    {
        std::lock_guard lock(lock_);
        buffer_.clear();
        curFrame_ = animated_->animatedImageFrameAtIndex(index);
    }
    setIndex(index);
    if (usesContentsRect_) applyContentsRect(index);
    time_ = 0;
    loopEnd_ = bufferMiss_ = restartAtEnd_ = false;
    layer()->setNeedsDisplay();
}

// MARK: - Contents rectangles, showing, the window rule

void ZVAnimatedImageView::applyContentsRect(size_t index) {
    layer()->setContentsRect(contentsRectForImage(animated_->animatedImageContentsRectAtIndex(index), curAnimatedImage_.get()));
}

void ZVAnimatedImageView::resetContentsRect() {
    if (layer()->contentsRect() != kUnitRect) layer()->setContentsRect(kUnitRect);
}

void ZVAnimatedImageView::displayLayer(CALayer& layer) {
    if (curFrame_ && curFrame_->CGImage()) layer.setContents(curFrame_->CGImage());
}

void ZVAnimatedImageView::drawRect(CGContext& ctx, const CGRect& rect) {
    if (!curAnimatedImage_) UIImageView::drawRect(ctx, rect);  // else the layer's contents show the frame
}

void ZVAnimatedImageView::didMoveToWindow() {
    UIImageView::didMoveToWindow();
    applyWindowRule();
}

void ZVAnimatedImageView::didMoveToSuperview() {
    UIImageView::didMoveToSuperview();
    applyWindowRule();
}

void ZVAnimatedImageView::applyWindowRule() {
    if (!autoPlay_) return;
    if (superview() && window()) {
        startAnimating();
    } else {
        stopAnimating();
    }
}

void ZVAnimatedImageView::setRunloopMode(const std::string& mode) {
    if (mode == runloopMode_) return;
    if (link_) {
        if (!runloopMode_.empty()) link_->removeFromRunLoop(runloopMode_);
        if (!mode.empty()) link_->addToRunLoop(mode);
    }
    runloopMode_ = mode;
}

// MARK: - Memory

void ZVAnimatedImageView::pruneBufferToNextFrame() {
    size_t next = (curIndex_.load() + 1) % totalFrameCount_.load();
    std::lock_guard lock(lock_);
    for (auto it = buffer_.begin(); it != buffer_.end();) it = it->first == next ? std::next(it) : buffer_.erase(it);
}

void ZVAnimatedImageView::didReceiveMemoryWarning() {
    requestQueue_->cancelAllOperations();
    std::weak_ptr<ZVAnimatedImageView> weak = self();
    requestQueue_->addOperationWithBlock([weak] {
        auto view = weak.lock();
        if (!view) return;
        view->growth_ = -60 - int32_t(nextRandom() % 120);
        view->pruneBufferToNextFrame();
    });
}

void ZVAnimatedImageView::didEnterBackground() {
    requestQueue_->cancelAllOperations();
    pruneBufferToNextFrame();
}

bool ZVAnimatedImageView::isBuffered(size_t index) const {
    std::lock_guard lock(lock_);
    return buffer_.count(index) > 0;
}

bool ZVAnimatedImageView::storeFrame(size_t index, std::shared_ptr<UIImage> frame, const UIImage* owner) {
    std::lock_guard lock(lock_);
    if (bufferOwner_ != owner) return false;  // the image changed meanwhile
    buffer_[index] = std::move(frame);
    return true;
}

// MARK: - For tests

std::vector<size_t> ZVAnimatedImageView::bufferedFrameIndexes() const {
    std::lock_guard lock(lock_);
    std::vector<size_t> indexes;
    for (const auto& [index, frame] : buffer_) indexes.push_back(index);
    return indexes;
}

void ZVAnimatedImageView::waitUntilFetchesFinished() const {
    if (requestQueue_) requestQueue_->waitUntilAllOperationsAreFinished();
}

void ZVAnimatedImageView::setRandomSourceForTesting(std::function<uint32_t()> source) {
    std::lock_guard lock(randomMutex());
    randomSource() = std::move(source);
}

// MARK: - Archiving

Data ZVAnimatedImageView::archivedData() const {
    Value root = Value::dict({{kRunloopModeKey, runloopMode_}, {kAutoPlayKey, autoPlay_}});
    auto add = [&root](const char* key, const std::shared_ptr<UIImage>& image) {
        auto* animated = dynamic_cast<const ZVImage*>(image.get());
        if (animated && animated->animatedImageFrameCount() >= 2) root.set(key, animated->archivedData());
    };
    add(kImageKey, image());
    add(kHighlightedImageKey, highlightedImage());
    return keyedarchive::archive(root);
}

std::shared_ptr<ZVAnimatedImageView> ZVAnimatedImageView::initWithArchivedData(const Data& archive) {
    auto root = keyedarchive::unarchive(archive);
    if (!root || !root->isDict()) return nullptr;
    auto view = create();
    std::string mode = root->str(kRunloopModeKey);
    view->setRunloopMode(mode.empty() ? NSRunLoopCommonModes : mode);
    const Value& autoPlay = (*root)[kAutoPlayKey];
    view->setAutoPlayAnimatedImage(autoPlay.isNull() ? true : autoPlay.boolValue());
    if (const auto* bytes = (*root)[kImageKey].getData()) view->setImage(ZVImage::imageWithArchivedData(*bytes));
    if (const auto* bytes = (*root)[kHighlightedImageKey].getData())
        view->setHighlightedImage(ZVImage::imageWithArchivedData(*bytes));
    return view;
}
