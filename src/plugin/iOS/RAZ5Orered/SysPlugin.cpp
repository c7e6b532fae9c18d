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
        Op{"CreateQRCode", Param::Text},
        Op{"ScanQRCode"},
        Op{"InitKeychain", Param::Text},
        Op{"SetKeychain", Param::Object},
        Op{"GetKeychain", Param::Text, true},
        Op{"DelKeychain", Param::Text},
        Op{"ResetKeychain"},
        Op{"CreateAlert", Param::Object},
        Op{"AddAlertButton", Param::Text},
        Op{"ShowAlert"},
        Op{"SelectImage", Param::Number},
        Op{"SaveImageToPhotoAlbum", Param::Text},
        Op{"SaveThumbnail", Param::Object},
        Op{"CropImage", Param::Object},
        Op{"Photograph", Param::Object},
        Op{"GetAdId", Param::None, true},
        Op{"GetIDFV", Param::None, true},
        Op{"CheckPermission", Param::Text, true},
        Op{"GetDeviceInfo", Param::None, true},
        Op{"GetDeviceState", Param::None, true},
        Op{"GetNetworkInfo", Param::None, true},
        Op{"SetClipboardText", Param::Text},
        Op{"GetClipboardText", Param::None, true},
        Op{"OpenUrl", Param::Text},
        Op{"GetAppLaunchInfo", Param::None, true},
        Op{"Vibrate"},
        Op{"GetMetaData", Param::Text, true},
        Op{"AddSearchItems", Param::Object},
        Op{"ClearSearchItems"},
        Op{"GetDocumentPath", Param::None, true},
        Op{"CreateDir", Param::Text, true},
        Op{"MoveFile", Param::Object, true},
        Op{"CopyFile", Param::Object, true},
        Op{"GetFilesAtPath", Param::Text, true},
        Op{"GetDirsAtPath", Param::Text, true},
        Op{"IsExistAtPath", Param::Text, true},
        Op{"IsDirAtPath", Param::Text, true},
        Op{"DeleteAtPath", Param::Text, true},
    };
    return s;
}

struct SysState {
    PluginState plugin{makeScript(), [] { return std::make_shared<SysHandler>(); }};
    std::function<void()> reload;
    std::optional<NSURL> launchUrl;
};

SysState& state() {
    static auto* s = new SysState();
    return *s;
}

// Answers to value queries, under the query key of the operation that asked.
std::string key(const BridgeMessage& m) { return PageCallback::queryKey("Sys", m.name); }
void answerText(const BridgeMessage& m, const std::optional<std::string>& text) {
    SysPlugin::CallJS(PageCallback::withText(SysPlugin::kObject, key(m), text));
}
void answerJSON(const BridgeMessage& m, const std::optional<std::string>& json) {
    SysPlugin::CallJS(PageCallback::withJSON(SysPlugin::kObject, key(m), json));
}
void answerBool(const BridgeMessage& m, bool value) {
    SysPlugin::CallJS(PageCallback::withBool(SysPlugin::kObject, key(m), value));
}

