#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include "platform/foundation/AppHome.h"
#include "platform/security/Keychain.h"
#include "support/TestSupport.h"

using namespace keychain;

namespace {

Data bytes(const std::string& s) { return Data(s.begin(), s.end()); }

Item generic(const std::string& service, const std::string& account, const std::string& data) {
    Item i;
    i.service = service;
    i.account = account;
    i.data = bytes(data);
    return i;
}

TEST(Keychain, AddFindUpdateRemove) {
    testsupport::TempDir dir;
    Keychain kc(dir / "kc.sqlite");
    Error e;
    ASSERT_TRUE(kc.add(generic("svc", "alice", "one"), &e)) << e.localizedDescription();

    // A second add of the same identity is refused, and the first stays.
    EXPECT_FALSE(kc.add(generic("svc", "alice", "two"), &e));
    EXPECT_EQ(e.domain, ErrorDomain);
    EXPECT_EQ(e.code, errSecDuplicateItem);
    EXPECT_EQ(kc.data("svc", "alice"), bytes("one"));

    Changes c;
    c.data = bytes("three");
    c.label = "lbl";
    ASSERT_TRUE(kc.update(Query::generic("svc", "alice"), c, &e));
    auto item = kc.find(Query::generic("svc", "alice"));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->data, bytes("three"));
    EXPECT_EQ(item->label, "lbl");

    ASSERT_TRUE(kc.remove(Query::generic("svc", "alice"), &e));
    EXPECT_FALSE(kc.find(Query::generic("svc", "alice"), &e));
    EXPECT_EQ(e.code, errSecItemNotFound);
    EXPECT_FALSE(kc.remove(Query::generic("svc", "alice"), &e));
    EXPECT_EQ(e.code, errSecItemNotFound);
    EXPECT_FALSE(kc.update(Query::generic("svc", "alice"), c, &e));
    EXPECT_EQ(e.code, errSecItemNotFound);
}

TEST(Keychain, ItemsAreKeptApartByClassServiceAndAccount) {
    testsupport::TempDir dir;
    Keychain kc(dir / "kc.sqlite");
    ASSERT_TRUE(kc.add(generic("a", "x", "1")));
    ASSERT_TRUE(kc.add(generic("a", "y", "2")));
    ASSERT_TRUE(kc.add(generic("b", "x", "3")));
    Item web;
    web.itemClass = ItemClass::InternetPassword;
    web.server = "example.com";
    web.protocol = 16;
    web.account = "x";
    web.data = bytes("4");
    ASSERT_TRUE(kc.add(web));

    EXPECT_EQ(kc.list(Query::generic("a")).size(), 2u);
    Query all;
    EXPECT_EQ(kc.list(all).size(), 3u);  // generic passwords only
    Query internet;
    internet.itemClass = ItemClass::InternetPassword;
    auto found = kc.list(internet);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].server, "example.com");
    EXPECT_EQ(found[0].data, bytes("4"));

    EXPECT_TRUE(kc.remove(Query::generic("a")));  // every item of the service
    EXPECT_EQ(kc.list(all).size(), 1u);
    EXPECT_TRUE(kc.list(Query::generic("nothing")).empty());
}

TEST(Keychain, SetDataAddsOrReplacesAndBinaryDataSurvives) {
    testsupport::TempDir dir;
    Keychain kc(dir / "kc.sqlite");
    Data binary{0, 1, 2, 0xff, 0, 'z'};
    ASSERT_TRUE(kc.setData("s", "a", binary));
    ASSERT_TRUE(kc.setData("s", "a", binary));
    EXPECT_EQ(kc.list(Query::generic("s")).size(), 1u);
    EXPECT_EQ(kc.data("s", "a"), binary);
}

TEST(Keychain, FileIsPrivateAndPersistent) {
    testsupport::TempDir dir;
    auto path = dir / "kc.sqlite";
    {
        Keychain kc(path);
        ASSERT_TRUE(kc.setData("s", "a", bytes("kept")));
    }
    struct stat st{};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    Keychain again(path);
    EXPECT_EQ(again.data("s", "a"), bytes("kept"));
}

TEST(Keychain, DamagedFileIsSetAsideNotFatal) {
    testsupport::TempDir dir;
    auto path = dir / "kc.sqlite";
    testsupport::writeFile(path, std::string(4096, 'G'));
    Keychain kc(path);
    Error e;
    EXPECT_FALSE(kc.data("s", "a", &e));
    EXPECT_EQ(e.code, errSecItemNotFound);
    EXPECT_TRUE(kc.setData("s", "a", bytes("fresh")));
    EXPECT_EQ(kc.data("s", "a"), bytes("fresh"));
    EXPECT_TRUE(std::filesystem::exists(dir / "kc.sqlite.corrupt"));
}

TEST(Keychain, DatesNoDateHoldsReadAsUnknownAndTheItemStays) {
    testsupport::TempDir dir;
    auto path = dir / "kc.sqlite";
    Keychain kc(path);
    ASSERT_TRUE(kc.setData("s", "a", bytes("kept")));
    ASSERT_TRUE(kc.setData("s", "b", bytes("also")));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE items SET created = 72169280020, modified = -1e300 WHERE account = 'a';"
                               "UPDATE items SET created = 1e308, modified = 9.3e9 WHERE account = 'b'",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    for (const char* account : {"a", "b"}) {
        auto item = kc.find(Query::generic("s", account));
        ASSERT_TRUE(item) << account;
        EXPECT_EQ(item->created, Date{}) << account;
        EXPECT_EQ(item->modified, Date{}) << account;
    }
    EXPECT_EQ(kc.data("s", "a"), bytes("kept"));
}

TEST(Keychain, StandardFollowsTheApplicationHome) {
    testsupport::TempHome home;
    auto& kc = Keychain::standard();
    ASSERT_TRUE(kc.setData("s", "a", bytes("in first home")));
    EXPECT_EQ(kc.file(), AppHome::root() / "keychain.sqlite");
    {
        testsupport::TempHome other;
        EXPECT_FALSE(kc.data("s", "a"));
    }
    EXPECT_EQ(kc.data("s", "a"), bytes("in first home"));
}

}  // namespace
