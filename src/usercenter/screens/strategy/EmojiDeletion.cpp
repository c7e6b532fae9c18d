#include "usercenter/screens/strategy/EmojiDeletion.h"

#include <algorithm>
#include <optional>

namespace EmojiDeletion {
namespace {

struct CodePoint {
    char32_t value;
    size_t units;
};

CodePoint at(const std::u16string& s, size_t i) {
    char16_t u = s[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF)
        return {0x10000 + ((char32_t(u) - 0xD800) << 10) + (s[i + 1] - 0xDC00), 2};
    return {u, 1};
}

bool isRegionalIndicator(char32_t c) { return c >= 0x1F1E6 && c <= 0x1F1FF; }
bool isSkinTone(char32_t c) { return c >= 0x1F3FB && c <= 0x1F3FF; }
bool isBase(char32_t c) {
    return (c >= 0x2600 && c <= 0x27BF) || (c >= 0x1F300 && c <= 0x1F77F) || (c >= 0x1F900 && c <= 0x1F9FF);
}

// The length of the first alternative that matches at `i`, or nothing.
std::optional<size_t> matchAt(const std::u16string& s, size_t i) {
    CodePoint first = at(s, i);
    std::optional<CodePoint> second;
    if (i + first.units < s.size()) second = at(s, i + first.units);
    if (isRegionalIndicator(first.value) && second && isRegionalIndicator(second->value)) return first.units + second->units;
    if (!isBase(first.value)) return std::nullopt;
    if (second && (isSkinTone(second->value) || second->value == 0xFE0F)) return first.units + second->units;
    return first.units;
}

}  // namespace

NSRange rangeBefore(const std::u16string& text, size_t caret) {
    caret = std::min(caret, text.size());
    if (caret == 0) return {0, 0};
    for (size_t i = 0; i < caret;) {
        auto length = matchAt(text, i);
        if (!length) {
            i += at(text, i).units;
            continue;
        }
        if (i + *length == caret) return {i, *length};
        i += *length;
    }
    bool pair = caret >= 2 && text[caret - 1] >= 0xDC00 && text[caret - 1] <= 0xDFFF && text[caret - 2] >= 0xD800 &&
                text[caret - 2] <= 0xDBFF;
    size_t units = pair ? 2 : 1;
    return {caret - units, units};
}

}  // namespace EmojiDeletion
