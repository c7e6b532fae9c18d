#include <gtest/gtest.h>

#include <cmath>

#include "UCTestSupport.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/security/Keychain.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/URLEncode.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVSettings.h"
#include "platform/graphics/UIImage.h"

TEST(ZVSettings, InfoPlistWinsOverZVPlistAndOnlyWebAddressesCount) {
    Value zv = Value::dict({{"ZORVIA_GAMEID", 1001},
                            {"ZORVIA_APPID", "88"},
                            {"ZORVIA_APPKEY", "k"},
                            {"ZORVIA_AGENT", "a1"},
                            {"ZORVIA_SERVER_URL", "https://zv.example.com"}});
    auto s = ZVSettings::fromDictionaries(Value::dict({{"ZORVIA_SERVER_URL", "http://127.0.0.1:9/x"}}), zv);
    EXPECT_EQ(s.gameID, "1001");  // a number in the plist reads as its text
    EXPECT_EQ(s.serverURL, "http://127.0.0.1:9/x/");
    EXPECT_EQ(s.apiBaseURL(), "http://127.0.0.1:9/x/sdkapicoupon2/");
    EXPECT_EQ(s.channelID, "a1");  // no "channel" in the Info.plist: the agent

    s = ZVSettings::fromDictionaries(Value::dict({{"channel", "977"}, {"ZORVIA_SERVER_URL", "  "}}), zv);
    EXPECT_EQ(s.channelID, "977");
    EXPECT_EQ(s.serverURL, "https://zv.example.com/");

    for (const char* bad : {"file:///etc/", "javascript:alert(1)", "zv.example.com", "ftp://x/"}) {
        s = ZVSettings::fromDictionaries(Value::dict({{"ZORVIA_SERVER_URL", bad}}), Value::dict());
        EXPECT_EQ(s.serverURL, "") << bad;
        EXPECT_EQ(s.apiBaseURL(), "") << bad;
    }
}

TEST(ZVSettings, ZVPlistIsFoundInTheBundleOrInTheSDKBundle) {
    testsupport::TempHome home;
    testsupport::TempBundle bundle;
    EXPECT_TRUE(ZVSettings::zvPlistPath().empty());
    EXPECT_EQ(ZVSettings::fromMainBundle().gameID, "");

    auto xml = Value::dict({{"ZORVIA_GAMEID", "7"}}).toXMLPlist();
    bundle.writeFile("ZVSDK.bundle/ZV.plist", std::string(xml.begin(), xml.end()));
    EXPECT_EQ(ZVSettings::fromMainBundle().gameID, "7");
    xml = Value::dict({{"ZORVIA_GAMEID", "8"}}).toXMLPlist();
    bundle.writeFile("ZV.plist", std::string(xml.begin(), xml.end()));
    EXPECT_EQ(ZVSettings::fromMainBundle().gameID, "8");

    bundle.writeFile("ZV.plist", "not a plist");
    EXPECT_EQ(ZVSettings::fromMainBundle().gameID, "");
}

TEST(URLEncode, TextHelpers) {
    EXPECT_EQ(URLEncode::md5String(""), "d41d8cd98f00b204e9800998ecf8427e");

    EXPECT_TRUE(URLEncode::isURL("https://a.example/x?y=1"));
    EXPECT_TRUE(URLEncode::isURL("zorvia://rw"));
    EXPECT_TRUE(URLEncode::isURL("a://"));
    EXPECT_FALSE(URLEncode::isURL(""));
    EXPECT_FALSE(URLEncode::isURL("https://a b"));
    EXPECT_FALSE(URLEncode::isURL(" https://a"));
    EXPECT_FALSE(URLEncode::isURL("h1://a"));
    EXPECT_FALSE(URLEncode::isURL("://a"));

    EXPECT_EQ(URLEncode::trimmedWhitespaceAndNewlineString(" \t\n张三 \r\n"), "张三");
    EXPECT_EQ(URLEncode::trimmedWhitespaceAndNewlineString("\xE3\x80\x80名 字\xC2\xA0"), "名 字");
    EXPECT_EQ(URLEncode::trimmedWhitespaceAndNewlineString(" \n "), "");
}

TEST(URLEncode, TimestampIsWholeSecondsOfTheClock) {
    ScopedTestClock clock;
    clock->setWall(Clock::Wall(std::chrono::milliseconds(1700000000400)));
    EXPECT_EQ(URLEncode::getNowTimeTimestamp(), "1700000000");
    clock->setWall(Clock::Wall(std::chrono::milliseconds(1700000000600)));
    EXPECT_EQ(URLEncode::getNowTimeTimestamp(), "1700000001");
}

