#include "plugin/iOS/RAZ5Orered/ImagePicker/PKAssetsViewController.h"

#include <algorithm>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/StringFormat.h"
#include "platform/ui/UINavigationController.h"
#include "plugin/iOS/RAZ5Orered/ImagePicker/PKAlbumsViewController.h"
#include "plugin/iOS/RAZ5Orered/ImagePicker/PKImagePickerController.h"

PKAssetsViewController::PKAssetsViewController(std::shared_ptr<UICollectionViewFlowLayout> layout)
    : UICollectionViewController(std::move(layout)) {}

PKAssetsViewController::~PKAssetsViewController() { NSNotificationCenter::defaultCenter().removeObserver(this); }

void PKAssetsViewController::viewDidLoad() {
    auto c = collectionView();
    c->setBackgroundColor(UIColor::whiteColor());
    if (assetCellPrototype) {
        auto prototype = assetCellPrototype;
        c->registerClass(kCellIdentifier, [prototype] { return prototype(); });
    }
    if (footerPrototype)
        c->registerSupplementaryClass(UICollectionElementKindSectionFooter, kFooterIdentifier, footerPrototype);
    setToolbarItems(PKSelectionToolbarItems(infoItem_));
    std::weak_ptr<PKAssetsViewController> weak = std::static_pointer_cast<PKAssetsViewController>(sharedController());
    NSNotificationCenter::defaultCenter().addObserver(this, ALAssetsLibraryChangedNotification, nullptr,
                                                      [weak](const NSNotification& note) {
                                                          if (auto self = weak.lock()) self->assetsLibraryChanged(note);
                                                      });
}

void PKAssetsViewController::viewWillAppear(bool animated) {
    UICollectionViewController::viewWillAppear(animated);
    auto p = picker();
    if (!p) return;
    navigationItem().setTitle(assetsGroup_ ? assetsGroup_->name() : "");
    navigationItem().prompt = p->prompt;
    collectionView()->allowsMultipleSelection = p->allowsMultipleSelection;
    navigationItem().setRightBarButtonItem(p->allowsMultipleSelection ? doneButton : nullptr, false);
    updateDoneButtonState();
    updateSelectionInfo();
    PKFitBetweenBars(*collectionView(), navigationController().get());
    // Opened from the albums list: the newest asset is in view. Coming back
    // from a screen above keeps the player's place.
    if (numberOfAssets_ > 0 && isMovingToParentViewController() && !disableScrollToBottom_)
        collectionView()->scrollToItemAtIndexPath(NSIndexPath::indexPathForItem(long(numberOfAssets_) - 1, 0),
                                                  UICollectionViewScrollPosition::Top, false);
}

void PKAssetsViewController::viewDidAppear(bool animated) {
    UICollectionViewController::viewDidAppear(animated);
    disableScrollToBottom_ = false;
}

void PKAssetsViewController::viewWillDisappear(bool animated) {
    UICollectionViewController::viewWillDisappear(animated);
    disableScrollToBottom_ = true;
}

void PKAssetsViewController::viewWillTransitionToSize(CGSize) {
    auto c = collectionView();
    auto visible = c->indexPathsForVisibleItems();
    indexPathForLastVisibleItem_ = visible.empty() ? std::nullopt : std::optional(visible.back());
    c->invalidateLayout();
    std::weak_ptr<PKAssetsViewController> weak = std::static_pointer_cast<PKAssetsViewController>(sharedController());
    DispatchQueue::main()->async([weak] {
        auto self = weak.lock();
        if (self && self->indexPathForLastVisibleItem_)
            self->collectionView()->scrollToItemAtIndexPath(*self->indexPathForLastVisibleItem_,
                                                            UICollectionViewScrollPosition::Bottom, false);
    });
}

void PKAssetsViewController::setAssetsGroup(std::shared_ptr<ALAssetsGroup> group) {
    assetsGroup_ = std::move(group);
    updateAssets();
    auto p = picker();
    if (p && isAutoDeselectEnabled() && !p->selectedAssetURLs().empty()) {
        const std::string& first = p->selectedAssetURLs().front();
        for (size_t i = 0; i < assets_.size(); ++i)
            if (assets_[i]->url() == first) {
                lastSelectedItemIndexPath_ = NSIndexPath::indexPathForItem(long(i), 0);
                break;
            }
    }
    if (isViewLoaded()) collectionView()->reloadData();
}

