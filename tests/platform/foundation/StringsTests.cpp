#include <gtest/gtest.h>

#include "platform/foundation/NSURL.h"
#include "platform/foundation/StringFormat.h"
#include "platform/foundation/Strings.h"
#include "platform/foundation/Value.h"

namespace {

std::string decodeLiteral(const std::string& literal) {
    // A JavaScript string literal in double quotes with only JSON escapes is a JSON string.
    auto v = Value::fromJSON(literal);
    EXPECT_TRUE(v && v->isString()) << literal;
    return v ? v->stringOr() : "";
}

TEST(JsStringLiteral, HostileTextsComeBackIntact) {
    const std::string texts[] = {
        "plain",
        "with blank and \"quotes\" and \\backslash\\",
        "</script><script>alert(1)</script>",
        std::string("line\nbreak\rand\ttab\x01\x1f"),
        "sep\u2028arators\u2029",
        "中文 😀 emoji",
        "'single' `back`",
        "",
    };
    for (const auto& t : texts) {
        std::string lit = strings::jsStringLiteral(t);
        EXPECT_EQ(lit.front(), '"');
        EXPECT_EQ(lit.back(), '"');
        EXPECT_EQ(lit.find('\n'), std::string::npos);
        EXPECT_EQ(lit.find("\u2028"), std::string::npos);
        EXPECT_EQ(lit.find("</"), std::string::npos);
        EXPECT_EQ(decodeLiteral(lit), t);
    }
}

TEST(JsStringLiteral, InvalidUTF8BecomesReplacementCharacter) {
    std::string lit = strings::jsStringLiteral(std::string("a\xff" "b"));
    EXPECT_EQ(decodeLiteral(lit), "a\uFFFD" "b");
}

TEST(Utf16, LengthsAndRangesCountUnits) {
    EXPECT_EQ(strings::utf16Length("abc"), 3u);
    EXPECT_EQ(strings::utf16Length("中文"), 2u);
    EXPECT_EQ(strings::utf16Length("😀"), 2u);
    EXPECT_EQ(strings::utf16Substring("a中😀b", 1, 3), "中😀");
    // A range that would split the surrogate pair keeps the pair whole.
    EXPECT_EQ(strings::utf16Substring("a😀b", 2, 2), "😀b");
    EXPECT_EQ(strings::utf16Substring("abc", 5, 2), "");
    EXPECT_EQ(strings::fromUTF16(strings::toUTF16("x中😀")), "x中😀");
    EXPECT_EQ(strings::utf16IndexToByteOffset("a中b", 2), 4u);
}

TEST(Utf8, SafePrefixNeverCutsASequence) {
    std::string s = "ab中";  // 2 + 3 bytes
    EXPECT_EQ(strings::utf8SafePrefixLength(s, 4), 2u);
    EXPECT_EQ(strings::utf8SafePrefixLength(s, 5), 5u);
    EXPECT_TRUE(strings::isValidUTF8("中文"));
    EXPECT_FALSE(strings::isValidUTF8("\xc3"));
    EXPECT_FALSE(strings::isValidUTF8("\xed\xa0\x80"));  // an encoded surrogate
}

TEST(PercentEncoding, RoundTripsAndKeepsMalformedEscapes) {
    EXPECT_EQ(strings::percentEncode("a&uid=x+y z"), "a%26uid%3Dx%2By%20z");
    EXPECT_EQ(strings::percentDecode("a%26uid%3Dx%2By%20z"), "a&uid=x+y z");
    EXPECT_EQ(strings::percentDecode("100%"), "100%");
    EXPECT_EQ(strings::percentDecode("%zz%4"), "%zz%4");
    EXPECT_EQ(strings::percentDecode("%2e%2E/"), "../");
}

TEST(Base64, KnownVectorsAndGarbage) {
    EXPECT_EQ(strings::base64Encode(std::string_view("")), "");
    EXPECT_EQ(strings::base64Encode(std::string_view("f")), "Zg==");
    EXPECT_EQ(strings::base64Encode(std::string_view("fo")), "Zm8=");
    EXPECT_EQ(strings::base64Encode(std::string_view("foobar")), "Zm9vYmFy");
    auto d = strings::base64Decode("Zm9v\nYmE=");
    ASSERT_TRUE(d);
    EXPECT_EQ(std::string(d->begin(), d->end()), "fooba");
    EXPECT_FALSE(strings::base64Decode("Zm9v!"));
    EXPECT_FALSE(strings::base64Decode("Zg==Zg"));
}

TEST(NumberText, ShortestFormsReadBack) {
    EXPECT_EQ(strings::formatNumber(3), "3");
    EXPECT_EQ(strings::formatNumber(0.1), "0.1");
    EXPECT_EQ(strings::formatNumber(-2.5), "-2.5");
    EXPECT_EQ(std::stod(strings::formatNumber(1.0 / 3)), 1.0 / 3);
}

TEST(Format, LongOutputIsNotTruncated) {
    std::string big(5000, 'x');
    EXPECT_EQ(strings::format("%s!", big.c_str()).size(), 5001u);
}

TEST(URL, PartsOfAbsoluteAndCustomSchemeURLs) {
    auto u = NSURL::URLWithString("local://game/img/a%20b.png?x=1#frag");
    ASSERT_TRUE(u);
    EXPECT_EQ(u->scheme(), "local");
    EXPECT_EQ(u->host(), "game");
    EXPECT_EQ(u->path(), "/img/a b.png");
    EXPECT_EQ(u->percentEncodedPath(), "/img/a%20b.png");
    EXPECT_EQ(u->query(), "x=1");
    EXPECT_EQ(u->fragment(), "frag");
    EXPECT_EQ(u->pathExtension(), "png");

    auto p = NSURL::URLWithString("https://user@example.com:8443/a?b=c+d&e");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->port(), 8443);
    EXPECT_EQ(p->user(), "user");
    auto items = p->queryItems();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].second, "c d");
    EXPECT_EQ(items[1].first, "e");

    auto custom = NSURL::URLWithString("ZorviaPaylinkScheme123://payreturn?x=1");
    ASSERT_TRUE(custom);
    EXPECT_EQ(custom->host(), "payreturn");

    EXPECT_FALSE(NSURL::URLWithString(""));
    EXPECT_FALSE(NSURL::URLWithString("http://a b"));
    EXPECT_FALSE(NSURL::URLWithString("http://host:99999999/"));
}

}  // namespace

