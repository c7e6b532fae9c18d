// The keychain store on the platform keychain: items per service or server,
// the store's errors, listings, and values that outlive the process.

#include <gtest/gtest.h>

#include "platform/foundation/Strings.h"
#include "platform/security/Keychain.h"
#include "plugin/iOS/RAZ5Orered/KXKeyChainStore.h"
#include "support/TestSupport.h"

namespace {

using testsupport::TempBundle;
using testsupport::TempHome;

class KeychainStore : public ::testing::Test {
protected:
    TempHome home;
    TempBundle bundle{Value::dict({{"CFBundleIdentifier", "com.example.game"}})};
};

TEST_F(KeychainStore, SetGetReplaceAndRemoveStrings) {
    auto store = KXKeyChainStore::keyChainStoreWithService(std::string("svc"));
    Error e;
    EXPECT_FALSE(store->stringForKey(std::string("token"), &e));
    EXPECT_TRUE(e.domain.empty()) << "a missing item is no error";

    ASSERT_TRUE(store->setString(std::string("first"), std::string("token")));
    ASSERT_TRUE(store->setString(std::string("second 第二"), std::string("token")));
    EXPECT_EQ(store->stringForKey(std::string("token")), "second 第二");
    EXPECT_EQ(store->allKeys(), std::vector<std::string>{"token"}) << "one item, not two";
    EXPECT_TRUE(store->contains(std::string("token")));

    // No value removes; removing what is not there succeeds.
    EXPECT_TRUE(store->setString(std::nullopt, std::string("token")));
    EXPECT_FALSE(store->contains(std::string("token")));
    EXPECT_TRUE(store->removeItemForKey(std::string("never-set"), &e));
    EXPECT_TRUE(store->removeAllItems());
}

TEST_F(KeychainStore, MissingKeysAndUnreadableTextsAreRefusedWithTheStoresErrors) {
    auto store = KXKeyChainStore::keyChainStoreWithService(std::string("svc"));
    Error e;
    EXPECT_FALSE(store->setString(std::string("v"), std::nullopt, &e));
    EXPECT_EQ(e.domain, KXKeyChainStore::ErrorDomain);
    EXPECT_EQ(e.code, 1);
    EXPECT_EQ(e.localizedDescription(), "the key must not to be nil");
    EXPECT_TRUE(store->allKeys().empty()) << "nothing stored";

    e = {};
    EXPECT_FALSE(store->removeItemForKey(std::nullopt, &e));
    EXPECT_EQ(e.code, 1);

    e = {};
    EXPECT_FALSE(KXKeyChainStore::stringForKey_service_accessGroup(std::nullopt, std::string("svc"), std::nullopt, &e));
    EXPECT_EQ(e.code, 1);

    // Bytes that are not UTF-8 read as data but not as text.
    ASSERT_TRUE(store->setData(Data{0xff, 0xfe, 0x00, 0x41}, std::string("raw")));
    EXPECT_EQ(store->dataForKey(std::string("raw")), (Data{0xff, 0xfe, 0x00, 0x41}));
    e = {};
    EXPECT_FALSE(store->stringForKey(std::string("raw"), &e));
    EXPECT_EQ(e.code, -67594);
    EXPECT_EQ(e.localizedDescription(), "failed to convert data to string");

    e = {};
    EXPECT_FALSE(store->setString(std::string("\xc3\x28"), std::string("bad"), &e));
    EXPECT_EQ(e.code, -67594);
    EXPECT_EQ(e.localizedDescription(), "failed to convert string to data");
}

TEST_F(KeychainStore, KeychainFailuresCarryTheirStatusAsSecurityErrors) {
    auto store = KXKeyChainStore::keyChainStoreWithService(std::string("svc"));
    ASSERT_TRUE(store->setString(std::string("v"), std::string("k")));
    // A keychain file that cannot be opened: the platform status comes through.
    auto file = home.path() / "keychain.sqlite";
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    Error e;
    EXPECT_FALSE(store->setString(std::string("v"), std::string("k2"), &e));
    EXPECT_EQ(e.domain, KXKeyChainStore::ErrorDomain);
    EXPECT_EQ(e.code, keychain::errSecIO);
    EXPECT_EQ(e.localizedDescription(), "Security error has occurred.");
    std::filesystem::remove(file);
}

TEST_F(KeychainStore, StoresAreSeparatedByServiceGroupAndServer) {
    KXKeyChainStore a(std::string("a")), b(std::string("b")), grouped(std::string("a"), std::string("team.shared"));
    ASSERT_TRUE(a.setString(std::string("1"), std::string("k")));
    ASSERT_TRUE(b.setString(std::string("2"), std::string("k")));
    ASSERT_TRUE(grouped.setString(std::string("3"), std::string("k")));
    EXPECT_EQ(a.stringForKey(std::string("k")), "1") << "a store without a group reads any group: the first item";
    EXPECT_EQ(b.stringForKey(std::string("k")), "2");
    EXPECT_EQ(grouped.stringForKey(std::string("k")), "3");

    auto web = KXKeyChainStore::keyChainStoreWithServer(*NSURL::URLWithString("https://example.com:8443/login"), 16);
    auto other = KXKeyChainStore::keyChainStoreWithServer(*NSURL::URLWithString("https://example.org/"), 16);
    ASSERT_TRUE(web->setString(std::string("pw"), std::string("alice")));
    EXPECT_EQ(web->stringForKey(std::string("alice")), "pw");
    EXPECT_FALSE(other->stringForKey(std::string("alice")));
    EXPECT_FALSE(a.stringForKey(std::string("alice"))) << "internet items are not generic items";

    EXPECT_TRUE(b.removeAllItems());
    EXPECT_EQ(a.stringForKey(std::string("k")), "1") << "removing all of one service leaves the others";

    auto items = web->allItems();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].str("class"), "InternetPassword");
    EXPECT_EQ(items[0].str("server"), "example.com");
    EXPECT_EQ(items[0]["protocol"].intValue(), 16);
    EXPECT_EQ(items[0]["authenticationType"].intValue(), 8);
    EXPECT_EQ(items[0].str("key"), "alice");
    EXPECT_EQ(items[0].str("value"), "pw");

    auto keys = KXKeyChainStore::allKeysWithItemClass(KXKeyChainStoreItemClass::InternetPassword);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0], Value::dict({{"server", "example.com"}, {"key", "alice"}}));
}

