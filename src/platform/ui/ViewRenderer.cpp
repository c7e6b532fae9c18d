#include "platform/ui/ViewRenderer.h"

#include <cmath>

#include "platform/ui/CALayer.h"
#include "platform/ui/UIKeyCommand.h"
#include "platform/ui/UIWindow.h"

bool ViewRenderer::painting() const { return band_ < 0 || currentBand_ == band_; }

void ViewRenderer::render(const UIView& view, bool asRoot) {
    focused_.reset();
    if (auto* w = dynamic_cast<const UIWindow*>(&view); w && asRoot)
        if (auto f = w->focusedView(); f && UIKeyRouting::isReachable(*f)) focused_ = f;
    renderView(view, asRoot);
}

void ViewRenderer::paintFocusRing(const UIView& view) {
    constexpr double kOutset = 3, kWidth = 2.5, kMargin = kWidth / 2 + 2.25;
    // Outside the view, but a little inside what its ancestors show of the
    // screen, where the round enough corners stay clear of a panel's.
    CGRect ring = view.bounds().insetBy(-kOutset, -kOutset);
    for (auto a = view.superview(); a; a = a->superview())
        ring = ring.intersection(view.convertRectFromView(a->bounds(), a.get()).insetBy(kMargin, kMargin));
    if (ring.isEmpty()) return;
    double radius = std::max(view.layer()->cornerRadius() + kOutset, 8.0);
    radius = std::min(radius, std::min(ring.width(), ring.height()) / 2);
    cairo_t* cr = ctx_.cairo();
    CGPath outline = CGPath::roundedRect(ring, radius);
    cairo_new_path(cr);
    outline.apply(cr);
    cairo_set_line_width(cr, kWidth);
    ctx_.setSource(UIColor::fromRGB(0x1565E8));
    cairo_stroke(cr);
    // A light edge inside: the ring shows on dark and blue grounds alike.
    cairo_new_path(cr);
    CGPath::roundedRect(ring.insetBy(kWidth / 2 + 0.5, kWidth / 2 + 0.5), std::max(0.0, radius - kWidth / 2 - 0.5)).apply(cr);
    cairo_set_line_width(cr, 1);
    ctx_.setSource(UIColor::colorWithWhite(1, 0.9));
    cairo_stroke(cr);
}

void ViewRenderer::renderAtBounds(CALayer& layer) {
    if (auto* view = layer.delegateView()) return renderView(*view, true);
    cairo_t* cr = ctx_.cairo();
    cairo_save(cr);
    cairo_translate(cr, -layer.bounds().origin.x, -layer.bounds().origin.y);
    renderLayerBody(layer);
    cairo_restore(cr);
}

void ViewRenderer::paintFade(const CALayer& layer, const CGRect& b) {
    cairo_t* cr = ctx_.cairo();
    cairo_pattern_t* now = cairo_pop_group(cr);
    auto fade = layer.runningFade();
    double t = fade ? fade->progress : 1;
    // old × (1 − t) + new × t, added in a group of its own, then laid over
    // what lies below as one picture.
    cairo_push_group(cr);
    if (fade && fade->from && t < 1) {
        ctx_.saveGState();
        cairo_push_group(cr);
        ctx_.drawImage(b, *fade->from);
        cairo_pop_group_to_source(cr);
        cairo_paint_with_alpha(cr, 1 - t);
        ctx_.restoreGState();
    }
    cairo_set_operator(cr, CAIRO_OPERATOR_ADD);
    cairo_set_source(cr, now);
    cairo_paint_with_alpha(cr, t);
    cairo_pattern_destroy(now);
    cairo_pop_group_to_source(cr);
    cairo_paint(cr);
}

namespace {
void pathRounded(cairo_t* cr, const CGRect& r, double radius) {
    cairo_new_path(cr);
    CGPath::roundedRect(r, radius).apply(cr);
}
}  // namespace

