#include "usercenter/screens/account/ZVSuUserVC.h"

#include "imagecache/setters/UIImageViewZVExtension.h"
#include "platform/device/UIPasteboard.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UINavigationController.h"
#include "platform/ui/UIStoryboard.h"
#include "platform/ui/UITabBarController.h"
#include "usercenter/core/CXRMessage.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/URLEncode.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVExternal.h"
#include "usercenter/core/ZVLoginAPI.h"
#include "usercenter/core/ZVNetwork.h"
#include "usercenter/core/ZVResponses.h"
#include "usercenter/core/ZVSuBangView.h"
#include "usercenter/screens/common/ZVButtonExtension.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/panels/ZVLoginRzView.h"
#include "usercenter/screens/panels/ZVLoginWebView.h"
#include "usercenter/screens/panels/ZVLoginWindowPanels.h"
#include "usercenter/screens/account/ZVSuSubNameVC.h"
#include "usercenter/screens/account/ZVSuBillVC.h"
#include "usercenter/screens/panels/ZVSuForgetView.h"
#include "usercenter/screens/account/ZVSuOrderVC.h"
#include "usercenter/screens/account/ZVSuWalletVC.h"
#include "usercenter/screens/shell/ZVScene.h"
#include "usercenter/screens/shell/ZVSuWebVC.h"
#include "usercenter/screens/account/ZVUserMsgVC.h"
#include "usercenter/screens/common/ZVLoadingNote.h"
#include "usercenter/screens/common/ZVViewExtension.h"

namespace {
const UIColor kDarkGrey = UIColor::darkGrayColor();
UIColor lightGrey() { return XTExtention::colorWithHexString("#999999"); }
}  // namespace

// ---- loading and filling

void ZVSuUserVC::viewDidLoad() {
    UIViewController::viewDidLoad();
    buildScene();
    _initUI();
}

void ZVSuUserVC::_initUI() {
    versionL->setText(ZVApi::kSdkVersion);
    onePic->setImage(ZVColor::imageWithColor(XTExtention::colorWithHexString(kHeaderColour)));
    autoLoginBtn->setSelected(!ShareVale::sharedInstance().isNotAutoLogin());
    suspendStatusBtn->setSelected(!ShareVale::sharedInstance().isHideSuspend);
    xiaohao_nickL->setText(ZVSuUserInfo::subAccountLine(ShareVale::sharedInstance().xiaohao_nickName));
    loadData();
}

void ZVSuUserVC::viewWillAppear(bool animated) {
    UIViewController::viewWillAppear(animated);
    if (auto nav = navigationController()) nav->setNavigationBarHidden(true, animated);
    if (std::exchange(isFirst_, true)) loadData();
}

void ZVSuUserVC::viewWillDisappear(bool animated) {
    UIViewController::viewWillDisappear(animated);
    if (auto nav = navigationController()) nav->setNavigationBarHidden(false, animated);
}

void ZVSuUserVC::viewDidLayoutSubviews() {
    UIViewController::viewDidLayoutSubviews();
    layoutScene();
    if (std::exchange(isLayout_, true)) return;
    Extension::setShadowWithCornerRadius(*userView, 10, 3, CGSize{0, 2});
    for (auto& v : {couponView, btnsView, infoView, setView}) Extension::setShadowWithRadius(*v, 10);
    std::weak_ptr<ZVSuUserVC> weak = std::static_pointer_cast<ZVSuUserVC>(sharedController());
    for (long tag = kBox; tag <= kReservations; ++tag) {
        auto b = std::dynamic_pointer_cast<UIButton>(btnsView->viewWithTag(tag));
        if (!b) continue;
        b->addAction(UIControlEventTouchUpInside, [weak, tag](UIControl&) {
            if (auto self = weak.lock()) self->goToOtherVC(tag);
        });
        b->layoutIfNeeded();  // the insets are worked out from the image's and title's laid-out sizes
        ZVButtonExtension::layoutButtonWithEdgeInsetsStyle(*b, int(ZVButtonEdgeInsetsStyle::ImageTop), 4);
    }
}

void ZVSuUserVC::loadData() {
    auto& share = ShareVale::sharedInstance();
    Value parameters = Value::dict({{"username", share.userName()},
                                    {"appid", share.appID()},
                                    {"gid", share.gameID()},
                                    {"xiaohao_id", share.xiaohao_id ? Value(*share.xiaohao_id) : Value("")},
                                    {"cpsId", share.chanelid()}});
    if (!loaded_) showPlaceholders(false);
    asking_ = true;
    std::weak_ptr<ZVSuUserVC> weak = std::static_pointer_cast<ZVSuUserVC>(sharedController());
    auto failed = [weak](const std::string& message) {
        auto self = weak.lock();
        if (!self) return;
        self->asking_ = false;
        CXRMessage::showMessage(message, self->view());
        if (!self->loaded_) self->showPlaceholders(true);
    };
    NetWorkManager::sharedInstance().PostCouponURL(
        ZVApi::kUserIndex, parameters,
        [weak, failed](const Value& reply) {
            auto self = weak.lock();
            if (!self) return;
            if (!ZVReplySucceeded(reply, "a")) return failed(ZVReplyMessage(reply, kZVServerErrorMessage));
            self->asking_ = false;
            self->dic_ = reply["c"];
            self->loaded_ = true;
            self->setUpUI();
        },
        [failed](const Error&) { failed(kZVServerErrorMessage); });
}

