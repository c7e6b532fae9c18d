#include "platform/ui/TextLayout.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

#include "platform/foundation/Strings.h"
#include "platform/ui/FontFaces.h"

PangoContext* textPangoContext() {
    thread_local PangoContext* ctx = [] {
        PangoContext* c = pango_font_map_create_context(FontFaces::fontMap());
        cairo_font_options_t* o = cairo_font_options_create();
        // Unhinted metrics: layout does not depend on the scale it is drawn at.
        cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_GRAY);
        pango_cairo_context_set_font_options(c, o);
        cairo_font_options_destroy(o);
        pango_context_set_language(c, pango_language_from_string("zh-cn"));
        return c;
    }();
    return ctx;
}

namespace {
guint16 channel(double v) { return guint16(std::lround(std::clamp(v, 0.0, 1.0) * 65535)); }
}  // namespace

TextLayout::TextLayout(const std::string& text, const Options& options) {
    build(NSAttributedString(text), options);
}

TextLayout::TextLayout(const NSAttributedString& text, const Options& options) { build(text, options); }

TextLayout::~TextLayout() {
    if (layout_) g_object_unref(layout_);
}

void TextLayout::build(const NSAttributedString& text, const Options& options) {
    options_ = options;
    if (!options_.font) options_.font = UIFont::systemFontOfSize(17);
    const std::u16string& u = text.utf16();
    // UTF-8 text and the byte offset of every UTF-16 unit.
    std::vector<int> unitBytes(u.size() + 1, 0);
    utf8_.clear();
    for (size_t i = 0; i < u.size();) {
        unitBytes[i] = int(utf8_.size());
        size_t n = (u[i] >= 0xD800 && u[i] < 0xDC00 && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] < 0xE000) ? 2 : 1;
        if (n == 2) unitBytes[i + 1] = int(utf8_.size());
        if (options.secure) utf8_ += "\xE2\x80\xA2";
        else utf8_ += strings::fromUTF16(u.substr(i, n));
        i += n;
    }
    unitBytes[u.size()] = int(utf8_.size());

    layout_ = pango_layout_new(textPangoContext());
    pango_layout_set_text(layout_, utf8_.c_str(), int(utf8_.size()));
    PangoFontDescription* d = options_.font->newPangoDescription();
    pango_layout_set_font_description(layout_, d);
    pango_font_description_free(d);

    NSTextAlignment align = options_.alignment;
    double spacing = 0;
    NSLineBreakMode mode = options_.lineBreakMode;
    PangoAttrList* list = pango_attr_list_new();
    for (auto& run : text.runs()) {
        guint start = guint(unitBytes[run.range.location]), end = guint(unitBytes[run.range.end()]);
        auto add = [&](PangoAttribute* a) {
            a->start_index = start;
            a->end_index = end;
            pango_attr_list_insert(list, a);
        };
        for (auto& [name, value] : run.attributes) {
            if (name == NSFontAttributeName) {
                if (auto* f = std::get_if<std::shared_ptr<UIFont>>(&value); f && *f) {
                    PangoFontDescription* fd = (*f)->newPangoDescription();
                    add(pango_attr_font_desc_new(fd));
                    pango_font_description_free(fd);
                }
            } else if (name == NSForegroundColorAttributeName) {
                if (auto* c = std::get_if<UIColor>(&value)) {
                    add(pango_attr_foreground_new(channel(c->red), channel(c->green), channel(c->blue)));
                    add(pango_attr_foreground_alpha_new(std::max<guint16>(1, channel(c->alpha))));
                }
            } else if (name == NSBackgroundColorAttributeName) {
                if (auto* c = std::get_if<UIColor>(&value); c && c->alpha > 0) {
                    add(pango_attr_background_new(channel(c->red), channel(c->green), channel(c->blue)));
                    add(pango_attr_background_alpha_new(std::max<guint16>(1, channel(c->alpha))));
                }
            } else if (name == NSUnderlineStyleAttributeName) {
                if (auto* l = std::get_if<long>(&value); l && *l) add(pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
            } else if (name == NSKernAttributeName) {
                if (auto* k = std::get_if<double>(&value)) add(pango_attr_letter_spacing_new(int(*k * PANGO_SCALE)));
            } else if (name == NSParagraphStyleAttributeName) {
                if (auto* p = std::get_if<NSParagraphStyle>(&value)) {
                    spacing = p->lineSpacing;
                    if (p->alignment != NSTextAlignment::Natural) align = p->alignment;
                    mode = p->lineBreakMode;
                }
            }
        }
    }
    pango_layout_set_attributes(layout_, list);
    pango_attr_list_unref(list);
    pango_layout_set_spacing(layout_, int(spacing * PANGO_SCALE));

    switch (align) {
        case NSTextAlignment::Center: pango_layout_set_alignment(layout_, PANGO_ALIGN_CENTER); break;
        case NSTextAlignment::Right: pango_layout_set_alignment(layout_, PANGO_ALIGN_RIGHT); break;
        case NSTextAlignment::Justified: pango_layout_set_justify(layout_, TRUE); break;
        default: pango_layout_set_alignment(layout_, PANGO_ALIGN_LEFT); break;
    }
    bool wraps = options_.width >= 0;
    if (wraps) {
        pango_layout_set_width(layout_, int(std::max(0.0, options_.width) * PANGO_SCALE));
        pango_layout_set_wrap(layout_, mode == NSLineBreakMode::ByCharWrapping ? PANGO_WRAP_CHAR : PANGO_WRAP_WORD_CHAR);
    }
    bool truncates = mode == NSLineBreakMode::ByTruncatingTail || mode == NSLineBreakMode::ByTruncatingHead ||
                     mode == NSLineBreakMode::ByTruncatingMiddle;
    if (wraps && truncates) {
        pango_layout_set_ellipsize(layout_, mode == NSLineBreakMode::ByTruncatingHead     ? PANGO_ELLIPSIZE_START
                                            : mode == NSLineBreakMode::ByTruncatingMiddle ? PANGO_ELLIPSIZE_MIDDLE
                                                                                          : PANGO_ELLIPSIZE_END);
        // Pango's default height keeps an ellipsized text to one line; a text
        // of any number of lines wraps without limit instead.
        pango_layout_set_height(layout_, options_.numberOfLines > 0 ? -options_.numberOfLines : G_MAXINT);
    }
    // Keep the unit table for index conversions.
    unitBytes_.swap(unitBytes);
}

