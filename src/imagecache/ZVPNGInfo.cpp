#include "imagecache/ZVPNGInfo.h"

#include <zlib.h>

#include <cstring>

namespace {

constexpr uint32_t kIHDR = ZVPNGFourCC("IHDR"), kIDAT = ZVPNGFourCC("IDAT"), kIEND = ZVPNGFourCC("IEND");
constexpr uint32_t kacTL = ZVPNGFourCC("acTL"), kfcTL = ZVPNGFourCC("fcTL"), kfdAT = ZVPNGFourCC("fdAT");
// PNG lengths are 31-bit; anything larger is damage, not a big chunk.
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint16_t be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

void putBE32(Data& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
}

uint32_t crcOf(const uint8_t* type, const uint8_t* data, size_t n) {
    uLong crc = crc32(0L, type, 4);
    return uint32_t(crc32(crc, data, uInt(n)));
}

// What the first pass learns besides the chunk table.
struct Scan {
    std::vector<ZVPNGChunkInfo> chunks;
    bool apngError = false;
    uint32_t announcedFrames = 0, playCount = 0, frameControls = 0;
};

void noteAnimationChunk(const ZVPNGChunkInfo& c, const uint8_t* body, Scan& s, int64_t& lastSequence) {
    if (c.fourcc == kacTL) {
        if (c.length != 8) s.apngError = true;
        else s.announcedFrames = be32(body), s.playCount = be32(body + 4);
    }
    if (c.fourcc == kfcTL) {
        if (c.length != 26) s.apngError = true;
        else ++s.frameControls;
    }
    if (c.fourcc == kfcTL || c.fourcc == kfdAT) {
        if (c.length <= 4 || int64_t(be32(body)) != lastSequence + 1) s.apngError = true;
        if (c.length >= 4) lastSequence = be32(body);
    }
}

std::optional<Scan> scanChunks(const uint8_t* d, size_t n) {
    if (!d || n < 32 || std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) != 0) return std::nullopt;
    Scan s;
    int64_t lastSequence = -1;
    // Offsets and ends are counted in 64 bits: length + 12 cannot wrap.
    for (uint64_t offset = 8; offset + 12 <= n;) {
        ZVPNGChunkInfo c;
        c.offset = size_t(offset), c.length = be32(d + offset), c.fourcc = be32(d + offset + 4);
        if (c.length > kMaxChunkLength || offset + c.length + 12 > n) return std::nullopt;
        c.crc = be32(d + offset + 8 + c.length);
        s.chunks.push_back(c);
        noteAnimationChunk(c, d + offset + 8, s, lastSequence);
        offset += uint64_t(c.length) + 12;
        if (c.fourcc == kIEND) break;
    }
    if (s.chunks.size() < 3 || s.chunks[0].fourcc != kIHDR || s.chunks[0].length != 13) return std::nullopt;
    return s;
}

// The chunk-order rules of an animation; sets the insert index and the cover flag.
bool validOrder(const std::vector<ZVPNGChunkInfo>& c, ZVPNGInfo& info) {
    if (c.back().fourcc != kIEND) return false;
    int actl = 0, fctl = 0;
    bool idatSeen = false, idatEnded = false;
    for (size_t i = 0; i < c.size(); ++i) {
        uint32_t t = c[i].fourcc;
        if (t == kIHDR && i != 0) return false;
        if (t == kIDAT) {
            if (idatEnded) return false;
            if (!idatSeen) info.insertIndex = uint32_t(i);
            idatSeen = true;
        } else if (idatSeen) {
            idatEnded = true;
        }
        if (t == kacTL) ++actl;
        if (t == kfcTL) {
            if (i + 1 == c.size() || (c[i + 1].fourcc != kfdAT && c[i + 1].fourcc != kIDAT)) return false;
            // Only the first frame may be the default image.
            if (c[i + 1].fourcc == kIDAT && fctl > 0) return false;
            if (fctl++ == 0) info.firstFrameIsCover = c[i + 1].fourcc == kIDAT;
        }
        if (t == kfdAT && (i == 0 || (c[i - 1].fourcc != kfcTL && c[i - 1].fourcc != kfdAT))) return false;
    }
    return idatSeen && actl == 1 && fctl >= 1;
}

ZVPNGFrameControl readFrameControl(const uint8_t* p) {
    ZVPNGFrameControl f;
    f.sequenceNumber = be32(p), f.width = be32(p + 4), f.height = be32(p + 8);
    f.xOffset = be32(p + 12), f.yOffset = be32(p + 16);
    f.delayNumerator = be16(p + 20), f.delayDenominator = be16(p + 22);
    f.disposeOp = p[24], f.blendOp = p[25];
    return f;
}

// A frame must lie on the canvas; the cover frame must be the default image itself.
bool frameFits(const ZVPNGFrameControl& f, const ZVPNGHeader& h, bool cover) {
    if (f.width == 0 || f.height == 0) return false;
    if (uint64_t(f.xOffset) + f.width > h.width || uint64_t(f.yOffset) + f.height > h.height) return false;
    return !cover || (f.width == h.width && f.height == h.height && f.xOffset == 0 && f.yOffset == 0);
}

