#include "platform/graphics/ImageIO.h"

#include <png.h>
#include <setjmp.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/graphics/ImageReaders.h"
#include "platform/graphics/ImageSource.h"

#include <jpeglib.h>

namespace imageio {

Format sniff(const uint8_t* b, size_t n) {
    auto starts = [&](const char* magic, size_t len) { return n >= len && std::memcmp(b, magic, len) == 0; };
    if (starts("\x89PNG\r\n\x1a\n", 8)) return Format::PNG;
    if (starts("\xFF\xD8\xFF", 3)) return Format::JPEG;
    if (starts("GIF87a", 6) || starts("GIF89a", 6)) return Format::GIF;
    if (starts("BM", 2)) return Format::BMP;
    if (starts("\0\0\1\0", 4) || starts("\0\0\2\0", 4)) return Format::ICO;
    if (starts("icns", 4)) return Format::ICNS;
    if (starts("II*\0", 4) || starts("MM\0*", 4)) return Format::TIFF;
    if (starts("\0\0\0\x0CjP  \r\n\x87\n", 12) || starts("\xFF\x4F\xFF\x51", 4)) return Format::JPEG2000;
    if (starts("RIFF", 4) && n >= 12 && std::memcmp(b + 8, "WEBP", 4) == 0) return Format::WebP;
    return Format::Unknown;
}

std::optional<Decoded> decode(const uint8_t* bytes, size_t size, int leastWidth, int leastHeight) {
    if (!bytes || size == 0) return std::nullopt;
    auto source = ImageSource::create(bytes, size);
    Decoded d;
    d.image = leastWidth > 0 && leastHeight > 0 ? source->reducedImageAtIndex(0, leastWidth, leastHeight)
                                                : source->imageAtIndex(0);
    if (!d.image) return std::nullopt;
    d.format = source->type();
    d.exifOrientation = int(source->propertiesAtIndex(0)[kPropertyOrientation].intValue());
    if (d.exifOrientation < 1 || d.exifOrientation > 8) d.exifOrientation = 1;
    return d;
}

// ---- PNG

std::shared_ptr<CGImage> decodePNG(const uint8_t* bytes, size_t size) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, bytes, size)) return nullptr;
    bool alpha = (img.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    // A palette or grey image with a tRNS chunk reports alpha through the format too.
    img.format = PNG_FORMAT_BGRA;
    auto out = CGImage::createForOverwrite(int(img.width), int(img.height), alpha);
    if (!out) {
        png_image_free(&img);
        return nullptr;
    }
    if (!png_image_finish_read(&img, nullptr, out->mutableData(), out->bytesPerRow(), nullptr)) {
        png_image_free(&img);
        return nullptr;
    }
    // Straight BGRA bytes are the ARGB words of a little-endian host (alpha
    // 255 throughout for an opaque image); premultiply.
    uint8_t* d = out->mutableData();
    for (int y = 0; alpha && y < out->height(); ++y) {
        auto* row = reinterpret_cast<uint32_t*>(d + size_t(y) * out->bytesPerRow());
        for (int x = 0; x < out->width(); ++x) {
            uint32_t w = row[x];
            uint32_t a = w >> 24;
            if (a == 255) continue;
            uint32_t r = ((w >> 16) & 0xFF) * a / 255, g = ((w >> 8) & 0xFF) * a / 255, b = (w & 0xFF) * a / 255;
            row[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    out->markDirty();
    return out;
}

namespace {
// Straight BGRA bytes of a bitmap (one row after another, no padding).
std::vector<uint8_t> straightBGRA(const CGImage& image) {
    std::vector<uint8_t> buf(size_t(image.width()) * image.height() * 4);
    const uint8_t* d = image.data();
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<const uint32_t*>(d + size_t(y) * image.bytesPerRow());
        auto* o = reinterpret_cast<uint32_t*>(buf.data() + size_t(y) * image.width() * 4);
        for (int x = 0; x < image.width(); ++x) {
            uint32_t w = row[x];
            uint32_t a = image.hasAlpha() ? (w >> 24) : 255;
            if (a == 0) { o[x] = 0; continue; }
            uint32_t r = (w >> 16) & 0xFF, g = (w >> 8) & 0xFF, b = w & 0xFF;
            if (a < 255) {
                r = std::min(255u, (r * 255 + a / 2) / a);
                g = std::min(255u, (g * 255 + a / 2) / a);
                b = std::min(255u, (b * 255 + a / 2) / a);
            }
            o[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    return buf;
}
}  // namespace

std::optional<Data> encodePNG(const CGImage& image, bool alwaysRGBA) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = png_uint_32(image.width());
    img.height = png_uint_32(image.height());
    img.format = PNG_FORMAT_BGRA;
    auto pixels = straightBGRA(image);
    if (!image.hasAlpha() && !alwaysRGBA) {
        // Opaque images are written as RGB: drop the alpha byte.
        img.format = PNG_FORMAT_BGR;
        std::vector<uint8_t> rgb(size_t(image.width()) * image.height() * 3);
        for (size_t i = 0, j = 0; i < pixels.size(); i += 4, j += 3) std::memcpy(&rgb[j], &pixels[i], 3);
        pixels.swap(rgb);
    }
    png_alloc_size_t len = 0;
    if (!png_image_write_to_memory(&img, nullptr, &len, 0, pixels.data(), 0, nullptr)) return std::nullopt;
    Data out(len);
    if (!png_image_write_to_memory(&img, out.data(), &len, 0, pixels.data(), 0, nullptr)) return std::nullopt;
    out.resize(len);
    return out;
}

// ---- JPEG

namespace {
struct JpegError {
    jpeg_error_mgr mgr;
    jmp_buf jump;
};
void jpegErrorExit(j_common_ptr cinfo) { longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1); }
void jpegSilent(j_common_ptr, int) {}
void jpegNoOutput(j_common_ptr) {}

uint32_t rd32(const uint8_t* p, bool le) {
    return le ? uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24
              : uint32_t(p[3]) | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24;
}
uint16_t rd16(const uint8_t* p, bool le) { return le ? uint16_t(p[0] | p[1] << 8) : uint16_t(p[1] | p[0] << 8); }
}  // namespace

int exifOrientationFromApp1(const uint8_t* p, size_t n) {
    if (n < 14 || std::memcmp(p, "Exif\0\0", 6) != 0) return 1;
    const uint8_t* t = p + 6;
    size_t tn = n - 6;
    bool le;
    if (t[0] == 'I' && t[1] == 'I') le = true;
    else if (t[0] == 'M' && t[1] == 'M') le = false;
    else return 1;
    // Offsets are 32 bits from the file: every bound is computed in 64 bits,
    // so that an offset near 4 GiB cannot wrap back into the buffer.
    uint64_t ifd = rd32(t + 4, le);
    if (ifd + 2 > tn) return 1;
    uint16_t count = rd16(t + ifd, le);
    for (uint16_t i = 0; i < count; ++i) {
        uint64_t e = ifd + 2 + uint64_t(i) * 12;
        if (e + 12 > tn) break;
        if (rd16(t + e, le) == 0x0112) {
            int v = rd16(t + e + 8, le);
            return v >= 1 && v <= 8 ? v : 1;
        }
    }
    return 1;
}

namespace {

// Counts the scans read and the blocks they cover; past the bounds the
// decode ends as a failure.
struct JpegWork {
    jpeg_progress_mgr mgr;
    JpegError* err = nullptr;
    int scan = 0;
    uint64_t blocks = 0;
};

void jpegProgress(j_common_ptr common) {
    auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
    auto* work = reinterpret_cast<JpegWork*>(common->progress);
    if (cinfo->input_scan_number == work->scan) return;
    work->scan = cinfo->input_scan_number;
    for (int i = 0; i < cinfo->comps_in_scan; ++i)
        work->blocks += uint64_t(cinfo->cur_comp_info[i]->width_in_blocks) * cinfo->cur_comp_info[i]->height_in_blocks;
    if (work->scan > kMaxJPEGScans || work->blocks > kMaxJPEGScanBlocks) longjmp(work->err->jump, 1);
}

// The decompressor with our silent error handling and the work bound;
// destroyed with the object.
struct JpegReader {
    jpeg_decompress_struct cinfo;
    JpegError err;
    JpegWork work;
    JpegReader(const uint8_t* bytes, size_t size) {
        cinfo.err = jpeg_std_error(&err.mgr);
        err.mgr.error_exit = jpegErrorExit;
        err.mgr.emit_message = jpegSilent;
        err.mgr.output_message = jpegNoOutput;
        jpeg_create_decompress(&cinfo);
        work.mgr.progress_monitor = jpegProgress;
        work.err = &err;
        cinfo.progress = &work.mgr;
        // A prefix reads as far as it goes: the memory source ends it with an
        // end-of-image marker, and what has not arrived decodes as flat grey.
        jpeg_mem_src(&cinfo, bytes, static_cast<unsigned long>(size));
        jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
    }
    ~JpegReader() { jpeg_destroy_decompress(&cinfo); }
    int orientation() const {
        for (auto* m = cinfo.marker_list; m; m = m->next)
            if (m->marker == JPEG_APP0 + 1) return exifOrientationFromApp1(m->data, m->data_length);
        return 1;
    }
};

// libjpeg reports errors by longjmp: these functions modify nothing of
// their own after setjmp, only what their pointers lead to.
bool readJPEGHeaderInto(const uint8_t* bytes, size_t size, JPEGHeader* header) {
    if (size == 0) return false;  // the memory source would fail before setjmp
    JpegReader r(bytes, size);
    if (setjmp(r.err.jump)) return false;
    if (jpeg_read_header(&r.cinfo, TRUE) != JPEG_HEADER_OK) return false;
    header->width = int(std::min<JDIMENSION>(r.cinfo.image_width, INT32_MAX));
    header->height = int(std::min<JDIMENSION>(r.cinfo.image_height, INT32_MAX));
    header->progressive = r.cinfo.progressive_mode;
    header->exifOrientation = r.orientation();
    return true;
}

void convertCMYKRow(uint8_t* row, int width) {
    auto* w = reinterpret_cast<uint32_t*>(row);
    for (int x = 0; x < width; ++x) {
        // Adobe CMYK JPEGs store inverted values.
        uint32_t c = row[x * 4], m = row[x * 4 + 1], y = row[x * 4 + 2], k = row[x * 4 + 3];
        w[x] = 0xFF000000u | (c * k / 255) << 16 | (m * k / 255) << 8 | (y * k / 255);
    }
}

bool decodeJPEGInto(const uint8_t* bytes, size_t size, int* exifOrientation, std::shared_ptr<CGImage>* out) {
    if (size == 0) return false;  // the memory source would fail before setjmp
    JpegReader r(bytes, size);
    if (setjmp(r.err.jump)) return false;
    jpeg_decompress_struct& cinfo = r.cinfo;
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) return false;
    // The pixel budget is checked before libjpeg allocates its buffers.
    if (!CGImage::fitsBudget(cinfo.image_width, cinfo.image_height)) return false;
    if (exifOrientation) *exifOrientation = r.orientation();
    bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    // libjpeg-turbo fills the X byte with 0xFF: rows come out as opaque display words.
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
    jpeg_start_decompress(&cinfo);
    // Every row is written: libjpeg gives all of them, flat grey past a prefix's end.
    *out = CGImage::createForOverwrite(int(cinfo.output_width), int(cinfo.output_height), false);
    if (!*out) return false;
    uint8_t* d = (*out)->mutableData();
    size_t stride = size_t((*out)->bytesPerRow());
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = d + size_t(cinfo.output_scanline) * stride;
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) break;
        if (cmyk) convertCMYKRow(row, (*out)->width());
    }
    jpeg_finish_decompress(&cinfo);
    (*out)->markDirty();
    return true;
}

}  // namespace