void ZVSuUserVC::showPlaceholders(bool failed) {
    // The balances' narrow columns take a short mark.
    auto place = [](const std::shared_ptr<UILabel>& l, const char* text) {
        l->setText(text);
        l->setTextColor(lightGrey());
    };
    place(nickL, failed ? ZVLoadingNote::kFailed : ZVLoadingNote::kLoading);
    for (auto& l : {couponMoneyL, mobileL, rzL}) place(l, failed ? kUnknownValue : ZVLoadingNote::kLoading);
    for (auto& l : {ptbL, djqL, xinL, walletL}) place(l, failed ? kUnknownValue : kPendingNumber);
    for (auto& l : {nameL, couponNumL}) l->setText("");
    view()->setNeedsLayout();
}

bool ZVSuUserVC::waitingForReply() {
    if (loaded_) return false;
    if (!asking_) loadData();  // the last request failed: a tap asks again
    CXRMessage::showMessage(kWaitForReply, view());
    return true;
}

void ZVSuUserVC::setUpUI() {
    auto info = ZVSuUserInfo::fromPayload(dic_);
    ZVExtension::setGameIconWithUrlStr(*iconView, info.avatar, "zv_noPic.png");
    bool vip = !info.vippic.empty();
    vipPic->setHidden(!vip);
    if (vip) ZVExtension::setGameIconWithUrlStr(*vipPic, info.vippic, "");
    payPicLeft->setConstant(vip ? kPayPicLeftWithVip : kPayPicLeftAlone);
    ZVExtension::setGameIconWithUrlStr(*payPic, info.paypic, "");
    xiaohao_nickL->setText(ZVSuUserInfo::subAccountLine(ShareVale::sharedInstance().xiaohao_nickName));
    nickL->setText(info.nickName);
    nameL->setText(info.account);
    ptbL->setText(info.ptb);
    djqL->setText(info.djq);
    xinL->setText(info.star);
    walletL->setText(info.wallet);
    for (auto& l : {nickL, ptbL, djqL, xinL, walletL}) l->setTextColor(UIColor::fromRGB(0x333333));
    couponMoneyL->setTextColor(UIColor::fromRGB(ZVSuUserVC::kCouponColour));
    setIsBang(info.isBang);
    setIsRz(info.isRz);
    couponMoneyL->setAttributedText(URLEncode::getPriceAttribute(info.couponMoney, UIFont::systemFontOfSize(14, UIFontWeight::Medium)));
    couponNumL->setText(info.couponCount);
    msgNumL->setHidden(info.unread < 1);
    msgNumL->setText(info.unread < 1 ? "" : std::to_string(info.unread));
    view()->setNeedsLayout();
}

void ZVSuUserVC::setIsBang(bool isBang) {
    isBang_ = isBang;
    mobileTitleL->setText(isBang ? "更换手机号" : "手机绑定");
    mobileL->setText(isBang ? dic_["uinfo"]["mobile"].textValue() : "去绑定");
    mobileL->setTextColor(isBang ? kDarkGrey : lightGrey());
}

void ZVSuUserVC::setIsRz(bool isRz) {
    isRz_ = isRz;
    rzL->setText(isRz ? "已认证" : "未认证");
    rzL->setTextColor(isRz ? kDarkGrey : lightGrey());
}

void ZVSuUserVC::messageRead() {
    int64_t left = ZVSuUserInfo::unreadAfterRead(msgNumL->text());
    msgNumL->setText(left > 0 ? std::to_string(left) : "");
    msgNumL->setHidden(left == 0);
}

// ---- screens it opens

void ZVSuUserVC::push(const std::shared_ptr<UIViewController>& vc) {
    if (auto nav = navigationController(); nav && vc) nav->pushViewController(vc, true);
}

void ZVSuUserVC::doShowWalletVC() {
    if (waitingForReply()) return;
    auto wallet = ZVScene<ZVSuWalletVC>("ZVSuWalletVC");
    if (wallet) wallet->dataDic = dic_["uinfo"];
    push(wallet);
}

