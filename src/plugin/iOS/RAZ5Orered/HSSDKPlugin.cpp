#include "plugin/iOS/RAZ5Orered/HSSDKPlugin.h"


namespace {

using Op = ScriptOperation;
using Param = ScriptOperation::Param;

PluginScript makeScript() {
    PluginScript s;
    s.object = HSSDKPlugin::kObject;
    s.channel = HSSDKPlugin::kChannel;
    s.prefix = HSSDKPlugin::kPrefix;
    s.startText = "Init HSSDK";
    s.operations = {Op{"GetInitResult", Param::None, true}, Op{"Login"}, Op{"Logout"}, Op{"Pay", Param::Object},
                    Op{"LogRole", Param::Object}, Op{"GetGameId", Param::None, true},
                    Op{"IsSendAppStore", Param::None, true}};
    return s;
}

PluginState& state() {
    static auto* s = new PluginState(makeScript(), [] { return std::make_shared<HSSDKHandler>(); });
    return *s;
}

std::string key(const char* operation) { return PageCallback::queryKey(HSSDKPlugin::kPrefix, operation); }

void event(const char* name, const char* json) {
    HSSDKPlugin::CallJS(PageCallback::withJSONText(HSSDKPlugin::kObject, name, json));
}

}  // namespace

void HSSDKHandler::userContentController_didReceiveScriptMessage(WKUserContentController&,
                                                                  const WKScriptMessage& message) {
    auto iface = HSSDKPlugin::GetInterface();
    if (!iface) return;
    auto m = BridgeMessage::from(message.body);
    if (!m) return;
    const std::string& name = m->name;
    const char* object = HSSDKPlugin::kObject;
    if (name == "GetInitResult") {
        HSSDKPlugin::CallJS(PageCallback::withInteger(object, key("GetInitResult"), iface->GetInitResult()));
    } else if (name == "Login") {
        iface->Login();
    } else if (name == "Logout") {
        iface->Logout();
    } else if (name == "Pay") {
        if (auto t = m->text()) iface->Pay(*t);
    } else if (name == "LogRole") {
        if (auto t = m->text()) iface->LogRole(*t);
    } else if (name == "GetGameId") {
        // A string literal like every other value: a game id can never run as script.
        HSSDKPlugin::CallJS(PageCallback::withText(object, key("GetGameId"), iface->GetGameId()));
    } else if (name == "IsSendAppStore") {
        HSSDKPlugin::CallJS(PageCallback::withBool(object, key("IsSendAppStore"), iface->IsSendAppStore()));
    }
}

void HSSDKPlugin::SetInterface(const std::shared_ptr<PluginInterface>& interface) {
    state().setInterfaceOf<HSSDKInterface>(interface);
}

std::shared_ptr<HSSDKInterface> HSSDKPlugin::GetInterface() { return state().interfaceAs<HSSDKInterface>(); }

void HSSDKPlugin::Load() {
    state().load({{HSSDKInterface::kLoginEvent, OnHSSDKLogin},
                         {HSSDKInterface::kLogoutEvent, OnHSSDKLogout},
                         {HSSDKInterface::kPayEvent, OnHSSDKPay}});
}

void HSSDKPlugin::Unload() { state().unload(); }

void HSSDKPlugin::SetWebView(const std::shared_ptr<WKWebView>& webView) { state().setWebView(webView, false); }

void HSSDKPlugin::CallJS(const std::string& script) { state().callJS(script); }

const PluginScript& HSSDKPlugin::script() { return state().script(); }

void HSSDKPlugin::resetForTesting() {
    state().reset();
}

void OnHSSDKLogin(const char* json) { event("onLogin", json); }
void OnHSSDKLogout(const char* json) { event("onLogout", json); }
void OnHSSDKPay(const char* json) { event("onPay", json); }
