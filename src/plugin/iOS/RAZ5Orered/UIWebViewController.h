#pragma once
// The in-app web page: a full-screen page of its own web view (no bridge,
// no "local" scheme) with a close button and a loading hint that stays
// until the page has loaded. Loads give up after 15 seconds of the
// replaceable clock. Links to other applications' schemes are not loaded:
// they go to the desktop (URLOpener) and the game's page hears onOpenUrl
// {"url", "result"}; "file:", "data:" and "javascript:" links open nothing
// and report false. At most one instance, made on first use from the nib
// "UnityWebView" and kept. It shows in a window of its own above the game's
// page and the user centre's floating button (below alerts and the
// keyboard), hidden again when it closes. No page operation reaches it in
// this system.

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/UIButton.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UISmallControls.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIWindow.h"
#include "platform/web/WKWebView.h"

class UIWebViewController : public UIViewController, public WKNavigationDelegate {
public:
    static constexpr const char* kNibName = "UnityWebView";
    static constexpr double kTimeoutSeconds = 15;
    // Above the floating button's window (100), below the status bar's level.
    static constexpr double kWindowLevel = 500;

    // False for no URL and for anything but an http or https address.
    static bool OpenUrl(const std::optional<std::string>& url);
    static void Close();
    static std::shared_ptr<UIWebViewController> instance();  // nullptr before the first OpenUrl

    // Outlets, set by the nib.
    std::shared_ptr<WKWebView> webView;
    std::shared_ptr<UIButton> closeButton;
    std::shared_ptr<UIView> tipsView;
    std::shared_ptr<UIActivityIndicatorView> tipsIndicator;
    std::shared_ptr<UILabel> tipsLabel;

    UIWebViewController();
    void viewDidLoad() override;
    void Open(const std::string& url);
    // Stops the hint, drops the page's content and closes the screen.
    void CloseView();
    void Click(UIControl* sender);
    // The window it shows in while open (nullptr before the first Open).
    const std::shared_ptr<UIWindow>& pageWindow() const { return window_; }
    // Whether a text is another application's link (not http or https).
    static bool isOpenAppSpecialURLValue(const std::string& text);

    // Web pages and about:blank load; another application's link is handed
    // to the desktop instead and the game's page told the outcome.
    void webView_decidePolicyForNavigationAction_decisionHandler(WKWebView& webView, const WKNavigationAction& action,
                                                                 PolicyHandler decisionHandler) override;
    void webView_didFinishNavigation(WKWebView& webView, const Navigation& navigation) override;

private:
    std::shared_ptr<WKNavigation> loading_;  // the load the time-out watches
    std::shared_ptr<UIWindow> window_;
};
