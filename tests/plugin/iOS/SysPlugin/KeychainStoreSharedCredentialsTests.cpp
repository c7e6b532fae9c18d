// The keychain store's shared web credentials: the seven operations for the
// host of the store's server, in a keyring of the test's own; the argument
// error of a store without a server; the platform's errors handed on and
// logged.
#include <gtest/gtest.h>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/security/SharedWebCredentials.h"
#include "plugin/iOS/RAZ5Orered/KXKeyChainStore.h"
#include "support/SecretSession.h"
#include "support/TestSupport.h"

namespace {

using secretsession::Kind;

struct Answer {
    std::optional<std::string> account, password;
    std::optional<Error> error;
    std::vector<Value> credentials;
    bool onMain = false;
};

// Runs one operation and the main loop until its completion ran, checking
// that it ran later, never inside the call.
template <class Start>
Answer await(Start start) {
    Answer out;
    bool done = false;
    start(out, done);
    EXPECT_FALSE(done) << "the completion ran inside the call";
    EXPECT_TRUE(testsupport::waitFor([&] { return done; })) << "no answer";
    EXPECT_TRUE(out.onMain);
    return out;
}

Answer sharedPassword(KXKeyChainStore& store) {
    return await([&](Answer& out, bool& done) {
        store.sharedPasswordWithCompletion([&](auto account, auto password, auto error) {
            out = {account, password, error, {}, isMainThread()};
            done = true;
        });
    });
}

Answer passwordFor(KXKeyChainStore& store, const std::optional<std::string>& account) {
    return await([&](Answer& out, bool& done) {
        store.sharedPasswordForAccount(account, [&](auto password, auto error) {
            out = {std::nullopt, password, error, {}, isMainThread()};
            done = true;
        });
    });
}

Answer setPassword(KXKeyChainStore& store, const std::optional<std::string>& password,
                   const std::optional<std::string>& account) {
    return await([&](Answer& out, bool& done) {
        store.setSharedPassword(password, account, [&](auto error) {
            out = {std::nullopt, std::nullopt, error, {}, isMainThread()};
            done = true;
        });
    });
}

Answer removePassword(KXKeyChainStore& store, const std::optional<std::string>& account) {
    return await([&](Answer& out, bool& done) {
        store.removeSharedPasswordForAccount(account, [&](auto error) {
            out = {std::nullopt, std::nullopt, error, {}, isMainThread()};
            done = true;
        });
    });
}

Answer credentials(const std::optional<std::string>& domain, const std::optional<std::string>& account) {
    return await([&](Answer& out, bool& done) {
        KXKeyChainStore::requestSharedWebCredentialForDomain(domain, account, [&](auto found, auto error) {
            out = {std::nullopt, std::nullopt, error, found, isMainThread()};
            done = true;
        });
    });
}

long code(const Answer& a) { return a.error ? a.error->code : 0; }

class SharedCredentials : public ::testing::Test {
protected:
    testsupport::TempBundle bundle{Value::dict(
        {{"CFBundleIdentifier", "com.example.game"},
         {webcredentials::kAssociatedDomainsKey, Value::array({"example.com", "games.example.org"})}})};
    std::shared_ptr<KXKeyChainStore> site =
        KXKeyChainStore::keyChainStoreWithServer(*NSURL::URLWithString("https://Example.com:8443/login"), 16);
};

TEST_F(SharedCredentials, AStoreWithoutAServerIsRefusedWithTheArgumentError) {
    auto generic = KXKeyChainStore::keyChainStoreWithService(std::string("svc"));
    std::vector<Answer> answers = {sharedPassword(*generic), passwordFor(*generic, std::string("alice")),
                                   setPassword(*generic, std::string("pw"), std::string("alice")),
                                   removePassword(*generic, std::string("alice"))};
    for (auto& a : answers) {
        ASSERT_TRUE(a.error);
        EXPECT_EQ(a.error->domain, KXKeyChainStore::ErrorDomain);
        EXPECT_EQ(a.error->code, 1);
        EXPECT_EQ(a.error->localizedDescription(),
                  "the server property must not to be nil, should use 'keyChainStoreWithServer:protocolType:' "
                  "initializer to instantiate keychain store");
        EXPECT_FALSE(a.account);
        EXPECT_FALSE(a.password);
    }
}

TEST_F(SharedCredentials, PasswordsAreStoredReadListedAndRemovedForTheServersHost) {
    if (!secretsession::enter(Kind::Keyring)) return;
    ASSERT_EQ(code(setPassword(*site, std::string("pw-1"), std::string("alice"))), 0);
    ASSERT_EQ(code(setPassword(*site, std::string("pw-2"), std::string("alice"))), 0);
    auto other = KXKeyChainStore::keyChainStoreWithServer(*NSURL::URLWithString("https://games.example.org/"), 16);
    ASSERT_EQ(code(setPassword(*other, KXKeyChainStore::generatePassword(), std::string("bob"))), 0);

    auto read = passwordFor(*site, std::string("alice"));
    EXPECT_EQ(read.password, "pw-2");
    EXPECT_FALSE(read.error);
    auto first = sharedPassword(*site);
    EXPECT_EQ(first.account, "alice");
    EXPECT_EQ(first.password, "pw-2");

    auto listed = credentials(std::string("example.com"), std::nullopt);
    ASSERT_EQ(listed.credentials.size(), 1u);
    EXPECT_EQ(listed.credentials[0],
              Value::dict({{"server", "example.com"}, {"account", "alice"}, {"password", "pw-2"}}));
    Answer everySite = await([&](Answer& out, bool& done) {
        KXKeyChainStore::requestSharedWebCredentialWithCompletion([&](auto found, auto error) {
            out = {std::nullopt, std::nullopt, error, found, isMainThread()};
            done = true;
        });
    });
    ASSERT_EQ(everySite.credentials.size(), 2u);
    EXPECT_EQ(everySite.credentials[1].str("account"), "bob");
    EXPECT_EQ(everySite.credentials[1].str("password").size(), 15u);

    EXPECT_EQ(code(removePassword(*site, std::string("alice"))), 0);
    auto gone = sharedPassword(*site);
    EXPECT_FALSE(gone.account);
    EXPECT_FALSE(gone.password);
    EXPECT_EQ(code(gone), keychain::errSecItemNotFound);
}

TEST_F(SharedCredentials, ThePlatformsRefusalsAndFailuresArriveUnchangedAndAreLogged) {
    if (!secretsession::enter(Kind::BusWithoutSecretService)) return;
    // Refused before the service is asked: a hostile account, a server that
    // is no host name.
    auto hostile = setPassword(*site, std::string("pw"), std::string("alice\r\nbob"));
    ASSERT_TRUE(hostile.error);
    EXPECT_EQ(hostile.error->domain, keychain::ErrorDomain);
    EXPECT_EQ(code(hostile), keychain::errSecParam);
    auto literal = KXKeyChainStore::keyChainStoreWithServer(*NSURL::URLWithString("https://127.0.0.1/"), 16);
    EXPECT_EQ(code(passwordFor(*literal, std::string("alice"))), keychain::errSecParam);

    testsupport::StderrCapture err;
    auto failed = sharedPassword(*site);
    err.restore();
    EXPECT_FALSE(failed.account);
    EXPECT_EQ(code(failed), webcredentials::errSecNotAvailable);
    EXPECT_NE(err.text().find("error: [-25291] No keychain is available."), std::string::npos) << err.text();
}

}  // namespace
