// The system plug-in's operation table through a recording web view: each
// operation reaches its service and answers under its query key in the
// right form; events; screen operations that cannot show a screen never
// leave the page waiting; values reach the page as data.

#include <gtest/gtest.h>

#include "aggregator/RMDevice.h"

#include "platform/device/CSSearchableIndex.h"
#include "platform/device/DeviceFacts.h"
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
#include "platform/security/Keychain.h"
#include "platform/web/RecordingWebView.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"
#include "plugin/iOS/RAZ5Orered/NetworkInfo.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"
#include "plugin/iOS/RAZ5Orered/UIAlertViewController.h"
#include "support/BridgeMessages.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempBundle;
using testsupport::TempHome;

class SysPluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        IOSPlugin::resetForTesting();
        SysPlugin::Load();
        SysPlugin::SetWebView(view);
        UIPasteboard::setStore(pasteboard);
        URLOpener::install(opener);
    }
    void TearDown() override {
        SysPlugin::Unload();
        UIPasteboard::setStore(nullptr);
        URLOpener::install(nullptr);
    }
    // Posts {name, args} as the page does and returns what was evaluated.
    std::vector<std::string> post(const std::string& name, const Value& args = Value()) {
        view->clearEvaluatedScripts();
        view->postMessage("iOS_Sys", testsupport::postedMessage(name, args));
        return view->evaluatedScripts();
    }
    // The one answer of a value query.
    std::string ask(const std::string& name, const Value& args = Value()) {
        auto scripts = post(name, args);
        EXPECT_EQ(scripts.size(), 1u) << name;
        return scripts.empty() ? "" : scripts.back();
    }
    // The answer to a query, `value` being a JavaScript literal.
    static std::string answer(const std::string& op, const std::string& value = "") {
        return event("Sys_" + op + "_CbFunc", value);
    }
    static std::string event(const std::string& name, const std::string& value = "") {
        return "__KLCallFunc([\"KL_IOS\",\"" + name + "\"" + (value.empty() ? "" : "," + value) + "]);";
    }
    static std::string json(const Value& v) { return v.toJSON(); }
    // The value of a JSON.parse answer, as the page would parse it.
    static Value parsed(const std::string& script) {
        Value call = testsupport::pageCall(script);
        const std::string* text = call[2].getString();
        return call.size() == 4 && text ? Value::fromJSON(*text).value_or(Value()) : Value();
    }

    TempHome home;
    TempBundle bundle{Value::dict({{"CFBundleIdentifier", "com.example.game"},
                                   {"CFBundleShortVersionString", "1.2.3"},
                                   {"GameChannel", 7},
                                   {"Debug", true},
                                   {"Servers", Value::array({"a", "b"})}})};
    std::shared_ptr<RecordingWebView> view = RecordingWebView::create();
    std::shared_ptr<MemoryPasteboardStore> pasteboard = std::make_shared<MemoryPasteboardStore>();
    std::shared_ptr<RecordingURLOpener> opener = std::make_shared<RecordingURLOpener>();
};

TEST_F(SysPluginTest, ScriptDefinesEveryOperationWithItsParameterChecks) {
    auto ucc = view->configuration()->userContentController();
    ASSERT_TRUE(ucc->scriptMessageHandlerForName("iOS_Sys"));
    const std::string js = SysPlugin::script().source();
    for (auto op : {"CreateQRCode", "ScanQRCode", "InitKeychain", "SetKeychain", "GetKeychain", "DelKeychain",
                    "ResetKeychain", "CreateAlert", "AddAlertButton", "ShowAlert", "SelectImage",
                    "SaveImageToPhotoAlbum", "SaveThumbnail", "CropImage", "Photograph", "GetAdId", "GetIDFV",
                    "CheckPermission", "GetDeviceInfo", "GetDeviceState", "GetNetworkInfo", "SetClipboardText",
                    "GetClipboardText", "OpenUrl", "GetAppLaunchInfo", "Vibrate", "GetMetaData", "AddSearchItems",
                    "ClearSearchItems", "GetDocumentPath", "CreateDir", "MoveFile", "CopyFile", "GetFilesAtPath",
                    "GetDirsAtPath", "IsExistAtPath", "IsDirAtPath", "DeleteAtPath"})
        EXPECT_NE(js.find("self[\"" + std::string(op) + "\"]"), std::string::npos) << op;
    EXPECT_NE(js.find("\"Sys_GetKeychain_CbFunc\""), std::string::npos);
}

