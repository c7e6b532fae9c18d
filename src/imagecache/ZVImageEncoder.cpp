#include "imagecache/ZVImageEncoder.h"

#include <zlib.h>

#include <cmath>

#include "imagecache/ZVImageDecoder.h"
#include "imagecache/ZVPNGInfo.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/ImageDestination.h"

namespace {

void putBE32(Data& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
}
void putBE16(Data& out, uint16_t v) { out.push_back(uint8_t(v >> 8)), out.push_back(uint8_t(v)); }

// A chunk: length, type, body, CRC-32 over type and body.
void writeChunk(Data& out, const char (&type)[5], const Data& body) {
    putBE32(out, uint32_t(body.size()));
    size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    uLong crc = crc32(0L, out.data() + typeAt, uInt(4 + body.size()));
    putBE32(out, uint32_t(crc));
}

void writeAnimationControl(Data& out, size_t frames, size_t loopCount) {
    Data body;
    putBE32(body, uint32_t(frames)), putBE32(body, uint32_t(std::min<size_t>(loopCount, 0xFFFFFFFFu)));
    writeChunk(out, "acTL", body);
}

// Each frame replaces its rectangle at the top-left and is cleared after.
void writeFrameControl(Data& out, uint32_t sequence, uint32_t width, uint32_t height, double duration) {
    auto [num, den] = ZVPNGDelayToFraction(duration);
    Data body;
    putBE32(body, sequence), putBE32(body, width), putBE32(body, height), putBE32(body, 0), putBE32(body, 0);
    putBE16(body, num), putBE16(body, den);
    body.push_back(1);  // dispose to background
    body.push_back(0);  // blend: source
    writeChunk(out, "fcTL", body);
}

void writeFrameData(Data& out, uint32_t sequence, const uint8_t* idat, uint32_t length) {
    Data body;
    putBE32(body, sequence);
    body.insert(body.end(), idat, idat + length);
    writeChunk(out, "fdAT", body);
}

constexpr uint32_t kIDAT = ZVPNGFourCC("IDAT");

std::shared_ptr<UIImage> imageFromFile(const std::filesystem::path& path) {
    auto bytes = files::readData(path);
    return bytes ? UIImage::imageWithData(*bytes) : nullptr;
}

}  // namespace

std::pair<uint16_t, uint16_t> ZVPNGDelayToFraction(double d) {
    if (d >= 255) return {255, 1};
    if (!(d > 1.0 / 255)) return {1, 255};
    // Convergents p/q of d's continued fraction, from 0/1 and 1/0.
    int64_t p0 = 0, q0 = 1, p1 = 1, q1 = 0;
    uint16_t num = 0, den = 0;
    for (int term = 0; term < 8; ++term) {
        double a = std::round(std::floor(d));
        int64_t p = int64_t(a) * p1 + p0, q = int64_t(a) * q1 + q0;
        if (p > 255 || q > 255) break;
        num = uint16_t(p), den = uint16_t(q);
        p0 = p1, q0 = q1, p1 = p, q1 = q;
        if (std::fabs(d - a) < 0.5 / 255) break;
        d = 1 / (d - a);
    }
    if (num == 0 || den == 0) return {1, 100};
    return {num, den};
}

std::unique_ptr<ZVImageEncoder> ZVImageEncoder::create(ZVImageType type) {
    uint32_t value = uint32_t(type);
    if (value == 0 || value > 9) {
        NSLog("[%s: %d] Unsupported image type:%d", "-[ZVImageEncoder initWithType:]", 2326, int(value));
        return nullptr;
    }
    if (type == ZVImageType::WebP) {
        ZVLogWebPUnavailable("-[ZVImageEncoder initWithType:]", 2332);
        return nullptr;
    }
    return std::unique_ptr<ZVImageEncoder>(new ZVImageEncoder(type));
}

