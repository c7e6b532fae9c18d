#pragma once
// Small image files that ask a decoder for far more work than their size
// says, written byte by byte: JPEG 2000 codestreams whose coding style asks
// for millions of code-blocks, openly or hidden in the body of a segment
// OpenJPEG does not know (which it scans for markers it knows rather than
// skipping it), bare or in JP2 boxes; JP2 files whose palette of many
// columns stands where OpenJPEG takes it; and TIFFs of many huge pages that
// all point at one deflate strip. Header-only: users link zlib.

#include <zlib.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace testsupport {

namespace hostile {
inline void put16(std::vector<uint8_t>& d, uint32_t v) { d.insert(d.end(), {uint8_t(v >> 8), uint8_t(v)}); }
inline void put32(std::vector<uint8_t>& d, uint32_t v) {
    d.insert(d.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}
inline void le16(std::vector<uint8_t>& d, uint32_t v) { d.insert(d.end(), {uint8_t(v), uint8_t(v >> 8)}); }
inline void le32(std::vector<uint8_t>& d, uint32_t v) {
    d.insert(d.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
}
// COD with `layers`, `levels` decomposition levels, code-blocks of
// 2^blockExponent samples square and precincts of 2^precinctExponent
// (0: the default, one precinct a resolution).
inline void putCOD(std::vector<uint8_t>& d, int levels, int blockExponent, int layers = 1, int precinctExponent = 0) {
    const bool precincts = precinctExponent > 0;
    put16(d, 0xFF52), put16(d, uint32_t(12 + (precincts ? levels + 1 : 0)));
    d.insert(d.end(), {uint8_t(precincts), 0, uint8_t(layers >> 8), uint8_t(layers), 0, uint8_t(levels),
                       uint8_t(blockExponent - 2), uint8_t(blockExponent - 2), 0, 1});
    for (int r = 0; precincts && r <= levels; ++r) d.push_back(uint8_t(precinctExponent * 17));
}
}  // namespace hostile

// Where a hidden style sits: in the main header, a COC for component 0 in
// the body of an unknown segment (0xFF70); or a whole tile-part header
// (SOT, then a COD) in that body, which OpenJPEG takes for the first
// tile-part, its data running to the end of the file.
enum class Hidden { None, MainHeaderCOC, TilePartCOD };

struct EmptyCodestream {
    uint32_t width = 0, height = 0;
    int components = 1, bits = 8;
    int levels = 5, blockExponent = 6;  // 64 x 64 code-blocks
    int tilePartBlockExponent = 0;      // non-zero: the tile-part header sets this code-block size
    int layers = 1, precinctExponent = 0;  // the packets then are more than those written
    Hidden hidden = Hidden::None;
    int hiddenBlockExponent = 2;  // the hidden style's code-blocks: 4 x 4
};

namespace hostile {
// A COC for component 0 (one byte: fewer than 257 components).
inline void putCOC(std::vector<uint8_t>& d, int levels, int blockExponent) {
    put16(d, 0xFF53), put16(d, 9);
    d.insert(d.end(), {0, 0, uint8_t(levels), uint8_t(blockExponent - 2), uint8_t(blockExponent - 2), 0, 1});
}
// An unknown segment (0xFF70) whose body is `body`: OpenJPEG, scanning it
// by pairs from its length field, lands on the body's first marker.
inline void putUnknown(std::vector<uint8_t>& d, const std::vector<uint8_t>& body) {
    put16(d, 0xFF70), put16(d, uint32_t(2 + body.size()));
    d.insert(d.end(), body.begin(), body.end());
}
inline std::vector<uint8_t> hiddenStyle(const EmptyCodestream& c) {
    std::vector<uint8_t> body;
    if (c.hidden == Hidden::MainHeaderCOC) {
        putCOC(body, c.levels, c.hiddenBlockExponent);
    } else {
        put16(body, 0xFF90), put16(body, 10), put16(body, 0), put32(body, 0), body.insert(body.end(), {0, 1});
        putCOD(body, c.levels, c.hiddenBlockExponent);
        put16(body, 0xFF93);
    }
    return body;
}
}  // namespace hostile

// A bare codestream of one tile whose every packet is empty (the image
// decodes as zeros): SIZ, COD, QCD without quantization, one tile-part
// with an empty packet for each resolution and component.
// 8192 x 8192 grey at 4 x 4 code-blocks is 102 bytes; 4096 x 4096 of four
// 16-bit components 129; 8192 x 8192 grey of 64 x 64 code-blocks with a
// hidden COC of 4 x 4 is 117.
inline std::vector<uint8_t> emptyCodestream(const EmptyCodestream& c) {
    using namespace hostile;
    std::vector<uint8_t> d = {0xFF, 0x4F};
    put16(d, 0xFF51), put16(d, uint32_t(38 + 3 * c.components)), put16(d, 0);
    for (uint32_t v : {c.width, c.height, 0u, 0u, c.width, c.height, 0u, 0u}) put32(d, v);
    put16(d, uint32_t(c.components));
    for (int i = 0; i < c.components; ++i) d.insert(d.end(), {uint8_t(c.bits - 1), 1, 1});
    putCOD(d, c.levels, c.blockExponent, c.layers, c.precinctExponent);
    const int bands = 3 * c.levels + 1;
    put16(d, 0xFF5C), put16(d, uint32_t(3 + bands)), d.push_back(0x40);  // two guard bits, no quantization
    for (int i = 0; i < bands; ++i) d.push_back(uint8_t((c.bits + 2) << 3));
    if (c.hidden != Hidden::None) putUnknown(d, hiddenStyle(c));
    const size_t sot = d.size();
    put16(d, 0xFF90), put16(d, 10), put16(d, 0), put32(d, 0), d.insert(d.end(), {0, 1});
    if (c.tilePartBlockExponent) putCOD(d, c.levels, c.tilePartBlockExponent);
    put16(d, 0xFF93);
    d.insert(d.end(), size_t((c.levels + 1) * c.components), 0);
    const uint32_t psot = uint32_t(d.size() - sot);
    for (int i = 0; i < 4; ++i) d[sot + 6 + size_t(i)] = uint8_t(psot >> (24 - 8 * i));
    put16(d, 0xFFD9);
    return d;
}

namespace hostile {
// A box of `type`: its length in the 32-bit field, or (`xl`) 1 there and
// the length in the 64 bits after the type.
inline void putBox(std::vector<uint8_t>& d, const char* type, const std::vector<uint8_t>& body, bool xl = false) {
    put32(d, xl ? 1 : uint32_t(8 + body.size()));
    d.insert(d.end(), type, type + 4);
    if (xl) put32(d, 0), put32(d, uint32_t(16 + body.size()));
    d.insert(d.end(), body.begin(), body.end());
}
// The header box's first boxes: the image header and the colour (EnumCS).
inline std::vector<uint8_t> imageHeaderBoxes(uint32_t width, uint32_t height, int components, int bits, uint32_t space) {
    std::vector<uint8_t> ihdr, colr = {1, 0, 0}, d;
    put32(ihdr, height), put32(ihdr, width), put16(ihdr, uint32_t(components));
    ihdr.insert(ihdr.end(), {uint8_t(bits - 1), 7, 0, 0});
    put32(colr, space);
    putBox(d, "ihdr", ihdr);
    putBox(d, "colr", colr);
    return d;
}
inline std::vector<uint8_t> joined(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
}  // namespace hostile

// Signature and file type, the header box holding `header`, the boxes
// `between`, and the codestream box.
inline std::vector<uint8_t> jp2File(const std::vector<uint8_t>& header, const std::vector<uint8_t>& between,
                                    const std::vector<uint8_t>& codestream) {
    using namespace hostile;
    std::vector<uint8_t> d;
    putBox(d, "jP  ", {0x0D, 0x0A, 0x87, 0x0A});
    putBox(d, "ftyp", {'j', 'p', '2', ' ', 0, 0, 0, 0, 'j', 'p', '2', ' '});
    putBox(d, "jp2h", header);
    d.insert(d.end(), between.begin(), between.end());
    putBox(d, "jp2c", codestream);
    return d;
}

// The codestream in JP2 boxes: signature, file type, header (image header
// and colour: grey, or sRGB for three components or more), codestream.
inline std::vector<uint8_t> inJP2Boxes(const std::vector<uint8_t>& codestream, const EmptyCodestream& c) {
    return jp2File(hostile::imageHeaderBoxes(c.width, c.height, c.components, c.bits, c.components >= 3 ? 16 : 17), {},
                   codestream);
}

// A palette (pclr) of unsigned 8-bit columns, `rows[entry][column]`, and
// the component mapping (cmap) that takes component 0 through every column.
inline std::vector<uint8_t> paletteBoxes(const std::vector<std::vector<uint8_t>>& rows) {
    using namespace hostile;
    const size_t columns = rows.front().size();
    std::vector<uint8_t> pclr, cmap, d;
    put16(pclr, uint32_t(rows.size())), pclr.push_back(uint8_t(columns));
    pclr.insert(pclr.end(), columns, 7);
    for (const auto& row : rows) pclr.insert(pclr.end(), row.begin(), row.end());
    for (size_t c = 0; c < columns; ++c) put16(cmap, 0), cmap.insert(cmap.end(), {1, uint8_t(c)});
    putBox(d, "pclr", pclr);
    putBox(d, "cmap", cmap);
    return d;
}

// Where the palette boxes stand: in the header box; after it at the top
// level; in the first of two header boxes; in the header box behind a box
// written with the 64-bit length. OpenJPEG takes the palette from each.
enum class PaletteAt { HeaderBox, TopLevel, FirstOfTwoHeaderBoxes, BehindXLBox };

// `codestream` (its image as the image header states it) in JP2 boxes
// with `palette` (paletteBoxes) standing `at`.
inline std::vector<uint8_t> jp2WithPalette(const std::vector<uint8_t>& codestream, uint32_t width, uint32_t height,
                                           int components, uint32_t space, const std::vector<uint8_t>& palette,
                                           PaletteAt at) {
    using namespace hostile;
    const auto image = imageHeaderBoxes(width, height, components, 8, space);
    std::vector<uint8_t> free, second;
    putBox(free, "free", std::vector<uint8_t>(8, 0), true);
    putBox(second, "jp2h", image);
    switch (at) {
        case PaletteAt::HeaderBox: return jp2File(joined(image, palette), {}, codestream);
        case PaletteAt::TopLevel: return jp2File(image, palette, codestream);
        case PaletteAt::FirstOfTwoHeaderBoxes: return jp2File(joined(image, palette), second, codestream);
        case PaletteAt::BehindXLBox: return jp2File(joined(joined(image, free), palette), {}, codestream);
    }
    return {};
}

// A grey codestream of empty packets, side x side, with a palette of
// `columns` columns (20 entries) standing `at`: OpenJPEG, applying it
// after decoding, would make a full-size component of 4 bytes a sample for
// each column. 1448 x 1448 with 255 columns at the top level is 6,581
// bytes that made OpenJPEG hold 2 GB.
inline std::vector<uint8_t> manyColumnPalette(uint32_t side, int columns, PaletteAt at) {
    std::vector<std::vector<uint8_t>> rows(20, std::vector<uint8_t>(size_t(columns)));
    for (size_t e = 0; e < rows.size(); ++e)
        for (size_t c = 0; c < size_t(columns); ++c) rows[e][c] = uint8_t(e * 13 + c * 7);
    auto codestream = emptyCodestream({side, side, 1, 8, 5, 6});
    return jp2WithPalette(codestream, side, side, 1, 16, paletteBoxes(rows), at);
}

// A little-endian TIFF of `pages` pages of side x side 8-bit RGB, every page
// pointing at the same deflate strip of zeros (one strip a page).
inline std::vector<uint8_t> pagesSharingOneStrip(int pages, uint32_t side) {
    using namespace hostile;
    std::vector<uint8_t> zeros(size_t(side) * side * 3, 0);
    uLongf packed = compressBound(uLong(zeros.size()));
    std::vector<uint8_t> strip(packed);
    compress2(strip.data(), &packed, zeros.data(), uLong(zeros.size()), 9);
    strip.resize(packed);
    std::vector<uint8_t> d = {'I', 'I', 42, 0};
    le32(d, 8);
    const uint32_t entries = 11, ifdSize = 2 + entries * 12 + 4;
    const uint32_t bitsAt = 8 + uint32_t(pages) * ifdSize, stripAt = bitsAt + 6;
    for (int p = 0; p < pages; ++p) {
        le16(d, entries);
        auto entry = [&](uint16_t tag, uint16_t type, uint32_t value) {
            le16(d, tag), le16(d, type), le32(d, tag == 258 ? 3 : 1);
            le32(d, type == 3 && tag != 258 ? value & 0xFFFF : value);
        };
        // In tag order: a page of a document; its size, three 8-bit samples
        // deflated, RGB; the one strip; contiguous samples.
        entry(254, 4, 2), entry(256, 4, side), entry(257, 4, side), entry(258, 3, bitsAt), entry(259, 3, 8);
        entry(262, 3, 2), entry(273, 4, stripAt), entry(277, 3, 3), entry(278, 4, side);
        entry(279, 4, uint32_t(strip.size())), entry(284, 3, 1);
        le32(d, p + 1 < pages ? uint32_t(d.size()) + 4 : 0);
    }
    le16(d, 8), le16(d, 8), le16(d, 8);
    d.insert(d.end(), strip.begin(), strip.end());
    return d;
}

}  // namespace testsupport
