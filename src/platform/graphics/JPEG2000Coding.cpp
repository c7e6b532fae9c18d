// JPEG 2000 files (the JP2 box format, and bare codestreams) with OpenJPEG,
// over bytes in memory.
//
// Reading: one image. Before OpenJPEG sees the bytes, our own reading of
// the headers (JPEG2000Header.h) decides whether the file may be decoded at
// all: its size, components and depth, and the bytes of what OpenJPEG would
// set up for it, must stay within bounds; it is read again over all the
// bytes before each decode. Then OpenJPEG reads the main header, and its
// own parse of the coding styles must be the one judged, or nothing is
// decoded: no tile is set up before that check. OpenJPEG is told to leave
// the palette, component mapping and channel definitions alone: they are
// applied here from our reading (JPEG2000Boxes.h), so that a palette of
// many columns costs nothing. A reduced image (for a thumbnail) stops at
// a lower resolution level. Grey, grey and alpha, RGB and RGBA come out as
// they are; sYCC (also three components of subsampled chroma, however
// labelled) is turned into RGB as opj_decompress turns it, eYCC and CMYK
// into RGB; other subsampled components are stretched; alpha is
// premultiplied with rounding.
//
// Writing: 8-bit RGB, or RGBA with straight alpha (the alpha component
// marked as opacity). Quality 1 writes the reversible (lossless) wavelet
// and no colour transform; below 1, the irreversible wavelet and colour
// transform aiming at 20 + 30 × quality dB of PSNR.

#include <openjpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/graphics/ImageDestination.h"
#include "platform/graphics/ImageReaders.h"
#include "platform/graphics/ImageSource.h"
#include "platform/graphics/JPEG2000Header.h"
#include "platform/graphics/OpenJPEGLibrary.h"
#include "platform/graphics/PixelLayout.h"

