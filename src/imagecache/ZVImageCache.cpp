#include "imagecache/ZVImageCache.h"

#include <cmath>
#include <map>
#include <mutex>

#include "imagecache/ZVImage.h"
#include "imagecache/ZVImageCoder.h"
#include "imagecache/ZVImageDecoder.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/graphics/CGContext.h"

namespace {

constexpr double kMemoryAgeLimit = 12 * 60 * 60;

const std::shared_ptr<DispatchQueue>& lowQueue() {
    static const auto q = DispatchQueue::global(DispatchQueue::QoS::Utility);
    return q;
}

const std::shared_ptr<DispatchQueue>& defaultQueue() {
    static const auto q = DispatchQueue::global(DispatchQueue::QoS::Default);
    return q;
}

// The memory level holds images as the platform class, whatever their own
// class, so that every reader finds them as UIImage.
CacheObject imageObject(std::shared_ptr<UIImage> image) { return CacheObject(std::move(image)); }

// A scale read from the disk is the main screen's unless it is one a screen
// could have (1/8 to 8): a damaged folder's 5e-324 would make an image of
// endless point size.
double scaleFromExtendedData(const std::optional<Data>& extended) {
    if (extended && !extended->empty()) {
        if (auto root = keyedarchive::unarchive(*extended); root && root->isNumber()) {
            double scale = root->doubleValue();
            if (scale >= 0.125 && scale <= 8) return scale;
        }
    }
    return kMainScreenScale;
}

}  // namespace

const std::shared_ptr<ZVImageCache>& ZVImageCache::sharedCache() {
    static const auto* cache =
        new std::shared_ptr<ZVImageCache>(initWithPath((AppHome::caches() / "com.odvanel.ZVkit" / "images").string()));
    return *cache;
}

std::shared_ptr<ZVImageCache> ZVImageCache::initWithPath(const std::string& path) {
    if (path.empty()) return nullptr;
    auto disk = ZVDiskCache::initWithPath(path);
    if (!disk) return nullptr;
    // The bytes are the stored object itself: no archive, no copy.
    disk->setCustomArchiveBlock([](const CacheObject& object) { return object.as<const Data>(); });
    disk->setCustomUnarchiveBlock([](Data&& bytes) { return CacheObject::make<Data>(std::move(bytes)); });
    auto memory = ZVMemoryCache::create();
    memory->setShouldRemoveAllObjectsOnMemoryWarning(true);
    memory->setShouldRemoveAllObjectsWhenEnteringBackground(true);
    memory->setCountLimit(UINT64_MAX);
    memory->setCostLimit(UINT64_MAX);
    memory->setAgeLimit(kMemoryAgeLimit);
    return std::shared_ptr<ZVImageCache>(new ZVImageCache(std::move(memory), std::move(disk)));
}

ZVImageCache::ZVImageCache(std::shared_ptr<ZVMemoryCache> memory, std::shared_ptr<ZVDiskCache> disk)
    : memoryCache_(std::move(memory)), diskCache_(std::move(disk)) {}

std::string ZVImageCache::name() const {
    std::lock_guard lock(nameLock_);
    return name_;
}

void ZVImageCache::setName(std::string name) {
    std::lock_guard lock(nameLock_);
    name_ = std::move(name);
}

// MARK: - Storing

void ZVImageCache::setImage(std::shared_ptr<UIImage> image, const std::string& key) {
    setImage(std::move(image), nullptr, key, ZVImageCacheTypeAll);
}

void ZVImageCache::setImage(std::shared_ptr<UIImage> image, std::shared_ptr<const Data> imageData,
                            const std::string& key, ZVImageCacheType type) {
    store(std::move(image), std::move(imageData), key, type, false);
}

void ZVImageCache::setImageInBatch(std::shared_ptr<UIImage> image, std::shared_ptr<const Data> imageData,
                                   const std::string& key, ZVImageCacheType type) {
    store(std::move(image), std::move(imageData), key, type, true);
}

void ZVImageCache::store(std::shared_ptr<UIImage> image, std::shared_ptr<const Data> imageData, const std::string& key,
                         ZVImageCacheType type, bool batched) {
    if (key.empty()) return;
    if (imageData && imageData->empty()) imageData = nullptr;
    if (!image && !imageData) return;
    if (type & ZVImageCacheTypeMemory) storeInMemory(image, imageData, key);
    if (type & ZVImageCacheTypeDisk) storeOnDisk(std::move(image), std::move(imageData), key, batched);
}

void ZVImageCache::storeInMemory(std::shared_ptr<UIImage> image, std::shared_ptr<const Data> bytes,
                                 const std::string& key) {
    if (image && ZVImageCoder::ZV_isDecodedForDisplay(*image)) {
        memoryCache_->setObject(imageObject(image), key, imageCost(image.get()));
        return;
    }
    std::weak_ptr<ZVImageCache> weak = weak_from_this();
    lowQueue()->async([weak, image = std::move(image), bytes = std::move(bytes), key] {
        auto self = weak.lock();
        if (!self) return;
        if (image) {
            auto decoded = ZVImageCoder::ZV_imageByDecoded(image);
            self->memoryCache_->setObject(imageObject(decoded), key, imageCost(image.get()));
        } else if (auto made = self->imageFromData(*bytes)) {
            self->memoryCache_->setObject(imageObject(made), key, imageCost(made.get()));
        }
    });
}

