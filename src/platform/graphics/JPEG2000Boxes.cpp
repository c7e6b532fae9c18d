#include "platform/graphics/JPEG2000Boxes.h"

#include <algorithm>

#include "platform/graphics/ImageReaders.h"

namespace imageio::jpeg2000 {

namespace {

constexpr uint32_t boxType(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 | uint32_t(uint8_t(s[2])) << 8 | uint8_t(s[3]);
}

// OpenJPEG's reading state. A box it does not know sets every bit, so that
// from then on it counts as having read the header box.
namespace state {
constexpr uint32_t kSignature = 0x1, kFileType = 0x2, kHeader = 0x4, kUnknownBox = 0x7FFFFFFF;
}

struct BoxHeader {
    uint32_t type = 0;
    uint64_t length = 0;  // with its header
    size_t header = 8;
};

class BoxReading {
public:
    explicit BoxReading(Boxes* out) : out_(out) {}

    BoxRead read(const uint8_t* p, size_t n);

private:
    BoxRead topLevelBox(const BoxHeader& box, const uint8_t* p, size_t n);
    bool handle(uint32_t type, const uint8_t* body, size_t size);
    bool headerBox(const uint8_t* p, size_t n);
    bool imageHeader(const uint8_t* p, size_t n);
    bool colour(const uint8_t* p, size_t n);
    bool palette(const uint8_t* p, size_t n);
    bool mapping(const uint8_t* p, size_t n);
    bool definitions(const uint8_t* p, size_t n);