int TextLayout::unitToByte(size_t unit) const {
    if (unitBytes_.empty()) return 0;
    return unitBytes_[std::min(unit, unitBytes_.size() - 1)];
}

size_t TextLayout::byteToUnit(int byte) const {
    auto it = std::lower_bound(unitBytes_.begin(), unitBytes_.end(), byte);
    if (it == unitBytes_.end()) return unitBytes_.empty() ? 0 : unitBytes_.size() - 1;
    return size_t(it - unitBytes_.begin());
}

CGSize TextLayout::size() const {
    PangoRectangle logical;
    pango_layout_get_extents(layout_, nullptr, &logical);
    double w = logical.width / double(PANGO_SCALE), h = logical.height / double(PANGO_SCALE);
    int total = pango_layout_get_line_count(layout_);
    if (options_.numberOfLines > 0 && total > options_.numberOfLines) {
        // Clipped to the first lines: the bottom of the last line kept.
        PangoLayoutIter* it = pango_layout_get_iter(layout_);
        for (int i = 0; i < options_.numberOfLines - 1; ++i) pango_layout_iter_next_line(it);
        PangoRectangle line;
        pango_layout_iter_get_line_extents(it, nullptr, &line);
        h = (line.y + line.height) / double(PANGO_SCALE);
        pango_layout_iter_free(it);
    }
    return {w, h};
}

double TextLayout::lineHeight() const {
    PangoLayout* probe = pango_layout_new(textPangoContext());
    PangoFontDescription* d = options_.font->newPangoDescription();
    pango_layout_set_font_description(probe, d);
    pango_font_description_free(d);
    // A line of Latin and Chinese: what a typed line takes, so that an
    // empty line is as tall as a written one.
    pango_layout_set_text(probe, "A\xE5\x9B\xBD", -1);
    PangoRectangle logical;
    pango_layout_get_extents(probe, nullptr, &logical);
    g_object_unref(probe);
    return logical.height / double(PANGO_SCALE);
}

void TextLayout::draw(CGContext& ctx, CGPoint origin) const {
    cairo_t* cr = ctx.cairo();
    cairo_save(cr);
    int total = pango_layout_get_line_count(layout_);
    if (options_.numberOfLines > 0 && total > options_.numberOfLines) {
        CGSize s = size();
        cairo_rectangle(cr, origin.x - 10000, origin.y, 20000 + s.width, s.height);
        cairo_clip(cr);
    }
    cairo_move_to(cr, origin.x, origin.y);
    ctx.setSource(options_.color);
    pango_cairo_show_layout(cr, layout_);
    cairo_restore(cr);
}

CGRect TextLayout::caretRect(size_t index) const {
    PangoRectangle strong;
    pango_layout_get_cursor_pos(layout_, unitToByte(index), &strong, nullptr);
    return CGRect(strong.x / double(PANGO_SCALE), strong.y / double(PANGO_SCALE), 2, strong.height / double(PANGO_SCALE));
}

size_t TextLayout::indexAtPoint(CGPoint p) const {
    int byte = 0, trailing = 0;
    pango_layout_xy_to_index(layout_, int(p.x * PANGO_SCALE), int(p.y * PANGO_SCALE), &byte, &trailing);
    size_t unit = byteToUnit(byte);
    for (int i = 0; i < trailing && unit + 1 < unitBytes_.size(); ++i) {
        // Step over one character (a surrogate pair shares its byte offset).
        size_t next = unit + 1;
        while (next + 1 < unitBytes_.size() && unitBytes_[next] == unitBytes_[unit]) ++next;
        unit = next;
    }
    return unit;
}

CGSize NSStringSizeWithFont(const std::string& text, const std::shared_ptr<UIFont>& font, double width,
                            NSLineBreakMode mode) {
    TextLayout::Options o;
    o.font = font;
    o.width = width;
    o.lineBreakMode = mode;
    return TextLayout(text, o).size();
}

CGRect NSAttributedStringBoundingRect(const NSAttributedString& text, CGSize size, const std::shared_ptr<UIFont>& font) {
    TextLayout::Options o;
    o.font = font;
    o.width = size.width >= CGFLOAT_MAX / 2 ? -1 : size.width;
    CGSize s = TextLayout(text, o).size();
    return CGRect(0, 0, s.width, std::min(s.height, std::max(0.0, size.height)));
}
