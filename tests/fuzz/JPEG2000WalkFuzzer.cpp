// JPEG 2000 files (JP2 boxes or bare codestreams): what our reading of the
// headers judged is what OpenJPEG itself parses, or the file is refused.
// For a file our reading accepts, OpenJPEG's reading of the main header
// (before any tile is set up) holds the same coding styles and layers, and
// records the same marker segments at the same positions; a small image is
// then decoded whole, and the tile-part segments OpenJPEG recorded are the
// ones our walk went through (as far as OpenJPEG read: it stops once every
// tile is decoded, or at a fault). Decoded once more with the palette,
// component mapping and channel definitions left to us (as the decoder
// does), the channels our reading of the boxes makes of it are those
// OpenJPEG made applying them itself: their number, depth, sign, opacity,
// size and every sample; and the colour space is the one it set. Boxes our
// reading finds damaged or cut short are boxes OpenJPEG cannot read
// either. The input is the file.

#include <openjpeg.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <cstring>

#include "FuzzSupport.h"
#include "platform/graphics/JPEG2000Header.h"

namespace {

using imageio::jpeg2000::Header;
using imageio::jpeg2000::Marker;

struct Memory {
    const uint8_t* bytes;
    uint64_t size, pos;
};

OPJ_SIZE_T readBytes(void* buf, OPJ_SIZE_T n, void* user) {
    auto* m = static_cast<Memory*>(user);
    if (m->pos >= m->size) return OPJ_SIZE_T(-1);
    const uint64_t k = std::min<uint64_t>(n, m->size - m->pos);
    std::memcpy(buf, m->bytes + m->pos, size_t(k));
    m->pos += k;
    return OPJ_SIZE_T(k);
}

OPJ_OFF_T skipBytes(OPJ_OFF_T n, void* user) {
    auto* m = static_cast<Memory*>(user);
    if (n < 0 && uint64_t(-n) > m->pos) return -1;
    if (n > 0 && uint64_t(n) > m->size - std::min(m->pos, m->size)) n = OPJ_OFF_T(m->size - m->pos);
    m->pos = uint64_t(OPJ_OFF_T(m->pos) + n);
    return n;
}

OPJ_BOOL seekTo(OPJ_OFF_T n, void* user) {
    auto* m = static_cast<Memory*>(user);
    if (n < 0 || uint64_t(n) > m->size) return OPJ_FALSE;
    m->pos = uint64_t(n);
    return OPJ_TRUE;
}

void silent(const char*, void*) {}

// The codestream index OpenJPEG keeps, as its dump prints it: the main
// header's markers, then each tile's (only once some tile-part count is
// known). Its copying accessor, opj_get_cstr_index, gives nothing while a
// tile has no tile-part count, and leaks on that path.
struct Recorded {
    std::vector<Marker> main;
    std::map<unsigned, std::vector<Marker>> tiles;
};

Recorded recordedBy(opj_codec_t* codec) {
    char* text = nullptr;
    size_t length = 0;
    FILE* out = open_memstream(&text, &length);
    opj_dump_codec(codec, OPJ_J2K_MH_IND, out);
    std::fclose(out);
    Recorded r;
    std::vector<Marker>* list = &r.main;
    for (char* line = std::strtok(text, "\n"); line; line = std::strtok(nullptr, "\n")) {
        unsigned tile = 0, code = 0;
        long long position = 0;
        int bytes = 0;
        if (const char* at = std::strstr(line, "nb of tile-part in tile ["); at && std::sscanf(at, "nb of tile-part in tile [%u]", &tile) == 1)
            list = &r.tiles[tile];
        else if (const char* type = std::strstr(line, "type="); type && std::sscanf(type, "type=%x, pos=%lld, len=%d", &code, &position, &bytes) == 3)
            list->push_back({uint16_t(code), uint64_t(position), uint64_t(bytes)});
    }
    std::free(text);
    return r;
}

// Both lists on standard error, for the report of a failed property.
bool reportUnless(bool same, const std::vector<Marker>& theirs, const std::vector<Marker>& ours) {
    if (same) return true;
    for (const auto* list : {&theirs, &ours}) {
        std::fprintf(stderr, list == &theirs ? "OpenJPEG:" : "walk:    ");
        for (const Marker& m : *list)
            std::fprintf(stderr, " %04x@%llu+%llu", m.code, (unsigned long long)m.position, (unsigned long long)m.length);
        std::fprintf(stderr, "\n");
    }
    return false;
}

bool isPrefix(const std::vector<Marker>& theirs, const std::vector<Marker>& ours) {
    return theirs.size() <= ours.size() && std::equal(theirs.begin(), theirs.end(), ours.begin());
}

struct Decoder {
    Memory memory;
    opj_codec_t* codec = nullptr;
    opj_stream_t* stream = nullptr;
    opj_image_t* image = nullptr;
    Decoder(const uint8_t* data, size_t size, bool jp2, bool ourColour) : memory{data, size, 0} {
        codec = opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
        opj_set_error_handler(codec, silent, nullptr);
        opj_set_warning_handler(codec, silent, nullptr);
        opj_set_info_handler(codec, silent, nullptr);
        opj_dparameters_t parameters;
        opj_set_default_decoder_parameters(&parameters);
        if (ourColour) parameters.flags |= OPJ_DPARAMETERS_IGNORE_PCLR_CMAP_CDEF_FLAG;
        opj_setup_decoder(codec, &parameters);
        stream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE);
        opj_stream_set_read_function(stream, readBytes);
        opj_stream_set_skip_function(stream, skipBytes);
        opj_stream_set_seek_function(stream, seekTo);
        opj_stream_set_user_data(stream, &memory, nullptr);
        opj_stream_set_user_data_length(stream, size);
    }
    ~Decoder() {
        if (image) opj_image_destroy(image);
        opj_stream_destroy(stream);
        opj_destroy_codec(codec);
    }
    bool readHeader() { return opj_read_header(stream, codec, &image); }
    bool decode() { return readHeader() && opj_decode(codec, stream, image); }
};

