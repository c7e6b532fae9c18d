#include "platform/ui/UIAlertController.h"

#include <algorithm>

#include "platform/ui/UIApplication.h"
#include "platform/ui/UIScreen.h"

std::shared_ptr<UIAlertAction> UIAlertAction::actionWithTitle(const std::string& title, UIAlertActionStyle style,
                                                              Handler handler) {
    auto a = std::make_shared<UIAlertAction>();
    a->title_ = title;
    a->style_ = style;
    a->handler_ = std::move(handler);
    return a;
}

std::shared_ptr<UIAlertController> UIAlertController::alertControllerWithTitle(const std::string& title,
                                                                               const std::string& message,
                                                                               UIAlertControllerStyle style) {
    return std::make_shared<UIAlertController>(title, message, style);
}

UIAlertController::UIAlertController(std::string title, std::string message, UIAlertControllerStyle style)
    : alertTitle_(std::move(title)), message_(std::move(message)), style_(style) {
    setModalPresentationStyle(UIModalPresentationStyle::OverFullScreen);
}

void UIAlertController::addAction(const std::shared_ptr<UIAlertAction>& action) {
    if (!action) return;
    // An alert has at most one cancel action, as on the platform.
    if (action->style() == UIAlertActionStyle::Cancel)
        for (auto& a : actions_)
            if (a->style() == UIAlertActionStyle::Cancel) return;
    actions_.push_back(action);
    if (isViewLoaded()) build();
}

std::shared_ptr<UIButton> UIAlertController::buttonForAction(size_t index) {
    view();
    return index < buttons_.size() ? buttons_[index] : nullptr;
}

void UIAlertController::performAction(size_t index) {
    if (acting_ || index >= actions_.size() || !actions_[index]->isEnabled()) return;
    acting_ = true;
    auto action = actions_[index];
    auto self = std::static_pointer_cast<UIAlertController>(sharedController());
    dismissViewControllerAnimated(true, [self, action] {
        self->acting_ = false;
        if (action->handler()) action->handler()(*action);
    });
}

namespace {
class DimmingView : public UIView {
public:
    using UIView::UIView;
    std::function<void()> onTap;
    void touchesBegan(const UITouchSet&, UIEvent*) override {}
    void touchesEnded(const UITouchSet&, UIEvent*) override {
        if (onTap) onTap();
    }
};
}  // namespace

void UIAlertController::loadView() {
    auto v = std::make_shared<DimmingView>(UIScreen::mainScreen().bounds());
    v->setBackgroundColor(UIColor::colorWithWhite(0, 0.4));
    std::weak_ptr<UIAlertController> weak = std::static_pointer_cast<UIAlertController>(sharedController());
    v->onTap = [weak] {
        // Outside an action sheet's box, a tap means its cancel action.
        auto s = weak.lock();
        if (s && s->style_ == UIAlertControllerStyle::ActionSheet) s->performCancelAction();
    };
    setView(v);
    build();
}

bool UIAlertController::performCancelAction() {
    for (size_t i = 0; i < actions_.size(); ++i)
        if (actions_[i]->style() == UIAlertActionStyle::Cancel) {
            performAction(i);
            return true;
        }
    return false;
}

std::vector<UIKeyCommand> UIAlertController::keyCommands() const {
    std::weak_ptr<UIAlertController> weak =
        std::static_pointer_cast<UIAlertController>(std::const_pointer_cast<UIResponder>(shared_from_this()));
    // Escape is the cancel action's; without one the alert keeps the key and stays.
    return {{UIKeyInputEscape, 0, [weak] {
                 if (auto self = weak.lock()) self->performCancelAction();
             }}};
}

