#pragma once
// The user-centre SDK's string and bundle helpers (the category
// NSString(URLEncode)).

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ui/NSAttributedString.h"

class NSBundle;
class UIImage;

namespace URLEncode {

// MD5 of the UTF-8 bytes as 32 lower-case hexadecimal digits.
std::string md5String(std::string_view text);
// The current Unix time in whole seconds (rounded, as "%0.f" gives it), as text.
std::string getNowTimeTimestamp();

// The SDK resource bundle "ZVSDK.bundle" in the main bundle, or the main
// bundle's own folder when that is missing or empty.
std::filesystem::path getBundlePath();
std::shared_ptr<NSBundle> getSdkBundle();
// "ZVSDK.bundle/<name>" when the SDK bundle exists, else the name unchanged.
std::string getImagePath(const std::string& imageName);
// An image of the SDK bundle by name ("ZV_close", "ZV_close.png"); nullptr when missing.
std::shared_ptr<UIImage> sdkImageNamed(const std::string& name);

// One or more ASCII letters, "://", then any run of non-blank characters.
bool isURL(std::string_view text);
std::string trimmedWhitespaceAndNewlineString(std::string_view text);

// Height of the text in the system font of `fontSize` (13 when <= 0) at
// `width`, rounded up to a whole point; an empty text is measured as one character.
double getHeightWithText(const std::string& text, double width, double fontSize);
// The text with its first character in `font` (the rest carries no font).
NSAttributedString getPriceAttribute(const std::string& text, const std::shared_ptr<UIFont>& font);

}  // namespace URLEncode
