// The storyboard "PKImagePicker": the albums list in a navigation
// controller ("AlbumsNavigationController"), the asset grid
// ("PKAssetsViewController", the albums rows' segue), their bar buttons
// and the cell prototypes "AlbumCell", "AssetCell" and "FooterView".

#include "platform/ui/UINavigationController.h"
#include "platform/ui/UIStoryboard.h"
#include "platform/ui/UIScreen.h"
#include "plugin/iOS/RAZ5Orered/ImagePicker/PKAlbumsViewController.h"
#include "plugin/iOS/RAZ5Orered/ImagePicker/PKAssetsViewController.h"
#include "plugin/iOS/RAZ5Orered/KorvelBundle/KorvelBundle.h"

namespace {

constexpr double kRowHeight = 86;
constexpr double kGridSpacing = 2;
constexpr double kFooterHeight = 66;

std::shared_ptr<UIImageView> thumbnailView(const CGRect& frame) {
    auto v = std::make_shared<UIImageView>(frame);
    v->setContentMode(UIViewContentMode::ScaleAspectFill);
    v->setClipsToBounds(true);
    return v;
}

// Three thumbnails stacked, the back ones smaller and peeking out above.
std::shared_ptr<PKAlbumCell> makeAlbumCell() {
    auto cell = std::make_shared<PKAlbumCell>(UITableViewCellStyle::Default, PKAlbumsViewController::kCellIdentifier);
    double width = UIScreen::mainScreen().bounds().width();
    cell->setFrame(CGRect(0, 0, width, kRowHeight));
    cell->accessoryType = UITableViewCellAccessoryType::DisclosureIndicator;
    auto content = cell->contentView();
    cell->imageView3 = thumbnailView(CGRect(20, 8, 56, 56));
    cell->imageView2 = thumbnailView(CGRect(18, 12, 60, 60));
    cell->imageView1 = thumbnailView(CGRect(16, 16, 64, 64));
    for (auto& v : {cell->imageView3, cell->imageView2, cell->imageView1}) content->addSubview(v);
    cell->titleLabel = std::make_shared<UILabel>(CGRect(96, 22, width - 140, 21));
    cell->titleLabel->setFont(UIFont::systemFontOfSize(17));
    cell->countLabel = std::make_shared<UILabel>(CGRect(96, 47, width - 140, 16));
    cell->countLabel->setFont(UIFont::systemFontOfSize(12));
    cell->countLabel->setTextColor(UIColor::grayColor());
    for (auto& l : {cell->titleLabel, cell->countLabel}) {
        l->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
        content->addSubview(l);
    }
    return cell;
}

std::shared_ptr<PKAssetCell> makeAssetCell() {
    auto cell = std::make_shared<PKAssetCell>(CGRect(0, 0, 78, 78));
    CGRect b = cell->bounds();
    auto content = cell->contentView();
    cell->imageView = thumbnailView(b);
    cell->imageView->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    content->addSubview(cell->imageView);

    auto badge = std::make_shared<PKVideoIndicatorView>(CGRect(0, b.height() - 20, b.width(), 20));
    badge->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
    auto icon = std::make_shared<PKVideoIconView>(CGRect(5, 6, 14, 8));
    icon->setOpaque(false);
    badge->addSubview(icon);
    badge->timeLabel = std::make_shared<UILabel>(CGRect(22, 3, b.width() - 27, 14));
    badge->timeLabel->setFont(UIFont::systemFontOfSize(12));
    badge->timeLabel->setTextColor(UIColor::whiteColor());
    badge->timeLabel->setTextAlignment(NSTextAlignment::Right);
    badge->timeLabel->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    badge->addSubview(badge->timeLabel);
    cell->videoIndicatorView = badge;
    content->addSubview(badge);

    cell->overlayView = std::make_shared<UIView>(b);
    cell->overlayView->setBackgroundColor(UIColor::colorWithWhite(1, 0.3));
    cell->overlayView->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    cell->overlayView->setHidden(true);
    auto check = std::make_shared<PKCheckmarkView>(CGRect(b.width() - 28, b.height() - 28, 24, 24));
    check->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleTopMargin);
    cell->overlayView->addSubview(check);
    content->addSubview(cell->overlayView);
    return cell;
}

std::shared_ptr<UICollectionReusableView> makeFooter() {
    double width = UIScreen::mainScreen().bounds().width();
    auto footer = std::make_shared<UICollectionReusableView>(CGRect(0, 0, width, kFooterHeight));
    auto label = std::make_shared<UILabel>(footer->bounds());
    label->setTag(1);
    label->setTextAlignment(NSTextAlignment::Center);
    label->setFont(UIFont::systemFontOfSize(17));
    label->setTextColor(UIColor::darkGrayColor());
    label->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    footer->addSubview(label);
    return footer;
}

std::shared_ptr<UIViewController> makeAlbumsNavigation() {
    auto albums = std::make_shared<PKAlbumsViewController>();
    albums->albumCellPrototype = makeAlbumCell;
    std::weak_ptr<PKAlbumsViewController> weak = albums;
    albums->doneButton = UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::Done, [weak](UIBarButtonItem&) {
        if (auto a = weak.lock()) a->done();
    });
    albums->navigationItem().setLeftBarButtonItem(
        UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::Cancel, [weak](UIBarButtonItem&) {
            if (auto a = weak.lock()) a->cancel();
        }));
    return UINavigationController::withRoot(albums);
}

std::shared_ptr<UIViewController> makeAssetsGrid() {
    auto layout = std::make_shared<UICollectionViewFlowLayout>();
    layout->minimumLineSpacing = kGridSpacing;
    layout->minimumInteritemSpacing = kGridSpacing;
    layout->sectionInset = UIEdgeInsets{kGridSpacing, kGridSpacing, kGridSpacing, kGridSpacing};
    layout->footerReferenceSize = CGSize(UIScreen::mainScreen().bounds().width(), kFooterHeight);
    auto grid = std::make_shared<PKAssetsViewController>(layout);
    grid->assetCellPrototype = makeAssetCell;
    grid->footerPrototype = makeFooter;
    std::weak_ptr<PKAssetsViewController> weak = grid;
    grid->doneButton = UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::Done, [weak](UIBarButtonItem&) {
        if (auto g = weak.lock()) g->done();
    });
    return grid;
}

const bool registered = [] {
    UIStoryboard::registerScene("PKImagePicker", "AlbumsNavigationController", makeAlbumsNavigation);
    UIStoryboard::registerScene("PKImagePicker", PKAlbumsViewController::kAssetsSceneIdentifier, makeAssetsGrid);
    return true;
}();

}  // namespace

void KorvelBundle::linkImagePickerStoryboard() { (void)registered; }
