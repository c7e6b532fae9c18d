#pragma once
// The photo library as albums ("groups") of assets, in the platform's
// shape, over the folder of PhotoLibrary.h (PhotoLibraryScan.h says how
// the folder reads).
//
// Differences from the platform, all to keep the main thread free: group
// enumerations and URL look-ups run on a worker and answer on the main
// queue; pictures are asked for with a completion (AssetImageLoader.h)
// instead of being decoded on the spot. A group holds the listing it was
// found with; enumerating its assets is immediate.
//
// While any library object lives, the folder and its subfolders are
// watched: changes post ALAssetsLibraryChangedNotification (on the main
// thread, at most one per 0.3 s on the replaceable clock) whose user info
// holds, under ALAssetLibraryUpdatedAssetGroupsKey, the URLs of the groups
// that changed.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/device/AssetImageLoader.h"
#include "platform/device/PhotoLibraryScan.h"
#include "platform/foundation/Error.h"

inline const char* const ALAssetsLibraryChangedNotification = "ALAssetsLibraryChangedNotification";
inline const char* const ALAssetLibraryUpdatedAssetGroupsKey = "ALAssetLibraryUpdatedAssetGroupsKey";

using ALAssetsGroupType = uint32_t;
inline constexpr ALAssetsGroupType ALAssetsGroupAlbum = photolibrary::kGroupAlbum;
inline constexpr ALAssetsGroupType ALAssetsGroupSavedPhotos = photolibrary::kGroupSavedPhotos;
inline constexpr ALAssetsGroupType ALAssetsGroupPhotoStream = photolibrary::kGroupPhotoStream;
inline constexpr ALAssetsGroupType ALAssetsGroupAll = 0xFFFFFFFF;

enum class ALAssetType { Photo, Video, Unknown };

class ALAsset {
public:
    using ImageCompletion = AssetImageLoader::Completion;
    explicit ALAsset(photolibrary::Entry entry) : entry_(std::move(entry)) {}

    const std::string& url() const { return entry_.url; }  // the asset URL
    ALAssetType type() const;
    double duration() const { return entry_.duration; }  // seconds; 0 for photos
    const std::filesystem::path& path() const { return entry_.path; }

    // The default representation's URL (the file's, as the asset's).
    const std::string& representationURL() const { return entry_.url; }
    void requestThumbnail(ImageCompletion done) const;
    void requestFullScreenImage(ImageCompletion done) const;

private:
    photolibrary::Entry entry_;
};

class ALAssetsFilter {
public:
    enum class Kind { All, Photos, Videos };
    static ALAssetsFilter allAssets() { return ALAssetsFilter(Kind::All); }
    static ALAssetsFilter allPhotos() { return ALAssetsFilter(Kind::Photos); }
    static ALAssetsFilter allVideos() { return ALAssetsFilter(Kind::Videos); }
    bool accepts(const ALAsset& asset) const;
    Kind kind() const { return kind_; }

private:
    explicit ALAssetsFilter(Kind k) : kind_(k) {}
    Kind kind_;
};

class ALAssetsGroup {
public:
    explicit ALAssetsGroup(photolibrary::Folder folder);

    const std::string& name() const { return folder_.name; }
    ALAssetsGroupType type() const { return folder_.groupType; }
    const std::string& url() const { return folder_.url; }

    void setAssetsFilter(const ALAssetsFilter& filter);
    size_t numberOfAssets() const { return assets_.size(); }

    // The block gets each asset (under the filter) with its index, until
    // it sets `stop`.
    using AssetBlock = std::function<void(const std::shared_ptr<ALAsset>& asset, size_t index, bool& stop)>;
    void enumerateAssetsUsingBlock(const AssetBlock& block) const;
    void enumerateAssetsInReverse(const AssetBlock& block) const;
    // The assets at [first, first + count), clamped to the group.
    void enumerateAssetsAtIndexes(size_t first, size_t count, const AssetBlock& block) const;

private:
    photolibrary::Folder folder_;
    std::vector<std::shared_ptr<ALAsset>> all_, assets_;
};

class ALAssetsLibrary : public std::enable_shared_from_this<ALAssetsLibrary> {
public:
    ALAssetsLibrary();
    virtual ~ALAssetsLibrary();
    ALAssetsLibrary(const ALAssetsLibrary&) = delete;
    ALAssetsLibrary& operator=(const ALAssetsLibrary&) = delete;

    using GroupBlock = std::function<void(const std::shared_ptr<ALAssetsGroup>& group, bool& stop)>;
    using FailureBlock = std::function<void(const Error& error)>;
    // Sends each group of the types (a mask) to `block`, then nullptr once;
    // or, when the library cannot be read, calls `failure` instead.
    virtual void enumerateGroupsWithTypes(ALAssetsGroupType types, GroupBlock block, FailureBlock failure);

    using ResultBlock = std::function<void(const std::shared_ptr<ALAsset>& asset)>;
    // The asset at the URL, or nullptr when there is none (a file gone,
    // outside the library, or no asset).
    virtual void assetForURL(const std::string& url, ResultBlock result, FailureBlock failure);

private:
    using Listing = std::shared_ptr<const std::vector<photolibrary::Folder>>;
    // The folder's listing (made again after a change), or nullptr.
    Listing listing(Error* error);

    std::mutex mutex_;  // guards the cached listing
    Listing listing_;
    std::filesystem::path listedRoot_;
    uint64_t listedGeneration_ = 0;
};
