#pragma once
// The second channel-SDK plug-in: page object HSSDK_IOS on the channel
// "iOS_HSSDK". It stays inert until an interface object is registered with
// the bridge under "HSSDK" (which then attaches it instead of the
// aggregator plug-in); none is in this system.

#include <memory>
#include <optional>
#include <string>

#include "platform/web/WKWebView.h"
#include "plugin/iOS/RAZ5Orered/PluginProtocol.h"

// What a channel SDK's interface object offers the page.
class HSSDKInterface : public PluginInterface {
public:
    static constexpr int kLoginEvent = 2901;
    static constexpr int kLogoutEvent = 2902;
    static constexpr int kPayEvent = 2903;

    virtual int GetInitResult() = 0;
    virtual void Login() = 0;
    virtual void Logout() = 0;
    virtual void Pay(const std::string& json) = 0;
    virtual void LogRole(const std::string& json) = 0;
    virtual std::optional<std::string> GetGameId() = 0;
    virtual bool IsSendAppStore() = 0;
};

class HSSDKHandler : public WKScriptMessageHandler {
public:
    void userContentController_didReceiveScriptMessage(WKUserContentController& controller,
                                                       const WKScriptMessage& message) override;
};

class HSSDKPlugin {
public:
    static constexpr const char* kObject = "HSSDK_IOS";
    static constexpr const char* kChannel = "iOS_HSSDK";
    static constexpr const char* kPrefix = "HSSDK";

    // Keeps an HSSDKInterface; anything else (or null) is ignored.
    static void SetInterface(const std::shared_ptr<PluginInterface>& interface);
    static std::shared_ptr<HSSDKInterface> GetInterface();
    static void Load();
    static void Unload();
    // The bridge calls it only once an "HSSDK" interface is registered, so
    // it does not test for one itself.
    static void SetWebView(const std::shared_ptr<WKWebView>& webView);
    static void CallJS(const std::string& script);
    static const PluginScript& script();
    static void resetForTesting();
};

void OnHSSDKLogin(const char* json);
void OnHSSDKLogout(const char* json);
void OnHSSDKPay(const char* json);
