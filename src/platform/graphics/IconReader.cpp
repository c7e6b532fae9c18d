// Icon containers: ICO and CUR (a directory of PNG or DIB entries) and ICNS
// (typed entries; those holding PNG data are read). Each entry is one
// image at its own size, taken from the entry's data rather than the
// directory's claim. Entries whose bytes lie outside the file, or whose
// size is beyond the pixel budget, are left out.

#include <cstring>
#include <vector>

#include "platform/graphics/ImageReaders.h"
#include "platform/graphics/ImageSource.h"

namespace imageio {

namespace {

struct IconEntry {
    size_t offset = 0, size = 0;
    bool png = false;
    int width = 0, height = 0;
};

bool isPNG(const uint8_t* p, size_t n) { return n >= 8 && std::memcmp(p, "\x89PNG\r\n\x1a\n", 8) == 0; }

// Fills in the entry's kind and size from its data; false when unreadable.
bool measure(const uint8_t* bytes, IconEntry& e, bool allowDIB) {
    const uint8_t* p = bytes + e.offset;
    e.png = isPNG(p, e.size);
    auto size = e.png ? pngSize(p, e.size) : allowDIB ? dibSize(p, e.size, true) : std::nullopt;
    if (!size || !CGImage::fitsBudget(size->width, size->height)) return false;
    e.width = size->width, e.height = size->height;
    return true;
}

class IconReader : public FormatReader {
public:
    explicit IconReader(bool icns) : icns_(icns) {}

    void update(const uint8_t* bytes, size_t size, bool) override {
        bytes_ = bytes;
        entries_.clear();
        if (icns_) readICNS(bytes, size);
        else readICO(bytes, size);
    }
    bool invalid() const override { return false; }
    size_t count() const override { return entries_.size(); }
    Value frameProperties(size_t index) const override {
        return sizeProperties(entries_[index].width, entries_[index].height, true);
    }

    std::shared_ptr<CGImage> image(size_t index) override {
        const IconEntry& e = entries_[index];
        const uint8_t* p = bytes_ + e.offset;
        return e.png ? decodePNG(p, e.size) : decodeDIB(p, e.size, true);
    }

private:
    // Header: reserved 0, type 1 (icon) or 2 (cursor), entry count; then
    // 16-byte entries whose last two fields are the data's size and offset.
    void readICO(const uint8_t* p, size_t n) {
        if (n < 6 || le16(p) != 0 || (le16(p + 2) != 1 && le16(p + 2) != 2)) return;
        size_t count = le16(p + 4);
        for (size_t i = 0; i < count && 6 + (i + 1) * 16 <= n; ++i) {
            const uint8_t* d = p + 6 + i * 16;
            IconEntry e;
            e.size = le32(d + 8), e.offset = le32(d + 12);
            if (e.offset > n || n - e.offset < e.size || e.size == 0) continue;
            if (measure(p, e, true)) entries_.push_back(e);
        }
    }

    // "icns", the file's length; then entries of a type, a length that
    // counts its own 8 bytes, and the data.
    void readICNS(const uint8_t* p, size_t n) {
        if (n < 8 || std::memcmp(p, "icns", 4) != 0) return;
        size_t end = std::min<size_t>(n, be32(p + 4));
        for (size_t at = 8; at + 8 <= end;) {
            size_t length = be32(p + at + 4);
            if (length < 8 || length > end - at) break;
            IconEntry e;
            e.offset = at + 8, e.size = length - 8;
            if (isPNG(p + e.offset, e.size) && measure(p, e, false)) entries_.push_back(e);
            at += length;
        }
    }

    bool icns_;
    const uint8_t* bytes_ = nullptr;
    std::vector<IconEntry> entries_;
};

}  // namespace

std::unique_ptr<FormatReader> makeICOReader() { return std::make_unique<IconReader>(false); }
std::unique_ptr<FormatReader> makeICNSReader() { return std::make_unique<IconReader>(true); }

}  // namespace imageio
