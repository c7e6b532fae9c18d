// What the comment bar reads from outside its own code: the archive of a
// text-backed run (pasteboard and archived text) and the emoji escape texts.
// The first byte picks which. A run that decodes encodes back to the same
// value; an escape text that decodes gives valid UTF-8 whose escape form
// decodes to it again.

#include "FuzzSupport.h"
#include "platform/foundation/Strings.h"
#include "usercenter/screens/strategy/SPTextBackedString.h"
#include "usercenter/screens/strategy/ZVStickerDataManager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    if (data[0] & 1) {
        auto value = SPTextBackedString::decode(Data(data + 1, data + size));
        if (!value) return 0;
        auto again = SPTextBackedString::decode(value->encode());
        FUZZ_CHECK(again && again->string == value->string);
        return 0;
    }
    auto shown = emoji::emojiImage(fuzz::text(data + 1, size - 1));
    if (!shown) return 0;
    FUZZ_CHECK(strings::isValidUTF8(*shown));
    FUZZ_CHECK(emoji::emojiImage(emoji::emojiText(*shown)) == shown);
    return 0;
}
