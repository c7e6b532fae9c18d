#pragma once
// What one press of the sticker keyboard's delete key removes before the
// caret when nothing is selected. The text is searched from its start for
// non-overlapping matches of four alternatives, tried in this order at
// each position:
//   1. a flag: two regional indicators (U+1F1E6-U+1F1FF);
//   2. a base emoji followed by a skin-tone modifier (U+1F3FB-U+1F3FF);
//   3. a base emoji followed by the variation selector U+FE0F;
//   4. a base emoji alone;
// a base emoji being one of U+2600-U+27BF, U+1F300-U+1F77F, U+1F900-U+1F9FF.
// The first match that ends at the caret is removed; with none, the one
// whole code point before the caret (never half a surrogate pair). A
// sequence joined by U+200D loses its last part only.

#include <cstddef>
#include <string>

#include "platform/ui/NSAttributedString.h"

namespace EmojiDeletion {
// The range to delete before `caret` (UTF-16 units); empty at the start.
NSRange rangeBefore(const std::u16string& text, size_t caret);
}  // namespace EmojiDeletion
