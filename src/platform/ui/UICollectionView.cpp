#include "platform/ui/UICollectionView.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/UIEvent.h"
#include "platform/ui/UIScreen.h"

// ---- Cells

UICollectionViewCell::UICollectionViewCell() { UIView::setFrame(CGRect(0, 0, 50, 50)); }
UICollectionViewCell::UICollectionViewCell(const CGRect& frame) { UIView::setFrame(frame); }

const std::shared_ptr<UIView>& UICollectionViewCell::contentView() {
    if (!contentView_) {
        contentView_ = std::make_shared<UIView>(bounds());
        contentView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
        insertSubview(contentView_, 0);
    }
    return contentView_;
}

void UICollectionViewCell::setSelected(bool s) {
    selected_ = s;
    if (selectedBackgroundView) selectedBackgroundView->setHidden(!s);
    setNeedsDisplay();
}

void UICollectionViewCell::setHighlighted(bool h) {
    highlighted_ = h;
    setNeedsDisplay();
}

void UICollectionViewCell::layoutSubviews() {
    CGRect b = bounds();
    if (contentView_) contentView_->setFrame(b);
    if (backgroundView) {
        if (backgroundView->superview().get() != this) insertSubview(backgroundView, 0);
        backgroundView->setFrame(b);
    }
    if (selectedBackgroundView) {
        if (selectedBackgroundView->superview().get() != this) insertSubview(selectedBackgroundView, backgroundView ? 1 : 0);
        selectedBackgroundView->setFrame(b);
        selectedBackgroundView->setHidden(!selected_);
    }
}

// ---- Collection view

UICollectionView::UICollectionView(const CGRect& frame, std::shared_ptr<UICollectionViewFlowLayout> layout)
    : UIScrollView(frame), layout_(layout ? std::move(layout) : std::make_shared<UICollectionViewFlowLayout>()) {
    setBackgroundColor(UIColor::blackColor());
}

void UICollectionView::setDelegate(std::weak_ptr<UICollectionViewDelegate> d) {
    collectionDelegate_ = d;
    delegate = std::move(d);
}

void UICollectionView::setCollectionViewLayout(std::shared_ptr<UICollectionViewFlowLayout> layout) {
    if (layout) layout_ = std::move(layout);
    invalidateLayout();
}

void UICollectionView::registerClass(const std::string& identifier,
                                     std::function<std::shared_ptr<UICollectionViewCell>()> factory) {
    pool_.registerClass(identifier, std::move(factory));
}

void UICollectionView::registerSupplementaryClass(const std::string& kind, const std::string& identifier,
                                                  std::function<std::shared_ptr<UICollectionReusableView>()> factory) {
    supplementaryPools_[kind].registerClass(identifier, std::move(factory));
}

std::shared_ptr<UICollectionViewCell> UICollectionView::dequeueReusableCellWithReuseIdentifier(const std::string& identifier,
                                                                                             const NSIndexPath&) {
    return pool_.dequeueReusable<UICollectionViewCell>(identifier, true);
}

std::shared_ptr<UICollectionReusableView> UICollectionView::dequeueReusableSupplementaryViewOfKind(
    const std::string& kind, const std::string& identifier, const NSIndexPath&) {
    return supplementaryPools_[kind].dequeueReusable<UICollectionReusableView>(identifier, true);
}

void UICollectionView::reloadData() {
    for (auto& [ip, c] : std::map(visible_)) retire(ip);
    for (auto& [key, v] : supplementary_) {
        v->removeFromSuperview();
        supplementaryPools_[key.first].enqueue(v->reuseIdentifier(), v);
    }
    supplementary_.clear();
    invalidateLayout();
}

void UICollectionView::invalidateLayout() {
    needsLayout_ = true;
    setNeedsLayout();
}

long UICollectionView::numberOfItemsInSection(long section) const {
    return section >= 0 && section < long(items_.size()) ? long(items_[size_t(section)].size()) : 0;
}

