// The image picker, headless, over a photo library folder of the test's:
// settings and limits, the grid's geometry, footers and scrolling, the
// albums' order, rows and reloads, and what it costs with many photos.

#include <gtest/gtest.h>

#include <atomic>

#include "../../../platform/ui/UITestSupport.h"
#include "ScreenTestSupport.h"
#include "platform/device/AssetImageLoader.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/UIEventInjection.h"
#include "plugin/iOS/RAZ5Orered/ImagePicker/PKAlbumsViewController.h"
#include "plugin/iOS/RAZ5Orered/ImagePicker/PKAssetsViewController.h"
#include "plugin/iOS/RAZ5Orered/ImagePicker/PKImagePickerController.h"

namespace {

using screentest::writePicture;
namespace fs = std::filesystem;

RGBA8 shade(int i) { return RGBA8{uint8_t(40 * (i % 6)), uint8_t(200 - 30 * (i % 6)), uint8_t(90 + 20 * (i / 6 % 5)), 255}; }

// Answers each group enumeration only when the test releases it, so the
// enumerations can finish in any order.
class HeldLibrary : public ALAssetsLibrary {
public:
    struct Call {
        ALAssetsGroupType types;
        GroupBlock block;
        FailureBlock failure;
    };
    std::vector<Call> calls;
    void enumerateGroupsWithTypes(ALAssetsGroupType types, GroupBlock block, FailureBlock failure) override {
        calls.push_back({types, std::move(block), std::move(failure)});
    }
    void release(ALAssetsGroupType types) {
        for (auto& c : calls)
            if (c.types == types) ALAssetsLibrary::enumerateGroupsWithTypes(c.types, c.block, c.failure);
    }
};

class Picker : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        screentest::writeKorvelBundle(bundle);
        root = std::make_shared<UIViewController>();
        makeWindow(root);
        delegate->qb_imagePickerController_didSelectAssets = [this](PKImagePickerController&, const auto& assets) {
            confirmed.push_back(assets);
        };
        delegate->qb_imagePickerController_didSelectAsset = [this](PKImagePickerController&, const auto& asset) {
            tapped.push_back(asset);
        };
    }
    void TearDown() override {
        AssetImageLoader::shared().setDecodeObserver(nullptr);
        photolibrary::setDurationReader(nullptr);
        UITest::TearDown();
    }

    std::shared_ptr<PKImagePickerController> open(const std::function<void(PKImagePickerController&)>& setUp = {},
                                                  size_t albumCount = 1) {
        auto p = PKImagePickerController::create();
        p->delegate = delegate;
        if (setUp) setUp(*p);
        root->presentViewController(p, false);
        EXPECT_TRUE(testsupport::waitFor([&] { return albums(*p).assetsGroups().size() >= albumCount; }));
        uitest::layout();
        return p;
    }
    static PKAlbumsViewController& albums(PKImagePickerController& p) { return screentest::albums(p); }
    std::shared_ptr<PKAssetsViewController> openAlbum(PKImagePickerController& p, long row = 0) {
        return screentest::openAlbum(p, row, [this](double s) { advance(s); });
    }
    void close() {
        root->dismissViewControllerAnimated(false);
        advance(0.1);
    }
    static void tapItem(PKAssetsViewController& grid, long item) { screentest::tapItem(grid, item); }
    void photos(int n, const fs::path& folder) {
        fs::create_directories(folder);
        for (int i = 0; i < n; ++i) writePicture(folder / ("p" + std::to_string(i) + ".png"), shade(i), 16, 16, 1000 - i);
    }

    testsupport::TempHome home;
    testsupport::TempBundle bundle;
    screentest::ScopedLibrary library;
    std::shared_ptr<UIViewController> root;
    std::shared_ptr<PKImagePickerControllerDelegate> delegate = std::make_shared<PKImagePickerControllerDelegate>();
    std::vector<std::vector<std::shared_ptr<ALAsset>>> confirmed;
    std::vector<std::shared_ptr<ALAsset>> tapped;
};

TEST_F(Picker, StartsWithTheDefaults) {
    auto p = PKImagePickerController::create();
    EXPECT_EQ(p->groupTypes, (std::vector<ALAssetsGroupType>{16, 32, 2}));
    EXPECT_EQ(p->filterType, 0u);
    EXPECT_EQ(p->minimumNumberOfSelection, 1u);
    EXPECT_EQ(p->maximumNumberOfSelection, 0u);
    EXPECT_EQ(p->numberOfColumnsInPortrait, 4u);
    EXPECT_EQ(p->numberOfColumnsInLandscape, 7u);
    EXPECT_FALSE(p->allowsMultipleSelection);
    EXPECT_TRUE(p->selectedAssetURLs().empty());
    EXPECT_TRUE(p->albumsNavigationController());
}

