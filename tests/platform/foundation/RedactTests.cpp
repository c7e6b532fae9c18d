// What a log line shows of credentials and personal data.
#include <gtest/gtest.h>

#include "platform/foundation/Redact.h"
#include "platform/foundation/Strings.h"
#include "platform/foundation/Value.h"

namespace {

Value parsed(const char* json) { return Value::fromJSON(json).value_or(Value("unreadable")); }

TEST(Redact, CredentialsShowFourCharactersAtAnyDepthAndNothingElseChanges) {
    EXPECT_EQ(redact::secret("e2ed5d7a1a6fba1b"), "e2ed…");
    EXPECT_EQ(redact::secret("abcd"), "…");
    EXPECT_EQ(redact::secret("令牌令牌令牌"), "令牌令牌…");
    Value reply = Value::fromJSON(R"({"data": {"uid": "demo", "user_token": "e2ed5d7a1a6f", "list": [{"Password": "hunter22"}]},
                                       "appKey": "k3y-secret", "sign": 12345, "result": true})")
                      .value_or(Value());
    Value shown = redact::credentials(reply);
    EXPECT_EQ(shown["data"]["user_token"], Value("e2ed…"));
    EXPECT_EQ(shown["data"]["list"][0]["Password"], Value("hunt…"));
    EXPECT_EQ(shown["appKey"], Value("k3y-…"));
    EXPECT_EQ(shown["sign"], Value("1234…"));  // a number is as much a credential as a text
    EXPECT_EQ(shown["data"]["uid"], Value("demo"));
    EXPECT_EQ(redact::json(std::optional<Value>()), "(none)");
    // A wire format's short keys, named by the caller, match whole at any depth.
    Value wire = Value::dict({{"i", "demo"}, {"p", "e10adc3949ba"}, {"pp", "plain"},
                              {"c", Value::array({Value::dict({{"s", "sess1234"}})})}});
    EXPECT_EQ(redact::json(wire, {{"p", "s"}}), R"({"c":[{"s":"sess…"}],"i":"demo","p":"e10a…","pp":"plain"})");

    // Addresses: the values of credential parameters, nothing else.
    EXPECT_EQ(redact::url("https://h/rw?username=demo&logintime=17&sign=1f3e9a0b#top"),
              "https://h/rw?username=demo&logintime=17&sign=1f3e…#top");
    EXPECT_EQ(redact::url("https://h/p?user%5Ftoken=abcdefgh&flag&key="), "https://h/p?user%5Ftoken=abcd…&flag&key=…");
    EXPECT_EQ(redact::url("local://game/index.html"), "local://game/index.html");
}

// Credentials under other names: a password by a short name, an
// authorization header's value, a cookie, a ticket; short words only as a
// key's last word, so ordinary words that begin with them stay readable.
// The caller's names match in any case.
TEST(Redact, CredentialsUnderEveryUsualNameAndCallersNamesInAnyCase) {
    Value request = parsed(R"({"passwd": "hunter22", "pass": "hunter22", "user_pass": "hunter22", "auth": "abcdefgh",
                               "X-Auth": "abcdefgh", "Authorization": "Bearer e2ed5d7a1a6f", "Cookie": "sid=abcdefgh",
                               "ticket": "ST-12345678", "loginTicket": "ST-12345678", "XAuth": "abcdefgh",
                               "passport": "demo_player", "pass_rate": 0.95, "author": "星海", "tickets": 3,
                               "compass": "north", "auth_type": "password"})");
    EXPECT_EQ(redact::json(request),
              R"({"Authorization":"Bear…","Cookie":"sid=…","X-Auth":"abcd…","XAuth":"abcd…","auth":"abcd…",)"
              R"("auth_type":"password","author":"星海","compass":"north","loginTicket":"ST-1…","pass":"hunt…",)"
              R"("pass_rate":0.95,"passport":"demo_player","passwd":"hunt…","ticket":"ST-1…","tickets":3,)"
              R"("user_pass":"hunt…"})");
    Value wire = Value::dict({{"ID", "110101199003074518"}, {"Id", "110101199003074518"}, {"P", "e10adc3949ba"},
                              {"ids", "12345678"}});
    EXPECT_EQ(redact::json(wire, {{"p"}, {"id"}}), R"({"ID":"1…","Id":"1…","P":"e10a…","ids":"12345678"})");
    EXPECT_EQ(redact::url("https://h/p?ID=110101199003074518&PASS=hunter22", {{}, {"id"}}),
              "https://h/p?ID=1…&PASS=hunt…");
}

