#pragma once
// The image picker: a container around a navigation stack of two screens,
// the albums list (PKAlbumsViewController) and an album's asset grid
// (PKAssetsViewController), from the storyboard "PKImagePicker" of the
// resource bundle "Korvel". It holds the settings both screens read and
// the one selection (asset URLs, in the order the player chose them) both
// change, and hands the outcome to its delegate; it never dismisses itself.
//
// Texts come from the bundle's string table "PKImagePicker" ("title",
// "items_selected", "format_photos", "format_videos",
// "format_photos_and_videos"), filled by strings::formatWithArguments.
// Main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/device/ALAssetsLibrary.h"
#include "platform/foundation/NSBundle.h"
#include "platform/ui/UINavigationController.h"
#include "platform/ui/UIScrollView.h"

class PKImagePickerController;

// Every operation is optional: one left empty is not sent.
struct PKImagePickerControllerDelegate {
    // Done with a multiple selection, from either screen.
    std::function<void(PKImagePickerController&, const std::vector<std::shared_ptr<ALAsset>>&)>
        qb_imagePickerController_didSelectAssets;
    // Cancel in the albums list.
    std::function<void(PKImagePickerController&)> qb_imagePickerControllerDidCancel;
    // A tap on an asset; the answer replaces the picker's own limit rule.
    std::function<bool(PKImagePickerController&, const ALAsset&)> qb_imagePickerController_shouldSelectAsset;
    // A tap that selects while multiple selection is off.
    std::function<void(PKImagePickerController&, const std::shared_ptr<ALAsset>&)> qb_imagePickerController_didSelectAsset;
};

// The toolbar both screens carry: flexible space, a disabled plain item
// with black text (the selection count, `info`), flexible space.
std::vector<std::shared_ptr<UIBarButtonItem>> PKSelectionToolbarItems(std::shared_ptr<UIBarButtonItem>& info);

// Keeps a screen's list clear of the navigation bar above it and of the
// toolbar below it when shown (the bars lie over the content); a list at
// its top stays at its top.
void PKFitBetweenBars(UIScrollView& list, UINavigationController* navigation);

class PKImagePickerController : public UIViewController {
public:
    static constexpr const char* kStoryboardName = "PKImagePicker";
    static constexpr const char* kAlbumsNavigationIdentifier = "AlbumsNavigationController";
    static constexpr const char* kStringTable = "PKImagePicker";

    // A picker with the defaults below and its navigation stack set up.
    static std::shared_ptr<PKImagePickerController> create();
    // Whether the library can be read (nothing in the system asks).
    static bool isAccessible();

    std::weak_ptr<PKImagePickerControllerDelegate> delegate;
    std::vector<ALAssetsGroupType> groupTypes{ALAssetsGroupSavedPhotos, ALAssetsGroupPhotoStream, ALAssetsGroupAlbum};
    uint64_t filterType = 0;  // 0 all, 1 photos, 2 videos, else no filter
    bool allowsMultipleSelection = false;
    uint64_t minimumNumberOfSelection = 1;
    uint64_t maximumNumberOfSelection = 0;  // 0: no limit
    std::string prompt;
    bool showsNumberOfSelectedAssets = false;
    uint64_t numberOfColumnsInPortrait = 4;
    uint64_t numberOfColumnsInLandscape = 7;
    bool showsCancelButton = false;  // stored only

    std::shared_ptr<ALAssetsLibrary> assetsLibrary = std::make_shared<ALAssetsLibrary>();
    std::shared_ptr<NSBundle> assetBundle;  // the "Korvel" bundle; null when missing
    const std::shared_ptr<UINavigationController>& albumsNavigationController() const { return albumsNavigation_; }

    // ---- The selection
    const std::vector<std::string>& selectedAssetURLs() const { return selected_; }
    bool isSelected(const std::string& url) const;
    void addSelectedAssetURL(const std::string& url);     // once
    void removeSelectedAssetURL(const std::string& url);
    // Told after every change of the selection.
    std::vector<std::function<void()>> selectionObservers;

    // ---- The rules both screens follow
    bool isMinimumSelectionLimitFulfilled() const;
    // m = the minimum (1 when 0); no limit when m is above the maximum,
    // else reached when the selection holds the maximum.
    bool isMaximumSelectionLimitReached() const;
    // The selection turned back into assets, in selection order; URLs that
    // name no asset any more are left out. Completes once every URL has
    // been answered, found or not.
    void fetchAssetsFromSelectedAssetURLsWithCompletion(
        std::function<void(std::vector<std::shared_ptr<ALAsset>>)> completion);
    // What the toolbar's middle item says: "items_selected" with the count,
    // "" with nothing selected.
    std::string selectionInfoText() const;
    // The filter of `filterType`; nullopt for a value that applies none.
    std::optional<ALAssetsFilter> assetsFilter() const;

    // A text of the string table ("" as the fallback value, so a missing
    // key reads as the key itself, as on the platform).
    std::string localizedString(const std::string& key) const;

    // The done button of either screen: the selected assets go to the
    // delegate, when it answers qb_imagePickerController_didSelectAssets.
    void done();
    // Escape: the grid's back to the albums, and there the albums' cancel.
    void escape();
    std::vector<UIKeyCommand> keyCommands() const override;

    // Sends the outcome to the delegate when it answers that operation.
    void sendDidSelectAssets(const std::vector<std::shared_ptr<ALAsset>>& assets);
    void sendDidCancel();
    std::optional<bool> askShouldSelect(const ALAsset& asset);
    void sendDidSelectAsset(const std::shared_ptr<ALAsset>& asset);

private:
    void setUpAlbumsViewController();
    std::shared_ptr<PKImagePickerControllerDelegate> delegateObject() const { return delegate.lock(); }

    std::shared_ptr<UINavigationController> albumsNavigation_;
    std::vector<std::string> selected_;
};