void PKAssetsViewController::updateAssets() {
    assets_.clear();
    numberOfAssets_ = numberOfPhotos_ = numberOfVideos_ = 0;
    if (!assetsGroup_) return;
    assetsGroup_->enumerateAssetsUsingBlock([this](const std::shared_ptr<ALAsset>& asset, size_t, bool&) {
        assets_.push_back(asset);
        ++numberOfAssets_;
        if (asset->type() == ALAssetType::Photo) ++numberOfPhotos_;
        else if (asset->type() == ALAssetType::Video) ++numberOfVideos_;
    });
}

bool PKAssetsViewController::isAutoDeselectEnabled() const {
    auto p = picker();
    return p && p->maximumNumberOfSelection == 1 && p->maximumNumberOfSelection >= p->minimumNumberOfSelection;
}

void PKAssetsViewController::done() {
    if (auto p = picker()) p->done();
}

void PKAssetsViewController::updateDoneButtonState() {
    if (auto p = picker(); p && doneButton) doneButton->setEnabled(p->isMinimumSelectionLimitFulfilled());
}

void PKAssetsViewController::updateSelectionInfo() {
    if (auto p = picker(); p && infoItem_) infoItem_->setTitle(p->selectionInfoText());
}

std::shared_ptr<ALAsset> PKAssetsViewController::assetAt(const NSIndexPath& ip) const {
    if (ip.item() < 0 || size_t(ip.item()) >= assets_.size()) return nullptr;
    return assets_[size_t(ip.item())];
}

std::shared_ptr<UICollectionViewCell> PKAssetsViewController::collectionView_cellForItemAtIndexPath(
    UICollectionView& c, const NSIndexPath& ip) {
    auto cell = std::dynamic_pointer_cast<PKAssetCell>(c.dequeueReusableCellWithReuseIdentifier(kCellIdentifier, ip));
    auto asset = assetAt(ip);
    auto p = picker();
    if (!cell || !asset || !p) return cell ? cell : std::make_shared<UICollectionViewCell>();
    cell->setTag(ip.item());
    cell->showsOverlayViewWhenSelected = p->allowsMultipleSelection;
    cell->imageView->setImage(nullptr);
    requestThumbnail(cell, asset, ip.item());
    bool video = asset->type() == ALAssetType::Video;
    cell->videoIndicatorView->setHidden(!video);
    if (video) cell->videoIndicatorView->timeLabel->setText(PKVideoIndicatorView::durationText(asset->duration()));
    bool selected = p->isSelected(asset->url());
    cell->setSelected(selected);
    if (selected) c.selectItemAtIndexPath(ip, false, UICollectionViewScrollPosition::None);
    return cell;
}

void PKAssetsViewController::requestThumbnail(const std::shared_ptr<PKAssetCell>& cell,
                                              const std::shared_ptr<ALAsset>& asset, long item) {
    std::weak_ptr<PKAssetCell> weakCell = cell;
    // Asked for once the layout pass is over: cells that were laid out and
    // at once scrolled away (opening at the newest) cost no decoding.
    DispatchQueue::main()->async([weakCell, asset, item] {
        auto c = weakCell.lock();
        if (!c || c->tag() != item || !c->superview()) return;
        asset->requestThumbnail([weakCell, item](std::shared_ptr<UIImage> image) {
            auto shown = weakCell.lock();
            if (!shown || shown->tag() != item) return;  // reused for another item
            shown->imageView->setImage(
                image ? image : PKAlbumsViewController::placeholderImageWithSize(shown->imageView->bounds().size));
        });
    });
}

std::shared_ptr<UICollectionReusableView> PKAssetsViewController::collectionView_viewForSupplementaryElementOfKind(
    UICollectionView& c, const std::string& kind, const NSIndexPath& ip) {
    if (kind != UICollectionElementKindSectionFooter) return nullptr;
    auto footer = c.dequeueReusableSupplementaryViewOfKind(kind, kFooterIdentifier, ip);
    auto p = picker();
    auto label = footer ? std::dynamic_pointer_cast<UILabel>(footer->viewWithTag(1)) : nullptr;
    if (!label || !p) return footer;
    switch (p->filterType) {
        case 0:
            label->setText(strings::formatWithArguments(p->localizedString("format_photos_and_videos"),
                                                        {Value(numberOfPhotos_), Value(numberOfVideos_)}));
            break;
        case 1:
            label->setText(strings::formatWithArguments(p->localizedString("format_photos"), {Value(numberOfPhotos_)}));
            break;
        case 2:
            label->setText(strings::formatWithArguments(p->localizedString("format_videos"), {Value(numberOfVideos_)}));
            break;
        default: break;
    }
    return footer;
}

