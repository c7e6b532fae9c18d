#include "platform/graphics/JPEG2000Header.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "platform/graphics/CGImage.h"
#include "platform/graphics/ImageReaders.h"

namespace imageio::jpeg2000 {

namespace {

constexpr uint64_t kMaxTiles = 4096;
constexpr int kMaxComponents = 4;
constexpr uint64_t kMaxSampleBytes = uint64_t(CGImage::kMaxPixels) * 4;
// What OpenJPEG may set up for an image's samples (each code-block and
// precinct costs it a few hundred bytes): any image may have the minimum.
constexpr uint64_t kMinCodeBlocks = 16384, kSamplesPerCodeBlock = 256;
constexpr uint64_t kMinPackets = uint64_t(1) << 20, kSamplesPerPacket = 16;
constexpr int kMaxLevels = 32;

constexpr uint16_t kSOT = 0xFF90, kSOD = 0xFF93, kEOC = 0xFFD9, kCOD = 0xFF52, kCOC = 0xFF53;

uint64_t be64(const uint8_t* p) { return uint64_t(be32(p)) << 32 | be32(p + 4); }

// ---- The JP2 boxes around the codestream

// The palette box's column count inside a JP2 header box, 0 without one.
int paletteColumns(const uint8_t* p, size_t n) {
    for (size_t at = 0; at + 8 <= n;) {
        size_t length = be32(p + at);
        if (length < 8 || length > n - at) return 0;
        if (std::memcmp(p + at + 4, "pclr", 4) == 0) return length >= 11 ? p[at + 10] : 0;
        at += length;
    }
    return 0;
}

// Where the codestream starts: after the JP2 boxes up to "jp2c", or at 0.
std::optional<size_t> codestreamStart(const uint8_t* p, size_t n, int* palette) {
    if (n >= 2 && p[0] == 0xFF && p[1] == 0x4F) return 0;
    for (size_t at = 0; at + 8 <= n;) {
        uint64_t length = be32(p + at), header = 8;
        if (length == 1) {
            if (at + 16 > n) return std::nullopt;
            length = be64(p + at + 8), header = 16;
        } else if (length == 0) {
            length = n - at;
        }
        if (length < header) return std::nullopt;
        if (std::memcmp(p + at + 4, "jp2c", 4) == 0) return at + header;
        if (length > n - at) return std::nullopt;
        if (std::memcmp(p + at + 4, "jp2h", 4) == 0) *palette = paletteColumns(p + at + header, size_t(length - header));
        at += size_t(length);
    }
    return std::nullopt;
}

// ---- Grid arithmetic (coordinates may go below zero for a band's origin)

uint64_t ceilDiv(uint64_t a, uint64_t b) { return (a + b - 1) / b; }
int64_t ceilShift(int64_t a, int k) { return (a + (int64_t(1) << k) - 1) >> k; }
int64_t floorShift(int64_t a, int k) { return a >> k; }
// Cells of a 2^k grid that [a0, a1) touches; 0 when empty.
uint64_t cells(int64_t a0, int64_t a1, int k) { return a1 > a0 ? uint64_t(ceilShift(a1, k) - floorShift(a0, k)) : 0; }

struct Rect {
    int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
};

// ---- Coding styles (COD, COC)

struct Style {
    int levels = 0;              // decomposition levels: levels + 1 resolutions
    int blockWidth = 6, blockHeight = 6;  // code-block size exponents
    std::array<uint8_t, kMaxLevels + 1> precincts{};  // PPx | PPy << 4 by resolution
};

// SPcod or SPcoc: levels, code-block size, style, transform, precinct sizes.
std::optional<Style> readStyle(const uint8_t* p, size_t n, bool definesPrecincts) {
    if (n < 5 || p[0] > kMaxLevels || p[1] > 8 || p[2] > 8 || p[1] + p[2] > 8) return std::nullopt;
    Style s;
    s.levels = p[0];
    s.blockWidth = p[1] + 2, s.blockHeight = p[2] + 2;
    if (definesPrecincts && n < 5 + size_t(s.levels) + 1) return std::nullopt;
    for (int r = 0; r <= s.levels; ++r) {
        s.precincts[size_t(r)] = definesPrecincts ? p[5 + r] : 0xFF;
        // Below the lowest resolution a precinct must hold a code-block's parent.
        if (r > 0 && ((s.precincts[size_t(r)] & 15) == 0 || (s.precincts[size_t(r)] >> 4) == 0)) return std::nullopt;
    }
    return s;
}

// What one style costs OpenJPEG for one component of one tile.
struct Cost {
    uint64_t codeBlocks = 0, precincts = 0, mostPrecincts = 0;
    int resolutions = 0;
};

// Code-blocks of one band: the cells of the code-block grid it touches.
uint64_t bandBlocks(const Rect& band, int bw, int bh) {
    return band.empty() ? 0 : cells(band.x0, band.x1, bw) * cells(band.y0, band.y1, bh);
}

Cost costOf(const Rect& component, const Style& s) {
    Cost c;
    c.resolutions = s.levels + 1;
    for (int r = 0; r <= s.levels; ++r) {
        const int n = s.levels - r;  // halvings from the full size
        Rect res{ceilShift(component.x0, n), ceilShift(component.y0, n), ceilShift(component.x1, n),
                 ceilShift(component.y1, n)};
        if (res.empty()) continue;
        const int px = s.precincts[size_t(r)] & 15, py = s.precincts[size_t(r)] >> 4;
        uint64_t precincts = cells(res.x0, res.x1, px) * cells(res.y0, res.y1, py);
        c.precincts += precincts;
        c.mostPrecincts = std::max(c.mostPrecincts, precincts);
        const int bw = std::min(s.blockWidth, r == 0 ? px : px - 1), bh = std::min(s.blockHeight, r == 0 ? py : py - 1);
        if (r == 0) {
            c.codeBlocks += bandBlocks(res, bw, bh);
            continue;
        }
        for (auto [ox, oy] : {std::pair{1, 0}, {0, 1}, {1, 1}}) {  // HL, LH, HH one level below
            Rect band{ceilShift(component.x0 - (int64_t(ox) << n), n + 1), ceilShift(component.y0 - (int64_t(oy) << n), n + 1),
                      ceilShift(component.x1 - (int64_t(ox) << n), n + 1), ceilShift(component.y1 - (int64_t(oy) << n), n + 1)};
            c.codeBlocks += bandBlocks(band, bw, bh);
        }
    }
    return c;
}

// ---- The image header (SIZ) and the tiles' costs

struct Component {
    uint32_t dx = 1, dy = 1;
};

struct Image {
    Rect grid;  // the image on the reference grid
    uint32_t tileX0 = 0, tileY0 = 0, tileWidth = 0, tileHeight = 0;
    uint64_t tilesAcross = 0, tilesDown = 0;
    std::vector<Component> components;
    Rect tile(uint64_t index) const {
        uint64_t p = index % tilesAcross, q = index / tilesAcross;
        return Rect{std::max<int64_t>(tileX0 + int64_t(p * tileWidth), grid.x0),
                    std::max<int64_t>(tileY0 + int64_t(q * tileHeight), grid.y0),
                    std::min<int64_t>(tileX0 + int64_t((p + 1) * tileWidth), grid.x1),
                    std::min<int64_t>(tileY0 + int64_t((q + 1) * tileHeight), grid.y1)};
    }
    Rect componentOf(const Rect& t, size_t c) const {
        const Component& k = components[c];
        return Rect{int64_t(ceilDiv(uint64_t(t.x0), k.dx)), int64_t(ceilDiv(uint64_t(t.y0), k.dy)),
                    int64_t(ceilDiv(uint64_t(t.x1), k.dx)), int64_t(ceilDiv(uint64_t(t.y1), k.dy))};
    }
};

// SIZ right after SOC: the reference grid, the image and tile offsets, the
// tile size and each component's depth and subsampling.
std::optional<Image> readSIZ(const uint8_t* s, size_t n, size_t* next) {
    if (n < 42 || be16(s) != 0xFF4F || be16(s + 2) != 0xFF51) return std::nullopt;
    uint32_t X = be32(s + 8), Y = be32(s + 12), X0 = be32(s + 16), Y0 = be32(s + 20);
    uint32_t TW = be32(s + 24), TH = be32(s + 28), TX0 = be32(s + 32), TY0 = be32(s + 36);
    size_t count = be16(s + 40), length = be16(s + 4);
    if (X <= X0 || Y <= Y0 || TW == 0 || TH == 0 || TX0 > X0 || TY0 > Y0) return std::nullopt;
    if (uint64_t(TX0) + TW <= X0 || uint64_t(TY0) + TH <= Y0) return std::nullopt;
    if (!CGImage::fitsBudget(X - X0, Y - Y0)) return std::nullopt;
    if (count < 1 || count > size_t(kMaxComponents) || length != 38 + 3 * count || n < 4 + length) return std::nullopt;
    Image image;
    image.grid = Rect{X0, Y0, X, Y};
    image.tileX0 = TX0, image.tileY0 = TY0, image.tileWidth = TW, image.tileHeight = TH;
    image.tilesAcross = ceilDiv(X - TX0, TW), image.tilesDown = ceilDiv(Y - TY0, TH);
    if (image.tilesAcross * image.tilesDown > kMaxTiles) return std::nullopt;
    for (size_t c = 0; c < count; ++c) {
        const uint8_t* comp = s + 42 + c * 3;
        if ((comp[0] & 0x7F) + 1 > 16 || comp[1] == 0 || comp[2] == 0) return std::nullopt;
        image.components.push_back({comp[1], comp[2]});
    }
    *next = 4 + length;
    return image;
}

// What a tile costs: for each component the costliest style that may
// apply to it (the main header's, or its own tile-part headers').
struct TileCost {
    std::array<Cost, kMaxComponents> components{};
    int layers = 0;
    int fewestLevels = kMaxLevels;
};

// What a COD sets: the layers, and the style of every component.
struct StyleMarker {
    int layers = 0;
    Style style;
};

std::optional<StyleMarker> readCOD(const uint8_t* p, size_t n) {
    if (n < 5) return std::nullopt;
    auto style = readStyle(p + 5, n - 5, p[0] & 1);
    int layers = be16(p + 2);
    if (layers == 0 || !style) return std::nullopt;
    return StyleMarker{layers, *style};
}

// A COC segment's component (one byte: at most 4 components) and style.
std::optional<std::pair<size_t, Style>> readCOC(const uint8_t* p, size_t n, size_t components) {
    if (n < 2 || p[0] >= components) return std::nullopt;
    auto style = readStyle(p + 2, n - 2, p[1] & 1);
    if (!style) return std::nullopt;
    return std::pair{size_t(p[0]), *style};
}

class Walk {
public:
    Walk(const Image& image) : image_(image), tiles_(image.tilesAcross * image.tilesDown) {}

