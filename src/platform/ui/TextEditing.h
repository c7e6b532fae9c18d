#pragma once
// The editing state shared by text fields and text views: the attributed
// text, the selection and the marked (composing) range, all in UTF-16
// units, and the edits the keyboard asks for. The owning view asks its
// delegate before committing a change and tells it afterwards.

#include <optional>
#include <string>
#include <utility>

#include "platform/ui/NSAttributedString.h"
#include "platform/ui/UITextInput.h"

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
    // Sets one attribute over the whole text and for what is typed next.
    void setAttribute(const std::string& name, const NSAttributeValue& value);

    // The end of the selection that moves with the arrow keys (the caret);
    // the other end is the anchor. A selection made by extending keeps the
    // end that was moved, any other has its caret at its end.
    size_t caret() const;
    // Where Left, Right, Home or End takes the caret (a selection collapses
    // to its near edge unless `extend`); Up and Down leave it to the view.
    size_t caretAfter(UITextMove move, bool extend) const;
    // Moves the caret to `index`; with `extend` the anchor stays (shift and
    // an arrow), else the selection collapses there.
    void moveCaretTo(size_t index, bool extend);

private:
    NSRange extended_{NSNotFound, 0};  // the selection the last extension made
    bool caretAtStart_ = false;        // whether that selection's caret is its start
};

// Index of the grapheme boundary before / after `index` in UTF-16 text.
size_t previousGraphemeBoundary(const std::u16string& text, size_t index);
size_t nextGraphemeBoundary(const std::u16string& text, size_t index);
