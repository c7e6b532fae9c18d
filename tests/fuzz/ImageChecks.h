#pragma once
// What the image-file targets check of the images a source lists: each
// decodes (or fails) within the pixel budget at the size its properties
// state; for TIFF and JPEG 2000 also with the alpha they state, and a small
// one written again losslessly in the same format reads back word for word.
// Images after the first are decoded while their pixels stay within one
// bitmap's budget in all: many huge pages (a TIFF's listed up to the
// frame-work bound) would make each run take many seconds.

#include <cstring>

#include "FuzzSupport.h"
#include "platform/graphics/ImageDestination.h"
#include "platform/graphics/ImageSource.h"

namespace fuzz {

inline bool sameWords(const CGImage& a, const CGImage& b) {
    if (a.width() != b.width() || a.height() != b.height() || a.hasAlpha() != b.hasAlpha()) return false;
    const uint32_t mask = a.hasAlpha() ? 0xFFFFFFFFu : 0x00FFFFFFu;
    for (int y = 0; y < a.height(); ++y) {
        auto* pa = reinterpret_cast<const uint32_t*>(a.data() + size_t(y) * a.bytesPerRow());
        auto* pb = reinterpret_cast<const uint32_t*>(b.data() + size_t(y) * b.bytesPerRow());
        for (int x = 0; x < a.width(); ++x)
            if ((pa[x] & mask) != (pb[x] & mask)) return false;
    }
    return true;
}

// The image at `index`, null when it does not decode.
inline std::shared_ptr<CGImage> checkedImage(imageio::ImageSource& source, size_t index) {
    Value props = source.propertiesAtIndex(index);
    auto image = source.imageAtIndex(index);
    if (!image) return nullptr;
    FUZZ_CHECK(CGImage::fitsBudget(image->width(), image->height()));
    FUZZ_CHECK(image->width() == props[imageio::kPropertyPixelWidth].intValue());
    FUZZ_CHECK(image->height() == props[imageio::kPropertyPixelHeight].intValue());
    return image;
}

inline void checkImages(const uint8_t* data, size_t size, imageio::Format format) {
    auto source = imageio::ImageSource::create(data, size);
    if (source->type() != format) return;  // mutated into another format
    int64_t pixels = 0;
    for (size_t i = 0; i < source->count() && i < 8; ++i) {
        Value stated = source->propertiesAtIndex(i);
        pixels += stated[imageio::kPropertyPixelWidth].intValue() * stated[imageio::kPropertyPixelHeight].intValue();
        if (i > 0 && pixels > CGImage::kMaxPixels) break;
        auto image = checkedImage(*source, i);
        if (!image) continue;
        Value props = source->propertiesAtIndex(i);
        FUZZ_CHECK(image->hasAlpha() == props[imageio::kPropertyHasAlpha].boolValue());
        if (int64_t(image->width()) * image->height() > 4096) continue;
        auto dest = imageio::ImageDestination::create(format, 1);
        dest->addImage(image, Value::dict({{imageio::kDestinationLossyCompressionQuality, 1.0}}));
        auto again = dest->finalize();
        FUZZ_CHECK(again);
        auto back = imageio::ImageSource::create(again->data(), again->size())->imageAtIndex(0);
        FUZZ_CHECK(back && sameWords(*back, *image));
    }
    FUZZ_CHECK(!source->imageAtIndex(source->count()));
}

}  // namespace fuzz
