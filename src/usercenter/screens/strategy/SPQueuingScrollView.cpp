#include "usercenter/screens/strategy/SPQueuingScrollView.h"

#include <algorithm>
#include <utility>

namespace {
SPReusablePage* reusable(const std::shared_ptr<UIView>& v) { return dynamic_cast<SPReusablePage*>(v.get()); }

// Takes `v` out of the scroll view unless it still fills another slot.
void detach(const std::shared_ptr<UIView>& v, const std::shared_ptr<UIView>& stays) {
    if (v && v != stays) v->removeFromSuperview();
}
}  // namespace

SPQueuingScrollView::SPQueuingScrollView(const CGRect& frame) : UIScrollView(frame) {
    showsHorizontalScrollIndicator = false;
    showsVerticalScrollIndicator = false;
    setPagingEnabled(true);
    setContentSize({3 * frame.width(), frame.height()});
}

std::vector<std::shared_ptr<UIView>> SPQueuingScrollView::allViews() const {
    std::vector<std::shared_ptr<UIView>> out;
    for (auto* v : {&leftView_, &centerView_, &rightView_})
        if (*v) out.push_back(*v);
    return out;
}

void SPQueuingScrollView::displayView(const std::shared_ptr<UIView>& page) {
    for (auto* side : {&leftView_, &rightView_}) {
        recycleView(*side);
        detach(*side, nullptr);
        side->reset();
    }
    location_ = NotSetUp;
    if (centerView_ != page) {
        recycleView(centerView_);
        detach(centerView_, nullptr);
    }
    if (page) addSubview(page);
    centerView_ = page;
    setFocusView(page);
    setContentOffset({bounds().width(), contentOffset().y});
    setNeedsLayout();
}

std::shared_ptr<UIView> SPQueuingScrollView::reusableViewWithIdentifer(const std::string& identifier) {
    auto it = reusableViewSets_.find(identifier);
    if (it == reusableViewSets_.end() || it->second.empty()) return nullptr;
    auto page = it->second.back();
    it->second.pop_back();
    if (auto* r = reusable(page)) r->prepareForReuse();
    return page;
}

void SPQueuingScrollView::recycleView(const std::shared_ptr<UIView>& page) {
    auto* r = reusable(page);
    if (!r || r->reuseIdentifier().empty() || r->nonreusable()) return;
    auto& pool = reusableViewSets_[r->reuseIdentifier()];
    if (std::find(pool.begin(), pool.end(), page) == pool.end()) pool.push_back(page);
}

CGRect SPQueuingScrollView::centerViewFrameForBounds(const CGRect& b) const {
    return CGRect(b.minX() + pagePadding, 0, b.width() - 2 * pagePadding, b.height());
}

std::shared_ptr<UIView> SPQueuingScrollView::viewBeforeCenterView() {
    auto d = queuingDelegate();
    return d && centerView_ ? d->queuingScrollView_viewBeforeView(*this, *centerView_) : nullptr;
}

std::shared_ptr<UIView> SPQueuingScrollView::viewAfterCenterView() {
    auto d = queuingDelegate();
    return d && centerView_ ? d->queuingScrollView_viewAfterView(*this, *centerView_) : nullptr;
}

void SPQueuingScrollView::layoutSubviews() {
    UIScrollView::layoutSubviews();
    CGRect b = bounds();
    CGSize size{3 * b.width(), b.height()};
    if (contentSize() != size) setContentSize(size);
    updateForBounds(b);
    setFocusView(calculateFocusView());
}

void SPQueuingScrollView::updateForBounds(const CGRect& b) {
    // Without a width every offset would count as a whole page scrolled.
    if (!centerView_ || b.width() <= 0) return;
    CGRect centre = centerViewFrameForBounds(b);
    bool rotated = true, first = false;
    double shift = 0;
    if (location_ == NotSetUp) {
        leftView_ = viewBeforeCenterView();
        rightView_ = viewAfterCenterView();
        for (auto* v : {&leftView_, &rightView_})
            if (*v) addSubview(*v);
        first = true;
    } else if (b.minX() >= 2 * b.width() && rightView_) {
        recycleView(leftView_);
        detach(leftView_, rightView_);
        leftView_ = std::exchange(centerView_, rightView_);
        rightView_ = viewAfterCenterView();
        if (rightView_) addSubview(rightView_);
        shift = -b.width();
    } else if (b.minX() <= 0 && leftView_) {
        recycleView(rightView_);
        detach(rightView_, leftView_);
        rightView_ = std::exchange(centerView_, leftView_);
        leftView_ = viewBeforeCenterView();
        if (leftView_) addSubview(leftView_);
        shift = b.width();
    } else {
        rotated = false;
    }
    if (leftView_) leftView_->setFrame(leftViewFrameForBounds(b, centre));
    centerView_->setFrame(centre);
    if (rightView_) rightView_->setFrame(rightViewFrameForBounds(b, centre));
    if (rotated) updateInsets(b, shift, first);
}

void SPQueuingScrollView::updateInsets(const CGRect& b, double shift, bool initialize) {
    double w = b.width();
    bool left = leftView_ != nullptr, right = rightView_ != nullptr;
    UIEdgeInsets inset;
    if (!left && !right) location_ = Alone, inset = {0, -w, 0, -w};
    else if (!left) location_ = First, inset = {0, -w, 0, 10 * w};
    else if (right) location_ = Middle, inset = {0, 10 * w, 0, 10 * w};
    else location_ = Last, inset = {0, 10 * w, 0, -w};
    if (contentInset() != inset) setContentInset(inset);
    setContentOffset({initialize ? w : b.minX() + shift, 0});
}

std::shared_ptr<UIView> SPQueuingScrollView::calculateFocusView() const {
    double x = bounds().minX(), w = bounds().width();
    std::shared_ptr<UIView> v = centerView_;
    if (x < 0.5 * w) v = leftView_;
    else if (x > 1.5 * w) v = rightView_;
    return v ? v : centerView_;
}

void SPQueuingScrollView::setFocusView(const std::shared_ptr<UIView>& view) {
    if (view == focusView_) return;
    auto previous = focusView_;
    if (auto* r = reusable(previous)) {
        r->setFocused(false);
        r->didResignFocusPage();
    }
    if (auto* r = reusable(view)) {
        r->setFocused(true);
        r->didBecomeFocusPage();
    }
    focusView_ = view;
    if (auto d = queuingDelegate()) d->queuingScrollViewChangedFocusView_previousFocusView(*this, previous);
}

bool SPQueuingScrollView::contentOffsetIsValid() const {
    double x = contentOffset().x, w = bounds().width();
    return x == 0 || x == w || x == 2 * w;
}

void SPQueuingScrollView::step(double by, bool animated) {
    if (!contentOffsetIsValid()) return;
    targetContentOffset_ = {contentOffset().x + by, contentOffset().y};
    setContentOffset(targetContentOffset_, animated);
}

void SPQueuingScrollView::scrollToNextPageAnimated(bool animated) { step(bounds().width(), animated); }
void SPQueuingScrollView::scrollToPreviousPageAnimated(bool animated) { step(-bounds().width(), animated); }
