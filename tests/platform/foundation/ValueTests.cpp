#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "platform/foundation/Error.h"
#include "platform/foundation/Strings.h"
#include "platform/foundation/JSONReading.h"
#include "platform/foundation/Value.h"

namespace {

Data bytesOf(std::string_view s) { return Data(s.begin(), s.end()); }

Data fromHex(std::string_view hex) {
    Data out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(uint8_t(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return out;
}

Value sample() {
    Value v = Value::dict({{"name", "玩家 \"one\""},
                           {"count", 42},
                           {"negative", -7},
                           {"big", int64_t(1) << 40},
                           {"ratio", 2.5},
                           {"flag", true},
                           {"blob", Data{0, 1, 2, 255}},
                           {"list", Value::array({1, "two", Value::dict({{"deep", Value::array()}})})}});
    return v;
}

TEST(Value, ForgivingReadsNeverThrow) {
    Value v = sample();
    EXPECT_EQ(v["missing"].textValue(), "");
    EXPECT_TRUE(v["missing"]["deeper"][3].isNull());
    EXPECT_EQ(v["count"]["x"].intValue(), 0);
    EXPECT_EQ(v["list"][5].textValue(), "");
    EXPECT_EQ(v["list"][-1].textValue(), "");
    EXPECT_EQ(v.str("count"), "");        // a number is not a string
    EXPECT_EQ(v.text("count"), "42");     // but has a text form
    EXPECT_EQ(v.text("ratio"), "2.5");
    EXPECT_EQ(v.text("flag"), "1");
    EXPECT_EQ(v.text("list"), "");        // containers have none
    EXPECT_EQ(v.integer("missing", -1), -1);
    EXPECT_EQ(v.integer("list", -1), -1);
}

TEST(Value, StringNumberConversionsFollowThePlatform) {
    EXPECT_EQ(Value("  42abc").intValue(), 42);
    EXPECT_EQ(Value("-13").intValue(), -13);
    EXPECT_EQ(Value("abc").intValue(), 0);
    EXPECT_EQ(Value("99999999999999999999999").intValue(), INT64_MAX);
    EXPECT_DOUBLE_EQ(Value("3.25x").doubleValue(), 3.25);
    EXPECT_TRUE(Value("YES").boolValue());
    EXPECT_TRUE(Value("true").boolValue());
    EXPECT_TRUE(Value("007").boolValue());
    EXPECT_FALSE(Value("000").boolValue());
    EXPECT_FALSE(Value("no").boolValue());
    EXPECT_EQ(Value(1e300).intValue(), INT64_MAX);
    EXPECT_EQ(Value(std::nan("")).intValue(), 0);
}

TEST(Value, MutationOnlyTurnsNullIntoContainers) {
    Value v;
    v.set("a", 1);
    EXPECT_TRUE(v.isDict());
    Value s("text");
    s.set("a", 1);  // a string stays a string
    EXPECT_TRUE(s.isString());
    Value a;
    a.push(1).push("x");
    EXPECT_EQ(a.size(), 2u);
    v.remove("a");
    EXPECT_TRUE(v.empty());
}

TEST(Value, NumbersCompareByValueAcrossForms) {
    EXPECT_EQ(Value(1), Value(1.0));
    EXPECT_EQ(Value(true), Value(1));
    EXPECT_NE(Value(1), Value("1"));
    EXPECT_NE(Value(1), Value(1.5));
}

TEST(ValueJSON, RoundTripAndCompactOutput) {
    auto v = Value::fromJSON(R"({"n":6,"s":"a\"b\\c","u":"\u4e2d","f":1.5,"l":[true,null],"big":9007199254740993})");
    ASSERT_TRUE(v);
    EXPECT_EQ((*v)["n"].getInteger(), 6);
    EXPECT_TRUE((*v)["n"].isInteger());
    EXPECT_TRUE((*v)["f"].isReal());
    EXPECT_EQ((*v)["s"].stringOr(), "a\"b\\c");
    EXPECT_EQ((*v)["u"].stringOr(), "中");
    EXPECT_EQ((*v)["big"].getInteger(), 9007199254740993LL);
    EXPECT_TRUE((*v)["l"][1].isNull());
    auto again = Value::fromJSON(v->toJSON());
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *v);
    EXPECT_EQ(Value::dict({{"n", 6}}).toJSON(), R"({"n":6})");
}

TEST(ValueJSON, RejectsGarbageWithAnError) {
    Error err;
    EXPECT_FALSE(Value::fromJSON("{\"a\":", &err));
    EXPECT_EQ(err.code, 3840);
    EXPECT_FALSE(Value::fromJSON(""));
    EXPECT_FALSE(Value::fromJSON("{} trailing"));
    EXPECT_FALSE(Value::fromJSON("<html>500</html>"));
}

TEST(ValueJSON, DeepNestingIsRefusedNotACrash) {
    auto nested = [](size_t depth, char open, char close) {
        return std::string(depth, open) + std::string(depth, close);
    };
    // A reply of a few hundred kilobytes once overflowed the stack.
    Error err;
    EXPECT_FALSE(Value::fromJSON(nested(200000, '[', ']'), &err));
    EXPECT_EQ(err.code, 3840);
    std::string objects;
    for (int i = 0; i < 200000; ++i) objects += "{\"a\":";
    objects += "1" + std::string(200000, '}');
    EXPECT_FALSE(Value::fromJSON(objects));
    // Ordinary nesting still reads, innermost value included.
    auto v = Value::fromJSON("[[[[[[[[[[\"deep\"]]]]]]]]]]");
    ASSERT_TRUE(v);
    const Value* inner = &*v;
    for (int i = 0; i < 10; ++i) inner = &(*inner)[0];
    EXPECT_EQ(inner->stringOr(), "deep");
    EXPECT_TRUE(Value::fromJSON(nested(500, '[', ']')));
}

// Every value counts (containers, members, elements); a text of more is
// refused before the rest of it is built, and without a budget nothing is.
TEST(ValueJSON, AValueBudgetRefusesTextsOfMoreValues) {
    JSONReadingOptions four{4};
    EXPECT_EQ(readJSON(R"({"a": [1, 2]})", four), Value::fromJSON(R"({"a": [1, 2]})"));
    EXPECT_TRUE(readJSON("[[[]]]", four));
    Error error;
    EXPECT_FALSE(readJSON(R"({"a": [1, 2], "b": null})", four, &error));
    EXPECT_EQ(error.code, 3840);
    EXPECT_FALSE(readJSON("[[[[[]]]]]", four));
    EXPECT_FALSE(readJSON(R"(["x", "y", "z", "w"])", four));
    // The reply that cost gigabytes, in small: many tiny elements.
    std::string tiny = "[0";
    for (int i = 1; i < 300000; ++i) tiny += ",0";
    tiny += "]";
    EXPECT_FALSE(readJSON(tiny, JSONReadingOptions{200000}));
    auto whole = Value::fromJSON(tiny);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->size(), 300000u);
}

