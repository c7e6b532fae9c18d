// What a hostile picture costs down each road a page's picture takes
// (decoded, made into a thumbnail by SaveThumbnail, loaded as a web image),
// each in a child process of its own that measures it.

#include <gtest/gtest.h>

#include "support/HostileImageFiles.h"
#include "support/TestSupport.h"

namespace {

using testsupport::PaletteAt;

struct Road {
    const char* name;
    std::vector<std::string> arguments;  // after the file
};

// JP2 files of 6.6 KB whose palette of 255 columns stands where OpenJPEG
// takes it, which it would apply as 255 full-size components: 2 GB for
// 1448 x 1448 grey, at the top level after the header box, in the first of
// two header boxes, or behind a box of the 64-bit length. Down every road
// each costs under 100 MB and gives no picture (more than four channels).
// The resident peak is measured in a plain build, the heap under
// AddressSanitizer; ThreadSanitizer measures nothing.
TEST(PictureCost, APaletteOfManyColumnsCostsNothingWhereverItStands) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "memory is not measured under ThreadSanitizer";
#endif
    const Road roads[] = {{"plain", {}}, {"thumbnail", {"1448", "1448"}}, {"web", {}}};
    for (PaletteAt at : {PaletteAt::TopLevel, PaletteAt::FirstOfTwoHeaderBoxes, PaletteAt::BehindXLBox}) {
        auto file = testsupport::manyColumnPalette(1448, 255, at);
        EXPECT_LT(file.size(), 6700u);
        testsupport::TempDir dir;
        testsupport::writeFile(dir / "palette.jp2", std::string(file.begin(), file.end()));
        for (const Road& road : roads) {
            std::vector<std::string> command = {testsupport::built(PICTURE_COST_CHILD), road.name,
                                                (dir / "palette.jp2").string()};
            command.insert(command.end(), road.arguments.begin(), road.arguments.end());
            auto run = testsupport::runProgram(command);
            const std::string what = std::string(road.name) + " with the palette at " + std::to_string(int(at));
            ASSERT_EQ(run.status, 0) << what << ": " << run.err;
            EXPECT_EQ(testsupport::printedNumber(run.out, "image"), 0) << what << ": " << run.out;
            long grew = testsupport::printedNumber(run.out, testsupport::kMeasuresMemory ? "grew_kib" : "heap_kib");
            EXPECT_GE(grew, 0) << what << ": " << run.out;
            EXPECT_LT(grew, 100 * 1024) << what << ": " << run.out;
            std::printf("%s: %s", what.c_str(), run.out.c_str());
        }
    }
}

}  // namespace
