// The aggregator's DES and Base64 envelopes (request bodies, replies, the
// channel file's cipher): whatever decodes encodes back to what decodes
// the same; strict Base64 takes only the alphabet and padding.
//
// Input: byte 0 is the key's length (up to 16), the key, then the text.

#include "FuzzSupport.h"
#include "aggregator/Extend.h"
#include "platform/foundation/Strings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    std::string key = in.text(16);
    std::string_view text = in.rest();

    if (auto bytes = Extend::base64DecodeStrict(text)) {
        FUZZ_CHECK(text.size() % 4 == 0 && text.find_first_not_of(
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=") == std::string_view::npos);
        FUZZ_CHECK(Extend::base64DecodeStrict(strings::base64Encode(*bytes)) == bytes);
    }
    if (auto plain = Extend::des128Decryptt(text, key)) {
        FUZZ_CHECK(plain->size() < text.size() && text.size() % 8 == 0);
        FUZZ_CHECK(Extend::des128Encryptt(Extend::view(*plain), key) == Data(text.begin(), text.end()));
    }
    for (auto decoded : {Extend::urlDecodeFromBase64StrOfDes128Decryptt(text, key),
                         Extend::DES128DecryptBase64StrWithKey(text, key)}) {
        if (!decoded) continue;
        FUZZ_CHECK(strings::isValidUTF8(*decoded));
        std::string encoded = Extend::urlEncodeFromBase64StrOfDES128Encryptt(*decoded, key);
        FUZZ_CHECK(encoded.find('+') == std::string::npos);
        FUZZ_CHECK(Extend::urlDecodeFromBase64StrOfDes128Decryptt(encoded, key) == decoded);
    }
    return 0;
}
