// A JPEG's one image. The header is read once it has arrived whole; the
// pixels decode from whatever bytes are there, so a prefix gives the rows
// (or, for a progressive file, the scans) that have arrived.

#include "platform/graphics/ImageReaders.h"
#include "platform/graphics/ImageSource.h"

namespace imageio {

namespace {

class JPEGReader : public FormatReader {
public:
    void update(const uint8_t* bytes, size_t size, bool) override {
        bytes_ = bytes, size_ = size;
        if (header_) return;
        header_ = readJPEGHeader(bytes, size);
        invalid_ = header_ && !CGImage::fitsBudget(header_->width, header_->height);
    }
    bool invalid() const override { return invalid_; }
    size_t count() const override { return header_ && !invalid_ ? 1 : 0; }

    Value frameProperties(size_t) const override {
        Value props = sizeProperties(header_->width, header_->height, false);
        props.set(kPropertyOrientation, header_->exifOrientation);
        props.set(kPropertyJFIFDictionary, Value::dict({{kPropertyJFIFIsProgressive, header_->progressive}}));
        return props;
    }

    std::shared_ptr<CGImage> image(size_t) override { return decodeJPEG(bytes_, size_); }

private:
    const uint8_t* bytes_ = nullptr;
    size_t size_ = 0;
    bool invalid_ = false;
    std::optional<JPEGHeader> header_;
};

}  // namespace

std::unique_ptr<FormatReader> makeJPEGReader() { return std::make_unique<JPEGReader>(); }

}  // namespace imageio