void ZVImageCache::storeOnDisk(std::shared_ptr<UIImage> image, std::shared_ptr<const Data> bytes,
                               const std::string& key, bool batched) {
    if (bytes) {
        CacheObject object(std::move(bytes));
        if (image) ZVDiskCache::setExtendedData(scaleExtendedData(image->scale()), object);
        batched ? diskCache_->setObjectInBatch(object, key) : diskCache_->setObject(object, key);
        return;
    }
    std::weak_ptr<ZVImageCache> weak = weak_from_this();
    defaultQueue()->async([weak, image = std::move(image), key, batched] {
        auto self = weak.lock();
        if (!self) return;
        auto encoded = ZVImageCoder::ZV_imageDataRepresentation(*image);
        if (!encoded || encoded->empty()) return;
        auto object = CacheObject::make<Data>(std::move(*encoded));
        ZVDiskCache::setExtendedData(scaleExtendedData(image->scale()), object);
        batched ? self->diskCache_->setObjectInBatch(object, key) : self->diskCache_->setObject(object, key);
    });
}

// Every store of a downloaded image carries one, and the scales in use are
// few: each is archived once.
Data ZVImageCache::scaleExtendedData(double scale) {
    if (!std::isfinite(scale)) return keyedarchive::archive(Value(scale));  // no key of an ordered map
    static std::mutex mutex;  // guards archives
    static auto* archives = new std::map<double, Data>();
    std::lock_guard lock(mutex);
    auto it = archives->find(scale);
    if (it != archives->end()) return it->second;
    if (archives->size() >= 16) archives->clear();
    return (*archives)[scale] = keyedarchive::archive(Value(scale));
}

// MARK: - Removing and asking

void ZVImageCache::removeImageForKey(const std::string& key, ZVImageCacheType type) {
    if (type & ZVImageCacheTypeMemory) memoryCache_->removeObjectForKey(key);
    if (type & ZVImageCacheTypeDisk) diskCache_->removeObjectForKey(key);
}

bool ZVImageCache::containsImageForKey(const std::string& key, ZVImageCacheType type) {
    if ((type & ZVImageCacheTypeMemory) && memoryCache_->containsObjectForKey(key)) return true;
    return (type & ZVImageCacheTypeDisk) && diskCache_->containsObjectForKey(key);
}

// MARK: - Looking up

std::shared_ptr<UIImage> ZVImageCache::imageFromDisk(const std::string& key) {
    CacheObject object = diskCache_->objectForKey(key);
    auto bytes = object.as<const Data>();
    if (!bytes) return nullptr;
    return imageFromData(*bytes, ZVDiskCache::getExtendedDataFromObject(object));
}

std::shared_ptr<UIImage> ZVImageCache::getImageForKey(const std::string& key, ZVImageCacheType type) {
    if (key.empty()) return nullptr;
    if (type & ZVImageCacheTypeMemory) {
        if (auto hit = memoryCache_->objectForKey(key).as<UIImage>()) return hit;
    }
    if (!(type & ZVImageCacheTypeDisk)) return nullptr;
    auto image = imageFromDisk(key);
    if (image && (type & ZVImageCacheTypeMemory)) memoryCache_->setObject(imageObject(image), key, imageCost(image.get()));
    return image;
}

void ZVImageCache::getImageForKey(const std::string& key, ZVImageCacheType type, GetImageBlock block) {
    if (!block) return;
    auto self = shared_from_this();  // held until it has called back
    defaultQueue()->async([self, key, type, block = std::move(block)]() mutable {
        auto answer = [&block](std::shared_ptr<UIImage> image, ZVImageCacheType from) {
            DispatchQueue::main()->async([block = std::move(block), image = std::move(image), from] { block(image, from); });
        };
        if (type & ZVImageCacheTypeMemory) {
            if (auto hit = self->memoryCache_->objectForKey(key).as<UIImage>()) return answer(hit, ZVImageCacheTypeMemory);
        }
        if ((type & ZVImageCacheTypeDisk) && !key.empty()) {
            if (auto image = self->imageFromDisk(key)) {
                // With its real cost, so that a byte budget counts it.
                self->memoryCache_->setObject(imageObject(image), key, imageCost(image.get()));
                return answer(image, ZVImageCacheTypeDisk);
            }
        }
        answer(nullptr, ZVImageCacheTypeNone);
    });
}

std::shared_ptr<const Data> ZVImageCache::getImageDataForKey(const std::string& key) {
    return diskCache_->objectForKey(key).as<const Data>();
}

void ZVImageCache::getImageDataForKey(const std::string& key, GetDataBlock block) {
    if (!block) return;
    auto self = shared_from_this();
    defaultQueue()->async([self, key, block = std::move(block)]() mutable {
        auto bytes = self->getImageDataForKey(key);
        DispatchQueue::main()->async([block = std::move(block), bytes = std::move(bytes)] { block(bytes); });
    });
}

// MARK: - Images and their cost

uint64_t ZVImageCache::imageCost(const UIImage* image) {
    const auto* bitmap = image ? image->CGImage().get() : nullptr;
    if (!bitmap) return 1;
    auto cost = uint64_t(double(bitmap->height()) * double(bitmap->bytesPerRow()));
    return cost == 0 ? 1 : cost;
}

std::shared_ptr<UIImage> ZVImageCache::imageFromData(const Data& bytes, const std::optional<Data>& extendedData) {
    if (bytes.empty()) return nullptr;
    double scale = scaleFromExtendedData(extendedData);
    if (allowAnimatedImage()) {
        std::shared_ptr<UIImage> image = ZVImage::imageWithData(bytes, scale);
        return decodeForDisplay() ? ZVImageCoder::ZV_imageByDecoded(image) : image;
    }
    auto decoder = ZVImageDecoder::decoderWithData(bytes, scale);
    auto frame = decoder ? decoder->frameAtIndex(0, decodeForDisplay()) : nullptr;
    return frame ? frame->image : nullptr;
}
