#include <gtest/gtest.h>

#include "model/ZVKeyValue.h"

namespace {

// Models shaped like the user centre's list rows.
struct MsgModel {
    std::string msgId;
    std::string title;
    int64_t readCount = -1;
    double price = -1;
    bool isRead = false;
    int level = -1;
    static const zv::ModelTable<MsgModel>& zvTable() {
        static const auto t = zv::ModelTable<MsgModel>()
                                  .field("msgId", &MsgModel::msgId)
                                  .field("title", &MsgModel::title)
                                  .field("readCount", &MsgModel::readCount)
                                  .field("price", &MsgModel::price)
                                  .field("isRead", &MsgModel::isRead)
                                  .field("level", &MsgModel::level)
                                  .replacedKeys({{"msgId", "id"}});
        return t;
    }
};

struct Author {
    std::string name;
    static const zv::ModelTable<Author>& zvTable() {
        static const auto t = zv::ModelTable<Author>().field("name", &Author::name);
        return t;
    }
};

struct Comment {
    std::string Id;
    Author author;
    std::vector<Comment> replies;
    std::vector<std::string> tags;
    Value extra;
    static const zv::ModelTable<Comment>& zvTable() {
        static const auto t = zv::ModelTable<Comment>()
                                  .field("Id", &Comment::Id)
                                  .field("author", &Comment::author)
                                  .field("replies", &Comment::replies)
                                  .field("tags", &Comment::tags)
                                  .field("extra", &Comment::extra)
                                  .replacedKeys({{"Id", "id"}});
        return t;
    }
};

struct Base {
    virtual ~Base() = default;
    int64_t code = 0;
    std::string mesage;
    static const zv::ModelTable<Base>& zvTable() {
        static const auto t = zv::ModelTable<Base>()
                                  .field("code", &Base::code)
                                  .field("mesage", &Base::mesage)
                                  .replacedKeys({{"code", "z"}, {"mesage", "b"}});
        return t;
    }
};

struct Derived : Base {
    std::string sign;
    static const zv::ModelTable<Derived>& zvTable() {
        static const auto t = zv::ModelTable<Derived>()
                                  .inherit(Base::zvTable())
                                  .field("sign", &Derived::sign)
                                  .replacedKeys({{"sign", "s"}});
        return t;
    }
};

}  // namespace

TEST(ZVKeyValue, NumbersGivenAsTextBecomeNumbersAndTheReverse) {
    auto rows = zv::objectArrayWithKeyValuesArray<MsgModel>(Value::array(
        {Value::dict({{"id", 42}, {"title", 7.5}, {"readCount", "12"}, {"price", " 6.50 "}, {"isRead", "1"},
                      {"level", "3"}}),
         Value::dict({{"id", "x9"}, {"readCount", 5}, {"price", 3}, {"isRead", "true"}, {"level", 2.0}})}));
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 2u);
    const MsgModel& a = (*rows)[0];
    EXPECT_EQ(a.msgId, "42");
    EXPECT_EQ(a.title, "7.5");
    EXPECT_EQ(a.readCount, 12);
    EXPECT_DOUBLE_EQ(a.price, 6.5);
    EXPECT_TRUE(a.isRead);
    EXPECT_EQ(a.level, 3);
    const MsgModel& b = (*rows)[1];
    EXPECT_EQ(b.msgId, "x9");
    EXPECT_EQ(b.readCount, 5);
    EXPECT_DOUBLE_EQ(b.price, 3);
    EXPECT_TRUE(b.isRead);
    EXPECT_EQ(b.level, 2);
}

TEST(ZVKeyValue, ValuesOfTheWrongTypeKeepTheDefault) {
    auto m = zv::objectWithKeyValues<MsgModel>(Value::dict({{"id", Value::dict({{"a", 1}})},
                                                            {"title", Value::array({"x"})},
                                                            {"readCount", "12abc"},
                                                            {"price", "nan"},
                                                            {"isRead", "maybe"},
                                                            {"level", "99999999999"},
                                                            {"msgId", "not the reply key"}}));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->msgId, "");
    EXPECT_EQ(m->title, "");
    EXPECT_EQ(m->readCount, -1);
    EXPECT_DOUBLE_EQ(m->price, -1);
    EXPECT_FALSE(m->isRead);
    EXPECT_EQ(m->level, -1);  // beyond a 32-bit field

    auto nulls = zv::objectWithKeyValues<MsgModel>(Value::dict({{"id", nullptr}, {"readCount", nullptr}}));
    ASSERT_TRUE(nulls);
    EXPECT_EQ(nulls->msgId, "");
    EXPECT_EQ(nulls->readCount, -1);
}

