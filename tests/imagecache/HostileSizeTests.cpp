#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "CodingTestSupport.h"
#include "platform/graphics/ImageDestination.h"
#include "platform/graphics/ImageIO.h"
#include "support/TestSupport.h"

namespace {

// Sanitizers keep shadow memory: peak memory only means something in a
// plain build (testsupport::kMeasuresMemory). Under AddressSanitizer the
// child runs with its allocator limited instead: one allocation over
// 32 MiB, or 192 MiB mapped in all, ends it.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLimitsAllocator = true;
#else
constexpr bool kLimitsAllocator = false;
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

// 9000 × 9000 pixels (81 Mpx, each side within the budget) claimed by a
// little TIFF: its width and height fields become LONGs of 9000.
Data hugeTIFF() {
    auto dest = imageio::ImageDestination::create(imageio::Format::TIFF, 1);
    dest->addImage(codingtest::pattern(4, 4, 1, true));
    Data tiff = *dest->finalize();
    uint32_t ifd = tiff[4] | tiff[5] << 8 | tiff[6] << 16 | uint32_t(tiff[7]) << 24;
    for (size_t i = 0, n = tiff[ifd] | tiff[ifd + 1] << 8; i < n; ++i) {
        uint8_t* e = &tiff[ifd + 2 + i * 12];
        uint16_t tag = uint16_t(e[0] | e[1] << 8);
        if (tag != 256 && tag != 257 && tag != 278) continue;  // width, length, rows per strip
        const uint8_t oneLong9000[] = {4, 0, 1, 0, 0, 0, 0x28, 0x23, 0, 0};  // type, count, value
        std::copy_n(oneLong9000, 10, e + 2);
    }
    return tiff;
}

// The same claim in a JPEG 2000 file's image header (one tile of that size).
Data hugeJPEG2000() {
    auto dest = imageio::ImageDestination::create(imageio::Format::JPEG2000, 1);
    dest->addImage(codingtest::pattern(4, 4, 1, true));
    Data jp2 = *dest->finalize();
    Data siz = {0xFF, 0x4F, 0xFF, 0x51};
    size_t at = size_t(std::search(jp2.begin(), jp2.end(), siz.begin(), siz.end()) - jp2.begin());
    for (size_t field : {0, 1, 4, 5}) setBE32(jp2, at + 8 + field * 4, 9000);
    return jp2;
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
        {"TIFF 9000 x 9000", hugeTIFF(), "frames=0 images=0"},
        {"JPEG 2000 9000 x 9000", hugeJPEG2000(), "frames=0 images=0"},
    };
    testsupport::TempDir dir;
    for (auto& c : cases) {
        testsupport::writeFile(dir / "file", std::string(c.file.begin(), c.file.end()));
        std::vector<std::string> command = {testsupport::built(DECODE_CHILD), (dir / "file").string()};
        if (kLimitsAllocator) {
            const char* inherited = std::getenv("ASAN_OPTIONS");
            std::string options = std::string(inherited ? inherited : "") +
                                  ":max_allocation_size_mb=32:allocator_may_return_null=0:mmap_limit_mb=192";
            command.insert(command.begin(), {"/usr/bin/env", "ASAN_OPTIONS=" + options});
        }
        auto run = testsupport::runProgram(command);
        ASSERT_EQ(run.status, 0) << c.what << ": " << run.err;
        EXPECT_NE(run.out.find(c.result), std::string::npos) << c.what << ": " << run.out;
        long peakKiB = std::stol(run.out.substr(run.out.find("peak_kib=") + 9));
        if (testsupport::kMeasuresMemory) {
            EXPECT_LT(peakKiB, 64 * 1024) << c.what;
        }
    }
}

}  // namespace
