#include <gtest/gtest.h>

#include "platform/foundation/Error.h"
#include "platform/foundation/KeyedArchive.h"

namespace {

TEST(KeyedArchive, RoundTripOfNestedValues) {
    Value v = Value::dict({{"com.pxqvbtrok.data", "IDFV1234"},
                           {"n", 42},
                           {"f", 2.5},
                           {"b", true},
                           {"list", Value::array({"x", 1, Value::dict({{"k", "v"}})})},
                           {"bytes", Data{1, 2, 3}}});
    auto back = keyedarchive::unarchive(keyedarchive::archive(v));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, v);
}

TEST(KeyedArchive, ReadsTheObjectTableFormOfDictionaries) {
    // What the platform writes for {"product_code": "P1", "channel_type": "977"}:
    // mutable classes, shared class entries and a "$null" slot.
    auto uid = [](int n) { return Value::dict({{"CF$UID", n}}); };
    Value objects = Value::array({"$null",
                                  Value::dict({{"NS.keys", Value::array({uid(2), uid(3)})},
                                               {"NS.objects", Value::array({uid(4), uid(5)})},
                                               {"$class", uid(6)}}),
                                  "product_code", "channel_type", "P1",
                                  Value::dict({{"NS.string", "977"}, {"$class", uid(7)}}),
                                  Value::dict({{"$classname", "NSMutableDictionary"},
                                               {"$classes", Value::array({"NSMutableDictionary", "NSDictionary", "NSObject"})}}),
                                  Value::dict({{"$classname", "NSMutableString"},
                                               {"$classes", Value::array({"NSMutableString", "NSString", "NSObject"})}})});
    Value plist = Value::dict({{"$archiver", "NSKeyedArchiver"},
                               {"$version", 100000},
                               {"$top", Value::dict({{"root", uid(1)}})},
                               {"$objects", objects}});
    auto v = keyedarchive::unarchive(plist.toBinaryPlist());
    ASSERT_TRUE(v);
    EXPECT_EQ(v->str("product_code"), "P1");
    EXPECT_EQ(v->str("channel_type"), "977");
}

TEST(KeyedArchive, DamagedArchivesAreRefused) {
    Error e;
    EXPECT_FALSE(keyedarchive::unarchive(Data{'n', 'o', 'p', 'e'}, &e));
    EXPECT_FALSE(e.localizedDescription().empty());
    // A plain property list is not an archive.
    EXPECT_FALSE(keyedarchive::unarchive(Value::dict({{"a", 1}}).toBinaryPlist()));
    // A reference past the object table, and a cycle.
    auto uid = [](int n) { return Value::dict({{"CF$UID", n}}); };
    auto make = [&](Value objects) {
        return Value::dict({{"$archiver", "NSKeyedArchiver"}, {"$top", Value::dict({{"root", uid(1)}})}, {"$objects", objects}})
            .toBinaryPlist();
    };
    EXPECT_FALSE(keyedarchive::unarchive(make(Value::array({"$null", uid(9)}))));
    Value cls = Value::dict({{"$classname", "NSArray"}});
    EXPECT_FALSE(keyedarchive::unarchive(
        make(Value::array({"$null", Value::dict({{"NS.objects", Value::array({uid(1)})}, {"$class", uid(2)}}), cls}))));
}

TEST(KeyedArchive, TextsThatLookSpecialOrAreNotUTF8SurviveAsText) {
    Value v = Value::dict({{"a", "$null"}, {"b", Value::array({"$null", "\xFF", "\xC0\x80"})}});
    auto back = keyedarchive::unarchive(keyedarchive::archive(v));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, Value::dict({{"a", "$null"}, {"b", Value::array({"$null", "\uFFFD", "\uFFFD\uFFFD"})}}));
    EXPECT_EQ(keyedarchive::unarchive(keyedarchive::archive("$null")), Value("$null"));
}

// A date no Date holds (a year such as 4001) reads as the nearest Date and
// is archived again with the stored seconds; one that is no number is
// refused.
TEST(KeyedArchive, DatesBeyondWhatADateHoldsKeepTheirSeconds) {
    auto uid = [](int n) { return Value::dict({{"CF$UID", n}}); };
    auto archiveOf = [&](Value time) {
        Value objects = Value::array({"$null", Value::dict({{"NS.time", time}, {"$class", uid(2)}}),
                                      Value::dict({{"$classname", "NSDate"}, {"$classes", Value::array({"NSDate"})}})});
        return Value::dict({{"$archiver", "NSKeyedArchiver"}, {"$top", Value::dict({{"root", uid(1)}})}, {"$objects", objects}})
            .toBinaryPlist();
    };
    for (double time : {72169280020.0, -72169280020.0}) {
        auto far = keyedarchive::unarchive(archiveOf(Value(time)));
        ASSERT_TRUE(far && far->isDate()) << time;
        EXPECT_EQ(far->getDate()->time_since_epoch().count() > 0, time > 0);
        auto again = keyedarchive::unarchive(keyedarchive::archive(*far));
        ASSERT_TRUE(again);
        EXPECT_EQ(again->storedSeconds(), time);
    }
    for (Value time : {Value("1e999"), Value("nan")})
        EXPECT_FALSE(keyedarchive::unarchive(archiveOf(time))) << time.textValue();
    auto inRange = keyedarchive::unarchive(archiveOf(Value(0.5)));
    ASSERT_TRUE(inRange && inRange->isDate());
    EXPECT_EQ(inRange->getDate()->time_since_epoch(), std::chrono::milliseconds(978307200500));
}

TEST(KeyedArchive, SharedObjectsExpandWithinBounds) {
    auto uid = [](int n) { return Value::dict({{"CF$UID", n}}); };
    Value arrayClass = Value::dict({{"$classname", "NSArray"}, {"$classes", Value::array({"NSArray", "NSObject"})}});
    auto make = [&](Value objects) {
        return Value::dict({{"$archiver", "NSKeyedArchiver"}, {"$top", Value::dict({{"root", uid(1)}})}, {"$objects", objects}})
            .toBinaryPlist();
    };
    // Forty arrays, each holding the next one twice: a few kilobytes that
    // would expand to 2^40 strings. Refused instead of hanging.
    constexpr int kLevels = 40;
    Value objects = Value::array({"$null"});
    for (int i = 1; i <= kLevels; ++i)
        objects.push(Value::dict({{"NS.objects", Value::array({uid(i + 1), uid(i + 1)})}, {"$class", uid(kLevels + 2)}}));
    objects.push("leaf");
    objects.push(arrayClass);
    Error e;
    EXPECT_FALSE(keyedarchive::unarchive(make(objects), &e));
    EXPECT_FALSE(e.localizedDescription().empty());

    // Ordinary sharing, one string behind every element, still reads.
    Value shared = Value::array({"$null", Value::dict({{"NS.objects", Value::array()}, {"$class", uid(3)}}), "same", arrayClass});
    auto& list = shared.mutableArray()[1].mutableDict()["NS.objects"];
    for (int i = 0; i < 1000; ++i) list.push(uid(2));
    auto v = keyedarchive::unarchive(make(shared));
    ASSERT_TRUE(v);
    ASSERT_EQ(v->size(), 1000u);
    EXPECT_EQ((*v)[999].stringOr(), "same");
}

}  // namespace