ZVImageEncoder::ZVImageEncoder(ZVImageType type) : type_(type) {
    bool lossy = type == ZVImageType::JPEG || type == ZVImageType::JPEG2000;
    lossless_ = !lossy;
    quality_ = lossy ? 0.9 : 1.0;
}

void ZVImageEncoder::setQuality(double q) { quality_ = std::isnan(q) ? 0 : std::clamp(q, 0.0, 1.0); }

namespace {
double storedDuration(double d) { return d > 0 ? d : 0; }
}  // namespace

void ZVImageEncoder::addImage(const std::shared_ptr<UIImage>& image, double duration) {
    if (!image || !image->CGImage()) return;
    images_.emplace_back(image);
    durations_.push_back(storedDuration(duration));
}

void ZVImageEncoder::addImageWithData(const Data& data, double duration) {
    if (data.empty()) return;
    images_.emplace_back(data);
    durations_.push_back(storedDuration(duration));
}

void ZVImageEncoder::addImageWithFile(const std::string& path, double duration) {
    if (path.empty()) return;
    std::filesystem::path file = path;
    if (strings::hasPrefix(path, "file://")) {
        std::string rest = path.substr(7);
        if (strings::hasPrefix(rest, "localhost/")) rest = rest.substr(9);
        if (rest.empty() || rest[0] != '/') return;
        file = strings::percentDecode(rest);
    } else if (path.find("://") != std::string::npos) {
        return;
    }
    images_.emplace_back(file);
    durations_.push_back(storedDuration(duration));
}

// The item as an image, orientation and all (EXIF for encoded items).
std::shared_ptr<CGImage> ZVImageEncoder::platformImage(size_t index) const {
    std::shared_ptr<UIImage> image;
    if (auto* ui = std::get_if<std::shared_ptr<UIImage>>(&images_[index])) image = *ui;
    else if (auto* data = std::get_if<Data>(&images_[index])) image = UIImage::imageWithData(*data);
    else image = imageFromFile(std::get<std::filesystem::path>(images_[index]));
    if (!image || !image->CGImage()) return nullptr;
    const auto& bitmap = image->CGImage();
    if (image->imageOrientation() == UIImageOrientation::Up) return bitmap;
    return ZVCopyCGImageWithOrientation(bitmap, image->imageOrientation(), bitmap->bitmapInfo());
}

// The item upright and in the display layout, as the APNG writer wants it.
std::shared_ptr<CGImage> ZVImageEncoder::frameImage(size_t index) const {
    auto bitmap = platformImage(index);
    return bitmap ? ZVCopyDecodedCGImage(bitmap, true) : nullptr;
}

std::optional<Data> ZVImageEncoder::encode() const {
    if (images_.empty()) return std::nullopt;
    if (type_ != ZVImageType::PNG || images_.size() == 1) return encodeWithPlatform();
    return encodeAPNG();
}

bool ZVImageEncoder::encodeToFile(const std::filesystem::path& path) const {
    if (images_.empty() || path.empty()) return false;
    auto data = encode();
    return data && files::writeAtomically(path, *data);
}

std::optional<Data> ZVImageEncoder::encodeWithPlatform() const {
    const bool gif = type_ == ZVImageType::GIF;
    size_t count = gif ? images_.size() : 1;
    auto destination = imageio::ImageDestination::create(ZVImageFormatForType(type_), count);
    if (!destination) return std::nullopt;
    if (gif)
        destination->setProperties(Value::dict(
            {{imageio::kPropertyGIFDictionary, Value::dict({{imageio::kPropertyGIFLoopCount, loopCount_}})}}));
    for (size_t i = 0; i < count; ++i) {
        Value props = gif && images_.size() > 1
                          ? Value::dict({{imageio::kPropertyGIFDictionary,
                                          Value::dict({{imageio::kPropertyGIFDelayTime, durations_[i]}})}})
                          : Value::dict({{imageio::kDestinationLossyCompressionQuality, quality_}});
        // Items that cannot be read are left out.
        if (auto image = platformImage(i)) destination->addImage(image, props);
    }
    auto data = destination->finalize();
    if (!data || data->empty()) return std::nullopt;
    return data;
}

