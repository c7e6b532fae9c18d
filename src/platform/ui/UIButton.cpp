#include "platform/ui/UIButton.h"

#include <cmath>

UIButton::UIButton() { setOpaque(false); }

UIButton::UIButton(const CGRect& frame) : UIButton() { UIView::setFrame(frame); }

std::shared_ptr<UIButton> UIButton::buttonWithType(UIButtonType type) {
    auto b = std::make_shared<UIButton>();
    b->type_ = type;
    if (type == UIButtonType::System) b->titleLabel()->setFont(UIFont::systemFontOfSize(15));
    return b;
}

template <class T>
const T* UIButton::lookup(const std::map<unsigned, T>& m, unsigned state) {
    auto it = m.find(state);
    if (it != m.end()) return &it->second;
    // Highlighted-and-selected falls back to selected, then to normal.
    if (state & UIControlStateSelected) {
        it = m.find(UIControlStateSelected);
        if (it != m.end()) return &it->second;
    }
    it = m.find(UIControlStateNormal);
    return it == m.end() ? nullptr : &it->second;
}

void UIButton::setTitle(const std::string& title, unsigned state) {
    titles_[state] = title;
    refresh();
}

std::optional<std::string> UIButton::titleForState(unsigned state) const {
    if (auto* t = lookup(titles_, state)) return *t;
    return std::nullopt;
}

void UIButton::setTitleColor(const UIColor& color, unsigned state) {
    titleColors_[state] = color;
    refresh();
}

UIColor UIButton::titleColorForState(unsigned state) const {
    if (auto* c = lookup(titleColors_, state)) return *c;
    if (type_ == UIButtonType::System) {
        UIColor t = tintColor();
        if (state & UIControlStateDisabled) return UIColor::colorWithWhite(0.5, 0.5);
        if (state & UIControlStateHighlighted) return t.colorWithAlphaComponent(0.2);
        return t;
    }
    return UIColor::whiteColor();
}

void UIButton::setAttributedTitle(std::optional<NSAttributedString> title, unsigned state) {
    if (title) attributedTitles_[state] = *title;
    else attributedTitles_.erase(state);
    refresh();
}

void UIButton::setImage(std::shared_ptr<UIImage> image, unsigned state) {
    if (image) images_[state] = std::move(image);
    else images_.erase(state);
    refresh();
}

std::shared_ptr<UIImage> UIButton::imageForState(unsigned state) const {
    auto* i = lookup(images_, state);
    return i ? *i : nullptr;
}

void UIButton::setBackgroundImage(std::shared_ptr<UIImage> image, unsigned state) {
    if (image) backgroundImages_[state] = std::move(image);
    else backgroundImages_.erase(state);
    refresh();
}

std::shared_ptr<UIImage> UIButton::backgroundImageForState(unsigned state) const {
    auto* i = lookup(backgroundImages_, state);
    return i ? *i : nullptr;
}

std::string UIButton::currentTitle() const { return titleForState(state()).value_or(""); }

const std::shared_ptr<UILabel>& UIButton::titleLabel() {
    if (!titleLabel_) {
        titleLabel_ = std::make_shared<UILabel>();
        titleLabel_->setFont(UIFont::systemFontOfSize(18));
        titleLabel_->setTextAlignment(NSTextAlignment::Center);
        titleLabel_->setLineBreakMode(NSLineBreakMode::ByTruncatingMiddle);
        addSubview(titleLabel_);
        refresh();
    }
    return titleLabel_;
}

const std::shared_ptr<UIImageView>& UIButton::imageView() {
    if (!imageView_) {
        imageView_ = std::make_shared<UIImageView>();
        imageView_->setContentMode(UIViewContentMode::Center);
        insertSubview(imageView_, 0);
        refresh();
    }
    return imageView_;
}

void UIButton::stateDidChange() {
    refresh();
    UIControl::stateDidChange();
}

