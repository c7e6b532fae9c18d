#include "platform/graphics/CGPath.h"

#include <cmath>

void CGPath::moveTo(CGPoint p) {
    elements_.push_back({Element::Move, {p}});
    current_ = start_ = p;
}

void CGPath::lineTo(CGPoint p) {
    if (elements_.empty()) return moveTo(p);
    elements_.push_back({Element::Line, {p}});
    current_ = p;
}

void CGPath::curveTo(CGPoint c1, CGPoint c2, CGPoint end) {
    if (elements_.empty()) moveTo(c1);
    elements_.push_back({Element::Curve, {c1, c2, end}});
    current_ = end;
}

void CGPath::quadTo(CGPoint c, CGPoint end) {
    CGPoint p0 = current_;
    curveTo({p0.x + 2.0 / 3 * (c.x - p0.x), p0.y + 2.0 / 3 * (c.y - p0.y)},
            {end.x + 2.0 / 3 * (c.x - end.x), end.y + 2.0 / 3 * (c.y - end.y)}, end);
}

void CGPath::closeSubpath() {
    if (elements_.empty() || elements_.back().type == Element::Close) return;
    elements_.push_back({Element::Close, {}});
    current_ = start_;
}

void CGPath::addArc(CGPoint c, double r, double a0, double a1, bool clockwise) {
    // Screen space has y down, so increasing angles turn clockwise.
    double sweep = a1 - a0;
    if (clockwise) {
        while (sweep < 0) sweep += 2 * M_PI;
        if (sweep > 2 * M_PI) sweep = 2 * M_PI;
    } else {
        while (sweep > 0) sweep -= 2 * M_PI;
        if (sweep < -2 * M_PI) sweep = -2 * M_PI;
    }
    CGPoint start{c.x + r * std::cos(a0), c.y + r * std::sin(a0)};
    if (elements_.empty() || elements_.back().type == Element::Close) moveTo(start);
    else lineTo(start);
    int n = std::max(1, int(std::ceil(std::fabs(sweep) / (M_PI / 2))));
    double step = sweep / n;
    double k = 4.0 / 3 * std::tan(step / 4);
    double a = a0;
    for (int i = 0; i < n; ++i) {
        double b = a + step;
        CGPoint p0{c.x + r * std::cos(a), c.y + r * std::sin(a)};
        CGPoint p3{c.x + r * std::cos(b), c.y + r * std::sin(b)};
        CGPoint c1{p0.x - k * r * std::sin(a), p0.y + k * r * std::cos(a)};
        CGPoint c2{p3.x + k * r * std::sin(b), p3.y - k * r * std::cos(b)};
        curveTo(c1, c2, p3);
        a = b;
    }
}

void CGPath::addRect(const CGRect& r) {
    moveTo({r.minX(), r.minY()});
    lineTo({r.maxX(), r.minY()});
    lineTo({r.maxX(), r.maxY()});
    lineTo({r.minX(), r.maxY()});
    closeSubpath();
}

void CGPath::addEllipseInRect(const CGRect& r) {
    double rx = r.width() / 2, ry = r.height() / 2, cx = r.midX(), cy = r.midY();
    const double k = 0.5522847498;
    moveTo({cx + rx, cy});
    curveTo({cx + rx, cy + k * ry}, {cx + k * rx, cy + ry}, {cx, cy + ry});
    curveTo({cx - k * rx, cy + ry}, {cx - rx, cy + k * ry}, {cx - rx, cy});
    curveTo({cx - rx, cy - k * ry}, {cx - k * rx, cy - ry}, {cx, cy - ry});
    curveTo({cx + k * rx, cy - ry}, {cx + rx, cy - k * ry}, {cx + rx, cy});
    closeSubpath();
}

