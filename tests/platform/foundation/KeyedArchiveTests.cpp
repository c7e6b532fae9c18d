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

}  // namespace