TEST_F(Picker, EveryRowOfTheLimitTable) {
    photos(6, library.path());
    struct Row {
        uint64_t min, max;
        std::vector<size_t> sizes;  // the selection after taps 1 to 5
        std::vector<bool> done;     // the done button before any tap, then after each
    };
    for (const Row& row : {Row{1, 0, {1, 2, 3, 4, 5}, {false, true, true, true, true, true}},
                           Row{1, 4, {1, 2, 3, 4, 4}, {false, true, true, true, true, true}},
                           Row{0, 1, {1, 1, 1, 1, 1}, {true, true, true, true, true, true}},
                           Row{3, 2, {1, 2, 3, 4, 5}, {false, false, false, true, true, true}}}) {
        SCOPED_TRACE(testing::Message() << "min " << row.min << ", max " << row.max);
        auto p = open([&](PKImagePickerController& p) {
            p.allowsMultipleSelection = true;
            p.minimumNumberOfSelection = row.min;
            p.maximumNumberOfSelection = row.max;
        });
        auto grid = openAlbum(*p);
        ASSERT_TRUE(grid);
        EXPECT_EQ(grid->doneButton->isEnabled(), row.done[0]);
        for (long tap = 0; tap < 5; ++tap) {
            tapItem(*grid, tap);
            EXPECT_EQ(p->selectedAssetURLs().size(), row.sizes[size_t(tap)]) << "tap " << tap + 1;
            EXPECT_EQ(grid->doneButton->isEnabled(), row.done[size_t(tap) + 1]) << "tap " << tap + 1;
        }
        if (row.max == 1) {
            // Auto-deselect: the last tap replaced the selection, cell included.
            EXPECT_EQ(p->selectedAssetURLs(), std::vector<std::string>{grid->assets()[4]->url()});
            EXPECT_EQ(grid->collectionView()->indexPathsForSelectedItems(),
                      std::vector<NSIndexPath>{NSIndexPath::indexPathForItem(4, 0)});
        }
        close();
    }
}

TEST_F(Picker, SingleSelectionReportsTheTapAndSelectsNothing) {
    photos(3, library.path());
    auto p = open();
    auto grid = openAlbum(*p);
    ASSERT_TRUE(grid);
    EXPECT_FALSE(grid->navigationItem().rightBarButtonItem()) << "no done button";
    tapItem(*grid, 1);
    ASSERT_EQ(tapped.size(), 1u);
    EXPECT_EQ(tapped[0]->url(), grid->assets()[1]->url());
    EXPECT_TRUE(p->selectedAssetURLs().empty());
}

TEST_F(Picker, DoneSendsTheSelectionInOrderEvenWithAFileGone) {
    photos(4, library.path());
    auto p = open([](PKImagePickerController& p) { p.allowsMultipleSelection = true; });
    auto grid = openAlbum(*p);
    for (long item : {2, 0, 3}) tapItem(*grid, item);
    fs::remove(grid->assets()[0]->path());
    grid->done();
    ASSERT_TRUE(testsupport::waitFor([&] { return !confirmed.empty(); }));
    ASSERT_EQ(confirmed[0].size(), 2u) << "the missing one is left out, the rest still come";
    EXPECT_EQ(confirmed[0][0]->url(), grid->assets()[2]->url());
    EXPECT_EQ(confirmed[0][1]->url(), grid->assets()[3]->url());
    EXPECT_EQ(p->selectionInfoText(), "3 selected");
}

