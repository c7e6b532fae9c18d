#include "plugin/iOS/RAZ5Orered/ImagePicker/PKImagePickerController.h"

#include <algorithm>

#include "platform/device/PhotoLibrary.h"
#include "platform/ui/UIScreen.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/StringFormat.h"
#include "platform/ui/UIStoryboard.h"
#include "plugin/iOS/RAZ5Orered/ImagePicker/PKAlbumsViewController.h"

std::vector<std::shared_ptr<UIBarButtonItem>> PKSelectionToolbarItems(std::shared_ptr<UIBarButtonItem>& info) {
    info = UIBarButtonItem::withTitle("", UIBarButtonItemStyle::Plain);
    info->setEnabled(false);
    UITextAttributes black{UIColor::blackColor(), nullptr};
    info->setTitleTextAttributes(black, UIControlStateNormal);
    info->setTitleTextAttributes(black, UIControlStateDisabled);
    return {UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::FlexibleSpace), info,
            UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::FlexibleSpace)};
}

void PKFitBetweenBars(UIScrollView& list, UINavigationController* navigation) {
    if (!navigation) return;
    UIEdgeInsets insets = list.contentInset();
    bool atTop = list.contentOffset().y <= list.minimumContentOffset().y;
    insets.top = navigation->navigationBarBottom();
    insets.bottom = navigation->isToolbarHidden() ? 0 : navigation->toolbar()->frame().height();
    list.setContentInset(insets);
    if (atTop) list.setContentOffset(list.minimumContentOffset());
}

std::shared_ptr<PKImagePickerController> PKImagePickerController::create() {
    auto picker = std::make_shared<PKImagePickerController>();
    if (auto path = NSBundle::mainBundle().pathForResource("Korvel", "bundle"))
        picker->assetBundle = NSBundle::bundleWithPath(*path);
    picker->setUpAlbumsViewController();
    if (auto nav = picker->albumsNavigation_)
        if (auto albums = std::dynamic_pointer_cast<PKAlbumsViewController>(nav->topViewController()))
            albums->setImagePickerController(picker);
    return picker;
}

bool PKImagePickerController::isAccessible() { return PhotoLibrary::isReadable(); }

void PKImagePickerController::setUpAlbumsViewController() {
    auto storyboard = UIStoryboard::storyboardWithName(kStoryboardName);
    auto nav = storyboard ? std::dynamic_pointer_cast<UINavigationController>(
                                storyboard->instantiateViewControllerWithIdentifier(kAlbumsNavigationIdentifier))
                          : nullptr;
    if (!nav) {
        NSLog("The storyboard \"%s\" has no \"%s\"", kStoryboardName, kAlbumsNavigationIdentifier);
        return;
    }
    addChildViewController(nav);
    nav->view()->setFrame(view()->bounds());
    nav->view()->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    view()->addSubview(nav->view());
    nav->didMoveToParentViewController(this);
    albumsNavigation_ = nav;
}

// ---- The selection

bool PKImagePickerController::isSelected(const std::string& url) const {
    return std::find(selected_.begin(), selected_.end(), url) != selected_.end();
}

void PKImagePickerController::addSelectedAssetURL(const std::string& url) {
    if (isSelected(url)) return;
    selected_.push_back(url);
    for (auto& observer : selectionObservers) observer();
}

void PKImagePickerController::removeSelectedAssetURL(const std::string& url) {
    auto it = std::find(selected_.begin(), selected_.end(), url);
    if (it == selected_.end()) return;
    selected_.erase(it);
    for (auto& observer : selectionObservers) observer();
}

// ---- Rules

bool PKImagePickerController::isMinimumSelectionLimitFulfilled() const {
    return minimumNumberOfSelection <= selected_.size();
}

bool PKImagePickerController::isMaximumSelectionLimitReached() const {
    uint64_t m = std::max<uint64_t>(minimumNumberOfSelection, 1);
    if (m > maximumNumberOfSelection) return false;
    return maximumNumberOfSelection <= selected_.size();
}

namespace {

// One fetch of the selection: a slot per URL, filled as the library answers.
struct Fetch {
    std::vector<std::shared_ptr<ALAsset>> found;
    size_t answered = 0;
    std::function<void(std::vector<std::shared_ptr<ALAsset>>)> completion;

