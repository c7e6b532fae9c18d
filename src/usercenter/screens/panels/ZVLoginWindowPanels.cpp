#include "usercenter/screens/panels/ZVLoginWindowPanels.h"

#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVResponses.h"
#include "usercenter/screens/panels/ZVLoginRzView.h"
#include "usercenter/screens/panels/ZVSuForgetView.h"
#include "usercenter/screens/common/ZVViewExtension.h"

void ZVLoginWindowPanels::showWebPanel(std::shared_ptr<ZVLoginWebView>& panel, UIView& host, const std::string& name,
                                       const std::string& url, bool showMore) {
    if (!panel) panel = Extension::ViewFromXib<ZVLoginWebView>("ZVLoginWebView");
    if (!panel) return;
    // The page covers the host's fields: the keyboard goes, and a panel
    // lifted over it settles back before the page takes its place.
    host.endEditing(true);
    panel->setName(name);
    panel->setUrl(url);
    panel->setIsShowMore(showMore);
    host.addSubview(panel);
}

void ZVLoginWindowPanels::showRealName(const std::shared_ptr<UIView>& host, const std::shared_ptr<LoginResult>& login,
                                       std::function<void()> done) {
    auto rz = Extension::ViewFromXib<ZVLoginRzView>("ZVLoginRzView");
    if (!rz || !host) {
        if (done) done();
        return;
    }
    rz->isShowCover = false;
    rz->setLoginData(login);
    rz->rzBlock = [done, ran = std::make_shared<bool>(false)] {
        if (!std::exchange(*ran, true) && done) done();
    };
    // The real-name panel holds these panels (and so their web panel) weakly.
    std::weak_ptr<ZVLoginRzView> weakRz = rz;
    std::weak_ptr<ZVLoginWindowPanels> weak = weak_from_this();
    rz->goToDetail = [weak, weakRz] {
        auto self = weak.lock();
        auto rz = weakRz.lock();
        if (self && rz) showWebPanel(self->webView_, *rz, "防沉迷系统详情", ZVApi::baseURL() + ZVApi::kAntiAddictionPage, false);
    };
    rz->goToReceive = [weak, weakRz](const std::string& url) {
        auto self = weak.lock();
        auto rz = weakRz.lock();
        if (self && rz) showWebPanel(self->webView_, *rz, "实名奖励领取", url, true);
    };
    rz->setCenter(CGPoint{host->bounds().width() / 2, host->bounds().height() / 2});
    host->addSubview(rz);
    realName_ = rz;
}

void ZVLoginWindowPanels::showForgetPassword(const std::shared_ptr<UIView>& host) {
    auto forget = Extension::ViewFromXib<ZVSuForgetView>("ZVSuForgetView");
    if (!forget || !host) return;
    auto cover = ZVPanelView::makeCover(host->bounds());
    forget->isShowCover = true;
    forget->setCenter(CGPoint{cover->bounds().width() / 2, cover->bounds().height() / 2});
    cover->addSubview(forget);
    host->addSubview(cover);
    forget_ = forget;
}

void ZVLoginWindowPanels::showWebPage(const std::shared_ptr<UIView>& host, const std::string& name,
                                      const std::string& url) {
    if (host) showWebPanel(webView_, *host, name, url, false);
}

bool ZVLoginWindowPanels::closeTopPanel() {
    // The reset panel's cover lies over the whole login window; the web
    // panel over the login panel or the real-name panel.
    if (auto forget = forget_.lock(); forget && forget->window()) {
        forget->doClose();
        return true;
    }
    if (webView_ && webView_->window()) {
        webView_->goBack();
        return true;
    }
    auto rz = realName_.lock();
    if (!rz || !rz->window()) return false;
    if (rz->offersClose()) rz->doClose();
    return true;
}
