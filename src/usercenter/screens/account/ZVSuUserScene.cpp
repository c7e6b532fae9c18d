// The account page's scene, built in code as its storyboard would hold it:
// the purple header with the account card over it, then the coupon,
// shortcut, account and settings cards and the logout button, in one
// scroll view that ends above the tab bar. The title and "关闭" sit in a
// purple bar over the scroll view, so they stay in reach however far the
// page is scrolled.

#include <vector>

#include "platform/ui/UIGestureRecognizer.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/screens/common/ZVButtonExtension.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/account/ZVSuUserVC.h"
#include "usercenter/screens/common/ZVViewExtension.h"

namespace {

constexpr double kSide = 15, kGap = 12, kRow = 50;
constexpr double kCardHeight = 176, kCouponHeight = 64, kButtonsHeight = 88;

std::shared_ptr<UILabel> label(UIView& parent, double size, uint32_t colour, UIFontWeight weight = UIFontWeight::Regular,
                               NSTextAlignment alignment = NSTextAlignment::Left) {
    auto l = std::make_shared<UILabel>();
    l->setFont(UIFont::systemFontOfSize(size, weight));
    l->setTextColor(UIColor::fromRGB(colour));
    l->setTextAlignment(alignment);
    parent.addSubview(l);
    return l;
}

std::shared_ptr<UIView> card(UIView& parent) {
    auto v = std::make_shared<UIView>();
    v->setBackgroundColor(UIColor::whiteColor());
    parent.addSubview(v);
    return v;
}

// A clear button over a row or column: what the player taps.
std::shared_ptr<UIButton> tapArea(UIView& parent, const std::string& identifier) {
    auto b = UIButton::buttonWithType(UIButtonType::Custom);
    b->setAccessibilityIdentifier(identifier);
    parent.addSubview(b);
    return b;
}

std::shared_ptr<UIButton> switchButton(UIView& parent, const std::string& identifier) {
    auto b = UIButton::buttonWithType(UIButtonType::Custom);
    b->setImage(ZVColor::sdkImageNamed("zv_user_switch0.png"), UIControlStateNormal);
    b->setImage(ZVColor::sdkImageNamed("zv_user_switch1.png"), UIControlStateSelected);
    b->setAccessibilityIdentifier(identifier);
    parent.addSubview(b);
    return b;
}

// Tags of a card's rows: titles from 50, separators from 60, arrows from 70, tap areas from 40.
enum : long { kTitleTag = 50, kLineTag = 60, kArrowTag = 70, kRowTapTag = 40 };

// Three rows of a card, separated by lines.
std::vector<std::shared_ptr<UILabel>> rows(UIView& parent, std::vector<std::string> titles) {
    std::vector<std::shared_ptr<UILabel>> out;
    for (size_t i = 0; i < titles.size(); ++i) {
        auto title = label(parent, 15, 0x333333);
        title->setText(titles[i]);
        title->setTag(kTitleTag + long(i));
        out.push_back(title);
        if (i + 1 == titles.size()) continue;
        auto line = std::make_shared<UIView>();
        line->setBackgroundColor(UIColor::fromRGB(0xF0F0F0));
        line->setTag(kLineTag + long(i));
        parent.addSubview(line);
    }
    return out;
}

void layRows(UIView& card, CGRect frame) {
    card.setFrame(frame);
    for (long i = 0; i < 3; ++i) {
        if (auto title = card.viewWithTag(kTitleTag + i)) title->setFrame(CGRect(15, kRow * double(i), 150, kRow));
        if (auto line = card.viewWithTag(kLineTag + i)) line->setFrame(CGRect(15, kRow * double(i + 1) - 0.5, frame.width() - 30, 0.5));
        if (auto arrow = card.viewWithTag(kArrowTag + i)) arrow->setFrame(CGRect(frame.width() - 27, kRow * double(i), 12, kRow));
        if (auto tap = card.viewWithTag(kRowTapTag + i)) tap->setFrame(CGRect(0, kRow * double(i), frame.width(), kRow));
    }
}

template <class F>
void onTap(const std::shared_ptr<UIButton>& b, std::weak_ptr<ZVSuUserVC> weak, F action) {
    b->addAction(UIControlEventTouchUpInside, [weak, action](UIControl&) {
        if (auto self = weak.lock()) action(*self);
    });
}

}  // namespace