std::shared_ptr<CGImage> decodeJPEG(const uint8_t* bytes, size_t size, int* exifOrientation) {
    if (exifOrientation) *exifOrientation = 1;
    std::shared_ptr<CGImage> out;
    if (!decodeJPEGInto(bytes, size, exifOrientation, &out)) return nullptr;
    return out;
}

std::optional<JPEGHeader> readJPEGHeader(const uint8_t* bytes, size_t size) {
    JPEGHeader header;
    if (!readJPEGHeaderInto(bytes, size, &header)) return std::nullopt;
    return header;
}

std::optional<Data> encodeJPEG(const CGImage& image, double quality) {
    jpeg_compress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jpegErrorExit;
    err.mgr.emit_message = jpegSilent;
    err.mgr.output_message = jpegNoOutput;
    unsigned char* buf = nullptr;
    unsigned long len = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        free(buf);
        return std::nullopt;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buf, &len);
    cinfo.image_width = JDIMENSION(image.width());
    cinfo.image_height = JDIMENSION(image.height());
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&cinfo);
    int q = int(std::lround(std::clamp(quality, 0.0, 1.0) * 100));
    jpeg_set_quality(&cinfo, std::max(q, 1), TRUE);
    if (q >= 90) {
        // Full chroma resolution at high quality, as image tools do.
        for (int i = 0; i < cinfo.num_components; ++i) cinfo.comp_info[i].h_samp_factor = cinfo.comp_info[i].v_samp_factor = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);
    const uint8_t* d = image.data();
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(d + size_t(cinfo.next_scanline) * image.bytesPerRow());
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Data out(buf, buf + len);
    free(buf);
    return out;
}

// ---- GIF

std::shared_ptr<CGImage> decodeGIF(const uint8_t* bytes, size_t size) {
    auto reader = makeGIFReader();
    reader->update(bytes, size, true);
    return reader->count() && !reader->invalid() ? reader->image(0) : nullptr;
}

}  // namespace imageio
