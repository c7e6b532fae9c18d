#pragma once
// Set-up shared by the tests of the system plug-in's screens: the bundle's
// layouts linked, a "Korvel" resource bundle with a string table, a photo
// library folder of its own, and pictures made to order.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/device/PhotoLibrary.h"
#include "platform/foundation/Files.h"
#include "platform/graphics/ImageIO.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UIWindow.h"
#include "plugin/iOS/RAZ5Orered/ImagePicker/PKAlbumsViewController.h"
#include "plugin/iOS/RAZ5Orered/ImagePicker/PKAssetsViewController.h"
#include "plugin/iOS/RAZ5Orered/ImagePicker/PKImagePickerController.h"
#include "plugin/iOS/RAZ5Orered/KorvelBundle/KorvelBundle.h"
#include "support/TestSupport.h"

namespace screentest {

namespace fs = std::filesystem;

// The picker's table with plain formats, so tests read numbers back.
inline Value pickerTable() {
    return Value::dict({{"title", "Photos"},
                        {"items_selected", "%lu selected"},
                        {"format_photos", "%ld Photos"},
                        {"format_videos", "%ld Videos"},
                        {"format_photos_and_videos", "%ld Photos, %ld Videos"}});
}

inline void writeKorvelBundle(const testsupport::TempBundle& bundle, const Value& table = pickerTable()) {
    auto data = table.toXMLPlist();
    bundle.writeFile("Korvel.bundle/Base.lproj/PKImagePicker.strings", std::string(data.begin(), data.end()));
}

// A picture of one colour, as PNG or (with ".jpg") JPEG, modified `age`
// seconds ago so that listings sort as the test wants.
inline void writePicture(const fs::path& path, RGBA8 colour, int w = 16, int h = 16, int age = 0) {
    auto bitmap = CGImage::create(w, h, false);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) bitmap->setPixel(x, y, colour);
    bool jpeg = path.extension() == ".jpg";
    auto data = jpeg ? imageio::encodeJPEG(*bitmap, 0.95) : imageio::encodePNG(*bitmap);
    files::writeAtomically(path, *data);
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(age));
}

// A screen's picture at scale 2 to look at, written only when
// KORVEL_SHOT_DIR names a folder.
inline void keepShot(const UIWindow& window, const std::string& name) {
    if (const char* dir = std::getenv("KORVEL_SHOT_DIR")) window.writePNG((fs::path(dir) / name).string());
}

inline bool near(RGBA8 a, RGBA8 b, int tolerance = 12) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

// The photo library pointed at a folder of the test's for its life.
class ScopedLibrary {
public:
    ScopedLibrary() {
        KorvelBundle::link();
        PhotoLibrary::setFolder(dir_.path());
    }
    ~ScopedLibrary() { PhotoLibrary::setFolder(""); }
    const fs::path& path() const { return dir_.path(); }
    fs::path operator/(const std::string& rel) const { return dir_.path() / rel; }

private:
    testsupport::TempDir dir_{"korvel-photos"};
};

// The picker's two screens as a player reaches them.
inline PKAlbumsViewController& albums(PKImagePickerController& p) {
    return *std::dynamic_pointer_cast<PKAlbumsViewController>(p.albumsNavigationController()->viewControllers()[0]);
}
// Taps an album's row and lets the push finish (`advance` moves the test clock).
inline std::shared_ptr<PKAssetsViewController> openAlbum(PKImagePickerController& p, long row,
                                                         const std::function<void(double)>& advance) {
    auto cell = albums(p).tableView()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(row, 0));
    EXPECT_TRUE(cell && uitest::tapView(*cell)) << "row " << row;
    advance(0.5);
    uitest::layout();
    auto grid = std::dynamic_pointer_cast<PKAssetsViewController>(p.albumsNavigationController()->topViewController());
    EXPECT_TRUE(grid) << "no grid for row " << row;
    return grid;
}
inline void tapItem(PKAssetsViewController& grid, long item) {
    auto c = grid.collectionView();
    c->scrollToItemAtIndexPath(NSIndexPath::indexPathForItem(item, 0), UICollectionViewScrollPosition::None, false);
    uitest::layout();
    auto cell = c->cellForItemAtIndexPath(NSIndexPath::indexPathForItem(item, 0));
    ASSERT_TRUE(cell) << "item " << item;
    uitest::tapView(*cell);
}

}  // namespace screentest