void UICollectionView::computeLayout() {
    auto ds = dataSource.lock();
    auto d = collectionDelegate();
    bool horizontal = layout_->scrollDirection == UICollectionViewScrollDirection::Horizontal;
    CGSize b = bounds().size;
    layoutWidth_ = b.width;
    layoutHeight_ = b.height;
    // Work in (along a line, across lines); horizontal scrolling swaps the axes.
    double lineLength = horizontal ? b.height : b.width;
    auto sw = [&](CGSize s) { return horizontal ? CGSize{s.height, s.width} : s; };
    long n = ds ? std::max(0L, ds->numberOfSectionsInCollectionView(*this)) : 0;
    items_.assign(size_t(n), {});
    headers_.assign(size_t(n), CGRect());
    footers_.assign(size_t(n), CGRect());
    double pos = 0;  // across lines
    for (long s = 0; s < n; ++s) {
        UIEdgeInsets in = layout_->sectionInset;
        if (d)
            if (auto v = d->collectionView_layout_insetForSectionAtIndex(*this, s)) in = *v;
        double lineSpacing = layout_->minimumLineSpacing, itemSpacing = layout_->minimumInteritemSpacing;
        if (d) {
            if (auto v = d->collectionView_layout_minimumLineSpacingForSectionAtIndex(*this, s)) lineSpacing = *v;
            if (auto v = d->collectionView_layout_minimumInteritemSpacingForSectionAtIndex(*this, s)) itemSpacing = *v;
        }
        CGSize header = layout_->headerReferenceSize, footer = layout_->footerReferenceSize;
        if (d) {
            if (auto v = d->collectionView_layout_referenceSizeForHeaderInSection(*this, s)) header = *v;
            if (auto v = d->collectionView_layout_referenceSizeForFooterInSection(*this, s)) footer = *v;
        }
        double headerExtent = horizontal ? header.width : header.height;
        if (headerExtent > 0)
            headers_[size_t(s)] = horizontal ? CGRect(pos, 0, headerExtent, b.height) : CGRect(0, pos, b.width, headerExtent);
        pos += headerExtent;
        double lead = horizontal ? in.top : in.left, trail = horizontal ? in.bottom : in.right;
        pos += horizontal ? in.left : in.top;
        long count = std::max(0L, ds->collectionView_numberOfItemsInSection(*this, s));
        std::vector<CGSize> sizes(static_cast<size_t>(count));
        for (long i = 0; i < count; ++i) {
            CGSize sz = layout_->itemSize;
            if (d)
                if (auto v = d->collectionView_layout_sizeForItemAtIndexPath(*this, {s, i})) sz = *v;
            sizes[size_t(i)] = sw(sz);  // width = along the line
        }
        auto& frames = items_[size_t(s)];
        frames.resize(size_t(count));
        double avail = lineLength - lead - trail;
        size_t i = 0;
        bool first = true;
        std::optional<double> fullGap;  // the gap of the section's line before the last
        size_t fullCount = 0;           // and how many items it held
        while (i < sizes.size()) {
            // Fill one line.
            size_t j = i;
            double used = 0;
            while (j < sizes.size()) {
                double add = sizes[j].width + (j > i ? itemSpacing : 0);
                if (j > i && used + add > avail + 1e-9) break;
                used += add;
                ++j;
            }
            size_t k = j - i;
            double thick = 0, sum = 0;
            for (size_t q = i; q < j; ++q) thick = std::max(thick, sizes[q].height), sum += sizes[q].width;
            if (!first) pos += lineSpacing;
            first = false;
            // Lines are justified and a lone item is centred, but the last
            // line of a grid keeps the gap of the line above (the minimum
            // spacing when it is the only one) from the leading edge: a short
            // last row stays in its columns.
            double gap = k > 1 ? (avail - sum) / double(k - 1) : 0;
            double x = k > 1 ? lead : lead + (avail - sum) / 2;
            bool last = j == sizes.size();
            if (!last) {
                fullGap = gap;
                fullCount = k;
            } else if (fullCount != 1) {
                x = lead;
                gap = std::min(k > 1 ? gap : itemSpacing, fullGap.value_or(itemSpacing));
            }
            for (size_t q = i; q < j; ++q) {
                double across = pos + (thick - sizes[q].height) / 2;
                CGRect r = horizontal ? CGRect(across, x, sizes[q].height, sizes[q].width)
                                      : CGRect(x, across, sizes[q].width, sizes[q].height);
                frames[q] = r;
                x += sizes[q].width + gap;
            }
            pos += thick;
            i = j;
        }
        pos += horizontal ? in.right : in.bottom;
        double footerExtent = horizontal ? footer.width : footer.height;
        if (footerExtent > 0)
            footers_[size_t(s)] = horizontal ? CGRect(pos, 0, footerExtent, b.height) : CGRect(0, pos, b.width, footerExtent);
        pos += footerExtent;
    }
    setContentSize(horizontal ? CGSize{pos, b.height} : CGSize{b.width, pos});
    needsLayout_ = false;
}

CGRect UICollectionView::frameForItemAtIndexPath(const NSIndexPath& ip) const {
    if (ip.section < 0 || ip.section >= long(items_.size()) || ip.row < 0 || ip.row >= long(items_[size_t(ip.section)].size()))
        return {};
    return items_[size_t(ip.section)][size_t(ip.row)];
}

