#include "DecodeCorpus.h"

#include <gif_lib.h>
#include <openjpeg.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>

#include <jpeglib.h>

#include "platform/foundation/Files.h"

namespace decodebench {

namespace {

// Straight RGBA (or RGB) rows: soft shading plus grain; alpha a soft disc.
std::vector<uint8_t> photo(int w, int h, uint32_t seed, int channels) {
    std::vector<uint8_t> px(size_t(w) * h * channels);
    uint32_t state = seed * 2654435761u + 1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            state = state * 1664525u + 1013904223u;
            int grain = int(state >> 28) - 8;
            uint8_t* p = &px[(size_t(y) * w + x) * channels];
            p[0] = uint8_t(std::clamp(128 + int(100 * std::sin(x * 0.021 + seed)) + grain, 0, 255));
            p[1] = uint8_t(std::clamp(128 + int(90 * std::cos(y * 0.017 + seed * 0.5)) + grain, 0, 255));
            p[2] = uint8_t(std::clamp(int((x + y) * 255 / (w + h)) + grain, 0, 255));
            if (channels == 4) {
                double d = std::hypot(x - w / 2.0, y - h / 2.0) / (std::min(w, h) / 2.0);
                p[3] = uint8_t(std::clamp(int(255 * (1.3 - d)), 0, 255));
            }
        }
    return px;
}

void pngWrite(png_structp png, png_bytep bytes, png_size_t n) {
    auto* out = static_cast<Data*>(png_get_io_ptr(png));
    out->insert(out->end(), bytes, bytes + n);
}

Data writePNG(const std::vector<uint8_t>& px, int w, int h, int channels, bool interlaced) {
    Data out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, pngWrite, nullptr);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_bytep> rows(static_cast<size_t>(h));
    for (int y = 0; y < h; ++y) rows[size_t(y)] = const_cast<uint8_t*>(&px[size_t(y) * w * channels]);
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// An APP1 payload with one IFD entry: orientation.
Data exifOrientation(uint16_t value) {
    return {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1,
            uint8_t(value >> 8), uint8_t(value), 0, 0, 0, 0, 0, 0};
}

Data writeJPEG(int w, int h, uint32_t seed, bool progressive, int orientation) {
    auto px = photo(w, h, seed, 3);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buf = nullptr;
    unsigned long len = 0;
    jpeg_mem_dest(&cinfo, &buf, &len);
    cinfo.image_width = JDIMENSION(w), cinfo.image_height = JDIMENSION(h);
    cinfo.input_components = 3, cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 85, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    if (orientation) {
        Data exif = exifOrientation(uint16_t(orientation));
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif.data(), unsigned(exif.size()));
    }
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = &px[size_t(cinfo.next_scanline) * w * 3];
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Data out(buf, buf + len);
    free(buf);
    return out;
}

int gifWrite(GifFileType* gif, const GifByteType* bytes, int n) {
    static_cast<Data*>(gif->UserData)->insert(static_cast<Data*>(gif->UserData)->end(), bytes, bytes + n);
    return n;
}

// A 6 × 7 × 6 colour cube; index 255 stays free for transparency.
GifByteType cubeIndex(const uint8_t* rgb) { return GifByteType((rgb[0] * 6 / 256) * 42 + (rgb[1] * 7 / 256) * 6 + rgb[2] * 6 / 256); }

void putGifFrame(GifFileType* gif, int left, int top, int w, int h, uint32_t seed, int disposal, bool holes) {
    auto px = photo(w, h, seed, 3);
    std::vector<GifByteType> idx(size_t(w) * h);
    for (size_t i = 0; i < idx.size(); ++i) {
        int x = int(i % size_t(w)), y = int(i / size_t(w));
        bool hole = holes && std::hypot(x - w / 2.0, y - h / 2.0) > w / 2.2;
        idx[i] = hole ? 255 : cubeIndex(&px[i * 3]);
    }
    GraphicsControlBlock gcb{disposal, false, 4, holes ? 255 : NO_TRANSPARENT_COLOR};
    GifByteType ext[4];
    EGifGCBToExtension(&gcb, ext);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
    EGifPutImageDesc(gif, left, top, w, h, false, nullptr);
    for (int y = 0; y < h; ++y) EGifPutLine(gif, &idx[size_t(y) * w], w);
}

