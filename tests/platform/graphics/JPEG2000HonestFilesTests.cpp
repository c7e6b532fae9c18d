// JPEG 2000 files written at test time by OpenJPEG's own tools (from
// pictures the test writes): every encoder setting a user may pick reads,
// pixel-equal to what opj_decompress makes of the same file, within the
// same bounds that refuse the hostile files (HostileImageTests.cpp); so do
// opacity with its channel definitions, a palette (which opj_compress
// cannot write: its boxes are written around a codestream it wrote) and
// planes of subsampled chroma. The tools are dependencies (scripts/deps): a
// missing one fails the test.

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>

#include "platform/graphics/ImageIO.h"
#include "platform/graphics/ImageSource.h"
#include "support/HostileImageFiles.h"
#include "support/TestSupport.h"

namespace {

using imageio::ImageSource;

constexpr const char* kCompress = "/usr/bin/opj_compress";
constexpr const char* kDecompress = "/usr/bin/opj_decompress";

// A picture with smooth areas, edges and fine detail, so that every
// resolution level and code-block has something to code: RGB (P6) or grey (P5).
std::string netpbm(int width, int height, bool rgb) {
    std::string out = (rgb ? "P6\n" : "P5\n") + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double wave = 127.5 + 127.5 * std::sin(x * 0.05) * std::cos(y * 0.03);
            const uint8_t r = uint8_t(wave), g = uint8_t(x * 255 / width), b = uint8_t((x * 7 ^ y * 3) & 255);
            if (rgb) out += {char(r), char(g), char(b)};
            else out += char((x / 16 + y / 16) % 2 ? r : b);
        }
    return out;
}

// A P5, P6 or P7 (grey or RGB, with or without alpha) file of 8-bit
// samples as RGBA words (grey repeated, opaque without alpha).
struct Picture {
    int width = 0, height = 0;
    std::vector<RGBA8> pixels;
};

// The header's four fields (its comment lines skipped); `end` becomes where
// the samples start.
std::vector<std::string> netpbmHeader(const std::string& file, size_t* end) {
    std::vector<std::string> fields;
    size_t at = 0;
    while (fields.size() < 4 && at < file.size()) {
        if (std::isspace(uint8_t(file[at]))) ++at;
        else if (file[at] == '#') at = file.find('\n', at);
        else {
            size_t start = at;
            while (at < file.size() && !std::isspace(uint8_t(file[at]))) ++at;
            fields.push_back(file.substr(start, at - start));
        }
    }
    *end = at + 1;
    return fields;
}

// P7's header as P5's or P6's four fields, and its depth (channels).
std::vector<std::string> pamHeader(const std::string& file, size_t* end, size_t* depth) {
    std::map<std::string, std::string> fields;
    size_t at = 0;
    for (size_t next; (next = file.find('\n', at)) != std::string::npos; at = next + 1) {
        std::string line = file.substr(at, next - at);
        if (line == "ENDHDR") {
            *end = next + 1;
            *depth = size_t(std::stoi(fields["DEPTH"]));
            return {"P7", fields["WIDTH"], fields["HEIGHT"], fields["MAXVAL"]};
        }
        if (auto space = line.find(' '); space != std::string::npos) fields[line.substr(0, space)] = line.substr(space + 1);
    }
    return {};
}

std::optional<Picture> readNetpbm(const std::string& file) {
    size_t start = 0, channels = file.rfind("P6", 0) == 0 ? 3 : 1;
    auto fields = file.rfind("P7", 0) == 0 ? pamHeader(file, &start, &channels) : netpbmHeader(file, &start);
    if (fields.size() != 4 || fields[3] != "255" || channels < 1 || channels > 4) return std::nullopt;
    const int width = std::stoi(fields[1]), height = std::stoi(fields[2]);
    if (file.size() < start + size_t(width) * size_t(height) * channels) return std::nullopt;
    Picture p{width, height, {}};
    const bool colour = channels >= 3, alpha = channels % 2 == 0;
    for (size_t i = 0; i < size_t(width) * size_t(height); ++i) {
        auto at = [&](size_t c) { return uint8_t(file[start + i * channels + c]); };
        p.pixels.push_back({at(0), at(colour ? 1 : 0), at(colour ? 2 : 0), alpha ? at(channels - 1) : uint8_t(255)});
    }
    return p;
}

// A straight pixel as a bitmap shows it: kept premultiplied (rounded), read back.
RGBA8 throughPremultiplied(RGBA8 p) {
    if (p.a == 255) return p;
    if (p.a == 0) return {0, 0, 0, 0};
    auto channel = [a = p.a](uint8_t v) {
        const int kept = (v * a + 127) / 255;
        return uint8_t(std::min(255, (kept * 255 + a / 2) / a));
    };
    return {channel(p.r), channel(p.g), channel(p.b), p.a};
}