void ZVSuUserVC::buildScene() {
    auto root = view();
    root->setBackgroundColor(UIColor::fromRGB(0xF5F6FA));
    scrollView = std::make_shared<UIScrollView>();
    scrollView->showsVerticalScrollIndicator = false;
    scrollView->setAccessibilityIdentifier("user_scroll");
    root->addSubview(scrollView);
    auto& s = *scrollView;

    onePic = std::make_shared<UIImageView>();
    s.addSubview(onePic);
    titleBar = std::make_shared<UIView>();
    titleBar->setBackgroundColor(XTExtention::colorWithHexString(kHeaderColour));
    titleBar->setAccessibilityIdentifier("user_title_bar");
    root->addSubview(titleBar);
    auto title = label(*titleBar, 17, 0xFFFFFF, UIFontWeight::Medium, NSTextAlignment::Center);
    title->setText("我的");
    title->setAccessibilityIdentifier("user_title");
    closeBtn = UIButton::buttonWithType(UIButtonType::Custom);
    closeBtn->setTitle("关闭", UIControlStateNormal);
    closeBtn->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    closeBtn->titleLabel()->setFont(UIFont::systemFontOfSize(15));
    titleBar->addSubview(closeBtn);

    // The account card: avatar, nickname, badges, account and sub-account, balances.
    userView = card(s);
    iconView = std::make_shared<UIImageView>();
    iconView->setBackgroundColor(UIColor::fromRGB(0xEEEEEE));
    iconView->layer()->setCornerRadius(30);
    iconView->setClipsToBounds(true);
    userView->addSubview(iconView);
    nickL = label(*userView, 17, 0x333333, UIFontWeight::Medium);
    vipPic = std::make_shared<UIImageView>();
    payPic = std::make_shared<UIImageView>();
    payPic->setAccessibilityIdentifier("user_paypic");
    payPic->setUserInteractionEnabled(true);  // its tap opens the title page
    userView->addSubview(vipPic);
    userView->addSubview(payPic);
    payPicLeft = std::make_shared<NSLayoutConstraint>(kPayPicLeftWithVip, root);  // the page lays the card out
    nameL = label(*userView, 12, 0x666666);
    xiaohao_nickL = label(*userView, 12, 0x666666);
    copyBtn = UIButton::buttonWithType(UIButtonType::Custom);
    copyBtn->setTitle("复制", UIControlStateNormal);
    copyBtn->setTitleColor(XTExtention::colorWithHexString(kHeaderColour), UIControlStateNormal);
    copyBtn->titleLabel()->setFont(UIFont::systemFontOfSize(12));
    copyBtn->layer()->setBorderWidth(1);
    copyBtn->layer()->setBorderColor(XTExtention::colorWithHexString(kHeaderColour));
    copyBtn->layer()->setCornerRadius(11);
    userView->addSubview(copyBtn);
    subNameBtn = UIButton::buttonWithType(UIButtonType::Custom);
    subNameBtn->setTitle("切换小号 ›", UIControlStateNormal);
    subNameBtn->setTitleColor(XTExtention::colorWithHexString(kHeaderColour), UIControlStateNormal);
    subNameBtn->titleLabel()->setFont(UIFont::systemFontOfSize(12));
    userView->addSubview(subNameBtn);
    auto line = std::make_shared<UIView>();
    line->setBackgroundColor(UIColor::fromRGB(0xF0F0F0));
    line->setTag(1);
    userView->addSubview(line);
    const char* names[] = {"平台币", "代金券", "星币", "钱包"};
    std::shared_ptr<UILabel>* values[] = {&ptbL, &djqL, &xinL, &walletL};
    for (int i = 0; i < 4; ++i) {
        *values[i] = label(*userView, 17, 0x333333, UIFontWeight::Semibold, NSTextAlignment::Center);
        (*values[i])->adjustsFontSizeToFitWidth = true;  // a wallet of millions still shows in full
        (*values[i])->minimumScaleFactor = 0.5;
        auto name = label(*userView, 12, 0x999999, UIFontWeight::Regular, NSTextAlignment::Center);
        name->setText(names[i]);
        name->setTag(20 + i);
    }
    for (int i = 0; i < 4; ++i) tapArea(*userView, "user_balance")->setTag(30 + i);

    // The coupon card.
    couponView = card(s);
    auto couponTitle = label(*couponView, 15, 0x333333, UIFontWeight::Medium);
    couponTitle->setText("抵扣券");
    couponTitle->setTag(2);
    couponMoneyL = label(*couponView, 14, kCouponColour, UIFontWeight::Medium);
    couponNumL = label(*couponView, 12, 0x999999);
    auto more = label(*couponView, 14, 0x6036E7, UIFontWeight::Regular, NSTextAlignment::Right);
    more->setText("去领取 ›");
    more->setTag(1);
    tapArea(*couponView, "user_coupon")->setTag(3);

    // The shortcuts, tags 10 to 13, and the unread badge.
    btnsView = card(s);
    const char* shortcuts[][2] = {{"盒子", "zv_user_box.png"}, {"消息", "zv_user_msg.png"},
                                  {"客服", "zv_user_chat.png"}, {"预约", "zv_user_order.png"}};
    for (long i = 0; i < 4; ++i) {
        auto b = UIButton::buttonWithType(UIButtonType::Custom);
        b->setTag(kBox + i);
        b->setTitle(shortcuts[i][0], UIControlStateNormal);
        b->setImage(ZVColor::sdkImageNamed(shortcuts[i][1]), UIControlStateNormal);
        b->setTitleColor(UIColor::fromRGB(0x333333), UIControlStateNormal);
        b->titleLabel()->setFont(UIFont::systemFontOfSize(12));
        btnsView->addSubview(b);
    }
    msgNumL = label(*btnsView, 11, 0xFFFFFF, UIFontWeight::Medium, NSTextAlignment::Center);
    msgNumL->setBackgroundColor(UIColor::fromRGB(0xFF4D4F));
    msgNumL->layer()->setCornerRadius(9);
    msgNumL->setClipsToBounds(true);
    msgNumL->setUserInteractionEnabled(false);
    msgNumL->setHidden(true);

    // The account rows: phone, real name, password.
    infoView = card(s);
    mobileTitleL = rows(*infoView, {"手机绑定", "实名认证", "修改密码"}).front();
    mobileL = label(*infoView, 14, 0x999999, UIFontWeight::Regular, NSTextAlignment::Right);
    rzL = label(*infoView, 14, 0x999999, UIFontWeight::Regular, NSTextAlignment::Right);
    for (long i = 0; i < 3; ++i) {
        auto arrow = label(*infoView, 16, 0xCCCCCC);
        arrow->setText("›");
        arrow->setTag(kArrowTag + i);
    }
    for (long i = 0; i < 3; ++i) tapArea(*infoView, "user_info_row")->setTag(kRowTapTag + i);

    // The settings: the two switches and the version.
    setView = card(s);
    rows(*setView, {"自动登录", "显示悬浮窗", "SDK版本"});
    autoLoginBtn = switchButton(*setView, "user_autologin");
    suspendStatusBtn = switchButton(*setView, "user_suspend");
    versionL = label(*setView, 14, 0x999999, UIFontWeight::Regular, NSTextAlignment::Right);

    logoutBtn = UIButton::buttonWithType(UIButtonType::Custom);
    logoutBtn->setTitle("退出登录", UIControlStateNormal);
    logoutBtn->setTitleColor(UIColor::fromRGB(0xFF4D4F), UIControlStateNormal);
    logoutBtn->titleLabel()->setFont(UIFont::systemFontOfSize(16));
    logoutBtn->setBackgroundColor(UIColor::whiteColor());
    logoutBtn->layer()->setCornerRadius(22);
    s.addSubview(logoutBtn);
    wireScene();
}