void UIAlertController::build() {
    auto root = view();
    if (box_) box_->removeFromSuperview();
    buttons_.assign(actions_.size(), nullptr);
    CGRect screen = root->bounds();
    bool sheet = style_ == UIAlertControllerStyle::ActionSheet;
    double width = sheet ? screen.width() - 16 : 270;
    box_ = std::make_shared<UIView>(CGRect(0, 0, width, 0));
    box_->setBackgroundColor(UIColor::colorWithWhite(0.97, 1));
    box_->layer()->setCornerRadius(sheet ? 13 : 14);
    box_->setClipsToBounds(true);
    double y = 0;
    auto addLabel = [&](const std::string& text, std::shared_ptr<UIFont> font, UIColor color, double top) {
        auto l = std::make_shared<UILabel>();
        l->setText(text);
        l->setFont(font);
        l->setTextColor(color);
        l->setNumberOfLines(0);
        l->setTextAlignment(NSTextAlignment::Center);
        CGSize s = l->sizeThatFits({width - 32, 0});
        l->setFrame(CGRect(16, y + top, width - 32, s.height));
        box_->addSubview(l);
        y += top + s.height;
    };
    if (!alertTitle_.empty())
        addLabel(alertTitle_, UIFont::systemFontOfSize(sheet ? 13 : 17, UIFontWeight::Semibold),
                 sheet ? UIColor::colorWithWhite(0.55) : UIColor::blackColor(), 20);
    if (!message_.empty())
        addLabel(message_, UIFont::systemFontOfSize(13), sheet ? UIColor::colorWithWhite(0.55) : UIColor::blackColor(),
                 alertTitle_.empty() ? 20 : 4);
    if (!alertTitle_.empty() || !message_.empty()) y += 20;

    // Action order: the cancel action goes last on sheets and stacks, left of two side by side.
    std::vector<size_t> order;
    for (size_t i = 0; i < actions_.size(); ++i)
        if (actions_[i]->style() != UIAlertActionStyle::Cancel) order.push_back(i);
    size_t cancel = actions_.size();
    for (size_t i = 0; i < actions_.size(); ++i)
        if (actions_[i]->style() == UIAlertActionStyle::Cancel) cancel = i;
    bool sideBySide = !sheet && actions_.size() == 2;
    if (cancel < actions_.size()) {
        if (sideBySide) order.insert(order.begin(), cancel);
        else if (!sheet) order.push_back(cancel);
    }
    double rowH = sheet ? 57 : 44;
    std::weak_ptr<UIAlertController> weak = std::static_pointer_cast<UIAlertController>(sharedController());
    auto makeButton = [&](size_t i, const CGRect& frame, UIView* parent) {
        auto b = UIButton::buttonWithType(UIButtonType::System);
        auto& a = actions_[i];
        bool bold = a->style() == UIAlertActionStyle::Cancel || preferredAction == a;
        b->titleLabel()->setFont(UIFont::systemFontOfSize(sheet ? 20 : 17, bold ? UIFontWeight::Semibold : UIFontWeight::Regular));
        b->setTitle(a->title(), UIControlStateNormal);
        if (a->style() == UIAlertActionStyle::Destructive) b->setTitleColor(UIColor::fromRGB(0xFF3B30), UIControlStateNormal);
        b->setEnabled(a->isEnabled());
        b->setFrame(frame);
        b->addAction(UIControlEventTouchUpInside, [weak, i](UIControl&) {
            if (auto s = weak.lock()) s->performAction(i);
        });
        parent->addSubview(b);
        buttons_[i] = b;
        auto line = std::make_shared<UIView>(CGRect(frame.minX(), frame.minY(), frame.width(), 0.5));
        line->setBackgroundColor(UIColor::colorWithWhite(0, 0.2));
        parent->addSubview(line);
    };
    if (sideBySide) {
        for (size_t k = 0; k < order.size(); ++k) makeButton(order[k], CGRect(k * width / 2, y, width / 2, rowH), box_.get());
        auto sep = std::make_shared<UIView>(CGRect(width / 2, y, 0.5, rowH));
        sep->setBackgroundColor(UIColor::colorWithWhite(0, 0.2));
        box_->addSubview(sep);
        y += rowH;
    } else {
        for (size_t i : order) {
            makeButton(i, CGRect(0, y, width, rowH), box_.get());
            y += rowH;
        }
    }
    box_->setBounds(CGRect(0, 0, width, y));
    double bottomInset = UIScreen::mainScreen().safeAreaInsets().bottom;
    if (sheet) {
        double bottom = screen.height() - 8 - bottomInset;
        if (cancel < actions_.size()) {
            auto cancelBox = std::make_shared<UIView>(CGRect(8, bottom - rowH, width, rowH));
            cancelBox->setBackgroundColor(UIColor::whiteColor());
            cancelBox->layer()->setCornerRadius(13);
            cancelBox->setClipsToBounds(true);
            makeButton(cancel, CGRect(0, 0, width, rowH), cancelBox.get());
            root->addSubview(cancelBox);
            bottom -= rowH + 8;
        }
        box_->setFrame(CGRect(8, bottom - y, width, y));
    } else {
        box_->setFrame(CGRect((screen.width() - width) / 2, (screen.height() - y) / 2, width, y));
        box_->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
                                  UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleBottomMargin);
    }
    root->addSubview(box_);
}

