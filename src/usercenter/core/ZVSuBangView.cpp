#include "usercenter/core/ZVSuBangView.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/UILabel.h"
#include "ui/ZVProgressHUD.h"
#include "usercenter/core/CXRMessage.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/URLEncode.h"
#include "usercenter/core/ZVLoginAPI.h"
#include "usercenter/core/ZVScreenWindow.h"

REGISTER_CLASS(ZVSuBangView)

namespace {
constexpr double kWidth = 300, kHeight = 250;

std::shared_ptr<UITextField> field(const std::string& placeholder, const CGRect& frame) {
    auto f = std::make_shared<UITextField>(frame);
    f->setPlaceholder(placeholder);
    f->setFont(UIFont::systemFontOfSize(15));
    f->keyboardType = UIKeyboardType::NumberPad;
    f->setBackgroundColor(UIColor::fromRGB(0xF5F6F8));
    f->layer()->setCornerRadius(6);
    f->leftView = std::make_shared<UIView>(CGRect(0, 0, 10, frame.height()));
    f->leftViewMode = UITextFieldViewMode::Always;
    return f;
}
}  // namespace

std::shared_ptr<ZVSuBangView> ZVSuBangView::ViewFromXib() {
    auto v = std::make_shared<ZVSuBangView>();
    v->build();
    return v;
}

std::string ZVSuBangView::maskPhone(const std::string& phone) {
    size_t length = strings::utf16Length(phone);
    std::string head = strings::utf16Substring(phone, 0, std::min<size_t>(3, length));
    std::string tail = length > 7 ? strings::utf16Substring(phone, 7, length - 7) : "";
    return strings::format("%s****%s", head.c_str(), tail.c_str());
}

ZVSuBangView::ZVSuBangView() : UIView(CGRect(0, 0, kWidth, kHeight)) {
    setBackgroundColor(UIColor::whiteColor());
    layer()->setCornerRadius(10);
    setClipsToBounds(true);
    setAccessibilityIdentifier("bang_view");
}

ZVSuBangView::~ZVSuBangView() {
    if (timer_) timer_->cancel();
}

void ZVSuBangView::didMoveToSuperview() { build(); }

void ZVSuBangView::build() {
    if (built_) return;
    built_ = true;
    auto title = std::make_shared<UILabel>(CGRect(0, 12, kWidth, 30));
    title->setText("绑定手机");
    title->setFont(UIFont::systemFontOfSize(18, UIFontWeight::Medium));
    title->setTextAlignment(NSTextAlignment::Center);
    addSubview(title);

    closeButton_ = UIButton::buttonWithType(UIButtonType::Custom);
    closeButton_->setFrame(CGRect(kWidth - 44, 4, 40, 40));
    closeButton_->setTitle("✕", UIControlStateNormal);
    closeButton_->setTitleColor(ZVStyle::textGray(), UIControlStateNormal);
    closeButton_->setAccessibilityIdentifier("bang_close");
    addSubview(closeButton_);

    phone_ = field("请输入手机号", CGRect(20, 58, kWidth - 40, 42));
    phone_->keyboardType = UIKeyboardType::PhonePad;
    addSubview(phone_);
    code_ = field("请输入验证码", CGRect(20, 112, kWidth - 150, 42));
    addSubview(code_);

    codeButton_ = UIButton::buttonWithType(UIButtonType::Custom);
    codeButton_->setFrame(CGRect(kWidth - 120, 112, 100, 42));
    codeButton_->setTitle("获取验证码", UIControlStateNormal);
    codeButton_->setTitleColor(ZVStyle::blue(), UIControlStateNormal);
    codeButton_->setTitleColor(ZVStyle::textGray(), UIControlStateDisabled);
    codeButton_->titleLabel()->setFont(UIFont::systemFontOfSize(14));
    addSubview(codeButton_);

    bindButton_ = ZVStyle::actionButton("确认绑定");
    bindButton_->setFrame(CGRect(20, 180, kWidth - 40, 44));
    addSubview(bindButton_);

    std::weak_ptr<ZVSuBangView> weak = std::static_pointer_cast<ZVSuBangView>(sharedView());
    closeButton_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->close();
    });
    codeButton_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->getCode();
    });
    bindButton_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->bind();
    });
}

