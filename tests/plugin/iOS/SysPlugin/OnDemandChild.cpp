// Reports which of the libraries opened on demand a fresh process has
// mapped: at start, and after a picture of each of their formats went
// through a round trip and a QR code was made and read back.
// Prints "start=000000 used=111110 roundtrips=1111" when each opens on its
// first use only (libssl, last, is libcurl's and stays out).
#include <cstdio>
#include <string>

#include "platform/foundation/OnDemandLibrary.h"
#include "platform/graphics/ImageDestination.h"
#include "platform/graphics/ImageSource.h"
#include "plugin/iOS/RAZ5Orered/QRCodeManager.h"

namespace {

const char* const kLibraries[] = {"libtiff.so.6",     "libgif.so.7",  "libopenjp2.so.7",
                                  "libqrencode.so.4", "libzbar.so.0", "libssl.so.3"};

std::string mapped() {
    std::string out;
    for (const char* soname : kLibraries) out += ondemand::Library(soname).loaded() ? '1' : '0';
    return out;
}

bool decodes(const std::optional<Data>& file, int width) {
    if (!file) return false;
    auto source = imageio::ImageSource::create(std::make_shared<const Data>(*file));
    auto image = source ? source->imageAtIndex(0) : nullptr;
    return image && image->width() == width;
}

}  // namespace

int main() {
    std::string start = mapped();
    auto picture = CGImage::create(12, 8, true);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 12; ++x) picture->setPixel(x, y, {uint8_t(x * 20), uint8_t(y * 30), 90, 255});
    std::string roundtrips;
    roundtrips += decodes(imageio::encodeTIFF({picture}), 12) ? '1' : '0';
    roundtrips += decodes(imageio::encodeGIF({{picture, 0.1}}, std::nullopt), 12) ? '1' : '0';
    roundtrips += decodes(imageio::encodeJPEG2000(*picture, 1.0), 12) ? '1' : '0';
    auto code = QRCodeManager::CreateQRCode(std::string("korvel"), 256, QRCodeManager::Correction::Medium);
    roundtrips += code && QRCodeManager::ReadQRCode(*code) == std::optional<std::string>("korvel") ? '1' : '0';
    std::printf("start=%s used=%s roundtrips=%s\n", start.c_str(), mapped().c_str(), roundtrips.c_str());
    return 0;
}
