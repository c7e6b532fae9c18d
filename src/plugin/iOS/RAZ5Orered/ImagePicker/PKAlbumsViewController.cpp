#include "plugin/iOS/RAZ5Orered/ImagePicker/PKAlbumsViewController.h"

#include <algorithm>
#include <map>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/ui/UIScreen.h"
#include "platform/ui/UIStoryboard.h"
#include "plugin/iOS/RAZ5Orered/ImagePicker/PKAssetsViewController.h"
#include "plugin/iOS/RAZ5Orered/ImagePicker/PKImagePickerController.h"

void PKAlbumCell::setBorderWidth(double w) {
    borderWidth_ = w;
    for (auto& v : {imageView1, imageView2, imageView3}) {
        if (!v) continue;
        v->layer()->setBorderColor(UIColor::whiteColor());
        v->layer()->setBorderWidth(w);
    }
}

PKAlbumsViewController::~PKAlbumsViewController() { NSNotificationCenter::defaultCenter().removeObserver(this); }

void PKAlbumsViewController::viewDidLoad() {
    if (albumCellPrototype) {
        auto prototype = albumCellPrototype;
        tableView()->registerClass(kCellIdentifier, [prototype] { return prototype(); });
    }
    setUpToolbarItems();
    std::weak_ptr<PKAlbumsViewController> weak = std::static_pointer_cast<PKAlbumsViewController>(sharedController());
    NSNotificationCenter::defaultCenter().addObserver(this, ALAssetsLibraryChangedNotification, nullptr,
                                                      [weak](const NSNotification&) {
                                                          if (auto self = weak.lock()) self->assetsLibraryChanged();
                                                      });
}

void PKAlbumsViewController::setImagePickerController(const std::shared_ptr<PKImagePickerController>& picker) {
    picker_ = picker;
}

// The first load, when the screen is first shown: the picker's settings are
// final by then (the navigation stack makes views early).
void PKAlbumsViewController::loadAlbums() {
    if (albumsRequested_ || !picker()) return;
    albumsRequested_ = true;
    std::weak_ptr<PKAlbumsViewController> weak = std::static_pointer_cast<PKAlbumsViewController>(sharedController());
    updateAssetsGroupsWithCompletion([weak] {
        if (auto self = weak.lock()) self->tableView()->reloadData();
    });
}

void PKAlbumsViewController::viewWillAppear(bool animated) {
    UITableViewController::viewWillAppear(animated);
    auto p = picker();
    if (!p) return;
    loadAlbums();
    navigationItem().setTitle(p->localizedString("title"));
    navigationItem().prompt = p->prompt;
    navigationItem().setRightBarButtonItem(p->allowsMultipleSelection ? doneButton : nullptr, false);
    updateControlState();
    updateSelectionInfo();
    PKFitBetweenBars(*tableView(), navigationController().get());
}

void PKAlbumsViewController::setUpToolbarItems() { setToolbarItems(PKSelectionToolbarItems(infoItem_)); }

void PKAlbumsViewController::updateControlState() {
    if (auto p = picker(); p && doneButton) doneButton->setEnabled(p->isMinimumSelectionLimitFulfilled());
}

void PKAlbumsViewController::updateSelectionInfo() {
    if (auto p = picker(); p && infoItem_) infoItem_->setTitle(p->selectionInfoText());
}

void PKAlbumsViewController::cancel() {
    if (auto p = picker()) p->sendDidCancel();
}

void PKAlbumsViewController::done() {
    if (auto p = picker()) p->done();
}

void PKAlbumsViewController::assetsLibraryChanged() {
    std::weak_ptr<PKAlbumsViewController> weak = std::static_pointer_cast<PKAlbumsViewController>(sharedController());
    DispatchQueue::main()->async([weak] {
        auto self = weak.lock();
        if (!self) return;
        self->updateAssetsGroupsWithCompletion([weak] {
            if (auto again = weak.lock()) again->tableView()->reloadData();
        });
    });
}

void PKAlbumsViewController::updateAssetsGroupsWithCompletion(std::function<void()> completion) {
    auto p = picker();
    if (!p) return;
    auto types = p->groupTypes;
    std::weak_ptr<PKAlbumsViewController> weak = std::static_pointer_cast<PKAlbumsViewController>(sharedController());
    fetchAssetsGroupsWithTypes(types, [weak, types, completion](std::vector<std::shared_ptr<ALAssetsGroup>> groups) {
        auto self = weak.lock();
        if (!self) return;
        // The enumerations finish in any order: albums go by their type's
        // place in the list, then in the order they were found.
        std::vector<std::shared_ptr<ALAssetsGroup>> ordered;
        for (auto type : types)
            for (auto& g : groups)
                if (g->type() == type) ordered.push_back(g);
        self->assetsGroups_ = std::move(ordered);
        if (completion) completion();
    });
}

