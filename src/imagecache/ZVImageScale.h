#pragma once
// The scale a file name states, as in "icon@2x.png" or "bg@1.5x.jpg".

#include <string_view>

// The path without its extension is searched, line by line, for "@",
// digits, an optional point and digits, "x" at the end of a line; each
// such match that starts at position 3 or later gives the number between
// "@" and "x" (the last one wins). An empty path, one ending in "/", no
// match, and a scale that is not positive and finite give 1. So "icon@2x"
// is 2, "bg@1.5x" is 1.5, and a name that is only "@2x" is 1.
double ZVImageScaleFromPath(std::string_view path);

// The path without the extension of its last component ("a/b.png" -> "a/b").
std::string_view ZVPathDeletingExtension(std::string_view path);
// The extension of the last component, without its point ("" when none).
std::string_view ZVPathExtension(std::string_view path);
