#pragma once
// The faces native screens draw with, chosen by the program itself so that
// a screen looks the same in tests, in the demo and in an installed run,
// whatever fontconfig set-up the machine or the environment has:
// Latin letters and digits from Noto Sans, Chinese from Noto Sans CJK SC,
// symbols (✕ and the like) from Noto Sans Symbols 2 and Noto Sans Symbols,
// emoji from Noto Color Emoji (Debian's fonts-noto-core, fonts-noto-cjk and
// fonts-noto-color-emoji). Pango takes each character from the first face
// of that list that has it, so a digit never comes from the emoji face and
// a run's colour reaches every glyph of the run. Emoji runs (👍, ❤️; not
// "❤︎" with the text selector) are another matter: Pango asks for the
// generic family "emoji" there, which the configuration maps to the colour
// face first, so a symbol face's plain outline of the same character is
// not used.
//
// The faces come from a fontconfig configuration of the program's own that
// accepts only those files; when none of them is installed, the machine's
// default set-up is used instead (text still draws, in other faces).

typedef struct _PangoFontMap PangoFontMap;

namespace FontFaces {

// The family list every toolkit font asks for, in order of preference.
inline constexpr const char* kFamilies = "Noto Sans, Noto Sans CJK SC, Noto Sans Symbols2, Noto Sans Symbols, Noto Color Emoji";

// The calling thread's font map over the program's faces (Pango font maps
// are not shared between threads). Never null; owned by the thread.
PangoFontMap* fontMap();
// Whether the program's own faces were found (false: the default set-up is in use).
bool usesOwnFaces();

}  // namespace FontFaces