struct Chunk {
    std::string type;
    Data body;
};

std::vector<Chunk> chunksOf(const Data& png) {
    std::vector<Chunk> out;
    for (size_t at = 8; at + 12 <= png.size();) {
        uint32_t len = uint32_t(png[at]) << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
        out.push_back({std::string(png.begin() + long(at) + 4, png.begin() + long(at) + 8),
                       Data(png.begin() + long(at) + 8, png.begin() + long(at) + 8 + len)});
        at += len + 12;
    }
    return out;
}

void put32(Data& d, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) d.push_back(uint8_t(v >> s));
}

void putChunk(Data& out, const std::string& type, const Data& body) {
    put32(out, uint32_t(body.size()));
    size_t at = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), body.begin(), body.end());
    put32(out, uint32_t(crc32(0, out.data() + at, uInt(body.size() + 4))));
}

// The bytes a library writes into a fresh file.
Data writtenFile(const std::function<void(const char* path)>& write) {
    std::string folder = (std::filesystem::temp_directory_path() / "decode-bench-XXXXXX").string();
    if (!mkdtemp(folder.data())) return {};
    std::string path = folder + "/file";
    write(path.c_str());
    Data out = files::readData(path).value_or(Data());
    std::filesystem::remove_all(folder);
    return out;
}

Data writeTIFF(int w, int h, int pages, int channels, uint16_t compression) {
    return writtenFile([&](const char* path) {
        TIFF* tif = TIFFOpen(path, "w");
        for (int p = 0; p < pages; ++p) {
            auto px = photo(w, h, uint32_t(30 + p), channels);
            TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(w));
            TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(h));
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, channels);
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
            TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
            TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
            if (compression != COMPRESSION_NONE) TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
            if (channels == 4) {
                uint16_t straight = EXTRASAMPLE_UNASSALPHA;
                TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &straight);
            }
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
            for (int y = 0; y < h; ++y) TIFFWriteScanline(tif, &px[size_t(y) * w * channels], uint32_t(y), 0);
            TIFFWriteDirectory(tif);
        }
        TIFFClose(tif);
    });
}

// `rate` 0 is lossless.
Data writeJPEG2000(int w, int h, int channels, float rate, bool codestream) {
    auto px = photo(w, h, 40, channels);
    opj_image_cmptparm_t params[4] = {};
    for (auto& p : params) p.dx = p.dy = 1, p.w = OPJ_UINT32(w), p.h = OPJ_UINT32(h), p.prec = 8;
    opj_image_t* image = opj_image_create(OPJ_UINT32(channels), params, OPJ_CLRSPC_SRGB);
    image->x1 = OPJ_UINT32(w), image->y1 = OPJ_UINT32(h);
    if (channels == 4) image->comps[3].alpha = 1;
    for (size_t i = 0; i < size_t(w) * h; ++i)
        for (int c = 0; c < channels; ++c) image->comps[c].data[i] = px[i * channels + size_t(c)];
    opj_cparameters_t p;
    opj_set_default_encoder_parameters(&p);
    p.tcp_numlayers = 1, p.cp_disto_alloc = 1, p.tcp_rates[0] = rate, p.tcp_mct = 1, p.irreversible = rate > 0;
    Data out = writtenFile([&](const char* path) {
        opj_codec_t* codec = opj_create_compress(codestream ? OPJ_CODEC_J2K : OPJ_CODEC_JP2);
        opj_stream_t* stream = opj_stream_create_default_file_stream(path, OPJ_FALSE);
        opj_setup_encoder(codec, &p, image) && opj_start_compress(codec, image, stream) && opj_encode(codec, stream) &&
            opj_end_compress(codec, stream);
        opj_stream_destroy(stream);
        opj_destroy_codec(codec);
    });
    opj_image_destroy(image);
    return out;
}

}  // namespace

std::vector<Sample> tiffSamples() {
    return {{"TIFF 1024x768 RGB LZW", writeTIFF(1024, 768, 1, 3, COMPRESSION_LZW), 1024, 768},
            {"TIFF 1024x768 RGBA deflate", writeTIFF(1024, 768, 1, 4, COMPRESSION_ADOBE_DEFLATE), 1024, 768},
            {"TIFF 512x512, 3 pages", writeTIFF(512, 512, 3, 3, COMPRESSION_NONE), 512, 512, 3}};
}