TEST(ValueJSON, InvalidUTF8IsReplacedNotThrown) {
    Value v(std::string("ok\xff\xfe"));
    std::string json = v.toJSON();
    auto back = Value::fromJSON(json);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->stringOr(), "ok\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(ValuePlist, XMLAndBinaryRoundTripsKeepEveryType) {
    Value v = sample();
    auto date = Date(std::chrono::milliseconds(1765000000123LL));
    v.set("when", date);
    // XML plists keep whole seconds, binary ones fractions too.
    for (auto [bytes, tolerance] : {std::pair{v.toXMLPlist(), 1000}, std::pair{v.toBinaryPlist(), 1}}) {
        auto back = Value::fromPlist(bytes);
        ASSERT_TRUE(back);
        EXPECT_EQ((*back)["name"].stringOr(), "玩家 \"one\"");
        EXPECT_EQ((*back)["negative"].getInteger(), -7);
        EXPECT_EQ((*back)["big"].getInteger(), int64_t(1) << 40);
        EXPECT_DOUBLE_EQ(*(*back)["ratio"].getNumber(), 2.5);
        EXPECT_TRUE((*back)["flag"].isBool());
        ASSERT_TRUE((*back)["blob"].isData());
        EXPECT_EQ(*(*back)["blob"].getData(), (Data{0, 1, 2, 255}));
        EXPECT_EQ((*back)["list"][2]["deep"].isArray(), true);
        auto d = (*back)["when"].getDate();
        ASSERT_TRUE(d);
        auto diff = std::chrono::duration_cast<std::chrono::milliseconds>(*d - date).count();
        EXPECT_LE(std::abs(diff), tolerance);
    }
}

