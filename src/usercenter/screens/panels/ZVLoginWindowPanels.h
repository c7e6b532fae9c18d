#pragma once
// The login window's panels (ZVLoginPanels), registered as "ZVLoginPanels":
// the real-name panel without a cover (its details link shows the
// anti-addiction page in the web panel over it), the password-reset panel
// on a cover, and the agreement pages in the web panel. One web panel per
// login window, made on first use.

#include <memory>

#include "platform/foundation/NSObject.h"
#include "usercenter/core/ZVLoginPanels.h"
#include "usercenter/screens/panels/ZVLoginWebView.h"

class ZVLoginRzView;
class ZVSuForgetView;

class ZVLoginWindowPanels : public NSObject,
                            public ZVLoginPanels,
                            public std::enable_shared_from_this<ZVLoginWindowPanels> {
public:
    void showRealName(const std::shared_ptr<UIView>& host, const std::shared_ptr<LoginResult>& login,
                      std::function<void()> done) override;
    void showForgetPassword(const std::shared_ptr<UIView>& host) override;
    void showWebPage(const std::shared_ptr<UIView>& host, const std::string& name, const std::string& url) override;
    bool closeTopPanel() override;

    // The web panel (made on first use) showing `url` over `host`, editing
    // in `host` ended first (the keyboard goes).
    static void showWebPanel(std::shared_ptr<ZVLoginWebView>& panel, UIView& host, const std::string& name,
                             const std::string& url, bool showMore);

private:
    std::shared_ptr<ZVLoginWebView> webView_;
    // The panels last shown, held weakly: their hosts own them.
    std::weak_ptr<ZVSuForgetView> forget_;
    std::weak_ptr<ZVLoginRzView> realName_;
};
