#pragma once
// TIFF and JPEG 2000 files written by libtiff and OpenJPEG themselves, in
// the sample layouts our own writers never use (16-bit, palettes, tiles,
// straight alpha, subsampled sYCC, bare codestreams...), for the image
// tests and the fuzz seeds. Header-only: users link libtiff and OpenJPEG.

#include <openjpeg.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/Files.h"
#include "platform/foundation/Value.h"

namespace testsupport {

// Writes a file through `write(path)` in a fresh folder and returns its bytes.
inline Data bytesWrittenBy(const std::function<void(const std::string& path)>& write) {
    std::string folder = (std::filesystem::temp_directory_path() / "korvel-foreign-XXXXXX").string();
    if (!::mkdtemp(folder.data())) return {};
    std::string path = folder + "/file";
    write(path);
    auto bytes = files::readData(path);
    std::filesystem::remove_all(folder);
    return bytes.value_or(Data());
}

inline void tiffFields(TIFF* tif, uint32_t w, uint32_t h, uint16_t bits, uint16_t samples, uint16_t photometric) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
}

// A one-page TIFF (mode "w", or "wb" for big-endian) with the fields
// `setup` sets and `rows` of packed samples, written scanline by scanline.
inline Data tiffFile(const std::function<void(TIFF*)>& setup, const std::vector<std::vector<uint8_t>>& rows,
                     const char* mode = "w") {
    return bytesWrittenBy([&](const std::string& path) {
        TIFF* tif = TIFFOpen(path.c_str(), mode);
        setup(tif);
        for (size_t y = 0; y < rows.size(); ++y)
            TIFFWriteScanline(tif, const_cast<uint8_t*>(rows[y].data()), uint32_t(y), 0);
        TIFFClose(tif);
    });
}

// One component of a JPEG 2000 image: its subsampling, depth, whether it
// is opacity, and its samples (at the component's own size).
struct J2KComponent {
    uint32_t dx = 1, dy = 1, prec = 8;
    bool alpha = false;
    std::function<int32_t(uint32_t x, uint32_t y)> sample;
};

// A lossless JP2 file (or bare codestream) of a w × h image; `tile` 0 is one tile.
inline Data openJPEGFile(uint32_t w, uint32_t h, const std::vector<J2KComponent>& comps, OPJ_COLOR_SPACE space,
                         bool jp2, uint32_t tile = 0, int resolutions = 3) {
    std::vector<opj_image_cmptparm_t> params(comps.size());
    for (size_t i = 0; i < comps.size(); ++i) {
        params[i] = {};
        params[i].dx = comps[i].dx, params[i].dy = comps[i].dy, params[i].prec = comps[i].prec;
        params[i].w = (w + comps[i].dx - 1) / comps[i].dx, params[i].h = (h + comps[i].dy - 1) / comps[i].dy;
    }
    opj_image_t* image = opj_image_create(OPJ_UINT32(comps.size()), params.data(), space);
    image->x1 = w, image->y1 = h;
    for (size_t i = 0; i < comps.size(); ++i) {
        opj_image_comp_t& c = image->comps[i];
        c.alpha = comps[i].alpha;
        for (uint32_t y = 0; y < c.h; ++y)
            for (uint32_t x = 0; x < c.w; ++x) c.data[y * c.w + x] = comps[i].sample(x, y);
    }
    opj_cparameters_t p;
    opj_set_default_encoder_parameters(&p);
    // No more resolutions than the smaller side allows.
    while (resolutions > 1 && (std::min(w, h) >> (resolutions - 1)) == 0) --resolutions;
    p.tcp_numlayers = 1, p.cp_disto_alloc = 1, p.tcp_rates[0] = 0, p.numresolution = resolutions;
    if (tile) p.tile_size_on = OPJ_TRUE, p.cp_tdx = int(tile), p.cp_tdy = int(tile);
    Data out = bytesWrittenBy([&](const std::string& path) {
        opj_codec_t* codec = opj_create_compress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
        opj_stream_t* stream = opj_stream_create_default_file_stream(path.c_str(), OPJ_FALSE);
        bool ok = opj_setup_encoder(codec, &p, image) && opj_start_compress(codec, image, stream) &&
                  opj_encode(codec, stream) && opj_end_compress(codec, stream);
        opj_stream_destroy(stream);
        opj_destroy_codec(codec);
        if (!ok) std::filesystem::remove(path);
    });
    opj_image_destroy(image);
    return out;
}

}  // namespace testsupport
