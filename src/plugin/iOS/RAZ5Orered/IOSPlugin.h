#pragma once
// The script bridge: which SDK plug-in is installed and its interface
// object, loading and unloading the plug-ins, attaching their channels and
// scripts to the web view, the console channel and the logger set-up.
// Process-wide state, written during start-up, used on the main thread.

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/UIViewController.h"
#include "platform/web/WKWebView.h"
#include "plugin/iOS/RAZ5Orered/PluginProtocol.h"

// The console channel "iOS_Console": the page's KL_IOS.Log, Warn and Error.
class IOSHandler : public WKScriptMessageHandler {
public:
    void userContentController_didReceiveScriptMessage(WKUserContentController& controller,
                                                       const WKScriptMessage& message) override;
};

// An SDK plug-in the bridge drives, registered by registerSDKPlugins()
// (the plug-ins' library lies above the bridge's); the bridge calls them in
// a fixed order whatever the order they were registered in.
struct SDKPluginEntry {
    std::string name;  // "RelaySDK", "HSSDK", "SNSDK"
    std::function<void()> load;
    std::function<void()> unload;
    std::function<void(const std::shared_ptr<WKWebView>&)> setWebView;
    std::function<void(const std::shared_ptr<PluginInterface>&)> setInterface;
    std::function<void()> resetForTesting;  // forgets the interface and the web view
};

class IOSPlugin {
public:
    enum SDKPluginType { None = 0, HSSDK = 1, RelaySDK = 2 };

    // SysPlugin, RelaySDKPlugin, HSSDKPlugin and SNSDKPlugin, in this
    // order, then InitLogger.
    static void Load();
    static void Unload();
    // "HSSDK" or "RelaySDK": records the installed SDK plug-in and hands it
    // the interface. Null arguments and other names change nothing.
    static void SetInterface(const std::shared_ptr<PluginInterface>& interface, const std::string& name);
    // Attaches the console channel and the plug-ins to a new web view; the
    // one already held changes nothing.
    static void SetWebView(const std::shared_ptr<WKWebView>& webView);
    static std::shared_ptr<WKWebView> GetWebView();
    static void CallJS(const std::string& script);
    static void SetRootController(const std::shared_ptr<UIViewController>& controller);
    static std::shared_ptr<UIViewController> GetRootController();
    static void InitLogger();

    static SDKPluginType sdkPluginType();

    static void registerSDKPlugin(SDKPluginEntry entry);
    // The bridge as before start-up (tests): forgets the web view, the root
    // controller and the installed type, unloads the system plug-in and
    // resets every registered SDK plug-in.
    static void resetForTesting();
};
