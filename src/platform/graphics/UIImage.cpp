#include "platform/graphics/UIImage.h"

#include <cmath>
#include <map>
#include <mutex>

#include "platform/foundation/Files.h"
#include "platform/foundation/NSBundle.h"
#include "platform/graphics/ImageIO.h"

UIImageOrientation UIImageOrientationFromEXIF(int exif) {
    switch (exif) {
        case 2: return UIImageOrientation::UpMirrored;
        case 3: return UIImageOrientation::Down;
        case 4: return UIImageOrientation::DownMirrored;
        case 5: return UIImageOrientation::LeftMirrored;
        case 6: return UIImageOrientation::Right;
        case 7: return UIImageOrientation::RightMirrored;
        case 8: return UIImageOrientation::Left;
        default: return UIImageOrientation::Up;
    }
}

UIImage::UIImage(std::shared_ptr<::CGImage> image, double scale, UIImageOrientation orientation)
    : image_(std::move(image)), scale_(scale > 0 ? scale : 1), orientation_(orientation) {}

UIImage::UIImage(const UIImage& o)
    : image_(o.image_),
      scale_(o.scale_),
      orientation_(o.orientation_),
      renderingMode_(o.renderingMode_),
      capInsets_(o.capInsets_),
      resizingMode_(o.resizingMode_),
      images_(o.images_),
      duration_(o.duration_),
      decodedForDisplay_(o.decodedForDisplay_.load(std::memory_order_relaxed)) {}

std::shared_ptr<UIImage> UIImage::imageWithCGImage(std::shared_ptr<::CGImage> image, double scale,
                                                   UIImageOrientation orientation) {
    if (!image) return nullptr;
    return std::make_shared<UIImage>(std::move(image), scale, orientation);
}

std::shared_ptr<UIImage> UIImage::imageWithData(const Data& data, double scale) { return imageWithData(data, scale, 0); }

std::shared_ptr<UIImage> UIImage::imageWithData(const Data& data, double scale, int pixels) {
    // Either side may end up across once the orientation is applied.
    auto d = imageio::decode(data.data(), data.size(), pixels, pixels);
    if (!d) return nullptr;
    return imageWithCGImage(d->image, scale, UIImageOrientationFromEXIF(d->exifOrientation));
}

double UIImage::scaleFromFileName(const std::filesystem::path& path) {
    std::string stem = path.stem().string();
    if (stem.size() > 3 && stem.compare(stem.size() - 3, 3, "@2x") == 0) return 2;
    if (stem.size() > 3 && stem.compare(stem.size() - 3, 3, "@3x") == 0) return 3;
    return 1;
}

std::shared_ptr<UIImage> UIImage::imageWithContentsOfFile(const std::filesystem::path& path) {
    auto bytes = files::readData(path);
    if (!bytes) return nullptr;
    return imageWithData(*bytes, scaleFromFileName(path));
}

namespace {
struct NamedCache {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<UIImage>> images;
};
NamedCache& namedCache() {
    static auto* c = new NamedCache();
    return *c;
}
}  // namespace

std::shared_ptr<UIImage> UIImage::imageNamed(const std::string& name) {
    if (name.empty()) return nullptr;
    auto& cache = namedCache();
    {
        std::lock_guard lock(cache.mutex);
        auto it = cache.images.find(name);
        if (it != cache.images.end()) return it->second;
    }
    std::filesystem::path base = name;
    if (base.is_relative()) base = NSBundle::mainBundle().bundlePath() / base;
    std::shared_ptr<UIImage> found;
    bool hasExt = base.has_extension() && base.extension() != ".";
    std::vector<std::filesystem::path> tries;
    if (hasExt) {
        auto stem = base.parent_path() / base.stem();
        auto ext = base.extension().string();
        tries = {base, stem.string() + "@2x" + ext, stem.string() + "@3x" + ext};
    } else {
        tries = {base.string() + "@2x.png", base.string() + "@3x.png", base.string() + ".png", base};
    }
    for (auto& p : tries) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(p, ec)) continue;
        if ((found = imageWithContentsOfFile(p))) break;
    }
    if (found) {
        std::lock_guard lock(cache.mutex);
        cache.images[name] = found;
    }
    return found;
}

