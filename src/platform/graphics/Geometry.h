#pragma once
// Points, sizes, rectangles, insets and affine transforms in points (the
// screen scale maps them to pixels when drawing).

#include <algorithm>
#include <cmath>
#include <limits>

struct CGPoint {
    double x = 0, y = 0;
    bool operator==(const CGPoint& o) const { return x == o.x && y == o.y; }
    bool operator!=(const CGPoint& o) const { return !(*this == o); }
};

struct CGSize {
    double width = 0, height = 0;
    bool operator==(const CGSize& o) const { return width == o.width && height == o.height; }
    bool operator!=(const CGSize& o) const { return !(*this == o); }
};

struct CGRect {
    CGPoint origin;
    CGSize size;

    CGRect() = default;
    CGRect(double x, double y, double w, double h) : origin{x, y}, size{w, h} {}
    CGRect(CGPoint o, CGSize s) : origin(o), size(s) {}

    double minX() const { return std::min(origin.x, origin.x + size.width); }
    double minY() const { return std::min(origin.y, origin.y + size.height); }
    double maxX() const { return std::max(origin.x, origin.x + size.width); }
    double maxY() const { return std::max(origin.y, origin.y + size.height); }
    double midX() const { return origin.x + size.width / 2; }
    double midY() const { return origin.y + size.height / 2; }
    double width() const { return std::fabs(size.width); }
    double height() const { return std::fabs(size.height); }
    bool isEmpty() const { return size.width == 0 || size.height == 0; }
    bool contains(CGPoint p) const { return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY(); }
    bool intersects(const CGRect& o) const {
        return minX() < o.maxX() && o.minX() < maxX() && minY() < o.maxY() && o.minY() < maxY();
    }
    CGRect insetBy(double dx, double dy) const {
        return CGRect(origin.x + dx, origin.y + dy, size.width - 2 * dx, size.height - 2 * dy);
    }
    CGRect offsetBy(double dx, double dy) const { return CGRect(origin.x + dx, origin.y + dy, size.width, size.height); }
    // Empty intersection: CGRectZero-like empty rectangle at the origin.
    CGRect intersection(const CGRect& o) const {
        double x0 = std::max(minX(), o.minX()), y0 = std::max(minY(), o.minY());
        double x1 = std::min(maxX(), o.maxX()), y1 = std::min(maxY(), o.maxY());
        if (x1 <= x0 || y1 <= y0) return CGRect();
        return CGRect(x0, y0, x1 - x0, y1 - y0);
    }
    CGRect unionWith(const CGRect& o) const {
        if (isEmpty()) return o;
        if (o.isEmpty()) return *this;
        double x0 = std::min(minX(), o.minX()), y0 = std::min(minY(), o.minY());
        return CGRect(x0, y0, std::max(maxX(), o.maxX()) - x0, std::max(maxY(), o.maxY()) - y0);
    }
    bool operator==(const CGRect& o) const { return origin == o.origin && size == o.size; }
    bool operator!=(const CGRect& o) const { return !(*this == o); }
};

inline CGRect CGRectMake(double x, double y, double w, double h) { return CGRect(x, y, w, h); }
inline CGPoint CGPointMake(double x, double y) { return CGPoint{x, y}; }
inline CGSize CGSizeMake(double w, double h) { return CGSize{w, h}; }
inline const CGRect CGRectZero{};
inline const CGPoint CGPointZero{};
inline const CGSize CGSizeZero{};
inline constexpr double CGFLOAT_MAX = std::numeric_limits<double>::max();

struct UIEdgeInsets {
    double top = 0, left = 0, bottom = 0, right = 0;
    bool operator==(const UIEdgeInsets& o) const {
        return top == o.top && left == o.left && bottom == o.bottom && right == o.right;
    }
    bool operator!=(const UIEdgeInsets& o) const { return !(*this == o); }
};

inline UIEdgeInsets UIEdgeInsetsMake(double t, double l, double b, double r) { return UIEdgeInsets{t, l, b, r}; }
inline const UIEdgeInsets UIEdgeInsetsZero{};
inline CGRect UIEdgeInsetsInsetRect(const CGRect& r, const UIEdgeInsets& i) {
    return CGRect(r.origin.x + i.left, r.origin.y + i.top, r.size.width - i.left - i.right,
                  r.size.height - i.top - i.bottom);
}

// x' = a·x + c·y + tx, y' = b·x + d·y + ty (the platform's layout).
struct CGAffineTransform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    static CGAffineTransform identity() { return {}; }
    static CGAffineTransform makeScale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    static CGAffineTransform makeRotation(double angle) {
        double cs = std::cos(angle), sn = std::sin(angle);
        return {cs, sn, -sn, cs, 0, 0};
    }
    static CGAffineTransform makeTranslation(double x, double y) { return {1, 0, 0, 1, x, y}; }

    bool isIdentity() const { return a == 1 && b == 0 && c == 0 && d == 1 && tx == 0 && ty == 0; }
    // this, then `t` (the platform's CGAffineTransformConcat(this, t)).
    CGAffineTransform concat(const CGAffineTransform& t) const {
        return {a * t.a + b * t.c, a * t.b + b * t.d, c * t.a + d * t.c, c * t.b + d * t.d, tx * t.a + ty * t.c + t.tx,
                tx * t.b + ty * t.d + t.ty};
    }
    // The platform's CGAffineTransformScale/Rotate/Translate: the step applies first.
    CGAffineTransform scaled(double sx, double sy) const { return makeScale(sx, sy).concat(*this); }
    CGAffineTransform rotated(double angle) const { return makeRotation(angle).concat(*this); }
    CGAffineTransform translated(double x, double y) const { return makeTranslation(x, y).concat(*this); }
    CGAffineTransform inverted() const {
        double det = a * d - b * c;
        if (det == 0) return *this;
        return {d / det, -b / det, -c / det, a / det, (c * ty - d * tx) / det, (b * tx - a * ty) / det};
    }
    CGPoint apply(CGPoint p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
    CGSize apply(CGSize s) const { return {a * s.width + c * s.height, b * s.width + d * s.height}; }
    // Bounding box of the transformed rectangle.
    CGRect apply(const CGRect& r) const {
        CGPoint p[4] = {apply(CGPoint{r.minX(), r.minY()}), apply(CGPoint{r.maxX(), r.minY()}),
                        apply(CGPoint{r.minX(), r.maxY()}), apply(CGPoint{r.maxX(), r.maxY()})};
        double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
        for (auto& q : p) {
            x0 = std::min(x0, q.x), x1 = std::max(x1, q.x), y0 = std::min(y0, q.y), y1 = std::max(y1, q.y);
        }
        return CGRect(x0, y0, x1 - x0, y1 - y0);
    }
    bool operator==(const CGAffineTransform& o) const {
        return a == o.a && b == o.b && c == o.c && d == o.d && tx == o.tx && ty == o.ty;
    }
    bool operator!=(const CGAffineTransform& o) const { return !(*this == o); }
};

inline const CGAffineTransform CGAffineTransformIdentity{};
