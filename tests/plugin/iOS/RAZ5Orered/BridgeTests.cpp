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
#include "platform/foundation/Strings.h"
#include "support/BridgeMessages.h"
#include "support/TestSupport.h"

namespace {

TEST(PageCallback, EachFormIsOneDispatcherCallCarryingItsValue) {
    using namespace PageCallback;
    const std::pair<std::string, Value> cases[] = {
        {withJSON("RelaySDK_IOS", "onLogin", std::string(R"({"result":0})")),
         Value::array({"RelaySDK_IOS", "onLogin", R"({"result":0})", 1})},
        {withJSON("RelaySDK_IOS", "onLogin", std::nullopt), Value::array({"RelaySDK_IOS", "onLogin"})},
        {withInteger("RelaySDK_IOS", "RelaySDK_GetInitResult_CbFunc", -1),
         Value::array({"RelaySDK_IOS", "RelaySDK_GetInitResult_CbFunc", -1})},
        {withText("HSSDK_IOS", "HSSDK_GetGameId_CbFunc", std::string("g42")), Value::array({"HSSDK_IOS", "HSSDK_GetGameId_CbFunc", "g42"})},
        {withBool("KXWeb.iOS.SNSDK", "SNSDK_IsRegistered_CbFunc", true), Value::array({"KXWeb.iOS.SNSDK", "SNSDK_IsRegistered_CbFunc", true})},
        {withJSONText("KL_IOS", "onOpenUrl", nullptr), Value::array({"KL_IOS", "onOpenUrl"})},
    };
    for (auto& [script, call] : cases) {
        EXPECT_TRUE(strings::hasPrefix(script, "__KLCallFunc([") && strings::hasSuffix(script, "]);")) << script;
        EXPECT_EQ(testsupport::pageCall(script), call) << script;
    }
    EXPECT_EQ(queryKey("Sys", "GetKeychain"), "Sys_GetKeychain_CbFunc");
}

TEST(PageCallback, HostileTextsStayInsideTheirLiteral) {
    // Whatever the text, the script is one call: the value can never close
    // its literal or the script element around it, and arrives as it was.
    for (std::string text : {std::string("a\"]); alert(1); ([\""), std::string("</script><script>x()</script>"),
                             std::string("line\u2028sep\u2029"), std::string("back\\\"slash"), std::string("new\nline")}) {
        std::string js = PageCallback::withText("KL_IOS", "cb", text);
        EXPECT_EQ(testsupport::pageCall(js), Value::array({"KL_IOS", "cb", text})) << js;
        EXPECT_EQ(js.find("</script"), std::string::npos) << js;
        EXPECT_EQ(js.find('\n'), std::string::npos) << js;
        EXPECT_EQ(js.find("\u2028"), std::string::npos) << js;
    }
}

TEST(BridgeMessage, OnlyTheTokenedTextOfADictionaryWithATextNameIsAMessage) {
    size_t refused = BridgeMessage::refusedCount();
    const std::string& token = BridgeMessage::pageToken();
    ASSERT_GE(token.size(), 32u);
    // Without the token: what another frame would post straight to a channel.
    for (Value body : {Value::dict({{"name", "Warn"}, {"args", "x"}}), Value(R"({"name":"Warn"})"),
                       Value("0123456789abcdef" R"({"name":"Warn"})"), Value()})
        EXPECT_FALSE(BridgeMessage::from(body)) << body.toJSON();
    EXPECT_EQ(BridgeMessage::refusedCount(), refused + 4);
    // With it, still only a dictionary with a text name.
    for (std::string text : {"\"Login\"", R"({"name":5})", R"(["name"])", "{broken"})
        EXPECT_FALSE(BridgeMessage::from(Value(token + text))) << text;
    auto m = BridgeMessage::from(testsupport::postedMessage("Warn", 42));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->name, "Warn");
    EXPECT_FALSE(m->text());  // a number is not text
    EXPECT_EQ(BridgeMessage::from(testsupport::postedMessage("Warn", "x"))->text(), "x");
    // A lone surrogate, as a script's JSON.stringify writes it, reads as U+FFFD.
    auto lone = BridgeMessage::from(Value(token + R"({"name":"Warn","args":"a\ud800b\udc00\ud83d\ude00"})"));
    ASSERT_TRUE(lone);
    EXPECT_EQ(lone->text(), "a\uFFFDb\uFFFD\U0001F600");
    EXPECT_EQ(BridgeMessage::refusedCount(), refused + 4);
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
    view->postMessage("iOS_Console", testsupport::postedMessage("console_log", "quiet"));
    EXPECT_TRUE(capture->flushed().empty());
    view->postMessage("iOS_Console", testsupport::postedMessage("console_warn", "careful"));
    view->postMessage("iOS_Console", testsupport::postedMessage("console_error", "x"));
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
    view->postMessage("iOS_Console", testsupport::postedMessage("console_error", 42));
    view->postMessage("iOS_Console", testsupport::postedMessage("console_error"));
    EXPECT_TRUE(capture->flushed().empty());
}

TEST_F(Bridge, SystemPlugInEventsReloadAndUnload) {
    IOSPlugin::Load();
    auto view = RecordingWebView::create();
    IOSPlugin::SetWebView(view);

    // Reload before a block is set does nothing; then it runs the block.
    view->postMessage("iOS_Sys", testsupport::postedMessage("Reload"));
    int reloads = 0;
    SysPlugin::SetReloadFunc([&] { ++reloads; });
    view->postMessage("iOS_Sys", testsupport::postedMessage("Reload"));
    view->postMessage("iOS_Sys", testsupport::postedMessage("Unknown"));
    view->postMessage("iOS_Sys", Value("Reload"));
    EXPECT_EQ(reloads, 1);
    EXPECT_TRUE(view->evaluatedScripts().empty());

    SysPlugin::OnEnterBackground();
    SysPlugin::OnEnterForeground();
    EXPECT_EQ(view->evaluatedScripts(), (std::vector<std::string>{PageCallback::nameOnly("KL_IOS", "onEnterBackground"),
                                                                  PageCallback::nameOnly("KL_IOS", "onEnterForeground")}));

    SysPlugin::SetLaunchUrl(*NSURL::URLWithString("demo://open?x=1"));
    IOSPlugin::Unload();
    view->postMessage("iOS_Sys", testsupport::postedMessage("Reload"));
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
