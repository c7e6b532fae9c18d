#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <optional>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSUserDefaults.h"
#include "support/TestSupport.h"

namespace {

using namespace testsupport;
namespace fs = std::filesystem;

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
    // The unreadable file was kept aside, not overwritten.
    EXPECT_EQ(readFile(home.path() / "Library/Preferences/com.example.corrupt.plist.corrupt"), "garbage");
}

// A preferences file whose reading took the process down (a file nested so
// deep that the XML library overflowed the stack) did so at every launch.
// The reading process's id is kept beside the file while it is read; a
// marker whose process is gone sets the file aside unread at the next
// launch, and the store starts empty.
TEST(UserDefaults, AFileWhoseReadingDidNotFinishIsSetAsideAtTheNextLaunch) {
    TempBundle bundle(Value::dict({{"CFBundleIdentifier", "com.example.cut"}}));
    TempHome home;
    fs::path file = home.path() / "Library/Preferences/com.example.cut.plist";
    fs::path marker = file.string() + ".reading";
    Data settings = Value::dict({{"brightness", 7}}).toBinaryPlist();
    writeFile(file, std::string(settings.begin(), settings.end()));

    // A read that finishes leaves no marker.
    NSUserDefaults::resetStandardUserDefaults();
    auto& d = NSUserDefaults::standardUserDefaults();
    EXPECT_EQ(d.integerForKey("brightness"), 7);
    EXPECT_FALSE(fs::exists(marker));

    // Another instance reading now is no cut reading.
    writeFile(marker, std::to_string(getppid()));
    NSUserDefaults::resetStandardUserDefaults();
    EXPECT_EQ(d.integerForKey("brightness"), 7);

    writeFile(marker, std::to_string(goneProcessId()));
    NSUserDefaults::resetStandardUserDefaults();
    StderrCapture err;
    EXPECT_TRUE(d.objectForKey("brightness").isNull());
    err.restore();
    EXPECT_NE(err.text().find(file.string() + " set aside, the last launch ended while reading it"), std::string::npos)
        << err.text();
    EXPECT_EQ(readFile(file.string() + ".corrupt"), std::string(settings.begin(), settings.end()));
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_FALSE(fs::exists(file));

    // The next launch starts from what this one writes.
    d.setInteger("brightness", 3);
    NSUserDefaults::resetStandardUserDefaults();
    EXPECT_EQ(d.integerForKey("brightness"), 3);
}

// What was found at the marker's path judged the last launch wrongly: a
// directory kept the marker from being written (the file was read
// unprotected, silently); a link to /proc/self/stat, an empty marker or
// one naming this process set a good file aside; a killed process not yet
// reaped counted as alive, so its file was read again. Now what is no
// regular file is removed and logged, a marker naming this process or no
// process counts as absent, and a zombie as gone.
TEST(UserDefaults, TheReadingMarkerIsJudgedByWhatItIs) {
    TempBundle bundle(Value::dict({{"CFBundleIdentifier", "com.example.marker"}}));
    TempHome home;
    fs::path file = home.path() / "Library/Preferences/com.example.marker.plist";
    fs::path marker = file.string() + ".reading";
    Data settings = Value::dict({{"brightness", 7}}).toBinaryPlist();
    auto& d = NSUserDefaults::standardUserDefaults();
    // The brightness read at a launch finding `place` at the marker's path,
    // and what it logged.
    auto launch = [&](const std::function<void()>& place) {
        writeFile(file, std::string(settings.begin(), settings.end()));
        fs::remove(file.string() + ".corrupt");
        fs::remove_all(marker);
        place();
        NSUserDefaults::resetStandardUserDefaults();
        StderrCapture err;
        int64_t brightness = d.integerForKey("brightness");
        err.restore();
        EXPECT_FALSE(fs::exists(fs::symlink_status(marker)));
        return std::pair{brightness, err.text()};
    };

    auto [inDirectory, dirLog] = launch([&] { fs::create_directories(marker / "inside"); });
    EXPECT_EQ(inDirectory, 7);
    EXPECT_NE(dirLog.find(marker.string() + " is not a reading marker (not a regular file): removed"),
              std::string::npos)
        << dirLog;

    auto [linked, linkLog] = launch([&] { fs::create_symlink("/proc/self/stat", marker); });
    EXPECT_EQ(linked, 7);
    EXPECT_NE(linkLog.find(marker.string() + " is not a reading marker"), std::string::npos) << linkLog;
    EXPECT_TRUE(fs::exists("/proc/self/stat"));

    for (std::string text : {std::string(), std::to_string(getpid()), std::string("12ab")}) {
        auto [read, log] = launch([&] { writeFile(marker, text); });
        EXPECT_EQ(read, 7) << "marker \"" << text << "\": " << log;
        EXPECT_FALSE(fs::exists(file.string() + ".corrupt")) << text;
    }

    // A process killed while it read, not yet reaped by its parent.
    pid_t zombie = fork();
    if (zombie == 0) {
        pause();
        _exit(0);
    }
    kill(zombie, SIGKILL);
    auto stat = "/proc/" + std::to_string(zombie) + "/stat";
    ASSERT_TRUE(waitFor([&] { return readFile(stat).find(") Z ") != std::string::npos; }));
    auto [afterKill, killLog] = launch([&] { writeFile(marker, std::to_string(zombie)); });
    waitpid(zombie, nullptr, 0);
    EXPECT_EQ(afterKill, 0);
    EXPECT_NE(killLog.find("the last launch ended while reading it"), std::string::npos) << killLog;
    EXPECT_EQ(readFile(file.string() + ".corrupt"), std::string(settings.begin(), settings.end()));
}