std::optional<Data> ZVImageEncoder::encodeAPNG() const {
    std::vector<Data> pngs;
    std::shared_ptr<CGImage> first;
    int canvasW = 0, canvasH = 0;
    for (size_t i = 0; i < images_.size(); ++i) {
        auto image = frameImage(i);
        if (!image) return std::nullopt;
        if (i == 0) first = image;
        auto png = imageio::encodePNG(*image, true);
        if (!png) return std::nullopt;
        pngs.push_back(std::move(*png));
        canvasW = std::max(canvasW, image->width()), canvasH = std::max(canvasH, image->height());
    }
    if (first->width() < canvasW || first->height() < canvasH) {
        // Frame 0 is the default image: it takes the canvas size, content at the top-left.
        auto ctx = CGContext::bitmapContext(canvasW, canvasH, kBitmapInfoPremultipliedFirst);
        if (!ctx) return std::nullopt;
        ctx->drawImage(CGRect(0, canvasH - first->height(), first->width(), first->height()), *first);
        auto png = imageio::encodePNG(*ctx->bitmapImage(), true);
        if (!png) return std::nullopt;
        pngs[0] = std::move(*png);
    }
    auto info = ZVPNGInfoCreate(pngs[0].data(), pngs[0].size());
    if (!info) return std::nullopt;
    Data out(pngs[0].begin(), pngs[0].begin() + 8);
    uint32_t sequence = 0;
    bool inImageData = false, othersWritten = false;
    for (const ZVPNGChunkInfo& c : info->chunks) {
        if (c.fourcc == kIDAT && !inImageData && !othersWritten) {
            writeAnimationControl(out, images_.size(), loopCount_);
            writeFrameControl(out, sequence++, info->header.width, info->header.height, durations_[0]);
            inImageData = true;
        } else if (c.fourcc != kIDAT && inImageData) {
            inImageData = false, othersWritten = true;
            for (size_t i = 1; i < pngs.size(); ++i) {
                auto frame = ZVPNGInfoCreate(pngs[i].data(), pngs[i].size());
                if (!frame) return std::nullopt;
                writeFrameControl(out, sequence++, frame->header.width, frame->header.height, durations_[i]);
                for (const ZVPNGChunkInfo& d : frame->chunks)
                    if (d.fourcc == kIDAT) writeFrameData(out, sequence++, pngs[i].data() + d.offset + 8, d.length);
            }
        }
        out.insert(out.end(), pngs[0].begin() + long(c.offset), pngs[0].begin() + long(c.offset + c.length + 12));
    }
    return out;
}

std::optional<Data> ZVImageEncoder::encodeImage(const std::shared_ptr<UIImage>& image, ZVImageType type,
                                                double quality) {
    auto encoder = create(type);
    if (!encoder) return std::nullopt;
    encoder->setQuality(quality);
    encoder->addImage(image, 0);
    return encoder->encode();
}

std::optional<Data> ZVImageEncoder::encodeImageWithDecoder(ZVImageDecoder* decoder, ZVImageType type,
                                                           double quality) {
    if (!decoder || decoder->frameCount() == 0) return std::nullopt;
    auto encoder = create(type);
    if (!encoder) return std::nullopt;
    encoder->setQuality(quality);
    for (size_t i = 0; i < decoder->frameCount(); ++i) {
        auto frame = decoder->frameAtIndex(i, true);
        if (!frame || !frame->image) continue;
        if (auto png = ZVCreateEncodedImageData(frame->image->CGImage(), ZVImageType::PNG, 1.0))
            encoder->addImageWithData(*png, decoder->frameDurationAtIndex(i));
    }
    return encoder->encode();
}
