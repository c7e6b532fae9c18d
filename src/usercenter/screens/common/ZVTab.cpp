#include "usercenter/screens/common/ZVTab.h"

std::shared_ptr<ZVTab> ZVTab::create(const CGRect& frame, double lineWidth, const UIColor& lineColor) {
    return std::make_shared<ZVTab>(frame, lineWidth, lineColor);
}

ZVTab::ZVTab(const CGRect& frame, double lineWidth, const UIColor& lineColor)
    : UIView(frame), lineWidth_(lineWidth), lineColor_(lineColor) {
    setClipsToBounds(true);
    layer()->setBorderWidth(lineWidth);
    layer()->setBorderColor(lineColor);
}

void ZVTab::setItemsWithTitle(const std::vector<std::string>& titles, const UIColor& normalItemColor,
                              const UIColor& selectItemColor, const UIColor& normalTitleColor,
                              const UIColor& selectTitleColor, double titleTextSize, long selectItemNumber) {
    normalItemColor_ = normalItemColor;
    selectItemColor_ = selectItemColor;
    normalTitleColor_ = normalTitleColor;
    selectTitleColor_ = selectTitleColor;
    size_t n = titles.size();
    if (n == 0) return;
    double w = frame().width() / double(n), h = frame().height();
    std::weak_ptr<ZVTab> weak = std::static_pointer_cast<ZVTab>(sharedView());
    for (size_t i = 0; i < n; ++i) {
        auto item = UIButton::buttonWithType(UIButtonType::Custom);
        item->setFrame(CGRect(w * double(i), 0, w, h));
        item->setTitle(titles[i], UIControlStateNormal);
        item->titleLabel()->setFont(UIFont::systemFontOfSize(titleTextSize));
        item->setTag(kItemTagBase + long(i));
        item->addAction(UIControlEventTouchUpInside, [weak](UIControl& sender) {
            auto self = weak.lock();
            if (auto* button = dynamic_cast<UIButton*>(&sender); self && button) self->clickedButton(*button);
        });
        addSubview(item);
    }
    recolour(selectItemNumber);
    for (size_t k = 1; k < n; ++k) {
        auto line = std::make_shared<UIView>(CGRect(w * double(k) - lineWidth_ / 2, 0, lineWidth_, h));
        line->setBackgroundColor(lineColor_);
        addSubview(line);
    }
}

void ZVTab::recolour(long selected) {
    for (auto& v : subviews()) {
        auto* item = dynamic_cast<UIButton*>(v.get());
        if (!item || v->tag() < kItemTagBase) continue;
        bool chosen = v->tag() - kItemTagBase == selected;
        item->setTitleColor(chosen ? selectTitleColor_ : normalTitleColor_, UIControlStateNormal);
        item->setBackgroundColor(chosen ? selectItemColor_ : normalItemColor_);
    }
}

void ZVTab::setTabStateIndex(long index) { recolour(index); }

void ZVTab::clickedButton(UIButton& button) {
    long index = button.tag() - kItemTagBase;
    recolour(index);
    if (auto d = delegate.lock()) d->tab_didSelectedItemNumber(*this, index);
}