namespace imageio {

namespace {

using jpeg2000::Header;
using jpeg2000::kMaxComponents;

// ---- OpenJPEG over memory

struct MemoryStream {
    const uint8_t* bytes = nullptr;  // reading
    Data* out = nullptr;             // writing
    uint64_t size = 0, pos = 0;
};

OPJ_SIZE_T readStream(void* buf, OPJ_SIZE_T n, void* user) {
    auto* m = static_cast<MemoryStream*>(user);
    if (m->pos >= m->size) return OPJ_SIZE_T(-1);
    uint64_t k = std::min<uint64_t>(n, m->size - m->pos);
    std::memcpy(buf, m->bytes + m->pos, size_t(k));
    m->pos += k;
    return OPJ_SIZE_T(k);
}

OPJ_SIZE_T writeStream(void* buf, OPJ_SIZE_T n, void* user) {
    auto* m = static_cast<MemoryStream*>(user);
    if (m->pos + n > m->out->size()) m->out->resize(size_t(m->pos + n));
    std::memcpy(m->out->data() + m->pos, buf, n);
    m->pos += n;
    m->size = std::max(m->size, m->pos);
    return n;
}

OPJ_OFF_T skipStream(OPJ_OFF_T n, void* user) {
    auto* m = static_cast<MemoryStream*>(user);
    if (n < 0 && uint64_t(-n) > m->pos) return -1;
    if (m->bytes && n > 0 && uint64_t(n) > m->size - std::min(m->pos, m->size)) n = OPJ_OFF_T(m->size - m->pos);
    m->pos = uint64_t(OPJ_OFF_T(m->pos) + n);
    return n;
}

OPJ_BOOL seekStream(OPJ_OFF_T n, void* user) {
    auto* m = static_cast<MemoryStream*>(user);
    if (n < 0 || (m->bytes && uint64_t(n) > m->size)) return OPJ_FALSE;
    m->pos = uint64_t(n);
    return OPJ_TRUE;
}

void silent(const char*, void*) {}

void silence(opj_codec_t* codec) {
    openjpeglib::opj_set_error_handler(codec, silent, nullptr);
    openjpeglib::opj_set_warning_handler(codec, silent, nullptr);
    openjpeglib::opj_set_info_handler(codec, silent, nullptr);
}

opj_stream_t* streamOver(MemoryStream* m, bool input) {
    opj_stream_t* stream = openjpeglib::opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, input ? OPJ_TRUE : OPJ_FALSE);
    if (!stream) return nullptr;
    if (input) {
        openjpeglib::opj_stream_set_read_function(stream, readStream);
        openjpeglib::opj_stream_set_user_data_length(stream, m->size);
    } else {
        openjpeglib::opj_stream_set_write_function(stream, writeStream);
    }
    openjpeglib::opj_stream_set_skip_function(stream, skipStream);
    openjpeglib::opj_stream_set_seek_function(stream, seekStream);
    openjpeglib::opj_stream_set_user_data(stream, m, nullptr);
    return stream;
}

// ---- Decoded samples to display words

// The bitmap: the image's area on the reference grid halved `halvings`
// times (OpenJPEG's reduced resolution), each bound rounded up.
struct Extent {
    uint32_t x0 = 0, y0 = 0, width = 0, height = 0;
};

Extent extentOf(const Header& h, int halvings) {
    auto reduced = [halvings](uint64_t v) { return uint32_t((v + (uint64_t(1) << halvings) - 1) >> halvings); };
    uint32_t x0 = reduced(h.x0), y0 = reduced(h.y0);
    return Extent{x0, y0, reduced(uint64_t(h.x0) + h.width) - x0, reduced(uint64_t(h.y0) + h.height) - y0};
}

// A value of `prec` bits (signed: centred on 0) as 8 bits.
uint8_t toByte(int32_t v, int prec, bool sgnd) {
    if (sgnd) v += int32_t(1) << (prec - 1);
    if (prec > 8) v >>= prec - 8;
    else if (prec < 8) v = v * 255 / ((1 << prec) - 1);
    return uint8_t(std::clamp(v, 0, 255));
}

// A component's origin (which OpenJPEG gives at its full resolution) at
// the resolution decoded.
uint32_t reducedOrigin(uint32_t origin, const opj_image_comp_t& comp) {
    return uint32_t((uint64_t(origin) + (uint64_t(1) << comp.factor) - 1) >> comp.factor);
}

// One channel (a component as it is, or through a palette column) as
// 8-bit values at any pixel of the bitmap.
struct Plane {
    const opj_image_comp_t* comp;
    const jpeg2000::Palette* palette;  // with `column`, when the samples go through it
    int column, prec;
    bool sgnd;
    std::vector<uint32_t> columns;  // sample column of each pixel column
    uint32_t row(uint32_t imageY, const Extent& extent) const {
        uint32_t y = (extent.y0 + imageY) / comp->dy;
        uint32_t first = reducedOrigin(comp->y0, *comp);
        return std::min(y > first ? y - first : 0, comp->h - 1);
    }
    size_t samples() const { return size_t(comp->w) * comp->h; }
    // The channel's value at sample `index` of its component: a palette
    // index is clamped to the entries, as OpenJPEG clamps it.
    int32_t value(size_t index) const {
        const int32_t v = comp->data[index];
        if (!palette) return v;
        const int32_t k = std::clamp(v, 0, palette->entries - 1);
        return palette->values[size_t(k) * size_t(palette->columns) + size_t(column)];
    }
    uint8_t at(uint32_t rowIndex, uint32_t x) const {
        return toByte(value(size_t(rowIndex) * comp->w + columns[x]), prec, sgnd);
    }
};

std::optional<Plane> planeOf(const Extent& extent, const opj_image_comp_t& comp, const jpeg2000::Channel& channel,
                             const jpeg2000::Boxes& boxes) {
    const jpeg2000::Palette* palette = boxes.palette ? &*boxes.palette : nullptr;
    // With a palette applied every channel takes its column's depth, even one
    // that is a component as it is.
    int prec = int(comp.prec);
    bool sgnd = comp.sgnd;
    if (channel.depthColumn >= 0) prec = palette->depth[size_t(channel.depthColumn)], sgnd = palette->sgnd[size_t(channel.depthColumn)];
    if (!comp.data || comp.w == 0 || comp.h == 0 || comp.dx == 0 || comp.dy == 0 || prec < 1 || prec > 16)
        return std::nullopt;
    Plane p{&comp, channel.column >= 0 ? palette : nullptr, channel.column, prec, sgnd, std::vector<uint32_t>(extent.width)};
    const uint32_t first = reducedOrigin(comp.x0, comp);
    for (uint32_t x = 0; x < extent.width; ++x) {
        uint32_t c = (extent.x0 + x) / comp.dx;
        p.columns[x] = std::min(c > first ? c - first : 0, comp.w - 1);
    }
    return p;
}

uint8_t clamp8(double v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); }

