#include "usercenter/screens/strategy/SPTextBackedString.h"

#include <algorithm>

#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/TextLayout.h"

std::shared_ptr<SPTextBackedString> SPTextBackedString::stringWithString(std::optional<std::string> text) {
    auto value = std::make_shared<SPTextBackedString>();
    value->string = std::move(text);
    return value;
}

Data SPTextBackedString::encode() const {
    Value fields = Value::dict();
    if (string) fields.set("string", *string);
    return keyedarchive::archive(fields);
}

std::shared_ptr<SPTextBackedString> SPTextBackedString::decode(const Data& bytes) {
    auto root = keyedarchive::unarchive(bytes);
    if (!root || !root->isDict()) return nullptr;
    const std::string* text = (*root)["string"].getString();
    return stringWithString(text ? std::optional<std::string>(*text) : std::nullopt);
}

namespace SPAddition {

std::optional<std::string> pp_plainTextForRange(const NSAttributedString& text, NSRange range) {
    if (range.location == NSNotFound || range.length == NSNotFound) return std::nullopt;
    size_t from = std::min(range.location, text.length());
    NSRange clamped{from, std::min(range.length, text.length() - from)};
    std::string out;
    text.enumerateAttribute(SPTextBackedStringAttributeName, clamped, [&](const NSAttributeValue* v, NSRange run) {
        auto* object = v ? std::get_if<std::shared_ptr<NSObject>>(v) : nullptr;
        auto* backed = object ? dynamic_cast<SPTextBackedString*>(object->get()) : nullptr;
        if (backed && backed->string) out += *backed->string;
        else out += strings::fromUTF16(std::u16string_view(text.utf16()).substr(run.location, run.length));
    });
    return out;
}

void pp_setTextBackedString(NSAttributedString& text, const std::shared_ptr<SPTextBackedString>& value, NSRange range) {
    if (value) text.addAttribute(SPTextBackedStringAttributeName, std::shared_ptr<NSObject>(value), range);
    else text.removeAttribute(SPTextBackedStringAttributeName, range);
}

CGSize pp_sizeWithFont(const std::string& text, const std::shared_ptr<UIFont>& font, CGSize size, NSLineBreakMode mode) {
    NSParagraphStyle style;
    style.lineBreakMode = mode;
    NSAttributes attributes{{NSParagraphStyleAttributeName, style}};
    if (font) attributes[NSFontAttributeName] = font;
    return NSAttributedStringBoundingRect(NSAttributedString(text, attributes), size, font).size;
}

CGSize pp_sizeWithFont(const std::string& text, const std::shared_ptr<UIFont>& font) {
    return pp_sizeWithFont(text, font, {CGFLOAT_MAX, 1}, NSLineBreakMode::ByWordWrapping);
}

CGPoint pp_maximumContentOffset(const UIScrollView& view) {
    CGSize content = view.contentSize(), b = view.bounds().size;
    const UIEdgeInsets& i = view.contentInset();
    return {std::max(content.width + i.right - b.width, -i.left), std::max(content.height + i.bottom - b.height, -i.top)};
}

}  // namespace SPAddition

CGRect SPRectInsetClamped(const CGRect& r, const UIEdgeInsets& i) {
    return CGRect(r.minX() + i.left, r.minY() + i.top, std::max(r.width() - i.left - i.right, 0.0),
                  std::max(r.height() - i.top - i.bottom, 0.0));
}
