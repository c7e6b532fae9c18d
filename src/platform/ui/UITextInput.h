#pragma once
// What the keyboard (the GTK input method, the emulated software keyboard
// and test injection) talks to: the first responder when it edits text.
// Ranges and positions are UTF-16 units.

#include <string>

#include "platform/graphics/Geometry.h"
#include "platform/ui/NSAttributedString.h"

enum class UITextMove { Left, Right, Up, Down, Home, End };

class UIKeyInput {
public:
    virtual ~UIKeyInput() = default;
    virtual bool hasText() const = 0;
    // Typed or committed text (replaces marked text when there is any). "\n" is the return key.
    virtual void insertText(const std::string& text) = 0;
    virtual void deleteBackward() = 0;
    // Composition of an input method: the marked text and the selection inside it.
    virtual void setMarkedText(const std::string& text, NSRange selectedRange) = 0;
    virtual void unmarkText() = 0;
    virtual NSRange markedTextRange() const = 0;  // location NSNotFound: none
    virtual NSRange selectedRange() const = 0;
    virtual void setSelectedRange(NSRange range) = 0;
    virtual void moveCaret(UITextMove move, bool extendSelection) = 0;
    // Selects the whole text (Ctrl+A).
    virtual void selectAll() {}
    // The edit menu's actions (Ctrl+C, Ctrl+X); views that offer them replace these.
    virtual void copy() {}
    virtual void cut() {}
    virtual void paste() {}
    // Whether the return key may be pressed now (a field that enables it
    // only with text refuses it while empty).
    virtual bool returnKeyEnabled() const { return true; }
    // The caret in window coordinates (the input method's candidate window follows it).
    virtual CGRect caretRectInWindow() const = 0;
};
