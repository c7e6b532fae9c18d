// The media layer: how the photo library's folder reads as albums, the
// pictures made of its files, its change notices, and the camera's test
// source, on a test clock where time matters.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "platform/device/ALAssetsLibrary.h"
#include "platform/device/Camera.h"
#include "platform/device/DeviceFacts.h"
#include "platform/device/GStreamer.h"
#include "platform/device/HardwareFacts.h"
#include "platform/device/SoundPlayer.h"
#include "platform/foundation/Strings.h"
#include "platform/device/PhotoLibrary.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/graphics/ImageIO.h"
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

void writePicture(const fs::path& path, RGBA8 colour, int w = 8, int h = 8, int age = 0) {
    auto bitmap = CGImage::create(w, h, false);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) bitmap->setPixel(x, y, colour);
    auto data = path.extension() == ".jpg" ? imageio::encodeJPEG(*bitmap, 0.95) : imageio::encodePNG(*bitmap);
    testsupport::writeFile(path, std::string(data->begin(), data->end()));
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(age));
}

std::vector<std::string> names(const photolibrary::Folder& f) {
    std::vector<std::string> out;
    for (auto& e : f.entries) out.push_back(e.path.filename().string());
    return out;
}

TEST(PhotoLibraryScan, FoldersBecomeAlbumsAndOnlyTheirPicturesAndFilmsAssets) {
    testsupport::TempDir dir, outside;
    fs::path root = dir.path() / "Pictures";
    EXPECT_FALSE(photolibrary::scan(root)) << "no folder, no library";
    EXPECT_FALSE(fs::exists(root)) << "reading creates nothing";
    writePicture(root / "old.png", {255, 0, 0, 255}, 8, 8, 300);
    writePicture(root / "new.jpg", {0, 255, 0, 255}, 8, 8, 10);
    writePicture(root / "b-same.png", {0, 0, 255, 255}, 8, 8, 100);
    writePicture(root / "a-same.png", {0, 0, 255, 255}, 8, 8, 100);
    fs::last_write_time(root / "a-same.png", fs::last_write_time(root / "b-same.png"));
    testsupport::writeFile(root / "clip.MP4", "film");
    testsupport::writeFile(root / "notes.txt", "words");
    testsupport::writeFile(root / "fake.jpg", "not a picture at all");
    writePicture(root / ".hidden.png", {1, 1, 1, 255});
    writePicture(outside / "far.png", {1, 1, 1, 255});
    fs::create_symlink(outside / "far.png", root / "link-out.png");
    fs::create_symlink(root / "old.png", root / "link-in.png");
    writePicture(root / "Photo Stream/s.png", {9, 9, 9, 255});
    writePicture(root / "Zoo/z.png", {9, 9, 9, 255});
    writePicture(root / "Album \xff/x.png", {9, 9, 9, 255});
    writePicture(root / ".secret/y.png", {9, 9, 9, 255});
    fs::create_directories(outside / "Far");
    fs::create_directory_symlink(outside / "Far", root / "Far");
    photolibrary::setDurationReader([](const fs::path&) { return 12.5; });

    auto folders = photolibrary::scan(root);
    photolibrary::setDurationReader(nullptr);
    ASSERT_TRUE(folders);
    std::vector<std::pair<std::string, uint32_t>> albums;
    for (auto& f : *folders) albums.emplace_back(f.name, f.groupType);
    EXPECT_EQ(albums, (std::vector<std::pair<std::string, uint32_t>>{
                          {"相机胶卷", 16}, {"Photo Stream", 32}, {"Album \uFFFD", 2}, {"Zoo", 2}}));
    // Oldest first, then by name (a link inside has its target's time).
    EXPECT_EQ(names((*folders)[0]), (std::vector<std::string>{"link-in.png", "old.png", "a-same.png", "b-same.png",
                                                              "new.jpg", "clip.MP4"}));
    auto& clip = (*folders)[0].entries[5];
    EXPECT_EQ(clip.kind, photolibrary::MediaKind::Video);
    EXPECT_DOUBLE_EQ(clip.duration, 12.5);

    // URLs are percent-encoded and lead back only inside the root.
    auto& odd = (*folders)[2].entries[0];
    EXPECT_EQ(odd.url, "file://" + strings::percentEncode(root.string(), "/") + "/Album%20%FF/x.png");
    EXPECT_EQ(photolibrary::pathForURL(root, odd.url), odd.path);
    for (auto url : {"file://" + outside.path().string() + "/far.png", "file://" + root.string() + "/../x.png",
                     std::string("http://example.com/a.png"), "file://" + root.string() + "/link-out.png"})
        EXPECT_FALSE(photolibrary::pathForURL(root, url)) << url;
    EXPECT_TRUE(photolibrary::entryForPath(root, root / "Zoo/z.png"));
    EXPECT_FALSE(photolibrary::entryForPath(root, root / ".secret/y.png"));
    EXPECT_FALSE(photolibrary::entryForPath(root, root / "notes.txt"));
}

