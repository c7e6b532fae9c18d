#include "platform/graphics/CGContext.h"

#include <atomic>
#include <cmath>

#include "platform/graphics/PixelLayout.h"

namespace {

std::atomic<double> gMainScreenScale{2};

cairo_operator_t operatorFor(CGBlendMode mode) {
    switch (mode) {
        case CGBlendMode::Copy: return CAIRO_OPERATOR_SOURCE;
        case CGBlendMode::Clear: return CAIRO_OPERATOR_CLEAR;
        case CGBlendMode::DestinationIn: return CAIRO_OPERATOR_DEST_IN;
        default: return CAIRO_OPERATOR_OVER;
    }
}

cairo_filter_t filterFor(CGInterpolationQuality q) {
    switch (q) {
        case CGInterpolationQuality::None: return CAIRO_FILTER_NEAREST;
        case CGInterpolationQuality::Low: return CAIRO_FILTER_FAST;
        case CGInterpolationQuality::High: return CAIRO_FILTER_BEST;
        default: return CAIRO_FILTER_GOOD;
    }
}

// Sets `cr`'s source to the pixels `src` of `surface` mapped onto `rect`
// and clips to `rect`. In a y-up space the first row goes to the rectangle's
// top (its larger y), so images stand upright there too.
void setImageSource(cairo_t* cr, const CGRect& rect, cairo_surface_t* surface, const CGRect& src, bool whole,
                    bool yUp, cairo_filter_t filter) {
    cairo_new_path(cr);
    cairo_rectangle(cr, rect.minX(), rect.minY(), rect.width(), rect.height());
    cairo_clip(cr);
    if (yUp) {
        cairo_translate(cr, rect.minX(), rect.maxY());
        cairo_scale(cr, rect.width() / src.width(), -rect.height() / src.height());
    } else {
        cairo_translate(cr, rect.minX(), rect.minY());
        cairo_scale(cr, rect.width() / src.width(), rect.height() / src.height());
    }
    // A sub-surface keeps filtering from pulling in pixels outside the source rectangle.
    cairo_surface_t* source = whole ? cairo_surface_reference(surface)
                                    : cairo_surface_create_for_rectangle(surface, src.minX(), src.minY(),
                                                                         src.width(), src.height());
    cairo_set_source_surface(cr, source, 0, 0);
    cairo_surface_destroy(source);
    cairo_pattern_set_filter(cairo_get_source(cr), filter);
    // Edge pixels repeat rather than fading into transparency when scaled.
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
}

cairo_surface_t* newSurfaceLike(cairo_surface_t* target, cairo_format_t format) {
    return cairo_image_surface_create(format, cairo_image_surface_get_width(target),
                                      cairo_image_surface_get_height(target));
}

// An alpha-only surface holding the grey level of an opaque mask image.
cairo_surface_t* greyAsAlpha(const CGImage& mask) {
    cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_A8, mask.width(), mask.height());
    cairo_surface_flush(out);
    unsigned char* d = cairo_image_surface_get_data(out);
    int stride = cairo_image_surface_get_stride(out);
    const uint8_t* src = mask.data();
    for (int y = 0; y < mask.height(); ++y) {
        auto* row = reinterpret_cast<const uint32_t*>(src + size_t(y) * mask.bytesPerRow());
        for (int x = 0; x < mask.width(); ++x) {
            uint32_t w = row[x];
            d[size_t(y) * stride + x] = uint8_t((((w >> 16) & 0xFF) + ((w >> 8) & 0xFF) + (w & 0xFF) + 1) / 3);
        }
    }
    cairo_surface_mark_dirty(out);
    return out;
}

}  // namespace

MainScreenScale::operator double() const { return gMainScreenScale.load(std::memory_order_relaxed); }

void MainScreenScale::set(double scale) const {
    if (scale > 0 && std::isfinite(scale)) gMainScreenScale.store(scale, std::memory_order_relaxed);
}