void ZVSuUserVC::wireScene() {
    std::weak_ptr<ZVSuUserVC> weak = std::static_pointer_cast<ZVSuUserVC>(sharedController());
    onTap(closeBtn, weak, [](ZVSuUserVC& vc) { vc.goBack(); });
    onTap(logoutBtn, weak, [](ZVSuUserVC& vc) { vc.doLogout(); });
    onTap(copyBtn, weak, [](ZVSuUserVC& vc) { vc.doCopy(); });
    onTap(subNameBtn, weak, [](ZVSuUserVC& vc) { vc.goToSubNameVC(); });
    onTap(autoLoginBtn, weak, [](ZVSuUserVC& vc) { vc.doAutoLoginBtnClick(); });
    onTap(suspendStatusBtn, weak, [](ZVSuUserVC& vc) { vc.doShowOrHideSuspenBtn(); });
    void (ZVSuUserVC::*balances[])() = {&ZVSuUserVC::goToPtbVc, &ZVSuUserVC::goToBillVc, &ZVSuUserVC::goToStarsVc,
                                        &ZVSuUserVC::doShowWalletVC};
    void (ZVSuUserVC::*rows[])() = {&ZVSuUserVC::showBangView, &ZVSuUserVC::goToRz, &ZVSuUserVC::showForgetView};
    for (int i = 0; i < 4; ++i)
        if (auto b = std::dynamic_pointer_cast<UIButton>(userView->viewWithTag(30 + i)))
            onTap(b, weak, [action = balances[i]](ZVSuUserVC& vc) { (vc.*action)(); });
    for (int i = 0; i < 3; ++i)
        if (auto b = std::dynamic_pointer_cast<UIButton>(infoView->viewWithTag(kRowTapTag + i)))
            onTap(b, weak, [action = rows[i]](ZVSuUserVC& vc) { (vc.*action)(); });
    if (auto b = std::dynamic_pointer_cast<UIButton>(couponView->viewWithTag(3)))
        onTap(b, weak, [](ZVSuUserVC& vc) { vc.goToCouponVc(); });
    payPic->addGestureRecognizer(std::make_shared<UITapGestureRecognizer>([weak](UIGestureRecognizer&) {
        if (auto self = weak.lock()) self->goToWebVc();
    }));
}

