// The bridge's scripts in the real engine: the page objects' type checks,
// SetCallback and CallFunc, the console channel, and callback values that
// must arrive intact.

#include <gtest/gtest.h>

#include "BridgeTestSupport.h"
#include "LogCapture.h"
#include "plugin/iOS/RAZ5Orered/PluginLog.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"

using namespace webtest;

namespace {

// A plug-in shaped like the aggregator's, to drive every kind of operation.
class DemoHandler : public WKScriptMessageHandler {
public:
    std::vector<Value>* seen;
    explicit DemoHandler(std::vector<Value>* s) : seen(s) {}
    void userContentController_didReceiveScriptMessage(WKUserContentController&, const WKScriptMessage& m) override {
        auto message = BridgeMessage::from(m.body);
        if (!message) return;
        Value v = Value::dict({{"name", message->name}});
        if (!message->args.isNull()) v.set("args", message->args);
        seen->push_back(v);
    }
};

class BridgePage : public ::testing::Test, protected bridgetest::BridgedPage {
protected:
    void SetUp() override {
        ASSERT_TRUE(WKWebView::engineAvailable());
        attach();
        PluginScript demo{"Demo_IOS", "iOS_Demo", "Demo", "Init Demo",
                          {{"Login"},
                           {"Pay", ScriptOperation::Param::Object},
                           {"SetName", ScriptOperation::Param::Text},
                           {"Select", ScriptOperation::Param::Number},
                           {"GetInitResult", ScriptOperation::Param::None, true},
                           {"GetKey", ScriptOperation::Param::Text, true}}};
        config->userContentController()->addScriptMessageHandler(std::make_shared<DemoHandler>(&demoMessages), "iOS_Demo");
        config->userContentController()->addUserScript(
            WKUserScript(demo.source(), WKUserScriptInjectionTime::AtDocumentStart, true));
        ASSERT_TRUE(open("bridge", "window.KL_IOS && window.Demo_IOS"));
    }
    // Posts a marker on the probe and waits for it, so that every message
    // posted before it has been delivered.
    void settle() {
        size_t n = probe->messages.size();
        evaluate(*view, "window.webkit.messageHandlers.probe.postMessage('settled'); 1");
        ASSERT_TRUE(probe->waitForMessages(n + 1));
    }

    shelltest::LogCapture capture;
    std::vector<Value> demoMessages;
};

TEST_F(BridgePage, ConsoleFunctionsReachTheNativeLog) {
    EXPECT_TRUE(probe->sawConsole("log: Init Sys"));
    evaluate(*view, "KL_IOS.Log('only read'); KL_IOS.Error('x'); KL_IOS.Warn('w'); 1");
    ASSERT_TRUE(testsupport::waitFor([&] { return capture->flushed().size() >= 2; }));
    settle();
    auto lines = capture->flushed();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].message, "js_error: x");
    EXPECT_EQ(lines[0].flag, PluginLogFlagError);
    EXPECT_EQ(lines[1].message, "js_warn: w");
    EXPECT_EQ(lines[1].flag, PluginLogFlagWarning);
}

TEST_F(BridgePage, WrongTypesWarnOnThePageAndPostNothing) {
    evaluate(*view, "KL_IOS.Warn(42); Demo_IOS.Pay('x'); Demo_IOS.SetName({}); Demo_IOS.Select('1');"
                    "Demo_IOS.GetInitResult(5); Demo_IOS.GetKey('k', null); Demo_IOS.SetCallback(3); 1");
    settle();
    EXPECT_TRUE(capture->flushed().empty());
    EXPECT_TRUE(demoMessages.empty());
    for (const char* line : {"warn: KL_IOS.Warn param error", "warn: Demo_IOS.Pay param error",
                             "warn: Demo_IOS.SetName param error", "warn: Demo_IOS.Select param error",
                             "warn: Demo_IOS.GetInitResult param error", "warn: Demo_IOS.GetKey param error",
                             "warn: Demo_IOS.SetCallback param error"})
        EXPECT_TRUE(probe->sawConsole(line)) << line;

    // null is an object to the page: Pay(null) posts "null".
    evaluate(*view, "Demo_IOS.Pay(null); Demo_IOS.Pay({goods: 'g 1'}); Demo_IOS.Select(3); Demo_IOS.Login(); 1");
    settle();
    ASSERT_EQ(demoMessages.size(), 4u);
    EXPECT_EQ(demoMessages[0], Value::dict({{"name", "Pay"}, {"args", "null"}}));
    EXPECT_EQ(demoMessages[1], Value::dict({{"name", "Pay"}, {"args", R"({"goods":"g 1"})"}}));
    EXPECT_EQ(demoMessages[2], Value::dict({{"name", "Select"}, {"args", 3}}));
    EXPECT_EQ(demoMessages[3], Value::dict({{"name", "Login"}}));
}

