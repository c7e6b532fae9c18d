#pragma once
// The per-format readers behind ImageSource (internal to the graphics layer).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/CGImage.h"

namespace imageio {

class FormatReader {
public:
    virtual ~FormatReader() = default;
    // Reads every byte received so far; `final` when no more will come. The
    // bytes stay valid until the next update or the reader's end, so a
    // reader may keep pointing at them.
    virtual void update(const uint8_t* bytes, size_t size, bool final) = 0;
    // Damaged, or claiming sizes beyond the pixel budget.
    virtual bool invalid() const = 0;
    virtual size_t count() const = 0;
    virtual Value properties() const { return Value(); }
    virtual Value frameProperties(size_t index) const = 0;
    virtual std::shared_ptr<CGImage> image(size_t index) = 0;
    // The image at a reduced size no smaller than leastWidth x leastHeight
    // where the format decodes one cheaply (a JPEG 2000's lower
    // resolutions), else whole.
    virtual std::shared_ptr<CGImage> reducedImage(size_t index, int leastWidth, int leastHeight) {
        (void)leastWidth, (void)leastHeight;
        return image(index);
    }
};

std::unique_ptr<FormatReader> makePNGReader();
std::unique_ptr<FormatReader> makeJPEGReader();
std::unique_ptr<FormatReader> makeGIFReader();
std::unique_ptr<FormatReader> makeBMPReader();
std::unique_ptr<FormatReader> makeICOReader();
std::unique_ptr<FormatReader> makeICNSReader();
std::unique_ptr<FormatReader> makeTIFFReader();
std::unique_ptr<FormatReader> makeJPEG2000Reader();

// A device-independent bitmap (a BMP without its 14-byte file header): the
// size it claims, and its pixels. In an icon the height counts the colour
// rows and the AND mask (transparent where a bit is set) that follows them.
struct DIBSize {
    int width = 0, height = 0;
};
std::optional<DIBSize> dibSize(const uint8_t* dib, size_t size, bool inIcon);
// `pixelOffset` is where the pixels start, counted from `dib` (0: right
// after the header and colour table). Rows missing from a prefix stay transparent.
std::shared_ptr<CGImage> decodeDIB(const uint8_t* dib, size_t size, bool inIcon, size_t pixelOffset = 0);

// The width and height in a PNG's IHDR; nullopt when the bytes do not start one.
std::optional<DIBSize> pngSize(const uint8_t* png, size_t size);

// Big- and little-endian reads.
inline uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
inline uint16_t be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
inline uint32_t le32(const uint8_t* p) { return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]; }
inline uint16_t le16(const uint8_t* p) { return uint16_t(p[1] << 8 | p[0]); }

// The work a file's frames may cost together: the pixels each listed frame
// decodes (a GIF frame also the screen it is composed on), summed over the
// frames. Readers of many-frame formats (GIF frames, TIFF pages) list frames
// only while the sum stays within kMaxFrameWork, so a small file of many
// frames or pages of a huge size plays a few of them, not minutes of
// decoding (an 8000 x 8000 GIF screen or an 8192 x 8192 TIFF page: 16
// frames). Honest files reach it too (150 A4 pages scanned at 300 dpi list
// 123; a 1920 x 1080 GIF, 517 frames), so a reader that cuts a file says so
// in the log, once, when the file's last bytes are read.
inline constexpr uint64_t kMaxFrameWork = uint64_t(1) << 30;

class FrameWork {
public:
    // Counts a frame of `pixels`; false, counting nothing, past the bound.
    bool admit(uint64_t pixels) {
        if (pixels > kMaxFrameWork - spent_) return false;
        spent_ += pixels;
        return true;
    }
    uint64_t spent() const { return spent_; }
    // The log line of a file whose frames (or pages: `unit`) past `listed`
    // of `total` were left out for this bound.
    static void logCut(const char* format, const char* unit, size_t listed, const std::string& total) {
        NSLog("%s: %zu of %s %s listed; the rest are left out, past the bound of %llu pixels decoded per file", format,
              listed, total.c_str(), unit, static_cast<unsigned long long>(kMaxFrameWork));
    }

private:
    uint64_t spent_ = 0;
};

// {"PixelWidth": w, "PixelHeight": h, "HasAlpha": alpha}.
Value sizeProperties(int width, int height, bool hasAlpha);

}  // namespace imageio
