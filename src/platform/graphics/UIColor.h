#pragma once
// A colour in sRGB with alpha, components 0...1.

#include <cstdint>

struct UIColor {
    double red = 0, green = 0, blue = 0, alpha = 0;

    static UIColor colorWithRed(double r, double g, double b, double a = 1) { return UIColor{r, g, b, a}; }
    static UIColor colorWithWhite(double w, double a = 1) { return UIColor{w, w, w, a}; }
    // 0xRRGGBB
    static UIColor fromRGB(uint32_t rgb, double a = 1) {
        return UIColor{((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, a};
    }
    static UIColor clearColor() { return UIColor{0, 0, 0, 0}; }
    static UIColor whiteColor() { return UIColor{1, 1, 1, 1}; }
    static UIColor blackColor() { return UIColor{0, 0, 0, 1}; }
    static UIColor lightGrayColor() { return colorWithWhite(2.0 / 3); }
    static UIColor grayColor() { return colorWithWhite(0.5); }
    static UIColor darkGrayColor() { return colorWithWhite(1.0 / 3); }
    static UIColor redColor() { return UIColor{1, 0, 0, 1}; }
    static UIColor greenColor() { return UIColor{0, 1, 0, 1}; }
    static UIColor blueColor() { return UIColor{0, 0, 1, 1}; }
    static UIColor orangeColor() { return UIColor{1, 0.5, 0, 1}; }
    // The platform's default tint (system blue).
    static UIColor systemBlueColor() { return UIColor{0, 122 / 255.0, 1, 1}; }

    UIColor colorWithAlphaComponent(double a) const { return UIColor{red, green, blue, a}; }
    // Component-wise blend, t = 0 gives this, 1 gives `to`.
    UIColor interpolated(const UIColor& to, double t) const {
        return UIColor{red + (to.red - red) * t, green + (to.green - green) * t, blue + (to.blue - blue) * t,
                       alpha + (to.alpha - alpha) * t};
    }
    bool operator==(const UIColor& o) const {
        return red == o.red && green == o.green && blue == o.blue && alpha == o.alpha;
    }
    bool operator!=(const UIColor& o) const { return !(*this == o); }
};
