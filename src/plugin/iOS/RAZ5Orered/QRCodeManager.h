#pragma once
// QR codes: drawing a code as a sharp image (libqrencode), writing a code
// file with an optional logo in its middle, and reading codes from an
// image (zbar). The camera scanner screen joins this class later.

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

    // Writes a 256-pixel code of `text` as a JPEG (quality 1) to `savePath`,
    // with the image at `logoPath` (when given and loadable) fitted into
    // 64 × 64 and stretched over the middle square. Written to a temporary
    // name and renamed. False when nothing was written.
    static bool WriteQRCodeFile(const std::string& text, const std::string& savePath,
                                const std::optional<std::string>& logoPath);

    // The text of the QR code in the image; with several, the last one
    // found. nullopt when there is none.
    static std::optional<std::string> ReadQRCode(const UIImage& image);
};
