#pragma once
// A small overlay showing one web page under a title bar with a back
// button and, where asked, a "more" button that opens the address outside
// the application (only an address that URLEncode::isURL accepts). It
// fills its superview (the login panel, or the real-name panel it is shown
// over). Hosts make it once and reuse it: each showing sets title, address
// and the more flag again; back only takes it off screen, so the page stays
// loaded. Every address set loads, the same one again too.

#include <memory>
#include <string>

#include "platform/ui/UIButton.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIView.h"
#include "platform/web/WKWebView.h"

class ZVLoginWebView : public UIView, public WKNavigationDelegate {
public:
    static constexpr double kBarHeight = 44;
    static std::shared_ptr<ZVLoginWebView> fromNib();

    std::shared_ptr<WKWebView> webView;
    std::shared_ptr<UIButton> backBtn, moreBtn;
    std::shared_ptr<UILabel> titleL;

    const std::string& url() const { return url_; }
    void setUrl(const std::string& url);
    bool isShowMore() const { return isShowMore_; }
    void setIsShowMore(bool show);
    const std::string& name() const { return name_; }
    void setName(const std::string& name);

    void goBack();
    void doMoreBtnClick();

    void didMoveToSuperview() override;
    void layoutSubviews() override;
    void webView_didStartProvisionalNavigation(WKWebView& webView, const Navigation& navigation) override;
    void webView_didFailProvisionalNavigation_withError(WKWebView& webView, const Navigation& navigation,
                                                        const Error& error) override;
    void webView_didFailNavigation_withError(WKWebView& webView, const Navigation& navigation,
                                             const Error& error) override;

private:
    void awakeFromNib();
    std::string url_, name_;
    bool isShowMore_ = false;
};
