#pragma once
// The comment bar's face emoji: a fixed set of 37, kept as escape texts
// and decoded once into the characters the sticker keyboard shows and the
// bar inserts. And the category that converts between the escape form and
// the characters.
//
// The escape form: ASCII text in which a character outside ASCII is
// written "\uXXXX" per UTF-16 unit (a surrogate pair as two escapes, high
// first) and a backslash as "\\". Decoding combines a high and a low
// surrogate into one character; anything else after a backslash, a lone or
// misordered surrogate, or a byte outside ASCII makes the text undecodable.
// Main thread, except the one-time creation of the manager.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace emoji {
// The characters of an escape text; nullopt when it is not one.
std::optional<std::string> emojiImage(std::string_view escaped);
// The escape text of UTF-8 text (invalid bytes count as U+FFFD); ASCII
// other than the backslash stays as it is.
std::string emojiText(std::string_view text);
}  // namespace emoji

// One keyboard item: its stored escape text and the character it shows
// (named `image`, although it is text; none when the escape does not decode).
struct ZVEmoji {
    std::string text;
    std::optional<std::string> image;
};

class ZVStickerDataManager {
public:
    // The one manager, made on first use (safe from two threads at once).
    static ZVStickerDataManager& sharedInstance();

    // The escape texts in keyboard order; built on first read when empty.
    const std::vector<std::string>& dataSource();
    // Replacing the texts does not rebuild allEmojis.
    void setDataSource(std::vector<std::string> texts) { dataSource_ = std::move(texts); }

    // One item per escape text, built once when the manager is made.
    const std::vector<std::shared_ptr<const ZVEmoji>>& allEmojis() const { return allEmojis_; }
    void setAllEmojis(std::vector<std::shared_ptr<const ZVEmoji>> emojis) { allEmojis_ = std::move(emojis); }

    ZVStickerDataManager();

private:
    void initEmojis();

    std::vector<std::string> dataSource_;
    std::vector<std::shared_ptr<const ZVEmoji>> allEmojis_;
};
