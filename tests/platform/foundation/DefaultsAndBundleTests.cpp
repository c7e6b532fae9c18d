#include <gtest/gtest.h>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSUserDefaults.h"
#include "support/TestSupport.h"

namespace {

using namespace testsupport;

TEST(UserDefaults, ValuesSurviveAReload) {
    TempBundle bundle(Value::dict({{"CFBundleIdentifier", "com.example.defaults"}}));
    TempHome home;
    auto& d = NSUserDefaults::standardUserDefaults();
    d.setObject("ZV_LoginStyle", 2);
    d.setObject("name", "玩家");
    d.setObject("list", Value::array({1, 2}));
    EXPECT_TRUE(files::exists(home.path() / "Library/Preferences/com.example.defaults.plist"));

    NSUserDefaults::resetStandardUserDefaults();  // as a new process would
    EXPECT_EQ(d.integerForKey("ZV_LoginStyle"), 2);
    EXPECT_EQ(d.stringForKey("name"), "玩家");
    EXPECT_EQ(d.objectForKey("list").size(), 2u);
    d.removeObjectForKey("name");
    NSUserDefaults::resetStandardUserDefaults();
    EXPECT_EQ(d.stringForKey("name"), "");
}

TEST(UserDefaults, RegisteredDefaultsAnswerUntilSet) {
    TempHome home;
    auto& d = NSUserDefaults::standardUserDefaults();
    d.registerDefaults(Value::dict({{"volume", 7}}));
    EXPECT_EQ(d.integerForKey("volume"), 7);
    d.setInteger("volume", 3);
    EXPECT_EQ(d.integerForKey("volume"), 3);
}

TEST(UserDefaults, CorruptFileStartsEmptyInsteadOfFailing) {
    TempBundle bundle(Value::dict({{"CFBundleIdentifier", "com.example.corrupt"}}));
    TempHome home;
    writeFile(home.path() / "Library/Preferences/com.example.corrupt.plist", "garbage");
    NSUserDefaults::resetStandardUserDefaults();
    auto& d = NSUserDefaults::standardUserDefaults();
    EXPECT_TRUE(d.objectForKey("x").isNull());
    d.setBool("x", true);
    NSUserDefaults::resetStandardUserDefaults();
    EXPECT_TRUE(d.boolForKey("x"));
}

TEST(Bundle, InfoKeysAndResourcesAreConfined) {
    TempBundle bundle(Value::dict({{"CFBundleIdentifier", "com.example.b"}, {"KL_URL", "https://x"}}));
    bundle.writeFile("relayPlugins.cfg", "x");
    auto& b = NSBundle::mainBundle();
    EXPECT_EQ(b.bundleIdentifier(), "com.example.b");
    EXPECT_EQ(b.objectForInfoDictionaryKey("KL_URL").stringOr(), "https://x");
    EXPECT_TRUE(b.objectForInfoDictionaryKey("missing").isNull());
    EXPECT_TRUE(b.pathForResource("relayPlugins", "cfg"));
    EXPECT_FALSE(b.pathForResource("relayChannel", "cfg"));
    EXPECT_FALSE(b.pathForResource("../etc/passwd", ""));
}

TEST(Bundle, BinaryInfoPlistIsRead) {
    TempDir dir;
    files::writeAtomically(dir / "Info.plist", Value::dict({{"CFBundleIdentifier", "bin.id"}}).toBinaryPlist());
    auto b = NSBundle::bundleWithPath(dir.path());
    ASSERT_TRUE(b);
    EXPECT_EQ(b->bundleIdentifier(), "bin.id");
    EXPECT_FALSE(NSBundle::bundleWithPath(dir / "missing"));
}

TEST(AppHomeFolders, AreCreatedUnderTheRoot) {
    TempHome home;
    EXPECT_EQ(AppHome::caches(), home.path() / "Library/Caches");
    EXPECT_TRUE(files::isDirectory(AppHome::documents()));
    EXPECT_TRUE(files::isDirectory(AppHome::tmp()));
}

class Widget : public NSObject {
public:
    std::string className() const override { return "Widget"; }
};
REGISTER_CLASS(Widget)

TEST(Registry, CreatesRegisteredClassesByName) {
    auto w = ClassRegistry::createAs<Widget>("Widget");
    ASSERT_TRUE(w);
    EXPECT_EQ(w->className(), "Widget");
    EXPECT_FALSE(ClassRegistry::create("NoSuchClass"));
    EXPECT_TRUE(ClassRegistry::isRegistered("Widget"));
}

}  // namespace
