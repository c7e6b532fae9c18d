#pragma once
// The editing state shared by text fields and text views: the attributed
// text, the selection and the marked (composing) range, all in UTF-16
// units, and the edits the keyboard asks for. The owning view asks its
// delegate before committing a change and tells it afterwards.

#include <functional>
#include <optional>
#include <utility>
#include <string>

#include "platform/ui/NSAttributedString.h"

struct TextEditing {
    NSAttributedString text;
    NSRange selection{0, 0};
    NSRange marked{NSNotFound, 0};
    NSAttributes typingAttributes;

    bool hasMarked() const { return marked.location != NSNotFound; }
    // Where typed text goes: the marked text, else the selection.
    NSRange replacementRange() const { return hasMarked() ? marked : selection; }
    // Replaces `range` (clamped) by `s` with the typing attributes; the caret follows the new text.
    void replace(NSRange range, const std::u16string& s);
    void setMarked(const std::u16string& s, NSRange selectedInMarked);
    void unmark() { marked = {NSNotFound, 0}; }
    // The range one press of delete removes: the selection, else the whole
    // character (grapheme cluster) before the caret; empty at the start.
    NSRange deletionRange() const;
    // Delete while composing: the last character of the marked text goes
    // (false when nothing is marked).
    bool deleteInMarked();
    // Takes the marked text out for committing it as an ordinary edit:
    // returns where it goes and what it was; nothing when none is marked.
    std::optional<std::pair<NSRange, std::u16string>> takeMarked();
    void setPlain(const std::string& s);
    void clampSelection();
};

// Index of the grapheme boundary before / after `index` in UTF-16 text.
size_t previousGraphemeBoundary(const std::u16string& text, size_t index);
size_t nextGraphemeBoundary(const std::u16string& text, size_t index);
