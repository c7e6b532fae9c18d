#include "usercenter/screens/shell/ZVSuWebVC.h"

#include "logging/VLLog.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/ui/UINavigationController.h"
#include "platform/ui/UIScreen.h"
#include "platform/ui/UITabBarController.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVExternal.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/shell/ZVSuTabBarVC.h"

namespace {
ZVSuWebVC::WebViewFactory& factory() {
    static ZVSuWebVC::WebViewFactory f;
    return f;
}

std::shared_ptr<UIButton> barButton(const std::string& image, const std::string& identifier) {
    auto button = UIButton::buttonWithType(UIButtonType::Custom);
    button->setFrame(CGRect(0, 0, ZVSuWebVC::kButtonSide, ZVSuWebVC::kButtonSide));
    button->setImage(ZVColor::sdkImageNamed(image), UIControlStateNormal);
    button->setAccessibilityIdentifier(identifier);
    return button;
}
}  // namespace

void ZVSuWebVC::setWebViewFactory(WebViewFactory f) { factory() = std::move(f); }

std::shared_ptr<WKWebView> ZVSuWebVC::makeWebView(const CGRect& frame, std::shared_ptr<WKWebViewConfiguration> configuration) {
    return factory() ? factory()(frame, std::move(configuration)) : WKWebView::create(frame, std::move(configuration));
}

const std::shared_ptr<UIButton>& ZVSuWebVC::backBtn() {
    if (!backBtn_) {
        backBtn_ = barButton("ZV_nav_back.png", "web_back");
        std::weak_ptr<ZVSuWebVC> weak = std::static_pointer_cast<ZVSuWebVC>(sharedController());
        backBtn_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
            if (auto self = weak.lock()) self->goBack();
        });
    }
    return backBtn_;
}

const std::shared_ptr<UIButton>& ZVSuWebVC::moreBtn() {
    if (!moreBtn_) {
        moreBtn_ = barButton("zv_tab_webMore.png", "web_more");
        std::weak_ptr<ZVSuWebVC> weak = std::static_pointer_cast<ZVSuWebVC>(sharedController());
        moreBtn_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
            if (auto self = weak.lock()) self->goToSafari();
        });
    }
    return moreBtn_;
}

void ZVSuWebVC::viewDidLoad() {
    UIViewController::viewDidLoad();
    view()->setBackgroundColor(UIColor::whiteColor());
    // A configuration of its own: the game's channels and scheme stay with the game.
    auto configuration = WKWebViewConfiguration::create();
    webView_ = makeWebView(view()->bounds(), configuration);
    webView_->setNavigationDelegate(std::static_pointer_cast<ZVSuWebVC>(sharedController()));
    webView_->setHidden(true);
    view()->addSubview(webView_);
    loadingNote_ = std::make_shared<ZVLoadingNote>();
    loadingNote_->showLoading();
    view()->addSubview(loadingNote_);
    _initUI();
}

void ZVSuWebVC::_initUI() {
    navigationItem().setLeftBarButtonItem(UIBarButtonItem::withCustomView(backBtn()));
    navigationItem().setTitle(name);
    if (auto address = NSURL::URLWithString(url)) webView_->loadRequest(NSURLRequest::requestWithURL(*address));
    else {
        NSLog("ZVSuWebVC: not an address, nothing loads");
        loadingNote_->showFailed();
    }
    if (isShowMore) navigationItem().setRightBarButtonItem(UIBarButtonItem::withCustomView(moreBtn()));
}

void ZVSuWebVC::viewWillLayoutSubviews() {
    // Under the navigation bar, above the tab bar while it shows.
    auto& screen = UIScreen::mainScreen();
    CGRect b = view()->bounds();
    double top = navigationController() ? screen.navigationBarTop() : screen.statusBarHeight();
    auto tab = tabBarController();
    double bottom = tab && !tab->tabBar()->isHidden() ? screen.tabBarHeight() : screen.safeAreaInsets().bottom;
    webView_->setFrame(CGRect(0, top, b.width(), std::max(0.0, b.height() - top - bottom)));
    loadingNote_->centreIn(webView_->frame());
}

void ZVSuWebVC::goBack() {
    if (webView_ && webView_->canGoBack()) {
        webView_->goBack();
        return;
    }
    auto nav = navigationController();
    if (isShowSuperVc && nav) {
        nav->popViewControllerAnimated(true);
        return;
    }
    leaveWithoutHistory();
}

void ZVSuWebVC::leaveWithoutHistory() { ZVSuTabBarVC::closeContaining(*this); }

void ZVSuWebVC::goToSafari() {
    if (!ZVExternal::openURL(url)) NSLog("ZVSuWebVC: the page cannot be opened outside");
}

void ZVSuWebVC::webView_decidePolicyForNavigationAction_decisionHandler(WKWebView&, const WKNavigationAction& action,
                                                                       PolicyHandler decisionHandler) {
    if (action.request.URL.absoluteString().find(kBoxLinkMarker) == std::string::npos) {
        decisionHandler(WKNavigationActionPolicy::Allow);
        return;
    }
    ZVExternal::openURL(ShareVale::sharedInstance().iosWapBoxUrl);
    // A first page refused here is shown outside: nothing is loading.
    if (!committed_) loadingNote_->dismiss();
    decisionHandler(WKNavigationActionPolicy::Cancel);
}

void ZVSuWebVC::webView_didStartProvisionalNavigation(WKWebView&, const Navigation&) { NSLog("开始加载"); }

void ZVSuWebVC::webView_didCommitNavigation(WKWebView&, const Navigation&) {
    if (std::exchange(committed_, true)) return;
    loadingNote_->dismiss();
    webView_->setHidden(false);
}

void ZVSuWebVC::webView_didFailProvisionalNavigation_withError(WKWebView&, const Navigation& navigation,
                                                            const Error& error) {
    VLLogWarn("加载失败 %s", WKDescribeLoadFailure(navigation, error).c_str());
    // A load stopped for another (a newer navigation, a refused link) is no failure.
    bool stopped = (error.domain == NSURLErrorDomain && error.code == NSURLErrorCancelled) ||
                   (error.domain == WebKitErrorDomain && error.code == WebKitErrorFrameLoadInterruptedByPolicyChange);
    if (!committed_ && !stopped) loadingNote_->showFailed();
}

void ZVSuWebVC::webView_didFailNavigation_withError(WKWebView&, const Navigation& navigation, const Error& error) {
    VLLogWarn("加载失败 %s", WKDescribeLoadFailure(navigation, error).c_str());
}
