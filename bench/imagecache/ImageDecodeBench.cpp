// Decoding speed: bytes to display-ready bitmaps through the image decoder,
// against peers measured in the same run on the same fixed-seed files:
//   PNG    libpng's simplified API plus premultiplying          (target ≤ 1.15×)
//   JPEG   libjpeg-turbo's libjpeg API into BGRX; tjDecompress2  (target ≤ 1.15× the first)
//   GIF    giflib's DGifSlurp plus a plain compositor, in order  (target ≤ 1.3×)
//   APNG   libpng decodes of the assembled frames, a blit each   (target ≤ 1.3×; a lower bound)
//   TIFF   libtiff's TIFFReadRGBAImageOriented, every page       (target ≤ 1.1×)
//   JPEG 2000  OpenJPEG's decode, interleaved into RGBA bytes     (target ≤ 1.1×)
// stb_image is printed beside where it reads the format. Each pair runs
// alternately several rounds; the best time of each counts.
//
//   image_decode_bench [rounds]     (default 7)

#include <gif_lib.h>
#include <openjpeg.h>
#include <png.h>
#include <stb_image.h>
#include <tiffio.h>
#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "DecodeCorpus.h"
#include "imagecache/ZVImageDecoder.h"

namespace {

using decodebench::Sample;

int gRounds = 7;
bool gAllWithin = true;
size_t gSink = 0;  // keeps results from being optimised away

double seconds(const std::function<void()>& f) {
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Repetitions that make one round last about 40 ms.
int repetitions(const std::function<void()>& f) {
    double once = std::max(seconds(f), 1e-6);
    return std::max(1, int(0.04 / once));
}

// Best time per call of each, run alternately.
std::vector<double> race(const std::vector<std::function<void()>>& runs) {
    std::vector<int> reps;
    for (auto& r : runs) reps.push_back(repetitions(r));
    std::vector<double> best(runs.size(), 1e99);
    for (int round = 0; round < gRounds; ++round)
        for (size_t i = 0; i < runs.size(); ++i)
            best[i] = std::min(best[i], seconds([&] {
                                   for (int k = 0; k < reps[i]; ++k) runs[i]();
                               }) / reps[i]);
    return best;
}

void premultiplyBGRA(uint8_t* p, size_t pixels) {
    auto* w = reinterpret_cast<uint32_t*>(p);
    for (size_t i = 0; i < pixels; ++i) {
        uint32_t v = w[i], a = v >> 24;
        if (a == 255) continue;
        w[i] = a << 24 | (((v >> 16) & 0xFF) * a / 255) << 16 | (((v >> 8) & 0xFF) * a / 255) << 8 | (v & 0xFF) * a / 255;
    }
}

// ---- peers

// Peers decode into uninitialised memory, as a direct call would.
using Pixels = std::unique_ptr<uint8_t[]>;

Pixels pngPeer(const Data& d, int* w = nullptr, int* h = nullptr) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, d.data(), d.size())) return {};
    img.format = PNG_FORMAT_BGRA;
    Pixels out(new uint8_t[PNG_IMAGE_SIZE(img)]);
    png_image_finish_read(&img, nullptr, out.get(), 0, nullptr);
    premultiplyBGRA(out.get(), size_t(img.width) * img.height);
    if (w) *w = int(img.width), *h = int(img.height);
    return out;
}

void libjpegPeer(const Data& d) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, d.data(), d.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&cinfo);
    Pixels out(new uint8_t[size_t(cinfo.output_width) * cinfo.output_height * 4]);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = &out[size_t(cinfo.output_scanline) * cinfo.output_width * 4];
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    gSink += out[7];
}

void turbojpegPeer(tjhandle tj, const Data& d, int w, int h) {
    Pixels out(new uint8_t[size_t(w) * h * 4]);
    tjDecompress2(tj, d.data(), d.size(), out.get(), w, 0, h, TJPF_BGRX, 0);
    gSink += out[7];
}

struct GifMemory {
    const Data* d;
    size_t pos = 0;
};
int gifRead(GifFileType* gif, GifByteType* out, int n) {
    auto* m = static_cast<GifMemory*>(gif->UserData);
    size_t k = std::min(size_t(n), m->d->size() - m->pos);
    std::memcpy(out, m->d->data() + m->pos, k);
    m->pos += k;
    return int(k);
}

