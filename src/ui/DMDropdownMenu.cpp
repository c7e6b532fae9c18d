#include "ui/DMDropdownMenu.h"

#include <cmath>

namespace {
constexpr double kMaxListHeight = 240;
bool holds(const CGRect& outer, const CGRect& inner) {
    return inner.minX() >= outer.minX() && inner.maxX() <= outer.maxX() && inner.minY() >= outer.minY() &&
           inner.maxY() <= outer.maxY();
}
UIControlContentHorizontalAlignment alignmentOf(int a) {
    return a == 0 ? UIControlContentHorizontalAlignment::Left
                  : a == 2 ? UIControlContentHorizontalAlignment::Right : UIControlContentHorizontalAlignment::Center;
}
}  // namespace

DMDropdownMenu::DMDropdownMenu() {
    button_ = UIButton::buttonWithType(UIButtonType::Custom);
    button_->setTitleColor(UIColor::blackColor(), UIControlStateNormal);
    icon_ = std::make_shared<UIImageView>();
    icon_->setUserInteractionEnabled(false);
    optionFont_ = UIFont::systemFontOfSize(14);
}

void DMDropdownMenu::ensureBuilt() {
    if (button_->superview()) return;
    addSubview(button_);
    addSubview(icon_);
    std::weak_ptr<DMDropdownMenu> weak = std::static_pointer_cast<DMDropdownMenu>(sharedView());
    button_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->toggle();
    });
}

void DMDropdownMenu::willMoveToSuperview(UIView* newSuperview) {
    if (!newSuperview) hideDropDown();
}

void DMDropdownMenu::setHidden(bool hidden) {
    if (hidden) hideDropDown();
    UIView::setHidden(hidden);
}

void DMDropdownMenu::setTitle(const std::string& title) { button_->setTitle(title, UIControlStateNormal); }
std::string DMDropdownMenu::title() const { return button_->titleForState(UIControlStateNormal).value_or(""); }
void DMDropdownMenu::setTitleFont(std::shared_ptr<UIFont> font) { button_->titleLabel()->setFont(std::move(font)); }
void DMDropdownMenu::setTitleColor(const UIColor& color) { button_->setTitleColor(color, UIControlStateNormal); }
void DMDropdownMenu::setTitleAlignment(int alignment) {
    button_->contentHorizontalAlignment = alignmentOf(alignment);
    button_->setNeedsLayout();
}
void DMDropdownMenu::setTitleEdgeInsets(const UIEdgeInsets& insets) {
    titleInsets_ = insets;
    button_->setTitleEdgeInsets(insets);
}
void DMDropdownMenu::setRotateIcon(std::shared_ptr<UIImage> icon) { icon_->setImage(std::move(icon)); }
void DMDropdownMenu::setRotateIconSize(CGSize size) {
    iconSize_ = size;
    setNeedsLayout();
}

void DMDropdownMenu::layoutSubviews() {
    ensureBuilt();
    button_->setFrame(bounds());
    CGRect b = bounds();
    icon_->setBounds(CGRect(0, 0, iconSize_.width, iconSize_.height));
    icon_->setCenter({b.width() - titleInsets_.right - iconSize_.width / 2, b.height() / 2});
}

void DMDropdownMenu::toggle() {
    if (isOpen()) hideDropDown();
    else showDropDown();
}

void DMDropdownMenu::showDropDown() {
    ensureBuilt();
    auto sv = superview();
    auto ds = dataSource_.lock();
    if (isOpen() || !sv || !ds) return;
    long n = std::max(0L, ds->numberOfOptionsInDropdownMenu(*this));
    CGRect f = frame();
    list_ = std::make_shared<UIScrollView>(CGRect(f.minX(), f.maxY(), f.width(), 0));
    list_->setBackgroundColor(optionBgColor_);
    list_->layer()->setBorderWidth(0.5);
    list_->layer()->setBorderColor(optionLineColor_);
    list_->setClipsToBounds(true);
    list_->setAccessibilityIdentifier("dropdown_list");
    std::weak_ptr<DMDropdownMenu> weak = std::static_pointer_cast<DMDropdownMenu>(sharedView());
    double y = 0;
    for (long i = 0; i < n; ++i) {
        double h = std::max(0.0, ds->dropdownMenu_heightForOptionAtIndex(*this, i));
        auto row = UIButton::buttonWithType(UIButtonType::Custom);
        row->setFrame(CGRect(0, y, f.width(), h));
        row->setTitle(ds->dropdownMenu_titleForOptionAtIndex(*this, i), UIControlStateNormal);
        row->setTitleColor(optionTextColor_, UIControlStateNormal);
        row->titleLabel()->setFont(optionFont_);
        row->contentHorizontalAlignment = alignmentOf(optionAlignment_);
        row->setContentEdgeInsets(UIEdgeInsets{0, 10 + optionIconSize_.width, 0, 10});
        row->addAction(UIControlEventTouchUpInside, [weak, i](UIControl&) {
            if (auto self = weak.lock()) self->selectOption(i);
        });
        list_->addSubview(row);
        rows_.push_back(row);
        y += h;
        if (i + 1 < n) {
            auto line = std::make_shared<UIView>(CGRect(0, y - 0.5, f.width(), 0.5));
            line->setBackgroundColor(optionLineColor_);
            line->setUserInteractionEnabled(false);
            list_->addSubview(line);
        }
    }
    list_->setContentSize({f.width(), y});
    CGRect under(f.minX(), f.maxY(), f.width(), std::min(y, kMaxListHeight));
    auto host = listHost(under);
    list_->setFrame(sv->convertRectToView(under, host.get()));
    host->addSubview(list_);
    icon_->setTransform(CGAffineTransform::makeRotation(M_PI));
}

std::shared_ptr<UIView> DMDropdownMenu::listHost(const CGRect& frame) const {
    auto host = superview();
    for (auto up = host; up; up = up->superview()) {
        host = up;
        CGRect there = superview()->convertRectToView(frame, up.get());
        if (holds(up->bounds(), there)) break;
    }
    return host;
}

void DMDropdownMenu::hideDropDown() {
    if (!list_) return;
    list_->removeFromSuperview();
    list_.reset();
    rows_.clear();
    icon_->setTransform(CGAffineTransform());
}

void DMDropdownMenu::selectOption(long index) {
    if (!isOpen() || index < 0 || index >= long(rows_.size())) return;
    std::string title = rows_[size_t(index)]->titleForState(UIControlStateNormal).value_or("");
    setTitle(title);
    auto keep = sharedView();  // the delegate may drop the menu
    if (auto d = delegate_.lock()) d->dropdownMenu_didSelectOptionAtIndex_optionTitle(*this, index, title);
    hideDropDown();
}