std::string shown(RGBA8 p) {
    return std::to_string(p.r) + "," + std::to_string(p.g) + "," + std::to_string(p.b) + "," + std::to_string(p.a);
}

// Pixels of `image` that differ from the reference (the first told in
// `first`); -1 for another size.
long differing(const CGImage& image, const Picture& reference, std::string* first) {
    if (image.width() != reference.width || image.height() != reference.height) return -1;
    long count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const RGBA8 want = throughPremultiplied(reference.pixels[size_t(y) * size_t(reference.width) + size_t(x)]);
            const RGBA8 got = image.pixelAt(x, y);
            if (got == want) continue;
            if (count++ == 0)
                *first = "at " + std::to_string(x) + "," + std::to_string(y) + ": " + shown(got) + " for " + shown(want);
        }
    return count;
}

class EncoderFiles : public ::testing::Test {
protected:
    // The file opj_compress writes from `picture` with `arguments`.
    std::string compress(const std::string& picture, const std::string& name, const std::vector<std::string>& arguments) {
        std::vector<std::string> command = {kCompress, "-i", (dir_ / picture).string(), "-o", (dir_ / name).string()};
        command.insert(command.end(), arguments.begin(), arguments.end());
        auto run = testsupport::runProgram(command);
        EXPECT_EQ(run.status, 0) << name << ": " << run.out << run.err;
        return testsupport::readFile(dir_ / name);
    }
    // What opj_decompress makes of the file, `halvings` resolutions down: it
    // writes grey as P5, colour as P6, either with opacity as P7.
    std::optional<Picture> reference(const std::string& name, int halvings = 0) {
        const std::string out = (dir_ / (name + ".pnm")).string();
        auto run = testsupport::runProgram(
            {kDecompress, "-i", (dir_ / name).string(), "-o", out, "-r", std::to_string(halvings)});
        EXPECT_EQ(run.status, 0) << name << ": " << run.out << run.err;
        return readNetpbm(testsupport::readFile(out));
    }
    void writePicture(const std::string& name, int width, int height, bool rgb) {
        testsupport::writeFile(dir_ / name, netpbm(width, height, rgb));
    }
    // Decodes `name` whole (or `halvings` down, as a thumbnail asks) and
    // compares it with opj_decompress's output.
    void expectSameAsOpenJPEG(const std::string& name, int halvings = 0) {
        const std::string bytes = testsupport::readFile(dir_ / name);
        auto source = ImageSource::create(std::make_shared<Data>(bytes.begin(), bytes.end()));
        ASSERT_EQ(source->count(), 1u) << name;
        auto expected = reference(name, halvings);
        ASSERT_TRUE(expected) << name;
        auto image = halvings ? source->reducedImageAtIndex(0, expected->width, expected->height) : source->imageAtIndex(0);
        ASSERT_TRUE(image) << name;
        std::string first;
        EXPECT_EQ(differing(*image, *expected, &first), 0) << name << ", first " << first;
    }

    void writeFile(const std::string& name, const std::vector<uint8_t>& bytes) {
        testsupport::writeFile(dir_ / name, std::string(bytes.begin(), bytes.end()));
    }
    std::vector<uint8_t> readFile(const std::string& name) {
        auto bytes = testsupport::readFile(dir_ / name);
        return {bytes.begin(), bytes.end()};
    }

    testsupport::TempDir dir_;
};