struct CGContext::MaskSurface {
    explicit MaskSurface(cairo_surface_t* s) : coverage(s) {}
    ~MaskSurface() { cairo_surface_destroy(coverage); }
    cairo_surface_t* coverage;  // A8, one byte per device pixel of the target
};

CGContext::CGContext(cairo_t* cr) : cr_(cr) {}

CGContext::~CGContext() {
    if (owns_) cairo_destroy(cr_);
}

std::unique_ptr<CGContext> CGContext::bitmap(CGSize size, bool opaque, double scale) {
    if (scale <= 0) scale = kMainScreenScale;
    int w = int(size.width * scale), h = int(size.height * scale);
    auto img = CGImage::create(w, h, !opaque);
    if (!img) return nullptr;
    cairo_t* cr = cairo_create(img->surface());
    cairo_scale(cr, scale, scale);
    auto ctx = std::make_unique<CGContext>(cr);
    ctx->owns_ = true;
    ctx->bitmap_ = img;
    ctx->scale_ = scale;
    return ctx;
}

std::unique_ptr<CGContext> CGContext::bitmapContext(int pixelWidth, int pixelHeight, uint32_t bitmapInfo) {
    uint32_t alpha = CGBitmapAlphaInfo(bitmapInfo);
    if (!CGBitmapInfoIsSupported(bitmapInfo) || alpha == kCGImageAlphaLast || alpha == kCGImageAlphaFirst)
        return nullptr;
    auto img = CGImage::create(pixelWidth, pixelHeight, CGBitmapInfoHasAlpha(bitmapInfo));
    if (!img) return nullptr;
    cairo_t* cr = cairo_create(img->surface());
    cairo_matrix_t flip;
    cairo_matrix_init(&flip, 1, 0, 0, -1, 0, pixelHeight);
    cairo_set_matrix(cr, &flip);
    auto ctx = std::make_unique<CGContext>(cr);
    ctx->owns_ = true;
    ctx->bitmap_ = img;
    ctx->yUp_ = true;
    return ctx;
}

std::shared_ptr<CGImage> CGContext::makeImage() const {
    if (!bitmap_) return nullptr;
    cairo_surface_flush(bitmap_->surface());
    return bitmap_->copy();
}

void CGContext::saveGState() {
    cairo_save(cr_);
    stack_.push_back(state_);
}

void CGContext::restoreGState() {
    if (stack_.empty()) return;
    cairo_restore(cr_);
    state_ = stack_.back();
    stack_.pop_back();
}

void CGContext::translate(double x, double y) { cairo_translate(cr_, x, y); }
void CGContext::scaleBy(double sx, double sy) { cairo_scale(cr_, sx, sy); }
void CGContext::rotate(double angle) { cairo_rotate(cr_, angle); }

void CGContext::concatCTM(const CGAffineTransform& t) {
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    cairo_transform(cr_, &m);
}

void CGContext::setSource(const UIColor& c) const {
    cairo_set_source_rgba(cr_, c.red, c.green, c.blue, c.alpha * state_.alpha);
}

void CGContext::applyStroke() const {
    cairo_set_line_width(cr_, state_.lineWidth);
    cairo_set_line_cap(cr_, state_.cap == CGLineCap::Round    ? CAIRO_LINE_CAP_ROUND
                            : state_.cap == CGLineCap::Square ? CAIRO_LINE_CAP_SQUARE
                                                              : CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr_, state_.join == CGLineJoin::Round   ? CAIRO_LINE_JOIN_ROUND
                             : state_.join == CGLineJoin::Bevel ? CAIRO_LINE_JOIN_BEVEL
                                                                : CAIRO_LINE_JOIN_MITER);
    setSource(state_.stroke);
}

