// The system plug-in from a page in the real engine: every operation that
// needs no screen answers through KL_IOS with its callback and value,
// wrong-type arguments warn, and hostile texts (clipboard, keychain, paths,
// codes) arrive as the same text. The screens' page tests are ScreenPageTests.

#include <gtest/gtest.h>

#include "platform/device/CSSearchableIndex.h"
#include "platform/device/NetworkFacts.h"
#include "platform/device/PhotoLibrary.h"
#include "platform/device/SystemSound.h"
#include "platform/device/UIPasteboard.h"
#include "platform/device/URLOpener.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Strings.h"
#include "platform/graphics/ImageIO.h"
#include "platform/net/NetworkReachability.h"
#include "plugin/iOS/RAZ5Orered/BridgeTestSupport.h"
#include "plugin/iOS/RAZ5Orered/NetworkInfo.h"
#include "plugin/iOS/RAZ5Orered/QRCodeManager.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"
#include "plugin/iOS/RAZ5Orered/UIAlertViewController.h"

using namespace webtest;

namespace {

namespace fs = std::filesystem;

const std::string kHostile = "\"quoted\" back\\slash </script><script>window.owned=1</script> \u2028\u2029 中文 end";

class SysPage : public ::testing::Test, protected bridgetest::BridgedPage {
protected:
    void SetUp() override {
        ASSERT_TRUE(WKWebView::engineAvailable());
        URLOpener::install(opener);
        PhotoLibrary::setFolder(home.path() / "Photos");
        fs::create_directories(home.path() / "Photos");
        attach();
        ASSERT_TRUE(open("system", "window.KL_IOS"));
        ASSERT_TRUE(evaluate(*view, bridgetest::kReportingScript).done);
    }
    void TearDown() override {
        SysPlugin::Unload();
        URLOpener::install(nullptr);
        UIPasteboard::setStore(nullptr);
        PhotoLibrary::setFolder("");
    }

    // Runs `js` in the page and waits for the report tagged `tag`; its arguments.
    Value call(const std::string& js, const std::string& tag) { return bridgetest::callAndWait(*view, *probe, js, tag); }
    // A value query with a callback: the one argument it got (null for none).
    Value query(const std::string& op, const std::string& param = "") {
        auto args = call("KL_IOS." + op + "(" + (param.empty() ? "" : param + ", ") + "report('" + op + "'))", op);
        return args.size() == 1 ? args[0] : args.size() == 0 ? Value() : args;
    }
    // Runs operations without answers, then waits until they were handled.
    void run(const std::string& js) { call(js + "; KL_IOS.GetAdId(report('settled'))", "settled"); }
    static std::string lit(const std::string& s) { return strings::jsStringLiteral(s); }
    static std::string obj(const Value& v) { return v.toJSON(); }

    testsupport::TempHome home;
    testsupport::TempBundle bundle{Value::dict({{"CFBundleIdentifier", "com.example.page"}, {"GameId", "g-77"}})};
    std::shared_ptr<RecordingURLOpener> opener = std::make_shared<RecordingURLOpener>();
};

TEST_F(SysPage, WrongTypesWarnAndPostNothing) {
    SystemSound::clearPlayed();
    run("KL_IOS.GetKeychain(5, function() {}); KL_IOS.GetKeychain('k', 'not a function');"
        "KL_IOS.SetKeychain('text'); KL_IOS.SelectImage('2'); KL_IOS.GetAdId(); KL_IOS.CreateDir({}, function() {});"
        "KL_IOS.MoveFile('{}', function() {}); KL_IOS.SetClipboardText(7); KL_IOS.SetCallback(1)");
    for (const char* line : {"warn: KL_IOS.GetKeychain param error", "warn: KL_IOS.SetKeychain param error",
                             "warn: KL_IOS.SelectImage param error", "warn: KL_IOS.GetAdId param error",
                             "warn: KL_IOS.CreateDir param error", "warn: KL_IOS.MoveFile param error",
                             "warn: KL_IOS.SetClipboardText param error", "warn: KL_IOS.SetCallback param error"})
        EXPECT_TRUE(probe->sawConsole(line)) << line;
    for (auto& m : probe->messages) EXPECT_NE(m.str("tag"), "onSelectImage") << "a wrong type never reaches native code";
}

TEST_F(SysPage, KeychainValuesArriveIntact) {
    run("KL_IOS.InitKeychain('page.service'); KL_IOS.SetKeychain({key: 'k', value: " + lit(kHostile) + "})");
    EXPECT_EQ(query("GetKeychain", "'k'"), Value(kHostile));
    run("KL_IOS.DelKeychain('k')");
    EXPECT_TRUE(query("GetKeychain", "'k'").isNull());
    run("KL_IOS.SetKeychain({key: 'a', value: '1'}); KL_IOS.ResetKeychain()");
    EXPECT_TRUE(query("GetKeychain", "'a'").isNull());
    EXPECT_TRUE(evaluate(*view, "window.owned === undefined").value.boolValue());
}

TEST_F(SysPage, ClipboardTextArrivesAsTheSameText) {
    // The desktop clipboard of the virtual display.
    UIPasteboard::setStore(nullptr);
    run("KL_IOS.SetClipboardText(" + lit(kHostile) + ")");
    EXPECT_EQ(query("GetClipboardText"), Value(kHostile));
    gchar* desktop = gtk_clipboard_wait_for_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
    ASSERT_TRUE(desktop) << "the text is on the desktop clipboard";
    EXPECT_EQ(std::string(desktop), kHostile);
    g_free(desktop);
    // Text put there by another program comes back the same way.
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "from elsewhere \" \u2028", -1);
    EXPECT_EQ(query("GetClipboardText"), Value("from elsewhere \" \u2028"));
    EXPECT_TRUE(evaluate(*view, "window.owned === undefined").value.boolValue());
}