void ZVSuUserVC::layoutScene() {
    auto& screen = UIScreen::mainScreen();
    double w = view()->bounds().width(), h = view()->bounds().height(), top = screen.statusBarHeight();
    double cw = w - 2 * kSide;
    scrollView->setFrame(CGRect(0, 0, w, h));
    onePic->setFrame(CGRect(0, 0, w, top + 150));
    titleBar->setFrame(CGRect(0, 0, w, top + 44));
    for (auto& v : titleBar->subviews())
        if (v->accessibilityIdentifier() == "user_title") v->setFrame(CGRect(80, top, w - 160, 44));
    closeBtn->setFrame(CGRect(w - kSide - 50, top, 50, 44));

    userView->setFrame(CGRect(kSide, top + 52, cw, kCardHeight));
    iconView->setFrame(CGRect(15, 15, 60, 60));
    nickL->setFrame(CGRect(87, 14, cw - 87 - 15, 24));
    vipPic->setFrame(CGRect(87, 41, 50, 18));
    payPic->setFrame(CGRect(87 + payPicLeft->constant(), 41, 50, 18));
    nameL->setFrame(CGRect(87, 64, cw - 87 - 70, 18));
    copyBtn->setFrame(CGRect(cw - 15 - 44, 62, 44, 22));
    xiaohao_nickL->setFrame(CGRect(15, 88, cw - 15 - 100, 20));
    subNameBtn->setFrame(CGRect(cw - 15 - 80, 86, 80, 24));
    userView->viewWithTag(1)->setFrame(CGRect(15, 116, cw - 30, 0.5));
    double column = cw / 4;
    std::shared_ptr<UILabel> values[] = {ptbL, djqL, xinL, walletL};
    for (int i = 0; i < 4; ++i) {
        values[i]->setFrame(CGRect(column * i, 124, column, 24));
        userView->viewWithTag(20 + i)->setFrame(CGRect(column * i, 150, column, 16));
        userView->viewWithTag(30 + i)->setFrame(CGRect(column * i, 118, column, kCardHeight - 118));
    }

    double y = Extension::bottom(*userView) + kGap;
    couponView->setFrame(CGRect(kSide, y, cw, kCouponHeight));
    couponView->viewWithTag(2)->setFrame(CGRect(15, 10, 100, 20));
    couponMoneyL->setFrame(CGRect(15, 34, 120, 20));
    couponNumL->setFrame(CGRect(135, 36, 80, 18));
    couponView->viewWithTag(1)->setFrame(CGRect(cw - 15 - 80, 0, 80, kCouponHeight));
    couponView->viewWithTag(3)->setFrame(couponView->bounds());

    y = Extension::bottom(*couponView) + kGap;
    btnsView->setFrame(CGRect(kSide, y, cw, kButtonsHeight));
    for (long i = 0; i < 4; ++i) {
        auto b = std::dynamic_pointer_cast<UIButton>(btnsView->viewWithTag(kBox + i));
        b->setFrame(CGRect(column * double(i), 0, column, kButtonsHeight));
    }
    msgNumL->setFrame(CGRect(column * 1.5 + 8, 12, 18, 18));

    y = Extension::bottom(*btnsView) + kGap;
    layRows(*infoView, CGRect(kSide, y, cw, 3 * kRow));
    mobileL->setFrame(CGRect(cw - 35 - 180, 0, 180, kRow));
    rzL->setFrame(CGRect(cw - 35 - 180, kRow, 180, kRow));

    y = Extension::bottom(*infoView) + kGap;
    layRows(*setView, CGRect(kSide, y, cw, 3 * kRow));
    autoLoginBtn->setFrame(CGRect(cw - 15 - 46, (kRow - 26) / 2, 46, 26));
    suspendStatusBtn->setFrame(CGRect(cw - 15 - 46, kRow + (kRow - 26) / 2, 46, 26));
    versionL->setFrame(CGRect(cw - 15 - 120, kRow * 2, 120, kRow));

    y = Extension::bottom(*setView) + 20;
    logoutBtn->setFrame(CGRect(kSide, y, cw, 44));
    scrollView->setContentSize(CGSize{w, Extension::bottom(*logoutBtn) + 20 + screen.tabBarHeight()});
}