void ZVSuBangView::getCode() {
    if (busy_ || remaining_ > 0) return;
    std::string phone = URLEncode::trimmedWhitespaceAndNewlineString(phone_->text());
    if (phone.empty()) return CXRMessage::showMessage("请输入手机号", sharedView());
    busy_ = true;
    std::weak_ptr<ZVSuBangView> weak = std::static_pointer_cast<ZVSuBangView>(sharedView());
    ZVLoginAPI::getSdkCodeWithNumber(
        phone, ShareVale::sharedInstance().userName(), kSmsTypeBindPhone,
        [weak](const ZVBaseResponse& r) {
            auto self = weak.lock();
            if (!self) return;
            self->busy_ = false;
            CXRMessage::showMessage(r.mesage, self);
            self->startCountdown();
        },
        [weak](const std::string& message) {
            auto self = weak.lock();
            if (!self) return;
            self->busy_ = false;
            CXRMessage::showMessage(message, self);
        });
}

void ZVSuBangView::startCountdown() {
    stopCountdown();
    remaining_ = kCodeWaitSeconds;
    codeButton_->setEnabled(false);
    codeButton_->setTitle(strings::format("%ds", remaining_), UIControlStateNormal);
    timer_ = DispatchTimer::create(DispatchQueue::main());
    timer_->schedule(std::chrono::seconds(1), std::chrono::seconds(1));
    std::weak_ptr<ZVSuBangView> weak = std::static_pointer_cast<ZVSuBangView>(sharedView());
    timer_->setEventHandler([weak] {
        if (auto self = weak.lock()) self->tick();
    });
    timer_->resume();
}

void ZVSuBangView::tick() {
    if (--remaining_ > 0) {
        codeButton_->setTitle(strings::format("%ds", remaining_), UIControlStateNormal);
        return;
    }
    stopCountdown();
    codeButton_->setTitle("重新获取", UIControlStateNormal);
}

void ZVSuBangView::stopCountdown() {
    if (timer_) timer_->cancel();
    timer_.reset();
    remaining_ = 0;
    codeButton_->setEnabled(true);
}

void ZVSuBangView::bind() {
    if (busy_) return;
    std::string phone = URLEncode::trimmedWhitespaceAndNewlineString(phone_->text());
    std::string code = URLEncode::trimmedWhitespaceAndNewlineString(code_->text());
    if (phone.empty()) return CXRMessage::showMessage("请输入手机号", sharedView());
    if (code.empty()) return CXRMessage::showMessage("请输入验证码", sharedView());
    busy_ = true;
    endEditing(true);
    ZVProgressHUD::showHUDAddedTo(sharedView(), false);
    std::weak_ptr<ZVSuBangView> weak = std::static_pointer_cast<ZVSuBangView>(sharedView());
    ZVLoginAPI::bindPhone(
        phone, code,
        [weak, phone] {
            auto self = weak.lock();
            if (!self) return;
            self->busy_ = false;
            ZVProgressHUD::hideHUDForView(self, false);
            auto block = self->backBlock;
            if (block) block(maskPhone(phone));
            self->phone_->setText("");
            self->code_->setText("");
            self->stopCountdown();
            self->codeButton_->setTitle("获取验证码", UIControlStateNormal);
            self->close();
        },
        [weak](const std::string& message) {
            auto self = weak.lock();
            if (!self) return;
            self->busy_ = false;
            ZVProgressHUD::hideHUDForView(self, false);
            CXRMessage::showMessage(message, self);
        });
}

void ZVSuBangView::close() {
    endEditing(true);
    auto cover = superview();
    removeFromSuperview();
    ZVRemoveCover(cover);
}