void UIImage::clearNamedCache() {
    auto& cache = namedCache();
    std::lock_guard lock(cache.mutex);
    cache.images.clear();
}

std::shared_ptr<UIImage> UIImage::imageWithColor(const UIColor& color, CGSize size) {
    auto ctx = CGContext::bitmap(size, color.alpha >= 1, 1);
    if (!ctx) return nullptr;
    ctx->setFillColor(color);
    ctx->fillRect(CGRect(CGPointZero, size));
    return imageWithCGImage(ctx->makeImage(), 1);
}

std::shared_ptr<UIImage> UIImage::animatedImageWithImages(std::vector<std::shared_ptr<UIImage>> images,
                                                          double duration) {
    if (images.empty() || !images.front()) return nullptr;
    auto out = std::make_shared<UIImage>(*images.front());
    out->images_ = std::move(images);
    out->duration_ = duration;
    return out;
}

CGSize UIImage::size() const {
    double w = image_->width() / scale_, h = image_->height() / scale_;
    switch (orientation_) {
        case UIImageOrientation::Left:
        case UIImageOrientation::Right:
        case UIImageOrientation::LeftMirrored:
        case UIImageOrientation::RightMirrored: return {h, w};
        default: return {w, h};
    }
}

std::shared_ptr<UIImage> UIImage::resizableImageWithCapInsets(const UIEdgeInsets& insets,
                                                              UIImageResizingMode mode) const {
    auto out = std::make_shared<UIImage>(*this);
    out->capInsets_ = insets;
    out->resizingMode_ = mode;
    return out;
}

std::shared_ptr<UIImage> UIImage::imageWithRenderingMode(UIImageRenderingMode mode) const {
    auto out = std::make_shared<UIImage>(*this);
    out->renderingMode_ = mode;
    return out;
}

void UIImage::drawInRect(const CGRect& rect) const {
    if (auto* ctx = UIGraphicsGetCurrentContext()) drawInRect(*ctx, rect);
}

void UIImage::drawInRect(CGContext& ctx, const CGRect& rect, const UIColor* tint) const {
    if (rect.isEmpty()) return;
    if (tint && renderingMode_ != UIImageRenderingMode::AlwaysTemplate) tint = nullptr;
    if (capInsets_ == UIEdgeInsets{}) drawPlain(ctx, rect, tint);
    else drawNineSlice(ctx, rect, tint);
}

void UIImage::drawPlain(CGContext& ctx, const CGRect& rect, const UIColor* tint) const {
    ctx.saveGState();
    cairo_t* cr = ctx.cairo();
    cairo_translate(cr, rect.minX(), rect.minY());
    double W = rect.width(), H = rect.height();
    // (u, v) in the stored bitmap (scaled to the rectangle) to (x, y) as displayed.
    double m[6] = {1, 0, 0, 1, 0, 0};
    bool swap = false;
    switch (orientation_) {
        case UIImageOrientation::Up: break;
        case UIImageOrientation::Down: m[0] = -1, m[3] = -1, m[4] = W, m[5] = H; break;
        case UIImageOrientation::Left: m[0] = 0, m[1] = -1, m[2] = 1, m[3] = 0, m[5] = H, swap = true; break;
        case UIImageOrientation::Right: m[0] = 0, m[1] = 1, m[2] = -1, m[3] = 0, m[4] = W, swap = true; break;
        case UIImageOrientation::UpMirrored: m[0] = -1, m[4] = W; break;
        case UIImageOrientation::DownMirrored: m[3] = -1, m[5] = H; break;
        case UIImageOrientation::LeftMirrored: m[0] = 0, m[1] = 1, m[2] = 1, m[3] = 0, swap = true; break;
        case UIImageOrientation::RightMirrored:
            m[0] = 0, m[1] = -1, m[2] = -1, m[3] = 0, m[4] = W, m[5] = H, swap = true;
            break;
    }
    cairo_matrix_t mat;
    cairo_matrix_init(&mat, m[0], m[1], m[2], m[3], m[4], m[5]);
    cairo_transform(cr, &mat);
    CGRect dest = swap ? CGRect(0, 0, H, W) : CGRect(0, 0, W, H);
    if (tint) {
        cairo_new_path(cr);
        cairo_rectangle(cr, 0, 0, dest.width(), dest.height());
        cairo_clip(cr);
        cairo_scale(cr, dest.width() / image_->width(), dest.height() / image_->height());
        ctx.setSource(*tint);
        cairo_mask_surface(cr, image_->surface(), 0, 0);
    } else {
        ctx.drawImage(dest, *image_);
    }
    ctx.restoreGState();
}

