#include <gtest/gtest.h>

#include "aggregator/Extend.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/Strings.h"
#include "platform/security/Digest.h"

namespace {

// Vectors computed with the openssl command line, independent of our code.
TEST(Extend, KnownAnswerVectors) {
    EXPECT_EQ(Extend::base64FromDES128Encrypt("{\"a\":1}", "abcdefgh"), "0ZIr5aGtvNo=");
    auto block = Extend::des128Encryptt("12345678", "abcdefgh");
    EXPECT_EQ(strings::hexEncode(block.data(), block.size()), "21c60da534248bce241bc91e5e55b3d6");

    // The pieces of the request envelope (NetworkManager::envelope).
    EXPECT_EQ(Extend::base64FromDES128Encrypt("{\"n\":6}", "abcdefgh12345"), "tNB+1Y3V3Bw=");
    EXPECT_EQ(Extend::urlEncodeFromBase64StrOfDES128Encryptt("{\"n\":6}", "abcdefgh12345"), "tNB%2B1Y3V3Bw=");
    EXPECT_EQ(Extend::md5Stringg("json_data=tNB%2B1Y3V3Bw=&product_code=P100&abcdefgh12345"),
              "b0814b22ef13e701d15a21c005941bbf");
}

TEST(Extend, OnlyPlusIsEscapedInTheEncodedData) {
    // Find texts whose encryption holds "/" and "=" and "+".
    bool slash = false, plus = false;
    for (int i = 0; i < 400 && !(slash && plus); ++i) {
        std::string text = "{\"i\":" + std::to_string(i) + "}";
        auto raw = Extend::base64FromDES128Encrypt(text, "k");
        auto enc = Extend::urlEncodeFromBase64StrOfDES128Encryptt(text, "k");
        EXPECT_EQ(enc, strings::replaceAll(raw, "+", "%2B"));
        EXPECT_EQ(enc.find('+'), std::string::npos);
        slash |= raw.find('/') != std::string::npos && enc.find('/') != std::string::npos;
        plus |= raw.find('+') != std::string::npos;
        EXPECT_EQ(Extend::urlDecodeFromBase64StrOfDes128Decryptt(enc, "k"), text);
    }
    EXPECT_TRUE(slash && plus);
}

TEST(Extend, KeyTextsAreCutAndPaddedToEightBytes) {
    std::string padded("abc\0\0\0\0\0", 8);
    EXPECT_EQ(Extend::des128Encryptt("x", "abc"), Extend::des128Encryptt("x", padded));
    EXPECT_EQ(Extend::des128Encryptt("x", "abcdefgh"), Extend::des128Encryptt("x", "abcdefghIGNORED"));
    EXPECT_EQ(Extend::desKeyOf(std::string("ab\0cd", 5)), std::string("ab\0\0\0\0\0\0", 8));
    EXPECT_EQ(Extend::des128Encryptt("", "k").size(), 8u);
    EXPECT_EQ(Extend::des128Encryptt("12345678", "k").size(), 16u);
    EXPECT_EQ(Extend::des128Encryptt("123456789", "k").size(), 16u);
}

TEST(Extend, DecryptionFailuresAreEmpty) {
    EXPECT_FALSE(Extend::DES128DecryptBase64StrWithKey("not base64!", "k"));
    EXPECT_FALSE(Extend::DES128DecryptBase64StrWithKey("AAAA", "k"));           // not whole blocks
    EXPECT_FALSE(Extend::DES128DecryptBase64StrWithKey("0ZIr5aGtvNo=", "zz"));  // wrong key
    EXPECT_FALSE(Extend::base64DecodeStrict("0ZIr5aGt\nvNo="));
    EXPECT_FALSE(Extend::base64DecodeStrict("0Z=r5aGtvNo="));
    EXPECT_EQ(Extend::DES128DecryptBase64StrWithKey("0ZIr5aGtvNo=", "abcdefgh"), "{\"a\":1}");
}

TEST(Extend, TextsAndJSON) {
    auto md5 = Extend::md5Stringg("anything at all");
    EXPECT_EQ(md5.size(), 32u);
    EXPECT_EQ(md5, strings::toLower(md5));
    EXPECT_EQ(Extend::md5Stringg(""), "");
    EXPECT_EQ(Extend::md5Stringg(std::string("abc\0def", 7)), digest::md5Hex("abc"));
    EXPECT_EQ(Extend::base64Stringg(""), "");
    EXPECT_EQ(Extend::base64Stringg("中"), "5Lit");
    EXPECT_EQ(Extend::stringFromBase64Stringg("5Lit"), "");

    EXPECT_EQ(Extend::jsonString(Value::dict({{"a", Value::array({1, "x"})}, {"b", true}})), "{\"a\":[1,\"x\"],\"b\":true}");
    EXPECT_FALSE(Extend::jsonString(Value("text")));
    EXPECT_FALSE(Extend::dictionaryFromJsonData("{\"a\":"));
    // Neither parse checks the type: an array stays an array.
    EXPECT_TRUE(Extend::dictionaryFromJsonData("[1,2]")->isArray());
    EXPECT_TRUE(Extend::arrayFromJsonData("{\"a\":1}")->isDict());
}

TEST(Extend, EncryptedChannelFileReadsBack) {
    // The channel file's encrypted form: a keyed archive of the dictionary,
    // DES-encrypted under "pxqvbtrok".
    Value cfg = Value::dict({{"channel_type", "977"}, {"product_code", "P100"}, {"product_key", "abcdefgh12345"}});
    Data file = Extend::des128Encryptt(Extend::view(keyedarchive::archive(cfg)), "pxqvbtrok");
    auto plain = Extend::des128Decryptt(Extend::view(file), "pxqvbtrok");
    ASSERT_TRUE(plain);
    auto back = keyedarchive::unarchive(*plain);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, cfg);
    EXPECT_FALSE(Extend::des128Decryptt(Extend::view(file), "wrongkey"));
}

}  // namespace
