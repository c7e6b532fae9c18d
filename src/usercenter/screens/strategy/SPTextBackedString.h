#pragma once
// Text-backed runs: a run of an attributed text whose attribute
// "SPTextBackedString" holds the text the run stands for (an inserted
// emoji holds itself). The plain text of a range is rebuilt from those
// values and the ordinary characters between them. With the category
// additions that set and read the attribute, and three measuring helpers.

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"
#include "platform/ui/NSAttributedString.h"
#include "platform/ui/UIScrollView.h"

inline const std::string SPTextBackedStringAttributeName = "SPTextBackedString";

class SPTextBackedString : public NSObject {
public:
    static std::shared_ptr<SPTextBackedString> stringWithString(std::optional<std::string> text);

    std::optional<std::string> string;  // none: the run's own characters count

    // The archive of the value (a keyed archive of {"string": text}), and back;
    // nullptr for bytes that are no such archive.
    Data encode() const;
    static std::shared_ptr<SPTextBackedString> decode(const Data& bytes);
    std::shared_ptr<SPTextBackedString> copy() const { return stringWithString(string); }
};

namespace SPAddition {

inline NSRange pp_rangeOfAll(const NSAttributedString& text) { return {0, text.length()}; }
// The plain text of `range` (clamped to the text): the backing text of each
// text-backed run, the characters elsewhere. A location or length of
// NSNotFound gives nothing.
std::optional<std::string> pp_plainTextForRange(const NSAttributedString& text, NSRange range);
// Sets the attribute over `range`; nullptr removes it.
void pp_setTextBackedString(NSAttributedString& text, const std::shared_ptr<SPTextBackedString>& value, NSRange range);

// The bounding size of `text` drawn from line-fragment origins in `font`
// (when given) with that line-break mode, inside `size` (not rounded).
CGSize pp_sizeWithFont(const std::string& text, const std::shared_ptr<UIFont>& font, CGSize size,
                       NSLineBreakMode mode);
// The same on one unbounded line of height 1, word wrapping.
CGSize pp_sizeWithFont(const std::string& text, const std::shared_ptr<UIFont>& font);
// The largest offset a scroll view's content and insets allow.
CGPoint pp_maximumContentOffset(const UIScrollView& view);

}  // namespace SPAddition

// `rect` less `insets`, never narrower or lower than 0.
CGRect SPRectInsetClamped(const CGRect& rect, const UIEdgeInsets& insets);
