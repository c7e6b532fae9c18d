#include "plugin/iOS/RAZ5Orered/Utils.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Strings.h"

std::optional<std::string> Utils::GetDocumentPath() {
    auto path = AppHome::documents();
    if (path.empty()) return std::nullopt;
    return path.string();
}

std::string Utils::GenerateFileName(const std::string& directory) {
    long seconds = long(std::chrono::duration_cast<std::chrono::seconds>(
                            Clock::current().wallNow().time_since_epoch())
                            .count());
    for (int counter = 0;; ++counter) {
        std::string path = strings::format("%s/%ld_%d", directory.c_str(), seconds, counter);
        if (!files::exists(path)) return path;
    }
}

bool Utils::Exists(const std::optional<std::string>& path) { return path && files::exists(*path); }

Utils::ThumbnailGeometry Utils::ThumbnailGeometryFor(double w, double h, int W, int H, bool crop) {
    double rH = h / H, rW = w / W;
    // Which side bounds the image: without crop the image fits inside the
    // box, with crop it fills it; ties go to the height.
    bool widthBounds = crop ? rH > rW : rH < rW;
    double newW, newH;
    if (widthBounds) {
        newW = W;
        newH = std::max(1.0, std::trunc(h * W / w));
    } else {
        newH = H;
        newW = std::max(1.0, std::trunc(w * H / h));
    }
    ThumbnailGeometry g;
    g.canvasWidth = int(std::min<double>(newW, W));
    g.canvasHeight = int(std::min<double>(newH, H));
    float x = float(g.canvasWidth - int(newW)) * 0.5f, y = float(g.canvasHeight - int(newH)) * 0.5f;
    g.drawRect = CGRect(x, y, newW, newH);
    return g;
}

std::shared_ptr<UIImage> Utils::GetThumbnail(const std::shared_ptr<UIImage>& image, int width, int height, bool crop,
                                             bool circle, bool alpha) {
    if (!image || !image->CGImage() || width < 1 || height < 1) return nullptr;
    CGSize size = image->size();
    if (size.width <= 0 || size.height <= 0) return nullptr;
    auto g = ThumbnailGeometryFor(size.width, size.height, width, height, crop);
    auto ctx = CGContext::bitmap(CGSize(g.canvasWidth, g.canvasHeight), !alpha, 1);
    if (!ctx) return nullptr;
    if (circle) {
        CGPath ellipse;
        ellipse.addEllipseInRect(CGRect(0, 0, g.canvasWidth, g.canvasHeight));
        ctx->clipToPath(ellipse);
    }
    image->drawInRect(*ctx, g.drawRect);
    return UIImage::imageWithCGImage(ctx->makeImage(), 1, UIImageOrientation::Up);
}