// A 32 MiB file of one-byte references to one value read as 1.8 GB, and
// was written back at every launch. A file past 4 MiB is set aside unread;
// one within it reads; a change that would make the file larger is not
// made, the value before it kept.
TEST(UserDefaults, AFileLargerThanTheCapIsSetAsideAndNoChangeMakesOne) {
    TempBundle bundle(Value::dict({{"CFBundleIdentifier", "com.example.cap"}}));
    TempHome home;
    fs::path file = home.path() / "Library/Preferences/com.example.cap.plist";
    auto& d = NSUserDefaults::standardUserDefaults();
    const size_t cap = NSUserDefaults::kMaxFileSize;
    for (size_t length : {cap - 100, cap}) {  // a file of the text and some 60 bytes more
        Data bytes = Value::dict({{"text", std::string(length, 'x')}}).toBinaryPlist();
        files::writeAtomically(file, bytes);
        NSUserDefaults::resetStandardUserDefaults();
        StderrCapture err;
        size_t read = d.stringForKey("text").size();
        err.restore();
        bool within = bytes.size() <= cap;
        EXPECT_EQ(read, within ? length : 0u);
        EXPECT_EQ(err.text().find(file.string() + " set aside, it is larger than 4 MiB") != std::string::npos, !within);
        EXPECT_EQ(files::readData(file.string() + ".corrupt") == bytes, !within);
    }

    d.setObject("text", "short");
    StderrCapture refused;
    d.setObject("text", std::string(cap, 'y'));
    d.setObject("blob", Data(cap, 1));
    refused.restore();
    EXPECT_NE(refused.text().find("\"text\" not changed: the preferences file would be larger than 4 MiB"),
              std::string::npos)
        << refused.text();
    NSUserDefaults::resetStandardUserDefaults();
    EXPECT_TRUE(d.stringForKey("text") == "short");
    EXPECT_TRUE(d.objectForKey("blob").isNull());
}

// A date another program wrote as "never" (the year 4001) once made the
// file unreadable, and every setting was moved aside with it.
TEST(UserDefaults, AFarDateKeepsEverySettingAndIsWrittenBackUnchanged) {
    TempBundle bundle(Value::dict({{"CFBundleIdentifier", "com.example.far"}}));
    TempHome home;
    fs::path file = home.path() / "Library/Preferences/com.example.far.plist";
    writeFile(file, "<plist><dict><key>expires</key><date>4001-01-01T00:00:00Z</date>"
                    "<key>volume</key><integer>7</integer></dict></plist>");
    NSUserDefaults::resetStandardUserDefaults();
    auto& d = NSUserDefaults::standardUserDefaults();
    EXPECT_EQ(d.integerForKey("volume"), 7);
    ASSERT_TRUE(d.objectForKey("expires").isDate());
    d.setInteger("volume", 3);  // written back in binary
    NSUserDefaults::resetStandardUserDefaults();
    EXPECT_EQ(d.integerForKey("volume"), 3);
    EXPECT_EQ(d.objectForKey("expires").storedSeconds(), 63113904000.0);
    EXPECT_FALSE(files::exists(home.path() / "Library/Preferences/com.example.far.plist.corrupt"));
}