void ViewRenderer::paintShadow(CALayer& layer, const CGRect& b) {
    if (layer.shadowOpacity() <= 0 || !painting()) return;
    cairo_t* cr = ctx_.cairo();
    CGPath shape = layer.shadowPath() ? *layer.shadowPath() : CGPath::roundedRect(b, layer.cornerRadius());
    UIColor c = layer.shadowColor();
    double alpha = c.alpha * layer.shadowOpacity();
    double radius = std::max(0.0, layer.shadowRadius());
    cairo_save(cr);
    cairo_translate(cr, layer.shadowOffset().width, layer.shadowOffset().height);
    // A soft edge from stacked, growing outlines (an approximation of a blur).
    int steps = std::max(1, int(std::ceil(radius)));
    for (int i = steps; i >= 1; --i) {
        double grow = radius * double(i) / steps;
        cairo_new_path(cr);
        shape.apply(cr);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_set_line_width(cr, grow * 2);
        ctx_.setSource(c.colorWithAlphaComponent(alpha / (steps + 1)));
        cairo_stroke_preserve(cr);
        cairo_fill(cr);
    }
    cairo_new_path(cr);
    shape.apply(cr);
    ctx_.setSource(c.colorWithAlphaComponent(alpha / (steps + 1)));
    cairo_fill(cr);
    cairo_restore(cr);
}

void ViewRenderer::paintLayerContent(CALayer& layer, const CGRect& b, double radius) {
    if (!painting()) return;
    cairo_t* cr = ctx_.cairo();
    if (layer.backgroundColor() && layer.backgroundColor()->alpha > 0) {
        pathRounded(cr, b, radius);
        ctx_.setSource(*layer.backgroundColor());
        cairo_fill(cr);
    }
    if (auto img = layer.contents()) {
        CGRect cr01 = layer.contentsRect().intersection(CGRect(0, 0, 1, 1));
        if (cr01.isEmpty()) cr01 = CGRect(0, 0, 1, 1);
        CGRect src(cr01.minX() * img->width(), cr01.minY() * img->height(), cr01.width() * img->width(),
                   cr01.height() * img->height());
        ctx_.saveGState();
        if (radius > 0) {
            pathRounded(cr, b, radius);
            cairo_clip(cr);
        }
        ctx_.drawImage(b, *img, src);
        ctx_.restoreGState();
    }
    ctx_.saveGState();
    layer.drawInContext(ctx_);
    ctx_.restoreGState();
}

void ViewRenderer::paintBorder(CALayer& layer, const CGRect& b, double radius) {
    if (layer.borderWidth() <= 0 || !painting()) return;
    cairo_t* cr = ctx_.cairo();
    double w = layer.borderWidth();
    pathRounded(cr, b.insetBy(w / 2, w / 2), std::max(0.0, radius - w / 2));
    cairo_set_line_width(cr, w);
    ctx_.setSource(layer.borderColor());
    cairo_stroke(cr);
}

void ViewRenderer::paintGroup(CALayer& layer, double alpha) {
    cairo_t* cr = ctx_.cairo();
    cairo_pattern_t* content = cairo_pop_group(cr);
    if (auto m = layer.mask()) {
        cairo_push_group(cr);
        int savedBand = band_, savedCurrent = currentBand_;
        band_ = -1;  // the mask's shape is needed whatever the band
        renderLayerTree(*m);
        band_ = savedBand;
        currentBand_ = savedCurrent;
        cairo_pattern_t* mask = cairo_pop_group(cr);
        cairo_push_group(cr);
        cairo_set_source(cr, content);
        cairo_mask(cr, mask);
        cairo_pattern_destroy(mask);
        cairo_pattern_destroy(content);
        content = cairo_pop_group(cr);
    }
    cairo_set_source(cr, content);
    cairo_paint_with_alpha(cr, alpha);
    cairo_pattern_destroy(content);
}