// The second pass: each chunk to its frame, or to the shared chunks.
bool buildFrames(const uint8_t* d, ZVPNGInfo& info, uint32_t frameCount) {
    info.frames.resize(frameCount);
    int64_t cursor = -1;
    for (size_t i = 0; i < info.chunks.size(); ++i) {
        const ZVPNGChunkInfo& c = info.chunks[i];
        bool frameData = c.fourcc == kfdAT || (c.fourcc == kIDAT && info.firstFrameIsCover);
        if (c.fourcc == kfcTL) {
            if (++cursor >= int64_t(frameCount)) return false;
            info.frames[size_t(cursor)].chunkIndex = uint32_t(i + 1);
            info.frames[size_t(cursor)].frameControl = readFrameControl(d + c.offset + 8);
            if (!frameFits(info.frames[size_t(cursor)].frameControl, info.header, cursor == 0 && info.firstFrameIsCover))
                return false;
        } else if (frameData) {
            if (cursor < 0) return false;
            info.frames[size_t(cursor)].chunkCount += 1;
            info.frames[size_t(cursor)].chunkBytes += uint64_t(c.length) + 12;
        } else if (c.fourcc != kIDAT && c.fourcc != kacTL) {
            info.sharedChunkIndexes.push_back(uint32_t(i));
            info.sharedChunkBytes += uint64_t(c.length) + 12;
        }
    }
    return cursor + 1 == int64_t(frameCount);
}

void readHeader(const uint8_t* p, ZVPNGHeader& h) {
    h.width = be32(p), h.height = be32(p + 4);
    h.bitDepth = p[8], h.colorType = p[9], h.compressionMethod = p[10], h.filterMethod = p[11], h.interlaceMethod = p[12];
}

void writeFrameChunk(Data& out, const uint8_t* d, const ZVPNGChunkInfo& c) {
    const uint8_t* chunk = d + c.offset;
    if (c.fourcc == kIDAT) {
        out.insert(out.end(), chunk, chunk + c.length + 12);
        return;
    }
    // fdAT: drop the sequence number and relabel as IDAT.
    const uint8_t* body = chunk + 12;
    uint32_t length = c.length - 4;
    putBE32(out, length);
    out.insert(out.end(), {'I', 'D', 'A', 'T'});
    out.insert(out.end(), body, body + length);
    putBE32(out, crcOf(reinterpret_cast<const uint8_t*>("IDAT"), body, length));
}

void writeHeader(Data& out, const uint8_t* d, const ZVPNGChunkInfo& c, const ZVPNGFrameControl& f) {
    uint8_t chunk[17] = {'I', 'H', 'D', 'R'};
    std::memcpy(chunk + 4, d + c.offset + 8, 13);
    for (int i = 0; i < 4; ++i) chunk[4 + i] = uint8_t(f.width >> (24 - 8 * i)), chunk[8 + i] = uint8_t(f.height >> (24 - 8 * i));
    putBE32(out, 13);
    out.insert(out.end(), chunk, chunk + 17);
    putBE32(out, crcOf(chunk, chunk + 4, 13));
}

}  // namespace

std::unique_ptr<ZVPNGInfo> ZVPNGInfoCreate(const uint8_t* data, size_t length) {
    auto scan = scanChunks(data, length);
    if (!scan) return nullptr;
    auto info = std::make_unique<ZVPNGInfo>();
    info->chunks = std::move(scan->chunks);
    readHeader(data + info->chunks[0].offset + 8, info->header);
    bool animated = !scan->apngError && scan->announcedFrames == scan->frameControls && scan->frameControls >= 1 &&
                    validOrder(info->chunks, *info);
    if (!animated) return info;
    if (!buildFrames(data, *info, scan->announcedFrames)) {
        // Not an animation after all: only the frame table is dropped.
        info->frames.clear();
        info->sharedChunkIndexes.clear();
        info->sharedChunkBytes = 0;
        info->firstFrameIsCover = false;
        return info;
    }
    info->loopCount = scan->playCount;
    return info;
}

std::optional<Data> ZVPNGInfoFrameData(const uint8_t* data, size_t length, const ZVPNGInfo& info, size_t index) {
    if (index >= info.frames.size() || !data) return std::nullopt;
    const ZVPNGFrameInfo& frame = info.frames[index];
    // Assembling reads chunks the info recorded; they must still be there.
    if (info.chunks.back().offset + info.chunks.back().length + 12 > length) return std::nullopt;
    bool keepsSequence = index == 0 && info.firstFrameIsCover;
    Data out;
    out.reserve(8 + info.sharedChunkBytes + frame.chunkBytes - (keepsSequence ? 0 : 4 * uint64_t(frame.chunkCount)));
    out.insert(out.end(), data, data + 8);
    bool inserted = false;
    auto insertFrame = [&] {
        for (uint32_t k = 0; k < frame.chunkCount; ++k) writeFrameChunk(out, data, info.chunks[frame.chunkIndex + k]);
        inserted = true;
    };
    for (uint32_t i : info.sharedChunkIndexes) {
        if (!inserted && i >= info.insertIndex) insertFrame();
        const ZVPNGChunkInfo& c = info.chunks[i];
        if (c.fourcc == kIHDR) writeHeader(out, data, c, frame.frameControl);
        else out.insert(out.end(), data + c.offset, data + c.offset + c.length + 12);
    }
    if (!inserted) insertFrame();
    return out;
}
