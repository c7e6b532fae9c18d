#include "platform/device/AssetImageLoader.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/Files.h"
#include "platform/device/PhotoLibraryScan.h"

namespace fs = std::filesystem;

namespace {

constexpr uintmax_t kMaxFileBytes = uintmax_t(128) << 20;

// The cache key names the file as it is now, so a replaced file is read again.
std::string keyFor(const fs::path& path, AssetImageLoader::Kind kind) {
    std::error_code ec;
    auto stamp = fs::last_write_time(path, ec).time_since_epoch().count();
    auto size = fs::file_size(path, ec);
    return std::string(kind == AssetImageLoader::Kind::Thumbnail ? "T|" : "F|") + path.native() + "|" +
           std::to_string(stamp) + "|" + std::to_string(ec ? 0 : size);
}

std::shared_ptr<UIImage> render(const UIImage& picture, CGSize canvas, const CGRect& drawn) {
    bool opaque = !picture.CGImage()->hasAlpha();
    auto ctx = CGContext::bitmap(canvas, opaque, 1);
    if (!ctx) return nullptr;
    picture.drawInRect(*ctx, drawn);
    return UIImage::imageWithCGImage(ctx->makeImage(), 1, UIImageOrientation::Up);
}

}  // namespace

AssetImageLoader& AssetImageLoader::shared() {
    static AssetImageLoader* loader = new AssetImageLoader();
    return *loader;
}

AssetImageLoader::AssetImageLoader()
    : queue_(DispatchQueue::serial("korvel.photolibrary.images")),
      workers_(DispatchQueue::concurrent("korvel.photolibrary.thumbnails")) {}

std::shared_ptr<UIImage> AssetImageLoader::makeImage(const UIImage& picture, Kind kind) {
    CGSize size = picture.size();
    double w = size.width * picture.scale(), h = size.height * picture.scale();
    if (!picture.CGImage() || w < 1 || h < 1) return nullptr;
    if (kind == Kind::Thumbnail) {
        double side = kThumbnailSide, scale = std::max(side / w, side / h);
        double dw = w * scale, dh = h * scale;
        return render(picture, CGSize{side, side}, CGRect((side - dw) / 2, (side - dh) / 2, dw, dh));
    }
    double scale = std::min({1.0, kFullScreenWidth / w, kFullScreenHeight / h});
    double dw = std::max(1.0, std::round(w * scale)), dh = std::max(1.0, std::round(h * scale));
    return render(picture, CGSize{dw, dh}, CGRect(0, 0, dw, dh));
}

namespace {
void answer(std::shared_ptr<UIImage> image, AssetImageLoader::Completion done) {
    DispatchQueue::main()->async([image = std::move(image), done = std::move(done)] {
        if (done) done(image);
    });
}
}  // namespace

void AssetImageLoader::request(const fs::path& path, Kind kind, Completion done) {
    if (kind == Kind::FullScreen) {
        queue_->async([this, path, done = std::move(done)]() mutable { answer(load(path, Kind::FullScreen), std::move(done)); });
        return;
    }
    {
        std::lock_guard lock(mutex_);
        waiting_.push_back({path, std::move(done)});
        if (drainers_ >= kThumbnailWorkers) return;
        ++drainers_;
    }
    workers_->async([this] { drainThumbnails(); });
}

void AssetImageLoader::drainThumbnails() {
    for (;;) {
        Job job;
        {
            std::lock_guard lock(mutex_);
            if (waiting_.empty()) {
                --drainers_;
                return;
            }
            job = std::move(waiting_.front());
            waiting_.pop_front();
        }
        answer(load(job.path, Kind::Thumbnail), std::move(job.done));
    }
}

std::shared_ptr<UIImage> AssetImageLoader::load(const fs::path& path, Kind kind) {
    std::string key = keyFor(path, kind);
    if (auto hit = cached(key)) return hit;
    std::error_code ec;
    auto bytes = fs::file_size(path, ec);
    if (ec || bytes > kMaxFileBytes || !photolibrary::isPictureFile(path)) return nullptr;
    DecodeObserver observer;
    {
        std::lock_guard lock(mutex_);
        observer = observer_;
    }
    if (observer) observer(path, kind);
    auto data = files::readData(path);
    auto picture = data ? UIImage::imageWithData(*data) : nullptr;
    auto image = picture ? makeImage(*picture, kind) : nullptr;
    if (image) remember(key, kind, image);
    return image;
}

std::shared_ptr<UIImage> AssetImageLoader::cached(const std::string& key) {
    std::lock_guard lock(mutex_);
    Cache& cache = key[0] == 'T' ? thumbnails_ : fullScreen_;
    auto it = cache.index.find(key);
    if (it == cache.index.end()) return nullptr;
    cache.order.splice(cache.order.begin(), cache.order, it->second);
    return it->second->second;
}

void AssetImageLoader::remember(const std::string& key, Kind kind, const std::shared_ptr<UIImage>& image) {
    std::lock_guard lock(mutex_);
    Cache& cache = kind == Kind::Thumbnail ? thumbnails_ : fullScreen_;
    if (cache.index.count(key)) return;
    cache.order.emplace_front(key, image);
    cache.index[key] = cache.order.begin();
    while (cache.order.size() > cache.capacity) {
        cache.index.erase(cache.order.back().first);
        cache.order.pop_back();
    }
}

void AssetImageLoader::setDecodeObserver(DecodeObserver observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

void AssetImageLoader::clearCache() {
    std::lock_guard lock(mutex_);
    for (Cache* c : {&thumbnails_, &fullScreen_}) {
        c->order.clear();
        c->index.clear();
    }
}
