#pragma once
// The web view: a UIView whose native widget is a WebKitGTK web view.
//
// The web views made while one application home is in use share one web
// context (one set of custom schemes, one data store under that home); a
// web view made after the home changed gets the new home's. A web view made
// where there is no display has no engine: loads do nothing and scripts
// complete with an error, so code above it still runs headless.
//
// Navigation events carry the WKNavigation that a load call returned, so a
// delegate can tell its own load from one the page started.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"
#include "platform/net/URLSession.h"  // NSURLErrorDomain codes
#include "platform/ui/UIView.h"
#include "platform/web/NSURLRequest.h"
#include "platform/web/WKWebViewConfiguration.h"

class WKWebView;

// Error domain and codes of the engine's own failures.
inline constexpr const char* WKErrorDomain = "WKErrorDomain";
inline constexpr const char* WebKitErrorDomain = "WebKitErrorDomain";
inline constexpr long WebKitErrorFrameLoadInterruptedByPolicyChange = 102;

class WKNavigation {
public:
    explicit WKNavigation(std::string url) : url_(std::move(url)) {}
    const std::string& url() const { return url_; }  // what was asked for

private:
    std::string url_;
};

// A failed load in one line for the log: the address that failed (the
// error's failing address, else what the navigation asked for; credentials
// in its query shortened) and the engine's reason.
std::string WKDescribeLoadFailure(const std::shared_ptr<WKNavigation>& navigation, const Error& error);

class WKUIDelegate {
public:
    virtual ~WKUIDelegate() = default;
    // Script dialogs. The defaults answer as a web view without UI delegate
    // does: alert returns, confirm false, prompt null. A completion handler
    // called twice counts once; one dropped uncalled answers the default.
    virtual void webView_runJavaScriptAlertPanelWithMessage(WKWebView& webView, const std::string& message,
                                                           std::function<void()> completionHandler) {
        completionHandler();
    }
    virtual void webView_runJavaScriptConfirmPanelWithMessage(WKWebView& webView, const std::string& message,
                                                             std::function<void(bool)> completionHandler) {
        completionHandler(false);
    }
    virtual void webView_runJavaScriptTextInputPanelWithPrompt(
        WKWebView& webView, const std::string& prompt, const std::string& defaultText,
        std::function<void(std::optional<std::string>)> completionHandler) {
        completionHandler(std::nullopt);
    }
    virtual void webViewDidClose(WKWebView& webView) {}
};

enum class WKNavigationType { LinkActivated, FormSubmitted, BackForward, Reload, FormResubmitted, Other };
enum class WKNavigationActionPolicy { Cancel, Allow };

enum class WKNavigationResponsePolicy { Cancel, Allow };

// The answer to a navigation, before its page replaces the current one.
struct WKNavigationResponse {
    NSURL URL;  // after redirects
    bool forMainFrame = false;
    long statusCode = 0;
    std::string MIMEType;
};

// A navigation about to happen, as its policy decision sees it.
struct WKNavigationAction {
    NSURLRequest request;
    WKNavigationType navigationType = WKNavigationType::Other;
    // For a window of its own (window.open, a link's target="_blank"): the
    // web view opens none, whatever the answer. Otherwise the navigation is
    // of a frame of this view, the top one or an inner one: the engine does
    // not say which before the answer comes (WKNavigationResponse does), and
    // an address without an answer (about:blank) never tells.
    bool targetsNewWindow = false;
    // Asked for through this web view's own calls (loadRequest,
    // loadHTMLString, reload, goBack, goForward), not by a page.
    bool requestedByApplication = false;
    // Started while a page handled a press of the player (the engine's user
    // gesture): in the press's own handlers, or in a timer of up to a second
    // or a message they set going, or in a frame losing the focus to it.
    // Which frame started it the engine does not say; the request's Referer
    // names the page it came from, unless that page withheld it.
    bool userGesture = false;
};

