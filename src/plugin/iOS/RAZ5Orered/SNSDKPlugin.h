#pragma once
// The social-SDK plug-in: page object KXWeb.iOS.SNSDK on the channel
// "iOS_SNSDK", for login, payment and sharing through a social application.
// It stays inert until an interface object is set with
// SNSDKPlugin::SetInterface; none is in this system. The bridge hands it
// every new web view; without an interface it adds nothing.

#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/web/WKWebView.h"
#include "plugin/iOS/RAZ5Orered/PluginProtocol.h"

// What a social SDK's interface object offers the page.
class SNSDKInterface : public PluginInterface {
public:
    static constexpr int kReqEvent = 211;
    static constexpr int kLoginEvent = 212;
    static constexpr int kPayEvent = 213;
    static constexpr int kShareEvent = 214;
    static constexpr int kRegisterEvent = 215;  // its callback takes an integer

    using RegisterCallback = std::function<void(int result)>;
    // 1 when the code is kRegisterEvent, else 0.
    virtual int RegIntCB(int eventCode, RegisterCallback callback) = 0;

    virtual void RegisterSN(const std::string& text) = 0;
    virtual bool IsRegistered() = 0;
    virtual bool IsSNAppInstalled() = 0;
    virtual void Login(const std::string& json) = 0;
    virtual void Pay(const std::string& json) = 0;
    virtual void SendText(const std::string& json) = 0;
    virtual void SendImage(const std::string& json) = 0;
    virtual void SendWebpage(const std::string& json) = 0;
    // What the social application hands back to the host application.
    virtual void OnLogin(const Value& result) = 0;
    virtual void OnPay(const Value& result) = 0;
    virtual void OnShare(const Value& result) = 0;
};

class SNSDKHandler : public WKScriptMessageHandler {
public:
    void userContentController_didReceiveScriptMessage(WKUserContentController& controller,
                                                       const WKScriptMessage& message) override;
};

class SNSDKPlugin {
public:
    static constexpr const char* kObject = "KXWeb.iOS.SNSDK";
    static constexpr const char* kChannel = "iOS_SNSDK";
    static constexpr const char* kPrefix = "SNSDK";

    // Keeps an SNSDKInterface; anything else (or null) is ignored.
    static void SetInterface(const std::shared_ptr<PluginInterface>& interface);
    static std::shared_ptr<SNSDKInterface> GetInterface();
    // With an interface: InitSDK, then the callbacks of 215, 211, 212, 213, 214.
    static void Load();
    static void Unload();
    static void SetWebView(const std::shared_ptr<WKWebView>& webView);
    static void CallJS(const std::string& script);
    static const PluginScript& script();
    static void resetForTesting();

    // Results handed back to the host application, passed to the interface.
    static void OnLogin(const Value& result);
    static void OnPay(const Value& result);
    static void OnShare(const Value& result);
};

void OnSNSDKRegister(int result);
void OnSNSDKReq(const char* json);
void OnSNSDKLogin(const char* json);
void OnSNSDKPay(const char* json);
void OnSNSDKShare(const char* json);