TEST(AssetImageLoader, ThumbnailsFillTheSquareAndFullScreenImagesFitWithoutGrowing) {
    auto wide = CGImage::create(300, 100, false);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 300; ++x)
            wide->setPixel(x, y, x < 100 ? RGBA8{255, 0, 0, 255} : x < 200 ? RGBA8{0, 255, 0, 255} : RGBA8{0, 0, 255, 255});
    auto thumb = AssetImageLoader::makeImage(*UIImage::imageWithCGImage(wide), AssetImageLoader::Kind::Thumbnail);
    ASSERT_TRUE(thumb);
    EXPECT_EQ(thumb->size(), CGSize(150, 150));
    EXPECT_EQ(thumb->CGImage()->pixelAt(75, 75), (RGBA8{0, 255, 0, 255})) << "the middle third fills the square";
    EXPECT_EQ(thumb->CGImage()->pixelAt(2, 75), (RGBA8{0, 255, 0, 255})) << "the sides are cut off";

    struct Case {
        int w, h;
        CGSize shown;
    };
    for (auto c : {Case{3000, 1000, {750, 250}}, Case{1000, 4002, {333, 1334}}, Case{100, 50, {100, 50}}}) {
        auto image = UIImage::imageWithCGImage(CGImage::create(c.w, c.h, false));
        EXPECT_EQ(AssetImageLoader::makeImage(*image, AssetImageLoader::Kind::FullScreen)->size(), c.shown) << c.w;
    }
}

TEST(AssetImageLoader, FilesAreAnsweredInOrderUprightOrNotAtAll) {
    testsupport::TempDir dir;
    // A JPEG stored sideways (EXIF 6): 40 × 20 as stored (red left, blue
    // right), 20 × 40 as shown.
    auto stored = testsupport::quadrants(40, 20, false, {255, 0, 0, 255}, {0, 0, 255, 255}, {255, 0, 0, 255},
                                         {0, 0, 255, 255});
    auto jpeg = testsupport::jpegWithOrientation(*stored, 6);
    testsupport::writeFile(dir / "sideways.jpg", std::string(jpeg.begin(), jpeg.end()));
    auto broken = jpeg;
    broken.resize(broken.size() / 3);
    testsupport::writeFile(dir / "broken.jpg", std::string(broken.begin(), broken.end()));
    testsupport::writeFile(dir / "film.mp4", "not a picture");

    std::vector<std::pair<std::string, std::shared_ptr<UIImage>>> answers;
    for (auto name : {"sideways.jpg", "broken.jpg", "film.mp4", "sideways.jpg"})
        AssetImageLoader::shared().request(dir / name, AssetImageLoader::Kind::FullScreen,
                                           [&answers, name](std::shared_ptr<UIImage> image) {
                                               answers.emplace_back(name, image);
                                           });
    ASSERT_TRUE(testsupport::waitFor([&] { return answers.size() == 4; }));
    EXPECT_EQ(answers[0].first, "sideways.jpg");
    EXPECT_EQ(answers[1].first, "broken.jpg");
    EXPECT_EQ(answers[2].first, "film.mp4");
    ASSERT_TRUE(answers[0].second);
    EXPECT_EQ(answers[0].second->size(), CGSize(20, 40));
    EXPECT_EQ(answers[0].second->imageOrientation(), UIImageOrientation::Up);
    RGBA8 top = answers[0].second->CGImage()->pixelAt(10, 5);
    EXPECT_GT(top.r, 200) << "rotated a quarter turn clockwise: the red half is on top";
    EXPECT_FALSE(answers[1].second);
    EXPECT_FALSE(answers[2].second);
    EXPECT_EQ(answers[3].second, answers[0].second) << "kept, not decoded again";
}