uint32_t premultipliedWord(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    if (a < 255) r = (r * a + 127) / 255, g = (g * a + 127) / 255, b = (b * a + 127) / 255;
    return a << 24 | r << 16 | g << 8 | b;
}

// How sYCC chroma is laid out, as opj_decompress converts it: half width
// and height, half width, or full size; any other it leaves as it is.
enum class Chroma { None, Half, HalfWidth, Full };

Chroma chromaOf(const std::vector<Plane>& channels) {
    if (channels.size() < 3) return Chroma::None;
    auto is = [&](uint32_t dx0, uint32_t dy0, uint32_t dx, uint32_t dy) {
        const auto &y = *channels[0].comp, &cb = *channels[1].comp, &cr = *channels[2].comp;
        return y.dx == dx0 && y.dy == dy0 && cb.dx == dx && cr.dx == dx && cb.dy == dy && cr.dy == dy;
    };
    if (is(1, 1, 2, 2)) return Chroma::Half;
    if (is(1, 1, 2, 1)) return Chroma::HalfWidth;
    if (is(1, 1, 1, 1)) return Chroma::Full;
    return Chroma::None;
}

// The channels as colour (grey, RGB, sYCC, eYCC or CMYK) and opacity.
struct Planes {
    std::vector<Plane> colour;
    std::optional<Plane> alpha;
    Chroma sycc = Chroma::None;
    bool eycc = false, cmyk = false;
};

// The colour space OpenJPEG would give from the colour box (a bare
// codestream states none); then opj_decompress's reading of it: three
// channels whose chroma is subsampled are sYCC, one or two are grey.
OPJ_COLOR_SPACE colourSpaceOf(const Header& header, const std::vector<Plane>& channels) {
    OPJ_COLOR_SPACE space = OPJ_CLRSPC_UNSPECIFIED;
    if (header.jp2) {
        switch (header.boxes.colourSpace) {
            case jpeg2000::kEnumCSSRGB: space = OPJ_CLRSPC_SRGB; break;
            case jpeg2000::kEnumCSGrey: space = OPJ_CLRSPC_GRAY; break;
            case jpeg2000::kEnumCSSYCC: space = OPJ_CLRSPC_SYCC; break;
            case jpeg2000::kEnumCSEYCC: space = OPJ_CLRSPC_EYCC; break;
            case jpeg2000::kEnumCSCMYK: space = OPJ_CLRSPC_CMYK; break;
            default: space = OPJ_CLRSPC_UNKNOWN; break;
        }
    }
    const auto& first = *channels[0].comp;
    if (space != OPJ_CLRSPC_SYCC && channels.size() == 3 && first.dx == first.dy && channels[1].comp->dx != 1)
        space = OPJ_CLRSPC_SYCC;
    else if (channels.size() <= 2)
        space = OPJ_CLRSPC_GRAY;
    return space;
}

std::optional<Planes> planesOf(const opj_image_t& image, const Header& header, const Extent& extent) {
    if (image.x1 - image.x0 != header.width || image.y1 - image.y0 != header.height) return std::nullopt;
    if (image.numcomps != header.styles.size() || header.channels.empty()) return std::nullopt;
    std::vector<Plane> channels;
    for (const jpeg2000::Channel& c : header.channels) {
        auto plane = planeOf(extent, image.comps[c.component], c, header.boxes);
        if (!plane) return std::nullopt;
        channels.push_back(std::move(*plane));
    }
    const OPJ_COLOR_SPACE space = colourSpaceOf(header, channels);
    const Chroma sycc = space == OPJ_CLRSPC_SYCC ? chromaOf(channels) : Chroma::None;
    // Grey and RGB with one more channel: that one is opacity, whatever the
    // channel definitions call it (as opj_decompress writes it).
    Planes p;
    p.colour = std::move(channels);
    if (header.opacity) {
        p.alpha = std::move(p.colour.back());
        p.colour.pop_back();
    }
    p.cmyk = space == OPJ_CLRSPC_CMYK && p.colour.size() == 4;
    p.eycc = space == OPJ_CLRSPC_EYCC && p.colour.size() >= 3;
    if (p.colour.size() == 3) p.sycc = sycc;
    if (p.colour.empty() || p.colour.size() == 2 || (p.colour.size() == 4 && !p.cmyk)) return std::nullopt;
    return p;
}

