// The script bridge without an engine: page callbacks, message reading, the
// bridge's plug-in wiring, the console channel and the system plug-in's
// events, through a recording web view.

#include <gtest/gtest.h>

#include "platform/web/RecordingWebView.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"
#include "plugin/iOS/RAZ5Orered/PluginLog.h"
#include "LogCapture.h"
#include "logging/VLFileLogger.h"
#include "logging/VLOSLogger.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"
#include "support/TestSupport.h"

namespace {

TEST(PageCallback, PlainValuesGiveTheClassicForms) {
    EXPECT_EQ(PageCallback::withJSON("RelaySDK_IOS", "onLogin", std::string(R"({"result":0,"userId":"u1"})")),
              R"(RelaySDK_IOS.CallFunc("onLogin", JSON.parse("{\"result\":0,\"userId\":\"u1\"}"));)");
    EXPECT_EQ(PageCallback::withJSON("RelaySDK_IOS", "onLogin", std::nullopt), R"(RelaySDK_IOS.CallFunc("onLogin");)");
    EXPECT_EQ(PageCallback::withInteger("RelaySDK_IOS", "RelaySDK_GetInitResult_CbFunc", -1),
              R"(RelaySDK_IOS.CallFunc("RelaySDK_GetInitResult_CbFunc", -1);)");
    EXPECT_EQ(PageCallback::withText("HSSDK_IOS", "HSSDK_GetGameId_CbFunc", std::string("g42")),
              R"(HSSDK_IOS.CallFunc("HSSDK_GetGameId_CbFunc", "g42");)");
    EXPECT_EQ(PageCallback::withBool("HSSDK_IOS", "HSSDK_IsSendAppStore_CbFunc", true),
              R"(HSSDK_IOS.CallFunc("HSSDK_IsSendAppStore_CbFunc", true);)");
    EXPECT_EQ(PageCallback::nameOnly("KL_IOS", "Sys_GetDeviceInfo_CbFunc"), R"(KL_IOS.CallFunc("Sys_GetDeviceInfo_CbFunc");)");
    EXPECT_EQ(PageCallback::queryKey("Sys", "GetKeychain"), "Sys_GetKeychain_CbFunc");
}

TEST(PageCallback, HostileTextsStayInsideTheirLiteral) {
    // Whatever the text, the script is one CallFunc statement: the value can
    // never close its literal or the script element around it.
    for (std::string text : {std::string("a\"); alert(1); (\""), std::string("</script><script>x()</script>"),
                             std::string("line\u2028sep\u2029"), std::string("back\\\"slash"), std::string("new\nline")}) {
        std::string js = PageCallback::withText("KL_IOS", "cb", text);
        EXPECT_TRUE(js.rfind("KL_IOS.CallFunc(\"cb\", \"", 0) == 0) << js;
        EXPECT_EQ(js.substr(js.size() - 3), "\");") << js;
        EXPECT_EQ(js.find("</script"), std::string::npos) << js;
        EXPECT_EQ(js.find('\n'), std::string::npos) << js;
        EXPECT_EQ(js.find("\u2028"), std::string::npos) << js;
    }
}

TEST(BridgeMessage, OnlyDictionariesWithATextNameAreMessages) {
    EXPECT_FALSE(BridgeMessage::from(Value("Login")));
    EXPECT_FALSE(BridgeMessage::from(Value::dict({{"name", 5}})));
    EXPECT_FALSE(BridgeMessage::from(Value::array({"name"})));
    auto m = BridgeMessage::from(Value::dict({{"name", "Warn"}, {"args", 42}}));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->name, "Warn");
    EXPECT_FALSE(m->text());  // a number is not text
    auto t = BridgeMessage::from(Value::dict({{"name", "Warn"}, {"args", "x"}}));
    EXPECT_EQ(t->text(), "x");
}

class FakeInterface : public PluginInterface {
public:
    std::vector<std::string>* calls;
    explicit FakeInterface(std::vector<std::string>* c) : calls(c) {}
    void InitSDK() override { calls->push_back("InitSDK"); }
    void ReleaseSDK() override { calls->push_back("ReleaseSDK"); }
    int RegCB(int code, PluginEventCallback) override {
        calls->push_back("RegCB " + std::to_string(code));
        return 1;
    }
    int UnregCB(int) override { return 1; }
};

// Plug-ins as the other SDK plug-ins register themselves, recording what
// the bridge asks of them.
std::vector<std::string>& journal() {
    static std::vector<std::string> j;
    return j;
}

SDKPluginEntry recordingEntry(const std::string& name) {
    return SDKPluginEntry{name, [name] { journal().push_back(name + ".Load"); },
                          [name] { journal().push_back(name + ".Unload"); },
                          [name](const std::shared_ptr<WKWebView>&) { journal().push_back(name + ".SetWebView"); },
                          [name](const std::shared_ptr<PluginInterface>&) { journal().push_back(name + ".SetInterface"); },
                          [name] { journal().push_back(name + ".Reset"); }};
}