TEST(ValuePlist, BinaryAndXMLAreRecognisedByContent) {
    auto bin = Value::dict({{"k", "v"}}).toBinaryPlist();
    EXPECT_EQ(std::string(bin.begin(), bin.begin() + 6), "bplist");
    auto xml = Value::dict({{"k", "v"}}).toXMLPlist();
    EXPECT_NE(std::string(xml.begin(), xml.end()).find("<plist"), std::string::npos);
    EXPECT_EQ((*Value::fromPlist(bin))["k"].stringOr(), "v");
    EXPECT_EQ((*Value::fromPlist(xml))["k"].stringOr(), "v");
}

TEST(ValuePlist, GarbageAndTruncationFailCleanly) {
    auto bin = Value::dict({{"k", "v"}, {"n", 1}}).toBinaryPlist();
    for (size_t cut = 0; cut < bin.size(); ++cut) {
        Data part(bin.begin(), bin.begin() + cut);
        auto v = Value::fromPlist(part);  // must not crash; may or may not parse
        (void)v;
    }
    EXPECT_FALSE(Value::fromPlist(std::string_view("not a plist at all")));
    EXPECT_FALSE(Value::fromPlist(Data{}));
}

// The library the plists go through aborts the process on such text, so a
// stored file holding it must read as damaged instead.
TEST(ValuePlist, ANulInsideAStringOrAKeyReadsAsDamaged) {
    const Data files[] = {
        bytesOf(std::string_view("<plist><string>a\0b</string></plist>", 36)),
        bytesOf(std::string_view("<plist><dict><key>k\0x</key><true/></dict></plist>", 49)),
        // {"ZV_UserName": "a\0b"} in UTF-16, and {"a\0b": true} in ASCII.
        fromHex("62706c6973743030d101025b5a565f557365724e616d6563006100000062080b17"
                "00000000000001010000000000000003000000000000000000000000000000001e"),
        fromHex("62706c6973743030d10102536100620908" "0b0f"
                "000000000000010100000000000000030000000000000000000000000000000010"),
    };
    for (auto& file : files) {
        Error error;
        EXPECT_FALSE(Value::fromPlist(file, &error));
        EXPECT_EQ(error.code, 3840);
    }
}

TEST(ValuePlist, TextThatIsNotUTF8IsWrittenWithReplacementCharacters) {
    for (std::string text : {std::string("\xFF"), std::string("\xC0\x80"), std::string("a\0b", 3)}) {
        std::string expected = strings::replaceAll(strings::validUTF8(text), std::string_view("\0", 1), "\uFFFD");
        Value v = Value::dict({{text, text}});
        for (auto& bytes : {v.toBinaryPlist(), v.toXMLPlist()}) {
            auto back = Value::fromPlist(bytes);
            ASSERT_TRUE(back) << strings::hexEncode(bytes.data(), bytes.size());
            EXPECT_EQ(*back, Value::dict({{expected, expected}}));
        }
    }
}

// A binary file of one date object holding `seconds` since 2001.
Data binaryDate(double seconds) {
    uint64_t bits;
    std::memcpy(&bits, &seconds, 8);
    Data out = bytesOf("bplist00");
    out.push_back(0x33);
    for (int i = 7; i >= 0; --i) out.push_back(uint8_t(bits >> (8 * i)));
    Data trailer = fromHex("08" "000000000000" "0101" "0000000000000001" "0000000000000000" "0000000000000011");
    out.insert(out.end(), trailer.begin(), trailer.end());
    return out;
}

