#include "usercenter/screens/panels/ZVSuForgetView.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Strings.h"
#include "usercenter/core/CXRMessage.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVLoginAPI.h"
#include "usercenter/core/ZVNetwork.h"
#include "usercenter/core/ZVResponses.h"
#include "usercenter/core/ZVScreenWindow.h"

namespace {
constexpr double kSide = 20, kRow = 42;
constexpr double kFieldWidth = ZVPanelView::kWidth - 2 * kSide;

template <class Panel>
void onTap(const std::shared_ptr<UIButton>& button, const std::shared_ptr<Panel>& panel, void (Panel::*action)()) {
    std::weak_ptr<Panel> weak = panel;
    button->addAction(UIControlEventTouchUpInside, [weak, action](UIControl&) {
        if (auto self = weak.lock()) ((*self).*action)();
    });
}

std::shared_ptr<UIButton> commitButton(UIView& panel, const std::string& title, double top) {
    auto b = ZVStyle::actionButton(title);
    b->setFrame(CGRect(kSide, top, kFieldWidth, 44));
    b->layer()->setCornerRadius(22);
    panel.addSubview(b);
    return b;
}
}  // namespace

// ---- ZVSuForgetView

std::shared_ptr<ZVSuForgetView> ZVSuForgetView::fromNib() {
    auto v = std::make_shared<ZVSuForgetView>();
    v->build();
    return v;
}

void ZVSuForgetView::awakeFromNib() {
    setAccessibilityIdentifier("forget_view");
    makeTitle("找回密码");
    closeBtn = makeCloseButton();
    numF = makeField("请输入绑定的手机号", CGRect(kSide, 58, kFieldWidth, kRow));
    numF->keyboardType = UIKeyboardType::PhonePad;
    pwdF = makeField("请输入新密码（不少于6位）", CGRect(kSide, 112, kFieldWidth, kRow));
    pwdF->setSecureTextEntry(true);
    pwdF->rightView = pwdBtn = UIButton::buttonWithType(UIButtonType::Custom);
    pwdF->rightViewMode = UITextFieldViewMode::Always;
    pwdBtn->setFrame(CGRect(0, 0, 48, kRow));
    pwdBtn->setTitle("显示", UIControlStateNormal);
    pwdBtn->setTitle("隐藏", UIControlStateSelected);
    pwdBtn->setTitleColor(ZVStyle::blue(), UIControlStateNormal);
    pwdBtn->titleLabel()->setFont(UIFont::systemFontOfSize(13));
    codeF = makeField("请输入验证码", CGRect(kSide, 166, kFieldWidth - 112, kRow));
    codeF->keyboardType = UIKeyboardType::NumberPad;
    codeBtn = makeCodeButton(CGRect(kWidth - kSide - 100, 166, 100, kRow));
    commitBtn = commitButton(*this, "确认修改", 232);
    returnOrder = {numF, pwdF, codeF};

    auto self = std::static_pointer_cast<ZVSuForgetView>(sharedView());
    onTap<ZVSuForgetView>(closeBtn, self, &ZVSuForgetView::doClose);
    onTap<ZVSuForgetView>(codeBtn, self, &ZVSuForgetView::doSendCode);
    onTap<ZVSuForgetView>(pwdBtn, self, &ZVSuForgetView::showPwdOrHide);
    onTap<ZVSuForgetView>(commitBtn, self, &ZVSuForgetView::doCommit);
}

void ZVSuForgetView::doSendCode() { requestCode(codeBtn, numF->text(), "", "5"); }

void ZVSuForgetView::showPwdOrHide() {
    pwdBtn->setSelected(!pwdBtn->isSelected());
    pwdF->setSecureTextEntry(!pwdBtn->isSelected());
}

bool ZVSuForgetView::isOK() {
    const char* problem = strings::utf16Length(numF->text()) != 11  ? "请输入正确的手机号"
                          : strings::utf16Length(pwdF->text()) < 6 ? "密码不少于6位"
                          : codeF->text().empty()                  ? "请输入验证码"
                                                                   : nullptr;
    if (problem) CXRMessage::showMessage(problem, sharedView());
    return !problem;
}