class Bridge : public ::testing::Test {
protected:
    void SetUp() override {
        IOSPlugin::resetForTesting();
        journal().clear();
        // Registered out of order on purpose.
        IOSPlugin::registerSDKPlugin(recordingEntry("SNSDK"));
        IOSPlugin::registerSDKPlugin(recordingEntry("RelaySDK"));
        IOSPlugin::registerSDKPlugin(recordingEntry("HSSDK"));
    }
    shelltest::LogCapture capture;
};

TEST_F(Bridge, LoadAndUnloadRunThePlugInsInTheirOrder) {
    IOSPlugin::Load();
    EXPECT_TRUE(SysPlugin::GetInterface());
    EXPECT_EQ(journal(), (std::vector<std::string>{"RelaySDK.Load", "HSSDK.Load", "SNSDK.Load"}));
    // Then the loggers: a file logger rolling hourly, keeping 48 files, and
    // the platform log; a second Load adds none again.
    IOSPlugin::Load();
    int fileLoggers = 0, osLoggers = 0;
    for (auto& logger : VLLog::allLoggers()) {
        if (auto f = std::dynamic_pointer_cast<VLFileLogger>(logger)) {
            ++fileLoggers;
            EXPECT_EQ(f->rollingFrequency(), 3600);
            EXPECT_EQ(f->logFileManager()->maximumNumberOfLogFiles(), 48u);
        }
        if (logger == VLOSLogger::sharedInstance()) ++osLoggers;
    }
    EXPECT_EQ(fileLoggers, 1);
    EXPECT_EQ(osLoggers, 1);
    journal().clear();
    IOSPlugin::Unload();
    EXPECT_EQ(journal(), (std::vector<std::string>{"RelaySDK.Unload", "HSSDK.Unload", "SNSDK.Unload"}));
    EXPECT_FALSE(SysPlugin::GetInterface());
}

TEST_F(Bridge, SetInterfaceRecordsTheInstalledPlugInAndWebViewsFollowIt) {
    std::vector<std::string> calls;
    auto iface = std::make_shared<FakeInterface>(&calls);
    IOSPlugin::SetInterface(nullptr, "RelaySDK");
    IOSPlugin::SetInterface(iface, "");
    IOSPlugin::SetInterface(iface, "Other");
    EXPECT_EQ(IOSPlugin::sdkPluginType(), IOSPlugin::None);
    EXPECT_TRUE(journal().empty());

    IOSPlugin::SetInterface(iface, "HSSDK");
    IOSPlugin::SetInterface(iface, "RelaySDK");  // a second call replaces the type
    EXPECT_EQ(IOSPlugin::sdkPluginType(), IOSPlugin::RelaySDK);
    EXPECT_EQ(journal(), (std::vector<std::string>{"HSSDK.SetInterface", "RelaySDK.SetInterface"}));

    journal().clear();
    IOSPlugin::Load();
    auto view = RecordingWebView::create();
    IOSPlugin::SetWebView(view);
    EXPECT_EQ(journal(), (std::vector<std::string>{"RelaySDK.Load", "HSSDK.Load", "SNSDK.Load", "RelaySDK.SetWebView",
                                                   "SNSDK.SetWebView"}));
    auto ucc = view->configuration()->userContentController();
    EXPECT_TRUE(ucc->scriptMessageHandlerForName("iOS_Console"));
    EXPECT_TRUE(ucc->scriptMessageHandlerForName("iOS_Sys"));
    ASSERT_EQ(ucc->userScripts().size(), 1u);
    EXPECT_TRUE(ucc->userScripts()[0].forMainFrameOnly);
    EXPECT_EQ(ucc->userScripts()[0].injectionTime, WKUserScriptInjectionTime::AtDocumentStart);

    // The same view again changes nothing: no second handler, no second script.
    journal().clear();
    auto console = ucc->scriptMessageHandlerForName("iOS_Console");
    IOSPlugin::SetWebView(view);
    EXPECT_TRUE(journal().empty());
    EXPECT_EQ(ucc->userScripts().size(), 1u);
    EXPECT_EQ(ucc->scriptMessageHandlerForName("iOS_Console"), console);
}

