#pragma once
// The pictures of the photo library's assets: square thumbnails (150 × 150
// pixels, the picture scaled to fill the square and cut equally on both
// sides) and full-screen images (fitted inside 750 × 1334 pixels, never
// enlarged), both upright (EXIF orientation applied) at scale 1.
//
// They are decoded off the main thread and kept in a least-recently-used
// cache. Full-screen images are answered on the main queue in the order
// they were asked for; thumbnails as soon as each is made, by a few
// workers, so that one slow file holds up no other thumbnail. A file
// that is not a picture, is broken, is larger than 128 MiB or decodes to
// more than 64 megapixels (imageio refuses it) answers nullptr; so do
// videos, whose pictures are not read.

#include <filesystem>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/graphics/UIImage.h"

class AssetImageLoader {
public:
    enum class Kind { Thumbnail, FullScreen };
    static constexpr int kThumbnailSide = 150;
    static constexpr int kFullScreenWidth = 750;
    static constexpr int kFullScreenHeight = 1334;
    static constexpr int kThumbnailWorkers = 3;

    static AssetImageLoader& shared();

    using Completion = std::function<void(std::shared_ptr<UIImage>)>;
    void request(const std::filesystem::path& path, Kind kind, Completion done);

    // Called on the worker queue before each file is read and decoded (tests
    // count decodes); empty removes it.
    using DecodeObserver = std::function<void(const std::filesystem::path&, Kind)>;
    void setDecodeObserver(DecodeObserver observer);
    void clearCache();

    // The thumbnail or full-screen image of a picture as displayed.
    static std::shared_ptr<UIImage> makeImage(const UIImage& picture, Kind kind);

private:
    AssetImageLoader();
    struct Job {
        std::filesystem::path path;
        Completion done;
    };
    // Makes the waiting thumbnails, oldest first, until none waits.
    void drainThumbnails();
    std::shared_ptr<UIImage> load(const std::filesystem::path& path, Kind kind);
    std::shared_ptr<UIImage> cached(const std::string& key);
    void remember(const std::string& key, Kind kind, const std::shared_ptr<UIImage>& image);

    std::shared_ptr<DispatchQueue> queue_;    // full-screen images, in order
    std::shared_ptr<DispatchQueue> workers_;  // thumbnails
    std::mutex mutex_;  // guards the caches, the observer and the waiting thumbnails
    std::list<Job> waiting_;
    int drainers_ = 0;
    struct Cache {
        size_t capacity;
        std::list<std::pair<std::string, std::shared_ptr<UIImage>>> order;  // most recent first
        std::map<std::string, decltype(order)::iterator> index;
    };
    Cache thumbnails_{300, {}, {}}, fullScreen_{4, {}, {}};
    DecodeObserver observer_;
};