TEST(StringFormat, TableFormatsAreRenderedWithoutPrintf) {
    struct Case {
        const char* format;
        std::vector<Value> args;
        const char* expected;
    };
    for (const auto& c : std::vector<Case>{
             {"已选择 %lu 张", {3}, "已选择 3 张"},
             {"%ld Photos, %ld Videos", {2, 1}, "2 Photos, 1 Videos"},
             {"%2$@ before %1$@", {"a", "b"}, "b before a"},
             {"%05d|%-4d|%+d|%x|%#X|%o", {42, 7, 3, 255, 255, 8}, "00042|7   |+3|ff|0XFF|10"},
             {"%.2f %e %g", {3.14159, 1e5, 0.5}, "3.14 1.000000e+05 0.5"},
             {"%s=%@ %d", {"k", 2.5, "12abc"}, "k=2.5 12"},
             {"100%% %n%p done", {1}, "100%  done"},
             {"%d %d %d", {1}, "1  "},                  // missing arguments render as nothing
             {"%*d|%.*@", {4, 7, 2, "abcdef"}, "   7|ab"},
             {"%99999999d", {1}, nullptr},             // width is capped
             {"%y %", {1}, "%y %"},                    // not conversions: copied
         }) {
        std::string out = strings::formatWithArguments(c.format, c.args);
        if (c.expected) EXPECT_EQ(out, c.expected) << c.format;
        else EXPECT_LE(out.size(), 1024u) << c.format;
    }
}