void CGPath::addRoundedRect(const CGRect& r, double radius, unsigned corners) {
    double rad = std::max(0.0, std::min(radius, std::min(r.width(), r.height()) / 2));
    if (rad <= 0 || corners == 0) return addRect(r);
    auto rc = [&](unsigned c) { return (corners & c) ? rad : 0.0; };
    double x0 = r.minX(), y0 = r.minY(), x1 = r.maxX(), y1 = r.maxY();
    double tl = rc(UIRectCornerTopLeft), tr = rc(UIRectCornerTopRight), br = rc(UIRectCornerBottomRight),
           bl = rc(UIRectCornerBottomLeft);
    moveTo({x0 + tl, y0});
    lineTo({x1 - tr, y0});
    if (tr > 0) addArc({x1 - tr, y0 + tr}, tr, -M_PI / 2, 0, true);
    lineTo({x1, y1 - br});
    if (br > 0) addArc({x1 - br, y1 - br}, br, 0, M_PI / 2, true);
    lineTo({x0 + bl, y1});
    if (bl > 0) addArc({x0 + bl, y1 - bl}, bl, M_PI / 2, M_PI, true);
    lineTo({x0, y0 + tl});
    if (tl > 0) addArc({x0 + tl, y0 + tl}, tl, M_PI, 3 * M_PI / 2, true);
    closeSubpath();
}

void CGPath::addPath(const CGPath& other) {
    for (auto& e : other.elements_) {
        elements_.push_back(e);
    }
    current_ = other.current_;
    start_ = other.start_;
}

CGRect CGPath::boundingBox() const {
    bool any = false;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    for (auto& e : elements_) {
        int n = e.type == Element::Curve ? 3 : e.type == Element::Close ? 0 : 1;
        for (int i = 0; i < n; ++i) {
            const CGPoint& p = e.p[i];
            if (!any) { x0 = x1 = p.x; y0 = y1 = p.y; any = true; }
            x0 = std::min(x0, p.x), x1 = std::max(x1, p.x), y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
        }
    }
    return any ? CGRect(x0, y0, x1 - x0, y1 - y0) : CGRect();
}

CGPath CGPath::reversed() const {
    CGPath out;
    size_t i = 0;
    while (i < elements_.size()) {
        if (elements_[i].type != Element::Move) { ++i; continue; }
        size_t j = i + 1;
        while (j < elements_.size() && elements_[j].type != Element::Move) ++j;
        // Subpath [i, j): points and segments.
        bool closed = elements_[j - 1].type == Element::Close;
        std::vector<CGPoint> pts{elements_[i].p[0]};
        std::vector<const Element*> segs;
        for (size_t k = i + 1; k < j; ++k) {
            if (elements_[k].type == Element::Close) continue;
            segs.push_back(&elements_[k]);
            pts.push_back(elements_[k].type == Element::Curve ? elements_[k].p[2] : elements_[k].p[0]);
        }
        out.moveTo(pts.back());
        for (size_t s = segs.size(); s-- > 0;) {
            CGPoint to = pts[s];
            if (segs[s]->type == Element::Curve) out.curveTo(segs[s]->p[1], segs[s]->p[0], to);
            else out.lineTo(to);
        }
        if (closed) out.closeSubpath();
        i = j;
    }
    return out;
}

CGPath CGPath::transformed(const CGAffineTransform& t) const {
    CGPath out = *this;
    for (auto& e : out.elements_)
        for (auto& p : e.p) p = t.apply(p);
    out.current_ = t.apply(current_);
    out.start_ = t.apply(start_);
    return out;
}

void CGPath::apply(cairo_t* cr) const {
    for (auto& e : elements_) {
        switch (e.type) {
            case Element::Move: cairo_move_to(cr, e.p[0].x, e.p[0].y); break;
            case Element::Line: cairo_line_to(cr, e.p[0].x, e.p[0].y); break;
            case Element::Curve: cairo_curve_to(cr, e.p[0].x, e.p[0].y, e.p[1].x, e.p[1].y, e.p[2].x, e.p[2].y); break;
            case Element::Close: cairo_close_path(cr); break;
        }
    }
}

bool CGPath::contains(CGPoint p, bool evenOdd) const {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* cr = cairo_create(s);
    apply(cr);
    cairo_set_fill_rule(cr, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    bool in = cairo_in_fill(cr, p.x, p.y);
    cairo_destroy(cr);
    cairo_surface_destroy(s);
    return in;
}