void PKAlbumsViewController::fetchAssetsGroupsWithTypes(
    const std::vector<ALAssetsGroupType>& types,
    std::function<void(std::vector<std::shared_ptr<ALAssetsGroup>>)> completion) {
    auto p = picker();
    if (!p || types.empty()) return;
    struct Load {
        std::vector<std::shared_ptr<ALAssetsGroup>> groups;
        size_t finished = 0, expected = 0;
        bool reported = false;
        std::function<void(std::vector<std::shared_ptr<ALAssetsGroup>>)> completion;
        void finishOne() {
            if (++finished < expected || reported) return;
            reported = true;
            if (completion) completion(groups);
        }
    };
    auto load = std::make_shared<Load>();
    load->expected = types.size();
    load->completion = std::move(completion);
    auto filter = p->assetsFilter();
    for (auto type : types) {
        p->assetsLibrary->enumerateGroupsWithTypes(
            type,
            [load, filter](const std::shared_ptr<ALAssetsGroup>& group, bool&) {
                if (!group) return load->finishOne();
                if (filter) group->setAssetsFilter(*filter);
                load->groups.push_back(group);
            },
            // A failed enumeration counts as finished, so the others still show.
            [load](const Error& error) {
                NSLog("Error: %s", error.localizedDescription().c_str());
                load->finishOne();
            });
    }
}

std::shared_ptr<UITableViewCell> PKAlbumsViewController::tableView_cellForRowAtIndexPath(UITableView& t,
                                                                                        const NSIndexPath& ip) {
    auto cell = std::dynamic_pointer_cast<PKAlbumCell>(t.dequeueReusableCellWithIdentifier(kCellIdentifier, ip));
    if (!cell || size_t(ip.row) >= assetsGroups_.size()) return cell ? cell : std::make_shared<UITableViewCell>();
    cell->setTag(ip.row);
    cell->setBorderWidth(1.0 / UIScreen::mainScreen().scale());
    const auto& group = assetsGroups_[size_t(ip.row)];
    size_t n = group->numberOfAssets(), k = std::min<size_t>(n, 3);
    UIImageView* views[3] = {cell->imageView1.get(), cell->imageView2.get(), cell->imageView3.get()};
    if (k > 0) {
        cell->imageView3->setHidden(true);
        cell->imageView2->setHidden(true);
        cell->imageView1->setImage(nullptr);
        std::weak_ptr<PKAlbumCell> weakCell = cell;
        long row = ip.row;
        group->enumerateAssetsAtIndexes(n - k, k, [&](const std::shared_ptr<ALAsset>& asset, size_t index, bool&) {
            // The newest in front, the one before it in the middle, the third at the back.
            int slot = index == n - 1 ? 0 : index == n - 2 ? 1 : 2;
            CGSize size = views[slot]->frame().size;
            asset->requestThumbnail([weakCell, row, slot, size](std::shared_ptr<UIImage> image) {
                auto c = weakCell.lock();
                if (!c || c->tag() != row) return;  // the cell now shows another row
                UIImageView* target[3] = {c->imageView1.get(), c->imageView2.get(), c->imageView3.get()};
                target[slot]->setImage(image ? image : placeholderImageWithSize(size));
                target[slot]->setHidden(false);
            });
        });
    } else {
        cell->imageView2->setHidden(false);
        cell->imageView3->setHidden(false);
        auto placeholder = placeholderImageWithSize(cell->imageView1->frame().size);
        for (auto* v : views) v->setImage(placeholder);
    }
    cell->titleLabel->setText(group->name());
    cell->countLabel->setText(std::to_string(n));
    return cell;
}

void PKAlbumsViewController::tableView_didSelectRowAtIndexPath(UITableView& t, const NSIndexPath& ip) {
    auto storyboard = UIStoryboard::storyboardWithName(PKImagePickerController::kStoryboardName);
    auto grid = storyboard ? std::dynamic_pointer_cast<PKAssetsViewController>(
                                 storyboard->instantiateViewControllerWithIdentifier(kAssetsSceneIdentifier))
                           : nullptr;
    auto nav = navigationController();
    if (!grid || !nav) return;
    prepareForSegue(*grid, ip.row);
    nav->pushViewController(grid, true);
    t.deselectRowAtIndexPath(ip, true);
}

void PKAlbumsViewController::prepareForSegue(PKAssetsViewController& grid, long row) {
    grid.imagePickerController = picker_;
    if (row >= 0 && size_t(row) < assetsGroups_.size()) grid.setAssetsGroup(assetsGroups_[size_t(row)]);
}

std::shared_ptr<UIImage> PKAlbumsViewController::placeholderImageWithSize(CGSize size) {
    double w = size.width, h = size.height;
    if (w <= 0 || h <= 0) return nullptr;
    auto ctx = CGContext::bitmap(size, true, UIScreen::mainScreen().scale());
    if (!ctx) return nullptr;
    UIColor background = UIColor::colorWithRed(239 / 255.0, 239 / 255.0, 244 / 255.0);
    UIColor icon = UIColor::colorWithRed(179 / 255.0, 179 / 255.0, 182 / 255.0);
    auto fill = [&](const UIColor& c, const CGRect& r) {
        ctx->setFillColor(c);
        ctx->fillRect(r);
    };
    fill(background, CGRect(0, 0, w, h));
    CGRect back(w * 16 / 68, h * 20 / 68, w * 32 / 68, h * 24 / 68);
    fill(icon, back);
    fill(background, back.insetBy(1, 1));
    CGRect front(w * 20 / 68, h * 24 / 68, w * 32 / 68, h * 24 / 68);
    fill(background, front.insetBy(-1, -1));
    fill(icon, front);
    fill(background, front.insetBy(1, 1));
    return UIImage::imageWithCGImage(ctx->makeImage(), UIScreen::mainScreen().scale());
}