TEST_F(SysPage, IdentifiersFactsAndPermissions) {
    EXPECT_EQ(query("GetAdId"), Value("00000000-0000-0000-0000-000000000000"));
    EXPECT_EQ(query("GetIDFV").stringOr().size(), 36u);
    EXPECT_EQ(query("CheckPermission", "'PHOTO'"), Value(true));
    EXPECT_EQ(query("CheckPermission", "'fingerprint'"), Value(false));

    auto info = query("GetDeviceInfo");
    for (auto key : {"device", "display", "manufacturer", "model", "product", "sdkVersion"})
        EXPECT_TRUE(info[key].isString()) << key;
    EXPECT_TRUE(query("GetDeviceState")["batteryLevel"].isInteger());

    ScopedTestReachability reachability;
    reachability->setCellular();
    device::ScopedTestNetworkFacts facts;
    facts->add("wwan0", "10.64.1.2");
    facts->servers = {"10.64.0.1"};
    NetworkInfo::resetForTesting();
    EXPECT_EQ(query("GetNetworkInfo"), Value::dict({{"wifiState", 1},
                                                    {"networkType", 0},
                                                    {"rssiLevel", -1},
                                                    {"available", true},
                                                    {"deviceIp", "10.64.1.2"},
                                                    {"dnsIp", "10.64.0.1"}}));
    NetworkInfo::resetForTesting();
}

TEST_F(SysPage, UrlsLaunchInfoMetadataVibrationAndSearch) {
    auto opened = call("KL_IOS.OpenUrl('https://example.com/news?id=1')", "onOpenUrl");
    EXPECT_EQ(opened, Value::array({Value::dict({{"url", "https://example.com/news?id=1"}, {"result", true}})}));
    auto refused = call("KL_IOS.OpenUrl('file:///etc/passwd')", "onOpenUrl");
    EXPECT_EQ(refused, Value::array({Value::dict({{"url", "file:///etc/passwd"}, {"result", false}})}));
    EXPECT_EQ(opener->opened, std::vector<std::string>{"https://example.com/news?id=1"});

    EXPECT_TRUE(query("GetAppLaunchInfo").isNull());
    SysPlugin::SetLaunchUrl(*NSURL::URLWithString("game://invite/room?code=a%20b&from=friend"));
    EXPECT_EQ(query("GetAppLaunchInfo"), Value::dict({{"scheme", "game"},
                                                      {"host", "invite"},
                                                      {"path", "/room"},
                                                      {"query", "code=a%20b&from=friend"},
                                                      {"args", Value::dict({{"code", "a%20b"}, {"from", "friend"}})}}));
    EXPECT_EQ(query("GetMetaData", "'GameId'"), Value("g-77"));
    EXPECT_TRUE(query("GetMetaData", "'Nope'").isNull());

    SystemSound::clearPlayed();
    run("KL_IOS.Vibrate(); KL_IOS.AddSearchItems([{id: 'i1', title: 'T', keywords: ['k']}])");
    EXPECT_EQ(SystemSound::played(), std::vector<uint32_t>{4095});
    ASSERT_EQ(CSSearchableIndex::defaultSearchableIndex().allItems().size(), 1u);
    run("KL_IOS.ClearSearchItems()");
    EXPECT_TRUE(CSSearchableIndex::defaultSearchableIndex().allItems().empty());
}