// Every frame composited through its disposal; each a display-ready copy.
void gifPeer(const Data& d) {
    GifMemory m{&d};
    int err = 0;
    GifFileType* gif = DGifOpen(&m, gifRead, &err);
    DGifSlurp(gif);
    const int W = gif->SWidth, H = gif->SHeight;
    std::vector<uint32_t> canvas(size_t(W) * H), saved, frame;
    for (int i = 0; i < gif->ImageCount; ++i) {
        GraphicsControlBlock gcb{}, prev{};
        DGifSavedExtensionToGCB(gif, i, &gcb);
        if (i > 0 && DGifSavedExtensionToGCB(gif, i - 1, &prev) == GIF_OK) {
            const GifImageDesc& p = gif->SavedImages[i - 1].ImageDesc;
            if (prev.DisposalMode == DISPOSE_BACKGROUND)
                for (int y = p.Top; y < std::min(H, p.Top + p.Height); ++y)
                    std::fill_n(&canvas[size_t(y) * W + p.Left], std::min(p.Width, W - p.Left), 0u);
            if (prev.DisposalMode == DISPOSE_PREVIOUS) canvas = saved;
        }
        if (gcb.DisposalMode == DISPOSE_PREVIOUS) saved = canvas;
        const SavedImage& s = gif->SavedImages[i];
        const ColorMapObject* map = s.ImageDesc.ColorMap ? s.ImageDesc.ColorMap : gif->SColorMap;
        for (int y = 0; y < s.ImageDesc.Height && s.ImageDesc.Top + y < H; ++y)
            for (int x = 0; x < s.ImageDesc.Width && s.ImageDesc.Left + x < W; ++x) {
                int idx = s.RasterBits[size_t(y) * s.ImageDesc.Width + x];
                if (idx == gcb.TransparentColor) continue;
                const GifColorType& c = map->Colors[idx];
                canvas[size_t(s.ImageDesc.Top + y) * W + s.ImageDesc.Left + x] =
                    0xFF000000u | uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
            }
        frame = canvas;
        gSink += frame[frame.size() / 2];
    }
    DGifCloseFile(gif, &err);
}

// Each stand-alone frame decoded and blitted onto the canvas: no blending
// or disposal, so this is less work than playing the file.
void apngPeer(const std::vector<Data>& frames, const std::vector<std::pair<int, int>>& offsets, int side) {
    std::vector<uint32_t> canvas(size_t(side) * side);
    for (size_t i = 0; i < frames.size(); ++i) {
        int w = 0, h = 0;
        auto px = pngPeer(frames[i], &w, &h);
        for (int y = 0; y < h; ++y)
            std::memcpy(&canvas[size_t(offsets[i].second + y) * side + offsets[i].first], px.get() + size_t(y) * w * 4,
                        size_t(w) * 4);
        gSink += canvas[i];
    }
}

// The file in memory as the libraries read it.
struct MemoryFile {
    const Data* d;
    uint64_t pos = 0;
    size_t read(void* out, size_t n) {
        size_t k = size_t(std::min<uint64_t>(n, d->size() - std::min<uint64_t>(pos, d->size())));
        std::memcpy(out, d->data() + pos, k);
        pos += k;
        return k;
    }
};

// Every page as straight RGBA rows from the top, as libtiff's RGBA interface gives them.
void tiffPeer(const Data& d) {
    MemoryFile file{&d};
    TIFF* tif = TIFFClientOpen(
        "peer", "rm", &file,
        [](thandle_t h, void* buf, tmsize_t n) { return tmsize_t(static_cast<MemoryFile*>(h)->read(buf, size_t(n))); },
        [](thandle_t, void*, tmsize_t) { return tmsize_t(-1); },
        [](thandle_t h, toff_t off, int whence) {
            auto* f = static_cast<MemoryFile*>(h);
            f->pos = (whence == SEEK_CUR ? f->pos : whence == SEEK_END ? f->d->size() : 0) + off;
            return toff_t(f->pos);
        },
        [](thandle_t) { return 0; }, [](thandle_t h) { return toff_t(static_cast<MemoryFile*>(h)->d->size()); },
        [](thandle_t, void**, toff_t*) { return 0; }, [](thandle_t, void*, toff_t) {});
    do {
        uint32_t w = 0, h = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
        Pixels out(new uint8_t[size_t(w) * h * 4]);
        TIFFReadRGBAImageOriented(tif, w, h, reinterpret_cast<uint32_t*>(out.get()), ORIENTATION_TOPLEFT, 1);
        gSink += out[7];
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
}

// The image decoded and its 8-bit components interleaved as RGBA bytes.
void jpeg2000Peer(const Data& d, bool codestream) {
    MemoryFile file{&d};
    opj_codec_t* codec = opj_create_decompress(codestream ? OPJ_CODEC_J2K : OPJ_CODEC_JP2);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    opj_setup_decoder(codec, &parameters);
    opj_stream_t* stream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE);
    opj_stream_set_read_function(stream, [](void* buf, OPJ_SIZE_T n, void* f) {
        size_t k = static_cast<MemoryFile*>(f)->read(buf, n);
        return k ? OPJ_SIZE_T(k) : OPJ_SIZE_T(-1);
    });
    opj_stream_set_skip_function(stream, [](OPJ_OFF_T n, void* f) {
        static_cast<MemoryFile*>(f)->pos += uint64_t(n);
        return n;
    });
    opj_stream_set_seek_function(stream, [](OPJ_OFF_T n, void* f) {
        static_cast<MemoryFile*>(f)->pos = uint64_t(n);
        return OPJ_TRUE;
    });
    opj_stream_set_user_data(stream, &file, nullptr);
    opj_stream_set_user_data_length(stream, d.size());
    opj_image_t* image = nullptr;
    opj_read_header(stream, codec, &image);
    opj_decode(codec, stream, image);
    opj_end_decompress(codec, stream);
    const size_t pixels = size_t(image->x1 - image->x0) * (image->y1 - image->y0);
    Pixels out(new uint8_t[pixels * 4]);
    for (size_t i = 0; i < pixels; ++i)
        for (OPJ_UINT32 c = 0; c < 4; ++c) out[i * 4 + c] = c < image->numcomps ? uint8_t(image->comps[c].data[i]) : 255;
    gSink += out[7];
    opj_image_destroy(image);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
}