// One picture that takes long (held here in the decode observer) delays no
// other thumbnail; full-screen images still come in the order asked.
TEST(AssetImageLoader, ASlowFileHoldsUpNoOtherThumbnail) {
    testsupport::TempDir dir;
    auto jpeg = testsupport::jpegWithOrientation(*testsupport::quadrants(40, 20), 1);
    for (auto name : {"slow.jpg", "a.jpg", "b.jpg", "c.jpg"})
        testsupport::writeFile(dir / name, std::string(jpeg.begin(), jpeg.end()));
    AssetImageLoader::shared().clearCache();
    std::mutex m;
    std::condition_variable cv;
    bool release = false, slowStarted = false;
    AssetImageLoader::shared().setDecodeObserver([&](const fs::path& path, AssetImageLoader::Kind) {
        if (path.filename() != "slow.jpg") return;
        std::unique_lock lock(m);
        slowStarted = true;
        cv.wait(lock, [&] { return release; });
    });
    std::vector<std::string> answered;
    for (auto name : {"slow.jpg", "a.jpg", "b.jpg", "c.jpg"})
        AssetImageLoader::shared().request(dir / name, AssetImageLoader::Kind::Thumbnail,
                                           [&answered, name](std::shared_ptr<UIImage> image) {
                                               if (image) answered.push_back(name);
                                           });
    bool othersDone = testsupport::waitFor([&] { return answered.size() == 3; });
    {
        std::lock_guard lock(m);
        EXPECT_TRUE(slowStarted);
        release = true;
    }
    cv.notify_all();
    ASSERT_TRUE(othersDone) << answered.size();
    EXPECT_EQ(std::count(answered.begin(), answered.end(), "slow.jpg"), 0);
    ASSERT_TRUE(testsupport::waitFor([&] { return answered.size() == 4; }));
    EXPECT_EQ(answered.back(), "slow.jpg");
    AssetImageLoader::shared().setDecodeObserver(nullptr);
}

TEST(PhotoLibraryMonitor, ChangesPostTheGroupsThatChanged) {
    ScopedTestClock clock;
    testsupport::TempDir dir;
    writePicture(dir / "a.png", {1, 2, 3, 255});
    fs::create_directories(dir / "Trip");
    PhotoLibrary::setFolder(dir.path());
    std::vector<Value> notices;
    auto token = NSNotificationCenter::defaultCenter().addObserver(
        ALAssetsLibraryChangedNotification, [&](const NSNotification& n) { notices.push_back(n.userInfo); });
    {
        auto library = std::make_shared<ALAssetsLibrary>();
        writePicture(dir / "Trip/b.png", {4, 5, 6, 255});
        writePicture(dir / "Trip/c.png", {4, 5, 6, 255});
        ASSERT_TRUE(testsupport::waitFor([&] {
            clock->advance(std::chrono::milliseconds(100));
            return !notices.empty();
        }));
        EXPECT_EQ(notices.size(), 1u) << "changes close together make one notice";
        EXPECT_EQ(notices[0][ALAssetLibraryUpdatedAssetGroupsKey],
                  Value::array({photolibrary::fileURL(dir / "Trip")}));
    }
    // Nobody holds a library: nothing is watched.
    notices.clear();
    writePicture(dir / "d.png", {1, 2, 3, 255});
    RunLoop::runFor(std::chrono::milliseconds(200));
    clock->advance(std::chrono::seconds(1));
    RunLoop::drain();
    EXPECT_TRUE(notices.empty());
    NSNotificationCenter::defaultCenter().removeObserver(token);
    PhotoLibrary::setFolder("");
}