// The player's last press on a web view, as far as the view can tell where
// it went.
struct WKPress {
    enum class Device { Pointer, Key };  // a mouse button or a touch; a key
    uint64_t number = 0;                 // the presses so far, this one included (0: none yet)
    Device device = Device::Pointer;
    // The top frame's own page heard it; false for one that went to an inner
    // frame (or that no page heard of).
    bool reachedTopPage = false;
    // As the top page heard it, an inner frame held the focus (and lost it
    // to the press, or got the key).
    bool innerFrameHadFocus = false;
};

// Why the engine's content process (where the page runs) ended.
enum class WKContentProcessTermination { Crashed, ExceededMemoryLimit, EndedByApplication };

class WKNavigationDelegate {
public:
    using Navigation = std::shared_ptr<WKNavigation>;
    using PolicyHandler = std::function<void(WKNavigationActionPolicy)>;
    virtual ~WKNavigationDelegate() = default;
    // Asked before every navigation (the first load, links, history, reloads,
    // inner frames' loads, new windows), on the main thread; the handler may
    // be called later. A cancelled navigation starts nothing and leaves the
    // page and the history as they were. A handler called twice counts once;
    // one dropped uncalled allows.
    virtual void webView_decidePolicyForNavigationAction_decisionHandler(WKWebView& webView,
                                                                         const WKNavigationAction& action,
                                                                         PolicyHandler decisionHandler) {
        decisionHandler(WKNavigationActionPolicy::Allow);
    }
    // Asked when the answer of a navigation has come, before its page is
    // shown: the top frame's and every inner frame's. A cancelled one shows
    // nothing and leaves the page as it was (the load fails as interrupted).
    // A handler called twice counts once; one dropped uncalled allows.
    using ResponsePolicyHandler = std::function<void(WKNavigationResponsePolicy)>;
    virtual void webView_decidePolicyForNavigationResponse_decisionHandler(WKWebView& webView,
                                                                           const WKNavigationResponse& response,
                                                                           ResponsePolicyHandler decisionHandler) {
        decisionHandler(WKNavigationResponsePolicy::Allow);
    }
    virtual void webView_didStartProvisionalNavigation(WKWebView& webView, const Navigation& navigation) {}
    virtual void webView_didCommitNavigation(WKWebView& webView, const Navigation& navigation) {}
    virtual void webView_didFinishNavigation(WKWebView& webView, const Navigation& navigation) {}
    // Before the page committed (it could not be reached, the scheme failed, ...).
    virtual void webView_didFailProvisionalNavigation_withError(WKWebView& webView, const Navigation& navigation,
                                                                const Error& error) {}
    // After the page committed.
    virtual void webView_didFailNavigation_withError(WKWebView& webView, const Navigation& navigation,
                                                     const Error& error) {}
    // The page is gone until something loads one again.
    virtual void webViewWebContentProcessDidTerminate(WKWebView& webView, WKContentProcessTermination reason) {}
};

class WKWebView : public UIView {
public:
    static std::shared_ptr<WKWebView> create(const CGRect& frame, std::shared_ptr<WKWebViewConfiguration> configuration);
    ~WKWebView() override;

    // True when web views get a real engine (there is a display).
    static bool engineAvailable();

    std::shared_ptr<WKWebViewConfiguration> configuration() const { return configuration_; }

    virtual std::shared_ptr<WKNavigation> loadRequest(const NSURLRequest& request);
    // Without a base URL the page has the blank document's address.
    virtual std::shared_ptr<WKNavigation> loadHTMLString(const std::string& html, const std::optional<NSURL>& baseURL);
    virtual std::shared_ptr<WKNavigation> reload();
    virtual void stopLoading();

    // The page history of this web view.
    virtual bool canGoBack() const;
    virtual bool canGoForward() const;
    // nullptr when there is nowhere to go.
    virtual std::shared_ptr<WKNavigation> goBack();
    virtual std::shared_ptr<WKNavigation> goForward();

