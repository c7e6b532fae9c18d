#pragma once
// Paths in points: lines, cubic curves and closed subpaths, with the
// platform's shapes (rounded rectangles with chosen corners, ovals, arcs)
// and reversal (a reversed inner rectangle punches a hole with the
// non-zero rule). UIBezierPath is the same path with a line width.

#include <cairo.h>

#include <vector>

#include "platform/graphics/Geometry.h"

enum UIRectCorner : unsigned {
    UIRectCornerTopLeft = 1 << 0,
    UIRectCornerTopRight = 1 << 1,
    UIRectCornerBottomLeft = 1 << 2,
    UIRectCornerBottomRight = 1 << 3,
    UIRectCornerAllCorners = 15,
};

class CGPath {
public:
    struct Element {
        enum Type { Move, Line, Curve, Close } type;
        CGPoint p[3];  // Move/Line: p[0]; Curve: control 1, control 2, end
    };

    void moveTo(CGPoint p);
    void lineTo(CGPoint p);
    void curveTo(CGPoint c1, CGPoint c2, CGPoint end);
    void quadTo(CGPoint c, CGPoint end);
    // Arc around `center`; angles in radians, clockwise in screen space when `clockwise`.
    void addArc(CGPoint center, double radius, double startAngle, double endAngle, bool clockwise);
    void closeSubpath();
    void addRect(const CGRect& r);
    void addEllipseInRect(const CGRect& r);
    void addRoundedRect(const CGRect& r, double radius, unsigned corners = UIRectCornerAllCorners);
    void addPath(const CGPath& other);

    bool isEmpty() const { return elements_.empty(); }
    const std::vector<Element>& elements() const { return elements_; }
    CGPoint currentPoint() const { return current_; }
    CGRect boundingBox() const;
    // Each subpath in reverse direction, in the same order.
    CGPath reversed() const;
    CGPath transformed(const CGAffineTransform& t) const;
    // Point inside by the non-zero (or even-odd) rule.
    bool contains(CGPoint p, bool evenOdd = false) const;

    // Appends the path to Cairo's current path.
    void apply(cairo_t* cr) const;

    static CGPath rect(const CGRect& r) { CGPath p; p.addRect(r); return p; }
    static CGPath roundedRect(const CGRect& r, double radius, unsigned corners = UIRectCornerAllCorners) {
        CGPath p; p.addRoundedRect(r, radius, corners); return p;
    }

private:
    std::vector<Element> elements_;
    CGPoint current_{}, start_{};
};

class UIBezierPath {
public:
    static UIBezierPath bezierPathWithRect(const CGRect& r) { UIBezierPath b; b.path.addRect(r); return b; }
    static UIBezierPath bezierPathWithOvalInRect(const CGRect& r) { UIBezierPath b; b.path.addEllipseInRect(r); return b; }
    static UIBezierPath bezierPathWithRoundedRect(const CGRect& r, double radius) {
        UIBezierPath b; b.path.addRoundedRect(r, radius); return b;
    }
    static UIBezierPath bezierPathWithRoundedRect(const CGRect& r, unsigned corners, CGSize radii) {
        UIBezierPath b; b.path.addRoundedRect(r, radii.width, corners); return b;
    }
    void moveToPoint(CGPoint p) { path.moveTo(p); }
    void addLineToPoint(CGPoint p) { path.lineTo(p); }
    void addCurveToPoint(CGPoint end, CGPoint c1, CGPoint c2) { path.curveTo(c1, c2, end); }
    void addArcWithCenter(CGPoint c, double r, double a0, double a1, bool clockwise) { path.addArc(c, r, a0, a1, clockwise); }
    void closePath() { path.closeSubpath(); }
    void appendPath(const UIBezierPath& o) { path.addPath(o.path); }
    UIBezierPath bezierPathByReversingPath() const { UIBezierPath b = *this; b.path = path.reversed(); return b; }
    bool containsPoint(CGPoint p) const { return path.contains(p, usesEvenOddFillRule); }
    CGRect bounds() const { return path.boundingBox(); }

    CGPath path;
    double lineWidth = 1;
    bool usesEvenOddFillRule = false;
};