std::optional<NSIndexPath> UICollectionView::indexPathForItemAtPoint(CGPoint p) const {
    for (size_t s = 0; s < items_.size(); ++s)
        for (size_t i = 0; i < items_[s].size(); ++i)
            if (items_[s][i].contains(p)) return NSIndexPath{long(s), long(i)};
    return std::nullopt;
}

std::optional<NSIndexPath> UICollectionView::indexPathForCell(const UICollectionViewCell& cell) const {
    for (auto& [ip, c] : visible_)
        if (c.get() == &cell) return ip;
    return std::nullopt;
}

std::shared_ptr<UICollectionViewCell> UICollectionView::cellForItemAtIndexPath(const NSIndexPath& ip) const {
    auto it = visible_.find(ip);
    return it == visible_.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<UICollectionViewCell>> UICollectionView::visibleCells() const {
    std::vector<std::shared_ptr<UICollectionViewCell>> out;
    for (auto& [ip, c] : visible_) out.push_back(c);
    return out;
}

std::vector<NSIndexPath> UICollectionView::indexPathsForVisibleItems() const {
    std::vector<NSIndexPath> out;
    for (auto& [ip, c] : visible_) out.push_back(ip);
    return out;
}

std::shared_ptr<UICollectionReusableView> UICollectionView::supplementaryViewForElementKind(const std::string& kind,
                                                                                           long section) const {
    auto it = supplementary_.find({kind, section});
    return it == supplementary_.end() ? nullptr : it->second;
}

void UICollectionView::retire(const NSIndexPath& ip) {
    auto it = visible_.find(ip);
    if (it == visible_.end()) return;
    auto c = it->second;
    visible_.erase(it);
    c->removeFromSuperview();
    c->setSelected(false);
    pool_.enqueue(c->reuseIdentifier(), c);
}

void UICollectionView::layoutSubviews() {
    if (needsLayout_ || layoutWidth_ != bounds().width() || layoutHeight_ != bounds().height()) computeLayout();
    updateVisible();
}

void UICollectionView::updateVisible() {
    CGRect b = bounds();
    auto ds = dataSource.lock();
    auto d = collectionDelegate();
    std::set<NSIndexPath> want;
    for (size_t s = 0; s < items_.size(); ++s)
        for (size_t i = 0; i < items_[s].size(); ++i)
            if (items_[s][i].intersects(b)) want.insert({long(s), long(i)});
    for (auto& [ip, c] : std::map(visible_))
        if (!want.count(ip)) retire(ip);
    for (auto& ip : want) {
        auto c = cellForItemAtIndexPath(ip);
        if (!c) {
            if (!ds) break;
            c = ds->collectionView_cellForItemAtIndexPath(*this, ip);
            if (!c) c = std::make_shared<UICollectionViewCell>();
            visible_[ip] = c;
            UIView::performWithoutAnimation([&] { c->setFrame(frameForItemAtIndexPath(ip)); });
            if (c->isSelected() != (selected_.count(ip) > 0)) c->setSelected(selected_.count(ip) > 0);
            insertSubview(c, 0);
            if (d) d->collectionView_willDisplayCell(*this, *c, ip);
        } else {
            UIView::performWithoutAnimation([&] { c->setFrame(frameForItemAtIndexPath(ip)); });
        }
    }
    // Headers and footers.
    for (size_t s = 0; s < items_.size(); ++s) {
        for (auto* kind : {&UICollectionElementKindSectionHeader, &UICollectionElementKindSectionFooter}) {
            CGRect r = kind == &UICollectionElementKindSectionHeader ? headers_[s] : footers_[s];
            auto key = std::make_pair(*kind, long(s));
            bool show = !r.isEmpty() && r.intersects(b);
            auto it = supplementary_.find(key);
            if (!show) {
                if (it != supplementary_.end()) {
                    it->second->removeFromSuperview();
                    supplementaryPools_[*kind].enqueue(it->second->reuseIdentifier(), it->second);
                    supplementary_.erase(it);
                }
                continue;
            }
            if (it == supplementary_.end()) {
                auto v = ds ? ds->collectionView_viewForSupplementaryElementOfKind(*this, *kind, {long(s), 0}) : nullptr;
                if (!v) continue;
                supplementary_[key] = v;
                addSubview(v);
                it = supplementary_.find(key);
            }
            UIView::performWithoutAnimation([&] { it->second->setFrame(r); });
        }
    }
}

void UICollectionView::scrollToItemAtIndexPath(const NSIndexPath& ip, UICollectionViewScrollPosition position, bool animated) {
    layoutIfNeeded();
    CGRect r = frameForItemAtIndexPath(ip);
    CGRect b = bounds();
    CGPoint p = b.origin;
    switch (position) {
        case UICollectionViewScrollPosition::Top: p.y = r.minY(); break;
        case UICollectionViewScrollPosition::CenteredVertically: p.y = r.midY() - b.height() / 2; break;
        case UICollectionViewScrollPosition::Bottom: p.y = r.maxY() - b.height(); break;
        case UICollectionViewScrollPosition::Left: p.x = r.minX(); break;
        case UICollectionViewScrollPosition::CenteredHorizontally: p.x = r.midX() - b.width() / 2; break;
        case UICollectionViewScrollPosition::Right: p.x = r.maxX() - b.width(); break;
        case UICollectionViewScrollPosition::None:
            if (r.minY() < b.minY()) p.y = r.minY();
            else if (r.maxY() > b.maxY()) p.y = r.maxY() - b.height();
            break;
    }
    CGPoint lo = minimumContentOffset(), hi = maximumContentOffset();
    setContentOffset({std::clamp(p.x, lo.x, hi.x), std::clamp(p.y, lo.y, hi.y)}, animated);
}

void UICollectionView::selectItemAtIndexPath(const NSIndexPath& ip, bool animated, UICollectionViewScrollPosition position) {
    if (!allowsMultipleSelection)
        for (auto& old : std::set(selected_))
            if (old != ip) deselectItemAtIndexPath(old, false);
    selected_.insert(ip);
    if (auto c = cellForItemAtIndexPath(ip)) c->setSelected(true);
    if (position != UICollectionViewScrollPosition::None) scrollToItemAtIndexPath(ip, position, animated);
}

void UICollectionView::deselectItemAtIndexPath(const NSIndexPath& ip, bool) {
    selected_.erase(ip);
    if (auto c = cellForItemAtIndexPath(ip)) c->setSelected(false);
}

void UICollectionView::touchesBegan(const UITouchSet& touches, UIEvent*) {
    touched_ = indexPathForItemAtPoint(touches.front()->locationInView(this));
    // Without selection a touch highlights nothing, as in a table.
    if (!allowsSelection || !touched_) return;
    if (auto c = cellForItemAtIndexPath(*touched_)) c->setHighlighted(true);
}

void UICollectionView::touchesCancelled(const UITouchSet&, UIEvent*) {
    if (touched_)
        if (auto c = cellForItemAtIndexPath(*touched_)) c->setHighlighted(false);
    touched_.reset();
}

void UICollectionView::touchesEnded(const UITouchSet& touches, UIEvent*) {
    auto ip = touched_;
    touched_.reset();
    if (!ip) return;
    if (auto c = cellForItemAtIndexPath(*ip)) c->setHighlighted(false);
    if (!allowsSelection || indexPathForItemAtPoint(touches.front()->locationInView(this)) != ip) return;
    auto self = sharedView();
    auto d = collectionDelegate();
    if (allowsMultipleSelection && selected_.count(*ip)) {
        deselectItemAtIndexPath(*ip, false);
        if (d) d->collectionView_didDeselectItemAtIndexPath(*this, *ip);
        return;
    }
    if (d)
        if (auto ok = d->collectionView_shouldSelectItemAtIndexPath(*this, *ip); ok && !*ok) return;
    if (!allowsMultipleSelection)
        for (auto& old : std::set(selected_))
            if (old != *ip) {
                deselectItemAtIndexPath(old, false);
                if (d) d->collectionView_didDeselectItemAtIndexPath(*this, old);
            }
    selected_.insert(*ip);
    if (auto c = cellForItemAtIndexPath(*ip)) c->setSelected(true);
    if (d) d->collectionView_didSelectItemAtIndexPath(*this, *ip);
}

UICollectionViewController::UICollectionViewController(std::shared_ptr<UICollectionViewFlowLayout> layout)
    : layout_(layout ? std::move(layout) : std::make_shared<UICollectionViewFlowLayout>()) {}

std::shared_ptr<UICollectionView> UICollectionViewController::collectionView() {
    return std::static_pointer_cast<UICollectionView>(view());
}

void UICollectionViewController::loadView() {
    auto c = std::make_shared<UICollectionView>(UIScreen::mainScreen().bounds(), layout_);
    setView(c);
    auto self = std::dynamic_pointer_cast<UICollectionViewController>(sharedController());
    c->dataSource = std::static_pointer_cast<UICollectionViewDataSource>(self);
    c->setDelegate(std::static_pointer_cast<UICollectionViewDelegate>(self));
}