std::optional<bool> PKAssetsViewController::collectionView_shouldSelectItemAtIndexPath(UICollectionView&,
                                                                                      const NSIndexPath& ip) {
    auto p = picker();
    auto asset = assetAt(ip);
    if (!p || !asset) return false;
    if (auto answer = p->askShouldSelect(*asset)) return *answer;
    if (isAutoDeselectEnabled()) return true;
    return !p->isMaximumSelectionLimitReached();
}

void PKAssetsViewController::collectionView_didSelectItemAtIndexPath(UICollectionView& c, const NSIndexPath& ip) {
    auto p = picker();
    auto asset = assetAt(ip);
    if (!p || !asset) return;
    if (!p->allowsMultipleSelection) {
        p->sendDidSelectAsset(asset);
        return;
    }
    if (isAutoDeselectEnabled() && !p->selectedAssetURLs().empty()) {
        p->removeSelectedAssetURL(p->selectedAssetURLs().front());
        if (lastSelectedItemIndexPath_) c.deselectItemAtIndexPath(*lastSelectedItemIndexPath_, false);
    }
    p->addSelectedAssetURL(asset->url());
    lastSelectedItemIndexPath_ = ip;
    updateDoneButtonState();
    if (p->showsNumberOfSelectedAssets) {
        updateSelectionInfo();
        if (p->selectedAssetURLs().size() == 1)
            if (auto nav = navigationController()) {
                nav->setToolbarHidden(false, true);
                PKFitBetweenBars(c, nav.get());
            }
    }
}

void PKAssetsViewController::collectionView_didDeselectItemAtIndexPath(UICollectionView& c, const NSIndexPath& ip) {
    auto p = picker();
    auto asset = assetAt(ip);
    if (!p || !asset || !p->allowsMultipleSelection) return;
    p->removeSelectedAssetURL(asset->url());
    lastSelectedItemIndexPath_.reset();
    updateDoneButtonState();
    if (p->showsNumberOfSelectedAssets) {
        updateSelectionInfo();
        if (p->selectedAssetURLs().empty())
            if (auto nav = navigationController()) {
                nav->setToolbarHidden(true, true);
                PKFitBetweenBars(c, nav.get());
            }
    }
}

std::optional<CGSize> PKAssetsViewController::collectionView_layout_sizeForItemAtIndexPath(UICollectionView&,
                                                                                          const NSIndexPath&) {
    auto p = picker();
    // The game runs in portrait only, so the portrait count applies.
    double n = double(std::max<uint64_t>(p ? p->numberOfColumnsInPortrait : 4, 1));
    double side = (view()->frame().width() - 2 * (n + 1)) / n;
    return CGSize(side, side);
}

void PKAssetsViewController::assetsLibraryChanged(const NSNotification& note) {
    const Value& urls = note.userInfo[ALAssetLibraryUpdatedAssetGroupsKey];
    if (!urls.isArray() || !assetsGroup_) return;
    bool ours = false;
    for (auto& u : *urls.getArray()) ours = ours || u.stringOr() == assetsGroup_->url();
    auto p = picker();
    if (!ours || !p) return;
    // A group holds the listing it was found with: the album is asked for again.
    std::weak_ptr<PKAssetsViewController> weak = std::static_pointer_cast<PKAssetsViewController>(sharedController());
    std::string url = assetsGroup_->url();
    auto filter = p->assetsFilter();
    p->assetsLibrary->enumerateGroupsWithTypes(
        assetsGroup_->type(),
        [weak, url, filter](const std::shared_ptr<ALAssetsGroup>& group, bool& stop) {
            auto self = weak.lock();
            if (!self || !group || group->url() != url) return;
            if (filter) group->setAssetsFilter(*filter);
            self->assetsGroup_ = group;
            self->updateAssets();
            self->collectionView()->reloadData();
            stop = true;
        },
        nullptr);
}
