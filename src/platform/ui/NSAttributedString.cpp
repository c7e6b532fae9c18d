#include "platform/ui/NSAttributedString.h"

#include <algorithm>

#include "platform/foundation/Strings.h"


NSAttributedString::NSAttributedString(const std::string& text, NSAttributes attributes)
    : NSAttributedString(strings::toUTF16(text), std::move(attributes)) {}

NSAttributedString::NSAttributedString(std::u16string text, NSAttributes attributes) : text_(std::move(text)) {
    if (!text_.empty()) runs_.push_back({{0, text_.size()}, std::move(attributes)});
}

std::string NSAttributedString::string() const { return strings::fromUTF16(text_); }

NSRange NSAttributedString::clamp(NSRange r) const {
    size_t loc = std::min(r.location, length());
    size_t len = std::min(r.length, length() - loc);
    return {loc, len};
}

NSAttributes NSAttributedString::attributesAtIndex(size_t index, NSRange* effective) const {
    for (auto& run : runs_)
        if (index >= run.range.location && index < run.range.end()) {
            if (effective) *effective = run.range;
            return run.attributes;
        }
    if (effective) *effective = {index, 0};
    return {};
}

std::optional<NSAttributeValue> NSAttributedString::attribute(const std::string& name, size_t index,
                                                              NSRange* effective) const {
    size_t k = 0;
    while (k < runs_.size() && !(index >= runs_[k].range.location && index < runs_[k].range.end())) ++k;
    if (k == runs_.size()) {
        if (effective) *effective = {index, 0};
        return std::nullopt;
    }
    auto valueOf = [&](size_t i) -> std::optional<NSAttributeValue> {
        auto it = runs_[i].attributes.find(name);
        if (it == runs_[i].attributes.end()) return std::nullopt;
        return it->second;
    };
    auto v = valueOf(k);
    if (effective) {
        size_t lo = k, hi = k;
        while (lo > 0 && valueOf(lo - 1) == v) --lo;
        while (hi + 1 < runs_.size() && valueOf(hi + 1) == v) ++hi;
        *effective = {runs_[lo].range.location, runs_[hi].range.end() - runs_[lo].range.location};
    }
    return v;
}

NSAttributedString NSAttributedString::attributedSubstringFromRange(NSRange range) const {
    range = clamp(range);
    NSAttributedString out;
    out.text_ = text_.substr(range.location, range.length);
    for (auto& run : runs_) {
        size_t a = std::max(run.range.location, range.location), b = std::min(run.range.end(), range.end());
        if (a < b) out.runs_.push_back({{a - range.location, b - a}, run.attributes});
    }
    return out;
}

void NSAttributedString::normalize() {
    std::vector<Run> out;
    for (auto& run : runs_) {
        if (run.range.length == 0) continue;
        if (!out.empty() && out.back().attributes == run.attributes) out.back().range.length += run.range.length;
        else out.push_back(run);
    }
    runs_.swap(out);
}

void NSAttributedString::replaceCharactersInRange(NSRange range, const std::string& text) {
    replaceCharactersInRange(range, strings::toUTF16(text));
}

void NSAttributedString::replaceCharactersInRange(NSRange range, const std::u16string& text) {
    range = clamp(range);
    NSAttributes attrs;
    if (range.length > 0) attrs = attributesAtIndex(range.location);
    else if (range.location > 0) attrs = attributesAtIndex(range.location - 1);
    else if (!runs_.empty()) attrs = runs_.front().attributes;
    replaceCharactersInRange(range, NSAttributedString(text, attrs));
}

void NSAttributedString::replaceCharactersInRange(NSRange range, const NSAttributedString& text) {
    range = clamp(range);
    std::vector<Run> out;
    for (auto& run : runs_) {
        // Part before the range.
        if (run.range.location < range.location) {
            size_t end = std::min(run.range.end(), range.location);
            out.push_back({{run.range.location, end - run.range.location}, run.attributes});
        }
    }
    for (auto& run : text.runs_) out.push_back({{run.range.location + range.location, run.range.length}, run.attributes});
    long shift = long(text.length()) - long(range.length);
    for (auto& run : runs_) {
        if (run.range.end() > range.end()) {
            size_t start = std::max(run.range.location, range.end());
            out.push_back({{size_t(long(start) + shift), run.range.end() - start}, run.attributes});
        }
    }
    text_.replace(range.location, range.length, text.text_);
    runs_.swap(out);
    normalize();
}

template <class F>
void NSAttributedString::editAttributes(NSRange range, F&& f) {
    range = clamp(range);
    if (range.length == 0) return;
    std::vector<Run> out;
    for (auto& run : runs_) {
        size_t a = std::max(run.range.location, range.location), b = std::min(run.range.end(), range.end());
        if (a >= b) {
            out.push_back(run);
            continue;
        }
        if (run.range.location < a) out.push_back({{run.range.location, a - run.range.location}, run.attributes});
        Run mid{{a, b - a}, run.attributes};
        f(mid.attributes);
        out.push_back(mid);
        if (b < run.range.end()) out.push_back({{b, run.range.end() - b}, run.attributes});
    }
    runs_.swap(out);
    normalize();
}

void NSAttributedString::setAttributes(const NSAttributes& attributes, NSRange range) {
    editAttributes(range, [&](NSAttributes& a) { a = attributes; });
}

void NSAttributedString::addAttribute(const std::string& name, const NSAttributeValue& value, NSRange range) {
    editAttributes(range, [&](NSAttributes& a) { a[name] = value; });
}

void NSAttributedString::addAttributes(const NSAttributes& attributes, NSRange range) {
    editAttributes(range, [&](NSAttributes& a) {
        for (auto& [k, v] : attributes) a[k] = v;
    });
}

void NSAttributedString::removeAttribute(const std::string& name, NSRange range) {
    editAttributes(range, [&](NSAttributes& a) { a.erase(name); });
}

bool NSAttributedString::operator==(const NSAttributedString& o) const {
    if (text_ != o.text_ || runs_.size() != o.runs_.size()) return false;
    for (size_t i = 0; i < runs_.size(); ++i)
        if (runs_[i].range != o.runs_[i].range || runs_[i].attributes != o.runs_[i].attributes) return false;
    return true;
}
