#include "platform/ui/TextEditing.h"

#include <pango/pango.h>

#include <algorithm>
#include <vector>

#include "platform/foundation/Strings.h"

namespace {
// Grapheme starts as UTF-16 indexes (always including 0 and the length).
std::vector<size_t> boundaries(const std::u16string& text) {
    std::string utf8 = strings::fromUTF16(text);
    glong chars = g_utf8_strlen(utf8.c_str(), glong(utf8.size()));
    std::vector<PangoLogAttr> attrs(size_t(chars) + 1);
    pango_get_log_attrs(utf8.c_str(), int(utf8.size()), -1, pango_language_from_string("zh-cn"), attrs.data(),
                        int(attrs.size()));
    std::vector<size_t> out;
    size_t unit = 0;
    const char* p = utf8.c_str();
    for (glong c = 0; c <= chars; ++c) {
        if (attrs[size_t(c)].is_cursor_position || c == 0 || c == chars) out.push_back(unit);
        if (c == chars) break;
        gunichar ch = g_utf8_get_char(p);
        unit += ch > 0xFFFF ? 2 : 1;
        p = g_utf8_next_char(p);
    }
    return out;
}
}  // namespace

size_t previousGraphemeBoundary(const std::u16string& text, size_t index) {
    size_t best = 0;
    for (size_t b : boundaries(text))
        if (b < index) best = b;
    return best;
}

size_t nextGraphemeBoundary(const std::u16string& text, size_t index) {
    for (size_t b : boundaries(text))
        if (b > index) return b;
    return text.size();
}

void TextEditing::clampSelection() {
    size_t n = text.length();
    selection.location = std::min(selection.location, n);
    selection.length = std::min(selection.length, n - selection.location);
    if (hasMarked() && marked.end() > n) unmark();
}

void TextEditing::replace(NSRange range, const std::u16string& s) {
    size_t n = text.length();
    range.location = std::min(range.location, n);
    range.length = std::min(range.length, n - range.location);
    text.replaceCharactersInRange(range, NSAttributedString(s, typingAttributes));
    selection = {range.location + s.size(), 0};
    unmark();
}

void TextEditing::setMarked(const std::u16string& s, NSRange sel) {
    NSRange range = replacementRange();
    replace(range, s);
    if (s.empty()) {
        unmark();
        selection = {range.location, 0};
        return;
    }
    marked = {range.location, s.size()};
    size_t loc = std::min(sel.location, s.size());
    selection = {range.location + loc, std::min(sel.length, s.size() - loc)};
}

NSRange TextEditing::deletionRange() const {
    if (selection.length > 0) return selection;
    if (selection.location == 0) return {0, 0};
    size_t start = previousGraphemeBoundary(text.utf16(), selection.location);
    return {start, selection.location - start};
}

bool TextEditing::deleteInMarked() {
    if (!hasMarked()) return false;
    std::u16string m = text.utf16().substr(marked.location, marked.length);
    m = m.substr(0, previousGraphemeBoundary(m, m.size()));
    setMarked(m, {m.size(), 0});
    return true;
}

std::optional<std::pair<NSRange, std::u16string>> TextEditing::takeMarked() {
    if (!hasMarked()) return std::nullopt;
    NSRange m = marked;
    std::u16string s = text.utf16().substr(m.location, m.length);
    replace(m, u"");
    return std::make_pair(NSRange{m.location, 0}, s);
}

void TextEditing::setPlain(const std::string& s) {
    text = NSAttributedString(s, typingAttributes);
    selection = {text.length(), 0};
    unmark();
}

void TextEditing::setAttribute(const std::string& name, const NSAttributeValue& value) {
    typingAttributes[name] = value;
    text.addAttribute(name, value, {0, text.length()});
}

size_t TextEditing::caret() const {
    return caretAtStart_ && selection == extended_ ? selection.location : selection.end();
}

size_t TextEditing::caretAfter(UITextMove move, bool extend) const {
    switch (move) {
        case UITextMove::Left:
            return selection.length && !extend ? selection.location : previousGraphemeBoundary(text.utf16(), caret());
        case UITextMove::Right:
            return selection.length && !extend ? selection.end() : nextGraphemeBoundary(text.utf16(), caret());
        case UITextMove::Home: return 0;
        case UITextMove::End: return text.length();
        default: return caret();
    }
}

void TextEditing::moveCaretTo(size_t index, bool extend) {
    index = std::min(index, text.length());
    if (!extend) {
        selection = {index, 0};
        return;
    }
    size_t anchor = caret() == selection.location ? selection.end() : selection.location;
    selection = index >= anchor ? NSRange{anchor, index - anchor} : NSRange{index, anchor - index};
    extended_ = selection;
    caretAtStart_ = index < anchor;
}
