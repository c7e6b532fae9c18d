#pragma once
// QR codes: drawing a code as a sharp image (libqrencode), writing a code
// file with an optional logo in its middle, reading codes from an image
// (zbar), and the scanner screen (QRCodeViewController), of which at most
// one is held from ScanQRCode until its result has gone to the page.

#include <memory>
#include <optional>
#include <string>

#include "platform/graphics/UIImage.h"

class QRCodeManager {
public:
    enum class Correction { Low, Medium, Quartile, High };

    // The code for the text's UTF-8 bytes, drawn by CreateNonInterpolateUIImage
    // at `size`; nullptr for no text or a text too long for a code.
    static std::shared_ptr<UIImage> CreateQRCode(const std::optional<std::string>& text, double size,
                                                 Correction correction = Correction::Medium);
    // The code's modules, one pixel each, with a quiet zone of four modules
    // (black on white, no alpha); nullptr as above.
    static std::shared_ptr<CGImage> CreateModuleImage(const std::string& text, Correction correction);
    // Scales a module image by the largest factor that fits `size` without
    // smoothing, so each module is a block of whole, hard-edged pixels.
    static std::shared_ptr<UIImage> CreateNonInterpolateUIImage(const std::shared_ptr<CGImage>& image, double size);

    // A 256-pixel code of `text` as a JPEG (quality 1), with `logo` (when
    // given) fitted into 64 × 64 and stretched over the middle square;
    // nullopt when no code can be made.
    static std::optional<Data> QRCodeFileData(const std::string& text, const std::shared_ptr<UIImage>& logo);

    // The text of the QR code in the image; with several, the last one
    // found. nullopt when there is none.
    static std::optional<std::string> ReadQRCode(const UIImage& image);
    // The same within a rectangle of the bitmap's pixels (cut to the bitmap),
    // read from the pixels' luma.
    static std::optional<std::string> ReadQRCodeInRect(const CGImage& bitmap, const CGRect& pixelRect);

    // Shows the scanner over the bridge's root controller and starts it;
    // does nothing while a scanner is held. When the scanner cannot be
    // shown the page hears onScanQRCode without a value at once.
    static void ScanQRCode();
    // Drops the held scanner and sends the page onScanQRCode with the text
    // (none when the scan was abandoned).
    static void AcquireQRCode(const std::optional<std::string>& text);
    static bool isScannerHeld();
};