TEST(ZVKeyValue, ElementsThatGiveNoObjectAreLeftOut) {
    auto rows = zv::objectArrayWithKeyValuesArray<MsgModel>(
        Value::array({Value::dict({{"id", 1}}), "text", nullptr, 5, Value::array({Value::dict({{"id", 2}})}),
                      Value::dict({{"id", 3}}), Value::dict()}));
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 3u);
    EXPECT_EQ((*rows)[0].msgId, "1");
    EXPECT_EQ((*rows)[1].msgId, "3");
    EXPECT_EQ((*rows)[2].msgId, "");  // an empty dictionary is still an object
}

TEST(ZVKeyValue, OnlyArraysOrTheirJSONTextMap) {
    EXPECT_FALSE(zv::objectArrayWithKeyValuesArray<MsgModel>(Value()));
    EXPECT_FALSE(zv::objectArrayWithKeyValuesArray<MsgModel>(Value::dict({{"id", 1}})));
    EXPECT_FALSE(zv::objectArrayWithKeyValuesArray<MsgModel>(Value("[{\"id\":1}]")));  // a string value is no array
    EXPECT_FALSE(zv::objectArrayWithKeyValuesArray<MsgModel>(std::string_view("[{\"id\":1},")));
    auto fromText = zv::objectArrayWithKeyValuesArray<MsgModel>(std::string_view(R"([{"id":"7","readCount":"8"}])"));
    ASSERT_TRUE(fromText);
    ASSERT_EQ(fromText->size(), 1u);
    EXPECT_EQ((*fromText)[0].msgId, "7");
    EXPECT_EQ((*fromText)[0].readCount, 8);
    auto empty = zv::objectArrayWithKeyValuesArray<MsgModel>(Value::array());
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
    EXPECT_FALSE(zv::objectWithKeyValues<MsgModel>(Value("x")));
}

TEST(ZVKeyValue, NestedModelsAndArraysMapThroughTheirOwnTables) {
    auto c = zv::objectWithKeyValues<Comment>(std::string_view(R"({
        "id": 10, "author": {"name": "阿明"}, "tags": ["a", 2, null, {"x": 1}],
        "replies": [{"id": "11", "author": {"name": "小红"}}, "junk", {"id": 12, "author": "not a dict"}],
        "extra": {"k": [1, 2]}})"));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->Id, "10");
    EXPECT_EQ(c->author.name, "阿明");
    EXPECT_EQ(c->tags, (std::vector<std::string>{"a", "2"}));
    ASSERT_EQ(c->replies.size(), 2u);
    EXPECT_EQ(c->replies[0].Id, "11");
    EXPECT_EQ(c->replies[0].author.name, "小红");
    EXPECT_EQ(c->replies[1].Id, "12");
    EXPECT_EQ(c->replies[1].author.name, "");
    EXPECT_EQ(c->extra["k"][1].intValue(), 2);
}

TEST(ZVKeyValue, SubclassesKeepTheBaseFieldsAndReplacedKeys) {
    auto d = zv::objectWithKeyValues<Derived>(Value::dict({{"z", "1"}, {"b", "ok"}, {"s", "tok"}, {"code", 9}}));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->code, 1);
    EXPECT_EQ(d->mesage, "ok");
    EXPECT_EQ(d->sign, "tok");

    // The reverse mapping writes under the reply keys, so a model survives a round trip.
    Value kv = zv::keyValues(*d);
    EXPECT_EQ(kv, Value::dict({{"z", 1}, {"b", "ok"}, {"s", "tok"}}));
    auto again = zv::objectWithKeyValues<Derived>(kv);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->sign, "tok");

    Comment c;
    c.Id = "5";
    c.author.name = "n";
    c.replies.push_back(c);
    Value ckv = zv::keyValues(c);
    EXPECT_EQ(ckv["id"].textValue(), "5");
    EXPECT_EQ(ckv["replies"][0]["author"]["name"].textValue(), "n");
}
