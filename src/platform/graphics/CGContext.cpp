#include "platform/graphics/CGContext.h"

#include <cmath>

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

void CGContext::fillRect(const CGRect& r) {
    cairo_new_path(cr_);
    cairo_rectangle(cr_, r.minX(), r.minY(), r.width(), r.height());
    setSource(state_.fill);
    cairo_fill(cr_);
}

void CGContext::clearRect(const CGRect& r) {
    cairo_save(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_CLEAR);
    cairo_rectangle(cr_, r.minX(), r.minY(), r.width(), r.height());
    cairo_fill(cr_);
    cairo_restore(cr_);
}

void CGContext::strokeRect(const CGRect& r) { strokePath(CGPath::rect(r)); }

void CGContext::fillEllipseInRect(const CGRect& r) {
    CGPath p;
    p.addEllipseInRect(r);
    fillPath(p);
}

void CGContext::fillPath(const CGPath& p, bool evenOdd) {
    cairo_new_path(cr_);
    p.apply(cr_);
    cairo_set_fill_rule(cr_, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    setSource(state_.fill);
    cairo_fill(cr_);
}

void CGContext::strokePath(const CGPath& p) {
    cairo_new_path(cr_);
    p.apply(cr_);
    applyStroke();
    cairo_stroke(cr_);
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

void CGContext::drawImage(const CGRect& rect, const CGImage& image) {
    drawImage(rect, image, CGRect(0, 0, image.width(), image.height()));
}

void CGContext::drawImage(const CGRect& rect, const CGImage& image, const CGRect& src) {
    if (rect.isEmpty() || src.isEmpty()) return;
    cairo_save(cr_);
    cairo_new_path(cr_);
    cairo_rectangle(cr_, rect.minX(), rect.minY(), rect.width(), rect.height());
    cairo_clip(cr_);
    cairo_translate(cr_, rect.minX(), rect.minY());
    cairo_scale(cr_, rect.width() / src.width(), rect.height() / src.height());
    // A sub-surface keeps filtering from pulling in pixels outside the source rectangle.
    bool whole = src == CGRect(0, 0, image.width(), image.height());
    cairo_surface_t* source = whole ? cairo_surface_reference(image.surface())
                                    : cairo_surface_create_for_rectangle(image.surface(), src.minX(), src.minY(),
                                                                         src.width(), src.height());
    cairo_set_source_surface(cr_, source, 0, 0);
    cairo_surface_destroy(source);
    cairo_filter_t filter = CAIRO_FILTER_GOOD;
    switch (state_.interpolation) {
        case CGInterpolationQuality::None: filter = CAIRO_FILTER_NEAREST; break;
        case CGInterpolationQuality::Low: filter = CAIRO_FILTER_FAST; break;
        case CGInterpolationQuality::High: filter = CAIRO_FILTER_BEST; break;
        default: break;
    }
    cairo_pattern_set_filter(cairo_get_source(cr_), filter);
    // Edge pixels repeat rather than fading into transparency when scaled.
    cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_PAD);
    cairo_paint_with_alpha(cr_, state_.alpha);
    cairo_restore(cr_);
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
    cairo_set_source(cr_, pat);
    cairo_paint(cr_);
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
