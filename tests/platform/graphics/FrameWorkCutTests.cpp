// Honest files past the frame-work bound, made at test time by their
// formats' own tools (libtiff's for a scanned document, ImageMagick for a
// long animation): they list the frames the bound allows, and the log says,
// once, how many of how many.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/graphics/ImageSource.h"
#include "support/HostileImageFiles.h"
#include "support/TestSupport.h"

namespace {

using imageio::ImageSource;
using testsupport::StderrCapture;

size_t occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

void run(const std::vector<std::string>& argv) {
    auto result = testsupport::runProgram(argv);
    ASSERT_EQ(result.status, 0) << argv[0] << ": " << result.err;
}

// A file read whole, and what the log had while it was read.
struct Read {
    std::unique_ptr<ImageSource> source;
    std::string log;
};

Read readWhole(const std::string& bytes) {
    StderrCapture err;
    auto source = ImageSource::create(std::make_shared<const Data>(bytes.begin(), bytes.end()));
    err.restore();
    return {std::move(source), err.text()};
}

// An A4 page scanned at 300 dpi, black and white: lines of "text" in PBM.
std::string scannedPage() {
    const int w = 2480, h = 3508, rowBytes = (w + 7) / 8;
    std::string pbm = "P4\n" + std::to_string(w) + " " + std::to_string(h) + "\n";
    for (int y = 0; y < h; ++y) {
        std::string row(size_t(rowBytes), '\0');
        if (y > 300 && y < 3200 && y % 60 < 20)
            for (int x = 25; x < rowBytes - 25; ++x) row[size_t(x)] = (x * 7 + y / 60 * 13) % 11 < 6 ? '\xFF' : '\0';
        pbm += row;
    }
    return pbm;
}

// `pages` copies of the scanned page in one G4 TIFF, as libtiff's tools write it.
std::string scannedDocument(const testsupport::TempDir& dir, int pages) {
    auto pbm = dir.path() / "page.pbm", page = dir.path() / "page.tif", doc = dir.path() / "doc.tif";
    testsupport::writeFile(pbm, scannedPage());
    run({"/usr/bin/ppm2tiff", "-c", "g4", "-R", "300", pbm.string(), page.string()});
    std::vector<std::string> join = {"/usr/bin/tiffcp"};
    for (int i = 0; i < pages; ++i) join.push_back(page.string());
    join.push_back(doc.string());
    run(join);
    return testsupport::readFile(doc);
}

TEST(FrameWorkCut, AScannedDocumentOfManyPagesListsWhatTheBoundAllowsAndSaysSo) {
    testsupport::TempDir dir;
    // 150 pages of 2480 x 3508: 8.7 Mpx each, 123 of them within 2^30.
    auto document = scannedDocument(dir, 150);
    auto whole = readWhole(document);
    ASSERT_EQ(whole.source->count(), 123u);
    EXPECT_EQ(occurrences(whole.log, "TIFF: 123 of 150 pages listed"), 1u) << whole.log;
    EXPECT_EQ(occurrences(whole.log, "\n"), 1u) << "one line: " << whole.log;
    auto last = whole.source->imageAtIndex(122);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->width(), 2480);
    EXPECT_EQ(last->pixelAt(1000, 319).r, 0) << "a line of text";
    EXPECT_EQ(last->pixelAt(1000, 100).r, 255) << "the margin";

    // Arriving in pieces, it says so once, when its last bytes are read.
    auto source = ImageSource::createIncremental();
    StderrCapture err;
    source->update(std::make_shared<Data>(document.begin(), document.begin() + long(document.size() * 9 / 10)), false);
    source->update(std::make_shared<Data>(document.begin(), document.end()), false);
    std::string beforeTheEnd = err.text();
    source->update(std::make_shared<Data>(document.begin(), document.end()), true);
    err.restore();
    EXPECT_EQ(beforeTheEnd, "");
    EXPECT_EQ(occurrences(err.text(), "TIFF: 123 of 150 pages listed"), 1u) << err.text();

    // A document within the bound says nothing.
    auto short_ = readWhole(scannedDocument(dir, 20));
    EXPECT_EQ(short_.source->count(), 20u);
    EXPECT_EQ(short_.log, "");

    // Past the page limit, which no scanner reaches, it says so too.
    auto pages = testsupport::pagesSharingOneStrip(1030, 8);
    auto many = readWhole(std::string(pages.begin(), pages.end()));
    EXPECT_EQ(many.source->count(), 1024u);
    EXPECT_EQ(occurrences(many.log, "TIFF: 1024 of more than 1024 pages listed"), 1u) << many.log;
}

TEST(FrameWorkCut, ALongFullHDAnimationListsWhatTheBoundAllowsAndSaysSo) {
    testsupport::TempDir dir;
    auto screen = dir.path() / "screen.gif", spot = dir.path() / "spot.gif", movie = dir.path() / "movie.gif";
    // A full 1920 x 1080 frame, then 600 small ones over the same screen:
    // each costs its pixels and the screen's, so 516 fit within 2^30.
    run({"/usr/bin/convert", "-size", "1920x1080", "xc:white", screen.string()});
    run({"/usr/bin/convert", "-size", "32x32", "xc:red", spot.string()});
    run({"/usr/bin/convert", "-delay", "4", screen.string(), spot.string(), "-duplicate", "599", "-loop", "0",
         movie.string()});
    auto whole = readWhole(testsupport::readFile(movie));
    ASSERT_EQ(whole.source->count(), 516u);
    EXPECT_EQ(occurrences(whole.log, "GIF: 516 of 601 frames listed"), 1u) << whole.log;
    EXPECT_EQ(occurrences(whole.log, "\n"), 1u) << "one line: " << whole.log;
    auto last = whole.source->imageAtIndex(515);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->pixelAt(0, 0).r, 255);
    EXPECT_EQ(last->pixelAt(0, 0).g, 0) << "the spot is drawn";

    // The first 500 frames alone: within the bound, nothing to say.
    auto shorter = dir.path() / "shorter.gif";
    run({"/usr/bin/convert", "-delay", "4", screen.string(), spot.string(), "-duplicate", "499", "-loop", "0",
         shorter.string()});
    auto within = readWhole(testsupport::readFile(shorter));
    EXPECT_EQ(within.source->count(), 501u);
    EXPECT_EQ(within.log, "");
}

}  // namespace