TEST_F(SysPluginTest, ThePageKeychainCannotReachTheProgramsOwnItems) {
    // A page once planted a property list with a NUL in the device-id item,
    // and every later start aborted while reading it.
    RMDevice::saveMessageWithData("IDFV-kept", RMDevice::kDeviceIdItem);
    post("InitKeychain", RMDevice::kDeviceIdItem);
    post("SetKeychain", json(Value::dict({{"key", RMDevice::kDeviceIdItem},
                                          {"value", std::string("<plist><string>a\0b</string></plist>", 36)}})));
    EXPECT_EQ(ask("GetKeychain", RMDevice::kDeviceIdItem), answer("GetKeychain"));
    post("DelKeychain", RMDevice::kDeviceIdItem);
    post("ResetKeychain");
    EXPECT_EQ(RMDevice::getDataWithIdentifier(RMDevice::kDeviceIdItem), Value("IDFV-kept"));
    EXPECT_EQ(RMDevice::updateDeviceID(), "IDFV-kept") << "the next start reads its own id";
    EXPECT_TRUE(keychain::isReservedService("com.korvel.platform.identifierForVendor"));

    // Refused, the page may still name a service of its own.
    post("InitKeychain", "game");
    post("SetKeychain", json(Value::dict({{"key", "k"}, {"value", "v"}})));
    EXPECT_EQ(ask("GetKeychain", "k"), answer("GetKeychain", "\"v\""));

    // An item planted by an older build reads as damaged, and a new id is made.
    keychain::Item planted;
    planted.service = planted.account = RMDevice::kDeviceIdItem;
    planted.data = Data{'<', 'p', 'l', 'i', 's', 't', '>', 'a', 0, 'b', '<', '/', 'p', 'l', 'i', 's', 't', '>'};
    keychain::Keychain::standard().remove(keychain::Query::generic(RMDevice::kDeviceIdItem));
    ASSERT_TRUE(keychain::Keychain::standard().add(planted));
    std::string fresh = RMDevice::updateDeviceID();
    EXPECT_FALSE(fresh.empty());
    EXPECT_NE(fresh, "IDFV-kept");
    EXPECT_EQ(RMDevice::getDataWithIdentifier(RMDevice::kDeviceIdItem), Value(fresh));
}

TEST_F(SysPluginTest, KeychainThroughThePage) {
    EXPECT_EQ(ask("GetKeychain", "token"), answer("GetKeychain")) << "before InitKeychain: no value";
    post("SetKeychain", json(Value::dict({{"key", "token"}, {"value", "x"}})));
    EXPECT_FALSE(KXKeyChainStore(std::string("game")).contains(std::string("token"))) << "nothing stored without a store";

    post("InitKeychain", "game");
    post("InitKeychain", "other");  // the first service stays
    EXPECT_EQ(SysPlugin::GetInterface()->keychainStore()->service(), "game");
    EXPECT_EQ(SysPlugin::GetInterface()->keychainStore()->accessibility(), 1);

    const std::string hostile = "a\"b\\c </script> \u2028 d";
    post("SetKeychain", json(Value::dict({{"key", "token"}, {"value", hostile}})));
    EXPECT_EQ(ask("GetKeychain", "token"), answer("GetKeychain", strings::jsStringLiteral(hostile)));
    EXPECT_EQ(KXKeyChainStore(std::string("game")).stringForKey(std::string("token")), hostile);

    post("SetKeychain", json(Value::dict({{"key", "token"}, {"value", 5}})));  // not text: ignored
    EXPECT_EQ(KXKeyChainStore(std::string("game")).stringForKey(std::string("token")), hostile);
    post("SetKeychain", json(Value::dict({{"value", "orphan"}})));  // no key: nothing
    post("SetKeychain", json(Value::dict({{"key", "token"}})));     // no value: deleted
    EXPECT_EQ(ask("GetKeychain", "token"), answer("GetKeychain"));

    post("SetKeychain", json(Value::dict({{"key", "a"}, {"value", "1"}})));
    post("SetKeychain", json(Value::dict({{"key", "b"}, {"value", "2"}})));
    post("DelKeychain", "a");
    EXPECT_EQ(ask("GetKeychain", "a"), answer("GetKeychain"));
    EXPECT_EQ(ask("GetKeychain", "b"), answer("GetKeychain", "\"2\""));
    post("ResetKeychain");
    EXPECT_EQ(ask("GetKeychain", "b"), answer("GetKeychain"));
    EXPECT_EQ(ask("GetKeychain", 5), answer("GetKeychain")) << "a key that is not text";

    SysPlugin::GetInterface()->ReleaseSDK();
    EXPECT_FALSE(SysPlugin::GetInterface()->keychainStore());
}