    // One marker segment of the main header; false when it is damaged. The
    // last COD and COC of each component count, as for OpenJPEG.
    bool takeMain(uint16_t code, const uint8_t* body, size_t n) {
        if (code == kCOD) return (mainCOD_ = readCOD(body, n)).has_value();
        if (code != kCOC) return true;
        auto coc = readCOC(body, n, image_.components.size());
        if (coc) mainCOC_[coc->first] = coc->second;
        return coc.has_value();
    }

    // At the first tile-part: the main header's styles apply to every tile.
    bool endMain() {
        if (!mainCOD_) return false;
        for (uint64_t i = 0; i < tiles_.size(); ++i) {
            TileCost& t = tiles_[size_t(i)];
            t.layers = mainCOD_->layers;
            for (size_t c = 0; c < image_.components.size(); ++c) {
                apply(t, i, c, mainCOD_->style);
                if (mainCOC_[c]) apply(t, i, c, *mainCOC_[c]);
            }
        }
        return true;
    }

    // One marker segment of a tile-part header; false when it is damaged.
    bool takeTilePart(uint16_t code, const uint8_t* body, size_t n, uint64_t tile) {
        TileCost& t = tiles_[size_t(tile)];
        if (code == kCOD) {
            auto cod = readCOD(body, n);
            if (!cod) return false;
            t.layers = std::max(t.layers, cod->layers);
            for (size_t c = 0; c < image_.components.size(); ++c) apply(t, tile, c, cod->style);
        } else if (code == kCOC) {
            auto coc = readCOC(body, n, image_.components.size());
            if (!coc) return false;
            apply(t, tile, coc->first, coc->second);
        }
        return true;
    }

