#include "platform/device/ALAssetsLibrary.h"

#include <algorithm>

#include "platform/device/PhotoLibrary.h"
#include "platform/device/PhotoLibraryMonitor.h"
#include "platform/dispatch/DispatchQueue.h"

namespace {

// One worker for listings and look-ups: enumerations asked for together
// share one listing instead of reading the folder side by side.
const std::shared_ptr<DispatchQueue>& libraryQueue() {
    static auto* queue = new std::shared_ptr<DispatchQueue>(DispatchQueue::serial("korvel.photolibrary.listing"));
    return *queue;
}

}  // namespace

// ---- ALAsset

ALAssetType ALAsset::type() const {
    return entry_.kind == photolibrary::MediaKind::Video ? ALAssetType::Video : ALAssetType::Photo;
}

void ALAsset::requestThumbnail(ImageCompletion done) const {
    AssetImageLoader::shared().request(entry_.path, AssetImageLoader::Kind::Thumbnail, std::move(done));
}

void ALAsset::requestFullScreenImage(ImageCompletion done) const {
    AssetImageLoader::shared().request(entry_.path, AssetImageLoader::Kind::FullScreen, std::move(done));
}

bool ALAssetsFilter::accepts(const ALAsset& asset) const {
    switch (kind_) {
        case Kind::Photos: return asset.type() == ALAssetType::Photo;
        case Kind::Videos: return asset.type() == ALAssetType::Video;
        default: return true;
    }
}

// ---- ALAssetsGroup

ALAssetsGroup::ALAssetsGroup(photolibrary::Folder folder) : folder_(std::move(folder)) {
    for (auto& e : folder_.entries) all_.push_back(std::make_shared<ALAsset>(e));
    assets_ = all_;
}

void ALAssetsGroup::setAssetsFilter(const ALAssetsFilter& filter) {
    assets_.clear();
    std::copy_if(all_.begin(), all_.end(), std::back_inserter(assets_),
                 [&](const std::shared_ptr<ALAsset>& a) { return filter.accepts(*a); });
}

void ALAssetsGroup::enumerateAssetsUsingBlock(const AssetBlock& block) const {
    enumerateAssetsAtIndexes(0, assets_.size(), block);
}

void ALAssetsGroup::enumerateAssetsInReverse(const AssetBlock& block) const {
    bool stop = false;
    for (size_t i = assets_.size(); i-- > 0 && !stop;) block(assets_[i], i, stop);
}

void ALAssetsGroup::enumerateAssetsAtIndexes(size_t first, size_t count, const AssetBlock& block) const {
    bool stop = false;
    size_t end = first + std::min(count, assets_.size() - std::min(first, assets_.size()));
    for (size_t i = first; i < end && !stop; ++i) block(assets_[i], i, stop);
}

// ---- ALAssetsLibrary

ALAssetsLibrary::ALAssetsLibrary() {
    if (isMainThread()) PhotoLibraryMonitor::hold();
    else DispatchQueue::main()->async(PhotoLibraryMonitor::hold);
}

ALAssetsLibrary::~ALAssetsLibrary() {
    if (isMainThread()) PhotoLibraryMonitor::release();
    else DispatchQueue::main()->async(PhotoLibraryMonitor::release);
}

ALAssetsLibrary::Listing ALAssetsLibrary::listing(Error* error) {
    auto root = PhotoLibrary::folder();
    uint64_t generation = PhotoLibraryMonitor::generation();
    {
        std::lock_guard lock(mutex_);
        if (listing_ && listedRoot_ == root && listedGeneration_ == generation) return listing_;
    }
    auto folders = photolibrary::scan(root, error);
    if (!folders) return nullptr;
    auto made = std::make_shared<const std::vector<photolibrary::Folder>>(std::move(*folders));
    std::lock_guard lock(mutex_);
    listing_ = made;
    listedRoot_ = root;
    listedGeneration_ = generation;
    return made;
}

void ALAssetsLibrary::enumerateGroupsWithTypes(ALAssetsGroupType types, GroupBlock block, FailureBlock failure) {
    std::weak_ptr<ALAssetsLibrary> weak = weak_from_this();
    libraryQueue()->async([this, weak, types, block = std::move(block), failure = std::move(failure)]() mutable {
        auto self = weak.lock();
        if (!self) return;
        Error error;
        auto folders = listing(&error);
        DispatchQueue::main()->async([folders, types, error, block = std::move(block), failure = std::move(failure)] {
            if (!folders) {
                if (failure) failure(error);
                return;
            }
            bool stop = false;
            for (auto& f : *folders) {
                if (!(f.groupType & types)) continue;
                if (block) block(std::make_shared<ALAssetsGroup>(f), stop);
                if (stop) return;
            }
            if (block) block(nullptr, stop);
        });
    });
}

void ALAssetsLibrary::assetForURL(const std::string& url, ResultBlock result, FailureBlock failure) {
    libraryQueue()->async([url, result = std::move(result)]() mutable {
        auto root = PhotoLibrary::folder();
        std::shared_ptr<ALAsset> asset;
        if (auto path = photolibrary::pathForURL(root, url))
            if (auto entry = photolibrary::entryForPath(root, *path)) asset = std::make_shared<ALAsset>(*entry);
        DispatchQueue::main()->async([asset, result = std::move(result)] {
            if (result) result(asset);
        });
    });
    (void)failure;  // a URL that names nothing is an answer, not a failure
}
