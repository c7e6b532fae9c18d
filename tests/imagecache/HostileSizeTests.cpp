#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "CodingTestSupport.h"
#include "platform/graphics/ImageDestination.h"
#include "platform/graphics/ImageIO.h"
#include "support/HostileImageFiles.h"
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

// What the decode child reported, run under AddressSanitizer with its
// allocator limited to `largestMiB` in one allocation and `mappedMiB` in all.
struct ChildRun {
    std::string out;
    long peakKiB = 0, cpuMs = 0;
};

ChildRun runChild(const Data& file, std::vector<std::string> arguments, int largestMiB, int mappedMiB) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "file", std::string(file.begin(), file.end()));
    std::vector<std::string> command = {testsupport::built(DECODE_CHILD), (dir / "file").string()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    if (kLimitsAllocator) {
        const char* inherited = std::getenv("ASAN_OPTIONS");
        std::string options = std::string(inherited ? inherited : "") + ":max_allocation_size_mb=" +
                              std::to_string(largestMiB) + ":allocator_may_return_null=0:mmap_limit_mb=" +
                              std::to_string(mappedMiB);
        command.insert(command.begin(), {"/usr/bin/env", "ASAN_OPTIONS=" + options});
    }
    auto run = testsupport::runProgram(command);
    EXPECT_EQ(run.status, 0) << run.err;
    ChildRun out{run.out};
    if (auto at = run.out.find("peak_kib="); at != std::string::npos) out.peakKiB = std::stol(run.out.substr(at + 9));
    if (auto at = run.out.find("cpu_ms="); at != std::string::npos) out.cpuMs = std::stol(run.out.substr(at + 7));
    return out;
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
    for (auto& c : cases) {
        auto run = runChild(c.file, {}, 32, 192);
        EXPECT_NE(run.out.find(c.result), std::string::npos) << c.what << ": " << run.out;
        if (testsupport::kMeasuresMemory) {
            EXPECT_LT(run.peakKiB, 64 * 1024) << c.what;
        }
    }
}

Data bytesOf(const std::vector<uint8_t>& v) { return Data(v.begin(), v.end()); }

// 8192 x 8192 grey of 64 x 64 code-blocks, with a style of 4 x 4 hidden in
// an unknown segment of the main header.
std::vector<uint8_t> hiddenStyle(testsupport::Hidden hidden, bool jp2) {
    testsupport::EmptyCodestream spec{8192, 8192, 1, 8, 5, 6};
    spec.hidden = hidden;
    auto bare = testsupport::emptyCodestream(spec);
    return jp2 ? testsupport::inJP2Boxes(bare, spec) : bare;
}

// Files of a few hundred bytes that ask for gigabytes of decoder set-up,
// and files of a few hundred KiB that ask for minutes of decoding: each
// gives no image or a bounded number, at a bounded cost. The bounds are
// generous (the cost before was 2 GB or 40 s); memory and time are only
// measured in a plain build, the sanitized one limits the allocator.
TEST(HostileSizes, SmallFilesAskingForHugeWorkCostABoundedAmount) {
    using testsupport::EmptyCodestream;
    using testsupport::Hidden;
    struct Case {
        const char* what;
        Data file;
        std::vector<std::string> arguments;  // a thumbnail's size, or none: every frame
        const char* result;
        long peakMiB, cpuSeconds;
        int largestMiB, mappedMiB;  // the allocator's limits under AddressSanitizer
    } cases[] = {
        {"JPEG 2000 8192 x 8192 grey of 4 x 4 code-blocks",
         bytesOf(testsupport::emptyCodestream({8192, 8192, 1, 8, 5, 2})), {}, "frames=0 images=0", 64, 5, 32, 192},
        {"JPEG 2000 4096 x 4096 of four 16-bit components, 4 x 4 code-blocks",
         bytesOf(testsupport::emptyCodestream({4096, 4096, 4, 16, 5, 2})), {}, "frames=0 images=0", 64, 5, 32, 192},
        {"the 8192 x 8192 one made into a thumbnail",
         bytesOf(testsupport::emptyCodestream({8192, 8192, 1, 8, 5, 2})), {"64"}, "bitmap=none", 64, 5, 32, 192},
        // Honest code-blocks: the thumbnail decodes five levels down, not 256 MiB of samples.
        {"JPEG 2000 8192 x 8192 of 64 x 64 code-blocks made into a thumbnail",
         bytesOf(testsupport::emptyCodestream({8192, 8192, 1, 8, 5, 6})), {"64"}, "bitmap=256x256", 64, 5, 32, 192},
        // A style OpenJPEG reads in the body of a segment it does not know
        // (it took 2.1 GB and 5.7 s, 1.6 GB as a thumbnail).
        {"JPEG 2000 8192 x 8192 grey, a COC of 4 x 4 code-blocks hidden in an unknown segment",
         bytesOf(hiddenStyle(Hidden::MainHeaderCOC, false)), {}, "frames=0 images=0", 64, 5, 32, 192},
        {"the same made into a thumbnail", bytesOf(hiddenStyle(Hidden::MainHeaderCOC, false)), {"64"}, "bitmap=none",
         64, 5, 32, 192},
        {"the same in JP2 boxes", bytesOf(hiddenStyle(Hidden::MainHeaderCOC, true)), {}, "frames=0 images=0", 64, 5, 32,
         192},
        {"JPEG 2000 8192 x 8192 grey, a tile-part header of 4 x 4 code-blocks hidden in an unknown segment",
         bytesOf(hiddenStyle(Hidden::TilePartCOD, false)), {}, "frames=0 images=0", 64, 5, 32, 192},
        {"the same in JP2 boxes", bytesOf(hiddenStyle(Hidden::TilePartCOD, true)), {}, "frames=0 images=0", 64, 5, 32,
         192},
        {"TIFF of 64 pages of 8192 x 8192 sharing one strip", bytesOf(testsupport::pagesSharingOneStrip(64, 8192)),
         {}, "frames=16 images=16", 1024, 60, 300, 2048},
        {"TIFF of 1024 pages of 2048 x 2048 sharing one strip", bytesOf(testsupport::pagesSharingOneStrip(1024, 2048)),
         {}, "frames=256 images=256", 1024, 60, 300, 2048},
    };
    EXPECT_EQ(cases[0].file.size(), 102u);
    EXPECT_EQ(cases[1].file.size(), 129u);
    EXPECT_EQ(cases[4].file.size(), 117u);
    for (auto& c : cases) {
        auto run = runChild(c.file, c.arguments, c.largestMiB, c.mappedMiB);
        EXPECT_NE(run.out.find(c.result), std::string::npos) << c.what << ": " << run.out;
        if (testsupport::kMeasuresMemory) {
            EXPECT_LT(run.peakKiB, c.peakMiB * 1024) << c.what;
            EXPECT_LT(run.cpuMs, c.cpuSeconds * 1000) << c.what;
        }
        std::printf("%s (%zu bytes): %s", c.what, c.file.size(), run.out.c_str());
    }
}

}  // namespace