// Full size, 8 bits, unsigned, no palette: each sample is its byte.
bool isPlain(const Plane& p, const Extent& e) {
    const opj_image_comp_t& c = *p.comp;
    return !p.palette && c.dx == 1 && c.dy == 1 && c.w == e.width && c.h == e.height && p.prec == 8 && !p.sgnd;
}

uint32_t byteOf(int32_t v) { return uint32_t(std::clamp(v, 0, 255)); }

void convertPlain(const Planes& p, CGImage& out) {
    const int32_t* r = p.colour[0].comp->data;
    const int32_t* g = p.colour.size() >= 3 ? p.colour[1].comp->data : r;
    const int32_t* b = p.colour.size() >= 3 ? p.colour[2].comp->data : r;
    const int32_t* a = p.alpha ? p.alpha->comp->data : nullptr;
    const size_t width = size_t(out.width());
    for (int y = 0; y < out.height(); ++y) {
        auto* row = reinterpret_cast<uint32_t*>(out.mutableData() + size_t(y) * size_t(out.bytesPerRow()));
        const size_t at = size_t(y) * width;
        if (!a) {
            for (size_t x = 0; x < width; ++x)
                row[x] = 0xFF000000u | byteOf(r[at + x]) << 16 | byteOf(g[at + x]) << 8 | byteOf(b[at + x]);
            continue;
        }
        for (size_t x = 0; x < width; ++x)
            row[x] = premultipliedWord(byteOf(r[at + x]), byteOf(g[at + x]), byteOf(b[at + x]), byteOf(a[at + x]));
    }
}

void convertGeneral(const Extent& extent, const Planes& p, CGImage& out) {
    const auto& colour = p.colour;
    for (uint32_t y = 0; y < uint32_t(out.height()); ++y) {
        auto* row = reinterpret_cast<uint32_t*>(out.mutableData() + size_t(y) * size_t(out.bytesPerRow()));
        uint32_t rows[4], alphaRow = p.alpha ? p.alpha->row(y, extent) : 0;
        for (size_t c = 0; c < colour.size(); ++c) rows[c] = colour[c].row(y, extent);
        for (uint32_t x = 0; x < uint32_t(out.width()); ++x) {
            uint32_t r = colour[0].at(rows[0], x), g = r, b = r;
            if (colour.size() >= 3) g = colour[1].at(rows[1], x), b = colour[2].at(rows[2], x);
            if (p.eycc) {
                double Y = r, cb = double(g) - 128, cr = double(b) - 128;
                r = clamp8(Y + 1.402 * cr), g = clamp8(Y - 0.344136 * cb - 0.714136 * cr), b = clamp8(Y + 1.772 * cb);
            } else if (p.cmyk) {
                uint32_t k = 255 - colour[3].at(rows[3], x);
                r = (255 - r) * k / 255, g = (255 - g) * k / 255, b = (255 - b) * k / 255;
            }
            row[x] = premultipliedWord(r, g, b, p.alpha ? p.alpha->at(alphaRow, x) : 255);
        }
    }
}

// ---- sYCC as opj_decompress turns it into RGB

// Its arithmetic: chroma centred on half the luma's range, products in
// double truncated towards zero, each result clamped to the luma's range.
void syccToRGB(int offset, int upb, int y, int cb, int cr, int rgb[3]) {
    cb -= offset, cr -= offset;
    rgb[0] = y + int(1.402 * double(float(cr)));
    rgb[1] = y - int(0.344 * double(float(cb)) + 0.714 * double(float(cr)));
    rgb[2] = y + int(1.772 * double(float(cb)));
    for (int i = 0; i < 3; ++i) rgb[i] = std::clamp(rgb[i], 0, upb);
}

// The order in which it visits the luma samples, and the chroma sample it
// takes for each (kNoChroma: 0 for Cb and Cr, as it takes at an odd image
// origin's first column or row and past the chroma's last column). Its
// loops are followed as they stand, quirks included: at an odd origin the
// second row of each pair takes the pair's chroma in its first column.
constexpr size_t kNoChroma = SIZE_MAX;

template <class Visit>
void visitHalfWidthRow(size_t& y, size_t& cb, size_t offx, size_t loopmaxw, size_t chromaWidth, Visit& visit) {
    if (offx > 0) visit(y++, kNoChroma);
    size_t j = 0;
    for (; j < (loopmaxw & ~size_t(1)); j += 2, ++cb) visit(y++, cb), visit(y++, cb);
    if (j < loopmaxw) {
        visit(y++, j / 2 == chromaWidth ? kNoChroma : cb);
        if (j / 2 < chromaWidth) ++cb;
    }
}