    Header total() const;

private:
    // A style that may apply: each count keeps the costlier one.
    void apply(TileCost& t, uint64_t index, size_t c, const Style& s) {
        Cost cost = costOf(image_.componentOf(image_.tile(index), c), s);
        Cost& kept = t.components[c];
        kept.codeBlocks = std::max(kept.codeBlocks, cost.codeBlocks);
        kept.precincts = std::max(kept.precincts, cost.precincts);
        kept.mostPrecincts = std::max(kept.mostPrecincts, cost.mostPrecincts);
        kept.resolutions = std::max(kept.resolutions, cost.resolutions);
        t.fewestLevels = std::min(t.fewestLevels, s.levels);
    }

    const Image& image_;
    std::vector<TileCost> tiles_;
    std::optional<StyleMarker> mainCOD_;
    std::array<std::optional<Style>, kMaxComponents> mainCOC_;
};

Header Walk::total() const {
    Header h;
    h.halvings = kMaxLevels;
    for (const TileCost& t : tiles_) {
        uint64_t resolutions = 0, precincts = 0;
        for (size_t c = 0; c < image_.components.size(); ++c) {
            const Cost& k = t.components[c];
            h.codeBlocks += k.codeBlocks, h.precincts += k.precincts;
            resolutions = std::max<uint64_t>(resolutions, uint64_t(k.resolutions));
            precincts = std::max(precincts, k.mostPrecincts);
        }
        // OpenJPEG's packet iterator spans the most resolutions and precincts of any component.
        h.packets += uint64_t(t.layers) * image_.components.size() * resolutions * precincts;
        h.halvings = std::min(h.halvings, t.fewestLevels);
    }
    return h;
}

// ---- Marker segments

struct Segment {
    uint16_t code = 0;
    const uint8_t* body = nullptr;
    size_t length = 0;  // of the body
    size_t end = 0;     // where the next marker starts
};

enum class Read { Ok, Missing, Damaged };

// The marker segment at `at` (SOD, EOC and the reserved 0xFF30...0xFF3F
// are bare markers).
Read segmentAt(const uint8_t* s, size_t n, size_t at, Segment* out) {
    if (at + 2 > n) return Read::Missing;
    uint16_t code = be16(s + at);
    if (code < 0xFF00) return Read::Damaged;
    *out = Segment{code};
    if (code == kSOD || code == kEOC || (code >= 0xFF30 && code <= 0xFF3F)) {
        out->end = at + 2;
        return Read::Ok;
    }
    if (at + 4 > n) return Read::Missing;
    size_t length = be16(s + at + 2);
    if (length < 2) return Read::Damaged;
    if (at + 2 + length > n) return Read::Missing;
    out->body = s + at + 4, out->length = length - 2, out->end = at + 2 + length;
    return Read::Ok;
}

// The main header's segments up to the first SOT, whose position `at` becomes.
Read walkMainHeader(const uint8_t* s, size_t n, size_t& at, Walk& walk) {
    for (Segment seg;; at = seg.end) {
        if (Read read = segmentAt(s, n, at, &seg); read != Read::Ok) return read;
        if (seg.code == kSOT) return walk.endMain() ? Read::Ok : Read::Damaged;
        if (seg.code == kSOD || seg.code == kEOC || !walk.takeMain(seg.code, seg.body, seg.length)) return Read::Damaged;
    }
}

// Every tile-part header that has arrived; false when one is damaged.
bool walkTileParts(const uint8_t* s, size_t n, size_t at, uint64_t tiles, Walk& walk) {
    Segment seg;
    for (;;) {
        Read read = segmentAt(s, n, at, &seg);
        if (read == Read::Missing || (read == Read::Ok && seg.code == kEOC)) return true;
        if (read == Read::Damaged || seg.code != kSOT || seg.length != 8) return false;
        uint64_t tile = be16(seg.body), length = be32(seg.body + 2);
        if (tile >= tiles || (length != 0 && length < 14)) return false;
        for (size_t h = seg.end;; h = seg.end) {
            read = segmentAt(s, n, h, &seg);
            if (read == Read::Missing) return true;
            if (read == Read::Damaged) return false;
            if (seg.code == kSOD) break;
            if (seg.code == kSOT || seg.code == kEOC || !walk.takeTilePart(seg.code, seg.body, seg.length, tile)) return false;
        }
        if (length == 0) return true;  // the last tile-part runs to the end
        at += size_t(length);
    }
}

bool withinLimits(const Header& h) {
    const uint64_t samples = uint64_t(h.width) * h.height * uint64_t(h.components);
    return samples * 4 <= kMaxSampleBytes &&
           h.codeBlocks <= std::max(kMinCodeBlocks, samples / kSamplesPerCodeBlock) &&
           h.precincts <= std::max(kMinCodeBlocks, samples / kSamplesPerCodeBlock) &&
           h.packets <= std::max(kMinPackets, samples / kSamplesPerPacket);
}

}  // namespace

std::optional<Header> readHeader(const uint8_t* p, size_t n, bool* refused) {
    bool ignored = false;
    bool& refuse = refused ? *refused : ignored;
    refuse = false;
    int palette = 0;
    auto start = codestreamStart(p, n, &palette);
    if (!start) return std::nullopt;
    const uint8_t* s = p + *start;
    const size_t length = n - *start;
    size_t at = 0;
    auto image = readSIZ(s, length, &at);
    if (!image) {
        refuse = length >= 6 && length >= 4 + size_t(be16(s + 4));  // SIZ is all there
        return std::nullopt;
    }
    Walk walk(*image);
    Read main = walkMainHeader(s, length, at, walk);
    if (main != Read::Ok || !walkTileParts(s, length, at, image->tilesAcross * image->tilesDown, walk)) {
        refuse = main != Read::Missing;
        return std::nullopt;
    }
    Header h = walk.total();
    h.jp2 = *start > 0;
    h.x0 = uint32_t(image->grid.x0), h.y0 = uint32_t(image->grid.y0);
    h.width = uint32_t(image->grid.x1 - image->grid.x0), h.height = uint32_t(image->grid.y1 - image->grid.y0);
    const int count = int(image->components.size());
    h.components = std::max(count, count - 1 + palette);
    refuse = h.components > kMaxComponents || !withinLimits(h);
    if (refuse) return std::nullopt;
    return h;
}

}  // namespace imageio::jpeg2000