TEST_F(Picker, GridGeometryFootersAndDurations) {
    photos(3, library.path());
    for (auto name : {"a.mp4", "b.mov"}) testsupport::writeFile(library / name, "not really a film");
    photolibrary::setDurationReader([](const fs::path& p) { return p.extension() == ".mp4" ? 125.2 : 59.5; });
    struct Case {
        uint64_t filter;
        std::string footer;
        size_t items;
    };
    for (const Case& c : {Case{0, "3 Photos, 2 Videos", 5}, Case{1, "3 Photos", 3}, Case{2, "2 Videos", 2}}) {
        SCOPED_TRACE(c.filter);
        auto p = open([&](PKImagePickerController& p) { p.filterType = c.filter; });
        auto grid = openAlbum(*p);
        auto cv = grid->collectionView();
        EXPECT_EQ(cv->numberOfItemsInSection(0), long(c.items));
        cv->scrollToItemAtIndexPath(NSIndexPath::indexPathForItem(0, 0), UICollectionViewScrollPosition::Top, false);
        uitest::layout();
        auto footer = cv->supplementaryViewForElementKind(UICollectionElementKindSectionFooter, 0);
        ASSERT_TRUE(footer);
        EXPECT_EQ(std::dynamic_pointer_cast<UILabel>(footer->viewWithTag(1))->text(), c.footer);
        if (c.filter == 2) {
            auto first = std::dynamic_pointer_cast<PKAssetCell>(cv->cellForItemAtIndexPath({0, 0}));
            EXPECT_FALSE(first->videoIndicatorView->isHidden());
            EXPECT_EQ(first->videoIndicatorView->timeLabel->text(), "02:06");
        }
        // Four portrait columns in 320 points: (320 - 10) / 4.
        grid->view()->setFrame(CGRect(0, 0, 320, 480));
        EXPECT_EQ(*grid->collectionView_layout_sizeForItemAtIndexPath(*cv, {0, 0}), CGSize(77.5, 77.5));
        close();
    }
    EXPECT_EQ(PKVideoIndicatorView::durationText(59), "00:59");
    EXPECT_EQ(PKVideoIndicatorView::durationText(59.5), "01:00");
    EXPECT_EQ(PKVideoIndicatorView::durationText(125.2), "02:06");
}

TEST_F(Picker, OpensAtTheNewestOnlyWhenPushed) {
    photos(60, library.path());
    auto p = open();
    auto grid = openAlbum(*p);
    auto cv = grid->collectionView();
    auto visible = cv->indexPathsForVisibleItems();
    ASSERT_FALSE(visible.empty());
    EXPECT_EQ(visible.back(), NSIndexPath::indexPathForItem(59, 0)) << "the newest is in view";
    cv->setContentOffset({0, 0});
    auto above = std::make_shared<UIViewController>();
    p->albumsNavigationController()->pushViewController(above, false);
    p->albumsNavigationController()->popViewControllerAnimated(false);
    uitest::layout();
    EXPECT_EQ(cv->contentOffset().y, 0) << "coming back keeps the place";
}

TEST_F(Picker, AlbumsComeInTypeOrderWhateverOrderTheyAreFound) {
    photos(1, library.path());
    photos(1, library / "Photo Stream");
    photos(1, library / "Beach");
    auto held = std::make_shared<HeldLibrary>();
    auto p = PKImagePickerController::create();
    p->assetsLibrary = held;
    root->presentViewController(p, false);
    ASSERT_EQ(held->calls.size(), 3u);
    for (ALAssetsGroupType t : {ALAssetsGroupAlbum, ALAssetsGroupPhotoStream, ALAssetsGroupSavedPhotos}) held->release(t);
    ASSERT_TRUE(testsupport::waitFor([&] { return albums(*p).assetsGroups().size() == 3; }));
    std::vector<std::string> names;
    for (auto& g : albums(*p).assetsGroups()) names.push_back(g->name());
    EXPECT_EQ(names, (std::vector<std::string>{"相机胶卷", "Photo Stream", "Beach"}));
}