void ZVSuUserVC::goToWebVc() {
    auto web = ZVScene<ZVSuWebVC>("ZVSuWebVC");
    if (!web) return;
    web->name = "用户头衔等级说明";
    web->url = ZVApi::baseURL() + ZVApi::kTitlePage;
    web->isShowSuperVc = true;
    push(web);
}

void ZVSuUserVC::goToOtherVC(long tag) {
    if (tag == kBox) {
        ZVExternal::openURL(ShareVale::sharedInstance().iosWapBoxUrl);
    } else if (tag == kMessages) {
        auto messages = std::make_shared<ZVUserMsgVC>();
        std::weak_ptr<ZVSuUserVC> weak = std::static_pointer_cast<ZVSuUserVC>(sharedController());
        messages->refreshBlock = [weak] {
            if (auto self = weak.lock()) self->messageRead();
        };
        push(messages);
    } else if (tag == kChat) {
        auto web = ZVScene<ZVSuWebVC>("ZVSuWebVC");
        if (!web) return;
        web->name = "智能客服";
        web->isShowSuperVc = true;
        web->url = ShareVale::sharedInstance().settings().chatURL + ZVApi::kChatPage;
        push(web);
    } else {
        push(std::make_shared<ZVSuOrderVC>());
    }
}

void ZVSuUserVC::goToCouponVc() { push(ZVScene<UIViewController>("ZVSuCouponVC")); }

void ZVSuUserVC::pushBill(bool isPtb, bool isStars) {
    auto bill = ZVScene<ZVSuBillVC>("ZVSuBillVC");
    if (!bill) return;
    bill->isPtb = isPtb;
    bill->isStars = isStars;
    push(bill);
}

void ZVSuUserVC::goToPtbVc() { pushBill(true, false); }
void ZVSuUserVC::goToBillVc() { pushBill(false, false); }
void ZVSuUserVC::goToStarsVc() { pushBill(false, true); }

void ZVSuUserVC::goToSubNameVC() {
    auto sub = ZVScene<ZVSuSubNameVC>("ZVSuSubNameVC");
    if (!sub) return;
    sub->iconUrl = dic_["uinfo"]["avatar"].textValue();
    std::weak_ptr<ZVSuUserVC> weak = std::static_pointer_cast<ZVSuUserVC>(sharedController());
    sub->logoutBlock = [weak] {
        if (auto self = weak.lock(); self && self->logoutBlock) self->logoutBlock();
    };
    push(sub);
}

// ---- panels

const std::shared_ptr<UIView>& ZVSuUserVC::coverView() {
    if (!coverView_) coverView_ = ZVPanelView::makeCover(view()->frame());
    return coverView_;
}

void ZVSuUserVC::showPanel(const std::shared_ptr<UIView>& panel) {
    if (!panel) return;
    auto& cover = coverView();
    cover->setFrame(view()->bounds());
    panel->setCenter(CGPoint{cover->bounds().width() / 2, cover->bounds().height() / 2});
    cover->addSubview(panel);
    view()->addSubview(cover);
}

const std::shared_ptr<ZVLoginRzView>& ZVSuUserVC::rzView() {
    if (rzView_) return rzView_;
    rzView_ = Extension::ViewFromXib<ZVLoginRzView>("ZVLoginRzView");
    if (!rzView_) return rzView_;
    rzView_->isShowCover = true;
    std::weak_ptr<ZVSuUserVC> weak = std::static_pointer_cast<ZVSuUserVC>(sharedController());
    rzView_->rzBlock = [weak] {
        auto self = weak.lock();
        if (!self) return;
        CXRMessage::showMessage("认证成功", self->view());
        self->setIsRz(true);
    };
    rzView_->goToDetail = [weak] {
        if (auto self = weak.lock()) self->goToDetailWebVc();
    };
    rzView_->goToReceive = [weak](const std::string& url) {
        if (auto self = weak.lock()) self->goToReceiveWebVcWithUrl(url);
    };
    return rzView_;
}

const std::shared_ptr<ZVSuForgetView>& ZVSuUserVC::forgetView() {
    if (!forgetView_) {
        forgetView_ = Extension::ViewFromXib<ZVSuForgetView>("ZVSuForgetView");
        if (forgetView_) forgetView_->isShowCover = true;
    }
    return forgetView_;
}

const std::shared_ptr<ZVSuBangView>& ZVSuUserVC::bangView() {
    if (bangView_) return bangView_;
    bangView_ = ZVSuBangView::ViewFromXib();
    std::weak_ptr<ZVSuUserVC> weak = std::static_pointer_cast<ZVSuUserVC>(sharedController());
    bangView_->backBlock = [weak](const std::string& masked) {
        auto self = weak.lock();
        if (!self) return;
        CXRMessage::showMessage("绑定成功", self->view());
        self->setIsBang(true);
        self->mobileL->setText(masked);
    };
    return bangView_;
}

