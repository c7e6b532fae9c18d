#include <gtest/gtest.h>

#include "platform/foundation/Strings.h"
#include "platform/security/Cipher.h"

namespace {

std::string hex(const Data& d) { return strings::hexEncode(d.data(), d.size()); }

// Vectors computed with the openssl command line (des-ecb, legacy provider).
TEST(Cipher, DesEcbKnownAnswers) {
    EXPECT_EQ(strings::base64Encode(cipher::desEcbEncrypt("abcdefgh", "{\"a\":1}")), "0ZIr5aGtvNo=");
    EXPECT_EQ(strings::base64Encode(cipher::desEcbEncrypt("abcdefgh", "{\"n\":6}")), "tNB+1Y3V3Bw=");
    // A whole block of input gets a whole block of padding.
    EXPECT_EQ(hex(cipher::desEcbEncrypt("abcdefgh", "12345678")), "21c60da534248bce241bc91e5e55b3d6");
}

TEST(Cipher, DesRoundTripAndLengths) {
    for (size_t n : {0u, 1u, 7u, 8u, 9u, 100u}) {
        std::string plain(n, 'x');
        auto enc = cipher::desEcbEncrypt("k3y-8byt", plain);
        EXPECT_EQ(enc.size(), 8 * (n / 8 + 1)) << n;
        auto dec = cipher::desEcbDecrypt("k3y-8byt", std::string(enc.begin(), enc.end()));
        ASSERT_TRUE(dec) << n;
        EXPECT_EQ(std::string(dec->begin(), dec->end()), plain);
    }
}

TEST(Cipher, DesDecryptRefusesDamagedInput) {
    auto enc = cipher::desEcbEncrypt("abcdefgh", "hello");
    std::string bytes(enc.begin(), enc.end());
    EXPECT_FALSE(cipher::desEcbDecrypt("abcdefgh", ""));
    EXPECT_FALSE(cipher::desEcbDecrypt("abcdefgh", bytes.substr(0, 7)));
    // The wrong key leaves garbage whose padding does not check out.
    EXPECT_FALSE(cipher::desEcbDecrypt("zzzzzzzz", bytes));
}

TEST(Cipher, RandomBytesDiffer) {
    auto a = cipher::randomBytes(16), b = cipher::randomBytes(16);
    EXPECT_EQ(a.size(), 16u);
    EXPECT_NE(a, b);
}

}  // namespace
