#pragma once
// The chunk structure of a PNG, and of the animation an APNG adds to it
// (acTL, fcTL, fdAT), read without decoding pixels. Each animation frame
// can be cut out as a stand-alone PNG: the file's shared chunks with the
// frame's image data as IDAT and its own size in IHDR, which any still-PNG
// decoder reads.
//
// A damaged chunk stream (a chunk running past the end, a length over
// 2^31 − 1, no 13-byte IHDR first) gives no info at all. Animation faults
// only turn the animation off (no frames): a bad acTL or fcTL size,
// sequence numbers out of order or not starting at 0, an acTL frame count
// unlike the number of fcTLs, chunks out of order, a frame of zero size or
// reaching past the canvas, or a cover frame (fcTL before IDAT) unlike
// IHDR. CRCs are not checked. Bytes after IEND are ignored.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/Value.h"

struct ZVPNGChunkInfo {
    size_t offset = 0;    // of the length field, from the start of the data
    uint32_t fourcc = 0;  // the type bytes as stored, read big-endian
    uint32_t length = 0;  // of the chunk's data
    uint32_t crc = 0;
};

struct ZVPNGHeader {
    uint32_t width = 0, height = 0;
    uint8_t bitDepth = 0, colorType = 0, compressionMethod = 0, filterMethod = 0, interlaceMethod = 0;
};

struct ZVPNGFrameControl {
    uint32_t sequenceNumber = 0;
    uint32_t width = 0, height = 0, xOffset = 0, yOffset = 0;
    uint16_t delayNumerator = 0, delayDenominator = 0;
    uint8_t disposeOp = 0, blendOp = 0;
};

struct ZVPNGFrameInfo {
    uint32_t chunkIndex = 0;  // the first chunk after the frame's fcTL
    uint32_t chunkCount = 0;  // its image-data chunks
    uint64_t chunkBytes = 0;  // their lengths + 12 each
    ZVPNGFrameControl frameControl;
};

struct ZVPNGInfo {
    ZVPNGHeader header;
    std::vector<ZVPNGChunkInfo> chunks;
    std::vector<ZVPNGFrameInfo> frames;  // empty unless a valid animation
    uint32_t loopCount = 0;              // acTL play count, 0 = forever
    // Every chunk but IDAT, fdAT, fcTL and acTL, in file order.
    std::vector<uint32_t> sharedChunkIndexes;
    uint64_t sharedChunkBytes = 0;
    uint32_t insertIndex = 0;  // the first IDAT
    bool firstFrameIsCover = false;
};

// The four type bytes as ZVPNGChunkInfo::fourcc holds them.
constexpr uint32_t ZVPNGFourCC(const char (&t)[5]) {
    return uint32_t(uint8_t(t[0])) << 24 | uint32_t(uint8_t(t[1])) << 16 | uint32_t(uint8_t(t[2])) << 8 |
           uint8_t(t[3]);
}

std::unique_ptr<ZVPNGInfo> ZVPNGInfoCreate(const uint8_t* data, size_t length);

// The stand-alone PNG of animation frame `index`; nullopt at or beyond the
// frame count. `data` is the file `info` was read from.
std::optional<Data> ZVPNGInfoFrameData(const uint8_t* data, size_t length, const ZVPNGInfo& info, size_t index);