    void answer(size_t index, std::shared_ptr<ALAsset> asset) {
        found[index] = std::move(asset);
        if (++answered < found.size()) return;
        std::vector<std::shared_ptr<ALAsset>> out;
        for (auto& a : found)
            if (a) out.push_back(a);
        if (completion) completion(std::move(out));
    }
};

void logFailure(const Error& error) { NSLog("Error: %s", error.localizedDescription().c_str()); }

// A URL the library does not resolve may still be an asset of a photo
// stream: the streams' assets are compared by their representation URL.
void searchPhotoStreams(const std::shared_ptr<ALAssetsLibrary>& library, const std::string& url,
                        std::function<void(std::shared_ptr<ALAsset>)> done) {
    auto match = std::make_shared<std::shared_ptr<ALAsset>>();
    library->enumerateGroupsWithTypes(
        ALAssetsGroupPhotoStream,
        [url, match, done](const std::shared_ptr<ALAssetsGroup>& group, bool&) {
            if (!group) return done(*match);
            if (*match) return;
            group->enumerateAssetsInReverse([&](const std::shared_ptr<ALAsset>& asset, size_t, bool& stop) {
                if (asset->representationURL() != url) return;
                *match = asset;
                stop = true;
            });
        },
        [done](const Error& error) {
            logFailure(error);
            done(nullptr);
        });
}

}  // namespace

void PKImagePickerController::fetchAssetsFromSelectedAssetURLsWithCompletion(
    std::function<void(std::vector<std::shared_ptr<ALAsset>>)> completion) {
    if (selected_.empty()) {
        if (completion) completion({});
        return;
    }
    auto fetch = std::make_shared<Fetch>();
    fetch->found.resize(selected_.size());
    fetch->completion = std::move(completion);
    auto library = assetsLibrary;
    for (size_t i = 0; i < selected_.size(); ++i) {
        std::string url = selected_[i];
        library->assetForURL(
            url,
            [fetch, library, url, i](const std::shared_ptr<ALAsset>& asset) {
                if (asset) return fetch->answer(i, asset);
                searchPhotoStreams(library, url, [fetch, i](std::shared_ptr<ALAsset> a) { fetch->answer(i, a); });
            },
            [fetch, i](const Error& error) {
                logFailure(error);
                fetch->answer(i, nullptr);
            });
    }
}

std::string PKImagePickerController::selectionInfoText() const {
    if (selected_.empty()) return "";
    return strings::formatWithArguments(localizedString("items_selected"), {Value(uint64_t(selected_.size()))});
}

std::optional<ALAssetsFilter> PKImagePickerController::assetsFilter() const {
    switch (filterType) {
        case 0: return ALAssetsFilter::allAssets();
        case 1: return ALAssetsFilter::allPhotos();
        case 2: return ALAssetsFilter::allVideos();
        default: return std::nullopt;
    }
}

std::string PKImagePickerController::localizedString(const std::string& key) const {
    return assetBundle ? assetBundle->localizedStringForKey(key, "", kStringTable) : key;
}

void PKImagePickerController::escape() {
    auto& nav = albumsNavigation_;
    if (!nav || nav->viewControllers().empty()) return;
    if (nav->viewControllers().size() > 1) {
        nav->popViewControllerAnimated(true);
        return;
    }
    if (auto albums = std::dynamic_pointer_cast<PKAlbumsViewController>(nav->viewControllers().front())) albums->cancel();
}

std::vector<UIKeyCommand> PKImagePickerController::keyCommands() const {
    std::weak_ptr<PKImagePickerController> weak =
        std::static_pointer_cast<PKImagePickerController>(std::const_pointer_cast<UIResponder>(shared_from_this()));
    return {{UIKeyInputEscape, 0, [weak] {
                 if (auto self = weak.lock()) self->escape();
             }}};
}

// ---- The delegate

void PKImagePickerController::done() {
    auto d = delegateObject();
    if (!d || !d->qb_imagePickerController_didSelectAssets) return;
    std::weak_ptr<PKImagePickerController> weak =
        std::static_pointer_cast<PKImagePickerController>(sharedController());
    fetchAssetsFromSelectedAssetURLsWithCompletion([weak](std::vector<std::shared_ptr<ALAsset>> assets) {
        if (auto self = weak.lock()) self->sendDidSelectAssets(assets);
    });
}

void PKImagePickerController::sendDidSelectAssets(const std::vector<std::shared_ptr<ALAsset>>& assets) {
    auto d = delegateObject();
    if (d && d->qb_imagePickerController_didSelectAssets) d->qb_imagePickerController_didSelectAssets(*this, assets);
}

void PKImagePickerController::sendDidCancel() {
    auto d = delegateObject();
    if (d && d->qb_imagePickerControllerDidCancel) d->qb_imagePickerControllerDidCancel(*this);
}

std::optional<bool> PKImagePickerController::askShouldSelect(const ALAsset& asset) {
    auto d = delegateObject();
    if (!d || !d->qb_imagePickerController_shouldSelectAsset) return std::nullopt;
    return d->qb_imagePickerController_shouldSelectAsset(*this, asset);
}

void PKImagePickerController::sendDidSelectAsset(const std::shared_ptr<ALAsset>& asset) {
    auto d = delegateObject();
    if (d && d->qb_imagePickerController_didSelectAsset) d->qb_imagePickerController_didSelectAsset(*this, asset);
}