template <class Draw>
void CGContext::paint(Draw draw) {
    cairo_surface_t* before = nullptr;
    cairo_surface_t* target = cairo_get_target(cr_);
    if (state_.mask) {
        cairo_surface_flush(target);
        before = newSurfaceLike(target, cairo_image_surface_get_format(target));
        cairo_t* c = cairo_create(before);
        cairo_set_source_surface(c, target, 0, 0);
        cairo_set_operator(c, CAIRO_OPERATOR_SOURCE);
        cairo_paint(c);
        cairo_destroy(c);
    }
    cairo_save(cr_);
    cairo_set_operator(cr_, operatorFor(state_.blend));
    draw();
    cairo_restore(cr_);
    if (!before) return;
    // Put back what was there, weighted by where the mask hides: the result
    // is before × (1 − coverage) + after × coverage.
    cairo_surface_t* hidden = newSurfaceLike(target, CAIRO_FORMAT_A8);
    cairo_t* c = cairo_create(hidden);
    cairo_paint(c);
    cairo_set_operator(c, CAIRO_OPERATOR_DEST_OUT);
    cairo_set_source_surface(c, state_.mask->coverage, 0, 0);
    cairo_paint(c);
    cairo_destroy(c);
    cairo_save(cr_);
    cairo_identity_matrix(cr_);
    cairo_reset_clip(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr_, before, 0, 0);
    cairo_mask_surface(cr_, hidden, 0, 0);
    cairo_restore(cr_);
    cairo_surface_destroy(hidden);
    cairo_surface_destroy(before);
}

// Destination-in would also empty everything outside the shape; the
// platform's blend modes act on the shape only, so clip to it and paint.
void CGContext::fillCurrentPath() {
    if (state_.blend == CGBlendMode::DestinationIn) {
        cairo_clip(cr_);
        cairo_paint(cr_);
    } else {
        cairo_fill(cr_);
    }
}

void CGContext::fillRect(const CGRect& r) {
    paint([&] {
        cairo_new_path(cr_);
        cairo_rectangle(cr_, r.minX(), r.minY(), r.width(), r.height());
        setSource(state_.fill);
        fillCurrentPath();
    });
}

void CGContext::clearRect(const CGRect& r) {
    paint([&] {
        cairo_set_operator(cr_, CAIRO_OPERATOR_CLEAR);
        cairo_new_path(cr_);
        cairo_rectangle(cr_, r.minX(), r.minY(), r.width(), r.height());
        cairo_fill(cr_);
    });
}

void CGContext::strokeRect(const CGRect& r) { strokePath(CGPath::rect(r)); }

void CGContext::fillEllipseInRect(const CGRect& r) {
    CGPath p;
    p.addEllipseInRect(r);
    fillPath(p);
}