void UIButton::refresh() {
    unsigned s = state();
    bool hasTitle = lookup(titles_, s) || lookup(attributedTitles_, s);
    if (hasTitle && !titleLabel_) titleLabel();
    if (titleLabel_) {
        if (auto* a = lookup(attributedTitles_, s)) titleLabel_->setAttributedText(*a);
        else titleLabel_->setText(titleForState(s).value_or(""));
        titleLabel_->setTextColor(titleColorForState(s));
        titleLabel_->setHidden(!hasTitle);
    }
    auto img = imageForState(s);
    if (img && !imageView_) imageView();
    if (imageView_) {
        imageView_->setImage(img);
        imageView_->setHidden(!img);
        // Images without their own highlighted state darken while pressed.
        imageView_->setAlpha(isHighlighted() && adjustsImageWhenHighlighted && !images_.count(UIControlStateHighlighted) ? 0.7 : 1);
    }
    setNeedsLayout();
    setNeedsDisplay();
}

CGSize UIButton::titleSize() const {
    if (!titleLabel_ || titleLabel_->isHidden() || titleLabel_->text().empty()) return {0, 0};
    return titleLabel_->intrinsicContentSize();
}

CGSize UIButton::imageSize() const {
    if (!imageView_ || imageView_->isHidden() || !imageView_->image()) return {0, 0};
    return imageView_->image()->size();
}

void UIButton::layoutSubviews() {
    CGRect content = UIEdgeInsetsInsetRect(bounds(), contentEdgeInsets);
    CGSize is = imageSize(), ts = titleSize();
    // Title gets what the image leaves.
    ts.width = std::max(0.0, std::min(ts.width, content.width() - is.width));
    double total = is.width + ts.width;
    double x0;
    switch (contentHorizontalAlignment) {
        case UIControlContentHorizontalAlignment::Left: x0 = content.minX(); break;
        case UIControlContentHorizontalAlignment::Right: x0 = content.maxX() - total; break;
        default: x0 = content.minX() + (content.width() - total) / 2; break;
    }
    auto yFor = [&](double h) {
        switch (contentVerticalAlignment) {
            case UIControlContentVerticalAlignment::Top: return content.minY();
            case UIControlContentVerticalAlignment::Bottom: return content.maxY() - h;
            default: return content.minY() + (content.height() - h) / 2;
        }
    };
    // Edge insets move each part by half their difference when centred, as on the platform.
    bool centred = contentHorizontalAlignment == UIControlContentHorizontalAlignment::Center ||
                   contentHorizontalAlignment == UIControlContentHorizontalAlignment::Fill;
    auto shift = [&](const UIEdgeInsets& i) {
        double dx = centred ? (i.left - i.right) / 2
                    : contentHorizontalAlignment == UIControlContentHorizontalAlignment::Left ? i.left
                                                                                            : -i.right;
        return CGPoint{dx, (i.top - i.bottom) / 2};
    };
    if (imageView_) {
        CGPoint d = shift(imageEdgeInsets);
        imageView_->setFrame(CGRect(x0 + d.x, yFor(is.height) + d.y, is.width, is.height));
    }
    if (titleLabel_) {
        CGPoint d = shift(titleEdgeInsets);
        titleLabel_->setFrame(CGRect(x0 + is.width + d.x, yFor(ts.height) + d.y, ts.width, ts.height));
    }
}

CGSize UIButton::sizeThatFits(CGSize) const {
    CGSize is = imageSize(), ts = titleSize();
    double w = is.width + ts.width + contentEdgeInsets.left + contentEdgeInsets.right;
    double h = std::max(is.height, ts.height) + contentEdgeInsets.top + contentEdgeInsets.bottom;
    if (auto bg = backgroundImageForState(state())) {
        w = std::max(w, bg->size().width);
        h = std::max(h, bg->size().height);
    }
    return {std::ceil(w), std::ceil(h)};
}

void UIButton::drawRect(CGContext& ctx, const CGRect&) {
    if (auto bg = currentBackgroundImage()) {
        UIColor tint = tintColor();
        bg->drawInRect(ctx, bounds(), &tint);
    }
}