// ---- UIAlertView

namespace {
std::vector<std::shared_ptr<UIAlertView>>& shown() {
    static auto* v = new std::vector<std::shared_ptr<UIAlertView>>();
    return *v;
}
class AlertHostController : public UIViewController {
public:
    void loadView() override {
        auto v = std::make_shared<UIView>(UIScreen::mainScreen().bounds());
        v->setBackgroundColor(UIColor::clearColor());
        setView(v);
    }
};
}  // namespace

UIAlertView::UIAlertView(std::string title, std::string message, std::weak_ptr<UIAlertViewDelegate> d,
                         std::string cancelButtonTitle, std::vector<std::string> otherButtonTitles)
    : delegate(std::move(d)), title_(std::move(title)), message_(std::move(message)) {
    if (!cancelButtonTitle.empty()) cancelIndex_ = addButtonWithTitle(cancelButtonTitle);
    for (auto& t : otherButtonTitles) addButtonWithTitle(t);
}

long UIAlertView::addButtonWithTitle(const std::string& title) {
    buttons_.push_back(title);
    return long(buttons_.size()) - 1;
}

std::string UIAlertView::buttonTitleAtIndex(long index) const {
    return index >= 0 && index < long(buttons_.size()) ? buttons_[size_t(index)] : "";
}

std::vector<std::shared_ptr<UIAlertView>> UIAlertView::visibleAlertViews() { return shown(); }

void UIAlertView::show() {
    if (visible_) return;
    visible_ = true;
    auto self = shared_from_this();
    shown().push_back(self);
    previousKey_ = UIApplication::sharedApplication().keyWindow();
    window_ = std::make_shared<UIWindow>();
    window_->setWindowLevel(UIWindowLevelAlert);
    window_->setBackgroundColor(UIColor::clearColor());
    window_->setOpaque(false);
    auto host = std::make_shared<AlertHostController>();
    window_->setRootViewController(host);
    window_->makeKeyAndVisible();
    controller_ = UIAlertController::alertControllerWithTitle(title_, message_, UIAlertControllerStyle::Alert);
    std::weak_ptr<UIAlertView> weak = self;
    for (size_t i = 0; i < buttons_.size(); ++i) {
        long index = long(i);
        controller_->addAction(UIAlertAction::actionWithTitle(
            buttons_[i], index == cancelIndex_ ? UIAlertActionStyle::Cancel : UIAlertActionStyle::Default,
            [weak, index](UIAlertAction&) {
                auto s = weak.lock();
                if (!s) return;
                if (auto d = s->delegate.lock()) d->alertView_clickedButtonAtIndex(*s, index);
                if (s->clickBlock) s->clickBlock(index);
                s->finish(index, true);
            }));
    }
    host->presentViewController(controller_, true);
}

void UIAlertView::clickButtonAtIndex(long index) {
    if (!visible_ || dismissing_ || index < 0 || index >= long(buttons_.size()) || !controller_) return;
    // Actions were added in button order.
    dismissing_ = true;
    controller_->performAction(size_t(index));
}

void UIAlertView::dismissWithClickedButtonIndex(long index, bool animated) {
    if (!visible_ || dismissing_) return;
    dismissing_ = true;
    auto self = shared_from_this();
    controller_->dismissViewControllerAnimated(animated, [self, index] { self->finish(index, false); });
}

void UIAlertView::cancel() {
    if (!visible_ || dismissing_) return;
    auto self = shared_from_this();
    if (auto d = delegate.lock()) d->alertViewCancel(*this);
    dismissWithClickedButtonIndex(cancelIndex_, true);
}

void UIAlertView::finish(long index, bool) {
    if (!visible_) return;
    auto self = shared_from_this();
    if (auto d = delegate.lock()) d->alertView_willDismissWithButtonIndex(*this, index);
    visible_ = false;
    dismissing_ = false;
    window_->setHidden(true);
    if (auto prev = previousKey_.lock(); prev && !prev->isHidden()) prev->makeKeyWindow();
    auto& list = shown();
    list.erase(std::remove(list.begin(), list.end(), self), list.end());
    if (auto d = delegate.lock()) d->alertView_didDismissWithButtonIndex(*this, index);
    window_.reset();
    controller_.reset();
}
