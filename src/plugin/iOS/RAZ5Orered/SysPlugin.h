#pragma once
// The system plug-in: the page object KL_IOS on the channel "iOS_Sys", its
// interface object SysInterface, and the page's life-cycle events.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/NSURL.h"
#include "platform/web/WKWebView.h"
#include "plugin/iOS/RAZ5Orered/PluginProtocol.h"
#include "plugin/iOS/RAZ5Orered/SysInterface.h"

class SysHandler : public WKScriptMessageHandler {
public:
    void userContentController_didReceiveScriptMessage(WKUserContentController& controller,
                                                       const WKScriptMessage& message) override;
};

class SysPlugin {
public:
    static void Load();    // makes the interface once
    static void Unload();  // ReleaseSDK; drops interface, web view, handler and reload block
    static void SetWebView(const std::shared_ptr<WKWebView>& webView);
    static std::shared_ptr<SysInterface> GetInterface();
    static void CallJS(const std::string& script);

    static void SetLaunchUrl(const NSURL& url);
    static std::optional<NSURL> GetLaunchUrl();
    static void SetReloadFunc(std::function<void()> reload);
    static void RunReload();  // the page's Reload

    static void OnEnterBackground();
    static void OnEnterForeground();
    static void OnTerminate();
    static void OnMemoryWarning();
    // Events with a value; no value gives the call with the name only.
    static void OnSelectImage(const std::optional<std::string>& json);  // JSON.parse of the array
    static void OnScanQRCode(const std::optional<std::string>& text);
    static void OnAlertViewClick(int index);
    static void OnCropImage(const std::optional<std::string>& json);   // the JSON text as a string
    static void OnPhotograph(const std::optional<std::string>& json);  // the JSON text as a string
    static void OnOpenUrl(const std::optional<std::string>& json);
    static void OnCheckPermission(const std::optional<std::string>& json);

    static const PluginScript& script();
    static constexpr const char* kObject = "KL_IOS";
    static constexpr const char* kChannel = "iOS_Sys";
};
