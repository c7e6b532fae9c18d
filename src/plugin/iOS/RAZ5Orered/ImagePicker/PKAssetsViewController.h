#pragma once
// The picker's second screen: one album's assets as square thumbnails,
// oldest first. The player ticks assets (multiple selection) or taps one
// (single selection); the grid keeps the picker's selection and maximum,
// marks videos with their duration, shows the album's counts in a footer
// and the selection count in the toolbar, and opens at the newest asset.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/device/ALAssetsLibrary.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/ui/UIBarItems.h"
#include "platform/ui/UICollectionView.h"
#include "plugin/iOS/RAZ5Orered/ImagePicker/PKAssetViews.h"

class PKImagePickerController;

class PKAssetsViewController : public UICollectionViewController {
public:
    static constexpr const char* kCellIdentifier = "AssetCell";
    static constexpr const char* kFooterIdentifier = "FooterView";

    explicit PKAssetsViewController(std::shared_ptr<UICollectionViewFlowLayout> layout = nullptr);
    ~PKAssetsViewController() override;

    std::weak_ptr<PKImagePickerController> imagePickerController;
    std::shared_ptr<UIBarButtonItem> doneButton;  // outlet
    // Set by the storyboard: the prototypes of "AssetCell" and "FooterView"
    // (a view with a label of tag 1).
    std::function<std::shared_ptr<PKAssetCell>()> assetCellPrototype;
    std::function<std::shared_ptr<UICollectionReusableView>()> footerPrototype;

    const std::shared_ptr<ALAssetsGroup>& assetsGroup() const { return assetsGroup_; }
    // Shows the album (the grid reloads).
    void setAssetsGroup(std::shared_ptr<ALAssetsGroup> group);
    const std::vector<std::shared_ptr<ALAsset>>& assets() const { return assets_; }
    uint64_t numberOfAssets() const { return numberOfAssets_; }
    uint64_t numberOfPhotos() const { return numberOfPhotos_; }
    uint64_t numberOfVideos() const { return numberOfVideos_; }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    // A change of size: the last visible item stays in view at the bottom.
    void viewWillTransitionToSize(CGSize size);

    // The maximum is one, and not below the minimum: a new tap replaces the selection.
    bool isAutoDeselectEnabled() const;
    void done();
    void updateDoneButtonState();
    void updateSelectionInfo();
    void updateAssets();

    long collectionView_numberOfItemsInSection(UICollectionView&, long) override { return long(numberOfAssets_); }
    std::shared_ptr<UICollectionViewCell> collectionView_cellForItemAtIndexPath(UICollectionView& c,
                                                                               const NSIndexPath& ip) override;
    std::shared_ptr<UICollectionReusableView> collectionView_viewForSupplementaryElementOfKind(
        UICollectionView& c, const std::string& kind, const NSIndexPath& ip) override;
    std::optional<bool> collectionView_shouldSelectItemAtIndexPath(UICollectionView& c, const NSIndexPath& ip) override;
    void collectionView_didSelectItemAtIndexPath(UICollectionView& c, const NSIndexPath& ip) override;
    void collectionView_didDeselectItemAtIndexPath(UICollectionView& c, const NSIndexPath& ip) override;
    std::optional<CGSize> collectionView_layout_sizeForItemAtIndexPath(UICollectionView& c, const NSIndexPath& ip) override;

private:
    void assetsLibraryChanged(const NSNotification& note);
    std::shared_ptr<PKImagePickerController> picker() const { return imagePickerController.lock(); }
    std::shared_ptr<ALAsset> assetAt(const NSIndexPath& ip) const;
    void requestThumbnail(const std::shared_ptr<PKAssetCell>& cell, const std::shared_ptr<ALAsset>& asset, long item);

    std::shared_ptr<ALAssetsGroup> assetsGroup_;
    std::vector<std::shared_ptr<ALAsset>> assets_;
    uint64_t numberOfAssets_ = 0, numberOfPhotos_ = 0, numberOfVideos_ = 0;
    bool disableScrollToBottom_ = false;
    std::optional<NSIndexPath> indexPathForLastVisibleItem_, lastSelectedItemIndexPath_;
    std::shared_ptr<UIBarButtonItem> infoItem_;
};