    using JavaScriptCompletion = std::function<void(const Value& result, const Error* error)>;
    // Evaluates in the main frame. The result is the value's JSON form read
    // back (undefined and functions give null). From another thread the call
    // is moved to the main thread.
    virtual void evaluateJavaScript(const std::string& script, JavaScriptCompletion completion = {});

    std::optional<NSURL> URL() const;
    // The address the page the top frame shows now was committed with
    // (nullopt before the first); URL() may already name a page still
    // loading.
    virtual std::optional<NSURL> committedURL() const;
    std::string title() const;
    bool isLoading() const;

    // The presses (mouse buttons, keys, touches) the player has made on this
    // web view, counted as they arrive from the display, before the page
    // hears of them: a page's script can add none.
    uint64_t presses() const { return lastPress_.number; }
    // The last of them. Whether the top page heard it comes from a script in
    // a world of its own there (the page's scripts cannot reach it), soon
    // after the press and before anything the press sets going in the page.
    const WKPress& lastPress() const { return lastPress_; }

    std::shared_ptr<WKUIDelegate> UIDelegate() const { return uiDelegate_.lock(); }
    void setUIDelegate(const std::shared_ptr<WKUIDelegate>& d) { uiDelegate_ = d; }
    std::shared_ptr<WKNavigationDelegate> navigationDelegate() const { return navigationDelegate_.lock(); }
    void setNavigationDelegate(const std::shared_ptr<WKNavigationDelegate>& d) { navigationDelegate_ = d; }

    // The visible page as a PNG file; the completion gets false on failure.
    virtual void takeSnapshotToPNG(const std::string& path, std::function<void(bool)> completion);

    // What the engine shows behind the page, and in the moment before its
    // first frame (white until set).
    void setUnderPageBackgroundColor(const UIColor& colour);
    const UIColor& underPageBackgroundColor() const { return underPageBackground_; }

    GtkWidget* nativeWidget() const override;

    struct Engine;

protected:
    struct NoEngine {};
    WKWebView(const CGRect& frame, std::shared_ptr<WKWebViewConfiguration> configuration, NoEngine);
    void geometryDidChange() override;

    // The navigation delegate's policy decision (allow without a delegate);
    // `decided` runs once with the answer.
    void decidePolicy(const WKNavigationAction& action, std::function<void(WKNavigationActionPolicy)> decided);
    void decideResponsePolicy(const WKNavigationResponse& response,
                              std::function<void(WKNavigationResponsePolicy)> decided);

    // Navigation events, as the engine reports them (and as test web views
    // replay them).
    void didStartProvisionalNavigation(const std::shared_ptr<WKNavigation>& navigation);
    void didCommitNavigation(const std::shared_ptr<WKNavigation>& navigation);
    void didFinishNavigation(const std::shared_ptr<WKNavigation>& navigation);
    void didFailProvisionalNavigation(const std::shared_ptr<WKNavigation>& navigation, const Error& error);
    void didFailNavigation(const std::shared_ptr<WKNavigation>& navigation, const Error& error);
    void webContentProcessDidTerminate(WKContentProcessTermination reason);
    void didReceivePress(WKPress::Device device) { lastPress_ = WKPress{lastPress_.number + 1, device, false}; }
    void topPageHeardPress(bool innerFrameHadFocus) {
        lastPress_.reachedTopPage = lastPress_.number > 0;
        lastPress_.innerFrameHadFocus = lastPress_.reachedTopPage && innerFrameHadFocus;
    }

    std::shared_ptr<WKWebViewConfiguration> configuration_;

private:
    friend struct EngineAccess;
    void attachEngine();

    std::unique_ptr<Engine> engine_;
    std::weak_ptr<WKUIDelegate> uiDelegate_;
    UIColor underPageBackground_ = UIColor::whiteColor();
    std::weak_ptr<WKNavigationDelegate> navigationDelegate_;
    WKPress lastPress_;  // main thread only
};