TEST(Camera, TheTestSourceDeliversUprightFramesUntilStopped) {
    auto picture = CGImage::create(64, 48, false);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) picture->setPixel(x, y, y < 24 ? RGBA8{250, 10, 10, 255} : RGBA8{10, 10, 250, 255});
    Camera::setTestImage(UIImage::imageWithCGImage(picture));
    EXPECT_TRUE(Camera::isAvailable());
    int frames = 0;
    std::shared_ptr<CGImage> last;
    auto camera = Camera::create(
        [&](const std::shared_ptr<CGImage>& f) {
            ++frames;
            last = f;
        },
        [](const std::string& reason) { ADD_FAILURE() << reason; });
    ASSERT_TRUE(camera->start());
    ASSERT_TRUE(testsupport::waitFor([&] { return frames >= 3; }));
    EXPECT_EQ(last->width(), 64);
    EXPECT_EQ(last->height(), 48);
    EXPECT_GT(last->pixelAt(32, 5).r, 200);
    EXPECT_GT(last->pixelAt(32, 40).b, 200);
    camera->stop();
    int stopped = frames;
    RunLoop::runFor(std::chrono::milliseconds(300));
    EXPECT_EQ(frames, stopped) << "nothing after stop";
    Camera::setTestImage(nullptr);
}

TEST(Camera, AMissingOrClosedDeviceIsReportedAtOnce) {
    testsupport::TempDir facts;
    device::setFactsRoot(facts.path());
    EXPECT_EQ(device::cameraAccess(), device::CameraAccess::Unavailable);
    EXPECT_FALSE(Camera::isAvailable());
    std::vector<std::string> failures;
    auto camera = Camera::create([](const auto&) { ADD_FAILURE() << "no frames without a camera"; },
                                 [&](const std::string& reason) { failures.push_back(reason); });
    EXPECT_FALSE(camera->start());
    ASSERT_TRUE(testsupport::waitFor([&] { return !failures.empty(); }));
    // Present but not openable: denied.
    fs::create_directories(facts / "sys/class/video4linux/video0");
    EXPECT_EQ(device::cameraAccess(), device::CameraAccess::Denied);
    // A node that opens but is no capture device fails when started.
    testsupport::writeFile(facts / "dev/video0", "");
    EXPECT_EQ(device::cameraAccess(), device::CameraAccess::Available);
    failures.clear();
    auto broken = Camera::create([](const auto&) {}, [&](const std::string& reason) { failures.push_back(reason); });
    broken->start();
    ASSERT_TRUE(testsupport::waitFor([&] { return !failures.empty(); }));
    EXPECT_FALSE(broken->isRunning());
    device::setFactsRoot("/");
}

}  // namespace

namespace {

TEST(SoundPlayer, TheDemosProbeSoundLoadsAndOtherFilesDoNot) {
    GStreamerSoundPlayer player;
    EXPECT_TRUE(player.load(testsupport::sourceDir() / "examples/DemoGame.app/Korvel.bundle/MuteChecker.caf"));
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "noise.caf", "not a sound");
    EXPECT_FALSE(GStreamerSoundPlayer().load(dir / "noise.caf"));
    EXPECT_DOUBLE_EQ(gstreamer::mediaDuration(dir / "noise.caf"), 0);
    EXPECT_NEAR(gstreamer::mediaDuration(testsupport::sourceDir() / "examples/DemoGame.app/Korvel.bundle/MuteChecker.caf"),
                0.25, 0.01);
}

}  // namespace
