#include <gtest/gtest.h>

#include "CodingTestSupport.h"
#include "platform/graphics/ImageIO.h"
#include "support/TestSupport.h"

namespace {

// Sanitizers keep shadow memory: peak memory only means something in a plain build.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMeasuresMemory = false;
#else
constexpr bool kMeasuresMemory = true;
#endif

void setBE32(Data& d, size_t at, uint32_t v) { std::copy_n(codingtest::be32(v).begin(), 4, d.begin() + long(at)); }

Data hugePNG() {
    auto chunks = codingtest::chunksOf(*imageio::encodePNG(*codingtest::pattern(4, 4, 1, false)));
    setBE32(chunks[0].body, 0, 100000), setBE32(chunks[0].body, 4, 100000);
    return codingtest::pngFile(chunks);
}

Data hugeGIF() {
    return codingtest::buildGIF(65535, 65535, {{0, 0, 1, 1, {1}, -1, 0, 0}});
}

Data hugeJPEG() {
    Data jpeg = *imageio::encodeJPEG(*codingtest::pattern(16, 16, 1, false), 0.8);
    for (size_t i = 0; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {  // baseline frame header: height, width at +5, +7
            jpeg[i + 5] = 0xFF, jpeg[i + 6] = 0xDC, jpeg[i + 7] = 0xFF, jpeg[i + 8] = 0xDC;
            break;
        }
    return jpeg;
}

Data hugeAPNGFrame() {
    codingtest::APNG spec;
    spec.width = 8, spec.height = 8;
    spec.frames = {{codingtest::pattern(8, 8, 1, true)}, {codingtest::pattern(8, 8, 2, true)}};
    auto chunks = codingtest::chunksOf(codingtest::build(spec));
    for (auto& c : chunks)
        if (c.type == "fcTL" && c.body[3] == 1) setBE32(c.body, 4, 0x80000000u);
    return codingtest::pngFile(chunks);
}

TEST(HostileSizes, ClaimedSizesAreRefusedBeforeAnythingIsAllocated) {
    struct Case {
        const char* what;
        Data file;
        const char* result;
    } cases[] = {
        {"PNG 100000 x 100000", hugePNG(), "frames=0 images=0"},
        {"GIF screen 65535 x 65535", hugeGIF(), "frames=0 images=0"},
        {"JPEG 65500 x 65500", hugeJPEG(), "frames=0 images=0"},
        {"APNG frame width 2^31", hugeAPNGFrame(), "frames=1 images=1"},  // plays as a still image
    };
    testsupport::TempDir dir;
    for (auto& c : cases) {
        testsupport::writeFile(dir / "file", std::string(c.file.begin(), c.file.end()));
        auto run = testsupport::runProgram({testsupport::built(DECODE_CHILD), (dir / "file").string()});
        ASSERT_EQ(run.status, 0) << c.what << ": " << run.err;
        EXPECT_NE(run.out.find(c.result), std::string::npos) << c.what << ": " << run.out;
        long peakKiB = std::stol(run.out.substr(run.out.find("peak_kib=") + 9));
        if (kMeasuresMemory) {
            EXPECT_LT(peakKiB, 64 * 1024) << c.what;
        }
    }
}

}  // namespace