TEST_F(Bridge, AResetForgetsEverythingStartUpSet) {
    std::vector<std::string> calls;
    IOSPlugin::SetInterface(std::make_shared<FakeInterface>(&calls), "RelaySDK");
    IOSPlugin::Load();
    IOSPlugin::SetWebView(RecordingWebView::create());
    IOSPlugin::SetRootController(std::make_shared<UIViewController>());
    journal().clear();
    IOSPlugin::resetForTesting();
    EXPECT_FALSE(IOSPlugin::GetWebView());
    EXPECT_FALSE(IOSPlugin::GetRootController());
    EXPECT_EQ(IOSPlugin::sdkPluginType(), IOSPlugin::None);
    EXPECT_FALSE(SysPlugin::GetInterface());
    EXPECT_EQ(journal(), (std::vector<std::string>{"RelaySDK.Reset", "HSSDK.Reset", "SNSDK.Reset"}));
}

TEST_F(Bridge, ConsoleChannelLogsWarningsLaterAndErrorsAtOnce) {
    IOSPlugin::Load();
    auto view = RecordingWebView::create();
    IOSPlugin::SetWebView(view);
    view->postMessage("iOS_Console", Value::dict({{"name", "console_log"}, {"args", "quiet"}}));
    EXPECT_TRUE(capture->flushed().empty());
    view->postMessage("iOS_Console", Value::dict({{"name", "console_warn"}, {"args", "careful"}}));
    view->postMessage("iOS_Console", Value::dict({{"name", "console_error"}, {"args", "x"}}));
    // The error has reached the loggers when the handler returns.
    auto now = capture->lines();
    ASSERT_FALSE(now.empty());
    EXPECT_EQ(now.back().message, "js_error: x");
    EXPECT_EQ(now.back().flag, PluginLogFlagError);
    EXPECT_EQ(now.back().file, "plugin/iOS/RAZ5Orered/RAZ5Orered/IOSPlugin");
    EXPECT_EQ(now.back().function, "-[IOSHandler userContentController:didReceiveScriptMessage:]");
    auto all = capture->flushed();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].message, "js_warn: careful");
    EXPECT_EQ(all[0].flag, PluginLogFlagWarning);

    // Posted around the page's functions: wrong types and shapes log nothing.
    capture->clear();
    view->postMessage("iOS_Console", Value::dict({{"name", "console_error"}, {"args", 42}}));
    view->postMessage("iOS_Console", Value::dict({{"name", "console_error"}}));
    view->postMessage("iOS_Console", Value("console_error"));
    view->postMessage("iOS_Console", Value::dict({{"name", Value::array({"console_error"})}, {"args", "x"}}));
    EXPECT_TRUE(capture->flushed().empty());
}

TEST_F(Bridge, SystemPlugInEventsReloadAndUnload) {
    IOSPlugin::Load();
    auto view = RecordingWebView::create();
    IOSPlugin::SetWebView(view);

    // Reload before a block is set does nothing; then it runs the block.
    view->postMessage("iOS_Sys", Value::dict({{"name", "Reload"}}));
    int reloads = 0;
    SysPlugin::SetReloadFunc([&] { ++reloads; });
    view->postMessage("iOS_Sys", Value::dict({{"name", "Reload"}}));
    view->postMessage("iOS_Sys", Value::dict({{"name", "Unknown"}}));
    view->postMessage("iOS_Sys", Value("Reload"));
    EXPECT_EQ(reloads, 1);
    EXPECT_TRUE(view->evaluatedScripts().empty());

    SysPlugin::OnEnterBackground();
    SysPlugin::OnEnterForeground();
    EXPECT_EQ(view->evaluatedScripts(), (std::vector<std::string>{R"(KL_IOS.CallFunc("onEnterBackground");)",
                                                                  R"(KL_IOS.CallFunc("onEnterForeground");)"}));

    SysPlugin::SetLaunchUrl(*NSURL::URLWithString("demo://open?x=1"));
    IOSPlugin::Unload();
    view->postMessage("iOS_Sys", Value::dict({{"name", "Reload"}}));
    EXPECT_EQ(reloads, 1);  // no interface, no block: ignored
    EXPECT_EQ(SysPlugin::GetLaunchUrl()->absoluteString(), "demo://open?x=1");  // the launch URL stays
    view->clearEvaluatedScripts();
    SysPlugin::OnEnterBackground();
    EXPECT_TRUE(view->evaluatedScripts().empty());
}

TEST(PluginScript, EveryOperationChecksItsParametersBeforePosting) {
    PluginScript s{"Demo_IOS", "iOS_Demo", "Demo", "Init Demo",
                   {{"Login"}, {"Pay", ScriptOperation::Param::Object}, {"GetInitResult", ScriptOperation::Param::None, true}}};
    std::string js = s.source();
    EXPECT_NE(js.find("\"Init Demo\""), std::string::npos);
    EXPECT_NE(js.find("\"Demo_GetInitResult_CbFunc\""), std::string::npos);
    EXPECT_NE(js.find("typeof param != \"object\""), std::string::npos);
    EXPECT_NE(js.find("typeof cbFunc != \"function\""), std::string::npos);
}

}  // namespace