void ViewRenderer::renderLayerTree(CALayer& layer) {
    if (layer.isHidden() || layer.opacity() <= 0) return;
    cairo_t* cr = ctx_.cairo();
    CGRect b = layer.bounds();
    cairo_save(cr);
    CGPoint pos = layer.position();
    cairo_translate(cr, pos.x, pos.y);
    ctx_.concatCTM(layer.affineTransform());
    cairo_translate(cr, -(b.origin.x + b.size.width / 2), -(b.origin.y + b.size.height / 2));
    bool fading = painting() && layer.runningFade();
    if (fading) cairo_push_group(cr);
    renderLayerBody(layer);
    if (fading) paintFade(layer, b);
    cairo_restore(cr);
}

void ViewRenderer::renderLayerBody(CALayer& layer) {
    cairo_t* cr = ctx_.cairo();
    CGRect b = layer.bounds();
    bool group = layer.opacity() < 1 || layer.mask();
    if (group) cairo_push_group(cr);
    paintShadow(layer, b);
    if (layer.masksToBounds()) {
        pathRounded(cr, b, layer.cornerRadius());
        cairo_clip(cr);
    }
    paintLayerContent(layer, b, layer.cornerRadius());
    for (auto& sub : std::vector(layer.sublayers())) renderLayerTree(*sub);
    paintBorder(layer, b, layer.cornerRadius());
    if (group) paintGroup(layer, layer.opacity());
}

void ViewRenderer::renderView(const UIView& view, bool asRoot) {
    CALayer& layer = *view.layer();
    // A window draws into an image whether or not it is on screen.
    if (!asRoot && (view.isHidden() || layer.isHidden())) return;
    auto p = view.presentation();
    double alpha = p.alpha * layer.opacity();
    if (alpha <= 0.0) return;
    cairo_t* cr = ctx_.cairo();
    CGRect b = p.bounds;
    cairo_save(cr);
    if (asRoot) {
        cairo_translate(cr, -b.origin.x, -b.origin.y);
    } else {
        cairo_translate(cr, p.center.x, p.center.y);
        ctx_.concatCTM(p.transform);
        cairo_translate(cr, -(b.origin.x + b.size.width / 2), -(b.origin.y + b.size.height / 2));
    }
    bool fading = painting() && layer.runningFade();
    if (fading) cairo_push_group(cr);
    bool group = alpha < 1 || layer.mask();
    if (group) cairo_push_group(cr);
    double radius = layer.cornerRadius();
    paintShadow(layer, b);
    if (layer.masksToBounds()) {
        pathRounded(cr, b, radius);
        cairo_clip(cr);
    }
    bool native = view.nativeWidget() != nullptr;
    if (!native) {
        if (painting() && p.backgroundColor.alpha > 0) {
            pathRounded(cr, b, radius);
            ctx_.setSource(p.backgroundColor);
            cairo_fill(cr);
        }
        paintLayerContent(layer, b, radius);
        if (painting()) {
            ctx_.saveGState();
            UIGraphicsPushContext(&ctx_);
            const_cast<UIView&>(view).drawRect(ctx_, b);
            UIGraphicsPopContext();
            ctx_.restoreGState();
        }
        for (auto& sub : std::vector(layer.sublayers())) renderLayerTree(*sub);
    } else if (stackIndex_) {
        if (int index = stackIndex_(view); index >= 0) currentBand_ = index + 1;
    }
    for (auto& sub : std::vector(view.subviews())) renderView(*sub, false);
    paintBorder(layer, b, radius);
    if (group) paintGroup(layer, alpha);
    if (fading) paintFade(layer, b);
    cairo_restore(cr);
    if (focused_.get() == &view && painting() && !asRoot) {
        // In the superview's clip, not the view's own.
        cairo_save(cr);
        cairo_translate(cr, p.center.x, p.center.y);
        ctx_.concatCTM(p.transform);
        cairo_translate(cr, -(b.origin.x + b.size.width / 2), -(b.origin.y + b.size.height / 2));
        paintFocusRing(view);
        cairo_restore(cr);
    }
}