double storedSeconds(const Data& file) {
    // The date object follows the header in a file of one date.
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = bits << 8 | file[9 + i];
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

TEST(ValuePlist, DatesAreTheStoredDoubleBeyondThirtyTwoBitSeconds) {
    // 2100-01-01 and 1900-01-01 both read as 1932-12-13 through 32-bit
    // seconds; a date before 2001 with a fraction moved at each rewrite.
    const std::pair<double, const char*> dates[] = {
        {3124137600.0, "2100-01-01T00:00:00"}, {-3187296000.0, "1900-01-01T00:00:00"},
        {-1.25, "2000-12-31T23:59:58"}, {-86400.000001, "2000-12-30T23:59:59"}, {787654321.987654, "2025-12-17T08:52:01"}};
    for (auto [seconds, iso] : dates) {
        auto v = Value::fromPlist(binaryDate(seconds));
        ASSERT_TRUE(v && v->isDate()) << seconds;
        EXPECT_TRUE(strings::hasPrefix(strings::iso8601(*v->getDate()), iso)) << strings::iso8601(*v->getDate());
        Data again = v->toBinaryPlist();
        for (int round = 0; round < 3; ++round) again = Value::fromPlist(again)->toBinaryPlist();
        EXPECT_EQ(storedSeconds(again), seconds);
        // XML keeps whole seconds, of the same date.
        auto xml = Value::fromPlist(v->toXMLPlist());
        ASSERT_TRUE(xml && xml->isDate()) << seconds;
        EXPECT_LE(std::abs(std::chrono::duration<double>(*xml->getDate() - *v->getDate()).count()), 1.0);
    }
    // A date that is no number is refused.
    for (double bad : {double(std::nan("")), double(INFINITY), -double(INFINITY)})
        EXPECT_FALSE(Value::fromPlist(binaryDate(bad))) << bad;
    EXPECT_TRUE(Value::fromPlist(std::string_view("<plist><date>2200-01-01T00:00:00Z</date></plist>")));
}

std::string textOf(const Data& d) { return std::string(d.begin(), d.end()); }

uint64_t bigEndian(const Data& d, size_t at, size_t width) {
    uint64_t v = 0;
    for (size_t i = 0; i < width; ++i) v = v << 8 | d.at(at + i);
    return v;
}

// The marker byte of a binary file's root object, found through its trailer.
uint8_t rootMarker(const Data& file) {
    size_t end = file.size(), offsetSize = file.at(end - 26);
    uint64_t top = bigEndian(file, end - 16, 8), table = bigEndian(file, end - 8, 8);
    return file.at(bigEndian(file, table + top * offsetSize, offsetSize));
}

// Years that other programs write for "never" and "always" lie beyond what
// a Date holds (1678 to 2261): one of them once made the whole file
// unreadable, and the preferences were moved aside with every setting.
TEST(ValuePlist, FarDatesReadAsTheNearestDateAndWriteBackUnchanged) {
    const struct {
        double seconds;
        const char* xml;
        bool future;
    } far[] = {{63113904000.0, "4001-01-01T00:00:00Z", true},
               {252423993599.0, "9999-12-31T23:59:59Z", true},
               {-63113904000.0, "0001-01-01T00:00:00Z", false},
               {1e15, "9999-12-31T23:59:59Z", true}};  // past what XML holds
    for (auto& f : far) {
        Data binary = binaryDate(f.seconds);
        binary[9 + 8] = 0x08;  // the trailer begins with an unused byte
        auto v = Value::fromPlist(binary);
        ASSERT_TRUE(v && v->isDate()) << f.seconds;
        // The nearest Date there is.
        EXPECT_TRUE(strings::hasPrefix(strings::iso8601(*v->getDate()), f.future ? "2262-04-11" : "1677-09-21"))
            << strings::iso8601(*v->getDate());
        // Binary keeps the double; XML whole seconds of the years 1 to 9999.
        EXPECT_EQ(storedSeconds(Value::fromPlist(v->toBinaryPlist())->toBinaryPlist()), f.seconds);
        std::string xml = textOf(v->toXMLPlist());
        EXPECT_NE(xml.find(std::string("<date>") + f.xml + "</date>"), std::string::npos) << xml;
        auto fromXML = Value::fromPlist(xml);
        ASSERT_TRUE(fromXML && fromXML->isDate());
        EXPECT_EQ(textOf(fromXML->toXMLPlist()), xml);
    }
    // In a dictionary of settings, in either form, the rest reads too.
    for (std::string year : {"4001", "9999", "0001"}) {
        std::string file = "<plist><dict><key>never</key><date>" + year +
                           "-01-01T00:00:00Z</date><key>volume</key><integer>7</integer></dict></plist>";
        auto v = Value::fromPlist(file);
        ASSERT_TRUE(v) << year;
        EXPECT_EQ((*v)["volume"].getInteger(), 7);
        EXPECT_NE(textOf(v->toXMLPlist()).find("<date>" + year + "-01-01T00:00:00Z</date>"), std::string::npos);
        auto binary = Value::fromPlist(v->toBinaryPlist());
        ASSERT_TRUE(binary);
        EXPECT_EQ(*binary, *v);
    }
    // A date of the years before 1000 keeps four digits in XML.
    Value early = *Value::fromPlist(std::string_view("<plist><date>0999-03-04T05:06:07Z</date></plist>"));
    EXPECT_NE(textOf(early.toXMLPlist()).find("<date>0999-03-04T05:06:07Z</date>"), std::string::npos);
}

// Keys that become one key when their bad bytes are replaced: once both
// were written, and other readers took the first or the last.
TEST(ValuePlist, KeysThatBecomeOneAreWrittenOnceTheLastKept) {
    Value v = Value::dict({{"a\xFE", 1}, {"a\xFF", 2}, {"b", 3}});
    for (auto& file : {v.toBinaryPlist(), v.toXMLPlist()}) {
        auto back = Value::fromPlist(file);
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, Value::dict({{"a\uFFFD", 2}, {"b", 3}}));
    }
    // Read, both forms keep the last too.
    EXPECT_EQ(Value::fromPlist(std::string_view("<plist><dict><key>a\xFE</key><integer>1</integer>"
                                                "<key>a\xFF</key><integer>2</integer></dict></plist>")),
              Value::dict({{"a\uFFFD", 2}}));
    EXPECT_EQ(Value::fromPlist(fromHex("62706c6973743030" "d201020304" "5261fe" "5261ff" "1001" "1002" "080d101315"
                                       "000000000000" "0101" "0000000000000005" "0000000000000000" "0000000000000017")),
              Value::dict({{"a\uFFFD", 2}}));
    EXPECT_EQ(rootMarker(v.toBinaryPlist()), 0xD2);  // a dictionary of two entries
    std::string xml = textOf(v.toXMLPlist());
    EXPECT_EQ(strings::replaceAll(xml, "<key>", "").size(), xml.size() - 2 * 5);
}

