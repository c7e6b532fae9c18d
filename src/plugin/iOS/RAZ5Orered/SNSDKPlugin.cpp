#include "plugin/iOS/RAZ5Orered/SNSDKPlugin.h"


namespace {

using Op = ScriptOperation;
using Param = ScriptOperation::Param;

PluginScript makeScript() {
    PluginScript s;
    s.object = SNSDKPlugin::kObject;
    s.channel = SNSDKPlugin::kChannel;
    s.prefix = SNSDKPlugin::kPrefix;
    s.startText = "Init SN";
    s.memberOfPageObject = true;
    s.operations = {Op{"RegisterSN", Param::Text},        Op{"IsRegistered", Param::None, true},
                    Op{"IsSNAppInstalled", Param::None, true}, Op{"Login", Param::Object},
                    Op{"Pay", Param::Object},             Op{"SendText", Param::Object},
                    Op{"SendImage", Param::Object},       Op{"SendWebpage", Param::Object}};
    return s;
}

PluginState& state() {
    static auto* s = new PluginState(makeScript(), [] { return std::make_shared<SNSDKHandler>(); });
    return *s;
}

void answer(const char* operation, bool value) {
    SNSDKPlugin::CallJS(
        PageCallback::withBool(SNSDKPlugin::kObject, PageCallback::queryKey(SNSDKPlugin::kPrefix, operation), value));
}

void event(const char* name, const char* json) {
    SNSDKPlugin::CallJS(PageCallback::withJSONText(SNSDKPlugin::kObject, name, json));
}

}  // namespace

void SNSDKHandler::userContentController_didReceiveScriptMessage(WKUserContentController&,
                                                                  const WKScriptMessage& message) {
    auto iface = SNSDKPlugin::GetInterface();
    if (!iface) return;
    auto m = BridgeMessage::from(message.body);
    if (!m) return;
    const std::string& name = m->name;
    // The operations that take their argument on, in the order they are tested.
    using Method = void (SNSDKInterface::*)(const std::string&);
    static const std::pair<const char*, Method> withArgument[] = {
        {"Login", &SNSDKInterface::Login},
        {"Pay", &SNSDKInterface::Pay},
        {"SendText", &SNSDKInterface::SendText},
        {"SendImage", &SNSDKInterface::SendImage},
        {"SendWebpage", &SNSDKInterface::SendWebpage},
    };
    if (name == "RegisterSN") {
        if (auto t = m->text()) iface->RegisterSN(*t);
    } else if (name == "IsRegistered") {
        answer("IsRegistered", iface->IsRegistered());
    } else if (name == "IsSNAppInstalled") {
        answer("IsSNAppInstalled", iface->IsSNAppInstalled());
    } else {
        for (auto& [op, method] : withArgument)
            if (name == op) {
                if (auto t = m->text()) (iface.get()->*method)(*t);
                return;
            }
    }
}

void SNSDKPlugin::SetInterface(const std::shared_ptr<PluginInterface>& interface) {
    state().setInterfaceOf<SNSDKInterface>(interface);
}

std::shared_ptr<SNSDKInterface> SNSDKPlugin::GetInterface() { return state().interfaceAs<SNSDKInterface>(); }

void SNSDKPlugin::Load() {
    auto iface = GetInterface();
    if (!iface) return;
    iface->InitSDK();
    iface->RegIntCB(SNSDKInterface::kRegisterEvent, OnSNSDKRegister);
    iface->RegCB(SNSDKInterface::kReqEvent, OnSNSDKReq);
    iface->RegCB(SNSDKInterface::kLoginEvent, OnSNSDKLogin);
    iface->RegCB(SNSDKInterface::kPayEvent, OnSNSDKPay);
    iface->RegCB(SNSDKInterface::kShareEvent, OnSNSDKShare);
}

void SNSDKPlugin::Unload() { state().unload(); }

void SNSDKPlugin::SetWebView(const std::shared_ptr<WKWebView>& webView) { state().setWebView(webView); }

void SNSDKPlugin::CallJS(const std::string& script) { state().callJS(script); }

const PluginScript& SNSDKPlugin::script() { return state().script(); }

void SNSDKPlugin::resetForTesting() {
    state().reset();
}

void SNSDKPlugin::OnLogin(const Value& result) {
    if (auto i = GetInterface()) i->OnLogin(result);
}

void SNSDKPlugin::OnPay(const Value& result) {
    if (auto i = GetInterface()) i->OnPay(result);
}

void SNSDKPlugin::OnShare(const Value& result) {
    if (auto i = GetInterface()) i->OnShare(result);
}

void OnSNSDKRegister(int result) {
    SNSDKPlugin::CallJS(PageCallback::withInteger(SNSDKPlugin::kObject, "onRegister", result));
}
void OnSNSDKReq(const char* json) { event("onSNReq", json); }
void OnSNSDKLogin(const char* json) { event("onLogin", json); }
void OnSNSDKPay(const char* json) { event("onPay", json); }
void OnSNSDKShare(const char* json) { event("onShare", json); }