TEST(UserDefaults, TextThatIsNotUTF8SurvivesAReloadWithReplacementCharacters) {
    // Bad bytes once made a file that could not be read back ("\xFF": every
    // preference lost) or read back with a NUL ("\xC0\x80").
    TempBundle bundle(Value::dict({{"CFBundleIdentifier", "com.example.bytes"}}));
    TempHome home;
    auto& d = NSUserDefaults::standardUserDefaults();
    d.setObject("kept", "ok");
    d.setObject("bad", "a\xFF");
    d.setObject("nul", "\xC0\x80z");
    d.setObject("key\xFE", 1);
    NSUserDefaults::resetStandardUserDefaults();
    EXPECT_EQ(d.stringForKey("kept"), "ok");
    EXPECT_EQ(d.stringForKey("bad"), "a\uFFFD");
    EXPECT_EQ(d.stringForKey("nul").find('\0'), std::string::npos);
    EXPECT_EQ(d.integerForKey("key\uFFFD"), 1);
    EXPECT_FALSE(files::exists(home.path() / "Library/Preferences/com.example.bytes.plist.corrupt"));
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

TEST(Bundle, AnUnusableInfoPlistIsLoggedWithTheFileAndWhy) {
    TempDir dir;
    const std::pair<std::string, std::string> cases[] = {
        {"garbage", "not a property list"},
        {"", "empty"},
        {"<plist><array><string>x</string></array></plist>", "no dictionary"},
        // A binary file claiming 2^62 objects.
        {std::string("bplist00\x08", 9) + std::string(6, '\0') + "\x01\x01" + std::string("\x40\0\0\0\0\0\0\0", 8) +
             std::string(8, '\0') + std::string("\0\0\0\0\0\0\0\x08", 8),
         "not a property list"},
    };
    for (auto& [content, why] : cases) {
        writeFile(dir / "Info.plist", content);
        StderrCapture err;
        auto b = NSBundle::bundleWithPath(dir.path());
        err.restore();
        ASSERT_TRUE(b);
        EXPECT_EQ(b->bundleIdentifier(), "");
        EXPECT_NE(err.text().find((dir / "Info.plist").string()), std::string::npos) << err.text();
        EXPECT_NE(err.text().find(why), std::string::npos) << err.text();
    }
    std::filesystem::remove(dir / "Info.plist");
    StderrCapture quiet;
    EXPECT_TRUE(NSBundle::bundleWithPath(dir.path()));
    quiet.restore();
    EXPECT_EQ(quiet.text(), "") << "a bundle without Info.plist is no fault";
}

TEST(Bundle, BinaryInfoPlistIsRead) {
    TempDir dir;
    files::writeAtomically(dir / "Info.plist", Value::dict({{"CFBundleIdentifier", "bin.id"}}).toBinaryPlist());
    auto b = NSBundle::bundleWithPath(dir.path());
    ASSERT_TRUE(b);
    EXPECT_EQ(b->bundleIdentifier(), "bin.id");
    EXPECT_FALSE(NSBundle::bundleWithPath(dir / "missing"));
}

// Sets an environment variable for the object's life.
struct ScopedEnv {
    std::string name;
    std::optional<std::string> old;
    ScopedEnv(std::string n, const char* value) : name(std::move(n)) {
        if (const char* v = getenv(name.c_str())) old = v;
        if (value) setenv(name.c_str(), value, 1);
        else unsetenv(name.c_str());
    }
    ~ScopedEnv() {
        if (old) setenv(name.c_str(), old->c_str(), 1);
        else unsetenv(name.c_str());
    }
};

TEST(Bundle, LocalizedStringsFollowTheLanguagesThenBase) {
    testsupport::TempDir dir;
    auto plist = [](const Value& v) {
        auto d = v.toXMLPlist();
        return std::string(d.begin(), d.end());
    };
    testsupport::writeFile(dir / "Base.lproj/T.strings", plist(Value::dict({{"a", "base a"}, {"b", "base b"}})));
    testsupport::writeFile(dir / "zh.lproj/T.strings", plist(Value::dict({{"a", "中文 a"}, {"n", 5}})));
    testsupport::writeFile(dir / "fr_CA.lproj/T.strings", "not a property list");
    testsupport::writeFile(dir / "Base.lproj/Localizable.strings", plist(Value::dict({{"hello", "hi"}})));
    struct Case {
        const char *language, *lang, *key, *value, *expected;
    };
    for (auto c : {Case{nullptr, "zh_CN.UTF-8", "a", "", "中文 a"},
                   Case{nullptr, "zh_CN.UTF-8", "b", "", "b"},          // the first table found answers alone
                   Case{nullptr, "zh_CN.UTF-8", "n", "fallback", "fallback"},  // not a text
                   Case{"en_US:zh", "C", "a", "", "中文 a"},
                   Case{nullptr, "en_US.UTF-8", "b", "", "base b"},
                   Case{nullptr, "C", "missing", "", "missing"},
                   Case{"fr_CA", nullptr, "a", "", "a"}}) {  // a broken table is no table
        ScopedEnv language("LANGUAGE", c.language), lang("LANG", c.lang);
        auto bundle = NSBundle::bundleWithPath(dir.path());
        EXPECT_EQ(bundle->localizedStringForKey(c.key, c.value, "T"), c.expected)
            << (c.language ? c.language : "-") << " " << (c.lang ? c.lang : "-") << " " << c.key;
    }
    ScopedEnv lang("LANG", "C");
    EXPECT_EQ(NSBundle::bundleWithPath(dir.path())->localizedStringForKey("hello", ""), "hi");
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
