#pragma once
// Fonts by size in points and weight. Every font draws with the program's
// own faces (FontFaces.h): Latin from Noto Sans, Chinese from Noto Sans CJK
// SC, symbols and emoji from their faces; named platform fonts map onto them.

#include <memory>
#include <string>

typedef struct _PangoFontDescription PangoFontDescription;

enum class UIFontWeight { UltraLight, Thin, Light, Regular, Medium, Semibold, Bold, Heavy, Black };

class UIFont {
public:
    static std::shared_ptr<UIFont> systemFontOfSize(double size, UIFontWeight weight = UIFontWeight::Regular);
    static std::shared_ptr<UIFont> boldSystemFontOfSize(double size) { return systemFontOfSize(size, UIFontWeight::Bold); }
    // Platform font names ("PingFangSC-Medium", "STHeitiSC-Medium", "Helvetica-Bold"...):
    // the weight from the name's suffix, the family always the system one.
    static std::shared_ptr<UIFont> fontWithName(const std::string& name, double size);

    double pointSize() const { return size_; }
    UIFontWeight weight() const { return weight_; }
    const std::string& fontName() const { return name_; }
    std::shared_ptr<UIFont> fontWithSize(double size) const;

    // Metrics in points, from the font itself.
    double lineHeight() const;
    double ascender() const;
    double descender() const;  // negative, as the platform reports it

    // A new Pango description (caller frees with pango_font_description_free).
    PangoFontDescription* newPangoDescription() const;

    UIFont(double size, UIFontWeight weight, std::string name);
    bool operator==(const UIFont& o) const { return size_ == o.size_ && weight_ == o.weight_; }

private:
    double size_;
    UIFontWeight weight_;
    std::string name_;
};
