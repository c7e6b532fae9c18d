#include "platform/graphics/JPEG2000Header.h"

#include <algorithm>
#include <array>
#include <vector>

#include "platform/graphics/CGImage.h"
#include "platform/graphics/ImageReaders.h"

namespace imageio::jpeg2000 {

namespace {

constexpr uint64_t kMaxTiles = 4096;
constexpr uint64_t kBookkeepingBudget = uint64_t(64) << 20;

constexpr uint16_t kSIZ = 0xFF51, kSOT = 0xFF90, kSOD = 0xFF93, kEOC = 0xFFD9, kCOD = 0xFF52, kCOC = 0xFF53;

// ---- Coding styles (COD, COC), read as OpenJPEG reads them

// SPcod or SPcoc, which must fill the rest of the segment: levels,
// code-block size and style, transform, and the precinct sizes when
// `definesPrecincts` (else 2^15, one precinct a resolution).
std::optional<Style> readStyle(const uint8_t* p, size_t n, bool definesPrecincts) {
    if (n < 5) return std::nullopt;
    Style s;
    s.resolutions = p[0] + 1;
    s.blockWidth = p[1] + 2, s.blockHeight = p[2] + 2;
    const bool mixedCoding = p[3] & 0x80;
    if (s.resolutions > kMaxResolutions || s.blockWidth > 10 || s.blockHeight > 10 || s.blockWidth + s.blockHeight > 12 ||
        mixedCoding || p[4] > 1)
        return std::nullopt;
    if (n != 5 + (definesPrecincts ? size_t(s.resolutions) : 0)) return std::nullopt;
    for (int r = 0; r < s.resolutions; ++r) {
        const uint8_t sizes = definesPrecincts ? p[5 + r] : 0xFF;
        s.precinctWidth[size_t(r)] = sizes & 15, s.precinctHeight[size_t(r)] = sizes >> 4;
        // Above the lowest resolution a precinct must hold a code-block's parent.
        if (r > 0 && ((sizes & 15) == 0 || (sizes >> 4) == 0)) return std::nullopt;
    }
    return s;
}

// What a COD sets: the layers, and the style of every component.
struct StyleMarker {
    int layers = 0;
    Style style;
};

std::optional<StyleMarker> readCOD(const uint8_t* p, size_t n) {
    if (n < 5 || (p[0] & ~7) != 0 || p[4] > 1) return std::nullopt;
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

// ---- The image header (SIZ)

uint64_t ceilDiv(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

struct Image {
    Rect grid;  // the image on the reference grid
    uint32_t tileX0 = 0, tileY0 = 0, tileWidth = 0, tileHeight = 0;
    uint64_t tilesAcross = 0, tilesDown = 0;
    std::vector<std::pair<uint32_t, uint32_t>> subsampling;  // by component
    size_t components() const { return subsampling.size(); }
    // Tile `index`'s area in each component's samples.
    std::array<Rect, kMaxComponents> tileAreas(uint64_t index) const {
        const uint64_t p = index % tilesAcross, q = index / tilesAcross;
        const Rect t{std::max<int64_t>(tileX0 + int64_t(p * tileWidth), grid.x0),
                     std::max<int64_t>(tileY0 + int64_t(q * tileHeight), grid.y0),
                     std::min<int64_t>(tileX0 + int64_t((p + 1) * tileWidth), grid.x1),
                     std::min<int64_t>(tileY0 + int64_t((q + 1) * tileHeight), grid.y1)};
        std::array<Rect, kMaxComponents> areas{};
        for (size_t c = 0; c < components(); ++c) {
            auto [dx, dy] = subsampling[c];
            areas[c] = Rect{int64_t(ceilDiv(uint64_t(t.x0), dx)), int64_t(ceilDiv(uint64_t(t.y0), dy)),
                            int64_t(ceilDiv(uint64_t(t.x1), dx)), int64_t(ceilDiv(uint64_t(t.y1), dy))};
        }
        return areas;
    }
};

// SIZ right after SOC: the reference grid, the image and tile offsets, the
// tile size and each component's depth and subsampling.
std::optional<Image> readSIZ(const uint8_t* s, size_t n, size_t* next) {
    if (n < 42 || be16(s) != 0xFF4F || be16(s + 2) != kSIZ) return std::nullopt;
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
        image.subsampling.push_back({comp[1], comp[2]});
    }
    *next = 4 + length;
    return image;
}

// ---- The coding styles as OpenJPEG keeps them, and what they cost

// One tile's styles (or the main header's, which every tile starts from):
// a COD sets the layers and every component's style, a COC one component's.
struct Styles {
    int layers = 0;
    std::array<Style, kMaxComponents> components{};
    bool take(uint16_t code, const uint8_t* body, size_t n, size_t count) {
        if (code == kCOD) {
            auto cod = readCOD(body, n);
            if (!cod) return false;
            layers = cod->layers;
            components.fill(cod->style);
        } else if (code == kCOC) {
            auto coc = readCOC(body, n, count);
            if (!coc) return false;
            components[coc->first] = coc->second;
        }
        return true;
    }
};

class Walk {
public:
    Walk(const Image& image)
        : image_(image), tiles_(size_t(image.tilesAcross * image.tilesDown)),
          bookkeeping_(tiles_.size(), int(image.components())) {}

    bool takeMain(uint16_t code, const uint8_t* body, size_t n) {
        sawCOD_ = sawCOD_ || code == kCOD;
        return main_.take(code, body, n, image_.components());
    }

    // At the first tile-part: every tile starts from the main header's
    // styles, and may be decoded with them.
    bool endMain() {
        if (!sawCOD_) return false;
        for (size_t i = 0; i < tiles_.size(); ++i) {
            tiles_[i] = main_;
            count(i);
        }
        return true;
    }

    bool takeTilePart(uint16_t code, const uint8_t* body, size_t n, uint64_t tile) {
        return tiles_[size_t(tile)].take(code, body, n, image_.components());
    }
    // A tile-part header ends: the tile may be decoded with its styles now.
    void endTilePart(uint64_t tile) { count(size_t(tile)); }

    const Styles& main() const { return main_; }
    uint64_t bookkeepingBytes() const { return bookkeeping_.bytes(); }
    int fewestLevels() const { return fewestLevels_; }

private:
    void count(size_t tile) {
        const Styles& t = tiles_[tile];
        bookkeeping_.addTile(image_.tileAreas(tile), t.components, t.layers);
        for (size_t c = 0; c < image_.components(); ++c)
            fewestLevels_ = std::min(fewestLevels_, t.components[c].resolutions - 1);
    }

    const Image& image_;
    Styles main_;
    bool sawCOD_ = false;
    std::vector<Styles> tiles_;
    Bookkeeping bookkeeping_;
    int fewestLevels_ = kMaxResolutions;
};

// ---- Marker segments, walked as OpenJPEG walks them

// The markers OpenJPEG knows (all others it scans past), and where it
// accepts them: a known marker anywhere else makes it fail.
enum Where : uint8_t { kNowhere = 0, kMain = 1, kTilePart = 2, kUnknown = 4 };

uint8_t whereAccepted(uint16_t code) {
    switch (code) {
        case kSOT:     // ends the main header (and starts every tile-part)
        case 0xFF55:   // TLM
        case 0xFF57:   // PLM
        case 0xFF60:   // PPM
        case 0xFF63:   // CRG
        case 0xFF78:   // CBD
        case 0xFF50:   // CAP
        case 0xFF59:   // CPF
            return kMain;
        case kCOD:
        case kCOC:
        case 0xFF5E:   // RGN
        case 0xFF5C:   // QCD
        case 0xFF5D:   // QCC
        case 0xFF5F:   // POC
        case 0xFF64:   // COM
        case 0xFF74:   // MCT
        case 0xFF75:   // MCC
        case 0xFF77:   // MCO
            return kMain | kTilePart;
        case 0xFF58:   // PLT
        case 0xFF61:   // PPT
            return kTilePart;
        case kSIZ:     // only right after SOC
        case 0xFF91:   // SOP, only inside tile data
            return kNowhere;
        default:
            return kUnknown;
    }
}

bool knownToOpenJPEG(uint16_t code) { return whereAccepted(code) != kUnknown; }

struct Segment {
    uint16_t code = 0;
    size_t at = 0;  // of the marker
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
    *out = Segment{code, at};
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

// Whether OpenJPEG, scanning past an unknown marker by pairs of bytes from
// right after its code, reaches the segment's end without meeting a marker
// it knows: then it lands where the walk goes next.
bool scanLandsAtEnd(const uint8_t* s, const Segment& seg) {
    if ((seg.end - seg.at) % 2 != 0) return false;
    for (size_t at = seg.at + 2; at < seg.end; at += 2)
        if (s[at] == 0xFF && knownToOpenJPEG(be16(s + at))) return false;
    return true;
}

// Records what OpenJPEG's codestream index will hold, at file positions.
class Recorder {
public:
    Recorder(Markers* markers, size_t offset, uint64_t tiles) : markers_(markers), offset_(offset) {
        if (markers_) *markers_ = Markers{{}, std::vector<std::vector<Marker>>(size_t(tiles))};
    }
    void main(uint16_t code, size_t at, size_t length) {
        if (markers_) markers_->main.push_back({code, offset_ + at, length});
    }
    void tile(uint64_t index, uint16_t code, size_t at, size_t length) {
        if (markers_) markers_->tiles[size_t(index)].push_back({code, offset_ + at, length});
    }

private:
    Markers* markers_;
    size_t offset_;
};

// OpenJPEG's record of a run of unknown segments from `from` up to the
// known marker at `to`: 2 bytes, and 2 more for each marker code its scan
// met on the way, ending at `to` + 2.
void recordUnknown(const uint8_t* s, size_t from, size_t to, Recorder& record) {
    size_t length = 2;
    for (size_t at = from + 2; at < to; at += 2) length += s[at] == 0xFF ? 2 : 0;
    record.main(0, to + 2 - length, length);
}

// The main header's segments up to the first SOT, whose position `at` becomes.
Read walkMainHeader(const uint8_t* s, size_t n, size_t& at, Walk& walk, Recorder& record) {
    std::optional<size_t> unknownFrom;  // where a run of unknown segments began
    for (Segment seg;; at = seg.end) {
        if (Read read = segmentAt(s, n, at, &seg); read != Read::Ok) return read;
        const uint8_t where = whereAccepted(seg.code);
        if (where == kUnknown) {
            if (seg.code == kSOD || seg.code == kEOC || !scanLandsAtEnd(s, seg)) return Read::Damaged;
            unknownFrom = unknownFrom.value_or(at);
            continue;
        }
        if (!(where & kMain)) return Read::Damaged;
        if (seg.code == kSOT) return walk.endMain() ? Read::Ok : Read::Damaged;
        if (unknownFrom) recordUnknown(s, *unknownFrom, at, record);
        unknownFrom.reset();
        record.main(seg.code, at, seg.length + 4);
        if (!walk.takeMain(seg.code, seg.body, seg.length)) return Read::Damaged;
    }
}

// One tile-part header from its SOT at `at`: the position of its SOD;
// nullopt when it has not arrived whole, 0 when it is damaged.
std::optional<size_t> walkTilePartHeader(const uint8_t* s, size_t n, size_t at, uint64_t tile, Walk& walk,
                                         Recorder& record) {
    Segment seg;
    for (size_t h = at + 12;; h = seg.end) {
        Read read = segmentAt(s, n, h, &seg);
        if (read == Read::Missing) return std::nullopt;
        if (read == Read::Damaged) return 0;
        if (seg.code == kSOD) return h;
        if (!(whereAccepted(seg.code) & kTilePart) || !walk.takeTilePart(seg.code, seg.body, seg.length, tile))
            return 0;
        record.tile(tile, seg.code, h, seg.length + 4);
    }
}

// Every tile-part that has arrived, each at the length its SOT gives
// (Psot; 0 for the last, which runs to the end); false when one is damaged.
bool walkTileParts(const uint8_t* s, size_t n, size_t at, uint64_t tiles, Walk& walk, Recorder& record) {
    for (Segment seg;;) {
        Read read = segmentAt(s, n, at, &seg);
        if (read == Read::Missing || (read == Read::Ok && seg.code == kEOC)) return true;
        if (read == Read::Damaged || seg.code != kSOT || seg.length != 8) return false;
        const uint64_t tile = be16(seg.body), length = be32(seg.body + 2);
        if (tile >= tiles || (length != 0 && length < 14)) return false;
        record.tile(tile, kSOT, at, 12);
        auto sod = walkTilePartHeader(s, n, at, tile, walk, record);
        if (!sod) return true;
        // OpenJPEG counts the tile data from the header's end: the header must fit in Psot.
        if (*sod == 0 || (length != 0 && *sod + 2 > at + length)) return false;
        walk.endTilePart(tile);
        // The last tile-part's data: all but the two bytes of an EOC.
        record.tile(tile, kSOD, *sod, length != 0 ? at + length - *sod : n - *sod - 2);
        if (length == 0) return true;
        at += size_t(length);
    }
}

// A palette column of more than 16 bits is beyond what is drawn, as a
// component's depth is.
bool withinLimits(const Header& h, size_t codestreamComponents) {
    const uint64_t samplesBytes = uint64_t(h.width) * h.height * codestreamComponents * 4;
    for (const Channel& c : h.channels)
        if (c.depthColumn >= 0 && h.boxes.palette->depth[size_t(c.depthColumn)] > 16) return false;
    return h.channels.size() <= size_t(kMaxComponents) &&
           h.bookkeepingBytes <= std::max(kBookkeepingBudget, samplesBytes);
}

}  // namespace

std::optional<Header> readHeader(const uint8_t* p, size_t n, bool* refused, Markers* markers) {
    bool ignored = false;
    bool& refuse = refused ? *refused : ignored;
    refuse = false;
    Boxes boxes;
    if (!(n >= 2 && p[0] == 0xFF && p[1] == 0x4F)) {
        BoxRead read = readBoxes(p, n, &boxes);
        refuse = read == BoxRead::Damaged;
        if (read != BoxRead::Ok) return std::nullopt;
    }
    const uint8_t* s = p + boxes.codestream;
    const size_t length = n - boxes.codestream;
    size_t at = 0;
    auto image = readSIZ(s, length, &at);
    if (!image) {
        refuse = length >= 6 && length >= 4 + size_t(be16(s + 4));  // SIZ is all there
        return std::nullopt;
    }
    const uint64_t tiles = image->tilesAcross * image->tilesDown;
    Recorder record(markers, boxes.codestream, tiles);
    record.main(0xFF4F, 0, 2);  // SOC
    record.main(kSIZ, 2, at - 2);
    Walk walk(*image);
    Read main = walkMainHeader(s, length, at, walk, record);
    if (main != Read::Ok || !walkTileParts(s, length, at, tiles, walk, record)) {
        refuse = main != Read::Missing;
        return std::nullopt;
    }
    const int count = int(image->components());
    auto channels = channelsOf(boxes, count);
    if (!channels) {
        refuse = true;
        return std::nullopt;
    }
    Header h;
    h.jp2 = boxes.codestream > 0;
    h.x0 = uint32_t(image->grid.x0), h.y0 = uint32_t(image->grid.y0);
    h.width = uint32_t(image->grid.x1 - image->grid.x0), h.height = uint32_t(image->grid.y1 - image->grid.y0);
    h.channels = std::move(*channels);
    h.components = int(h.channels.size());
    h.opacity = h.components == 2 || (h.components == 4 && !(h.jp2 && boxes.colourSpace == kEnumCSCMYK));
    h.boxes = std::move(boxes);
    h.halvings = walk.fewestLevels();
    h.bookkeepingBytes = walk.bookkeepingBytes();
    h.layers = walk.main().layers;
    h.styles.assign(walk.main().components.begin(), walk.main().components.begin() + count);
    refuse = !withinLimits(h, size_t(count));
    if (refuse) return std::nullopt;
    return h;
}

}  // namespace imageio::jpeg2000