std::vector<Sample> jpeg2000Samples() {
    return {{"JPEG 2000 512x512 lossless", writeJPEG2000(512, 512, 3, 0, false), 512, 512},
            {"JPEG 2000 1024x768 10:1", writeJPEG2000(1024, 768, 3, 10, false), 1024, 768},
            {"J2K 512x512 RGBA lossless", writeJPEG2000(512, 512, 4, 0, true), 512, 512}};
}

std::vector<Sample> pngSamples() {
    return {{"PNG 128x128 RGBA", writePNG(photo(128, 128, 1, 4), 128, 128, 4, false), 128, 128},
            {"PNG 512x512 RGB", writePNG(photo(512, 512, 2, 3), 512, 512, 3, false), 512, 512},
            {"PNG 512x512 interlaced", writePNG(photo(512, 512, 3, 4), 512, 512, 4, true), 512, 512}};
}

std::vector<Sample> jpegSamples() {
    return {{"JPEG 1024x768 baseline", writeJPEG(1024, 768, 4, false, 0), 1024, 768},
            {"JPEG 1024x768 progressive", writeJPEG(1024, 768, 5, true, 0), 1024, 768},
            {"JPEG 2048x1536", writeJPEG(2048, 1536, 6, false, 0), 2048, 1536},
            {"JPEG 1024x768 EXIF-rotated", writeJPEG(1024, 768, 7, false, 6), 1024, 768}};
}

Sample gifSample() {
    Data out;
    int err = 0;
    GifFileType* gif = EGifOpen(&out, gifWrite, &err);
    GifColorType colors[256] = {};
    for (int i = 0; i < 252; ++i)
        colors[i] = {GifByteType(i / 42 * 51), GifByteType(i / 6 % 7 * 42), GifByteType(i % 6 * 51)};
    ColorMapObject* map = GifMakeMapObject(256, colors);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, 200, 200, 8, 0, map);
    putGifFrame(gif, 0, 0, 200, 200, 10, DISPOSE_DO_NOT, false);
    for (int i = 1; i < 50; ++i)
        putGifFrame(gif, (i * 13) % 140, (i * 7) % 140, 60, 60, uint32_t(10 + i), 1 + i % 3, true);
    EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
    return {"GIF 200x200, 50 frames", out, 200, 200, 50};
}

Sample apngSample(std::vector<Data>* framePNGs, std::vector<std::pair<int, int>>* offsets) {
    const int side = 256, frames = 30;
    Data out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    uint32_t seq = 0;
    for (int i = 0; i < frames; ++i) {
        int w = i == 0 ? side : 96, x = i == 0 ? 0 : (i * 37) % (side - w), y = i == 0 ? 0 : (i * 53) % (side - w);
        Data png = writePNG(photo(w, w, uint32_t(20 + i), 4), w, w, 4, false);
        framePNGs->push_back(png);
        offsets->push_back({x, y});
        auto chunks = chunksOf(png);
        if (i == 0) {
            putChunk(out, "IHDR", chunks[0].body);
            Data actl;
            put32(actl, frames), put32(actl, 0);
            putChunk(out, "acTL", actl);
        }
        Data fctl;
        put32(fctl, seq++), put32(fctl, uint32_t(w)), put32(fctl, uint32_t(w)), put32(fctl, uint32_t(x)), put32(fctl, uint32_t(y));
        fctl.insert(fctl.end(), {0, 4, 0, 100, uint8_t(i % 3), uint8_t(i == 0 ? 0 : (i / 3) % 2)});
        putChunk(out, "fcTL", fctl);
        for (auto& c : chunks) {
            if (c.type != "IDAT") continue;
            if (i == 0) {
                putChunk(out, "IDAT", c.body);
            } else {
                Data body;
                put32(body, seq++);
                body.insert(body.end(), c.body.begin(), c.body.end());
                putChunk(out, "fdAT", body);
            }
        }
    }
    putChunk(out, "IEND", {});
    return {"APNG 256x256, 30 frames", out, side, side, frames};
}

}  // namespace decodebench
