// The executable while its page has a hostile picture made into a
// thumbnail: a progressive JPEG of 8192 × 8192 pixels that repeats one
// scan 2,000 times (under 1 MiB; such a file once held the main thread for 25 s). The
// bridge answers within a second throughout (a held main thread shows as
// many; a busy machine takes some hundred milliseconds, and the speed itself
// is the bridge benchmark's), the file gives no thumbnail, and a thumbnail
// asked for after it is made.

#include <gtest/gtest.h>

#include "platform/foundation/Strings.h"
#include "platform/graphics/CGImage.h"
#include "platform/graphics/ImageIO.h"
#include "support/GameProcess.h"
#include "support/JPEGScanBomb.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// The page asks for both thumbnails once, then goes on asking the bridge
// for a value, keeping the slowest answer after the first, until the second
// thumbnail is there; then it reports the answers, the slowest and whether
// the first one was written.
const char* kPage = R"HTML(<html><body><script>
  var worst = 0, answers = 0, asked = false;
  function thumbnail(docs, name) {
    KL_IOS.SaveThumbnail({sourcePath: docs + '/' + name + '.jpg', savePath: docs + '/' + name + '-thumb.jpg',
                          width: 64, height: 64});
  }
  function ping() {
    // The first answer also waits for the bridge to start up; only those
    // asked for while the thumbnails are made count.
    var t0 = performance.now(), counts = asked;
    KL_IOS.GetDocumentPath(function (docs) {
      if (counts) worst = Math.max(worst, performance.now() - t0);
      ++answers;
      if (!asked) {
        asked = true;
        thumbnail(docs, 'bomb');
        thumbnail(docs, 'fine');
      }
      KL_IOS.IsExistAtPath(docs + '/fine-thumb.jpg', function (done) {
        if (!done) return setTimeout(ping, 5);
        KL_IOS.IsExistAtPath(docs + '/bomb-thumb.jpg', function (bomb) {
          KL_IOS.Error('done ' + answers + ' ' + worst.toFixed(1) + ' ' + bomb);
        });
      });
    });
  }
  ping();
</script></body></html>)HTML";

TEST(HostileFile, TheBridgeAnswersWhileAScanBombIsMadeIntoAThumbnail) {
    testsupport::TempDir dir;
    fs::copy(testsupport::sourceDir() / "examples/DemoGame.app", dir / "Game.app", fs::copy_options::recursive);
    testsupport::writeFile(dir / "Game.app/Data/index.html", kPage);
    auto bomb = testsupport::progressiveJPEG(8192, 2000);
    ASSERT_LT(bomb.size(), 1u << 20);
    testsupport::writeFile(dir / "home/Documents/bomb.jpg", std::string(bomb.begin(), bomb.end()));
    auto fine = imageio::encodeJPEG(*CGImage::create(200, 100, false), 0.9);
    testsupport::writeFile(dir / "home/Documents/fine.jpg", std::string(fine->begin(), fine->end()));

    testsupport::GameProcess game(dir / "Game.app", dir / "home", dir / "game.log");
    std::vector<std::string> done;
    ASSERT_TRUE(testsupport::waitFor(
        [&] {
            for (auto& r : game.reports())
                if (strings::hasPrefix(r, "done ")) done = strings::split(r, " ");
            return done.size() == 4 || !game.running();
        },
        std::chrono::seconds(90)))
        << game.log();
    ASSERT_EQ(done.size(), 4u) << game.log();
    EXPECT_GT(std::stoi(done[1]), 1);
    EXPECT_LT(std::stod(done[2]), 1000.0) << "the slowest bridge answer, ms";
    EXPECT_EQ(done[3], "false") << "the bomb gave a thumbnail";
    EXPECT_TRUE(fs::exists(dir / "home/Documents/fine-thumb.jpg"));
    EXPECT_TRUE(game.running());
}

}  // namespace
