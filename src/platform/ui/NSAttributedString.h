#pragma once
// Text with attributes over ranges. Lengths, indexes and ranges count
// UTF-16 units, as on the platform; the text itself is kept in UTF-16 so
// that ranges from the input method and from callers map exactly. One
// class serves both the immutable and the mutable platform type.

#include <cstddef>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/UIColor.h"
#include "platform/ui/UIFont.h"

inline constexpr size_t NSNotFound = std::numeric_limits<long>::max();

struct NSRange {
    size_t location = 0;
    size_t length = 0;
    size_t end() const { return location + length; }
    bool operator==(const NSRange& o) const { return location == o.location && length == o.length; }
    bool operator!=(const NSRange& o) const { return !(*this == o); }
};
inline NSRange NSMakeRange(size_t loc, size_t len) { return NSRange{loc, len}; }

enum class NSTextAlignment { Left = 0, Center = 1, Right = 2, Justified = 3, Natural = 4 };
enum class NSLineBreakMode { ByWordWrapping, ByCharWrapping, ByClipping, ByTruncatingHead, ByTruncatingTail, ByTruncatingMiddle };

struct NSParagraphStyle {
    double lineSpacing = 0;
    NSTextAlignment alignment = NSTextAlignment::Natural;
    NSLineBreakMode lineBreakMode = NSLineBreakMode::ByWordWrapping;
    bool operator==(const NSParagraphStyle& o) const {
        return lineSpacing == o.lineSpacing && alignment == o.alignment && lineBreakMode == o.lineBreakMode;
    }
};

// Attribute values: fonts and custom objects compare by identity.
using NSAttributeValue = std::variant<std::shared_ptr<UIFont>, UIColor, NSParagraphStyle, long, double, std::string,
                                      std::shared_ptr<NSObject>>;
using NSAttributes = std::map<std::string, NSAttributeValue>;

inline const std::string NSFontAttributeName = "NSFont";
inline const std::string NSForegroundColorAttributeName = "NSColor";
inline const std::string NSBackgroundColorAttributeName = "NSBackgroundColor";
inline const std::string NSParagraphStyleAttributeName = "NSParagraphStyle";
inline const std::string NSUnderlineStyleAttributeName = "NSUnderline";  // long: 0 none, 1 single
inline const std::string NSKernAttributeName = "NSKern";                 // double, points

class NSAttributedString {
public:
    struct Run {
        NSRange range;
        NSAttributes attributes;
    };

    NSAttributedString() = default;
    explicit NSAttributedString(const std::string& text, NSAttributes attributes = {});
    explicit NSAttributedString(std::u16string text, NSAttributes attributes = {});

    std::string string() const;
    const std::u16string& utf16() const { return text_; }
    size_t length() const { return text_.size(); }
    bool empty() const { return text_.empty(); }

    // Runs cover the whole text, adjacent runs differ.
    const std::vector<Run>& runs() const { return runs_; }
    NSAttributes attributesAtIndex(size_t index, NSRange* effective = nullptr) const;
    // The value of one attribute at an index; `effective` gets the longest
    // range around the index with that same value (or without it).
    std::optional<NSAttributeValue> attribute(const std::string& name, size_t index, NSRange* effective = nullptr) const;
    // Calls `f` for each stretch of `range` in which the attribute keeps one
    // value (nullptr where absent), in order.
    template <class F>
    void enumerateAttribute(const std::string& name, NSRange range, F&& f) const {
        size_t i = range.location, end = std::min(range.end(), length());
        while (i < end) {
            NSRange eff;
            auto v = attribute(name, i, &eff);
            size_t stop = std::min(end, eff.end());
            f(v ? &*v : nullptr, NSRange{i, stop - i});
            i = stop;
        }
    }
    NSAttributedString attributedSubstringFromRange(NSRange range) const;

    // Mutation (the platform's mutable variant).
    // New characters take the attributes of the first replaced character,
    // or of the character before the range when nothing is replaced.
    void replaceCharactersInRange(NSRange range, const std::string& text);
    void replaceCharactersInRange(NSRange range, const std::u16string& text);
    void replaceCharactersInRange(NSRange range, const NSAttributedString& text);
    void insertAttributedString(const NSAttributedString& text, size_t index) { replaceCharactersInRange({index, 0}, text); }
    void appendAttributedString(const NSAttributedString& text) { replaceCharactersInRange({length(), 0}, text); }
    void deleteCharactersInRange(NSRange range) { replaceCharactersInRange(range, std::u16string()); }
    void setAttributes(const NSAttributes& attributes, NSRange range);
    void addAttribute(const std::string& name, const NSAttributeValue& value, NSRange range);
    void addAttributes(const NSAttributes& attributes, NSRange range);
    void removeAttribute(const std::string& name, NSRange range);

    bool operator==(const NSAttributedString& o) const;

private:
    NSRange clamp(NSRange r) const;
    void normalize();
    template <class F>
    void editAttributes(NSRange range, F&& f);

    std::u16string text_;
    std::vector<Run> runs_;
};
using NSMutableAttributedString = NSAttributedString;