    Boxes* out_;
    uint32_t state_ = 0;
    bool hasHeaderBox_ = false, hasImageHeader_ = false, hasColour_ = false;
    uint32_t components_ = 0;  // the image header's
};

bool isImageHeaderBox(uint32_t type) {
    for (uint32_t t : {boxType("ihdr"), boxType("colr"), boxType("bpcc"), boxType("pclr"), boxType("cmap"), boxType("cdef")})
        if (type == t) return true;
    return false;
}

bool isTopLevelBox(uint32_t type) { return type == boxType("jP  ") || type == boxType("ftyp") || type == boxType("jp2h"); }

// A box header at the top level: its length 0 runs to the end of the file;
// 1 is followed by a 64-bit length. One OpenJPEG cannot take (a length of
// 2^32 or more) ends its reading of boxes, and it reads the codestream from
// the bytes after that header, codestream box or not.
enum class TopLevel { Ok, Missing, EndOfBoxes };

TopLevel topLevelHeader(const uint8_t* p, size_t n, BoxHeader* box) {
    if (n < 8) return TopLevel::Missing;
    box->length = be32(p), box->type = be32(p + 4), box->header = 8;
    if (box->length == 0) {
        if (n - 8 > 0xFFFFFFFFu - 8) return TopLevel::EndOfBoxes;
        box->length = n;
    } else if (box->length == 1) {
        if (n < 16) return TopLevel::Missing;
        box->header = 16;
        if (be32(p + 8) != 0) return TopLevel::EndOfBoxes;
        box->length = be32(p + 12);
    }
    return TopLevel::Ok;
}

// A box header inside the header box: no length 0, and it must fit.
bool innerHeader(const uint8_t* p, size_t n, BoxHeader* box) {
    if (n < 8) return false;
    box->length = be32(p), box->type = be32(p + 4), box->header = 8;
    if (box->length == 1) {
        if (n < 16 || be32(p + 8) != 0) return false;
        box->length = be32(p + 12), box->header = 16;
    }
    return box->length != 0 && box->length >= box->header && box->length <= n;
}

BoxRead BoxReading::read(const uint8_t* p, size_t n) {
    for (size_t at = 0;;) {
        BoxHeader box;
        const TopLevel header = topLevelHeader(p + at, n - at, &box);
        if (header == TopLevel::Missing) return BoxRead::Missing;
        // The codestream box's length is not read: the codestream runs to the end.
        const bool codestream = header == TopLevel::EndOfBoxes || box.type == boxType("jp2c");
        if (codestream) {
            if (header == TopLevel::Ok && !(state_ & state::kHeader)) return BoxRead::Damaged;
            if (!hasHeaderBox_ || !hasImageHeader_) return BoxRead::Damaged;
            out_->codestream = at + box.header;
            return BoxRead::Ok;
        }
        if (box.length == 0 || box.length < box.header) return BoxRead::Damaged;
        if (BoxRead r = topLevelBox(box, p + at + box.header, n - at - box.header); r != BoxRead::Ok) return r;
        at += size_t(box.length);
    }
}

// A box other than the codestream's, its body at `p` (`n` bytes on to the
// end of what has arrived). The boxes of the header box found at the top
// level are read once a header box has been (or the state says so), and
// passed over before.
BoxRead BoxReading::topLevelBox(const BoxHeader& box, const uint8_t* p, size_t n) {
    const uint64_t size = box.length - box.header;
    const bool misplaced = isImageHeaderBox(box.type);
    const bool handled = isTopLevelBox(box.type) || (misplaced && (state_ & state::kHeader));
    if (!handled && !misplaced && (!(state_ & state::kSignature) || !(state_ & state::kFileType))) return BoxRead::Damaged;
    if (size > n) return BoxRead::Missing;
    if (!handled) state_ |= state::kUnknownBox;
    else if (!handle(box.type, p, size_t(size))) return BoxRead::Damaged;
    return BoxRead::Ok;
}

bool BoxReading::handle(uint32_t type, const uint8_t* p, size_t n) {
    if (type == boxType("jP  ")) {
        if (state_ != 0 || n != 4 || be32(p) != 0x0D0A870Au) return false;
        state_ |= state::kSignature;
        return true;
    }
    if (type == boxType("ftyp")) {
        if (state_ != state::kSignature || n < 8 || (n - 8) % 4 != 0) return false;
        state_ |= state::kFileType;
        return true;
    }
    if (type == boxType("jp2h")) return headerBox(p, n);
    if (type == boxType("ihdr")) return imageHeader(p, n);
    if (type == boxType("colr")) return colour(p, n);
    if (type == boxType("bpcc")) return n == components_;
    if (type == boxType("pclr")) return palette(p, n);
    if (type == boxType("cmap")) return mapping(p, n);
    if (type == boxType("cdef")) return definitions(p, n);
    return true;
}

// Its boxes one after the other, each within it; an image header among them.
bool BoxReading::headerBox(const uint8_t* p, size_t n) {
    if ((state_ & state::kFileType) != state::kFileType) return false;
    bool imageHeader = false;
    for (size_t at = 0; at < n;) {
        BoxHeader box;
        if (!innerHeader(p + at, n - at, &box)) return false;
        if (isImageHeaderBox(box.type) && !handle(box.type, p + at + box.header, size_t(box.length - box.header)))
            return false;
        imageHeader = imageHeader || box.type == boxType("ihdr");
        at += size_t(box.length);
    }
    if (!imageHeader) return false;
    state_ |= state::kHeader;
    hasHeaderBox_ = true;
    return true;
}

// The first one counts; later ones are passed over.
bool BoxReading::imageHeader(const uint8_t* p, size_t n) {
    if (hasImageHeader_) return true;
    if (n != 14) return false;
    const uint32_t height = be32(p), width = be32(p + 4), components = be16(p + 8);
    if (height < 1 || width < 1 || components < 1 || components > 16384) return false;
    components_ = components;
    hasImageHeader_ = true;
    return true;
}

// The first of method 1 (an enumerated space) or 2 (a profile) counts;
// others before it are passed over.
bool BoxReading::colour(const uint8_t* p, size_t n) {
    if (n < 3) return false;
    if (hasColour_) return true;
    const uint8_t method = p[0];
    if (method == 1) {
        if (n < 7) return false;
        out_->colourSpace = be32(p + 3);
        hasColour_ = true;
    } else if (method == 2) {
        if (n == 3) return false;  // an empty profile
        hasColour_ = true;
    }
    return true;
}

// One palette only: a second one fails the file.
bool BoxReading::palette(const uint8_t* p, size_t n) {
    if (out_->palette || n < 3) return false;
    Palette palette;
    palette.entries = be16(p), palette.columns = p[2];
    if (palette.entries == 0 || palette.entries > 1024 || palette.columns == 0 || n < 3 + size_t(palette.columns))
        return false;
    for (int c = 0; c < palette.columns; ++c) {
        palette.depth.push_back(uint8_t((p[3 + c] & 0x7F) + 1));
        palette.sgnd.push_back(p[3 + c] & 0x80);
    }
    palette.values.reserve(size_t(palette.entries) * size_t(palette.columns));
    size_t at = 3 + size_t(palette.columns);
    for (int e = 0; e < palette.entries; ++e)
        for (int c = 0; c < palette.columns; ++c) {
            const size_t bytes = std::min<size_t>((palette.depth[size_t(c)] + 7) / 8, 4);
            if (n - at < bytes) return false;
            uint32_t value = 0;
            for (size_t b = 0; b < bytes; ++b) value = value << 8 | p[at + b];
            palette.values.push_back(int32_t(value));
            at += bytes;
        }
    out_->palette = std::move(palette);
    return true;
}

// After the palette, one only, an entry for each of its columns.
bool BoxReading::mapping(const uint8_t* p, size_t n) {
    if (!out_->palette || out_->palette->mapped) return false;
    Palette& palette = *out_->palette;
    if (n < size_t(palette.columns) * 4) return false;
    for (int c = 0; c < palette.columns; ++c) {
        const uint8_t* e = p + 4 * c;
        palette.mapping.push_back({be16(e), e[2], e[3]});
    }
    palette.mapped = true;
    return true;
}

bool BoxReading::definitions(const uint8_t* p, size_t n) {
    if (!out_->definitions.empty() || n < 2) return false;
    const size_t count = be16(p);
    if (count == 0 || n < 2 + 6 * count) return false;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* d = p + 2 + 6 * i;
        out_->definitions.push_back({be16(d), be16(d + 2), be16(d + 4)});
    }
    return true;
}

// ---- What OpenJPEG makes of the boxes after decoding

// Its check of the channel definitions and of the component mapping
// against the image; the mapping may be mended as it mends it.
bool definitionsFit(const Boxes& boxes, int components) {
    const uint32_t channels = boxes.palette && boxes.palette->mapped ? uint32_t(boxes.palette->columns) : uint32_t(components);
    const auto& defs = boxes.definitions;
    for (const ChannelDefinition& d : defs) {
        if (d.channel >= channels) return false;
        if (d.association != 65535 && d.association > 0 && uint32_t(d.association - 1) >= channels) return false;
    }
    // Each channel defined (only when there are definitions).
    for (uint32_t c = 0; !defs.empty() && c < channels; ++c)
        if (std::none_of(defs.begin(), defs.end(), [c](const ChannelDefinition& d) { return d.channel == c; }))
            return false;
    return true;
}

bool mappingFits(Palette& palette, int components) {
    const size_t columns = size_t(palette.columns);
    std::vector<bool> used(columns, false);
    bool sane = true;
    for (const auto& m : palette.mapping) sane = sane && m.component < components;
    for (size_t i = 0; i < columns; ++i) {
        const auto& m = palette.mapping[i];
        if (m.type != 0 && m.type != 1) sane = false;
        else if (m.column >= columns) sane = false;
        else if (used[m.column] && m.type == 1) sane = false;
        else if (m.type == 0 && m.column != 0) sane = false;
        else if (m.type == 1 && m.column != i) sane = false;
        else used[m.column] = true;
    }
    for (size_t i = 0; i < columns; ++i)
        if (!used[i] && palette.mapping[i].type != 0) sane = false;
    // A one-component image whose mapping leaves a column unused: every
    // column through the palette.
    if (sane && components == 1 && std::find(used.begin(), used.end(), false) != used.end())
        for (size_t i = 0; i < columns; ++i) palette.mapping[i] = {palette.mapping[i].component, 1, uint8_t(i)};
    return sane;
}

// The channel definitions applied in order: a colour channel associated
// with another position trades places with it (later definitions follow
// the trade), and each takes its type.
void applyDefinitions(std::vector<ChannelDefinition> defs, std::vector<Channel>& channels) {
    const size_t count = channels.size();
    for (size_t i = 0; i < defs.size(); ++i) {
        const uint16_t cn = defs[i].channel, asoc = defs[i].association;
        if (cn >= count) continue;
        if (asoc == 0 || asoc == 65535) {
            channels[cn].alpha = defs[i].type;
            continue;
        }
        const uint16_t acn = uint16_t(asoc - 1);
        if (acn >= count) continue;
        if (cn != acn && defs[i].type == 0) {
            std::swap(channels[cn], channels[acn]);
            for (size_t j = i + 1; j < defs.size(); ++j) {
                if (defs[j].channel == cn) defs[j].channel = acn;
                else if (defs[j].channel == acn) defs[j].channel = cn;
            }
        }
        channels[cn].alpha = defs[i].type;
    }
}

}  // namespace

BoxRead readBoxes(const uint8_t* bytes, size_t size, Boxes* out) {
    *out = Boxes{};
    return BoxReading(out).read(bytes, size);
}

std::optional<std::vector<Channel>> channelsOf(const Boxes& boxes, int components) {
    if (!definitionsFit(boxes, components)) return std::nullopt;
    std::optional<Palette> palette = boxes.palette;
    if (palette && palette->mapped && !mappingFits(*palette, components)) return std::nullopt;
    std::vector<Channel> channels;
    if (palette && palette->mapped) {
        for (int i = 0; i < palette->columns; ++i) {
            const auto& m = palette->mapping[size_t(i)];
            channels.push_back({m.component, m.type == 1 ? int(m.column) : -1, i, 0});
        }
    } else {
        for (int c = 0; c < components; ++c) channels.push_back({c, -1, -1, 0});
    }
    applyDefinitions(boxes.definitions, channels);
    return channels;
}

}  // namespace imageio::jpeg2000