TEST(ValuePlist, TextMarkedASCIIWithHighBytesReadsAsItIsWritten) {
    // {"k\xE9": "v\xFF"} with both texts marked ASCII: read as they were, one
    // read and write changed the key.
    Data file = fromHex("62706c6973743030d1010252" "6be9" "5276ff" "080b0e"
                        "0000000000000101" "0000000000000003" "0000000000000000" "0000000000000011");
    auto v = Value::fromPlist(file);
    ASSERT_TRUE(v);
    EXPECT_EQ(*v, Value::dict({{"k\uFFFD", "v\uFFFD"}}));
    EXPECT_EQ(*Value::fromPlist(v->toBinaryPlist()), *v);
    EXPECT_EQ(*Value::fromPlist(v->toXMLPlist()), *v);
}

TEST(ValuePlist, HostileBinaryTablesAreRefused) {
    // An array holding itself, and 24 arrays each holding the next twice
    // (2^24 copies of a small file).
    EXPECT_FALSE(Value::fromPlist(fromHex("62706c6973743030a100" "08"
                                          "000000000000010100000000000000010000000000000000000000000000000a")));
    Data bomb = bytesOf("bplist00");
    Data offsets;
    for (int i = 0; i < 24; ++i) {
        offsets.push_back(uint8_t(bomb.size()));
        bomb.insert(bomb.end(), {0xA2, uint8_t(i + 1), uint8_t(i + 1)});
    }
    offsets.push_back(uint8_t(bomb.size()));
    bomb.push_back(0x09);
    size_t table = bomb.size();
    bomb.insert(bomb.end(), offsets.begin(), offsets.end());
    Data trailer = fromHex("000000000000" "0101" "0000000000000019" "0000000000000000");
    bomb.insert(bomb.end(), trailer.begin(), trailer.end());
    for (int i = 7; i >= 0; --i) bomb.push_back(uint8_t(uint64_t(table) >> (8 * i)));
    EXPECT_FALSE(Value::fromPlist(bomb));
}

TEST(ValuePlist, KeyedArchiveUIDsSurviveAsDictionaries) {
    Value uid = Value::dict({{"CF$UID", 3}});
    Value root = Value::dict({{"$top", Value::dict({{"root", uid}})}});
    auto back = Value::fromPlist(root.toBinaryPlist());
    ASSERT_TRUE(back);
    EXPECT_EQ((*back)["$top"]["root"]["CF$UID"].getInteger(), 3);

    // UIDs are 32 bits for other readers: a larger one (once written in 8
    // bytes, which they refuse) stays the dictionary it is.
    for (int64_t n : {int64_t(UINT32_MAX), int64_t(1) << 32, int64_t(-1)}) {
        Value big = Value::dict({{"CF$UID", n}});
        Data file = big.toBinaryPlist();
        EXPECT_EQ(rootMarker(file), n == int64_t(UINT32_MAX) ? 0x83 : 0xD1) << n;
        EXPECT_EQ(Value::fromPlist(file), big) << n;
        std::string xml = textOf(big.toXMLPlist());
        EXPECT_EQ(Value::fromPlist(xml), big) << xml;
    }
}

}  // namespace
