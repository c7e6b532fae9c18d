// Writes the seed files of the image fuzz targets (scripts/make-image-seeds):
// files from our own encoders, animations built chunk by chunk, and
// hand-made hostile variants (damaged animations, sizes beyond the pixel
// budget).
//
//   imagecoding_seed_maker CORPUS_FOLDER

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>

#include "CodingTestSupport.h"
#include "support/JPEGScanBomb.h"
#include "imagecache/ZVImageEncoder.h"
#include "platform/foundation/Files.h"
#include "platform/graphics/ImageDestination.h"
#include "platform/graphics/ImageIO.h"
#include "platform/graphics/ImageReaders.h"
#include "support/ForeignImageFiles.h"
#include "support/HostileImageFiles.h"

namespace fs = std::filesystem;
using codingtest::Chunk;

namespace {

fs::path gRoot;

void seed(const std::string& target, const std::string& name, const Data& bytes) {
    files::writeAtomically(gRoot / target / name, bytes);
}

Data concat(Data a, const Data& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

codingtest::APNG animation(bool cover) {
    codingtest::APNG spec;
    spec.width = 12, spec.height = 10, spec.cover = cover, spec.loops = 3;
    spec.defaultImage = codingtest::pattern(12, 10, 9, false);
    spec.frames = {{codingtest::pattern(12, 10, 1, true), 0, 0, 1, 10, 2, 0},
                   {codingtest::pattern(5, 4, 2, true), 3, 2, 1, 0, 1, 1},
                   {codingtest::pattern(6, 3, 3, false), 6, 7, 3, 100, 0, 1}};
    return spec;
}

// The animation with one change made to its chunks.
Data damaged(const std::function<void(std::vector<Chunk>&)>& change) {
    auto chunks = codingtest::chunksOf(codingtest::build(animation(true)));
    change(chunks);
    return codingtest::pngFile(chunks);
}

Chunk& nth(std::vector<Chunk>& chunks, const std::string& type, int n) {
    for (auto& c : chunks)
        if (c.type == type && n-- == 0) return c;
    return chunks.back();
}

Data encoded(ZVImageType type, int frames) {
    auto encoder = ZVImageEncoder::create(type);
    encoder->setLoopCount(2);
    for (int i = 0; i < frames; ++i)
        encoder->addImage(UIImage::imageWithCGImage(codingtest::pattern(8 + i, 8, uint32_t(i), i % 2)), 0.05 * (i + 1));
    return *encoder->encode();
}

Data destination(imageio::Format format, std::vector<int> sides) {
    auto dest = imageio::ImageDestination::create(format, sides.size());
    for (size_t i = 0; i < sides.size(); ++i) dest->addImage(codingtest::pattern(sides[i], sides[i], uint32_t(i), true));
    return *dest->finalize();
}

// A JPEG with an APP1 segment holding `exif` right after its start marker.
Data withExif(const Data& exif) {
    Data jpeg = *imageio::encodeJPEG(*codingtest::pattern(16, 12, 4, false), 0.7);
    Data segment = {0xFF, 0xE1, uint8_t((exif.size() + 2) >> 8), uint8_t(exif.size() + 2)};
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    jpeg.insert(jpeg.begin() + 6, exif.begin(), exif.end());
    return jpeg;
}

void apngSeeds() {
    const std::string t = "fuzz_apng";
    seed(t, "encoder", encoded(ZVImageType::PNG, 3));
    seed(t, "cover", codingtest::build(animation(true)));
    seed(t, "default-image", codingtest::build(animation(false)));
    seed(t, "sequence-from-1", damaged([](auto& c) {
             for (auto& k : c)
                 if (k.type == "fcTL" || k.type == "fdAT") k.body[3] += 1;
         }));
    seed(t, "zero-size-frame", damaged([](auto& c) { nth(c, "fcTL", 1).body[7] = 0; }));
    seed(t, "frame-off-canvas", damaged([](auto& c) { nth(c, "fcTL", 2).body[19] = 9; }));
    seed(t, "width-2-31", damaged([](auto& c) { nth(c, "fcTL", 1).body[4] = 0x80; }));
    seed(t, "short-fdAT", damaged([](auto& c) { nth(c, "fdAT", 0).body.resize(4); }));
    seed(t, "fcTL-last", damaged([](auto& c) { c.insert(c.end() - 1, nth(c, "fcTL", 2)); }));
    seed(t, "non-cover-fcTL-then-IDAT", damaged([](auto& c) { nth(c, "fdAT", 0).type = "IDAT"; }));
    seed(t, "after-IEND", concat(codingtest::build(animation(true)), Data(20, 0x41)));
    // The huge length must reach the file as it is: patch it after assembly.
    Data huge = codingtest::build(animation(true));
    Data marker = {0xFF, 0xFF, 0xFF, 0xF0, 't', 'E', 'X', 't'};
    huge.insert(huge.end() - 12, marker.begin(), marker.end());
    seed(t, "length-0xFFFFFFF0", huge);
}

// 200 one-pixel frames over an 8000 × 8000 screen, each restoring the
// screen before it: a few KiB that once cost a gigabyte a frame.
Data restoringGIF() {
    std::vector<codingtest::GIFFrame> frames;
    for (int i = 0; i < 200; ++i) frames.push_back({i, i, 1, 1, {uint8_t(i % 2)}, -1, 3, 1});
    return codingtest::buildGIF(8000, 8000, frames, 0);
}

// Progressive JPEGs as the library writes them, and with their last scan
// repeated (each repeat a pass over every block).
void jpegScanSeeds() {
    const std::string t = "fuzz_jpeg_scans";
    for (auto [name, side, extra] : {std::tuple{"progressive", 64, 0}, std::tuple{"scans-490", 64, 480},
                                     std::tuple{"scans-2000", 64, 2000}, std::tuple{"scans-520-512px", 512, 510}}) {
        auto bytes = testsupport::progressiveJPEG(side, extra);
        seed(t, name, Data(bytes.begin(), bytes.end()));
    }
}

void decoderSeeds() {
    const std::string t = "fuzz_image_decoder";
    std::vector<codingtest::GIFFrame> frames;
    for (int i = 0; i < 4; ++i) {
        codingtest::GIFFrame f{i, i, 8, 6, Data(48, uint8_t(i + 2)), i == 1 ? 2 : -1, i % 4, 5 * i, i == 2};
        frames.push_back(f);
    }
    Data exifRight = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0};
    Data hugePNG = *imageio::encodePNG(*codingtest::pattern(4, 4, 1, false));
    hugePNG[18] = 0x10, hugePNG[22] = 0x10;  // 1 M × 1 M pixels claimed
    const std::pair<const char*, Data> files[] = {
        {"gif-every-disposal", codingtest::buildGIF(12, 10, frames, 0)},
        {"gif-encoder", encoded(ZVImageType::GIF, 3)},
        {"apng", codingtest::build(animation(true))},
        {"apng-default-image", codingtest::build(animation(false))},
        {"png", *imageio::encodePNG(*codingtest::pattern(9, 7, 5, true))},
        {"png-huge", hugePNG},
        {"jpeg-exif-right", withExif(exifRight)},
        {"bmp", destination(imageio::Format::BMP, {6})},
        {"ico", destination(imageio::Format::ICO, {16, 8})},
        {"icns", destination(imageio::Format::ICNS, {16, 32})},
        {"gif-huge-screen", codingtest::buildGIF(65535, 65535, {{0, 0, 1, 1, {1}, -1, 0, 0}})},
        {"tiff-3-pages", destination(imageio::Format::TIFF, {8, 5, 12})},
        {"jp2", destination(imageio::Format::JPEG2000, {9})},
        {"gif-huge-screen-restoring", restoringGIF()},
    };
    // Header: display flags, then the prefix as a fraction of the file.
    for (auto& [name, bytes] : files) seed(t, name, concat({0x03, 0x80, 0x00}, bytes));
}

void containerSeeds() {
    const std::string t = "fuzz_image_containers";
    // The target puts the magic back: byte 0 chooses it (0 BMP, 1 ICO, 2 CUR, 3 ICNS).
    auto body = [](uint8_t kind, const Data& file, size_t magic) {
        Data d = {kind};
        d.insert(d.end(), file.begin() + long(magic), file.end());
        return d;
    };
    auto opaque = imageio::ImageDestination::create(imageio::Format::BMP, 1);
    opaque->addImage(codingtest::pattern(7, 3, 1, false));
    seed(t, "bmp-32-alpha", body(0, destination(imageio::Format::BMP, {4}), 2));
    seed(t, "bmp-24-opaque", body(0, *opaque->finalize(), 2));
    seed(t, "ico-png", body(1, destination(imageio::Format::ICO, {16, 8}), 4));
    // One 24-bit 2 × 2 DIB entry with its AND mask.
    Data dib = {40, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0, 1, 0, 24, 0};
    dib.resize(40, 0);
    dib.insert(dib.end(), {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0});
    Data ico = {1, 0, 2, 2, 0, 0, 1, 0, 24, 0, uint8_t(dib.size()), 0, 0, 0, 22, 0, 0, 0};
    seed(t, "ico-dib", concat(concat({1}, ico), dib));
    seed(t, "icns-png", body(3, destination(imageio::Format::ICNS, {16}), 4));
}

// Little-endian 32-bit value at `at`.
void putLE32(Data& d, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) d[at + size_t(i)] = uint8_t(v >> (8 * i));
}

