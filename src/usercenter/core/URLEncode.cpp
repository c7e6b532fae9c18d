#include "usercenter/core/URLEncode.h"

#include <cmath>
#include <cstring>
#include <regex>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/Strings.h"
#include "platform/graphics/UIImage.h"
#include "platform/security/Digest.h"
#include "platform/ui/TextLayout.h"

namespace URLEncode {

std::string md5String(std::string_view text) { return digest::md5Hex(text); }

std::string getNowTimeTimestamp() { return strings::format("%0.f", Clock::timeIntervalSince1970()); }

std::filesystem::path getBundlePath() {
    auto& main = NSBundle::mainBundle();
    std::filesystem::path sdk = main.bundlePath() / "ZVSDK.bundle";
    std::error_code ec;
    if (std::filesystem::is_directory(sdk, ec) && !std::filesystem::is_empty(sdk, ec)) return sdk;
    return main.bundlePath();
}

std::shared_ptr<NSBundle> getSdkBundle() { return NSBundle::bundleWithPath(getBundlePath()); }

std::string getImagePath(const std::string& imageName) {
    std::error_code ec;
    if (std::filesystem::is_directory(NSBundle::mainBundle().bundlePath() / "ZVSDK.bundle", ec))
        return strings::format("%s.bundle/%s", "ZVSDK", imageName.c_str());
    return imageName;
}

std::shared_ptr<UIImage> sdkImageNamed(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos || name.find("..") != std::string::npos) return nullptr;
    return UIImage::imageNamed(getImagePath(name));
}

bool isURL(std::string_view text) {
    static const std::regex pattern("[a-zA-Z]+://[^\\s]*");
    return std::regex_match(text.begin(), text.end(), pattern);
}

std::string trimmedWhitespaceAndNewlineString(std::string_view text) {
    // Blanks and line breaks of every kind the platform counts, ASCII and
    // the common Unicode ones (no-break space, ideographic space, line and
    // paragraph separators).
    static const char* const unicodeBlanks[] = {"\xC2\xA0", "\xE3\x80\x80", "\xE2\x80\xA8", "\xE2\x80\xA9",
                                                "\xC2\x85"};
    auto isAsciiBlank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
    std::string_view s = text;
    bool changed = true;
    while (changed && !s.empty()) {
        changed = false;
        if (isAsciiBlank(s.front())) s.remove_prefix(1), changed = true;
        else if (isAsciiBlank(s.back())) s.remove_suffix(1), changed = true;
        for (auto* b : unicodeBlanks) {
            if (strings::hasPrefix(s, b)) s.remove_prefix(std::strlen(b)), changed = true;
            if (strings::hasSuffix(s, b)) s.remove_suffix(std::strlen(b)), changed = true;
        }
    }
    return std::string(s);
}

double getHeightWithText(const std::string& text, double width, double fontSize) {
    if (fontSize <= 0) fontSize = 13;
    auto font = UIFont::systemFontOfSize(fontSize);
    NSAttributedString s(text.empty() ? std::string("无") : text);
    CGRect r = NSAttributedStringBoundingRect(s, CGSize{width, 1e9}, font);
    return std::ceil(r.size.height);
}

NSAttributedString getPriceAttribute(const std::string& text, const std::shared_ptr<UIFont>& font) {
    NSAttributedString s(text);
    if (!s.empty() && font) {
        size_t first = (s.utf16()[0] >= 0xD800 && s.utf16()[0] <= 0xDBFF && s.length() > 1) ? 2 : 1;
        s.addAttribute(NSFontAttributeName, font, NSMakeRange(0, first));
    }
    return s;
}

}  // namespace URLEncode
