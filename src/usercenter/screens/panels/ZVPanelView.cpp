#include "usercenter/screens/panels/ZVPanelView.h"

#include <algorithm>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/ui/UIKeyboard.h"
#include "platform/foundation/Strings.h"
#include "usercenter/core/CXRMessage.h"
#include "usercenter/core/ZVLoginAPI.h"
#include "usercenter/core/ZVScreenWindow.h"

std::shared_ptr<UIView> ZVPanelView::makeCover(const CGRect& frame) {
    auto cover = std::make_shared<UIView>(frame);
    cover->setBackgroundColor(UIColor::colorWithWhite(0, 0.2));
    cover->setOpaque(false);
    cover->setAccessibilityIdentifier("panel_cover");
    return cover;
}

ZVPanelView::ZVPanelView(double height) : UIView(CGRect(0, 0, kWidth, height)) {
    setBackgroundColor(UIColor::whiteColor());
    layer()->setCornerRadius(10);
    setClipsToBounds(true);
}

ZVPanelView::~ZVPanelView() { NSNotificationCenter::defaultCenter().removeObserver(this); }

void ZVPanelView::build() {
    if (std::exchange(built_, true)) return;
    awakeFromNib();
}

std::shared_ptr<UITextField> ZVPanelView::makeField(const std::string& placeholder, const CGRect& frame) {
    auto f = ZVStyle::field(placeholder, frame, 10);
    f->delegate = std::static_pointer_cast<ZVPanelView>(sharedView());
    addSubview(f);
    return f;
}

std::shared_ptr<UILabel> ZVPanelView::makeTitle(const std::string& title) {
    auto label = std::make_shared<UILabel>(CGRect(0, 12, kWidth, 30));
    label->setText(title);
    label->setFont(UIFont::systemFontOfSize(18, UIFontWeight::Medium));
    label->setTextColor(UIColor::fromRGB(0x222222));
    label->setTextAlignment(NSTextAlignment::Center);
    addSubview(label);
    return label;
}

std::shared_ptr<UIButton> ZVPanelView::makeCloseButton() {
    auto button = ZVStyle::closeButton();
    button->setFrame(CGRect(kWidth - 44, 4, 40, 40));
    addSubview(button);
    return button;
}

void ZVPanelView::removePanel(bool withCover) {
    endEditing(true);
    auto cover = superview();
    removeFromSuperview();
    if (withCover) ZVRemoveCover(cover);
}

bool ZVPanelView::textFieldShouldReturn(UITextField& field) {
    field.resignFirstResponder();
    for (size_t i = 0; i + 1 < returnOrder.size(); ++i)
        if (returnOrder[i].lock().get() == &field) {
            if (auto next = returnOrder[i + 1].lock()) next->becomeFirstResponder();
            break;
        }
    return true;
}

void ZVPanelView::touchesBegan(const UITouchSet&, UIEvent*) { endEditing(true); }

void ZVPanelView::didMoveToSuperview() {
    build();
    auto& centre = NSNotificationCenter::defaultCenter();
    if (!superview()) {
        // Off screen: the next showing starts from where its host puts it.
        if (resting_) setFrame(*resting_);
        resting_.reset();
        centre.removeObserver(this);
        observing_ = false;
        return;
    }
    if (std::exchange(observing_, true)) return;
    std::weak_ptr<ZVPanelView> weak = std::static_pointer_cast<ZVPanelView>(sharedView());
    centre.addObserver(this, UIKeyboardWillShowNotification, nullptr, [weak](const NSNotification& n) {
        if (auto self = weak.lock()) self->keyboardWillChange(n.userInfo, true);
    });
    centre.addObserver(this, UIKeyboardWillHideNotification, nullptr, [weak](const NSNotification& n) {
        if (auto self = weak.lock()) self->keyboardWillChange(n.userInfo, false);
    });
}

void ZVPanelView::keyboardWillChange(const Value& info, bool showing) {
    auto parent = superview();
    if (!parent) return;
    if (!showing) {
        if (resting_) setFrame(*resting_);
        resting_.reset();
        return;
    }
    if (!resting_) resting_ = frame();
    CGRect keyboard = parent->convertRectFromView(CGRectFromNSValue(info[UIKeyboardFrameEndUserInfoKey]), nullptr);
    double lift = std::max(0.0, resting_->maxY() + kKeyboardGap - keyboard.minY());
    lift = std::min(lift, std::max(0.0, resting_->minY()));
    setFrame(resting_->offsetBy(0, -lift));
}

std::shared_ptr<ZVCountDownButton> ZVPanelView::makeCodeButton(const CGRect& frame) {
    auto b = std::make_shared<ZVCountDownButton>();
    b->setFrame(frame);
    b->setTitle("获取验证码", UIControlStateNormal);
    b->setTitleColor(ZVStyle::blue(), UIControlStateNormal);
    b->setTitleColor(UIColor::fromRGB(0x999999), UIControlStateDisabled);
    b->titleLabel()->setFont(UIFont::systemFontOfSize(14));
    b->layer()->setBorderWidth(1);
    b->layer()->setBorderColor(UIColor::fromRGB(0xE5E5E5));
    b->layer()->setCornerRadius(6);
    addSubview(b);
    return b;
}

void ZVPanelView::requestCode(const std::shared_ptr<ZVCountDownButton>& button, const std::string& phone,
                              const std::string& name, const std::string& type) {
    std::weak_ptr<ZVPanelView> weak = std::static_pointer_cast<ZVPanelView>(sharedView());
    ZVLoginAPI::getSdkCodeWithNumber(
        phone, name, type,
        [weak, button](const ZVBaseResponse& r) {
            if (auto self = weak.lock()) CXRMessage::showMessage(r.mesage, self);
            button->setEnabled(false);
            button->setTitle(strings::format("剩余%d秒", kCodeSeconds), UIControlStateNormal);
            button->startWithSecond(kCodeSeconds);
            button->didChange([](ZVCountDownButton&, int seconds) { return strings::format("剩余%d秒", seconds); });
            button->didFinished([](ZVCountDownButton& b, int) {
                b.setEnabled(true);
                return std::string("重新获取");
            });
        },
        [weak, button](const std::string& message) {
            if (auto self = weak.lock()) CXRMessage::showMessage(message, self);
            button->setEnabled(true);
            button->setTitle("获取验证码", UIControlStateNormal);
        });
}