std::vector<std::vector<uint8_t>> rowsOf(int w, int h, int bytesPerPixel) {
    std::vector<std::vector<uint8_t>> rows(size_t(h), std::vector<uint8_t>(size_t(w * bytesPerPixel)));
    for (int y = 0; y < h; ++y)
        for (size_t i = 0; i < rows[size_t(y)].size(); ++i) rows[size_t(y)][i] = uint8_t(i * 37 + size_t(y) * 11);
    return rows;
}

void tiffSeeds() {
    const std::string t = "fuzz_tiff";
    using testsupport::tiffFields;
    seed(t, "ours-rgba", destination(imageio::Format::TIFF, {9}));
    seed(t, "ours-3-pages", destination(imageio::Format::TIFF, {8, 5, 12}));
    seed(t, "grey16-big-endian-orientation-6", testsupport::tiffFile([](TIFF* f) {
             tiffFields(f, 6, 4, 16, 1, PHOTOMETRIC_MINISBLACK);
             TIFFSetField(f, TIFFTAG_ORIENTATION, ORIENTATION_RIGHTTOP);
         }, rowsOf(6, 4, 2), "wb"));
    seed(t, "palette-4bit", testsupport::tiffFile([](TIFF* f) {
             tiffFields(f, 6, 3, 4, 1, PHOTOMETRIC_PALETTE);
             std::vector<uint16_t> r(16), g(16), b(16);
             for (int i = 0; i < 16; ++i) r[size_t(i)] = uint16_t(i * 4096), g[size_t(i)] = uint16_t(65535 - i * 4096);
             TIFFSetField(f, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
         }, rowsOf(3, 3, 1)));
    seed(t, "bilevel-packbits", testsupport::tiffFile([](TIFF* f) {
             tiffFields(f, 16, 4, 1, 1, PHOTOMETRIC_MINISWHITE);
             TIFFSetField(f, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
         }, rowsOf(2, 4, 1)));
    seed(t, "rgba-straight-deflate", testsupport::tiffFile([](TIFF* f) {
             tiffFields(f, 5, 5, 8, 4, PHOTOMETRIC_RGB);
             uint16_t kind = EXTRASAMPLE_UNASSALPHA;
             TIFFSetField(f, TIFFTAG_EXTRASAMPLES, 1, &kind);
             TIFFSetField(f, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
         }, rowsOf(5, 5, 4)));
    seed(t, "ycbcr-jpeg", testsupport::tiffFile([](TIFF* f) {
             tiffFields(f, 16, 16, 8, 3, PHOTOMETRIC_YCBCR);
             TIFFSetField(f, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
             TIFFSetField(f, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
             TIFFSetField(f, TIFFTAG_ROWSPERSTRIP, 16);
         }, rowsOf(16, 16, 3)));
    seed(t, "cmyk", testsupport::tiffFile([](TIFF* f) {
             tiffFields(f, 4, 2, 8, 4, PHOTOMETRIC_SEPARATED);
         }, rowsOf(4, 2, 4)));
    // Tiles are written whole, not by scanline.
    seed(t, "tiled-rgb", testsupport::bytesWrittenBy([](const std::string& path) {
             TIFF* f = TIFFOpen(path.c_str(), "w");
             tiffFields(f, 40, 20, 8, 3, PHOTOMETRIC_RGB);
             TIFFSetField(f, TIFFTAG_TILEWIDTH, 16), TIFFSetField(f, TIFFTAG_TILELENGTH, 16);
             std::vector<uint8_t> tile(16 * 16 * 3);
             for (uint32_t i = 0; i < TIFFNumberOfTiles(f); ++i) {
                 std::fill(tile.begin(), tile.end(), uint8_t(40 * i));
                 TIFFWriteEncodedTile(f, i, tile.data(), tmsize_t(tile.size()));
             }
             TIFFClose(f);
         }));
    Data ours = destination(imageio::Format::TIFF, {6});
    using imageio::le16, imageio::le32;
    uint32_t ifd = le32(ours.data() + 4);
    Data wide = ours;
    for (uint16_t i = 0, n = le16(wide.data() + ifd); i < n; ++i) {
        size_t entry = ifd + 2 + i * 12u;
        if (le16(wide.data() + entry) != TIFFTAG_IMAGEWIDTH) continue;
        wide[entry + 2] = 4, wide[entry + 3] = 0, putLE32(wide, entry + 4, 1);  // one LONG
        putLE32(wide, entry + 8, 100000);
    }
    seed(t, "width-100000", wide);
    Data loop = ours;
    putLE32(loop, ifd + 2 + le16(loop.data() + ifd) * 12u, ifd);
    seed(t, "directory-loop", loop);
    // Huge pages that all point at one deflate strip: listed only up to the frame-work bound.
    for (auto [name, pages, side] : {std::tuple{"pages-64-of-8192-one-strip", 64, 8192u},
                                     std::tuple{"pages-1024-of-2048-one-strip", 1024, 2048u}}) {
        auto bytes = testsupport::pagesSharingOneStrip(pages, side);
        seed(t, name, Data(bytes.begin(), bytes.end()));
    }
}

// A grey codestream OpenJPEG wrote (so that its samples vary) in JP2 boxes
// with a palette of `columns` columns standing `at`.
Data paletteFile(uint32_t w, uint32_t h, int columns, testsupport::PaletteAt at, int entries = 64) {
    auto ramp = [](uint32_t x, uint32_t y) { return int32_t((x * 7 + y * 3) % 256); };
    Data codestream = testsupport::openJPEGFile(w, h, {testsupport::J2KComponent{1, 1, 8, false, ramp}}, OPJ_CLRSPC_GRAY, false);
    std::vector<std::vector<uint8_t>> rows(size_t(entries), std::vector<uint8_t>(size_t(columns), 0));
    for (size_t e = 0; e < rows.size(); ++e)
        for (size_t c = 0; c < size_t(columns); ++c) rows[e][c] = uint8_t(e * 4 + c * 60);
    auto bytes = testsupport::jp2WithPalette(std::vector<uint8_t>(codestream.begin(), codestream.end()), w, h, 1, 16,
                                             testsupport::paletteBoxes(rows), at);
    return Data(bytes.begin(), bytes.end());
}

// Palettes where OpenJPEG takes them: three columns at each place, and
// (for fuzz_jp2) 255 columns over a large image, which OpenJPEG would
// apply as 255 full-size components.
void paletteSeeds(const std::string& t, bool manyColumns) {
    using testsupport::PaletteAt;
    const std::pair<const char*, PaletteAt> places[] = {{"in-header", PaletteAt::HeaderBox},
                                                        {"top-level", PaletteAt::TopLevel},
                                                        {"first-of-two-headers", PaletteAt::FirstOfTwoHeaderBoxes},
                                                        {"behind-xl-box", PaletteAt::BehindXLBox}};
    for (auto [name, at] : places) {
        seed(t, std::string("palette-3-columns-") + name, paletteFile(40, 24, 3, at));
        if (!manyColumns || at == PaletteAt::HeaderBox) continue;
        auto bytes = testsupport::manyColumnPalette(at == PaletteAt::TopLevel ? 1448 : 1024, 255, at);
        seed(t, std::string("palette-255-columns-") + name, Data(bytes.begin(), bytes.end()));
    }
    // Four columns, the fourth made opacity by channel definitions standing at
    // the top level (which OpenJPEG reads there too).
    auto rgba = paletteFile(24, 16, 4, PaletteAt::HeaderBox);
    const uint8_t cdef[] = {0, 0, 0, 0x22, 'c', 'd', 'e', 'f', 0, 4, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 2,
                            0, 2, 0, 0, 0, 3, 0, 3, 0, 1, 0, 0};
    const uint8_t jp2c[] = {'j', 'p', '2', 'c'};
    auto at = std::search(rgba.begin(), rgba.end(), jp2c, jp2c + 4) - 4;
    rgba.insert(at, cdef, cdef + sizeof cdef);
    seed(t, "palette-4-columns-opacity-defined-at-top-level", rgba);
    // Planes of Y, Cb and Cr with half-size chroma in a bare codestream, at an odd origin.
    auto ramp = [](uint32_t scale) { return [scale](uint32_t x, uint32_t y) { return int32_t((x * 7 + y * 3) * scale % 256); }; };
    seed(t, "ycc-planes-bare", testsupport::openJPEGFile(9, 8, {testsupport::J2KComponent{1, 1, 8, false, ramp(1)},
                                                                testsupport::J2KComponent{2, 2, 8, false, ramp(2)},
                                                                testsupport::J2KComponent{2, 2, 8, false, ramp(5)}},
                                                         OPJ_CLRSPC_UNSPECIFIED, false));
}

void jp2Seeds() {
    const std::string t = "fuzz_jp2";
    using testsupport::J2KComponent;
    auto ramp = [](uint32_t scale) { return [scale](uint32_t x, uint32_t y) { return int32_t((x * 7 + y * 3) * scale % 4096); }; };
    seed(t, "ours-rgba", destination(imageio::Format::JPEG2000, {9}));
    auto lossy = imageio::ImageDestination::create(imageio::Format::JPEG2000, 1);
    lossy->addImage(codingtest::pattern(24, 16, 2, false), Value::dict({{imageio::kDestinationLossyCompressionQuality, 0.5}}));
    seed(t, "ours-rgb-lossy", *lossy->finalize());
    seed(t, "codestream-grey12", testsupport::openJPEGFile(10, 6, {J2KComponent{1, 1, 12, false, ramp(5)}}, OPJ_CLRSPC_GRAY, false));
    seed(t, "grey-alpha", testsupport::openJPEGFile(7, 5, {J2KComponent{1, 1, 8, false, ramp(1)}, J2KComponent{1, 1, 8, true, ramp(3)}},
                                                    OPJ_CLRSPC_GRAY, true));
    seed(t, "sycc-subsampled", testsupport::openJPEGFile(9, 8, {J2KComponent{1, 1, 8, false, ramp(1)},
                                                                J2KComponent{2, 2, 8, false, ramp(2)},
                                                                J2KComponent{2, 2, 8, false, ramp(4)}},
                                                         OPJ_CLRSPC_SYCC, true));
    seed(t, "tiled-rgb", testsupport::openJPEGFile(40, 24, {J2KComponent{1, 1, 8, false, ramp(1)}, J2KComponent{1, 1, 8, false, ramp(2)},
                                                            J2KComponent{1, 1, 8, false, ramp(3)}},
                                                   OPJ_CLRSPC_SRGB, true, 16, 2));
    Data huge = destination(imageio::Format::JPEG2000, {8});
    for (size_t i = 0; i + 8 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0x51) {  // SIZ: Xsiz and Ysiz after Lsiz and Rsiz
            huge[i + 6] = 0x00, huge[i + 7] = 0x01;
            break;
        }
    seed(t, "width-65536", huge);
    // Codestreams of empty packets whose coding style asks OpenJPEG for
    // millions of code-blocks (4 x 4 samples each), and honest ones of 64 x 64.
    using testsupport::EmptyCodestream;
    const std::pair<const char*, EmptyCodestream> codestreams[] = {
        {"codeblocks-4x4-grey-8192", {8192, 8192, 1, 8, 5, 2}},
        {"codeblocks-4x4-rgba16-4096", {4096, 4096, 4, 16, 5, 2}},
        {"tile-part-codeblocks-4x4", {8192, 8192, 1, 8, 5, 6, 2}},
        {"empty-packets-grey-1024", {1024, 1024, 1, 8, 5, 6}},
        {"empty-packets-rgba16-256-3-levels", {256, 256, 4, 16, 3, 6}},
    };
    for (auto& [name, spec] : codestreams) {
        auto bytes = testsupport::emptyCodestream(spec);
        seed(t, name, Data(bytes.begin(), bytes.end()));
    }
    // Styles of 4 x 4 code-blocks hidden in the body of a segment OpenJPEG
    // does not know, which it reads; bare and in JP2 boxes.
    for (auto [name, hidden] : {std::pair{"hidden-coc-main-header", testsupport::Hidden::MainHeaderCOC},
                                std::pair{"hidden-tile-part-cod", testsupport::Hidden::TilePartCOD}}) {
        EmptyCodestream spec{8192, 8192, 1, 8, 5, 6};
        spec.hidden = hidden;
        auto bare = testsupport::emptyCodestream(spec), boxed = testsupport::inJP2Boxes(bare, spec);
        seed(t, name, Data(bare.begin(), bare.end()));
        seed(t, std::string(name) + "-jp2", Data(boxed.begin(), boxed.end()));
    }
    paletteSeeds(t, true);
}

// The differential target: small files of every layout (its decode runs
// for images of at most 256 x 256), and the hidden styles.
void jp2WalkSeeds() {
    const std::string t = "fuzz_jp2_walk";
    using testsupport::J2KComponent;
    using testsupport::EmptyCodestream;
    auto ramp = [](uint32_t scale) { return [scale](uint32_t x, uint32_t y) { return int32_t((x * 7 + y * 3) * scale % 4096); }; };
    seed(t, "ours-rgba", destination(imageio::Format::JPEG2000, {9}));
    seed(t, "tiled-rgb", testsupport::openJPEGFile(40, 24, {J2KComponent{1, 1, 8, false, ramp(1)}, J2KComponent{1, 1, 8, false, ramp(2)},
                                                            J2KComponent{1, 1, 8, false, ramp(3)}},
                                                   OPJ_CLRSPC_SRGB, true, 16, 2));
    seed(t, "codestream-grey12", testsupport::openJPEGFile(10, 6, {J2KComponent{1, 1, 12, false, ramp(5)}}, OPJ_CLRSPC_GRAY, false));
    const std::pair<const char*, EmptyCodestream> codestreams[] = {
        {"empty-packets-grey-256", {256, 256, 1, 8, 5, 6}},
        {"empty-packets-rgba16-64-3-levels", {64, 64, 4, 16, 3, 6}},
        {"tile-part-cod", {128, 128, 1, 8, 4, 6, 3}},
        {"precincts-and-layers", {128, 96, 3, 8, 4, 5, 0, 3, 4}},
    };
    for (auto& [name, spec] : codestreams) {
        auto bytes = testsupport::emptyCodestream(spec);
        seed(t, name, Data(bytes.begin(), bytes.end()));
    }
    for (auto [name, hidden] : {std::pair{"hidden-coc-main-header", testsupport::Hidden::MainHeaderCOC},
                                std::pair{"hidden-tile-part-cod", testsupport::Hidden::TilePartCOD}}) {
        EmptyCodestream spec{128, 128, 1, 8, 4, 6};
        spec.hidden = hidden;
        auto bare = testsupport::emptyCodestream(spec), boxed = testsupport::inJP2Boxes(bare, spec);
        seed(t, name, Data(bare.begin(), bare.end()));
        seed(t, std::string(name) + "-jp2", Data(boxed.begin(), boxed.end()));
    }
    paletteSeeds(t, false);
}

void scaleSeeds() {
    const std::string t = "fuzz_image_scale";
    const char* names[] = {"icon@2x.png", "img/bg@1.5x.jpg", "@2x", "abc@0x.png", "a@2x\nbig@3x", "x/y@2.x", "a.b/c@3x"};
    int i = 0;
    for (const char* n : names) seed(t, "name-" + std::to_string(i++), Data(n, n + std::strlen(n)));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
        return 2;
    }
    gRoot = argv[1];
    apngSeeds();
    decoderSeeds();
    containerSeeds();
    scaleSeeds();
    tiffSeeds();
    jp2Seeds();
    jp2WalkSeeds();
    jpegScanSeeds();
    return 0;
}