TEST_F(SysPluginTest, AlertsReportTheTappedButtonAndCanBeMadeAgain) {
    post("CreateAlert", json(Value::dict({{"title", "only a title"}})));
    post("ShowAlert");
    EXPECT_FALSE(UIAlertViewController::current()) << "a title alone creates nothing";

    post("CreateAlert", json(Value::dict({{"title", "Update"}, {"message", "A new version"}})));
    post("CreateAlert", json(Value::dict({{"title", "Second"}, {"message", "ignored"}})));
    post("AddAlertButton", "Later");
    post("AddAlertButton", "Now");
    auto alert = UIAlertViewController::current();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "Update");
    EXPECT_EQ(alert->numberOfButtons(), 2);
    post("ShowAlert");
    EXPECT_TRUE(alert->isVisible());
    view->clearEvaluatedScripts();
    alert->clickButtonAtIndex(1);
    ASSERT_TRUE(testsupport::waitFor([&] { return !view->evaluatedScripts().empty() && !alert->isVisible(); }));
    EXPECT_EQ(view->evaluatedScripts(), std::vector<std::string>{event("onAlertViewClick", "1")});
    EXPECT_FALSE(UIAlertViewController::current()) << "dismissed: a new alert may be made";

    post("CreateAlert", json(Value::dict({{"title", "Again"}, {"message", "m"}})));
    post("ShowAlert");
    alert = UIAlertViewController::current();
    ASSERT_TRUE(alert);
    view->clearEvaluatedScripts();
    alert->cancel();
    ASSERT_TRUE(testsupport::waitFor([&] { return !alert->isVisible(); }));
    EXPECT_EQ(view->evaluatedScripts(), std::vector<std::string>{event("onAlertViewClick", "-1")});
    EXPECT_FALSE(UIAlertViewController::current());
}

TEST_F(SysPluginTest, ClipboardTextArrivesAsData) {
    const std::string hostile = "\"); alert('x'); (\" \\ </script><script>evil()</script> \u2028\u2029 中文";
    EXPECT_EQ(ask("GetClipboardText"), answer("GetClipboardText")) << "empty clipboard: no value";
    post("SetClipboardText", hostile);
    EXPECT_EQ(pasteboard->text(), hostile);
    auto script = ask("GetClipboardText");
    EXPECT_EQ(script, answer("GetClipboardText", strings::jsStringLiteral(hostile)));
    EXPECT_EQ(script.find("</script"), std::string::npos);
    post("SetClipboardText", 12);  // not text: nothing
    EXPECT_EQ(pasteboard->text(), hostile);
}

TEST_F(SysPluginTest, OpenUrlHandsOnlyWebAddressesToTheDesktop) {
    post("OpenUrl", "https://example.com/a b");  // not a URL at all
    post("OpenUrl", "file:///etc/passwd");
    post("OpenUrl", "javascript:alert(1)");
    post("OpenUrl", "myapp://open");
    post("OpenUrl", "http://example.com/page?x=1");
    opener->result = false;
    post("OpenUrl", "HTTPS://example.org/");
    EXPECT_EQ(opener->opened, (std::vector<std::string>{"http://example.com/page?x=1", "HTTPS://example.org/"}));
    view->clearEvaluatedScripts();
    ASSERT_TRUE(testsupport::waitFor([&] { return view->evaluatedScripts().size() == 2; }));
    std::vector<Value> results;
    for (auto& s : view->evaluatedScripts()) {
        EXPECT_EQ(testsupport::pageCall(s)[1], Value("onOpenUrl")) << s;
        results.push_back(parsed(s));
    }
    EXPECT_EQ(results[0], Value::dict({{"url", "http://example.com/page?x=1"}, {"result", true}}));
    EXPECT_EQ(results[1], Value::dict({{"url", "HTTPS://example.org/"}, {"result", false}}));
}

