#include "ui/ZVRefresh.h"

#include <cmath>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/graphics/CGPath.h"

// ---- Component

void ZVRefreshComponent::setState(ZVRefreshState s) {
    state_ = s;
    setNeedsLayout();
    setNeedsDisplay();
}

void ZVRefreshComponent::beginRefreshing() {
    if (isRefreshing()) return;
    setState(scrollView() ? ZVRefreshState::Refreshing : ZVRefreshState::WillRefresh);
}

void ZVRefreshComponent::endRefreshing() { setState(ZVRefreshState::Idle); }

void ZVRefreshComponent::scrollViewPanStateDidChange(UIGestureRecognizerState s) {
    dragging_ = s == UIGestureRecognizerState::Began || s == UIGestureRecognizerState::Changed;
}

void ZVRefreshComponent::executeRefreshingCallback() {
    std::weak_ptr<UIView> weak = sharedView();
    DispatchQueue::main()->async([weak] {
        auto self = std::static_pointer_cast<ZVRefreshComponent>(weak.lock());
        if (self && self->isRefreshing() && self->refreshingBlock_) self->refreshingBlock_();
    });
}

void ZVRefreshComponent::didMoveToSuperview() {
    auto sv = std::dynamic_pointer_cast<UIScrollView>(superview());
    auto old = scrollView_.lock();
    if (old == sv) return;
    if (old) {
        detaching();
        scrollView_.reset();
        ++attachment_;
        dragging_ = false;
    }
    if (!sv) return;
    scrollView_ = sv;
    uint64_t attachment = ++attachment_;
    originalInset_ = sv->contentInset();
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    // Observers cannot be taken off a scroll view: each one checks that it
    // still belongs to the current attachment.
    std::weak_ptr<ZVRefreshComponent> weak = std::static_pointer_cast<ZVRefreshComponent>(sharedView());
    sv->addGeometryObserver([weak, attachment](UIView&) {
        auto self = weak.lock();
        if (self && self->attachment_ == attachment) self->scrollViewContentOffsetDidChange();
    });
    sv->panGestureRecognizer()->addTarget([weak, attachment](UIGestureRecognizer& g) {
        auto self = weak.lock();
        if (self && self->attachment_ == attachment) self->scrollViewPanStateDidChange(g.state());
    });
    sv->addWheelObserver([weak, attachment](UIScrollView&) {
        auto self = weak.lock();
        if (self && self->attachment_ == attachment) self->scrollViewWheelWillTurn();
    });
    attached();
    placeSubviews();
    if (state_ == ZVRefreshState::WillRefresh) setState(ZVRefreshState::Refreshing);
}

// ---- Header

ZVRefreshHeader::ZVRefreshHeader() {
    setBackgroundColor(UIColor::clearColor());
    setOpaque(false);
}

void ZVRefreshHeader::placeSubviews() {
    auto sv = scrollView();
    if (!sv) return;
    setFrame(CGRect(0, -kHeight, sv->bounds().width(), kHeight));
}

void ZVRefreshHeader::setState(ZVRefreshState s) {
    ZVRefreshState old = state();
    if (old == s) return;
    ZVRefreshComponent::setState(s);
    auto sv = scrollView();
    if (!sv) return;
    if (s == ZVRefreshState::Refreshing) {
        // Keep the header in view while it refreshes; a released pull glides
        // into place from where the finger left it.
        UIEdgeInsets inset = sv->contentInset();
        originalInset_ = inset;
        inset.top += kHeight;
        UIView::animateWithDuration(kInsetAnimationDuration, [&] {
            sv->setContentInset(inset);
            sv->setContentOffset({sv->contentOffset().x, -inset.top});
        });
        executeRefreshingCallback();
    } else if (old == ZVRefreshState::Refreshing) {
        UIEdgeInsets inset = sv->contentInset();
        inset.top = originalInset_.top;
        sv->setContentInset(inset);
        if (sv->contentOffset().y < -inset.top) sv->setContentOffset({sv->contentOffset().x, -inset.top});
    }
}

void ZVRefreshHeader::endRefreshing() {
    std::weak_ptr<UIView> weak = sharedView();
    DispatchQueue::main()->async([weak] {
        if (auto self = std::static_pointer_cast<ZVRefreshHeader>(weak.lock()))
            self->setState(ZVRefreshState::Idle);
    });
}

void ZVRefreshHeader::scrollViewContentOffsetDidChange() {
    auto sv = scrollView();
    if (!sv) return;
    placeSubviews();
    if (isRefreshing()) return;
    originalInset_ = sv->contentInset();
    double offsetY = sv->contentOffset().y;
    double happen = -originalInset_.top;
    if (offsetY > happen) {
        if (state() == ZVRefreshState::Pulling) setState(ZVRefreshState::Idle);
        return;  // the header is out of sight
    }
    double pulling = happen - kHeight;
    if (dragging_) {
        if (state() == ZVRefreshState::Idle && offsetY < pulling) setState(ZVRefreshState::Pulling);
        else if (state() == ZVRefreshState::Pulling && offsetY >= pulling) setState(ZVRefreshState::Idle);
    } else if (state() == ZVRefreshState::Pulling) {
        beginRefreshing();
    }
}