TEST_F(EncoderFiles, EverySettingReadsAsOpenJPEGDecodesIt) {
    ASSERT_TRUE(std::filesystem::exists(kCompress) && std::filesystem::exists(kDecompress)) << "scripts/deps installs them";
    writePicture("rgb.ppm", 640, 480, true);
    writePicture("grey.pgm", 300, 200, false);
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
    } cases[] = {
        {"default.j2k", {}},
        {"boxes.jp2", {}},
        {"blocks-32.j2k", {"-b", "32,32"}},
        {"blocks-16.j2k", {"-b", "16,16"}},
        {"blocks-8.j2k", {"-b", "8,8"}},
        {"precincts-64.j2k", {"-c", "[64,64]"}},
        {"precincts-128-64-32.jp2", {"-c", "[128,128],[64,64],[32,32]"}},
        {"tiles-256.j2k", {"-t", "256,256"}},
        {"tiles-100x60.jp2", {"-t", "100,60"}},
        {"layers-3.j2k", {"-r", "80,40,20"}},
        {"quality-layers.jp2", {"-q", "30,40,50"}},
        {"resolutions-2.j2k", {"-n", "2"}},
        {"resolutions-8.j2k", {"-n", "8"}},
        {"order-RLCP.j2k", {"-p", "RLCP", "-c", "[64,64]"}},
        {"order-RPCL.j2k", {"-p", "RPCL", "-c", "[64,64]"}},
        {"order-PCRL.jp2", {"-p", "PCRL", "-c", "[64,64]", "-t", "200,200"}},
        {"order-CPRL.j2k", {"-p", "CPRL", "-c", "[64,64]"}},
        {"irreversible-tile-parts.j2k", {"-I", "-r", "20", "-TP", "R", "-SOP", "-EPH"}},
        {"offset-image.j2k", {"-d", "13,7", "-T", "5,3", "-t", "128,128"}},
        {"offset-one-tile.j2k", {"-d", "13,7"}},
    };
    for (auto& c : cases) {
        compress("rgb.ppm", c.name, c.arguments);
        expectSameAsOpenJPEG(c.name);
    }
    compress("grey.pgm", "grey.jp2", {"-b", "16,16", "-c", "[64,64]"});
    expectSameAsOpenJPEG("grey.jp2");
    // Reduced as a thumbnail asks, and one of 2 resolutions halved once.
    expectSameAsOpenJPEG("tiles-256.j2k", 3);
    expectSameAsOpenJPEG("resolutions-2.j2k", 1);
    expectSameAsOpenJPEG("offset-image.j2k", 1);
    expectSameAsOpenJPEG("offset-one-tile.j2k", 1);
}

// Over 1024 x 1024 the settings that counts with a floor refused: OpenJPEG
// needs 24 to 48 MiB for them.
TEST_F(EncoderFiles, SmallCodeBlocksPrecinctsAndTilesOfAMegapixelRead) {
    writePicture("square.ppm", 1024, 1024, true);
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"blocks-8.j2k", {"-b", "8,8"}},
        {"precincts-32.j2k", {"-c", "[32,32]"}},
        {"tiles-32.j2k", {"-t", "32,32"}},
    };
    for (auto& [name, arguments] : cases) {
        compress("square.ppm", name, arguments);
        expectSameAsOpenJPEG(name);
    }
}

// A 6000 x 4000 photo (3.6 MB at a ratio of 20) was refused for its samples;
// it is within the one pixel budget. Decoded as a thumbnail, 1/16 of it.
TEST_F(EncoderFiles, ALargePhotoReadsAsAThumbnail) {
    writePicture("photo.ppm", 6000, 4000, true);
    compress("photo.ppm", "photo.j2k", {"-r", "20"});
    expectSameAsOpenJPEG("photo.j2k", 4);
}

// A palette over a grey codestream opj_compress wrote, standing wherever
// OpenJPEG takes it (in the header box, after it at the top level, in the
// first of two header boxes, behind a box of the 64-bit length), reads as
// opj_decompress applies it: indexes past its 200 entries take the last,
// whole and halved; so does a palette of four columns whose fourth the
// channel definitions make opacity.
TEST_F(EncoderFiles, APaletteReadsAsOpenJPEGAppliesItWhereverItStands) {
    using testsupport::PaletteAt;
    writePicture("index.pgm", 300, 200, false);
    const std::string written = compress("index.pgm", "index.j2k", {});
    const std::vector<uint8_t> codestream(written.begin(), written.end());
    std::vector<std::vector<uint8_t>> rgb, rgba;
    for (int e = 0; e < 200; ++e) {
        rgb.push_back({uint8_t(e), uint8_t(255 - e), uint8_t(e * 7)});
        rgba.push_back({uint8_t(e * 3), uint8_t(e), uint8_t(90), uint8_t(e * 5)});
    }
    const std::pair<const char*, PaletteAt> places[] = {{"palette-in-header.jp2", PaletteAt::HeaderBox},
                                                        {"palette-top-level.jp2", PaletteAt::TopLevel},
                                                        {"palette-first-header.jp2", PaletteAt::FirstOfTwoHeaderBoxes},
                                                        {"palette-behind-xl.jp2", PaletteAt::BehindXLBox}};
    for (auto [name, at] : places) {
        writeFile(name, testsupport::jp2WithPalette(codestream, 300, 200, 1, 16, testsupport::paletteBoxes(rgb), at));
        expectSameAsOpenJPEG(name);
    }
    expectSameAsOpenJPEG("palette-top-level.jp2", 2);
    std::vector<uint8_t> definitions, cdef = {0, 4};
    for (int c = 0; c < 4; ++c) testsupport::hostile::put16(cdef, c), cdef.insert(cdef.end(), {0, uint8_t(c == 3), 0, uint8_t(c < 3 ? c + 1 : 0)});
    testsupport::hostile::putBox(definitions, "cdef", cdef);
    writeFile("palette-rgba.jp2", testsupport::jp2WithPalette(codestream, 300, 200, 1, 16,
                                                              testsupport::hostile::joined(testsupport::paletteBoxes(rgba), definitions),
                                                              PaletteAt::HeaderBox));
    expectSameAsOpenJPEG("palette-rgba.jp2");
}