void ZVSuForgetView::doCommit() {
    if (!isOK()) return;
    Value parameters = Value::dict({{"phone", numF->text()}, {"yzm", codeF->text()}, {"password", pwdF->text()}});
    std::weak_ptr<ZVSuForgetView> weak = std::static_pointer_cast<ZVSuForgetView>(sharedView());
    NetWorkManager::sharedInstance().PostCouponURL(
        ZVApi::kForgetPassword, parameters,
        [weak](const Value& reply) {
            auto self = weak.lock();
            if (!self) return;
            CXRMessage::showMessage(ZVReplyMessage(reply, ""), self);
            if (!ZVReplySucceeded(reply, "a")) return;
            DispatchQueue::main()->asyncAfter(std::chrono::milliseconds(int(kCloseDelay * 1000)), [weak] {
                if (auto self = weak.lock()) self->doClose();
            });
        },
        [weak](const Error&) {
            if (auto self = weak.lock()) CXRMessage::showMessage(kZVServerErrorMessage, self);
        });
}

void ZVSuForgetView::doClose() {
    numF->setText("");
    pwdF->setText("");
    codeF->setText("");
    removePanel(isShowCover);
}

// ---- ZVSuJieView

std::shared_ptr<ZVSuJieView> ZVSuJieView::fromNib() {
    auto v = std::make_shared<ZVSuJieView>();
    v->build();
    return v;
}

void ZVSuJieView::awakeFromNib() {
    setAccessibilityIdentifier("jie_view");
    makeTitle("解绑手机");
    closeBtn = makeCloseButton();
    auto notice = std::make_shared<UILabel>(CGRect(kSide, 50, kFieldWidth, 22));
    notice->setText("验证码将发送到账号绑定的手机");
    notice->setFont(UIFont::systemFontOfSize(13));
    notice->setTextColor(ZVStyle::textGray());
    addSubview(notice);
    codeF = makeField("请输入验证码", CGRect(kSide, 84, kFieldWidth - 112, kRow));
    codeF->keyboardType = UIKeyboardType::NumberPad;
    codeBtn = makeCodeButton(CGRect(kWidth - kSide - 100, 84, 100, kRow));
    commitBtn = commitButton(*this, "确认解绑", 158);
    returnOrder = {codeF};
    isShowCover = true;

    auto self = std::static_pointer_cast<ZVSuJieView>(sharedView());
    onTap<ZVSuJieView>(closeBtn, self, &ZVSuJieView::doClose);
    onTap<ZVSuJieView>(codeBtn, self, &ZVSuJieView::doGetCode);
    onTap<ZVSuJieView>(commitBtn, self, &ZVSuJieView::doCommit);
}

void ZVSuJieView::doGetCode() { requestCode(codeBtn, "", ShareVale::sharedInstance().userName(), "7"); }

void ZVSuJieView::doCommit() {
    if (codeF->text().empty()) return CXRMessage::showMessage("请输入验证码", sharedView());
    endEditing(true);
    auto& share = ShareVale::sharedInstance();
    Value parameters = Value::dict(
        {{"code", codeF->text()}, {"username", share.userName()}, {"cpsId", share.chanelid()}, {"appid", share.appID()}});
    std::weak_ptr<ZVSuJieView> weak = std::static_pointer_cast<ZVSuJieView>(sharedView());
    NetWorkManager::sharedInstance().PostCouponURL(
        ZVApi::kUnbindPhone, parameters,
        [weak](const Value& reply) {
            auto self = weak.lock();
            if (!self) return;
            if (!ZVReplySucceeded(reply, "a")) return CXRMessage::showMessage(ZVReplyMessage(reply, ""), self);
            if (auto block = self->backBlock) block();
            self->doClose();
        },
        [weak](const Error&) {
            if (auto self = weak.lock()) CXRMessage::showMessage(kZVServerErrorMessage, self);
        });
}

void ZVSuJieView::doClose() {
    codeF->setText("");
    removePanel(true);
}
