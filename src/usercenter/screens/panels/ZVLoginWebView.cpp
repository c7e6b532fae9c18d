#include "usercenter/screens/panels/ZVLoginWebView.h"

#include "logging/VLLog.h"
#include "platform/foundation/PlatformLog.h"
#include "usercenter/core/URLEncode.h"
#include "usercenter/core/ZVExternal.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/shell/ZVSuWebVC.h"

std::shared_ptr<ZVLoginWebView> ZVLoginWebView::fromNib() {
    auto v = std::make_shared<ZVLoginWebView>();
    v->awakeFromNib();
    return v;
}

void ZVLoginWebView::awakeFromNib() {
    setBackgroundColor(UIColor::whiteColor());
    setClipsToBounds(true);
    setAccessibilityIdentifier("login_web");
    auto barButton = [this](const std::string& image) {
        auto b = UIButton::buttonWithType(UIButtonType::Custom);
        b->setImage(ZVColor::sdkImageNamed(image), UIControlStateNormal);
        addSubview(b);
        return b;
    };
    backBtn = barButton("ZV_nav_back.png");
    moreBtn = barButton("zv_tab_webMore.png");
    moreBtn->setHidden(true);
    titleL = std::make_shared<UILabel>();
    titleL->setFont(UIFont::systemFontOfSize(16, UIFontWeight::Medium));
    titleL->setTextAlignment(NSTextAlignment::Center);
    addSubview(titleL);
    webView = ZVSuWebVC::makeWebView(CGRect(0, kBarHeight, 300, 300), WKWebViewConfiguration::create());
    // Not opaque: the panel's white shows until the page paints.
    webView->setOpaque(false);
    webView->setNavigationDelegate(std::static_pointer_cast<ZVLoginWebView>(sharedView()));
    addSubview(webView);

    std::weak_ptr<ZVLoginWebView> weak = std::static_pointer_cast<ZVLoginWebView>(sharedView());
    backBtn->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->goBack();
    });
    moreBtn->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->doMoreBtnClick();
    });
}

void ZVLoginWebView::setUrl(const std::string& url) {
    url_ = url;
    if (auto address = NSURL::URLWithString(url)) webView->loadRequest(NSURLRequest::requestWithURL(*address));
    else NSLog("ZVLoginWebView: not an address, nothing loads");
    moreBtn->setHidden(!isShowMore_ || !URLEncode::isURL(url_));
}

void ZVLoginWebView::setIsShowMore(bool show) {
    isShowMore_ = show;
    // Only an address the outside browser can take is offered to it.
    moreBtn->setHidden(!show || !URLEncode::isURL(url_));
}

void ZVLoginWebView::setName(const std::string& name) {
    name_ = name;
    titleL->setText(name);
}

void ZVLoginWebView::goBack() { removeFromSuperview(); }

void ZVLoginWebView::doMoreBtnClick() {
    if (URLEncode::isURL(url_)) ZVExternal::openURL(url_);
}

void ZVLoginWebView::didMoveToSuperview() {
    if (auto parent = superview()) setFrame(parent->bounds());
}

void ZVLoginWebView::layoutSubviews() {
    UIView::layoutSubviews();
    double w = bounds().width(), h = bounds().height();
    backBtn->setFrame(CGRect(8, (kBarHeight - 25) / 2, 25, 25));
    moreBtn->setFrame(CGRect(w - 33, (kBarHeight - 25) / 2, 25, 25));
    titleL->setFrame(CGRect(44, 0, std::max(0.0, w - 88), kBarHeight));
    webView->setFrame(CGRect(0, kBarHeight, w, std::max(0.0, h - kBarHeight)));
}

void ZVLoginWebView::webView_didStartProvisionalNavigation(WKWebView&, const Navigation&) { NSLog("开始加载"); }

void ZVLoginWebView::webView_didFailProvisionalNavigation_withError(WKWebView&, const Navigation& navigation,
                                                            const Error& error) {
    VLLogWarn("加载失败 %s", WKDescribeLoadFailure(navigation, error).c_str());
}

void ZVLoginWebView::webView_didFailNavigation_withError(WKWebView&, const Navigation& navigation, const Error& error) {
    VLLogWarn("加载失败 %s", WKDescribeLoadFailure(navigation, error).c_str());
}