// Opacity as opj_compress writes it from a PNG (channel definitions mark
// the fourth component as opacity), and the same codestream with
// definitions that trade the first and third colour places.
TEST_F(EncoderFiles, OpacityAndChannelDefinitionsReadAsOpenJPEGAppliesThem) {
    auto picture = CGImage::create(120, 80, true);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 120; ++x)
            picture->setPixel(x, y, {uint8_t(x * 2), uint8_t(y * 3), uint8_t((x ^ y) * 4), uint8_t((x * 9 + y) % 256)});
    auto png = imageio::encodePNG(*picture, true);
    ASSERT_TRUE(png);
    writeFile("rgba.png", std::vector<uint8_t>(png->begin(), png->end()));
    compress("rgba.png", "rgba.jp2", {});
    expectSameAsOpenJPEG("rgba.jp2");
    compress("rgba.png", "rgba.j2k", {});
    std::vector<uint8_t> header = testsupport::hostile::imageHeaderBoxes(120, 80, 4, 8, 16), cdef = {0, 4};
    const uint8_t traded[4][2] = {{0, 3}, {0, 2}, {0, 1}, {1, 0}};  // type, association of channels 0...3
    for (int c = 0; c < 4; ++c) testsupport::hostile::put16(cdef, c), cdef.insert(cdef.end(), {0, traded[c][0], 0, traded[c][1]});
    testsupport::hostile::putBox(header, "cdef", cdef);
    writeFile("traded.jp2", testsupport::jp2File(header, {}, readFile("rgba.j2k")));
    expectSameAsOpenJPEG("traded.jp2");
}

// Planes of Y, Cb and Cr, the chroma subsampled, as opj_compress writes
// raw planes into a bare codestream, which states no colour space:
// opj_decompress shows them as sYCC, and so do we, pixel for pixel (its
// arithmetic and its quirks at an odd image origin): half width and
// height, at odd sizes, at an odd origin, half width only; and halved.
TEST_F(EncoderFiles, SubsampledChromaPlanesReadAsSYCC) {
    struct Case {
        const char* name;
        uint32_t width, height, dx, dy, x0, y0;
    } cases[] = {
        {"ycc-420.j2k", 64, 48, 2, 2, 0, 0},          {"ycc-420-odd-sizes.j2k", 65, 47, 2, 2, 0, 0},
        {"ycc-420-odd-origin.j2k", 65, 47, 2, 2, 13, 7}, {"ycc-422.j2k", 65, 47, 2, 1, 0, 0},
        {"ycc-422-odd-origin.j2k", 64, 48, 2, 1, 3, 0},
    };
    for (const Case& c : cases) {
        // opj_compress reads width x height / (dx x dy) samples of each chroma plane.
        const uint32_t chroma = c.width * c.height / (c.dx * c.dy);
        std::string planes;
        for (uint32_t y = 0; y < c.height; ++y)
            for (uint32_t x = 0; x < c.width; ++x) planes += char(127.5 + 120 * std::sin(x * 0.2) * std::cos(y * 0.15));
        for (uint32_t i = 0; i < 2 * chroma; ++i) planes += char(i < chroma ? i * 7 + i / 13 : 255 - i * 3);
        testsupport::writeFile(dir_ / (std::string(c.name) + ".raw"), planes);
        const std::string format = std::to_string(c.width) + "," + std::to_string(c.height) + ",3,8,u@1x1:" +
                                   std::to_string(c.dx) + "x" + std::to_string(c.dy) + ":" + std::to_string(c.dx) +
                                   "x" + std::to_string(c.dy);
        compress(std::string(c.name) + ".raw", c.name, {"-F", format, "-d", std::to_string(c.x0) + "," + std::to_string(c.y0)});
        expectSameAsOpenJPEG(c.name);
    }
    expectSameAsOpenJPEG("ycc-420-odd-sizes.j2k", 1);
    expectSameAsOpenJPEG("ycc-420-odd-origin.j2k", 1);
}

}  // namespace
