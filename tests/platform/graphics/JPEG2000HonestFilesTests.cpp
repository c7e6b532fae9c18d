// JPEG 2000 files written at test time by OpenJPEG's own tools (from
// pictures the test writes): every encoder setting a user may pick reads,
// pixel-equal to what opj_decompress makes of the same file, within the
// same bounds that refuse the hostile files (HostileImageTests.cpp). The
// tools are dependencies (scripts/deps): a missing one fails the test.

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "platform/graphics/ImageSource.h"
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

// A P5 or P6 file of 8-bit samples as RGB words (grey repeated).
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

std::optional<Picture> readNetpbm(const std::string& file) {
    size_t start = 0;
    auto fields = netpbmHeader(file, &start);
    if (fields.size() != 4 || (fields[0] != "P5" && fields[0] != "P6") || fields[3] != "255") return std::nullopt;
    const int width = std::stoi(fields[1]), height = std::stoi(fields[2]);
    const size_t channels = fields[0] == "P6" ? 3 : 1;
    if (file.size() < start + size_t(width) * size_t(height) * channels) return std::nullopt;
    Picture p{width, height, {}};
    for (size_t i = 0; i < size_t(width) * size_t(height); ++i) {
        auto at = [&](size_t c) { return uint8_t(file[start + i * channels + (channels == 3 ? c : 0)]); };
        p.pixels.push_back({at(0), at(1), at(2), 255});
    }
    return p;
}

// Pixels of `image` that differ from the reference; -1 for another size.
long differing(const CGImage& image, const Picture& reference) {
    if (image.width() != reference.width || image.height() != reference.height) return -1;
    long count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += !(image.pixelAt(x, y) == reference.pixels[size_t(y) * size_t(reference.width) + size_t(x)]);
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
    // What opj_decompress makes of the file, `halvings` resolutions down.
    std::optional<Picture> reference(const std::string& name, bool rgb, int halvings = 0) {
        const std::string out = (dir_ / (name + (rgb ? ".ppm" : ".pgm"))).string();
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
    void expectSameAsOpenJPEG(const std::string& name, bool rgb, int halvings = 0) {
        const std::string bytes = testsupport::readFile(dir_ / name);
        auto source = ImageSource::create(std::make_shared<Data>(bytes.begin(), bytes.end()));
        ASSERT_EQ(source->count(), 1u) << name;
        auto expected = reference(name, rgb, halvings);
        ASSERT_TRUE(expected) << name;
        auto image = halvings ? source->reducedImageAtIndex(0, expected->width, expected->height) : source->imageAtIndex(0);
        ASSERT_TRUE(image) << name;
        EXPECT_EQ(differing(*image, *expected), 0) << name;
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
    };
    for (auto& c : cases) {
        compress("rgb.ppm", c.name, c.arguments);
        expectSameAsOpenJPEG(c.name, true);
    }
    compress("grey.pgm", "grey.jp2", {"-b", "16,16", "-c", "[64,64]"});
    expectSameAsOpenJPEG("grey.jp2", false);
    // Reduced as a thumbnail asks, and one of 2 resolutions halved once.
    expectSameAsOpenJPEG("tiles-256.j2k", true, 3);
    expectSameAsOpenJPEG("resolutions-2.j2k", true, 1);
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
        expectSameAsOpenJPEG(name, true);
    }
}

// A 6000 x 4000 photo (3.6 MB at a ratio of 20) was refused for its samples;
// it is within the one pixel budget. Decoded as a thumbnail, 1/16 of it.
TEST_F(EncoderFiles, ALargePhotoReadsAsAThumbnail) {
    writePicture("photo.ppm", 6000, 4000, true);
    compress("photo.ppm", "photo.j2k", {"-r", "20"});
    expectSameAsOpenJPEG("photo.j2k", true, 4);
}

}  // namespace
