#pragma once
// The two-level cache of web images: decoded images in a memory cache
// (cost = bitmap bytes, so a cost limit is a byte budget; entries expire
// 12 hours after their last use and go on memory warnings and in the
// background) and their encoded bytes in a disk cache, stored as they are
// (no archive around them) with the image's scale as extended data.
//
// Every operation may be called from any thread. Stores return at once:
// decoding for the memory level and encoding for the disk level (when no
// bytes are given) happen on global queues, and are skipped once the cache
// is gone. Callback lookups always answer on the main queue.
//
// Stored bytes that are corrupt, truncated or hostile decode to null
// through the decoder's limits: a miss, never a crash. An empty key stands
// for the platform's null key: nothing is stored, nothing found.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "imagecache/ZVDiskCache.h"
#include "imagecache/ZVMemoryCache.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/UIImage.h"

// The levels an operation uses (a bit set); None is the source reported
// when nothing was found.
enum ZVImageCacheType : unsigned {
    ZVImageCacheTypeNone = 0,
    ZVImageCacheTypeMemory = 1 << 0,
    ZVImageCacheTypeDisk = 1 << 1,
    ZVImageCacheTypeAll = ZVImageCacheTypeMemory | ZVImageCacheTypeDisk,
};

class ZVImageCache : public std::enable_shared_from_this<ZVImageCache> {
public:
    using GetImageBlock = std::function<void(std::shared_ptr<UIImage> image, ZVImageCacheType from)>;
    using GetDataBlock = std::function<void(std::shared_ptr<const Data> bytes)>;

    // The process-wide cache in Caches/"com.odvanel.ZVkit"/"images" of the
    // application home, made on first use; null when its disk cache cannot
    // be created.
    static const std::shared_ptr<ZVImageCache>& sharedCache();
    // Null for an empty path or when the disk cache cannot be created. (There
    // is no default constructor: a cache needs a folder.)
    static std::shared_ptr<ZVImageCache> initWithPath(const std::string& path);

    std::string name() const;
    void setName(std::string name);
    const std::shared_ptr<ZVMemoryCache>& memoryCache() const { return memoryCache_; }
    const std::shared_ptr<ZVDiskCache>& diskCache() const { return diskCache_; }
    // On (the default): stored bytes come back as ZVImage, animation kept;
    // off: as a still image of the first frame.
    bool allowAnimatedImage() const { return allowAnimatedImage_.load(); }
    void setAllowAnimatedImage(bool v) { allowAnimatedImage_.store(v); }
    // On (the default): images enter the memory level decoded for display.
    bool decodeForDisplay() const { return decodeForDisplay_.load(); }
    void setDecodeForDisplay(bool v) { decodeForDisplay_.store(v); }

    // Stores nothing without a key, or with neither an image nor bytes. An
    // image alone is encoded for the disk level in the background (PNG with
    // alpha, else JPEG at 0.9); bytes alone are decoded for the memory level
    // in the background; given bytes are written to disk at once.
    void setImage(std::shared_ptr<UIImage> image, const std::string& key);
    void setImage(std::shared_ptr<UIImage> image, std::shared_ptr<const Data> imageData, const std::string& key,
                  ZVImageCacheType type);
    // The same, but the disk write joins the disk level's batch (written in
    // one transaction with the stores made close to it; found at once all
    // the same): for a burst of downloads.
    void setImageInBatch(std::shared_ptr<UIImage> image, std::shared_ptr<const Data> imageData, const std::string& key,
                         ZVImageCacheType type);

    void removeImageForKey(const std::string& key, ZVImageCacheType type = ZVImageCacheTypeAll);
    bool containsImageForKey(const std::string& key, ZVImageCacheType type = ZVImageCacheTypeAll);

    // Memory first; a disk hit is decoded and, when the type includes the
    // memory level, kept there with its cost.
    std::shared_ptr<UIImage> getImageForKey(const std::string& key, ZVImageCacheType type = ZVImageCacheTypeAll);
    // The same on a global queue; `block` runs on the main queue with the
    // image and where it came from (None with a null image for a miss).
    // Nothing happens without a block.
    void getImageForKey(const std::string& key, ZVImageCacheType type, GetImageBlock block);

    std::shared_ptr<const Data> getImageDataForKey(const std::string& key);
    // On a global queue; `block` runs on the main queue. Nothing without a block.
    void getImageDataForKey(const std::string& key, GetDataBlock block);

    // Bitmap bytes (height × bytes per row); 1 without a bitmap.
    static uint64_t imageCost(const UIImage* image);
    // An image from stored bytes at the scale of their extended data (a
    // keyed archive of a number; the main screen's scale when it is missing,
    // unreadable, or outside 1/8 to 8); null when undecodable.
    std::shared_ptr<UIImage> imageFromData(const Data& bytes, const std::optional<Data>& extendedData = std::nullopt);
    // The extended data that carries `scale`.
    static Data scaleExtendedData(double scale);

private:
    ZVImageCache(std::shared_ptr<ZVMemoryCache> memory, std::shared_ptr<ZVDiskCache> disk);
    void storeInMemory(std::shared_ptr<UIImage> image, std::shared_ptr<const Data> bytes, const std::string& key);
    void store(std::shared_ptr<UIImage> image, std::shared_ptr<const Data> imageData, const std::string& key,
               ZVImageCacheType type, bool batched);
    void storeOnDisk(std::shared_ptr<UIImage> image, std::shared_ptr<const Data> bytes, const std::string& key,
                     bool batched);
    std::shared_ptr<UIImage> imageFromDisk(const std::string& key);

    const std::shared_ptr<ZVMemoryCache> memoryCache_;
    const std::shared_ptr<ZVDiskCache> diskCache_;
    mutable std::mutex nameLock_;  // guards name_
    std::string name_;
    std::atomic<bool> allowAnimatedImage_{true};
    std::atomic<bool> decodeForDisplay_{true};
};