TEST_F(SysPluginTest, RefusedUrlsAreReportedAsFailures) {
    auto scripts = post("OpenUrl", "file:///etc/passwd");
    ASSERT_EQ(scripts.size(), 1u);
    EXPECT_EQ(parsed(scripts[0]), Value::dict({{"url", "file:///etc/passwd"}, {"result", false}}));
    EXPECT_TRUE(opener->opened.empty());
    EXPECT_TRUE(post("OpenUrl").empty()) << "no text: nothing";
}

TEST_F(SysPluginTest, LaunchInformationSplitsTheQueryWithoutDecoding) {
    EXPECT_EQ(ask("GetAppLaunchInfo"), answer("GetAppLaunchInfo")) << "never opened with a URL";
    SysPlugin::SetLaunchUrl(*NSURL::URLWithString("myapp://open/path?a=1&b=2&c&t=a=b&e=%20x&a=3"));
    auto v = parsed(ask("GetAppLaunchInfo"));
    EXPECT_EQ(v.str("scheme"), "myapp");
    EXPECT_EQ(v.str("host"), "open");
    EXPECT_EQ(v.str("path"), "/path");
    EXPECT_EQ(v.str("query"), "a=1&b=2&c&t=a=b&e=%20x&a=3");
    EXPECT_EQ(v["args"], Value::dict({{"a", "3"}, {"b", "2"}, {"e", "%20x"}}));

    SysPlugin::SetLaunchUrl(*NSURL::URLWithString("myapp://open?flag"));
    v = parsed(ask("GetAppLaunchInfo"));
    EXPECT_EQ(v["args"], Value::dict()) << "no piece with one '=' gives an empty object";
    EXPECT_FALSE(v.has("path"));
}

TEST_F(SysPluginTest, MetadataAnswersTheValuesText) {
    EXPECT_EQ(ask("GetMetaData", "CFBundleShortVersionString"), answer("GetMetaData", "\"1.2.3\""));
    EXPECT_EQ(ask("GetMetaData", "GameChannel"), answer("GetMetaData", "\"7\""));
    EXPECT_EQ(ask("GetMetaData", "Debug"), answer("GetMetaData", "\"1\""));
    EXPECT_EQ(ask("GetMetaData", "Servers"), answer("GetMetaData", strings::jsStringLiteral("[\"a\",\"b\"]")));
    EXPECT_EQ(ask("GetMetaData", "Missing"), answer("GetMetaData"));
}

TEST_F(SysPluginTest, DeviceFactsAndPermissions) {
    testsupport::TempDir root;
    testsupport::writeFile(root / "etc/os-release", "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n");
    testsupport::writeFile(root / "sys/class/dmi/id/sys_vendor", "LENOVO\n");
    testsupport::writeFile(root / "sys/class/dmi/id/product_name", "To be filled by O.E.M.\n");
    testsupport::writeFile(root / "sys/class/power_supply/BAT0/type", "Battery\n");
    testsupport::writeFile(root / "sys/class/power_supply/BAT0/capacity", "55\n");
    device::setFactsRoot(root.path());

    auto info = parsed(ask("GetDeviceInfo"));
    EXPECT_EQ(info.str("display"), "Debian GNU/Linux");
    EXPECT_EQ(info.str("sdkVersion"), "12");
    EXPECT_EQ(info.str("manufacturer"), "LENOVO");
    EXPECT_EQ(info.str("model"), device::machine());
    EXPECT_EQ(info.str("product"), device::machine()) << "a filler product name is no name";
    EXPECT_EQ(info.str("device"), device::hostName());

    EXPECT_EQ(parsed(ask("GetDeviceState")), Value::dict({{"batteryLevel", 55}}));
    testsupport::writeFile(root / "sys/class/power_supply/BAT0/capacity", "55.5\n");
    EXPECT_EQ(parsed(ask("GetDeviceState")), Value::dict({{"batteryLevel", 55}})) << "truncated, not rounded";
    testsupport::writeFile(root / "sys/class/power_supply/BAT0/capacity", "29\n");
    EXPECT_EQ(parsed(ask("GetDeviceState")), Value::dict({{"batteryLevel", 29}})) << "not 28.999...";
    fs::remove_all(root / "sys/class/power_supply");
    EXPECT_EQ(parsed(ask("GetDeviceState")), Value::dict({{"batteryLevel", -1}}));

    PhotoLibrary::setFolder(root / "Pictures");
    EXPECT_EQ(ask("CheckPermission", "Photo"), answer("CheckPermission", "false")) << "no library folder";
    fs::create_directories(root / "Pictures");
    EXPECT_EQ(ask("CheckPermission", "Photo"), answer("CheckPermission", "true"));
    PhotoLibrary::setFolder("");
    EXPECT_EQ(ask("CheckPermission", "camera"), answer("CheckPermission", "false")) << "no video device";
    fs::create_directories(root / "sys/class/video4linux/video0");
    EXPECT_EQ(ask("CheckPermission", "Camera"), answer("CheckPermission", "false")) << "a device that does not open";
    testsupport::writeFile(root / "dev/video0", "");
    EXPECT_EQ(ask("CheckPermission", "Camera"), answer("CheckPermission", "true"));
    EXPECT_EQ(ask("CheckPermission", "microphone"), answer("CheckPermission", "false"));
    EXPECT_EQ(ask("CheckPermission"), answer("CheckPermission", "false"));
    device::setFactsRoot("/");

    EXPECT_EQ(ask("GetAdId"), answer("GetAdId", "\"00000000-0000-0000-0000-000000000000\""));
    auto idfv = ask("GetIDFV");
    EXPECT_EQ(idfv, answer("GetIDFV", "\"" + device::vendorIdentifier() + "\""));
    EXPECT_EQ(ask("GetIDFV"), idfv) << "the same identifier every time";
}

