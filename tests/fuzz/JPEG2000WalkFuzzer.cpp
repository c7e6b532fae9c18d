// JPEG 2000 files (JP2 boxes or bare codestreams): what our reading of the
// headers judged is what OpenJPEG itself parses, or the file is refused.
// For a file our reading accepts, OpenJPEG's reading of the main header
// (before any tile is set up) holds the same coding styles and layers; a
// small image is then decoded whole, and the marker segments OpenJPEG
// recorded are the ones our walk went through, at the same positions: all
// of the main header's, and of each tile's tile-parts as far as OpenJPEG
// read (it stops once every tile is decoded, or at a fault). The input is
// the file.

#include <openjpeg.h>

#include <algorithm>
#include <cstdio>
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

std::vector<Marker> recorded(const opj_marker_info_t* markers, OPJ_UINT32 count) {
    std::vector<Marker> out;
    for (OPJ_UINT32 i = 0; i < count; ++i)
        out.push_back({markers[i].type, uint64_t(markers[i].pos), uint64_t(markers[i].len)});
    return out;
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
        for (size_t r = 0; 4 * r < size_t(ours.resolutions); ++r)  // as far as OpenJPEG copies them
            FUZZ_CHECK(theirs.prcw[r] == ours.precinctWidth[r] && theirs.prch[r] == ours.precinctHeight[r]);
    }
    opj_destroy_cstr_info(&info);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    imageio::jpeg2000::Markers walked;
    auto header = imageio::jpeg2000::readHeader(data, size, nullptr, &walked);
    if (!header) return 0;
    opj_codec_t* codec = opj_create_decompress(header->jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    opj_set_error_handler(codec, silent, nullptr);
    opj_set_warning_handler(codec, silent, nullptr);
    opj_set_info_handler(codec, silent, nullptr);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    opj_setup_decoder(codec, &parameters);
    Memory memory{data, size, 0};
    opj_stream_t* stream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE);
    opj_stream_set_read_function(stream, readBytes);
    opj_stream_set_skip_function(stream, skipBytes);
    opj_stream_set_seek_function(stream, seekTo);
    opj_stream_set_user_data(stream, &memory, nullptr);
    opj_stream_set_user_data_length(stream, size);
    opj_image_t* image = nullptr;
    // OpenJPEG copies its codestream index only once every tile has a
    // marker recorded (an empty array is no allocation to it): after a
    // decode, of small images only (the bounds on what a large one costs
    // are fuzz_jp2's).
    const bool small = uint64_t(header->width) * header->height <= 256 * 256 && walked.tiles.size() <= 64;
    if (opj_read_header(stream, codec, &image)) {
        checkStyles(codec, *header);
        if (small) opj_decode(codec, stream, image);
        opj_codestream_index_t* index = small ? opj_get_cstr_index(codec) : nullptr;
        if (index) {
            auto theirs = recorded(index->marker, index->marknum);
            FUZZ_CHECK(reportUnless(theirs == walked.main, theirs, walked.main));
            FUZZ_CHECK(index->nb_of_tiles == walked.tiles.size());
            for (OPJ_UINT32 t = 0; index->tile_index && t < index->nb_of_tiles; ++t) {
                const opj_tile_index_t& tile = index->tile_index[t];
                auto parts = recorded(tile.marker, tile.marknum);
                FUZZ_CHECK(reportUnless(isPrefix(parts, walked.tiles[t]), parts, walked.tiles[t]));
            }
            opj_destroy_cstr_index(&index);
        }
    }
    if (image) opj_image_destroy(image);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    return 0;
}
