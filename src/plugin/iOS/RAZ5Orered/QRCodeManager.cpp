#include "plugin/iOS/RAZ5Orered/QRCodeManager.h"

#include <qrencode.h>
#include <zbar.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/foundation/Error.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PlatformLog.h"
#include "plugin/iOS/RAZ5Orered/QREncodeLibrary.h"
#include "plugin/iOS/RAZ5Orered/Utils.h"
#include "plugin/iOS/RAZ5Orered/ZBarLibrary.h"

namespace {

constexpr int kQuietZone = 4;
constexpr int kCodeSize = 256;
constexpr int kLogoSize = 64;

QRecLevel level(QRCodeManager::Correction c) {
    switch (c) {
        case QRCodeManager::Correction::Low: return QR_ECLEVEL_L;
        case QRCodeManager::Correction::Quartile: return QR_ECLEVEL_Q;
        case QRCodeManager::Correction::High: return QR_ECLEVEL_H;
        default: return QR_ECLEVEL_M;
    }
}

}  // namespace

std::shared_ptr<CGImage> QRCodeManager::CreateModuleImage(const std::string& text, Correction correction) {
    // Byte mode on the text's UTF-8 bytes (any text, NUL bytes included).
    if (!qrencodelib::available()) return nullptr;
    QRcode* code = qrencodelib::QRcode_encodeData(int(text.size()), reinterpret_cast<const unsigned char*>(text.data()),
                                                  0, level(correction));
    if (!code) return nullptr;
    int side = code->width + 2 * kQuietZone;
    auto image = CGImage::create(side, side, false);
    if (image) {
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                int mx = x - kQuietZone, my = y - kQuietZone;
                bool dark = mx >= 0 && my >= 0 && mx < code->width && my < code->width &&
                            (code->data[my * code->width + mx] & 1);
                uint8_t v = dark ? 0 : 255;
                image->setPixel(x, y, RGBA8{v, v, v, 255});
            }
    }
    qrencodelib::QRcode_free(code);
    return image;
}

std::shared_ptr<UIImage> QRCodeManager::CreateNonInterpolateUIImage(const std::shared_ptr<CGImage>& image, double size) {
    if (!image) return nullptr;
    double extentW = image->width(), extentH = image->height();
    double scale = std::min(size / extentW, size / extentH);
    // A hair of slack so that 29 modules × (256 / 29) still make 256 pixels.
    int w = int(extentW * scale + 1e-6), h = int(extentH * scale + 1e-6);
    auto ctx = CGContext::bitmap(CGSize(w, h), true, 1);
    if (!ctx) return nullptr;
    ctx->setInterpolationQuality(CGInterpolationQuality::None);
    ctx->scaleBy(scale, scale);
    ctx->drawImage(CGRect(0, 0, extentW, extentH), *image);
    return UIImage::imageWithCGImage(ctx->makeImage(), 1);
}

std::shared_ptr<UIImage> QRCodeManager::CreateQRCode(const std::optional<std::string>& text, double size,
                                                     Correction correction) {
    if (!text) return nullptr;
    return CreateNonInterpolateUIImage(CreateModuleImage(*text, correction), size);
}

std::optional<Data> QRCodeManager::QRCodeFileData(const std::string& text, const std::shared_ptr<UIImage>& source) {
    std::shared_ptr<UIImage> logo;
    if (source) logo = Utils::GetThumbnail(source, kLogoSize, kLogoSize, false, false, false);
    // A logo hides the middle of the code: the highest correction level
    // keeps such a code readable.
    auto code = CreateQRCode(text, kCodeSize, logo ? Correction::High : Correction::Medium);
    if (!code) return std::nullopt;
    std::shared_ptr<UIImage> result = code;
    if (logo) {
        auto ctx = CGContext::bitmap(CGSize(kCodeSize, kCodeSize), true, 1);
        if (ctx) {
            code->drawInRect(*ctx, CGRect(0, 0, kCodeSize, kCodeSize));
            logo->drawInRect(*ctx, CGRect((kCodeSize - kLogoSize) / 2, (kCodeSize - kLogoSize) / 2, kLogoSize, kLogoSize));
            if (auto composed = UIImage::imageWithCGImage(ctx->makeImage(), 1)) result = composed;
        }
    }
    return UIImageJPEGRepresentation(result.get(), 1.0);
}

std::optional<std::string> QRCodeManager::ReadQRCode(const UIImage& image) {
    const auto& bitmap = image.CGImage();
    if (!bitmap) return std::nullopt;
    // The reader finds codes at any rotation, so orientation does not matter.
    return ReadQRCodeInRect(*bitmap, CGRect(0, 0, bitmap->width(), bitmap->height()));
}

std::optional<std::string> QRCodeManager::ReadQRCodeInRect(const CGImage& bitmap, const CGRect& pixelRect) {
    CGRect r = CGRect(std::floor(pixelRect.minX()), std::floor(pixelRect.minY()),
                      std::floor(pixelRect.width()), std::floor(pixelRect.height()))
                   .intersection(CGRect(0, 0, bitmap.width(), bitmap.height()));
    if (r.isEmpty() || !zbarlib::available()) return std::nullopt;
    // Grey values (8 bits per pixel); transparent pixels read as white, as on a page.
    int x0 = int(r.minX()), y0 = int(r.minY()), w = int(r.width()), h = int(r.height());
    auto* grey = static_cast<unsigned char*>(std::malloc(size_t(w) * size_t(h)));
    if (!grey) return std::nullopt;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            RGBA8 p = bitmap.pixelAt(x0 + x, y0 + y);
            double lum = 0.299 * p.r + 0.587 * p.g + 0.114 * p.b;
            double a = bitmap.hasAlpha() ? p.a / 255.0 : 1.0;
            grey[size_t(y) * size_t(w) + size_t(x)] = (unsigned char)std::lround(lum * a + 255.0 * (1 - a));
        }
    using namespace zbar;  // the reader's C interface lives in this namespace under C++
    zbar_image_scanner_t* scanner = zbarlib::zbar_image_scanner_create();
    zbarlib::zbar_image_scanner_set_config(scanner, ZBAR_NONE, ZBAR_CFG_ENABLE, 0);
    zbarlib::zbar_image_scanner_set_config(scanner, ZBAR_QRCODE, ZBAR_CFG_ENABLE, 1);
    zbar_image_t* zimage = zbarlib::zbar_image_create();
    zbarlib::zbar_image_set_format(zimage, zbar_fourcc('Y', '8', '0', '0'));
    zbarlib::zbar_image_set_size(zimage, unsigned(w), unsigned(h));
    zbarlib::zbar_image_set_data(zimage, grey, size_t(w) * size_t(h), zbarlib::imageFreeData());
    std::optional<std::string> found;
    if (zbarlib::zbar_scan_image(scanner, zimage) > 0) {
        for (const zbar_symbol_t* s = zbarlib::zbar_image_first_symbol(zimage); s; s = zbarlib::zbar_symbol_next(s)) {
            if (zbarlib::zbar_symbol_get_type(s) != ZBAR_QRCODE) continue;
            found = std::string(zbarlib::zbar_symbol_get_data(s), zbarlib::zbar_symbol_get_data_length(s));
        }
    }
    zbarlib::zbar_image_destroy(zimage);
    zbarlib::zbar_image_scanner_destroy(scanner);
    return found;
}
