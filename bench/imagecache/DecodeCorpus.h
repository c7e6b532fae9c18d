#pragma once
// The fixed-seed files the decode benchmark reads: photo-like pictures (smooth
// shading with grain, so the codecs work as on real images) written with
// the libraries themselves.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

namespace decodebench {

struct Sample {
    std::string name;
    Data bytes;
    int width = 0, height = 0, frames = 1;
};

// PNG 128² RGBA, 512² RGB, 512² RGBA interlaced.
std::vector<Sample> pngSamples();
// JPEG 1024 × 768 baseline and progressive, 2048 × 1536, 1024 × 768 with EXIF orientation 6.
std::vector<Sample> jpegSamples();
// 50 frames of 200²: a full first frame, then moving parts with
// transparency and every disposal.
Sample gifSample();
// 30 frames of 256² mixing dispose and blend operations and offsets; with
// each frame also as a stand-alone PNG for the peer.
Sample apngSample(std::vector<Data>* framePNGs, std::vector<std::pair<int, int>>* offsets);
// TIFF 1024 × 768 RGB (LZW with the predictor), RGBA with straight alpha
// (deflate), and 3 uncompressed pages of 512².
std::vector<Sample> tiffSamples();
// JPEG 2000: 512² RGB lossless, 1024 × 768 RGB at 10:1, 512² RGBA lossless
// as a bare codestream.
std::vector<Sample> jpeg2000Samples();

}  // namespace decodebench