void ZVRefreshHeader::scrollViewPanStateDidChange(UIGestureRecognizerState s) {
    ZVRefreshComponent::scrollViewPanStateDidChange(s);
    if (!dragging_ && state() == ZVRefreshState::Pulling) beginRefreshing();
}

ZVRefreshStateText::ZVRefreshStateText(std::map<ZVRefreshState, std::string> titles) : titles_(std::move(titles)) {
    label_ = std::make_shared<UILabel>();
    label_->setFont(UIFont::boldSystemFontOfSize(14));
    label_->setTextColor(UIColor::fromRGB(0x666666));
    label_->setTextAlignment(NSTextAlignment::Center);
    show(ZVRefreshState::Idle);
}

void ZVRefreshStateText::setTitle(const std::string& title, ZVRefreshState state, ZVRefreshState current) {
    titles_[state] = title;
    if (state == current) label_->setText(title);
}

std::string ZVRefreshStateText::titleForState(ZVRefreshState state) const {
    auto it = titles_.find(state);
    return it == titles_.end() ? "" : it->second;
}

void ZVRefreshStateText::layoutIn(UIView& owner) {
    if (label_->superview().get() != &owner) owner.addSubview(label_);
    label_->setFrame(owner.bounds());
}

ZVRefreshStateHeader::ZVRefreshStateHeader()
    : text_({{ZVRefreshState::Idle, "下拉可以刷新"},
             {ZVRefreshState::Pulling, "松开立即刷新"},
             {ZVRefreshState::Refreshing, "正在刷新数据中..."}}) {}

void ZVRefreshStateHeader::setState(ZVRefreshState s) {
    ZVRefreshHeader::setState(s);
    text_.show(state());
}

std::shared_ptr<ZVRefreshNormalHeader> ZVRefreshNormalHeader::headerWithRefreshingBlock(Block block) {
    auto h = std::make_shared<ZVRefreshNormalHeader>();
    h->setRefreshingBlock(std::move(block));
    return h;
}

void ZVRefreshNormalHeader::setState(ZVRefreshState s) {
    ZVRefreshStateHeader::setState(s);
    setNeedsDisplay();
}

namespace {
// An arrow pointing down (or up), or a ring of spokes while busy, left of the text.
void drawIndicator(CGContext& ctx, CGPoint c, bool busy, bool up) {
    ctx.setStrokeColor(UIColor::fromRGB(0x999999));
    ctx.setLineWidth(2);
    ctx.setLineCap(CGLineCap::Round);
    if (busy) {
        for (int i = 0; i < 8; ++i) {
            double a = i * M_PI / 4;
            CGPath spoke;
            spoke.moveTo({c.x + 5 * std::cos(a), c.y + 5 * std::sin(a)});
            spoke.lineTo({c.x + 9 * std::cos(a), c.y + 9 * std::sin(a)});
            ctx.strokePath(spoke);
        }
        return;
    }
    double d = up ? -1 : 1;
    CGPath arrow;
    arrow.moveTo({c.x, c.y - 9 * d});
    arrow.lineTo({c.x, c.y + 9 * d});
    arrow.moveTo({c.x - 5, c.y + 4 * d});
    arrow.lineTo({c.x, c.y + 9 * d});
    arrow.lineTo({c.x + 5, c.y + 4 * d});
    ctx.strokePath(arrow);
}
}  // namespace

void ZVRefreshNormalHeader::drawRect(CGContext& ctx, const CGRect&) {
    CGSize text = stateLabel()->sizeThatFits({0, 0});
    CGPoint c{bounds().midX() - text.width / 2 - 24, bounds().midY()};
    drawIndicator(ctx, c, isRefreshing(), state() == ZVRefreshState::Pulling);
}

// ---- Footer

ZVRefreshFooter::ZVRefreshFooter() {
    setBackgroundColor(UIColor::clearColor());
    setOpaque(false);
}

void ZVRefreshFooter::endRefreshingWithNoMoreData() { setState(ZVRefreshState::NoMoreData); }

void ZVRefreshFooter::resetNoMoreData() {
    if (state() == ZVRefreshState::NoMoreData) setState(ZVRefreshState::Idle);
}

void ZVRefreshAutoFooter::attached() {
    auto sv = scrollView();
    if (!sv || isHidden()) return;
    UIEdgeInsets inset = sv->contentInset();
    inset.bottom += kHeight;
    sv->setContentInset(inset);
    insetAdded_ = true;
}

void ZVRefreshAutoFooter::detaching() {
    auto sv = scrollView();
    if (!sv || !insetAdded_) return;
    UIEdgeInsets inset = sv->contentInset();
    inset.bottom -= kHeight;
    sv->setContentInset(inset);
    insetAdded_ = false;
}

void ZVRefreshAutoFooter::setHidden(bool hidden) {
    bool was = isHidden();
    ZVRefreshFooter::setHidden(hidden);
    if (was == hidden) return;
    if (hidden) detaching();
    else attached();
}