OPJ_COLOR_SPACE spaceOf(uint32_t enumerated) {
    switch (enumerated) {
        case 16: return OPJ_CLRSPC_SRGB;
        case 17: return OPJ_CLRSPC_GRAY;
        case 18: return OPJ_CLRSPC_SYCC;
        case 24: return OPJ_CLRSPC_EYCC;
        case 12: return OPJ_CLRSPC_CMYK;
        default: return OPJ_CLRSPC_UNKNOWN;
    }
}

// OpenJPEG's image with the boxes applied against the channels our reading
// makes of its image without them.
void checkChannels(const Header& header, const opj_image_t& theirs, const opj_image_t& plain) {
    FUZZ_CHECK(theirs.numcomps == header.channels.size());
    FUZZ_CHECK(theirs.color_space == spaceOf(header.boxes.colourSpace));
    const auto& palette = header.boxes.palette;
    for (size_t i = 0; i < header.channels.size(); ++i) {
        const auto& channel = header.channels[i];
        const opj_image_comp_t &t = theirs.comps[i], &c = plain.comps[channel.component];
        const int depth = channel.depthColumn >= 0 ? palette->depth[size_t(channel.depthColumn)] : int(c.prec);
        const bool sgnd = channel.depthColumn >= 0 ? bool(palette->sgnd[size_t(channel.depthColumn)]) : bool(c.sgnd);
        FUZZ_CHECK(int(t.prec) == depth && bool(t.sgnd) == sgnd && t.alpha == channel.alpha);
        FUZZ_CHECK(t.w == c.w && t.h == c.h && t.dx == c.dx && t.dy == c.dy);
        for (size_t j = 0; j < size_t(c.w) * c.h; ++j) {
            int32_t v = c.data[j];
            if (channel.column >= 0)
                v = palette->values[size_t(std::clamp(v, 0, palette->entries - 1)) * size_t(palette->columns) + size_t(channel.column)];
            FUZZ_CHECK(t.data[j] == v);
        }
    }
}

void checkStyles(opj_codec_t* codec, const Header& header) {
    opj_codestream_info_v2_t* info = opj_get_cstr_info(codec);
    FUZZ_CHECK(info && info->nbcomps == header.styles.size());
    const opj_tile_info_v2_t& tile = info->m_default_tile_info;
    FUZZ_CHECK(tile.numlayers == OPJ_UINT32(header.layers));
    for (size_t c = 0; c < header.styles.size(); ++c) {
        const auto& theirs = tile.tccp_info[c];
        const auto& ours = header.styles[c];
        FUZZ_CHECK(theirs.numresolutions == OPJ_UINT32(ours.resolutions));
        FUZZ_CHECK(theirs.cblkw == OPJ_UINT32(ours.blockWidth) && theirs.cblkh == OPJ_UINT32(ours.blockHeight));
        // As far as OpenJPEG copies them (not at all for 33 resolutions).
        for (size_t r = 0; ours.resolutions < imageio::jpeg2000::kMaxResolutions && 4 * r < size_t(ours.resolutions); ++r)
            FUZZ_CHECK(theirs.prcw[r] == ours.precinctWidth[r] && theirs.prch[r] == ours.precinctHeight[r]);
    }
    opj_destroy_cstr_info(&info);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!(size >= 2 && data[0] == 0xFF && data[1] == 0x4F)) {
        imageio::jpeg2000::Boxes boxes;
        if (imageio::jpeg2000::readBoxes(data, size, &boxes) != imageio::jpeg2000::BoxRead::Ok)
            FUZZ_CHECK(!Decoder(data, size, true, true).readHeader());
    }
    imageio::jpeg2000::Markers walked;
    auto header = imageio::jpeg2000::readHeader(data, size, nullptr, &walked);
    if (!header) return 0;
    Decoder theirs(data, size, header->jp2, false);
    if (!theirs.readHeader()) return 0;
    checkStyles(theirs.codec, *header);
    auto main = recordedBy(theirs.codec).main;
    FUZZ_CHECK(reportUnless(main == walked.main, main, walked.main));
    // A small image is decoded (the bounds on what a large one costs are fuzz_jp2's).
    if (uint64_t(header->width) * header->height > 256 * 256 || walked.tiles.size() > 64) return 0;
    const bool decoded = opj_decode(theirs.codec, theirs.stream, theirs.image);
    for (auto& [tile, parts] : recordedBy(theirs.codec).tiles) {
        FUZZ_CHECK(tile < walked.tiles.size());
        FUZZ_CHECK(reportUnless(isPrefix(parts, walked.tiles[tile]), parts, walked.tiles[tile]));
    }
    if (!header->jp2) return 0;
    // What fails OpenJPEG's check of the boxes fails our reading: a decode
    // without them that works works with them.
    Decoder plain(data, size, true, true);
    if (!plain.decode()) return 0;
    FUZZ_CHECK(decoded);
    checkChannels(*header, *theirs.image, *plain.image);
    return 0;
}
