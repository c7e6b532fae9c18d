#include "platform/ui/FontFaces.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>


namespace FontFaces {
namespace {

// Debian's font folders, only the accepted files read; the system's caches
// are used when they are current.
constexpr const char* kConfig = R"XML(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <dir>/usr/share/fonts/opentype/noto</dir>
  <dir>/usr/share/fonts/truetype/noto</dir>
  <cachedir>/var/cache/fontconfig</cachedir>
  <cachedir prefix="xdg">fontconfig</cachedir>
  <selectfont>
    <acceptfont>
      <glob>*/NotoSans-*</glob>
      <glob>*/NotoSansCJK-*</glob>
      <glob>*/NotoSansSymbols-*</glob>
      <glob>*/NotoSansSymbols2-*</glob>
      <glob>*/NotoColorEmoji.ttf</glob>
    </acceptfont>
    <rejectfont><glob>*</glob></rejectfont>
  </selectfont>
  <!-- Pango asks for "emoji" for the runs it takes as emoji. -->
  <alias binding="strong">
    <family>emoji</family>
    <prefer><family>Noto Color Emoji</family></prefer>
  </alias>
  <include ignore_missing="yes">/usr/share/fontconfig/conf.avail/10-scale-bitmap-fonts.conf</include>
</fontconfig>
)XML";

// The program's configuration, built once; nullptr when it finds no face.
FcConfig* ownConfig() {
    static FcConfig* config = [] () -> FcConfig* {
        FcInit();
        FcConfig* c = FcConfigCreate();
        if (!FcConfigParseAndLoadFromMemory(c, reinterpret_cast<const FcChar8*>(kConfig), FcTrue) ||
            !FcConfigBuildFonts(c)) {
            FcConfigDestroy(c);
            return nullptr;
        }
        FcFontSet* fonts = FcConfigGetFonts(c, FcSetSystem);
        if (!fonts || fonts->nfont == 0) {
            FcConfigDestroy(c);
            return nullptr;
        }
        return c;
    }();
    return config;
}

}  // namespace

bool usesOwnFaces() { return ownConfig() != nullptr; }

PangoFontMap* fontMap() {
    thread_local PangoFontMap* map = []() -> PangoFontMap* {
        if (!ownConfig()) return pango_cairo_font_map_get_default();
        PangoFontMap* m = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
        if (!m) return pango_cairo_font_map_get_default();
        pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(m), ownConfig());
        return m;
    }();
    return map;
}

}  // namespace FontFaces