template <class Visit>
void visitSYCC(Chroma layout, const opj_image_t& image, const opj_image_comp_t& luma, size_t chromaWidth, Visit visit) {
    const size_t maxw = luma.w, maxh = luma.h, offx = image.x0 & 1U, offy = image.y0 & 1U;
    const size_t loopmaxw = maxw - offx, loopmaxh = maxh - offy;
    size_t y = 0, cb = 0;
    if (layout == Chroma::Full) {
        for (; y < maxw * maxh; ++y) visit(y, y);
    } else if (layout == Chroma::HalfWidth) {
        for (size_t i = 0; i < maxh; ++i) visitHalfWidthRow(y, cb, offx, loopmaxw, chromaWidth, visit);
    } else {
        for (size_t j = 0; offy > 0 && j < maxw; ++j) visit(y++, kNoChroma);
        size_t i = 0;
        for (; i < (loopmaxh & ~size_t(1)); i += 2) {
            size_t ny = y + maxw;
            if (offx > 0) visit(y++, kNoChroma), visit(ny++, cb);
            size_t j = 0;
            for (; j < (loopmaxw & ~size_t(1)); j += 2, ++cb)
                visit(y++, cb), visit(y++, cb), visit(ny++, cb), visit(ny++, cb);
            if (j < loopmaxw) {
                const size_t at = j / 2 == chromaWidth ? kNoChroma : cb;
                visit(y++, at), visit(ny++, at);
                if (j / 2 < chromaWidth) ++cb;
            }
            y += maxw;
        }
        if (i < loopmaxh) visitHalfWidthRow(y, cb, offx, loopmaxw, chromaWidth, visit);
    }
}

// The luma is the bitmap's size (it is never subsampled here).
bool convertSYCC(const opj_image_t& image, const Extent& extent, const Planes& p, CGImage& out) {
    const Plane &luma = p.colour[0], &blue = p.colour[1], &red = p.colour[2];
    if (luma.comp->w != extent.width || luma.comp->h != extent.height) return false;
    const int upb = (1 << luma.prec) - 1, offset = 1 << (luma.prec - 1);
    const size_t chroma = std::min(blue.samples(), red.samples());
    visitSYCC(p.sycc, image, *luma.comp, blue.comp->w, [&](size_t at, size_t c) {
        const uint32_t x = uint32_t(at % extent.width), y = uint32_t(at / extent.width);
        int rgb[3];
        const bool some = c != kNoChroma && c < chroma;
        syccToRGB(offset, upb, luma.value(at), some ? blue.value(c) : 0, some ? red.value(c) : 0, rgb);
        const uint32_t a = p.alpha ? p.alpha->at(p.alpha->row(y, extent), x) : 255;
        auto* row = reinterpret_cast<uint32_t*>(out.mutableData() + size_t(y) * size_t(out.bytesPerRow()));
        row[x] = premultipliedWord(toByte(rgb[0], luma.prec, false), toByte(rgb[1], luma.prec, false),
                                   toByte(rgb[2], luma.prec, false), a);
    });
    return true;
}

std::shared_ptr<CGImage> toBitmap(const opj_image_t& image, const Header& header, int halvings) {
    const Extent extent = extentOf(header, halvings);
    auto planes = planesOf(image, header, extent);
    if (!planes) return nullptr;
    auto out = CGImage::createForOverwrite(int(extent.width), int(extent.height), planes->alpha.has_value());
    if (!out) return nullptr;
    bool plain = planes->sycc == Chroma::None && !planes->eycc && !planes->cmyk &&
                 (!planes->alpha || isPlain(*planes->alpha, extent));
    for (const Plane& c : planes->colour) plain = plain && isPlain(c, extent);
    if (planes->sycc != Chroma::None) {
        if (!convertSYCC(image, extent, *planes, *out)) return nullptr;
    } else if (plain) {
        convertPlain(*planes, *out);
    } else {
        convertGeneral(extent, *planes, *out);
    }
    out->markDirty();
    return out;
}

// ---- OpenJPEG's parse of the main header against ours