TEST_F(SysPage, AlertsReportTheTappedButton) {
    run("KL_IOS.CreateAlert({title: 'Notice', message: 'Read me'}); KL_IOS.AddAlertButton('No');"
        "KL_IOS.AddAlertButton('Yes'); KL_IOS.ShowAlert()");
    auto alert = UIAlertViewController::current();
    ASSERT_TRUE(alert);
    EXPECT_TRUE(alert->isVisible());
    size_t from = probe->messages.size();
    alert->clickButtonAtIndex(1);
    ASSERT_TRUE(probe->waitForMessages(from + 1));
    EXPECT_EQ(probe->messages[from], Value::dict({{"tag", "onAlertViewClick"}, {"args", Value::array({1})}}));
}

TEST_F(SysPage, FileOperationsAnswerBooleansPathsAndNameLists) {
    auto docs = query("GetDocumentPath").stringOr();
    EXPECT_EQ(docs, AppHome::documents().string());
    const std::string dir = docs + "/存档 \"one\"";
    EXPECT_EQ(query("CreateDir", lit(dir + "/sub")), Value(true));
    EXPECT_EQ(query("CreateDir", "'/etc/evil'"), Value(false));
    EXPECT_EQ(query("CreateDir", "''"), Value(false));
    testsupport::writeFile(dir + "/a.txt", "a");
    testsupport::writeFile(dir + "/b \\ <tag> \"q\".txt", "b");
    // An array answer reaches the page's function as one argument per name.
    auto files = call("KL_IOS.GetFilesAtPath(" + lit(dir) + ", report('files'))", "files");
    EXPECT_EQ(files, Value::array({"a.txt", "b \\ <tag> \"q\".txt"})) << files.toJSON();
    auto dirs = call("KL_IOS.GetDirsAtPath(" + lit(dir) + ", report('dirs'))", "dirs");
    EXPECT_EQ(dirs, Value::array({"sub"})) << dirs.toJSON();
    EXPECT_TRUE(query("GetFilesAtPath", lit(dir + "/sub")).isNull()) << "an empty folder answers without a value";
    EXPECT_EQ(query("IsExistAtPath", lit(dir + "/a.txt")), Value(true));
    EXPECT_EQ(query("IsDirAtPath", lit(dir + "/a.txt")), Value(false));
    EXPECT_EQ(query("IsExistAtPath", "'../../../../etc/passwd'"), Value(false));
    auto paths = [&](const std::string& src, const std::string& dst) {
        return obj(Value::dict({{"srcPath", src}, {"dstPath", dst}}));
    };
    EXPECT_EQ(query("MoveFile", paths(dir + "/a.txt", dir + "/c.txt")), Value(true));
    EXPECT_EQ(query("MoveFile", paths(dir + "/c.txt", dir + "/b \\ <tag> \"q\".txt")), Value(false)) << "never replaces";
    EXPECT_EQ(query("CopyFile", paths(dir + "/c.txt", dir + "/d.txt")), Value(true));
    EXPECT_EQ(query("DeleteAtPath", lit(dir)), Value(true));
    EXPECT_FALSE(fs::exists(dir));
    EXPECT_TRUE(evaluate(*view, "window.owned === undefined").value.boolValue());
}

TEST_F(SysPage, ImageOperationsWithoutScreens) {
    auto docs = AppHome::documents();
    auto bitmap = CGImage::create(300, 150, false);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 300; ++x) bitmap->setPixel(x, y, RGBA8{uint8_t(x % 256), 80, 160, 255});
    files::writeAtomically(docs / "src.png", *imageio::encodePNG(*bitmap));

    const std::string text = "code " + kHostile;
    run("KL_IOS.CreateQRCode(" + lit(obj(Value::dict({{"text", text}, {"savePath", (docs / "qr.jpg").string()}}))) +
        "); KL_IOS.SaveThumbnail(" +
        obj(Value::dict({{"sourcePath", (docs / "src.png").string()},
                         {"savePath", (docs / "thumb.jpg").string()},
                         {"width", 100},
                         {"height", 100}})) +
        "); KL_IOS.SaveImageToPhotoAlbum(" + lit((docs / "src.png").string()) + ")");
    // The files are decoded off the main thread, one after another.
    ASSERT_TRUE(testsupport::waitFor([&] { return fs::exists(home.path() / "Photos/IMG_0001.JPG"); }));
    auto qr = UIImage::imageWithContentsOfFile(docs / "qr.jpg");
    ASSERT_TRUE(qr);
    EXPECT_EQ(QRCodeManager::ReadQRCode(*qr), text);
    auto thumb = UIImage::imageWithContentsOfFile(docs / "thumb.jpg");
    ASSERT_TRUE(thumb);
    EXPECT_EQ(thumb->size(), CGSize(100, 50));
    EXPECT_TRUE(fs::exists(home.path() / "Photos/IMG_0001.JPG"));

}

}  // namespace
