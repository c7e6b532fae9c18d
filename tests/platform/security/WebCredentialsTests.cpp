// Shared web credentials on the Secret Service: what is refused before the
// service is asked, the generated passwords, and storing, listing, replacing
// and removing in a keyring of the test's own; on a bus without a Secret
// Service and without a bus, every operation fails at once.
#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include <regex>
#include <set>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/security/SharedWebCredentials.h"
#include "platform/foundation/Strings.h"
#include "support/SecretSession.h"
#include "support/TestSupport.h"

namespace {

using namespace webcredentials;
using secretsession::Kind;

struct RequestResult {
    std::vector<Credential> credentials;
    std::optional<Error> error;
};

RequestResult request(const std::optional<std::string>& domain, const std::optional<std::string>& account = {}) {
    bool done = false, onMain = false;
    RequestResult out;
    requestSharedWebCredential(domain, account, [&](std::vector<Credential> found, std::optional<Error> error) {
        out = {std::move(found), std::move(error)};
        onMain = isMainThread();
        done = true;
    });
    EXPECT_TRUE(testsupport::waitFor([&] { return done; })) << "no answer";
    EXPECT_TRUE(onMain);
    return out;
}

std::optional<Error> add(const std::optional<std::string>& domain, const std::optional<std::string>& account,
                         const std::optional<std::string>& password) {
    bool done = false, onMain = false;
    std::optional<Error> out;
    addSharedWebCredential(domain, account, password, [&](std::optional<Error> error) {
        out = std::move(error);
        onMain = isMainThread();
        done = true;
    });
    EXPECT_TRUE(testsupport::waitFor([&] { return done; })) << "no answer";
    EXPECT_TRUE(onMain);
    return out;
}

long code(const std::optional<Error>& e) { return e ? e->code : 0; }

Value declaring(std::initializer_list<Value> domains) {
    return Value::dict({{"CFBundleIdentifier", "com.example.game"}, {kAssociatedDomainsKey, Value::array(domains)}});
}

TEST(WebCredentialChecks, HostNamesAreAcceptedLowerCasedAndEverythingElseRefused) {
    EXPECT_EQ(normalizedDomain("Example.COM"), "example.com");
    EXPECT_EQ(normalizedDomain("a-b.games.example.co.uk"), "a-b.games.example.co.uk");
    EXPECT_EQ(normalizedDomain("xn--bcher-kva.example"), "xn--bcher-kva.example");
    EXPECT_EQ(normalizedDomain("3com.com"), "3com.com");
    EXPECT_EQ(normalizedDomain(std::string(63, 'a') + ".com"), std::string(63, 'a') + ".com");
    std::string longest;
    while (longest.size() + 2 <= 253) longest += (longest.empty() ? "" : ".") + std::string(1, 'a');
    ASSERT_EQ(longest.size(), 253u);
    EXPECT_TRUE(normalizedDomain(longest));

    for (std::string bad : {"", "localhost", "com", "-a.com", "a-.com", "a..com", ".a.com", "a.com.", "1.2.3.4",
                            "10.0.0.1", "exa mple.com", "exa_mple.com", "例子.com", "a.com/x", "a.com:443",
                            "user@a.com", "a.com\n", "[::1]", "*.example.com"})
        EXPECT_FALSE(normalizedDomain(bad)) << bad;
    EXPECT_FALSE(normalizedDomain(std::string("a.com\0.evil.com", 15)));
    EXPECT_FALSE(normalizedDomain(std::string(64, 'a') + ".com"));
    EXPECT_FALSE(normalizedDomain(longest + "a"));
}

TEST(WebCredentialChecks, AccountsAndPasswordsThatLieOrBreakAreRefused) {
    std::vector<std::string> good = {"alice", "alice@example.com", "张三", "a b", std::string(256, 'x')};
    for (auto& text : good) EXPECT_TRUE(isAcceptableAccount(text)) << text;
    // Control characters (C0, DEL, C1), the right-to-left override, a line
    // separator, an isolate, a mark, bytes that are no UTF-8, too long.
    std::vector<std::string> bad = {"", "a\nb", "a\tb", "a\rb", "\x7f", "a\xc2\x85", "a\xe2\x80\xae" "b",
                                    "\xe2\x80\xa8", "\xe2\x81\xa6x", "\xe2\x80\x8f", "\xff\xfe", std::string(257, 'x')};
    for (auto& text : bad)
        EXPECT_FALSE(isAcceptableAccount(text)) << strings::hexEncode((const uint8_t*)text.data(), text.size());
    EXPECT_FALSE(isAcceptableAccount(std::string("a\0b", 3)));

    EXPECT_TRUE(isAcceptablePassword("p@ss w0rd\t密码"));
    EXPECT_TRUE(isAcceptablePassword(std::string(4096, 'p')));
    EXPECT_FALSE(isAcceptablePassword(""));
    EXPECT_FALSE(isAcceptablePassword(std::string("a\0b", 3)));
    EXPECT_FALSE(isAcceptablePassword("\xc3("));
    EXPECT_FALSE(isAcceptablePassword(std::string(4097, 'p')));
}

TEST(WebCredentialChecks, StoredItemsCountOnlyForTheirOwnSiteAndWhenWellFormed) {
    EXPECT_EQ(credentialFromItem("example.com", "EXAMPLE.com", "alice", "pw"),
              (Credential{"example.com", "alice", "pw"}));
    EXPECT_FALSE(credentialFromItem("example.com", "evil.example.com", "alice", "pw"));
    EXPECT_FALSE(credentialFromItem("example.com", "", "alice", "pw"));
    EXPECT_FALSE(credentialFromItem("example.com", "example.com", "eve\n", "pw"));
    EXPECT_FALSE(credentialFromItem("example.com", "example.com", "alice", std::string("p\0w", 3)));
}

TEST(WebCredentialChecks, TheDeclaredSitesAreReadFromTheBundleAndBadEntriesLeftOut) {
    testsupport::TempBundle bundle(
        declaring({"Games.Example.com", "games.example.com", "not a host", 7, "example.org"}));
    EXPECT_EQ(associatedDomains(), (std::vector<std::string>{"games.example.com", "example.org"}));
}

TEST(GeneratedPasswords, FourGroupsOfThreeFromAnAlphabetWithoutLookAlikes) {
    std::regex shape("[a-zA-Z2-9]{3}(-[a-zA-Z2-9]{3}){3}");
    std::set<std::string> seen;
    for (int i = 0; i < 500; ++i) {
        std::string p = createSharedWebCredentialPassword();
        ASSERT_TRUE(std::regex_match(p, shape)) << p;
        EXPECT_EQ(p.find_first_of("0Oo1lI"), std::string::npos) << p;
        EXPECT_NE(p.find_first_of("ABCDEFGHJKLMNPQRSTUVWXYZ"), std::string::npos) << p;
        EXPECT_NE(p.find_first_of("abcdefghijkmnpqrstuvwxyz"), std::string::npos) << p;
        EXPECT_NE(p.find_first_of("23456789"), std::string::npos) << p;
        seen.insert(p);
    }
    EXPECT_EQ(seen.size(), 500u);
}

TEST(WebCredentials, StoredListedReplacedAndRemovedInTheKeyring) {
    if (!secretsession::enter(Kind::Keyring)) return;
    testsupport::TempBundle bundle(declaring({"example.com", "games.example.org"}));

    EXPECT_EQ(code(request("example.com").error), keychain::errSecItemNotFound);
    ASSERT_EQ(code(add("Example.com", "alice", "first")), 0);
    ASSERT_EQ(code(add("example.com", "bob@example.com", "密码 two")), 0);
    ASSERT_EQ(code(add("games.example.org", "alice", "elsewhere")), 0);

    auto both = request("example.com");
    ASSERT_FALSE(both.error) << both.error->localizedDescription();
    std::set<std::string> accounts;
    for (auto& c : both.credentials) {
        EXPECT_EQ(c.server, "example.com");
        accounts.insert(c.account + "=" + c.password);
    }
    EXPECT_EQ(accounts, (std::set<std::string>{"alice=first", "bob@example.com=密码 two"}));

    // A second password for the same account replaces the first.
    ASSERT_EQ(code(add("example.com", "alice", "second")), 0);
    auto alice = request("EXAMPLE.COM", "alice");
    ASSERT_EQ(alice.credentials.size(), 1u);
    EXPECT_EQ(alice.credentials[0], (Credential{"example.com", "alice", "second"}));

    // Without a domain: every declared site.
    auto all = request(std::nullopt, "alice");
    ASSERT_EQ(all.credentials.size(), 2u);
    EXPECT_EQ(all.credentials[0].server, "example.com");
    EXPECT_EQ(all.credentials[1], (Credential{"games.example.org", "alice", "elsewhere"}));

    // No password removes; removing what is gone is no error.
    ASSERT_EQ(code(add("example.com", "bob@example.com", std::nullopt)), 0);
    EXPECT_EQ(code(add("example.com", "bob@example.com", std::nullopt)), 0);
    EXPECT_EQ(code(request("example.com", "bob@example.com").error), keychain::errSecItemNotFound);
    EXPECT_EQ(request("example.com").credentials.size(), 1u);
}

TEST(WebCredentials, HostileOrUndeclaredSitesAndAccountsAreRefusedBeforeTheKeyringIsAsked) {
    if (!secretsession::enter(Kind::Keyring)) return;
    testsupport::TempBundle bundle(declaring({"example.com"}));

    EXPECT_EQ(code(add("other.example.net", "alice", "pw")), errSecMissingEntitlement);
    EXPECT_EQ(code(request("other.example.net").error), errSecMissingEntitlement);
    EXPECT_EQ(code(add("127.0.0.1", "alice", "pw")), keychain::errSecParam);
    EXPECT_EQ(code(add("example.com\nX-Evil: 1", "alice", "pw")), keychain::errSecParam);
    EXPECT_EQ(code(add(std::nullopt, "alice", "pw")), keychain::errSecParam);
    EXPECT_EQ(code(add("example.com", std::nullopt, "pw")), keychain::errSecParam);
    EXPECT_EQ(code(add("example.com", "", "pw")), keychain::errSecParam);
    EXPECT_EQ(code(add("example.com", "admin\xe2\x80\xae" "gpj.exe", "pw")), keychain::errSecParam);
    EXPECT_EQ(code(add("example.com", "alice", std::string("p\0w", 3))), keychain::errSecParam);
    EXPECT_EQ(code(request("example.com", "a\x01").error), keychain::errSecParam);
    // None of them reached the keyring.
    EXPECT_EQ(code(request("example.com").error), keychain::errSecItemNotFound);

    testsupport::TempBundle none(Value::dict({{"CFBundleIdentifier", "com.example.game"}}));
    EXPECT_EQ(code(request(std::nullopt).error), errSecMissingEntitlement);
}

TEST(WebCredentials, ItemsOthersWroteBadlyAreLeftOut) {
    if (!secretsession::enter(Kind::Keyring)) return;
    testsupport::TempBundle bundle(declaring({"example.com"}));
    // Written straight into the keyring, as another program could.
    auto put = [](const char* server, const char* user, const std::string& secret) {
        GError* e = nullptr;
        SecretValue* value = secret_value_new(secret.data(), gssize(secret.size()), "text/plain");
        GHashTable* attrs = g_hash_table_new(g_str_hash, g_str_equal);
        g_hash_table_insert(attrs, (gpointer) "server", (gpointer)server);
        g_hash_table_insert(attrs, (gpointer) "user", (gpointer)user);
        g_hash_table_insert(attrs, (gpointer) "protocol", (gpointer) "https");
        bool ok = secret_service_store_sync(nullptr, SECRET_SCHEMA_COMPAT_NETWORK, attrs, SECRET_COLLECTION_DEFAULT,
                                            "test", value, nullptr, &e);
        g_hash_table_unref(attrs);
        secret_value_unref(value);
        if (e) g_error_free(e);
        return ok;
    };
    ASSERT_TRUE(put("example.com", "line\nbreak", "pw"));
    ASSERT_TRUE(put("example.com", "binary", std::string("\xff\x00\x01", 3)));
    ASSERT_TRUE(put("example.com", "good", "pw"));
    auto found = request("example.com");
    ASSERT_EQ(found.credentials.size(), 1u);
    EXPECT_EQ(found.credentials[0].account, "good");
}

TEST(WebCredentials, WithoutASecretServiceOnTheBusEveryOperationFailsAtOnce) {
    if (!secretsession::enter(Kind::BusWithoutSecretService)) return;
    testsupport::TempBundle bundle(declaring({"example.com"}));
    auto listed = request("example.com");
    EXPECT_EQ(code(listed.error), errSecNotAvailable);
    EXPECT_TRUE(listed.credentials.empty());
    EXPECT_EQ(listed.error->domain, keychain::ErrorDomain);
    EXPECT_EQ(code(add("example.com", "alice", "pw")), errSecNotAvailable);
    EXPECT_EQ(code(add("example.com", "alice", std::nullopt)), errSecNotAvailable);
}

TEST(WebCredentials, WithoutASessionBusEveryOperationFailsAtOnce) {
    if (!secretsession::enter(Kind::NoBus)) return;
    testsupport::TempBundle bundle(declaring({"example.com"}));
    auto listed = request(std::nullopt);
    EXPECT_EQ(code(listed.error), errSecNotAvailable);
    EXPECT_EQ(listed.error->localizedDescription(), "No keychain is available.");
    EXPECT_EQ(code(add("example.com", "alice", "pw")), errSecNotAvailable);
}

}  // namespace