// The operations of the channel: name → what the handler does with the
// message and the interface.
using Operation = void (*)(const BridgeMessage&, SysInterface&);
const std::map<std::string, Operation, std::less<>>& operations() {
    using M = const BridgeMessage&;
    using I = SysInterface&;
    static const std::map<std::string, Operation, std::less<>> table = {
        {"Reload", [](M, I) { SysPlugin::RunReload(); }},
        {"CreateQRCode", [](M m, I i) { i.CreateQRCode(m.text()); }},
        {"ScanQRCode", [](M, I i) { i.ScanQRCode(); }},
        {"InitKeychain", [](M m, I i) { i.InitKeychain(m.text()); }},
        {"SetKeychain", [](M m, I i) { i.SetKeychain(m.text()); }},
        {"GetKeychain", [](M m, I i) { answerText(m, i.GetKeychain(m.text())); }},
        {"DelKeychain", [](M m, I i) { i.DelKeychain(m.text()); }},
        {"ResetKeychain", [](M, I i) { i.ResetKeychain(); }},
        {"CreateAlert", [](M m, I i) { i.CreateAlert(m.text()); }},
        {"AddAlertButton", [](M m, I i) { i.AddAlertButton(m.text()); }},
        {"ShowAlert", [](M, I i) { i.ShowAlert(); }},
        {"SelectImage", [](M m, I i) { i.SelectImage(long(m.args.intValue())); }},
        {"SaveImageToPhotoAlbum", [](M m, I i) { i.SaveImageToPhotoAlbum(m.text()); }},
        {"SaveThumbnail", [](M m, I i) { i.SaveThumbnail(m.text()); }},
        {"CropImage", [](M m, I i) { i.CropImage(m.text()); }},
        {"Photograph", [](M m, I i) { i.Photograph(m.text()); }},
        {"GetAdId", [](M m, I i) { answerText(m, i.GetAdId()); }},
        {"GetIDFV", [](M m, I i) { answerText(m, i.GetIDFV()); }},
        {"CheckPermission", [](M m, I i) { answerBool(m, i.CheckPermission(m.text())); }},
        {"GetDeviceInfo", [](M m, I i) { answerJSON(m, i.GetDeviceInfo()); }},
        {"GetDeviceState", [](M m, I i) { answerJSON(m, i.GetDeviceState()); }},
        {"GetNetworkInfo", [](M m, I i) { answerJSON(m, i.GetNetworkInfo()); }},
        {"SetClipboardText", [](M m, I i) { i.SetClipboardText(m.text()); }},
        {"GetClipboardText", [](M m, I i) { answerText(m, i.GetClipboardText()); }},
        {"OpenUrl", [](M m, I i) { i.OpenUrl(m.text()); }},
        {"GetAppLaunchInfo",
         [](M m, I i) {
             i.SetAppLaunchUrl(SysPlugin::GetLaunchUrl());
             answerJSON(m, i.GetAppLaunchInfo());
         }},
        {"Vibrate", [](M, I i) { i.Vibrate(); }},
        {"GetMetaData", [](M m, I i) { answerText(m, i.GetMetaData(m.text())); }},
        {"AddSearchItems", [](M m, I i) { i.AddSearchItems(m.text()); }},
        {"ClearSearchItems", [](M, I i) { i.ClearSearchItems(); }},
        {"GetDocumentPath", [](M m, I i) { answerText(m, i.GetDocumentPath()); }},
        {"CreateDir", [](M m, I i) { answerBool(m, i.CreateDir(m.text())); }},
        {"MoveFile", [](M m, I i) { answerBool(m, i.MoveFile(m.text())); }},
        {"CopyFile", [](M m, I i) { answerBool(m, i.CopyFile(m.text())); }},
        {"GetFilesAtPath", [](M m, I i) { answerJSON(m, i.GetFilesAtPath(m.text())); }},
        {"GetDirsAtPath", [](M m, I i) { answerJSON(m, i.GetDirsAtPath(m.text())); }},
        {"IsExistAtPath", [](M m, I i) { answerBool(m, i.IsExistAtPath(m.text())); }},
        {"IsDirAtPath", [](M m, I i) { answerBool(m, i.IsDirAtPath(m.text())); }},
        {"DeleteAtPath", [](M m, I i) { answerBool(m, i.DeleteAtPath(m.text())); }},
    };
    return table;
}

}  // namespace

void SysHandler::userContentController_didReceiveScriptMessage(WKUserContentController&, const WKScriptMessage& message) {
    auto interface = SysPlugin::GetInterface();
    if (!interface) return;
    auto m = BridgeMessage::from(message.body);
    if (!m) return;
    auto it = operations().find(m->name);
    if (it != operations().end()) it->second(*m, *interface);
}

void SysPlugin::Load() {
    auto& plugin = state().plugin;
    if (plugin.interface()) return;
    plugin.setInterface(std::make_shared<SysInterface>());
    plugin.load({});  // no event codes
}

void SysPlugin::Unload() {
    auto& s = state();
    if (!s.plugin.interface()) return;
    s.plugin.unload();
    s.plugin.reset();
    s.reload = nullptr;
}

void SysPlugin::SetWebView(const std::shared_ptr<WKWebView>& webView) { state().plugin.setWebView(webView, false); }

std::shared_ptr<SysInterface> SysPlugin::GetInterface() { return state().plugin.interfaceAs<SysInterface>(); }

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

void SysPlugin::OnSelectImage(const std::optional<std::string>& json) {
    CallJS(PageCallback::withJSON(kObject, "onSelectImage", json));
}
void SysPlugin::OnScanQRCode(const std::optional<std::string>& text) {
    CallJS(PageCallback::withText(kObject, "onScanQRCode", text));
}
void SysPlugin::OnAlertViewClick(int index) { CallJS(PageCallback::withInteger(kObject, "onAlertViewClick", index)); }
void SysPlugin::OnCropImage(const std::optional<std::string>& json) {
    CallJS(PageCallback::withText(kObject, "onCropImage", json));
}
void SysPlugin::OnPhotograph(const std::optional<std::string>& json) {
    CallJS(PageCallback::withText(kObject, "onPhotograph", json));
}
void SysPlugin::OnOpenUrl(const std::optional<std::string>& json) {
    CallJS(PageCallback::withJSON(kObject, "onOpenUrl", json));
}
void SysPlugin::OnCheckPermission(const std::optional<std::string>& json) {
    CallJS(PageCallback::withJSON(kObject, "onCheckPermission", json));
}

const PluginScript& SysPlugin::script() { return state().plugin.script(); }