// Below a credential key a key may be the credential itself: keys are
// shortened as values are, and keys that then coincide keep every value.
TEST(Redact, KeysBelowACredentialKeyAreShortenedAndNoneIsLost) {
    EXPECT_EQ(redact::json(parsed(R"({"token": {"e2ed5d7a1a6f": true}, "list": {"e2ed5d7a1a6f": true}})")),
              R"({"list":{"e2ed5d7a1a6f":true},"token":{"e2ed…":"…"}})");
    EXPECT_EQ(redact::json(parsed(R"({"phone": {"13812345678": {"13987654321": "x"}}})")),
              R"({"phone":{"1…":{"1…":"…"}}})");
    // A name of personal data below a credential key is a name, and says its value shows less.
    Value named = parsed(R"({"token": {"real_name": "张三丰", "abcdefgh": {"sj": "13812345678"}}})");
    EXPECT_EQ(redact::json(named, {{}, {"sj"}}), R"({"token":{"abcd…":{"sj":"1…"},"real_name":"张…"}})");
    EXPECT_EQ(redact::credentials(redact::credentials(named, {{}, {"sj"}}), {{}, {"sj"}}),
              redact::credentials(named, {{}, {"sj"}}));
    Value alike = parsed(R"({"sessions": {"abcdefgh": 1, "abcdxyz1": [2, 3], "zz": null}})");
    Value shown = redact::credentials(alike, {{"sessions"}});
    EXPECT_EQ(shown.toJSON(), R"({"sessions":{"abcd…":["…",["…","…"]],"…":null}})");
    EXPECT_EQ(redact::credentials(shown, {{"sessions"}}), shown);
}

