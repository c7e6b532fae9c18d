#include "usercenter/screens/strategy/ZVStickerDataManager.h"

#include "platform/foundation/Strings.h"

namespace emoji {
namespace {

bool isHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The unit of "\uXXXX" at `i` (the backslash); nullopt when it is not one.
std::optional<char16_t> escapedUnit(std::string_view s, size_t i) {
    if (i + 6 > s.size() || s[i] != '\\' || s[i + 1] != 'u') return std::nullopt;
    unsigned unit = 0;
    for (size_t k = i + 2; k < i + 6; ++k) {
        int d = hexDigit(s[k]);
        if (d < 0) return std::nullopt;
        unit = unit * 16 + unsigned(d);
    }
    return char16_t(unit);
}

}  // namespace

std::optional<std::string> emojiImage(std::string_view s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0x80) return std::nullopt;
        if (c != '\\') {
            out += char16_t(c);
            ++i;
            continue;
        }
        if (i + 1 < s.size() && s[i + 1] == '\\') {
            out += u'\\';
            i += 2;
            continue;
        }
        auto unit = escapedUnit(s, i);
        if (!unit || isLow(*unit)) return std::nullopt;
        i += 6;
        out += *unit;
        if (!isHigh(*unit)) continue;
        auto low = escapedUnit(s, i);
        if (!low || !isLow(*low)) return std::nullopt;
        out += *low;
        i += 6;
    }
    return strings::fromUTF16(out);
}

std::string emojiText(std::string_view text) {
    std::string out;
    for (char16_t u : strings::toUTF16(text)) {
        if (u == u'\\') out += "\\\\";
        else if (u < 0x80) out += char(u);
        else out += strings::format("\\u%04X", unsigned(u));
    }
    return out;
}

}  // namespace emoji

namespace {
// ANGRY FACE to WINKING FACE, in the order the keyboard shows them.
const char* const kEscapes[] = {
    R"(\uD83D\uDE20)", R"(\uD83D\uDE29)", R"(\uD83D\uDE32)", R"(\uD83D\uDE1E)",
    R"(\uD83D\uDE35)", R"(\uD83D\uDE30)", R"(\uD83D\uDE0B)", R"(\uD83D\uDE1D)",
    R"(\uD83D\uDE1C)", R"(\uD83D\uDE24)", R"(\uD83D\uDE0D)", R"(\uD83D\uDE12)",
    R"(\uD83D\uDE18)", R"(\uD83D\uDE1A)", R"(\uD83D\uDE37)", R"(\uD83D\uDE33)",
    R"(\uD83D\uDE03)", R"(\uD83D\uDE05)", R"(\uD83D\uDE22)", R"(\uD83D\uDE04)",
    R"(\uD83D\uDE0A)", R"(\uD83D\uDE01)", R"(\uD83D\uDE06)", R"(\uD83D\uDE2D)",
    R"(\uD83D\uDE28)", R"(\uD83D\uDE23)", R"(\uD83D\uDE21)", R"(\uD83D\uDE0C)",
    R"(\uD83D\uDE16)", R"(\uD83D\uDE25)", R"(\uD83D\uDE13)", R"(\uD83D\uDE0F)",
    R"(\uD83D\uDE2A)", R"(\uD83D\uDE31)", R"(\uD83D\uDE14)", R"(\uD83D\uDE2B)",
    R"(\uD83D\uDE09)",
};
}  // namespace

ZVStickerDataManager& ZVStickerDataManager::sharedInstance() {
    static auto* manager = new ZVStickerDataManager();
    return *manager;
}

ZVStickerDataManager::ZVStickerDataManager() { initEmojis(); }

const std::vector<std::string>& ZVStickerDataManager::dataSource() {
    if (dataSource_.empty()) dataSource_.assign(std::begin(kEscapes), std::end(kEscapes));
    return dataSource_;
}

void ZVStickerDataManager::initEmojis() {
    std::vector<std::shared_ptr<const ZVEmoji>> emojis;
    for (auto& text : dataSource()) emojis.push_back(std::make_shared<ZVEmoji>(ZVEmoji{text, emoji::emojiImage(text)}));
    allEmojis_ = std::move(emojis);
}
