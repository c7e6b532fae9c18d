#include "usercenter/screens/panels/ZVLoginRzView.h"

#include "logging/VLLog.h"
#include "usercenter/core/CXRMessage.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVExternal.h"
#include "usercenter/core/ZVLoginAPI.h"
#include "usercenter/core/ZVScreenWindow.h"
#include "usercenter/screens/common/ZVColorExtension.h"

namespace {
constexpr double kFieldSide = 20, kFieldHeight = 42, kButtonHeight = 44;

std::shared_ptr<UIButton> linkButton(const std::string& title) {
    auto b = UIButton::buttonWithType(UIButtonType::Custom);
    b->setTitle(title, UIControlStateNormal);
    b->setTitleColor(ZVStyle::blue(), UIControlStateNormal);
    b->titleLabel()->setFont(UIFont::systemFontOfSize(13));
    return b;
}
}  // namespace

// ---- ZVRealNameForm

void ZVRealNameForm::buildForm(double fieldsTop, double buttonsTop) {
    makeTitle("实名认证");
    double width = ZVPanelView::kWidth - 2 * kFieldSide;
    nameF = makeField("请输入真实姓名", CGRect(kFieldSide, fieldsTop, width, kFieldHeight));
    nameF->setAccessibilityIdentifier("rz_name");
    nameF->returnKeyType = UIReturnKeyType::Next;
    codeF = makeField("请输入身份证号", CGRect(kFieldSide, fieldsTop + 52, width, kFieldHeight));
    codeF->setAccessibilityIdentifier("rz_code");
    codeF->returnKeyType = UIReturnKeyType::Done;
    returnOrder = {nameF, codeF};

    closeBtn = UIButton::buttonWithType(UIButtonType::Custom);
    closeBtn->setFrame(CGRect(ZVLoginRzView::kSide, buttonsTop, 127.5, kButtonHeight));
    closeBtn->setTitle("暂不认证", UIControlStateNormal);
    closeBtn->setTitleColor(UIColor::fromRGB(0x999999), UIControlStateNormal);
    closeBtn->titleLabel()->setFont(UIFont::systemFontOfSize(16));
    closeBtn->layer()->setBorderWidth(1);
    closeBtn->layer()->setCornerRadius(kButtonHeight / 2);
    closeBtn->setAccessibilityIdentifier("rz_close");
    addSubview(closeBtn);
    rzBtn = ZVStyle::actionButton("立即认证");
    rzBtn->layer()->setCornerRadius(kButtonHeight / 2);
    rzBtn->setFrame(CGRect(ZVLoginRzView::kSide, buttonsTop, ZVPanelView::kWidth - 2 * ZVLoginRzView::kSide, kButtonHeight));
    rzBtn->setAccessibilityIdentifier("rz_commit");
    addSubview(rzBtn);

    std::weak_ptr<ZVRealNameForm> weak = std::static_pointer_cast<ZVRealNameForm>(sharedView());
    closeBtn->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->doClose();
    });
    rzBtn->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->doCommit();
    });
}

bool ZVRealNameForm::isOK() {
    if (nameF->text().empty()) return CXRMessage::showMessage("请输入姓名", sharedView()), false;
    if (codeF->text().empty()) return CXRMessage::showMessage("请输入身份证号", sharedView()), false;
    return true;
}

void ZVRealNameForm::emptyFields() {
    nameF->setText("");
    codeF->setText("");
}

void ZVRealNameForm::doCommit() {
    if (busy_ || !isOK()) return;
    busy_ = true;
    std::weak_ptr<ZVRealNameForm> weak = std::static_pointer_cast<ZVRealNameForm>(sharedView());
    ZVLoginAPI::postRealNameToServerWithRealName(
        nameF->text(), codeF->text(),
        [weak](const rzResult& r) {
            auto self = weak.lock();
            if (!self) return;
            self->busy_ = false;
            ShareVale::sharedInstance().setIsRz(r.rzStatus);
            if (auto login = self->loginData) {
                login->isMustRZ = r.isMustRZ;
                login->lmitTime = r.lmitTime;
                login->rzStatus = r.rzStatus;
            }
            // Once: the close that follows runs nothing more.
            if (auto block = self->rzBlock) block();
            self->emptyFields();
            self->removePanel(self->isShowCover);
        },
        [weak](const std::string& message) {
            VLLogWarn("ZVLoginRzView: the real-name check failed: %s", message.c_str());
            auto self = weak.lock();
            if (!self) return;
            self->busy_ = false;
            CXRMessage::showMessage(message, self);
        });
}

void ZVRealNameForm::doClose() {
    emptyFields();
    if (!isShowCover)
        if (auto block = rzBlock) block();
    removePanel(isShowCover);
}

// ---- ZVLoginRzView

std::shared_ptr<ZVLoginRzView> ZVLoginRzView::fromNib() {
    auto v = std::make_shared<ZVLoginRzView>();
    v->build();
    return v;
}

void ZVLoginRzView::awakeFromNib() {
    setAccessibilityIdentifier("rz_view");
    auto notice = std::make_shared<UILabel>(CGRect(kFieldSide, 46, kWidth - 2 * kFieldSide, 42));
    notice->setText("根据国家规定，游戏用户需完成实名认证，未成年人将受防沉迷限制");
    notice->setFont(UIFont::systemFontOfSize(13));
    notice->setTextColor(ZVStyle::textGray());
    notice->setNumberOfLines(2);
    addSubview(notice);
    buildForm(96, kButtonsTop);
    ZVColor::setBorderUIColor(*closeBtn->layer(), XTExtention::colorWithHexString("#999999"));

    detailBtn = linkButton("防沉迷系统详情");
    detailBtn->setFrame(CGRect(kFieldSide, 202, 110, 28));
    receiveBtn = linkButton("实名认证领奖励");
    receiveBtn->setFrame(CGRect(kWidth - kFieldSide - 110, 202, 110, 28));
    addSubview(detailBtn);
    addSubview(receiveBtn);
    std::weak_ptr<ZVLoginRzView> weak = std::static_pointer_cast<ZVLoginRzView>(sharedView());
    detailBtn->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->showDetail();
    });
    receiveBtn->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->doReceive();
    });
}

void ZVLoginRzView::setLoginData(std::shared_ptr<LoginResult> login) {
    loginData = std::move(login);
    bool must = loginData && loginData->isMustRZ;
    closeBtn->setHidden(must);
    rzBtnLeft = must ? kSide : 157.5;
    setNeedsLayout();
}

void ZVLoginRzView::layoutSubviews() {
    ZVRealNameForm::layoutSubviews();
    rzBtn->setFrame(CGRect(rzBtnLeft, kButtonsTop, kWidth - kSide - rzBtnLeft, kButtonHeight));
}

void ZVLoginRzView::showDetail() {
    if (goToDetail) goToDetail();
}

void ZVLoginRzView::doReceive() { ZVExternal::openURL(ShareVale::sharedInstance().iosWapBoxUrl); }

// ---- ZVSuRzView

std::shared_ptr<ZVSuRzView> ZVSuRzView::fromNib() {
    auto v = std::make_shared<ZVSuRzView>();
    v->build();
    return v;
}

void ZVSuRzView::awakeFromNib() {
    setAccessibilityIdentifier("su_rz_view");
    buildForm(56, 170);
    closeBtn->setHidden(true);  // under the full-width submit button; no way to close
}

void ZVSuRzView::setLoginData(std::shared_ptr<LoginResult> login) {
    loginData = std::move(login);
    closeBtn->setHidden(true);
}
