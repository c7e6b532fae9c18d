#include "platform/ui/UIFont.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cctype>

#include "platform/ui/FontFaces.h"

UIFont::UIFont(double size, UIFontWeight weight, std::string name)
    : size_(size > 0 ? size : 12), weight_(weight), name_(std::move(name)) {}

std::shared_ptr<UIFont> UIFont::systemFontOfSize(double size, UIFontWeight weight) {
    return std::make_shared<UIFont>(size, weight, ".SFUI");
}

std::shared_ptr<UIFont> UIFont::fontWithName(const std::string& name, double size) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    auto has = [&](const char* s) { return lower.find(s) != std::string::npos; };
    UIFontWeight w = UIFontWeight::Regular;
    if (has("ultralight")) w = UIFontWeight::UltraLight;
    else if (has("thin")) w = UIFontWeight::Thin;
    else if (has("light")) w = UIFontWeight::Light;
    else if (has("medium")) w = UIFontWeight::Medium;
    else if (has("semibold")) w = UIFontWeight::Semibold;
    else if (has("heavy")) w = UIFontWeight::Heavy;
    else if (has("black")) w = UIFontWeight::Black;
    else if (has("bold")) w = UIFontWeight::Bold;
    return std::make_shared<UIFont>(size, w, name);
}

std::shared_ptr<UIFont> UIFont::fontWithSize(double size) const { return std::make_shared<UIFont>(size, weight_, name_); }

PangoFontDescription* UIFont::newPangoDescription() const {
    PangoFontDescription* d = pango_font_description_new();
    pango_font_description_set_family(d, FontFaces::kFamilies);
    PangoWeight pw = PANGO_WEIGHT_NORMAL;
    switch (weight_) {
        case UIFontWeight::UltraLight: pw = PANGO_WEIGHT_ULTRALIGHT; break;
        case UIFontWeight::Thin: pw = PANGO_WEIGHT_THIN; break;
        case UIFontWeight::Light: pw = PANGO_WEIGHT_LIGHT; break;
        case UIFontWeight::Regular: pw = PANGO_WEIGHT_NORMAL; break;
        case UIFontWeight::Medium: pw = PANGO_WEIGHT_MEDIUM; break;
        case UIFontWeight::Semibold: pw = PANGO_WEIGHT_SEMIBOLD; break;
        case UIFontWeight::Bold: pw = PANGO_WEIGHT_BOLD; break;
        case UIFontWeight::Heavy: pw = PANGO_WEIGHT_HEAVY; break;
        case UIFontWeight::Black: pw = PANGO_WEIGHT_ULTRAHEAVY; break;
    }
    pango_font_description_set_weight(d, pw);
    pango_font_description_set_absolute_size(d, size_ * PANGO_SCALE);
    return d;
}

// Defined in TextLayout.cpp (it owns the Pango context).
PangoContext* textPangoContext();

namespace {
struct Metrics {
    double ascent, descent, height;
};
Metrics metricsOf(const UIFont& f) {
    PangoFontDescription* d = f.newPangoDescription();
    PangoFontMetrics* m = pango_context_get_metrics(textPangoContext(), d, pango_language_from_string("zh-cn"));
    Metrics out{pango_font_metrics_get_ascent(m) / double(PANGO_SCALE),
                pango_font_metrics_get_descent(m) / double(PANGO_SCALE), 0};
    out.height = std::max(out.ascent + out.descent, pango_font_metrics_get_height(m) / double(PANGO_SCALE));
    pango_font_metrics_unref(m);
    pango_font_description_free(d);
    return out;
}
}  // namespace

double UIFont::lineHeight() const { return metricsOf(*this).height; }
double UIFont::ascender() const { return metricsOf(*this).ascent; }
double UIFont::descender() const { return -metricsOf(*this).descent; }
