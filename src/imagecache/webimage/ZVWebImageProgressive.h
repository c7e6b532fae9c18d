#pragma once
// Partial images of one download, as the operation shows them while bytes
// arrive: plain ones, or blurred ones for progressive JPEG and interlaced
// PNG only, a JPEG's only once a new scan has begun, the blur falling as
// the bytes come in. The next one is due 0.2 s (0.4 s blurred) after the
// end of the last decode, so a picture slow to decode is decoded seldom.
// Times are seconds on the replaceable clock. Not thread-safe: one caller
// at a time (ZVWebImagePartials.h hands it from thread to thread).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/Value.h"
#include "platform/graphics/UIImage.h"

class ZVImageDecoder;

class ZVWebImageProgressive {
public:
    explicit ZVWebImageProgressive(bool blur);
    ~ZVWebImageProgressive();

    // Whether a partial image is worth trying after a piece of
    // `pieceLength` bytes: longer than 16 bytes, under 99% of a known total,
    // not given up, and the interval since the end of the last decode has
    // passed.
    bool isDue(size_t pieceLength, int64_t expectedSize, double now) const;
    // The partial image of `data` (all bytes so far), or null: nothing to
    // show yet, or given up (see ignored()). `cancelled` is asked between
    // the costly steps.
    std::shared_ptr<UIImage> partialImage(const Data& data, int64_t expectedSize, const std::function<bool()>& cancelled);
    // A partialImage call ended at `now`: the interval counts from here
    // (whether or not an image came of it, the bytes were read again).
    void decodeEnded(double now) { lastDecodeEnd_ = now; }
    bool ignored() const { return ignored_; }
    // The blur radius the last blurred image took (points).
    double lastRadius() const { return lastRadius_; }

    // The blur radius for `received` of `expected` bytes (expected <= 0:
    // by the count of blurred images shown, 1 for the first).
    static double blurRadius(size_t received, int64_t expected, unsigned displayCount);

private:
    void giveUp();
    // A start-of-scan marker among the bytes not searched before.
    bool newScanBegun(const Data& data);
    std::shared_ptr<UIImage> blurred(std::shared_ptr<UIImage> image, size_t received, int64_t expected);
    std::shared_ptr<UIImage> frameImage();

    const bool blur_;
    std::optional<double> lastDecodeEnd_;
    std::unique_ptr<ZVImageDecoder> decoder_;
    bool ignored_ = false;
    bool detected_ = false;  // progressive JPEG or interlaced PNG, seen once
    size_t scannedLength_ = 0;
    unsigned displayCount_ = 0;
    double lastRadius_ = 0;
};
