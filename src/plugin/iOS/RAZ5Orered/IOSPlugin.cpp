#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"

#include <vector>

#include "logging/VLFileLogger.h"
#include "logging/VLOSLogger.h"
#include "plugin/iOS/RAZ5Orered/PluginLog.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"

namespace {

struct BridgeState {
    std::shared_ptr<WKWebView> webView;
    std::shared_ptr<IOSHandler> consoleHandler;
    IOSPlugin::SDKPluginType type = IOSPlugin::None;
    std::shared_ptr<UIViewController> rootController;
    std::vector<SDKPluginEntry> plugins;  // in load order
};

BridgeState& state() {
    static auto* s = new BridgeState();
    return *s;
}

int loadOrder(const std::string& name) {
    if (name == "RelaySDK") return 0;
    if (name == "HSSDK") return 1;
    if (name == "SNSDK") return 2;
    return 3;
}

const SDKPluginEntry* plugin(const std::string& name) {
    for (auto& p : state().plugins)
        if (p.name == name) return &p;
    return nullptr;
}

constexpr const char* kConsoleFile = "plugin/iOS/RAZ5Orered/RAZ5Orered/IOSPlugin";
constexpr const char* kConsoleFunction = "-[IOSHandler userContentController:didReceiveScriptMessage:]";

}  // namespace

void IOSHandler::userContentController_didReceiveScriptMessage(WKUserContentController&, const WKScriptMessage& message) {
    auto m = BridgeMessage::from(message.body);
    if (!m) return;
    // The page's functions only ever post text; anything else was posted
    // around them and is dropped.
    auto text = m->text();
    if (m->name == "console_log") {
        return;
    } else if (m->name == "console_warn") {
        if (text)
            pluginLog(true, PluginLogLevelWarning, PluginLogFlagWarning, kConsoleFile, kConsoleFunction, __LINE__,
                      "js_warn: %s", text->c_str());
    } else if (m->name == "console_error") {
        if (text)
            pluginLog(false, PluginLogLevelWarning, PluginLogFlagError, kConsoleFile, kConsoleFunction, __LINE__,
                      "js_error: %s", text->c_str());
    }
}

void IOSPlugin::registerSDKPlugin(SDKPluginEntry entry) {
    auto& plugins = state().plugins;
    std::erase_if(plugins, [&](auto& p) { return p.name == entry.name; });
    auto at = plugins.begin();
    while (at != plugins.end() && loadOrder(at->name) <= loadOrder(entry.name)) ++at;
    plugins.insert(at, std::move(entry));
}

void IOSPlugin::Load() {
    SysPlugin::Load();
    for (auto& p : state().plugins)
        if (p.load) p.load();
    InitLogger();
}

void IOSPlugin::Unload() {
    SysPlugin::Unload();
    for (auto& p : state().plugins)
        if (p.unload) p.unload();
    if (size_t refused = BridgeMessage::refusedCount())
        pluginLog(false, PluginLogLevelWarning, PluginLogFlagWarning, kConsoleFile, "+[IOSPlugin Unload]", __LINE__,
                  "%zu script messages from outside the game's top frame were dropped", refused);
}

void IOSPlugin::SetInterface(const std::shared_ptr<PluginInterface>& interface, const std::string& name) {
    if (!interface || name.empty()) return;
    SDKPluginType type;
    if (name == "HSSDK") type = HSSDK;
    else if (name == "RelaySDK") type = RelaySDK;
    else return;
    state().type = type;
    if (auto* p = plugin(name); p && p->setInterface) p->setInterface(interface);
}

void IOSPlugin::SetWebView(const std::shared_ptr<WKWebView>& webView) {
    auto& s = state();
    if (!webView || webView == s.webView) return;
    s.webView = webView;
    s.consoleHandler = std::make_shared<IOSHandler>();
    webView->configuration()->userContentController()->addScriptMessageHandler(s.consoleHandler, "iOS_Console");
    SysPlugin::SetWebView(webView);
    const char* sdk = s.type == HSSDK ? "HSSDK" : s.type == RelaySDK ? "RelaySDK" : nullptr;
    if (sdk)
        if (auto* p = plugin(sdk); p && p->setWebView) p->setWebView(webView);
    if (auto* p = plugin("SNSDK"); p && p->setWebView) p->setWebView(webView);
}

std::shared_ptr<WKWebView> IOSPlugin::GetWebView() { return state().webView; }

void IOSPlugin::CallJS(const std::string& script) {
    if (state().webView && !script.empty()) state().webView->evaluateJavaScript(script);
}

void IOSPlugin::SetRootController(const std::shared_ptr<UIViewController>& controller) {
    state().rootController = controller;
}

std::shared_ptr<UIViewController> IOSPlugin::GetRootController() { return state().rootController; }

void IOSPlugin::InitLogger() {
    // Once per process: a second Load must not add the loggers again.
    static bool done = false;
    if (done) return;
    done = true;
    auto fileLogger = std::make_shared<VLFileLogger>();
    fileLogger->setRollingFrequency(3600);
    fileLogger->logFileManager()->setMaximumNumberOfLogFiles(48);
    VLLog::addLogger(fileLogger);
    VLLog::addLogger(VLOSLogger::sharedInstance());
}

IOSPlugin::SDKPluginType IOSPlugin::sdkPluginType() { return state().type; }

void IOSPlugin::resetForTesting() {
    auto& s = state();
    s.webView.reset();
    s.consoleHandler.reset();
    s.type = None;
    s.rootController.reset();
    SysPlugin::Unload();
    for (auto& p : s.plugins)
        if (p.resetForTesting) p.resetForTesting();
}