void CGContext::fillPath(const CGPath& p, bool evenOdd) {
    paint([&] {
        cairo_new_path(cr_);
        p.apply(cr_);
        cairo_set_fill_rule(cr_, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
        setSource(state_.fill);
        fillCurrentPath();
    });
}

void CGContext::strokePath(const CGPath& p) {
    paint([&] {
        cairo_new_path(cr_);
        p.apply(cr_);
        applyStroke();
        if (state_.blend == CGBlendMode::DestinationIn) {
            // Bounded to the stroke's box: Cairo cannot clip to a stroke's outline.
            double x0, y0, x1, y1;
            cairo_stroke_extents(cr_, &x0, &y0, &x1, &y1);
            cairo_new_path(cr_);
            cairo_rectangle(cr_, x0, y0, x1 - x0, y1 - y0);
            cairo_clip(cr_);
            cairo_paint(cr_);
        } else {
            cairo_stroke(cr_);
        }
    });
}

void CGContext::clipToRect(const CGRect& r) {
    cairo_new_path(cr_);
    cairo_rectangle(cr_, r.minX(), r.minY(), r.width(), r.height());
    cairo_clip(cr_);
}

void CGContext::clipToPath(const CGPath& p, bool evenOdd) {
    cairo_new_path(cr_);
    p.apply(cr_);
    cairo_set_fill_rule(cr_, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    cairo_clip(cr_);
}

void CGContext::clipToMask(const CGRect& rect, const CGImage& mask) {
    cairo_surface_t* target = cairo_get_target(cr_);
    if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE || rect.isEmpty()) {
        clipToRect(rect);
        return;
    }
    cairo_surface_t* alpha = mask.hasAlpha() ? cairo_surface_reference(mask.surface()) : greyAsAlpha(mask);
    cairo_surface_t* coverage = newSurfaceLike(target, CAIRO_FORMAT_A8);
    cairo_t* c = cairo_create(coverage);
    cairo_matrix_t m;
    cairo_get_matrix(cr_, &m);
    cairo_set_matrix(c, &m);
    setImageSource(c, rect, alpha, CGRect(0, 0, mask.width(), mask.height()), true, yUp_,
                   filterFor(state_.interpolation));
    cairo_paint(c);
    if (state_.mask) {
        cairo_reset_clip(c);
        cairo_identity_matrix(c);
        cairo_set_operator(c, CAIRO_OPERATOR_DEST_IN);
        cairo_set_source_surface(c, state_.mask->coverage, 0, 0);
        cairo_paint(c);
    }
    cairo_destroy(c);
    cairo_surface_destroy(alpha);
    state_.mask = std::make_shared<MaskSurface>(coverage);
}

void CGContext::drawImage(const CGRect& rect, const CGImage& image) {
    drawImage(rect, image, CGRect(0, 0, image.width(), image.height()));
}

void CGContext::drawImage(const CGRect& rect, const CGImage& image, const CGRect& src) {
    if (rect.isEmpty() || src.isEmpty()) return;
    paint([&] { placeImage(rect, image, src); });
}

void CGContext::placeImage(const CGRect& rect, const CGImage& image, const CGRect& src) {
    bool whole = src == CGRect(0, 0, image.width(), image.height());
    setImageSource(cr_, rect, image.surface(), src, whole, yUp_, filterFor(state_.interpolation));
    cairo_paint_with_alpha(cr_, state_.alpha);
}

void CGContext::drawLinearGradient(const std::vector<UIColor>& colors, const std::vector<double>& locations,
                                   CGPoint start, CGPoint end) {
    if (colors.empty()) return;
    cairo_pattern_t* pat = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
    for (size_t i = 0; i < colors.size(); ++i) {
        double loc = i < locations.size() ? locations[i]
                     : colors.size() == 1 ? 0
                                          : double(i) / double(colors.size() - 1);
        const UIColor& c = colors[i];
        cairo_pattern_add_color_stop_rgba(pat, loc, c.red, c.green, c.blue, c.alpha * state_.alpha);
    }
    cairo_pattern_set_extend(pat, CAIRO_EXTEND_PAD);
    paint([&] {
        cairo_set_source(cr_, pat);
        cairo_paint(cr_);
    });
    cairo_pattern_destroy(pat);
}

namespace {
struct Entry {
    CGContext* context;
    std::unique_ptr<CGContext> owned;
    bool imageContext;
};
thread_local std::vector<Entry> gStack;
}  // namespace

void UIGraphicsBeginImageContextWithOptions(CGSize size, bool opaque, double scale) {
    auto ctx = CGContext::bitmap(size, opaque, scale);
    CGContext* raw = ctx.get();
    // An impossible size still pushes an entry so that End stays balanced.
    gStack.push_back({raw, std::move(ctx), true});
}

void UIGraphicsBeginImageContext(CGSize size) { UIGraphicsBeginImageContextWithOptions(size, false, 1); }

CGContext* UIGraphicsGetCurrentContext() { return gStack.empty() ? nullptr : gStack.back().context; }

void UIGraphicsEndImageContext() {
    if (!gStack.empty() && gStack.back().imageContext) gStack.pop_back();
}

void UIGraphicsPushContext(CGContext* context) { gStack.push_back({context, nullptr, false}); }

void UIGraphicsPopContext() {
    if (!gStack.empty() && !gStack.back().imageContext) gStack.pop_back();
}
