#pragma once
// The vocabulary of web-image requests, shared by the manager, the
// operation and the view setters: option bits, where an image came from,
// the stage of a delivery, and the three handler types.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/Error.h"
#include "platform/foundation/NSURL.h"
#include "platform/graphics/UIImage.h"

using ZVWebImageOptions = unsigned;
enum : ZVWebImageOptions {
    // Counted in the network activity indicator while its connection runs
    // (not for file URLs).
    ZVWebImageOptionNetworkIndicator = 1 << 0,
    // Partial images while downloading (stage -1).
    ZVWebImageOptionProgressiveDisplay = 1 << 1,
    // Blurred partial images, for progressive JPEG and interlaced PNG only.
    ZVWebImageOptionProgressiveBlurDisplay = 1 << 2,
    // Skips the image cache's lookups. There is no HTTP cache here, so the
    // request always goes out.
    ZVWebImageOptionUseURLCache = 1 << 3,
    // TLS without verification.
    ZVWebImageOptionTrustAnyServerCertificate = 1 << 4,
    // Does nothing here: there is no background task to run in.
    ZVWebImageOptionBackgroundTask = 1 << 5,
    // The process's cookie store is sent and filled.
    ZVWebImageOptionSendCookies = 1 << 6,
    // Skips the image cache's lookups; the store runs even without an image.
    ZVWebImageOptionReloadIgnoringImageCache = 1 << 7,
    // No disk lookup; the result goes to the memory cache only.
    ZVWebImageOptionMemoryCacheOnly = 1 << 8,
    // The view setters show no placeholder.
    ZVWebImageOptionNoPlaceholder = 1 << 9,
    // The final image is not decoded for display.
    ZVWebImageOptionNoDecode = 1 << 10,
    // The first frame only, as a still image.
    ZVWebImageOptionFirstFrameOnly = 1 << 11,
    // The view setters cross-fade.
    ZVWebImageOptionFadeIn = 1 << 12,
    // The view setters never set the image; only the completion sees it.
    ZVWebImageOptionManualSet = 1 << 13,
    // A URL that failed for good fails at once afterwards (for the process's life).
    ZVWebImageOptionSkipFailedURLs = 1 << 14,
};

enum ZVWebImageSource : long {
    ZVWebImageSourceNone = 0,             // no image: error or cancellation
    ZVWebImageSourceMemoryImmediate = 1,  // memory, looked up by a view setter on the main thread
    ZVWebImageSourceMemory = 2,           // memory, looked up by the operation
    ZVWebImageSourceDisk = 3,
    ZVWebImageSourceNetwork = 4,  // downloaded; every partial image too
};

enum ZVWebImageStage : long {
    ZVWebImageStageIntermediate = -1,  // a partial image; more calls follow
    ZVWebImageStageCancelled = 0,      // cancelled or superseded: no image, no error
    ZVWebImageStageFinished = 1,       // an image, or none and an error
};

// Bytes received so far and the expected total: the response's length, -1
// when it says none, a file's size, 0 when nothing is known.
using ZVWebImageProgressHandler = std::function<void(int64_t receivedSize, int64_t expectedSize)>;
// Applied once to the final image, on a decode queue, before it is cached
// and delivered.
using ZVWebImageTransformHandler =
    std::function<std::shared_ptr<UIImage>(std::shared_ptr<UIImage> image, const NSURL& url)>;
// Called for each partial image and once at the end (finished or
// cancelled), never after a finished call.
using ZVWebImageCompletionHandler =
    std::function<void(std::shared_ptr<UIImage> image, const NSURL& url, ZVWebImageSource from, ZVWebImageStage stage,
                       const std::optional<Error>& error)>;

// The domains of the errors made here (besides NSURLErrorDomain).
inline constexpr const char* ZVWebImageErrorDomain = "com.odvanel.webimage";
inline constexpr const char* ZVImageErrorDomain = "com.odvanel.image";
