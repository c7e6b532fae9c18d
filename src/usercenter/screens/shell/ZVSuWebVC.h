#pragma once
// One publisher page inside the user centre (the Tasks and customer-service
// tabs, guide and activity posts, pages the login window pushes), in a web
// view of its own configuration: no script channel, no custom scheme.
//
// Its back button walks the page's history before it leaves the page: then
// a page pushed with isShowSuperVc pops; a root page of the user centre
// closes the user centre (ZVSuTabBarVC::close); any other root page asks
// its navigation controller to dismiss and shows the floating button again
// unless it is to stay hidden. A link whose address holds "zorvia://rw"
// anywhere (the first load too) is refused and opens the box page
// (ShareVale's iosWapBoxUrl) outside the application. An address that is
// no URL loads nothing.
//
// Until its first page commits the web view stays hidden and a loading
// note says "加载中…" in its place ("加载失败" when that page fails or
// the address is no URL): the engine shows only white before then.

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/UIButton.h"
#include "platform/ui/UIViewController.h"
#include "platform/web/WKWebView.h"
#include "usercenter/screens/common/ZVLoadingNote.h"

class ZVSuWebVC : public UIViewController, public WKNavigationDelegate {
public:
    static constexpr const char* kBoxLinkMarker = "zorvia://rw";
    static constexpr double kButtonSide = 25;

    // Set before the view loads.
    std::string name;  // navigation title
    std::string url;
    bool isShowSuperVc = false;
    bool isShowMore = false;

    // How the page's web view is made (tests put a recording one in).
    using WebViewFactory = std::function<std::shared_ptr<WKWebView>(const CGRect&, std::shared_ptr<WKWebViewConfiguration>)>;
    static void setWebViewFactory(WebViewFactory factory);  // nullptr: the engine's
    // A web view as the factory makes it (every web view of the user centre's screens).
    static std::shared_ptr<WKWebView> makeWebView(const CGRect& frame, std::shared_ptr<WKWebViewConfiguration> configuration);

    const std::shared_ptr<WKWebView>& webView() const { return webView_; }
    const std::shared_ptr<UIButton>& backBtn();
    const std::shared_ptr<UIButton>& moreBtn();
    const std::shared_ptr<ZVLoadingNote>& loadingNote() const { return loadingNote_; }

    void viewDidLoad() override;
    void viewWillLayoutSubviews() override;

    void goBack();
    void goToSafari();

    void webView_decidePolicyForNavigationAction_decisionHandler(WKWebView& webView, const WKNavigationAction& action,
                                                                 PolicyHandler decisionHandler) override;
    void webView_didStartProvisionalNavigation(WKWebView& webView, const Navigation& navigation) override;
    void webView_didCommitNavigation(WKWebView& webView, const Navigation& navigation) override;
    void webView_didFailProvisionalNavigation_withError(WKWebView& webView, const Navigation& navigation,
                                                        const Error& error) override;
    void webView_didFailNavigation_withError(WKWebView& webView, const Navigation& navigation,
                                             const Error& error) override;

private:
    void _initUI();
    void leaveWithoutHistory();

    std::shared_ptr<WKWebView> webView_;
    std::shared_ptr<UIButton> backBtn_, moreBtn_;
    std::shared_ptr<ZVLoadingNote> loadingNote_;
    bool committed_ = false;  // a page has committed: the web view shows
};