TEST_F(SysPluginTest, NetworkFactsAnswer) {
    ScopedTestReachability reachability;
    reachability->setWiFi();
    device::ScopedTestNetworkFacts facts;
    facts->add("wlan0", "192.168.0.9", true);
    facts->servers = {"192.168.0.1"};
    NetworkInfo::resetForTesting();
    EXPECT_EQ(parsed(ask("GetNetworkInfo")), Value::dict({{"wifiState", 3},
                                                          {"networkType", 1},
                                                          {"rssiLevel", -1},
                                                          {"available", true},
                                                          {"deviceIp", "192.168.0.9"},
                                                          {"dnsIp", "192.168.0.1"}}));
    NetworkInfo::resetForTesting();
}

TEST_F(SysPluginTest, FileOperationsAnswerBooleansAndListings) {
    auto docs = AppHome::documents().string();
    EXPECT_EQ(ask("GetDocumentPath"), answer("GetDocumentPath", strings::jsStringLiteral(docs)));
    EXPECT_EQ(ask("CreateDir", docs + "/a b/c"), answer("CreateDir", "true"));
    EXPECT_EQ(ask("CreateDir", "/etc/evil"), answer("CreateDir", "false"));
    EXPECT_EQ(ask("CreateDir", ""), answer("CreateDir", "false"));
    testsupport::writeFile(docs + "/a b/f 1.txt", "x");
    EXPECT_EQ(parsed(ask("GetFilesAtPath", docs + "/a b")), Value::array({"f 1.txt"})) << "blanks arrive";
    EXPECT_EQ(parsed(ask("GetDirsAtPath", docs + "/a b")), Value::array({"c"}));
    EXPECT_EQ(ask("GetFilesAtPath", docs + "/a b/c"), answer("GetFilesAtPath")) << "empty folder: no value";
    EXPECT_EQ(ask("IsExistAtPath", docs + "/a b/f 1.txt"), answer("IsExistAtPath", "true"));
    EXPECT_EQ(ask("IsDirAtPath", docs + "/a b/f 1.txt"), answer("IsDirAtPath", "false"));
    auto move = json(Value::dict({{"srcPath", docs + "/a b/f 1.txt"}, {"dstPath", docs + "/moved.txt"}}));
    EXPECT_EQ(ask("MoveFile", move), answer("MoveFile", "true"));
    EXPECT_EQ(ask("MoveFile", move), answer("MoveFile", "false"));
    EXPECT_EQ(ask("MoveFile", "not json"), answer("MoveFile", "false"));
    auto copy = json(Value::dict({{"srcPath", docs + "/moved.txt"}, {"dstPath", docs + "/copy.txt"}}));
    EXPECT_EQ(ask("CopyFile", copy), answer("CopyFile", "true"));
    EXPECT_EQ(ask("DeleteAtPath", docs + "/a b"), answer("DeleteAtPath", "true"));
    EXPECT_EQ(ask("DeleteAtPath", docs + "/a b"), answer("DeleteAtPath", "false"));
}