TEST(URLEncode, BundleHelpersFallBackToTheMainBundle) {
    testsupport::TempBundle bundle;
    EXPECT_EQ(URLEncode::getBundlePath(), bundle.path());
    EXPECT_EQ(URLEncode::getImagePath("ZV_close"), "ZV_close");
    std::filesystem::create_directories(bundle.path() / "ZVSDK.bundle");
    // An empty SDK bundle still counts as missing for the bundle path.
    EXPECT_EQ(URLEncode::getBundlePath(), bundle.path());
    EXPECT_EQ(URLEncode::getImagePath("ZV_close"), "ZVSDK.bundle/ZV_close");
    bundle.writeFile("ZVSDK.bundle/ZV.plist", "x");
    EXPECT_EQ(URLEncode::getBundlePath(), bundle.path() / "ZVSDK.bundle");
    EXPECT_EQ(URLEncode::getSdkBundle()->bundlePath(), bundle.path() / "ZVSDK.bundle");
    EXPECT_EQ(URLEncode::sdkImageNamed("../Info.plist"), nullptr);
    EXPECT_EQ(URLEncode::sdkImageNamed("missing"), nullptr);
}

TEST(URLEncode, PriceAttributeAndTextHeight) {
    auto big = UIFont::systemFontOfSize(20);
    auto s = URLEncode::getPriceAttribute("¥6.00", big);
    auto font0 = s.attribute(NSFontAttributeName, 0);
    ASSERT_TRUE(font0);
    EXPECT_EQ(std::get<std::shared_ptr<UIFont>>(*font0), big);
    EXPECT_FALSE(s.attribute(NSFontAttributeName, 1));
    // A first character outside the basic plane is kept whole.
    auto e = URLEncode::getPriceAttribute("😀1", big);
    EXPECT_TRUE(e.attribute(NSFontAttributeName, 1));
    EXPECT_FALSE(e.attribute(NSFontAttributeName, 2));
    EXPECT_TRUE(URLEncode::getPriceAttribute("", big).empty());

    double one = URLEncode::getHeightWithText("一行", 300, 14);
    double empty = URLEncode::getHeightWithText("", 300, 14);
    double many = URLEncode::getHeightWithText(std::string(60, 'x') + " " + std::string(60, 'y'), 100, 14);
    EXPECT_GT(one, 14);
    EXPECT_EQ(one, std::ceil(one));
    EXPECT_EQ(empty, one);
    EXPECT_GT(many, 2 * one);
    EXPECT_EQ(URLEncode::getHeightWithText("一行", 300, 0), URLEncode::getHeightWithText("一行", 300, 13));
}

TEST(ShareVale, LoginStatePersistsUnderItsKeysAndThePasswordStaysOutOfDefaults) {
    uctest::Environment env(false);
    auto& share = ShareVale::sharedInstance();
    EXPECT_EQ(share.gameID(), "1001");
    EXPECT_EQ(share.appID(), "88");
    EXPECT_EQ(share.chanelid(), "977");
    share.setUserName("p1");
    share.setIsRz("2");
    share.setIsNotAutoLogin(true);
    share.setLoginStyle(2);
    share.setPassword("pa ss\"word");
    for (auto* a : {"a", "b", "c", "b", "d", "e", "f"}) share.rememberAccount(a);

    auto& d = NSUserDefaults::standardUserDefaults();
    EXPECT_EQ(d.stringForKey("ZV_username"), "p1");
    EXPECT_EQ(d.stringForKey("ZV_isRz"), "2");
    EXPECT_TRUE(d.boolForKey("ZV_isNotAutoLogin"));
    EXPECT_EQ(d.integerForKey("ZV_LoginStyle"), 2);
    EXPECT_EQ(share.accounts(), (std::vector<std::string>{"f", "e", "d", "b", "c"}));
    EXPECT_EQ(share.password(), "pa ss\"word");
    EXPECT_EQ(d.dictionaryRepresentation().toJSON().find("pa ss"), std::string::npos);

    // A fresh read of the files gives the same state.
    NSUserDefaults::resetStandardUserDefaults();
    EXPECT_EQ(share.userName(), "p1");
    EXPECT_EQ(share.isRz(), "2");
    EXPECT_EQ(share.password(), "pa ss\"word");
    share.setPassword("");
    EXPECT_EQ(share.password(), "");

    // A stored value of the wrong type reads as absent.
    d.setObject("ZV_accounts", Value::array({1, Value::dict(), "ok"}));
    EXPECT_EQ(share.accounts(), (std::vector<std::string>{"ok"}));
    d.setObject("ZV_username", Value::dict());
    EXPECT_EQ(share.userName(), "");
}

TEST(ZVSettings, TheDemoBundleCarriesTheSDKSettingsAndImages) {
    testsupport::TempHome home;
    auto previous = NSBundle::mainBundle().bundlePath();
    NSBundle::setMainBundlePath(testsupport::sourceDir() / "examples/DemoGame.app");
    auto s = ZVSettings::fromMainBundle();
    auto image = URLEncode::sdkImageNamed("ZV_float");
    NSBundle::setMainBundlePath(previous);
    EXPECT_EQ(s.gameID, "1001");
    EXPECT_FALSE(s.appKey.empty());
    EXPECT_EQ(s.serverURL, "");  // the demo script points it at the stand-in
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), (CGSize{56, 56}));  // the floating button's side
}