void ZVRefreshAutoFooter::placeSubviews() {
    auto sv = scrollView();
    if (!sv) return;
    setFrame(CGRect(0, sv->contentSize().height, sv->bounds().width(), kHeight));
}

bool ZVRefreshAutoFooter::contentFillsView() const {
    auto sv = scrollView();
    return sv && sv->contentInset().top + sv->contentSize().height > sv->bounds().height();
}

void ZVRefreshAutoFooter::setState(ZVRefreshState s) {
    ZVRefreshState old = state();
    if (old == s) return;
    ZVRefreshFooter::setState(s);
    if (s == ZVRefreshState::Refreshing) executeRefreshingCallback();
}

void ZVRefreshAutoFooter::scrollViewContentOffsetDidChange() {
    auto sv = scrollView();
    if (!sv) return;
    placeSubviews();
    if (state() != ZVRefreshState::Idle || !automaticallyRefresh || isHidden()) return;
    if (sv->contentSize().height <= 0 || !contentFillsView()) return;
    // The whole footer is in view: load more, once per drag.
    double bottom = sv->contentSize().height + sv->contentInset().bottom - sv->bounds().height();
    if (sv->contentOffset().y >= bottom && oneNewPan_) {
        oneNewPan_ = false;
        beginRefreshing();
    }
}

void ZVRefreshAutoFooter::scrollViewPanStateDidChange(UIGestureRecognizerState s) {
    ZVRefreshFooter::scrollViewPanStateDidChange(s);
    if (s == UIGestureRecognizerState::Began) {
        oneNewPan_ = true;
        return;
    }
    if (s != UIGestureRecognizerState::Ended || state() != ZVRefreshState::Idle || isHidden()) return;
    auto sv = scrollView();
    if (!sv || sv->contentSize().height <= 0) return;
    // A short list shows the footer at once: a drag upwards asks for more. A
    // pull downwards never does, even when a refreshing header has just
    // moved the content to its top.
    if (sv->panGestureRecognizer()->translationInView(nullptr).y > 0) return;
    if (!contentFillsView() && sv->contentOffset().y >= -sv->contentInset().top) beginRefreshing();
}

ZVRefreshAutoStateFooter::ZVRefreshAutoStateFooter()
    : text_({{ZVRefreshState::Idle, "点击或上拉加载更多"},
             {ZVRefreshState::Refreshing, "正在加载更多的数据..."},
             {ZVRefreshState::NoMoreData, "已经全部加载完毕"}}) {}

void ZVRefreshAutoStateFooter::setState(ZVRefreshState s) {
    ZVRefreshAutoFooter::setState(s);
    text_.show(state());
}

void ZVRefreshAutoStateFooter::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    if (state() == ZVRefreshState::Idle) beginRefreshing();
}

std::shared_ptr<ZVRefreshAutoNormalFooter> ZVRefreshAutoNormalFooter::footerWithRefreshingBlock(Block block) {
    auto f = std::make_shared<ZVRefreshAutoNormalFooter>();
    f->setRefreshingBlock(std::move(block));
    return f;
}

void ZVRefreshAutoNormalFooter::setState(ZVRefreshState s) {
    ZVRefreshAutoStateFooter::setState(s);
    setNeedsDisplay();
}

void ZVRefreshAutoNormalFooter::drawRect(CGContext& ctx, const CGRect&) {
    if (!isRefreshing()) return;
    CGSize text = stateLabel()->sizeThatFits({0, 0});
    drawIndicator(ctx, {bounds().midX() - text.width / 2 - 20, bounds().midY()}, true, false);
}

// ---- UIScrollView(ZVRefresh)

namespace ZVRefresh {

namespace {
template <class T>
std::shared_ptr<T> find(const std::shared_ptr<UIScrollView>& sv) {
    if (!sv) return nullptr;
    for (auto& v : sv->subviews())
        if (auto c = std::dynamic_pointer_cast<T>(v)) return c;
    return nullptr;
}
template <class T>
void replace(const std::shared_ptr<UIScrollView>& sv, const std::shared_ptr<T>& component) {
    if (!sv) return;
    auto old = find<T>(sv);
    if (old == component) return;
    if (old) old->removeFromSuperview();
    if (component) sv->insertSubview(component, 0);
}
}  // namespace

void setZV_header(const std::shared_ptr<UIScrollView>& sv, const std::shared_ptr<ZVRefreshHeader>& header) {
    replace(sv, header);
}
std::shared_ptr<ZVRefreshHeader> ZV_header(const std::shared_ptr<UIScrollView>& sv) { return find<ZVRefreshHeader>(sv); }
void setZV_footer(const std::shared_ptr<UIScrollView>& sv, const std::shared_ptr<ZVRefreshFooter>& footer) {
    replace(sv, footer);
}
std::shared_ptr<ZVRefreshFooter> ZV_footer(const std::shared_ptr<UIScrollView>& sv) { return find<ZVRefreshFooter>(sv); }

}  // namespace ZVRefresh