void UIImage::drawNineSlice(CGContext& ctx, const CGRect& rect, const UIColor* tint) const {
    // Cap insets are in points of the image; slices are taken in pixels.
    CGSize s = size();
    double l = std::min(capInsets_.left, s.width), r = std::min(capInsets_.right, s.width - l);
    double t = std::min(capInsets_.top, s.height), b = std::min(capInsets_.bottom, s.height - t);
    double xs[4] = {0, l, s.width - r, s.width}, ys[4] = {0, t, s.height - b, s.height};
    double W = rect.width(), H = rect.height();
    // Caps keep their size unless the destination is smaller than both caps.
    double fx = (l + r) > W && (l + r) > 0 ? W / (l + r) : 1, fy = (t + b) > H && (t + b) > 0 ? H / (t + b) : 1;
    double xd[4] = {0, l * fx, W - r * fx, W}, yd[4] = {0, t * fy, H - b * fy, H};
    for (int iy = 0; iy < 3; ++iy) {
        for (int ix = 0; ix < 3; ++ix) {
            CGRect src(xs[ix] * scale_, ys[iy] * scale_, (xs[ix + 1] - xs[ix]) * scale_, (ys[iy + 1] - ys[iy]) * scale_);
            CGRect dst(rect.minX() + xd[ix], rect.minY() + yd[iy], xd[ix + 1] - xd[ix], yd[iy + 1] - yd[iy]);
            if (src.isEmpty() || dst.isEmpty()) continue;
            bool middle = ix == 1 || iy == 1;
            if (tint) {
                ctx.saveGState();
                cairo_t* cr = ctx.cairo();
                cairo_new_path(cr);
                cairo_rectangle(cr, dst.minX(), dst.minY(), dst.width(), dst.height());
                cairo_clip(cr);
                cairo_translate(cr, dst.minX(), dst.minY());
                cairo_scale(cr, dst.width() / src.width(), dst.height() / src.height());
                ctx.setSource(*tint);
                cairo_mask_surface(cr, image_->surface(), -src.minX(), -src.minY());
                ctx.restoreGState();
            } else if (middle && resizingMode_ == UIImageResizingMode::Tile) {
                // Tile the slice at its natural size.
                double tw = src.width() / scale_, th = src.height() / scale_;
                ctx.saveGState();
                ctx.clipToRect(dst);
                for (double y = dst.minY(); y < dst.maxY(); y += (iy == 1 ? th : dst.height()))
                    for (double x = dst.minX(); x < dst.maxX(); x += (ix == 1 ? tw : dst.width()))
                        ctx.drawImage(CGRect(x, y, ix == 1 ? tw : dst.width(), iy == 1 ? th : dst.height()), *image_, src);
                ctx.restoreGState();
            } else {
                ctx.drawImage(dst, *image_, src);
            }
        }
    }
}

std::shared_ptr<UIImage> UIGraphicsGetImageFromCurrentImageContext() {
    auto* ctx = UIGraphicsGetCurrentContext();
    if (!ctx || !ctx->bitmapImage()) return nullptr;
    return UIImage::imageWithCGImage(ctx->makeImage(), ctx->scale());
}

std::optional<Data> UIImagePNGRepresentation(const UIImage* image) {
    if (!image || !image->CGImage()) return std::nullopt;
    return imageio::encodePNG(*image->CGImage());
}

std::optional<Data> UIImageJPEGRepresentation(const UIImage* image, double quality) {
    if (!image || !image->CGImage()) return std::nullopt;
    return imageio::encodeJPEG(*image->CGImage(), quality);
}
