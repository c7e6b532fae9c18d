#include "plugin/iOS/RAZ5Orered/RelaySDKPlugin.h"

#include "plugin/iOS/RAZ5Orered/HSSDKPlugin.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"
#include "plugin/iOS/RAZ5Orered/SNSDKPlugin.h"

namespace {

using Op = ScriptOperation;
using Param = ScriptOperation::Param;

PluginScript makeScript() {
    PluginScript s;
    s.object = RelaySDKPlugin::kObject;
    s.channel = RelaySDKPlugin::kChannel;
    s.prefix = RelaySDKPlugin::kPrefix;
    s.startText = "Init Relay";
    s.operations = {Op{"GetInitResult", Param::None, true},
                    Op{"ReInit"},
                    Op{"Login"},
                    Op{"SetGameRoleInfo", Param::Object},
                    Op{"Pay", Param::Object},
                    Op{"Logout"},
                    Op{"GetChannelType", Param::None, true}};
    return s;
}

PluginState& state() {
    static auto* s = new PluginState(makeScript(), [] { return std::make_shared<RelaySDKHandler>(); });
    return *s;
}

void answer(const char* operation, int value) {
    RelaySDKPlugin::CallJS(PageCallback::withInteger(RelaySDKPlugin::kObject,
                                                     PageCallback::queryKey(RelaySDKPlugin::kPrefix, operation), value));
}

void event(const char* name, const char* json) {
    RelaySDKPlugin::CallJS(PageCallback::withJSONText(RelaySDKPlugin::kObject, name, json));
}

}  // namespace

void RelaySDKHandler::userContentController_didReceiveScriptMessage(WKUserContentController&,
                                                                     const WKScriptMessage& message) {
    auto iface = RelaySDKPlugin::GetInterface();
    if (!iface) return;
    auto m = BridgeMessage::from(message.body);
    if (!m) return;
    const std::string& name = m->name;
    if (name == "GetInitResult") answer("GetInitResult", iface->GetInitResult());
    else if (name == "ReInit") iface->ReInit();
    else if (name == "Login") iface->Login();
    else if (name == "SetGameRoleInfo") iface->SetGameRoleInfo(m->text());
    else if (name == "Pay") iface->Pay(m->text());
    else if (name == "Logout") iface->Logout();
    else if (name == "GetChannelType") answer("GetChannelType", iface->GetChannelType());
}

void RelaySDKPlugin::SetInterface(const std::shared_ptr<PluginInterface>& interface) {
    state().setInterfaceOf<RelaySDKInterface>(interface);
}

std::shared_ptr<RelaySDKInterface> RelaySDKPlugin::GetInterface() { return state().interfaceAs<RelaySDKInterface>(); }

void RelaySDKPlugin::Load() {
    state().load({{RelaySDKInterface::kLoginEvent, OnRelaySDKLogin},
                         {RelaySDKInterface::kLogoutEvent, OnRelaySDKLogout},
                         {RelaySDKInterface::kPayEvent, OnRelaySDKPay}});
}

void RelaySDKPlugin::Unload() { state().unload(); }

void RelaySDKPlugin::SetWebView(const std::shared_ptr<WKWebView>& webView) { state().setWebView(webView); }

void RelaySDKPlugin::CallJS(const std::string& script) { state().callJS(script); }

const PluginScript& RelaySDKPlugin::script() { return state().script(); }

void RelaySDKPlugin::resetForTesting() {
    state().reset();
}

void OnRelaySDKLogin(const char* json) { event("onLogin", json); }
void OnRelaySDKLogout(const char* json) { event("onLogout", json); }
void OnRelaySDKPay(const char* json) { event("onPay", json); }

void registerSDKPlugins() {
    IOSPlugin::registerSDKPlugin({"RelaySDK", RelaySDKPlugin::Load, RelaySDKPlugin::Unload, RelaySDKPlugin::SetWebView,
                                  RelaySDKPlugin::SetInterface, RelaySDKPlugin::resetForTesting});
    IOSPlugin::registerSDKPlugin({"HSSDK", HSSDKPlugin::Load, HSSDKPlugin::Unload, HSSDKPlugin::SetWebView,
                                  HSSDKPlugin::SetInterface, HSSDKPlugin::resetForTesting});
    IOSPlugin::registerSDKPlugin({"SNSDK", SNSDKPlugin::Load, SNSDKPlugin::Unload, SNSDKPlugin::SetWebView,
                                  SNSDKPlugin::SetInterface, SNSDKPlugin::resetForTesting});
}
