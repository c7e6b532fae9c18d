#include <gtest/gtest.h>

#include "platform/security/Digest.h"

namespace {

// Published test vectors (RFC 1321, FIPS 180, RFC 4231).
TEST(Digest, KnownVectors) {
    EXPECT_EQ(digest::md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(digest::md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(digest::sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(digest::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    auto mac = digest::hmacSha256("Jefe", "what do ya want for nothing?");
    ASSERT_EQ(mac.size(), 32u);
    EXPECT_EQ(mac[0], 0x5b);
    EXPECT_EQ(mac[31], 0x43);
}

TEST(Digest, Md5OfUTF8Text) {
    // The aggregator's request sign is the MD5 of a UTF-8 text.
    EXPECT_EQ(digest::md5Hex("json_data=tNB%2B1Y3V3Bw=&product_code=P100&abcdefgh12345"),
              "b0814b22ef13e701d15a21c005941bbf");
}

}  // namespace
