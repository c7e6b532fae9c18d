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

class SysInterface : public PluginInterface {
public:
    void InitSDK() override {}
    void ReleaseSDK() override {}
    int RegCB(int, PluginEventCallback) override { return 0; }  // the system plug-in has no event codes
    int UnregCB(int) override { return 0; }

    void SetAppLaunchUrl(const std::optional<NSURL>& url) { launchUrl_ = url; }
    const std::optional<NSURL>& appLaunchUrl() const { return launchUrl_; }

private:
    std::optional<NSURL> launchUrl_;
};

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

    static const PluginScript& script();
    static constexpr const char* kObject = "KL_IOS";
    static constexpr const char* kChannel = "iOS_Sys";
};