const std::shared_ptr<ZVSuJieView>& ZVSuUserVC::jieView() {
    if (jieView_) return jieView_;
    jieView_ = Extension::ViewFromXib<ZVSuJieView>("ZVSuJieView");
    if (!jieView_) return jieView_;
    std::weak_ptr<ZVSuUserVC> weak = std::static_pointer_cast<ZVSuUserVC>(sharedController());
    jieView_->backBlock = [weak] {
        auto self = weak.lock();
        if (!self) return;
        CXRMessage::showMessage("解绑成功", self->view());
        self->setIsBang(false);
    };
    return jieView_;
}

const std::shared_ptr<ZVLoginWebView>& ZVSuUserVC::webView() {
    if (!webView_) webView_ = Extension::ViewFromXib<ZVLoginWebView>("ZVLoginWebView");
    return webView_;
}

void ZVSuUserVC::showBangView() {
    if (waitingForReply()) return;
    if (isBang_) showPanel(jieView());
    else showPanel(bangView());
}

void ZVSuUserVC::goToRz() {
    if (waitingForReply()) return;
    if (!isRz_) showPanel(rzView());
}

void ZVSuUserVC::showForgetView() {
    if (waitingForReply()) return;
    if (mobileL->text() == "去绑定") return CXRMessage::showMessage("请先绑定手机号", view());
    showPanel(forgetView());
}

bool ZVSuUserVC::closeTopPanel() {
    if (webView_ && webView_->superview()) {
        webView_->goBack();
        return true;
    }
    if (!coverView_ || !coverView_->superview()) return false;
    if (rzView_ && rzView_->superview() == coverView_) rzView_->doClose();
    else if (forgetView_ && forgetView_->superview() == coverView_) forgetView_->doClose();
    else if (jieView_ && jieView_->superview() == coverView_) jieView_->doClose();
    else if (bangView_ && bangView_->superview() == coverView_) bangView_->close();
    else coverView_->removeFromSuperview();
    return true;
}

void ZVSuUserVC::goToDetailWebVc() {
    if (auto rz = rzView())
        ZVLoginWindowPanels::showWebPanel(webView_, *rz, "防沉迷系统详情", ZVApi::baseURL() + ZVApi::kAntiAddictionPage, false);
}

void ZVSuUserVC::goToReceiveWebVcWithUrl(const std::string& url) {
    if (auto rz = rzView()) ZVLoginWindowPanels::showWebPanel(webView_, *rz, "实名奖励领取", url, true);
}

// ---- account actions

void ZVSuUserVC::doCopy() {
    if (waitingForReply()) return;
    const Value& uinfo = dic_["uinfo"];
    UIPasteboard::generalPasteboard().setString("账号：" + uinfo["user_login"].textValue() + "\n" +
                                                ShareVale::sharedInstance().xiaohao_nickName);
    std::weak_ptr<ZVSuUserVC> weak = std::static_pointer_cast<ZVSuUserVC>(sharedController());
    DispatchQueue::main()->asyncAfter(std::chrono::milliseconds(100), [weak] {
        if (auto self = weak.lock()) CXRMessage::showMessage("账号复制成功", self->view());
    });
}

void ZVSuUserVC::doAutoLoginBtnClick() {
    autoLoginBtn->setSelected(!autoLoginBtn->isSelected());
    ShareVale::sharedInstance().setIsNotAutoLogin(!autoLoginBtn->isSelected());
}

void ZVSuUserVC::doShowOrHideSuspenBtn() {
    // Turning it back on changes only the switch (the setting stays until the game starts again).
    if (!suspendStatusBtn->isSelected()) return suspendStatusBtn->setSelected(true);
    auto alert = UIAlertController::alertControllerWithTitle(
        "温馨提示", "确定关闭悬浮窗？关闭后需要重新启动游戏才能显示悬浮窗", UIAlertControllerStyle::Alert);
    std::weak_ptr<ZVSuUserVC> weak = std::static_pointer_cast<ZVSuUserVC>(sharedController());
    alert->addAction(UIAlertAction::actionWithTitle("确定", UIAlertActionStyle::Default, [weak](UIAlertAction&) {
        auto self = weak.lock();
        if (!self) return;
        self->suspendStatusBtn->setSelected(false);
        ShareVale::sharedInstance().isHideSuspend = true;
    }));
    alert->addAction(UIAlertAction::actionWithTitle("取消", UIAlertActionStyle::Cancel));
    // Presented from the user centre itself, whose dismiss rule lets an alert go.
    auto presenter = tabBarController() ? std::static_pointer_cast<UIViewController>(tabBarController()) : sharedController();
    presenter->presentViewController(alert, true);
}

void ZVSuUserVC::doLogout() {
    if (logoutBlock) logoutBlock();
}

void ZVSuUserVC::goBack() {
    if (backBlock) backBlock();
}
