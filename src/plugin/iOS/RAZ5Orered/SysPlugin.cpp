#include "plugin/iOS/RAZ5Orered/SysPlugin.h"

#include <map>

namespace {

using Op = ScriptOperation;
using Param = ScriptOperation::Param;

PluginScript makeScript() {
    PluginScript s;
    s.object = SysPlugin::kObject;
    s.channel = SysPlugin::kChannel;
    s.prefix = "Sys";
    s.startText = "Init Sys";
    s.operations = {
        Op{"Reload"},
        Op{"Log", Param::Text, false, "iOS_Console", "console_log"},
        Op{"Warn", Param::Text, false, "iOS_Console", "console_warn"},
        Op{"Error", Param::Text, false, "iOS_Console", "console_error"},
    };
    return s;
}

struct SysState {
    PluginState plugin{makeScript(), [] { return std::make_shared<SysHandler>(); }};
    std::shared_ptr<SysInterface> interface;
    std::function<void()> reload;
    std::optional<NSURL> launchUrl;
};

SysState& state() {
    static auto* s = new SysState();
    return *s;
}

// The operations of the channel: name → what the handler does with the message.
using Operation = void (*)(const BridgeMessage&);
const std::map<std::string, Operation, std::less<>>& operations() {
    static const std::map<std::string, Operation, std::less<>> table = {
        {"Reload", [](const BridgeMessage&) { SysPlugin::RunReload(); }},
    };
    return table;
}

}  // namespace

void SysHandler::userContentController_didReceiveScriptMessage(WKUserContentController&, const WKScriptMessage& message) {
    if (!SysPlugin::GetInterface()) return;
    auto m = BridgeMessage::from(message.body);
    if (!m) return;
    auto it = operations().find(m->name);
    if (it != operations().end()) it->second(*m);
}

void SysPlugin::Load() {
    auto& s = state();
    if (s.interface) return;
    s.interface = std::make_shared<SysInterface>();
    s.plugin.setInterface(s.interface);
    s.interface->InitSDK();
}

void SysPlugin::Unload() {
    auto& s = state();
    if (!s.interface) return;
    s.interface->ReleaseSDK();
    s.interface.reset();
    s.plugin.reset();
    s.reload = nullptr;
}

void SysPlugin::SetWebView(const std::shared_ptr<WKWebView>& webView) { state().plugin.setWebView(webView, false); }

std::shared_ptr<SysInterface> SysPlugin::GetInterface() { return state().interface; }

void SysPlugin::CallJS(const std::string& script) { state().plugin.callJS(script); }

void SysPlugin::SetLaunchUrl(const NSURL& url) { state().launchUrl = url; }
std::optional<NSURL> SysPlugin::GetLaunchUrl() { return state().launchUrl; }

void SysPlugin::SetReloadFunc(std::function<void()> reload) { state().reload = std::move(reload); }

void SysPlugin::RunReload() {
    if (auto reload = state().reload) reload();
}

void SysPlugin::OnEnterBackground() { CallJS(PageCallback::nameOnly(kObject, "onEnterBackground")); }
void SysPlugin::OnEnterForeground() { CallJS(PageCallback::nameOnly(kObject, "onEnterForeground")); }
void SysPlugin::OnTerminate() { CallJS(PageCallback::nameOnly(kObject, "onTerminate")); }
void SysPlugin::OnMemoryWarning() { CallJS(PageCallback::nameOnly(kObject, "onMemoryWarning")); }

const PluginScript& SysPlugin::script() { return state().plugin.script(); }