TEST_F(KeychainStore, DefaultServiceIsTheBundleIdentifierUnlessReplaced) {
    KXKeyChainStore store(std::nullopt);
    EXPECT_EQ(store.service(), "com.example.game");
    EXPECT_EQ(store.accessibility(), 2);
    ASSERT_TRUE(store.setString(std::string("v"), std::string("k")));
    EXPECT_EQ(KXKeyChainStore::stringForKey_service_accessGroup(std::string("k"), std::nullopt, std::nullopt), "v");

    KXKeyChainStore::setDefaultService("replaced");
    EXPECT_EQ(KXKeyChainStore::keyChainStore()->service(), "replaced");
    KXKeyChainStore::setDefaultService("com.example.game");
}

TEST_F(KeychainStore, DescriptionListsOneLinePerItem) {
    KXKeyChainStore store(std::string("desc"));
    EXPECT_EQ(store.description(), "()");
    store.setString(std::string("x"), std::string("k1"));
    store.setString(std::string("y"), std::string("k2"));
    auto text = store.description();
    auto lines = strings::split(text, "\n");
    ASSERT_EQ(lines.size(), 4u) << text;
    EXPECT_EQ(lines.front(), "(");
    EXPECT_EQ(lines.back(), ")");
    EXPECT_TRUE(strings::hasPrefix(lines[1], "    {")) << lines[1];
    EXPECT_NE(lines[1].find("\"k1\""), std::string::npos);
}

}  // namespace

namespace {

testsupport::ProgramResult runChild(std::vector<std::string> args) {
    args.insert(args.begin(), testsupport::built(KEYCHAIN_CHILD));
    return testsupport::runProgram(args);
}

TEST(KeychainRestart, ValuesSurviveTheProcess) {
    testsupport::TempDir home("korvel-restart");
    auto set = runChild({home.path().string(), "set", "game.service", "session", "s-42 \"quoted\" 中文"});
    ASSERT_EQ(set.status, 0) << set.err;
    // A second process, with nothing in memory, reads it back.
    auto got = runChild({home.path().string(), "get", "game.service", "session"});
    EXPECT_EQ(got.status, 0) << got.err;
    EXPECT_EQ(got.out, "s-42 \"quoted\" 中文");
    EXPECT_EQ(runChild({home.path().string(), "get", "other.service", "session"}).status, 1);
    // The file holding it is private to the user.
    auto perms = std::filesystem::status(home / "keychain.sqlite").permissions();
    EXPECT_EQ(perms & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
              std::filesystem::perms::none);
}

}  // namespace