// ---- ours

void ours(const Sample& s) {
    auto decoder = ZVImageDecoder::decoderWithData(s.bytes, 1);
    for (size_t i = 0; i < decoder->frameCount(); ++i) {
        auto frame = decoder->frameAtIndex(i, true);
        gSink += frame->image->CGImage()->pixelAt(0, 0).g;
    }
}

void stbPeer(const Sample& s) {
    int w = 0, h = 0, n = 0, z = 0;
    int* delays = nullptr;
    stbi_uc* px = s.frames > 1 ? stbi_load_gif_from_memory(s.bytes.data(), int(s.bytes.size()), &delays, &w, &h, &z, &n, 4)
                               : stbi_load_from_memory(s.bytes.data(), int(s.bytes.size()), &w, &h, &n, 4);
    gSink += px ? px[0] : 0;
    stbi_image_free(px);
    stbi_image_free(delays);
}

void report(const Sample& s, double us, double peer, const char* peerName, double target, std::optional<double> stb,
            std::optional<double> second = std::nullopt, const char* secondName = nullptr) {
    double ratio = us / peer, mpix = double(s.width) * s.height * s.frames / us / 1e6;
    bool ok = ratio <= target;
    gAllWithin = gAllWithin && ok;
    std::printf("%-28s ours %8.3f ms  %-16s %8.3f ms  ratio %.3f (target %.2f) %-4s %7.1f MPix/s", s.name.c_str(),
                us * 1e3, peerName, peer * 1e3, ratio, target, ok ? "ok" : "OVER", mpix);
    if (second) std::printf("  %s %8.3f ms (%.3f)", secondName, *second * 1e3, us / *second);
    if (stb) std::printf("  stb_image %8.3f ms (%.3f)", *stb * 1e3, us / *stb);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) gRounds = std::max(1, std::atoi(argv[1]));
    for (auto& s : decodebench::pngSamples()) {
        auto t = race({[&] { ours(s); }, [&] { gSink += pngPeer(s.bytes)[7]; }, [&] { stbPeer(s); }});
        report(s, t[0], t[1], "libpng simple", 1.15, t[2]);
    }
    tjhandle tj = tjInitDecompress();
    for (auto& s : decodebench::jpegSamples()) {
        auto t = race({[&] { ours(s); }, [&] { libjpegPeer(s.bytes); }, [&] { turbojpegPeer(tj, s.bytes, s.width, s.height); },
                       [&] { stbPeer(s); }});
        report(s, t[0], t[1], "libjpeg BGRX", 1.15, t[3], t[2], "tjDecompress2");
    }
    tjDestroy(tj);
    auto gif = decodebench::gifSample();
    auto g = race({[&] { ours(gif); }, [&] { gifPeer(gif.bytes); }, [&] { stbPeer(gif); }});
    report(gif, g[0], g[1], "giflib slurp", 1.3, g[2]);
    std::vector<Data> frames;
    std::vector<std::pair<int, int>> offsets;
    auto apng = decodebench::apngSample(&frames, &offsets);
    auto a = race({[&] { ours(apng); }, [&] { apngPeer(frames, offsets, apng.width); }});
    report(apng, a[0], a[1], "libpng + blit", 1.3, std::nullopt);
    TIFFSetWarningHandler(nullptr);
    for (auto& s : decodebench::tiffSamples()) {
        auto t = race({[&] { ours(s); }, [&] { tiffPeer(s.bytes); }});
        report(s, t[0], t[1], "libtiff RGBA", 1.1, std::nullopt);
    }
    for (auto& s : decodebench::jpeg2000Samples()) {
        bool codestream = s.bytes[0] == 0xFF;
        auto t = race({[&] { ours(s); }, [&] { jpeg2000Peer(s.bytes, codestream); }});
        report(s, t[0], t[1], "OpenJPEG", 1.1, std::nullopt);
    }
    std::printf("\n%s (%zu)\n", gAllWithin ? "all within target" : "some ratios over target", gSink % 10);
    return 0;
}
