#pragma once
// The application's only view controller: the full-screen web view that
// runs the game's page, the start page, the "local" scheme that serves the
// bundle's Data folder, the page's script dialogs and the retry of a start
// page that could not be reached.
//
// Only the game's own pages reach native code: the bridge's scripts and
// channels are kept to the game's origin (the page server's, or the local
// page's base address, its host included), and the top frame never leaves
// the game's pages for another origin, a blank page or a new window
// (TopFrameGuard): a web address goes to the desktop's browser when a press
// of the player asked for it, one per press, anything else nowhere. Should the top frame show a
// page that is not the game's all the same, the start page is loaded again.
//
// A content process that ends is logged with its reason; the page is not
// loaded again, and a message over every window tells the player that the
// game stopped, with a button that ends it.

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Classes/ViewController/TopFrameGuard.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIWindow.h"
#include "platform/web/WKWebView.h"
#include "platform/web/WebOrigin.h"

class LocalMediaServer;

class MainViewController : public UIViewController,
                           public WKUIDelegate,
                           public WKNavigationDelegate,
                           public WKURLSchemeHandler {
public:
    // The page server's path of the start page; the server itself is the
    // Info.plist key "KL_PAGE_SERVER" (scheme and host, such as
    // "https://game.example.com"). Without it the local page is loaded.
    static constexpr const char* kStartPagePath = "/orba7/index/native_ios/release/index.html";
    static constexpr const char* kFileQueueLabel = "korvel_h5_file_queue";
    // Answers are handed to the page in pieces of this size.
    static constexpr size_t kReadPiece = 256 << 10;

    void loadView() override;
    void viewDidLoad() override;
    UIStatusBarStyle preferredStatusBarStyle() const override { return UIStatusBarStyle::LightContent; }

    void InitWebView();
    void Load();
    void LoadLocalSettings();

    std::optional<NSURL> GetUrl() const;
    std::optional<NSURL> GetBaseUrl() const;
    // The origin of the game's pages: the start page's, else the base
    // address's, else the blank page a text without a base address shows.
    WebOrigin gameOrigin() const;
    static std::string GetCurrentTimestamp();
    std::string GetAssetPath(const std::string& path) const;
    std::string GetAssetMIME(const std::string& path) const;
    std::string GetAssetEncoding(const std::string& path) const;
    static std::string GetMD5(const std::string& text);

    // The audit request: a POST of the form body to the audit server (the
    // Info.plist key "KL_AUDIT_SERVER", scheme and host) with a 5-second
    // time-out; its reply's "content" is kept in url(), then the start page
    // is loaded again. Nothing in the system starts it.
    static constexpr const char* kAuditPath = "/api2/game_audit/geturl";
    void RequestURL();
    std::string auditRequestBody(const std::string& time) const;
    std::optional<std::string> evaluateAuditReply(const std::optional<std::string>& body, const Error* error);

    const std::shared_ptr<UIView>& holderView() const { return holderView_; }
    const std::shared_ptr<WKWebView>& webView() const { return webView_; }
    const std::shared_ptr<DispatchQueue>& queue() const { return queue_; }
    const std::string& basePath() const { return basePath_; }
    const Value& fileDict() const { return fileDict_; }
    const std::string& url() const { return url_; }

    // WKUIDelegate: no native dialog; alert returns, confirm true, prompt null.
    void webView_runJavaScriptAlertPanelWithMessage(WKWebView&, const std::string&, std::function<void()> done) override;
    void webView_runJavaScriptConfirmPanelWithMessage(WKWebView&, const std::string&,
                                                     std::function<void(bool)> done) override;
    void webView_runJavaScriptTextInputPanelWithPrompt(WKWebView&, const std::string&, const std::string&,
                                                       std::function<void(std::optional<std::string>)> done) override;

    // WKNavigationDelegate.
    // Navigations and their answers as TopFrameGuard judges them.
    void webView_decidePolicyForNavigationAction_decisionHandler(WKWebView& webView, const WKNavigationAction& action,
                                                                 PolicyHandler decisionHandler) override;
    void webView_decidePolicyForNavigationResponse_decisionHandler(WKWebView&, const WKNavigationResponse& response,
                                                                   ResponsePolicyHandler decisionHandler) override;
    void webView_didFailProvisionalNavigation_withError(WKWebView&, const Navigation& navigation,
                                                        const Error& error) override;
    void webView_didFailNavigation_withError(WKWebView&, const Navigation& navigation, const Error& error) override;
    // The top frame's page is the game's, or the start page is loaded again.
    void webView_didCommitNavigation(WKWebView& webView, const Navigation& navigation) override;
    void webViewWebContentProcessDidTerminate(WKWebView&, WKContentProcessTermination reason) override;
    // The page has drawn: the host window may appear (it waits so that no empty frame shows).
    void webView_didFinishNavigation(WKWebView&, const Navigation& navigation) override;

    // WKURLSchemeHandler: the "local" scheme.
    void webView_startURLSchemeTask(WKWebView& webView, const std::shared_ptr<WKURLSchemeTask>& task) override;
    void webView_stopURLSchemeTask(WKWebView& webView, const std::shared_ptr<WKURLSchemeTask>& task) override;

    bool retryPending() const { return retryPending_; }
    // The message shown once the page's content process ended.
    static constexpr const char* kStoppedTitle = "温馨提示";
    static constexpr const char* kStoppedMessage = "游戏已停止运行，请重新启动游戏";
    static constexpr const char* kStoppedButton = "退出游戏";
    // Its window (at the alert level), null until then.
    const std::shared_ptr<UIWindow>& stoppedWindow() const { return stoppedWindow_; }
    // The road of <video> and <audio> from the "local" scheme (null when it
    // could not start).
    const std::shared_ptr<LocalMediaServer>& mediaServer() const { return mediaServer_; }

protected:
    // The web view the controller runs the page in (tests give another).
    virtual std::shared_ptr<WKWebView> makeWebView(const CGRect& frame,
                                                   std::shared_ptr<WKWebViewConfiguration> configuration);

private:
    // Paints the window in the page's background (when known) and lets it
    // appear, once.
    void showPage(const std::optional<UIColor>& background);
    void showGameStopped();
    std::filesystem::path dataFolder() const;
    void startMediaServer(WKWebViewConfiguration& configuration);
    void serveFile(const std::shared_ptr<WKURLSchemeTask>& task, const std::filesystem::path& file,
                   const std::string& urlPath, std::optional<std::string> range);

    std::shared_ptr<UIView> holderView_;
    bool pageShown_ = false;  // the host window has been let appear
    std::shared_ptr<WKWebView> webView_;
    std::shared_ptr<DispatchQueue> queue_;
    std::string url_;
    std::string basePath_;
    Value fileDict_;
    struct MimeTable {
        std::mutex mutex;
        Value dict;
    };
    std::shared_ptr<MimeTable> mimeTable_ = std::make_shared<MimeTable>();
    std::shared_ptr<LocalMediaServer> mediaServer_;
    TopFrameGuard guard_;
    std::shared_ptr<WKNavigation> startNavigation_;
    bool retryPending_ = false;
    bool startUpTrimmed_ = false;
    std::shared_ptr<UIWindow> stoppedWindow_;
};
