// PNG's first image. Complete data decodes in one go (ImageIO's decodePNG);
// data still arriving goes through libpng's progressive reader, fed only
// the new bytes of each update, so a prefix shows the rows read so far.

#include <png.h>
#include <setjmp.h>

#include <cstring>

#include "platform/graphics/ImageReaders.h"
#include "platform/graphics/ImageSource.h"
#include "platform/graphics/PixelLayout.h"

namespace imageio {

std::optional<DIBSize> pngSize(const uint8_t* p, size_t n) {
    if (n < 24 || std::memcmp(p, "\x89PNG\r\n\x1a\n", 8) != 0 || std::memcmp(p + 12, "IHDR", 4) != 0)
        return std::nullopt;
    uint32_t w = be32(p + 16), h = be32(p + 20);
    if (w == 0 || h == 0 || w > INT32_MAX || h > INT32_MAX) return std::nullopt;
    return DIBSize{int(w), int(h)};
}

namespace {

// Straight BGRA rows (alpha-first words of a little-endian host).
constexpr uint32_t kRowLayout = kCGImageAlphaFirst | kCGBitmapByteOrder32Little;

class ProgressivePNG {
public:
    ProgressivePNG() {
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, onError, onWarning);
        if (png_) info_ = png_create_info_struct(png_);
        if (!png_ || !info_) {
            failed_ = true;
            return;
        }
        png_set_user_limits(png_, png_uint_32(CGImage::kMaxSide), png_uint_32(CGImage::kMaxSide));
        png_set_progressive_read_fn(png_, this, onInfo, onRow, nullptr);
    }
    ~ProgressivePNG() { png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr); }
    ProgressivePNG(const ProgressivePNG&) = delete;
    ProgressivePNG& operator=(const ProgressivePNG&) = delete;

    // libpng reports errors by longjmp; nothing local changes after setjmp.
    void feed(const uint8_t* bytes, size_t size) {
        if (failed_ || size == 0) return;
        if (setjmp(png_jmpbuf(png_))) {
            failed_ = true;
            return;
        }
        png_process_data(png_, info_, const_cast<uint8_t*>(bytes), size);
    }

    std::shared_ptr<CGImage> snapshot() const {
        if (!rows_ || !rowsSeen_) return nullptr;
        return CGImageCreateWithPixels(rows_->data(), rows_->width(), rows_->height(), rows_->bytesPerRow(),
                                       kRowLayout);
    }

private:
    static void onError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
    static void onWarning(png_structp, png_const_charp) {}

    static void onInfo(png_structp png, png_infop info) {
        auto* self = static_cast<ProgressivePNG*>(png_get_progressive_ptr(png));
        png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
        if (!CGImage::fitsBudget(w, h)) png_error(png, "image beyond the pixel budget");
        int type = png_get_color_type(png, info);
        if (png_get_bit_depth(png, info) == 16) png_set_strip_16(png);
        if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
        if (type == PNG_COLOR_TYPE_GRAY) png_set_expand_gray_1_2_4_to_8(png);
        if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
        if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
        png_set_bgr(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        self->rows_ = PixelBuffer::allocate(int(w), int(h), kRowLayout);
        if (!self->rows_) png_error(png, "out of memory");
        // Rows not yet read show as transparent; interlace passes combine into them.
        std::memset(self->rows_->data(), 0, self->rows_->byteCount());
    }

    static void onRow(png_structp png, png_bytep row, png_uint_32 number, int) {
        auto* self = static_cast<ProgressivePNG*>(png_get_progressive_ptr(png));
        if (!row || !self->rows_ || number >= png_uint_32(self->rows_->height())) return;
        png_progressive_combine_row(png, self->rows_->data() + size_t(number) * self->rows_->bytesPerRow(), row);
        self->rowsSeen_ = true;
    }

    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    std::optional<PixelBuffer> rows_;
    bool failed_ = false, rowsSeen_ = false;
};

class PNGReader : public FormatReader {
public:
    void update(const uint8_t* bytes, size_t size, bool final) override {
        bytes_ = bytes, size_ = size, final_ = final;
        if (!header_ && size >= 29) readHeader();
        if (final || invalid_ || !header_) {
            progressive_.reset();
            return;
        }
        if (!progressive_) progressive_ = std::make_unique<ProgressivePNG>(), fed_ = 0;
        progressive_->feed(bytes + fed_, size - fed_);
        fed_ = size;
    }
    bool invalid() const override { return invalid_; }
    size_t count() const override { return header_ && !invalid_ ? 1 : 0; }

    Value frameProperties(size_t) const override {
        Value props = sizeProperties(header_->width, header_->height, hasAlpha_);
        props.set(kPropertyPNGDictionary, Value::dict({{kPropertyPNGInterlaceType, interlace_}}));
        return props;
    }

    std::shared_ptr<CGImage> image(size_t) override {
        if (final_) return decodePNG(bytes_, size_);
        return progressive_ ? progressive_->snapshot() : nullptr;
    }

private:
    void readHeader() {
        header_ = pngSize(bytes_, size_);
        invalid_ = !header_ || !CGImage::fitsBudget(header_->width, header_->height);
        if (invalid_) return;
        int type = bytes_[25];
        hasAlpha_ = type == 4 || type == 6;
        interlace_ = bytes_[28];
    }

    const uint8_t* bytes_ = nullptr;
    size_t size_ = 0, fed_ = 0;
    bool final_ = false, invalid_ = false, hasAlpha_ = false;
    int interlace_ = 0;
    std::optional<DIBSize> header_;
    std::unique_ptr<ProgressivePNG> progressive_;
};

}  // namespace

std::unique_ptr<FormatReader> makePNGReader() { return std::make_unique<PNGReader>(); }

}  // namespace imageio