bool sameStyle(const opj_tccp_info_t& theirs, const jpeg2000::Style& ours) {
    if (theirs.numresolutions != OPJ_UINT32(ours.resolutions) || theirs.cblkw != OPJ_UINT32(ours.blockWidth) ||
        theirs.cblkh != OPJ_UINT32(ours.blockHeight))
        return false;
    // OpenJPEG 2.5 copies only as many bytes of its precinct sizes as there
    // are resolutions, 4 bytes each: the first quarter of them (rounded up),
    // and none for 33 resolutions.
    for (size_t r = 0; ours.resolutions < jpeg2000::kMaxResolutions && 4 * r < size_t(ours.resolutions); ++r)
        if (theirs.prcw[r] != ours.precinctWidth[r] || theirs.prch[r] != ours.precinctHeight[r]) return false;
    return true;
}

// Whether the coding styles OpenJPEG read from the main header, which every
// tile starts from, are those our reading judged.
bool agreesWithOpenJPEG(opj_codec_t* codec, const Header& header) {
    opj_codestream_info_v2_t* info = openjpeglib::opj_get_cstr_info(codec);
    if (!info) return false;
    const opj_tile_info_v2_t& tile = info->m_default_tile_info;
    bool same = info->nbcomps == header.styles.size() && tile.numlayers == OPJ_UINT32(header.layers) && tile.tccp_info;
    for (size_t c = 0; same && c < header.styles.size(); ++c) same = sameStyle(tile.tccp_info[c], header.styles[c]);
    openjpeglib::opj_destroy_cstr_info(&info);
    return same;
}

// The image at full size, or halved `halvings` times (at most header.halvings).
std::shared_ptr<CGImage> decode(const uint8_t* bytes, size_t size, const Header& header, int halvings) {
    if (!openjpeglib::available()) return nullptr;
    opj_codec_t* codec = openjpeglib::opj_create_decompress(header.jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    if (!codec) return nullptr;
    silence(codec);
    opj_dparameters_t parameters;
    openjpeglib::opj_set_default_decoder_parameters(&parameters);
    MemoryStream memory{bytes, nullptr, size, 0};
    opj_stream_t* stream = streamOver(&memory, true);
    opj_image_t* image = nullptr;
    std::shared_ptr<CGImage> out;
    parameters.cp_reduce = OPJ_UINT32(halvings);
    // The palette, component mapping and channel definitions are ours to apply (JPEG2000Boxes.h).
    parameters.flags |= OPJ_DPARAMETERS_IGNORE_PCLR_CMAP_CDEF_FLAG;
    if (stream && openjpeglib::opj_setup_decoder(codec, &parameters) &&
        openjpeglib::opj_read_header(stream, codec, &image) && agreesWithOpenJPEG(codec, header) &&
        openjpeglib::opj_set_decode_area(codec, image, 0, 0, 0, 0) &&
        openjpeglib::opj_decode(codec, stream, image) && openjpeglib::opj_end_decompress(codec, stream))
        out = toBitmap(*image, header, halvings);
    if (image) openjpeglib::opj_image_destroy(image);
    if (stream) openjpeglib::opj_stream_destroy(stream);
    openjpeglib::opj_destroy_codec(codec);
    return out;
}

class JPEG2000Reader : public FormatReader {
public:
    void update(const uint8_t* bytes, size_t size, bool) override {
        bytes_ = bytes, size_ = size;
        if (!header_ && !refused_) header_ = jpeg2000::readHeader(bytes, size, &refused_);
    }
    // The header is read again with every update until it has arrived whole.
    bool invalid() const override { return refused_; }
    size_t count() const override { return header_ ? 1 : 0; }
    Value frameProperties(size_t) const override {
        return sizeProperties(int(header_->width), int(header_->height), header_->opacity);
    }
    std::shared_ptr<CGImage> image(size_t) override { return decodeNow(0, 0); }
    std::shared_ptr<CGImage> reducedImage(size_t, int leastWidth, int leastHeight) override {
        return decodeNow(std::max(leastWidth, 1), std::max(leastHeight, 1));
    }

private:
    // Halved as often as the coding allows while both sides stay at least
    // as asked (0 x 0: never). Tile-part headers that arrived since the
    // first update are checked too.
    std::shared_ptr<CGImage> decodeNow(int leastWidth, int leastHeight) const {
        auto now = jpeg2000::readHeader(bytes_, size_);
        if (!now || now->width != header_->width || now->height != header_->height) return nullptr;
        auto fits = [&](int halvings) {
            Extent e = extentOf(*now, halvings);
            return leastWidth > 0 && leastHeight > 0 && e.width >= uint32_t(leastWidth) && e.height >= uint32_t(leastHeight);
        };
        int halvings = 0;
        while (halvings < now->halvings && fits(halvings + 1)) ++halvings;
        return decode(bytes_, size_, *now, halvings);
    }

    const uint8_t* bytes_ = nullptr;
    size_t size_ = 0;
    std::optional<Header> header_;
    bool refused_ = false;  // damaged, or beyond a bound: for good
};

// ---- Writing

// The largest number of resolutions the smaller side allows (at most 6).
OPJ_UINT32 resolutionsFor(int width, int height) {
    OPJ_UINT32 n = 1;
    while (n < 6 && (std::min(width, height) >> n) > 0) ++n;
    return n;
}

opj_image_t* imageFrom(const CGImage& bitmap) {
    const bool alpha = bitmap.hasAlpha();
    const OPJ_UINT32 count = alpha ? 4 : 3, w = OPJ_UINT32(bitmap.width()), h = OPJ_UINT32(bitmap.height());
    opj_image_cmptparm_t parameters[4];
    std::memset(parameters, 0, sizeof parameters);
    for (auto& p : parameters) p.dx = 1, p.dy = 1, p.w = w, p.h = h, p.prec = 8, p.sgnd = 0;
    opj_image_t* image = openjpeglib::opj_image_create(count, parameters, OPJ_CLRSPC_SRGB);
    if (!image) return nullptr;
    image->x0 = 0, image->y0 = 0, image->x1 = w, image->y1 = h;
    if (alpha) image->comps[3].alpha = 1;
    auto rgba = CGImageCopyPixels(bitmap, kCGImageAlphaLast | kCGBitmapByteOrder32Big);
    if (!rgba) {
        openjpeglib::opj_image_destroy(image);
        return nullptr;
    }
    for (OPJ_UINT32 y = 0; y < h; ++y) {
        const uint8_t* p = rgba->data() + size_t(y) * rgba->bytesPerRow();
        for (OPJ_UINT32 x = 0; x < w; ++x, p += 4)
            for (OPJ_UINT32 c = 0; c < count; ++c) image->comps[c].data[size_t(y) * w + x] = p[c];
    }
    return image;
}

}  // namespace

