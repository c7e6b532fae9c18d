#pragma once
// The account page, the user centre's first tab "我的" (storyboard
// "ZVSuTabBarVC", scene "ZVSuUserVC"): the account card, the balances, the
// coupon summary, four shortcuts (box, messages, customer chat,
// reservations), the phone, real-name and password rows, the automatic-login
// and floating-button switches, the version, logout and "关闭".
//
// It asks for "sdkhomexiaov2/index" when it loads and again each time it
// shows after the first (coming back from a pushed screen); a refusal shows
// "b", a failure "服务器错误", and the page stays as it was. It opens the
// wallet, ledgers, vouchers, sub-accounts, messages, reservations, the
// title page, the chat page and the panels (real name, password reset,
// phone binding and unbinding) on a dimming cover. The navigation bar is
// hidden while it shows. The scene is built in code (ZVSuUserScene.cpp):
// `payPicLeft` places the title badge (60 after the VIP badge, 5 without).
//
// Until a first reply is accepted the values read "加载中…" in grey (the
// balances kPendingNumber), and after a failed request "加载失败" and "--";
// what acts on them (the phone, real-name and password rows, the wallet,
// copying the account) says kWaitForReply, asking again after a failure.

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/NSLayoutConstraint.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIScrollView.h"
#include "platform/ui/UIViewController.h"
#include "usercenter/screens/account/ZVSuUserInfo.h"

class ZVLoginRzView;
class ZVSuForgetView;
class ZVSuBangView;
class ZVSuJieView;
class ZVLoginWebView;

class ZVSuUserVC : public UIViewController {
public:
    static constexpr const char* kHeaderColour = "#6036E7";
    static constexpr double kPayPicLeftWithVip = 60, kPayPicLeftAlone = 5;
    enum Shortcut : long { kBox = 10, kMessages = 11, kChat = 12, kReservations = 13 };
    static constexpr uint32_t kCouponColour = 0xFF5A1F;
    static constexpr const char* kUnknownValue = "--";
    static constexpr const char* kPendingNumber = "…";
    static constexpr const char* kWaitForReply = "正在加载，请稍候";

    std::function<void()> logoutBlock, backBlock;

    // The scene's views.
    std::shared_ptr<UIScrollView> scrollView;
    std::shared_ptr<UIImageView> onePic, iconView, vipPic, payPic;
    // The bar with the title and "关闭", fixed over the scroll view.
    std::shared_ptr<UIView> titleBar;
    std::shared_ptr<UIView> userView, couponView, btnsView, infoView, setView;
    std::shared_ptr<UILabel> nickL, nameL, xiaohao_nickL, ptbL, djqL, xinL, walletL, couponMoneyL, couponNumL,
        msgNumL, mobileTitleL, mobileL, rzL, versionL;
    std::shared_ptr<UIButton> autoLoginBtn, suspendStatusBtn, copyBtn, subNameBtn, closeBtn, logoutBtn;
    // The title badge's leading distance; a new constant re-lays the card.
    std::shared_ptr<NSLayoutConstraint> payPicLeft;

    // The payload "c" of the last accepted reply.
    const Value& dic() const { return dic_; }
    bool isBang() const { return isBang_; }
    void setIsBang(bool isBang);
    bool isRz() const { return isRz_; }
    void setIsRz(bool isRz);

    // Made on first use.
    const std::shared_ptr<UIView>& coverView();
    const std::shared_ptr<ZVLoginRzView>& rzView();
    const std::shared_ptr<ZVSuForgetView>& forgetView();
    const std::shared_ptr<ZVSuBangView>& bangView();
    const std::shared_ptr<ZVSuJieView>& jieView();
    const std::shared_ptr<ZVLoginWebView>& webView();

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidLayoutSubviews() override;

    void loadData();
    // The actions.
    void doShowWalletVC();
    void goToWebVc();
    void goToOtherVC(long tag);
    void goToCouponVc();
    void goToPtbVc();
    void goToBillVc();
    void goToStarsVc();
    void goToSubNameVC();
    void showBangView();
    void goToRz();
    void showForgetView();
    void doCopy();
    void doAutoLoginBtnClick();
    void doShowOrHideSuspenBtn();
    void doLogout();
    void goBack();
    // What the message screen's refreshBlock does: the badge one fewer.
    void messageRead();
    // Escape's first stop: takes the web panel over the real-name panel,
    // else the panel on the dimming cover, off screen as their own close
    // buttons do. False when neither shows.
    bool closeTopPanel();

private:
    void _initUI();
    void setUpUI();
    // Grey marks in place of every value the reply brings: loading, or none came.
    void showPlaceholders(bool failed);
    // True (and a toast says so) while no reply has been accepted.
    bool waitingForReply();
    void showPanel(const std::shared_ptr<UIView>& panel);
    void goToDetailWebVc();
    void goToReceiveWebVcWithUrl(const std::string& url);
    void pushBill(bool isPtb, bool isStars);
    void push(const std::shared_ptr<UIViewController>& vc);
    // The scene (ZVSuUserScene.cpp): built once, laid out on every pass.
    void buildScene();
    void layoutScene();
    void wireScene();

    Value dic_;
    bool isBang_ = false, isRz_ = false, isLayout_ = false, isFirst_ = false, loaded_ = false;
    bool asking_ = false;  // a request of the page is out
    std::shared_ptr<UIView> coverView_;
    std::shared_ptr<ZVLoginRzView> rzView_;
    std::shared_ptr<ZVSuForgetView> forgetView_;
    std::shared_ptr<ZVSuBangView> bangView_;
    std::shared_ptr<ZVSuJieView> jieView_;
    std::shared_ptr<ZVLoginWebView> webView_;
};