// Below a credential key every scalar is shortened, whatever its type and
// however deep (keys too: those that coincide keep their values in a list,
// in the order of the keys); null says nothing and stays.
TEST(Redact, EveryScalarBelowACredentialKeyIsShortened) {
    EXPECT_EQ(redact::json(parsed(R"({"pwd": 123456})")), R"({"pwd":"1234…"})");
    EXPECT_EQ(redact::json(parsed(R"({"token": ["abcdefgh12", "ab"]})")), R"({"token":["abcd…","…"]})");
    EXPECT_EQ(redact::json(parsed(R"({"sign": {"value": "abcdefgh", "n": 12345678.5, "ok": true, "none": null,
                                               "more": [[{"x": "12345678"}]]}})")),
              R"({"sign":{"valu…":"abcd…","…":[[[{"…":"1234…"}]],"1234…",null,"…"]}})");
    // A JSON text under a credential key is a credential, not looked into.
    EXPECT_EQ(redact::json(parsed(R"({"token": "{\"a\":\"abcdefgh\"}"})")), R"({"token":"{\"a\"…"})");
    Value binary = Value::dict({{"secretData", Value(Data{1, 2, 3, 4, 5, 6})}});
    EXPECT_EQ(redact::credentials(binary)["secretData"], Value("AQID…"));
}

// Texts that are JSON texts or addresses are looked into; what holds no
// credential stays as it was, byte for byte.
TEST(Redact, CredentialsInsideJSONTextsAndAddressesAreShortened) {
    EXPECT_EQ(redact::json(parsed(R"({"data": "{\"token\":\"abcdefgh\",\"uid\":\"demo\"}"})")),
              R"({"data":"{\"token\":\"abcd…\",\"uid\":\"demo\"}"})");
    EXPECT_EQ(redact::json(parsed(R"({"list": ["[ {\"pwd\": 987654321} ]"]})")), R"({"list":["[{\"pwd\":\"9876…\"}]"]})");
    EXPECT_EQ(redact::json(parsed(R"({"twice": "\"{\\\"sign\\\":\\\"abcdefgh\\\"}\""})")),
              R"({"twice":"\"{\\\"sign\\\":\\\"abcd…\\\"}\""})");
    EXPECT_EQ(redact::json(parsed(R"({"next": "https://h/p?token=abcdefgh&x=1"})")),
              R"({"next":"https://h/p?token=abcd…&x=1"})");
    // An address in a JSON text in a reply.
    EXPECT_EQ(redact::json(parsed(R"({"data": "{\"url\":\"https://h/?sign=abcdefgh\"}"})")),
              R"({"data":"{\"url\":\"https://h/?sign=abcd…\"}"})");
    // Shortening a value can cut away what broke a JSON text: it is then read as one.
    std::string broken = R"({"u":"h://h/?token=abcdefgh\{"x&y","phone":"13812345678"})";
    EXPECT_EQ(redact::credentials(Value(broken)), Value(R"({"phone":"1…","u":"h://h/?token=abcd…&y"})"));
    for (const char* untouched : {R"({"data": "  {\"a\" : 1}  "})", R"({"data": "{\"truncated\": "})",
                                  R"({"tip": "[系统] 你好?"})", R"({"colour": "#ff0000"})"})
        EXPECT_EQ(redact::credentials(parsed(untouched)), parsed(untouched)) << untouched;
}

// In an address, ";" separates pairs as "&" does, the fragment's pairs count
// as the query's do, and a value holding JSON or another address is looked
// into; what changed is written back with only separators escaped.
TEST(Redact, AddressesHideCredentialsInEveryPart) {
    EXPECT_EQ(redact::url("https://h/p?user=a;sign=abcdefgh"), "https://h/p?user=a;sign=abcd…");
    EXPECT_EQ(redact::url("https://h/cb#access_token=abcdefgh&state=xy"), "https://h/cb#access_token=abcd…&state=xy");
    EXPECT_EQ(redact::url("https://h/#/login?token=abcdefgh"), "https://h/#/login?token=abcd…");
    EXPECT_EQ(redact::url("https://bob:hunter22@h:8080/p?a=1"), "https://bob:hunt…@h:8080/p?a=1");
    EXPECT_EQ(redact::url("https://bob@h/p@x"), "https://bob@h/p@x");
    EXPECT_EQ(redact::url("https://h/p?data=%7B%22token%22%3A%22abcdefgh%22%7D&v=%7B%7D"),
              R"(https://h/p?data={"token":"abcd…"}&v=%7B%7D)");
    EXPECT_EQ(redact::url("https://h/p?next=https%3A%2F%2Fx%2Fy%3Fa%3D1%26sign%3Dabcdefgh"),
              "https://h/p?next=https://x/y%3Fa=1%26sign=abcd…");
    // The password after an escaped ":", and pairs in the path's segments.
    EXPECT_EQ(redact::url("https://user%3Ahunter22@h/p"), "https://user%3Ahunt…@h/p");
    EXPECT_EQ(redact::url("https://user%3abob%3Ahunter22@h/"), "https://user%3abob%…@h/");
    EXPECT_EQ(redact::url("https://h/a;v=x;token=abcdefgh/b;sign=abcdefgh?x=1"),
              "https://h/a;v=x;token=abcd…/b;sign=abcd…?x=1");
    EXPECT_EQ(redact::url("https://h/a;token=a%2Fbcdefgh/b#c"), "https://h/a;token=a%2Fbc…/b#c");
    EXPECT_EQ(redact::url("https://h/a;token=a%2Fbcdefgh/b#c"),
              redact::url(redact::url("https://h/a;token=a%2Fbcdefgh/b#c")));
    EXPECT_EQ(redact::url("https://h/a;v=1;x/b?c=1"), "https://h/a;v=1;x/b?c=1");
    // Written back, it reads the same again.
    std::string once = redact::url("https://h/p?next=https%3A%2F%2Fx%2Fy%3Fa%3D1%26sign%3Dabcdefgh");
    EXPECT_EQ(redact::url(once), once);
}

// Texts are looked into 3 deep; one deeper that would be looked into is
// shortened whole, so no credential hides by nesting.
TEST(Redact, TextsNestedTooDeepAreShortenedWhole) {
    Value inner = Value::dict({{"token", "abcdefgh"}, {"note", "x"}});
    std::vector<std::string> levels;
    for (int i = 0; i < 6; ++i) {
        inner = Value::dict({{"data", inner.toJSON()}});
        levels.push_back(redact::json(inner));
    }
    for (size_t i = 0; i < levels.size(); ++i) EXPECT_EQ(levels[i].find("abcdefgh"), std::string::npos) << i;
    Value third = Value::fromJSON(levels[2]).value_or(Value());
    for (int i = 0; i < 3; ++i) third = Value::fromJSON(third.str("data")).value_or(Value());
    EXPECT_EQ(third["token"], Value("abcd…"));  // looked into at the third level
    Value fourth = Value::fromJSON(levels[3]).value_or(Value());
    for (int i = 0; i < 3; ++i) fourth = Value::fromJSON(fourth.str("data")).value_or(Value());
    EXPECT_EQ(fourth.str("data"), "{\"no…");  // the fourth is not
    // An address given to url() is the first level.
    std::string json = "{\"c\":\"https://j/?token=abcdefgh\"}";
    EXPECT_EQ(redact::url("https://h/?a=" + strings::percentEncode("https://i/?b=" + strings::percentEncode(json))),
              R"(https://h/?a=https://i/%3Fb={"c":"http…"})");
}

// Personal data shows its first character; whole names only, so flags
// about it stay readable.
TEST(Redact, PersonalDataShowsItsFirstCharacter) {
    EXPECT_EQ(redact::personal("13812345678"), "1…");
    EXPECT_EQ(redact::personal("张"), "…");
    // Never half a surrogate pair, and shortening again keeps the same.
    EXPECT_EQ(redact::personal("😀😀"), "😀…");
    EXPECT_EQ(redact::personal("😀"), "…");
    EXPECT_EQ(redact::secret("abc😀defg"), "abc😀…");
    EXPECT_EQ(redact::secret("abc😀…"), "abc😀…");
    EXPECT_EQ(redact::secret("abc😀"), "…");
    Value request = Value::dict({{"r", "欧阳星海"}, {"id", 110101199003074518LL}, {"i", "demo"},
                                 {"Mobile_No", "13812345678"}, {"ismobile", 1},
                                 {"phone", Value::array({"13812345678"})}, {"real_name", "张三"}});
    EXPECT_EQ(redact::json(request, {{}, {"r", "id"}}),
              R"({"Mobile_No":"1…","i":"demo","id":"1…","ismobile":1,"phone":["1…"],"r":"欧…","real_name":"张…"})");
    EXPECT_EQ(redact::url("https://h/p?phone=13812345678&sj=13812345678", {{}, {"sj"}}),
              "https://h/p?phone=1…&sj=1…");
    EXPECT_EQ(redact::url("https://h/p?real_name=%E6%AC%A7%E9%98%B3"), "https://h/p?real_name=欧…");
}

}  // namespace
