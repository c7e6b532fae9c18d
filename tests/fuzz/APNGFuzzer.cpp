// Animated PNG chunk streams: the reader never reads outside the data, an
// animation it accepts has frames on the canvas, and every frame it
// assembles is a well-formed PNG of the promised size: the shared chunks
// and the frame's data, IHDR carrying the frame's size, and a right CRC on
// every chunk it rewrote (copied chunks keep theirs: CRCs are not checked).

#include <zlib.h>

#include <cstring>

#include "FuzzSupport.h"
#include "imagecache/ZVPNGInfo.h"
#include "platform/graphics/ImageIO.h"

namespace {

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// Walks the assembled file: chunk types in order; CRCs checked where rewritten.
std::vector<uint32_t> checkedChunks(const Data& png, bool idatRewritten) {
    FUZZ_CHECK(png.size() >= 8 && std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8) == 0);
    std::vector<uint32_t> types;
    size_t at = 8;
    while (at < png.size()) {
        FUZZ_CHECK(at + 12 <= png.size());
        uint32_t length = be32(&png[at]);
        FUZZ_CHECK(length <= png.size() - at - 12);
        uint32_t type = be32(&png[at + 4]);
        bool rewritten = type == ZVPNGFourCC("IHDR") || (idatRewritten && type == ZVPNGFourCC("IDAT"));
        if (rewritten) FUZZ_CHECK(uint32_t(crc32(0, &png[at + 4], uInt(length + 4))) == be32(&png[at + 8 + length]));
        types.push_back(type);
        at += length + 12;
    }
    return types;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto info = ZVPNGInfoCreate(data, size);
    if (!info) return 0;
    FUZZ_CHECK(!info->chunks.empty() && info->chunks[0].fourcc == ZVPNGFourCC("IHDR"));
    for (size_t i = 0; i < info->frames.size(); ++i) {
        const ZVPNGFrameInfo& f = info->frames[i];
        const ZVPNGFrameControl& fc = f.frameControl;
        FUZZ_CHECK(fc.width > 0 && fc.height > 0);
        FUZZ_CHECK(uint64_t(fc.xOffset) + fc.width <= info->header.width);
        FUZZ_CHECK(uint64_t(fc.yOffset) + fc.height <= info->header.height);
        auto png = ZVPNGInfoFrameData(data, size, *info, i);
        FUZZ_CHECK(png);
        bool cover = i == 0 && info->firstFrameIsCover;
        FUZZ_CHECK(png->size() == 8 + info->sharedChunkBytes + f.chunkBytes - (cover ? 0 : 4 * uint64_t(f.chunkCount)));
        auto types = checkedChunks(*png, !cover);
        FUZZ_CHECK(types.front() == ZVPNGFourCC("IHDR"));
        FUZZ_CHECK(be32(&(*png)[16]) == fc.width && be32(&(*png)[20]) == fc.height);
        size_t idat = 0;
        for (uint32_t t : types) {
            FUZZ_CHECK(t != ZVPNGFourCC("fcTL") && t != ZVPNGFourCC("fdAT") && t != ZVPNGFourCC("acTL"));
            idat += t == ZVPNGFourCC("IDAT");
        }
        FUZZ_CHECK(idat == f.chunkCount);
        if (i < 2) (void)imageio::decodePNG(png->data(), png->size());
    }
    FUZZ_CHECK(!ZVPNGInfoFrameData(data, size, *info, info->frames.size()));
    return 0;
}
