#include "platform/graphics/ImageSource.h"

#include "platform/graphics/ImageReaders.h"

namespace imageio {

double frameDisplayDelay(double raw) { return raw < 0.011 ? 0.1 : raw; }

Value sizeProperties(int width, int height, bool hasAlpha) {
    return Value::dict({{kPropertyPixelWidth, width}, {kPropertyPixelHeight, height}, {kPropertyHasAlpha, hasAlpha}});
}

namespace {
std::unique_ptr<FormatReader> readerFor(Format format) {
    switch (format) {
        case Format::PNG: return makePNGReader();
        case Format::JPEG: return makeJPEGReader();
        case Format::GIF: return makeGIFReader();
        case Format::BMP: return makeBMPReader();
        case Format::ICO: return makeICOReader();
        case Format::ICNS: return makeICNSReader();
        case Format::TIFF: return makeTIFFReader();
        case Format::JPEG2000: return makeJPEG2000Reader();
        default: return nullptr;
    }
}
}  // namespace

ImageSource::~ImageSource() = default;

std::unique_ptr<ImageSource> ImageSource::create(std::shared_ptr<const Data> data) {
    auto source = createIncremental();
    source->update(std::move(data), true);
    return source;
}

std::unique_ptr<ImageSource> ImageSource::create(const uint8_t* bytes, size_t size) {
    auto source = createIncremental();
    source->final_ = true;
    source->read(bytes, size, true);
    return source;
}

std::unique_ptr<ImageSource> ImageSource::createIncremental() { return std::unique_ptr<ImageSource>(new ImageSource()); }

void ImageSource::update(std::shared_ptr<const Data> data, bool final) {
    if (final_ || !data) return;
    data_ = std::move(data);
    final_ = final;
    read(data_->data(), data_->size(), final);
}

void ImageSource::read(const uint8_t* bytes, size_t size, bool final) {
    if (type_ == Format::Unknown) {
        type_ = sniff(bytes, size);
        reader_ = readerFor(type_);
    }
    if (reader_) reader_->update(bytes, size, final);
}

SourceStatus ImageSource::status() const {
    if (type_ == Format::Unknown) return SourceStatus::UnknownType;
    if (!reader_) return SourceStatus::UnsupportedType;
    if (reader_->invalid()) return SourceStatus::InvalidData;
    if (reader_->count() == 0) return final_ ? SourceStatus::InvalidData : SourceStatus::ReadingHeader;
    return final_ ? SourceStatus::Complete : SourceStatus::Incomplete;
}

size_t ImageSource::count() const { return reader_ && !reader_->invalid() ? reader_->count() : 0; }

Value ImageSource::properties() const { return count() ? reader_->properties() : Value(); }

Value ImageSource::propertiesAtIndex(size_t index) const {
    return index < count() ? reader_->frameProperties(index) : Value();
}

std::shared_ptr<CGImage> ImageSource::imageAtIndex(size_t index) {
    return index < count() ? reader_->image(index) : nullptr;
}

std::shared_ptr<CGImage> ImageSource::reducedImageAtIndex(size_t index, int leastWidth, int leastHeight) {
    return index < count() ? reader_->reducedImage(index, leastWidth, leastHeight) : nullptr;
}

}  // namespace imageio