std::unique_ptr<FormatReader> makeJPEG2000Reader() { return std::make_unique<JPEG2000Reader>(); }

std::optional<Data> encodeJPEG2000(const CGImage& bitmap, double quality) {
    if (!openjpeglib::available()) return std::nullopt;
    opj_image_t* image = imageFrom(bitmap);
    if (!image) return std::nullopt;
    opj_cparameters_t parameters;
    openjpeglib::opj_set_default_encoder_parameters(&parameters);
    parameters.tcp_numlayers = 1;
    parameters.numresolution = int(resolutionsFor(bitmap.width(), bitmap.height()));
    if (!(quality < 1)) {
        // No reversible colour transform: with it OpenJPEG loses some
        // strongly coloured pixels, so the file would not be lossless.
        parameters.tcp_mct = 0;
        parameters.cp_disto_alloc = 1;
        parameters.tcp_rates[0] = 0;  // lossless
    } else {
        parameters.irreversible = 1;
        parameters.tcp_mct = 1;
        parameters.cp_fixed_quality = 1;
        parameters.tcp_distoratio[0] = float(20 + 30 * std::clamp(quality, 0.0, 1.0));
    }
    Data out;
    MemoryStream memory{nullptr, &out, 0, 0};
    opj_codec_t* codec = openjpeglib::opj_create_compress(OPJ_CODEC_JP2);
    opj_stream_t* stream = codec ? streamOver(&memory, false) : nullptr;
    bool ok = false;
    if (stream) {
        silence(codec);
        ok = openjpeglib::opj_setup_encoder(codec, &parameters, image) &&
             openjpeglib::opj_start_compress(codec, image, stream) &&
             openjpeglib::opj_encode(codec, stream) && openjpeglib::opj_end_compress(codec, stream);
    }
    if (stream) openjpeglib::opj_stream_destroy(stream);
    if (codec) openjpeglib::opj_destroy_codec(codec);
    openjpeglib::opj_image_destroy(image);
    if (!ok || memory.size == 0) return std::nullopt;
    out.resize(size_t(memory.size));
    return out;
}

}  // namespace imageio