TEST_F(BridgePage, SetCallbackAndCallFuncFollowTheTemplate) {
    evaluate(*view, R"JS(
        window.got = [];
        Demo_IOS.SetCallback({onLogin: function(v) { got.push(['login', v]); }, other: 1,
                              onPay: function(a, b) { got.push(['pay', a, b]); }});
        Demo_IOS.CallFunc('other', 1);
        Demo_IOS.CallFunc('onPay', [1, 'two']);
        Demo_IOS.CallFunc('onPay', {one: 1});
        Demo_IOS.CallFunc('onLogin');
        Demo_IOS.GetInitResult(function(v) { got.push(['init', v]); });
        1)JS");
    evaluate(*view, PageCallback::withInteger("Demo_IOS", PageCallback::queryKey("Demo", "GetInitResult"), -1));
    auto got = evaluate(*view, "got").value;
    EXPECT_EQ(got, Value::array({Value::array({"pay", 1, "two"}), Value::array({"pay", Value::dict({{"one", 1}}), nullptr}),
                                 Value::array({"login", nullptr}), Value::array({"init", -1})}));
    EXPECT_TRUE(probe->sawConsole("warn: Demo_IOS.CallFunc other not exist"));
    settle();
    ASSERT_EQ(demoMessages.size(), 1u);
    EXPECT_EQ(demoMessages[0], Value::dict({{"name", "GetInitResult"}}));
}

TEST_F(BridgePage, CallbacksReachWhateverCallFuncThePageHasInPlace) {
    evaluate(*view, R"JS(
        window.calls = [];
        Demo_IOS.CallFunc = function() { calls.push([this === Demo_IOS].concat(Array.prototype.slice.call(arguments))); };
        1)JS");
    for (auto& script : {PageCallback::nameOnly("Demo_IOS", "onA"), PageCallback::withInteger("Demo_IOS", "onB", -7),
                         PageCallback::withBool("Demo_IOS", "onC", false), PageCallback::withText("Demo_IOS", "onD", "t"),
                         PageCallback::withJSON("Demo_IOS", "onE", R"({"k":[1,"x"]})"),
                         PageCallback::withJSON("Demo_IOS", "onF", "{not json"), PageCallback::nameOnly("Demo_IOS", "onG")})
        evaluate(*view, script);
    EXPECT_EQ(evaluate(*view, "calls").value,
              Value::array({Value::array({true, "onA"}), Value::array({true, "onB", -7}), Value::array({true, "onC", false}),
                            Value::array({true, "onD", "t"}),
                            Value::array({true, "onE", Value::dict({{"k", Value::array({1, "x"})}})}),
                            Value::array({true, "onG"})}))
        << "a text that is not JSON throws in the page, as JSON.parse always did";
}

TEST_F(BridgePage, ALoneSurrogateFromThePageIsAnsweredAsUFFFD) {
    evaluate(*view, "window.answers = []; KL_IOS.SetClipboardText('a\\ud800b');"
                    "KL_IOS.GetClipboardText(function(t) { answers.push(t); });"
                    "KL_IOS.IsExistAtPath('\\udc00', function(e) { answers.push(e); }); 1");
    ASSERT_TRUE(waitForPage(*view, "answers.length == 2"));
    EXPECT_EQ(evaluate(*view, "answers").value, Value::array({"a\uFFFDb", false}));
}

TEST_F(BridgePage, CallbackValuesArriveIntact) {
    const std::string hostile = "nick with blanks \"quoted\" back\\slash </script><script>window.owned=1</script> \u2028\u2029 end";
    evaluate(*view, "window.texts = []; KL_IOS.SetCallback({onText: function(v) { texts.push(v); },"
                    " onObject: function(v) { texts.push(v); }}); 1");
    SysPlugin::CallJS(PageCallback::withText("KL_IOS", "onText", hostile));
    Value object = Value::dict({{"userNick", hostile}, {"result", 0}});
    SysPlugin::CallJS(PageCallback::withJSON("KL_IOS", "onObject", object.toJSON()));
    ASSERT_TRUE(waitForPage(*view, "texts.length == 2"));
    auto texts = evaluate(*view, "texts").value;
    EXPECT_EQ(texts[0], Value(hostile));
    EXPECT_EQ(texts[1], object);
    EXPECT_TRUE(evaluate(*view, "window.owned === undefined").value.boolValue());
}

}  // namespace
