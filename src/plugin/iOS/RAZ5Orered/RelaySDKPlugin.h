#pragma once
// The aggregator plug-in: the page object RelaySDK_IOS on the channel
// "iOS_RelaySDK", served by RelaySDKHandler for the interface object
// RelaySDKInterface, and the page events "onLogin", "onLogout" and "onPay".

#include <memory>
#include <string>

#include "platform/web/WKWebView.h"
#include "plugin/iOS/RAZ5Orered/PluginProtocol.h"
#include "plugin/iOS/RAZ5Orered/RelaySDKInterface.h"

class RelaySDKHandler : public WKScriptMessageHandler {
public:
    // GetInitResult, ReInit, Login, SetGameRoleInfo, Pay, Logout and
    // GetChannelType; anything else, and everything without an interface,
    // is dropped.
    void userContentController_didReceiveScriptMessage(WKUserContentController& controller,
                                                       const WKScriptMessage& message) override;
};

class RelaySDKPlugin {
public:
    static constexpr const char* kObject = "RelaySDK_IOS";
    static constexpr const char* kChannel = "iOS_RelaySDK";
    static constexpr const char* kPrefix = "RelaySDK";

    // Keeps a RelaySDKInterface; anything else (or null) is ignored.
    static void SetInterface(const std::shared_ptr<PluginInterface>& interface);
    static std::shared_ptr<RelaySDKInterface> GetInterface();
    // With an interface: InitSDK and the callbacks of 1401, 1402, 1403.
    static void Load();
    static void Unload();  // ReleaseSDK
    // With an interface: the channel and the script on a new web view.
    static void SetWebView(const std::shared_ptr<WKWebView>& webView);
    static void CallJS(const std::string& script);
    static const PluginScript& script();
    // Forgets the interface and the web view (tests).
    static void resetForTesting();
};

// The event callbacks: the event evaluated in the page with its JSON
// value, or without a value for a null text.
void OnRelaySDKLogin(const char* json);
void OnRelaySDKLogout(const char* json);
void OnRelaySDKPay(const char* json);

// Registers the aggregator plug-in and the two dormant channel plug-ins
// with the bridge (again is harmless).
void registerSDKPlugins();
