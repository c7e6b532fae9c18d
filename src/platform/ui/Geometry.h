#pragma once
// Points, sizes, rectangles and insets in points (the screen scale maps them
// to pixels when drawing).

#include <algorithm>
#include <cmath>

struct CGPoint {
    double x = 0, y = 0;
    bool operator==(const CGPoint& o) const { return x == o.x && y == o.y; }
};

struct CGSize {
    double width = 0, height = 0;
    bool operator==(const CGSize& o) const { return width == o.width && height == o.height; }
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
    bool operator==(const CGRect& o) const { return origin == o.origin && size == o.size; }
    bool operator!=(const CGRect& o) const { return !(*this == o); }
};

inline CGRect CGRectMake(double x, double y, double w, double h) { return CGRect(x, y, w, h); }
inline CGPoint CGPointMake(double x, double y) { return CGPoint{x, y}; }
inline CGSize CGSizeMake(double w, double h) { return CGSize{w, h}; }
inline const CGRect CGRectZero{};

struct UIEdgeInsets {
    double top = 0, left = 0, bottom = 0, right = 0;
    bool operator==(const UIEdgeInsets& o) const {
        return top == o.top && left == o.left && bottom == o.bottom && right == o.right;
    }
};

inline UIEdgeInsets UIEdgeInsetsMake(double t, double l, double b, double r) { return UIEdgeInsets{t, l, b, r}; }
