#include "plugin/iOS/RAZ5Orered/UIWebViewController.h"

#include <chrono>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Strings.h"
#include "platform/device/URLOpener.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"

namespace {

std::shared_ptr<UIWebViewController> gInstance;  // main thread

bool isWebAddress(const std::string& text) {
    std::string lower = strings::toLower(text);
    return strings::hasPrefix(lower, "http://") || strings::hasPrefix(lower, "https://");
}

}  // namespace

UIWebViewController::UIWebViewController() { setNibName(kNibName); }

std::shared_ptr<UIWebViewController> UIWebViewController::instance() { return gInstance; }

bool UIWebViewController::OpenUrl(const std::optional<std::string>& url) {
    if (!url || !isWebAddress(*url) || !NSURL::URLWithString(*url)) return false;
    if (!gInstance) gInstance = std::make_shared<UIWebViewController>();
    gInstance->Open(*url);
    return true;
}

void UIWebViewController::Close() {
    if (gInstance) gInstance->CloseView();
}

bool UIWebViewController::isOpenAppSpecialURLValue(const std::string& text) { return !isWebAddress(text); }

void UIWebViewController::viewDidLoad() {
    if (webView) webView->setNavigationDelegate(std::static_pointer_cast<UIWebViewController>(sharedController()));
    if (tipsView) tipsView->layer()->setCornerRadius(4);
    if (tipsIndicator) tipsIndicator->startAnimating();
}

void UIWebViewController::Open(const std::string& url) {
    auto self = std::static_pointer_cast<UIWebViewController>(sharedController());
    if (!window_) {
        window_ = std::make_shared<UIWindow>();
        window_->setWindowLevel(kWindowLevel);
        auto holder = std::make_shared<UIViewController>();
        window_->setRootViewController(holder);
        holder->view()->setBackgroundColor(UIColor::clearColor());
        holder->view()->setOpaque(false);
    }
    window_->setHidden(false);
    auto holder = window_->rootViewController();
    if (!presentingViewController()) holder->presentViewController(self, true);
    view();
    if (!webView) return;
    NSURLRequest request = NSURLRequest::requestWithURL(*NSURL::URLWithString(url));
    request.timeoutInterval = kTimeoutSeconds;
    auto navigation = webView->loadRequest(request);
    loading_ = navigation;
    if (tipsView) tipsView->setHidden(false);
    if (tipsIndicator) tipsIndicator->startAnimating();
    // The engine has no time-out of its own: the load is stopped when it
    // is still the one running after the time on the replaceable clock.
    std::weak_ptr<UIWebViewController> weak = self;
    std::weak_ptr<WKNavigation> watched = navigation;
    DispatchQueue::main()->asyncAfter(std::chrono::seconds(int64_t(kTimeoutSeconds)), [weak, watched] {
        auto vc = weak.lock();
        auto nav = watched.lock();
        if (!vc || !nav || vc->loading_ != nav || !vc->webView) return;
        vc->loading_.reset();
        vc->webView->stopLoading();
    });
}

void UIWebViewController::CloseView() {
    if (tipsIndicator) tipsIndicator->stopAnimating();
    loading_.reset();
    if (webView) webView->loadHTMLString("", std::nullopt);
    std::weak_ptr<UIWindow> window = window_;
    dismissViewControllerAnimated(true, [window] {
        if (auto w = window.lock()) w->setHidden(true);
    });
}

void UIWebViewController::Click(UIControl*) { CloseView(); }

void UIWebViewController::webView_decidePolicyForNavigationAction_decisionHandler(WKWebView&,
                                                                                  const WKNavigationAction& action,
                                                                                  PolicyHandler decisionHandler) {
    std::string url = action.request.URL.absoluteString();
    if (!isOpenAppSpecialURLValue(url) || strings::hasPrefix(url, "about:blank")) {
        decisionHandler(WKNavigationActionPolicy::Allow);
        return;
    }
    decisionHandler(WKNavigationActionPolicy::Cancel);
    auto report = [url](bool ok) {
        SysPlugin::OnOpenUrl(Value::dict({{"url", url}, {"result", ok}}).toJSON(true));
    };
    // Files, inline data and scripts are no other application: nothing opens.
    std::string scheme = strings::toLower(action.request.URL.scheme());
    if (scheme.empty() || scheme == "file" || scheme == "data" || scheme == "javascript" || scheme == "about") {
        report(false);
        return;
    }
    URLOpener::current()->open(url, report);
}

void UIWebViewController::webView_didFinishNavigation(WKWebView&, const Navigation& navigation) {
    // Only the page asked for: the blank page a close loads may finish
    // after the next Open.
    if (!navigation || navigation != loading_) return;
    loading_.reset();
    if (tipsView) tipsView->setHidden(true);
}