TEST_F(SysPluginTest, ScreenOperationsNeverLeaveThePageWaiting) {
    // Without a root controller no screen can show: the page hears at once
    // what a player's cancel would have sent.
    EXPECT_EQ(post("SelectImage", 2), std::vector<std::string>{event("onSelectImage")});
    EXPECT_EQ(post("ScanQRCode"), std::vector<std::string>{event("onScanQRCode")});
    // Without a camera: a failure with its reason, as a JSON text in a string.
    testsupport::TempDir noDevices;
    device::setFactsRoot(noDevices.path());
    auto docs = AppHome::documents();
    auto photo = post("Photograph", json(Value::dict({{"savePath", (docs / "p.png").string()}, {"width", 100}})));
    device::setFactsRoot("/");
    ASSERT_EQ(photo.size(), 1u);
    EXPECT_EQ(photo[0], event("onPhotograph", strings::jsStringLiteral(Value::dict({{"result", false}, {"msg", "camera unavailable"}})
                                                                       .toJSON(true))));
    // Unusable arguments do nothing at all.
    EXPECT_TRUE(post("Photograph", json(Value::dict({{"width", 1}}))).empty()) << "no save path";
    EXPECT_TRUE(post("Photograph", json(Value::dict({{"savePath", "/etc/p.png"}}))).empty()) << "a refused path";
    testsupport::writeFile(docs / "not-image.png", "text");
    auto img = CGImage::create(4, 4, false);
    files::writeAtomically(docs / "in.png", *imageio::encodePNG(*img));
    for (auto& args : {Value::dict({{"sourcePath", (docs / "not-image.png").string()}, {"savePath", "out.png"}}),
                       Value::dict({{"sourcePath", (docs / "in.png").string()}, {"savePath", "/etc/out.png"}}),
                       Value::dict({{"sourcePath", (docs / "in.png").string()}, {"savePath", "out.png"}})})
        EXPECT_TRUE(post("CropImage", json(args)).empty()) << json(args);
    EXPECT_FALSE(fs::exists(docs / "out.png"));
}

TEST_F(SysPluginTest, VibrationAndSearchItemsAreKeptLocally) {
    SystemSound::clearPlayed();
    post("Vibrate");
    EXPECT_EQ(SystemSound::played(), std::vector<uint32_t>{4095});

    post("AddSearchItems", json(Value::dict({{"id", "x"}})));  // not an array: ignored
    EXPECT_TRUE(CSSearchableIndex::defaultSearchableIndex().allItems().empty());
    post("AddSearchItems", json(Value::array({Value::dict({{"id", "lvl1"},
                                                            {"domain", "levels"},
                                                            {"title", "Level 1"},
                                                            {"description", "The first"},
                                                            {"keywords", Value::array({"start", 3, "easy"})}}),
                                              Value::dict({{"id", "lvl2"}, {"title", "Level 2"}})})));
    auto items = CSSearchableIndex::defaultSearchableIndex().allItems();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].uniqueIdentifier, "lvl1");
    EXPECT_EQ(items[0].domainIdentifier, "levels");
    EXPECT_EQ(items[0].contentDescription, "The first");
    EXPECT_EQ(items[0].keywords, (std::vector<std::string>{"start", "easy"}));
    post("AddSearchItems", json(Value::array({Value::dict({{"id", "lvl1"}, {"title", "Renamed"}})})));
    items = CSSearchableIndex::defaultSearchableIndex().allItems();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].title, "Renamed");
    post("ClearSearchItems");
    EXPECT_TRUE(CSSearchableIndex::defaultSearchableIndex().allItems().empty());
}

TEST_F(SysPluginTest, MalformedMessagesAndUnloadedPluginDoNothing) {
    EXPECT_TRUE(post("NoSuchOperation").empty());
    view->clearEvaluatedScripts();
    view->postMessage("iOS_Sys", Value("GetAdId"));
    view->postMessage("iOS_Sys", Value(BridgeMessage::pageToken() + R"({"name":3})"));
    EXPECT_TRUE(view->evaluatedScripts().empty());
    SysPlugin::Unload();
    view->postMessage("iOS_Sys", testsupport::postedMessage("GetAdId"));
    EXPECT_TRUE(view->evaluatedScripts().empty());
}

}  // namespace