TEST_F(Picker, AlbumRowsShowTheNewestInFrontAndReloadOnChanges) {
    photos(1, library.path());
    photos(2, library / "Photo Stream");
    photos(5, library / "Beach");
    fs::create_directories(library / "Empty");
    fs::create_directories(library / ".hidden");
    writePicture(library / ".hidden/x.png", shade(1));
    auto p = open({}, 4);
    auto table = albums(*p).tableView();
    auto row = [&](long r) { return std::dynamic_pointer_cast<PKAlbumCell>(table->cellForRowAtIndexPath({0, r})); };
    struct Expect {
        long row;
        std::string count;
        int shown;  // thumbnails shown
    };
    for (const Expect& e : {Expect{0, "1", 1}, Expect{1, "2", 2}, Expect{2, "5", 3}}) {
        SCOPED_TRACE(e.row);
        auto cell = row(e.row);
        ASSERT_TRUE(cell);
        EXPECT_EQ(cell->countLabel->text(), e.count);
        std::vector<UIImageView*> views{cell->imageView1.get(), cell->imageView2.get(), cell->imageView3.get()};
        ASSERT_TRUE(testsupport::waitFor([&] {
            int n = 0;
            for (auto* v : views) n += !v->isHidden() && v->image();
            return n == e.shown;
        }));
        for (int i = e.shown; i < 3; ++i) EXPECT_TRUE(views[size_t(i)]->isHidden()) << i;
        // The newest (the highest index) in front.
        int newest = std::stoi(e.count) - 1;
        EXPECT_TRUE(screentest::near(cell->imageView1->image()->CGImage()->pixelAt(10, 10), shade(newest)));
        if (e.shown == 3)
            EXPECT_TRUE(screentest::near(cell->imageView3->image()->CGImage()->pixelAt(10, 10), shade(newest - 2)));
    }
    auto empty = row(3);
    EXPECT_EQ(empty->titleLabel->text(), "Empty");
    EXPECT_EQ(empty->countLabel->text(), "0");
    for (auto& v : {empty->imageView1, empty->imageView2, empty->imageView3}) {
        EXPECT_FALSE(v->isHidden());
        ASSERT_TRUE(v->image());
        EXPECT_TRUE(screentest::near(v->image()->CGImage()->pixelAt(1, 1), RGBA8{239, 239, 244, 255}, 2));
    }
    EXPECT_EQ(table->numberOfRowsInSection(0), 4) << "hidden folders are no albums";

    // A new file in an album: the list reloads once the change has settled.
    writePicture(library / "Beach/new.png", shade(9));
    ASSERT_TRUE(testsupport::waitFor([&] {
        advance(0.3);
        auto cell = row(2);
        return cell && cell->countLabel->text() == "6";
    }));
}

TEST_F(Picker, ManyPhotosDecodeOnlyWhatIsInView) {
    auto folder = library / "Many";
    fs::create_directories(folder);
    auto one = imageio::encodePNG(*CGImage::create(8, 8, false));
    std::string bytes(one->begin(), one->end());
    for (int i = 0; i < 5000; ++i) testsupport::writeFile(folder / ("IMG_" + std::to_string(10000 + i) + ".png"), bytes);
    std::atomic<int> decoded{0};
    AssetImageLoader::shared().clearCache();
    AssetImageLoader::shared().setDecodeObserver([&](const fs::path&, AssetImageLoader::Kind) { ++decoded; });
    auto p = open({}, 2);
    auto grid = openAlbum(*p, 1);
    ASSERT_EQ(grid->numberOfAssets(), 5000u);
    auto cells = grid->collectionView()->visibleCells();
    ASSERT_TRUE(testsupport::waitFor([&] {
        for (auto& c : cells)
            if (!std::static_pointer_cast<PKAssetCell>(c)->imageView->image()) return false;
        return true;
    }));
    EXPECT_LE(decoded.load(), int(cells.size()) + 6) << "the visible items and the album rows, nothing more";
}

TEST_F(Picker, ABadStringTableNeverCrashes) {
    photos(3, library.path());
    for (const std::string& table :
         {std::string("this is not a property list"), std::string("<?xml version=\"1.0\"?><plist><array/></plist>")}) {
        bundle.writeFile("Korvel.bundle/Base.lproj/PKImagePicker.strings", table);
        auto p = open([](PKImagePickerController& p) { p.allowsMultipleSelection = true; });
        EXPECT_EQ(albums(*p).navigationItem().title(), "title") << "a missing text reads as its key";
        close();
    }
    screentest::writeKorvelBundle(
        bundle, Value::dict({{"title", 42},
                             {"items_selected", "%n%s%p %99999999d %1$@ %*d %.3@ %q %-5lu| %%"},
                             {"format_photos", "%@%@%@%@"}}));
    auto p = open([](PKImagePickerController& p) {
        p.allowsMultipleSelection = true;
        p.filterType = 1;
    });
    auto grid = openAlbum(*p);
    tapItem(*grid, 0);
    // No padding of millions, nothing read past the one number, no %n.
    std::string info = p->selectionInfoText();
    EXPECT_LT(info.size(), 40u) << info;
    EXPECT_TRUE(strings::hasSuffix(info, "| %")) << info;
    EXPECT_EQ(albums(*p).navigationItem().title(), "title");
}

}  // namespace
