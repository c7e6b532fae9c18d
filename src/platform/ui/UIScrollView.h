#pragma once
// A scroll view: content size, offset (its bounds' origin), insets
// (negative insets make a side unreachable), paging and a delegate. Drags
// move the content; with `bounces` on, a drag goes past the content's edge
// with resistance (see UIScrollView.cpp for the damping), otherwise it stops
// at the edge. An axis scrolls when its content is larger than the view or
// its alwaysBounce flag is set. On release the content springs back to the
// edge, a paging view settles on a page and a free one glides briefly, all
// as 0.3 s animations on the clock, after which the delegate hears
// scrollViewDidEndDecelerating. The release is acted on after every target
// of the pan gesture has heard it ended, so that a pull-to-refresh header
// still sees the pulled offset and may widen the inset the content then
// settles to. Content that shrinks past the offset brings the offset back
// to its end (unless a drag or a settle is under way), so a shorter list
// never shows empty.
//
// The mouse wheel and a touchpad move the content too (scrollWheel): to
// the edges and never past them, a paging view a page per turn.

#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/UIGestureRecognizer.h"
#include "platform/ui/UIView.h"

class UIScrollView;

class UIScrollViewDelegate {
public:
    virtual ~UIScrollViewDelegate() = default;
    virtual void scrollViewDidScroll(UIScrollView& s) {}
    virtual void scrollViewWillBeginDragging(UIScrollView& s) {}
    virtual void scrollViewDidEndDragging(UIScrollView& s, bool willDecelerate) {}
    virtual void scrollViewWillBeginDecelerating(UIScrollView& s) {}
    virtual void scrollViewDidEndDecelerating(UIScrollView& s) {}
    virtual void scrollViewDidEndScrollingAnimation(UIScrollView& s) {}
};

class UIScrollView : public UIView {
public:
    UIScrollView();
    explicit UIScrollView(const CGRect& frame);

    CGSize contentSize() const { return contentSize_; }
    void setContentSize(CGSize s);
    CGPoint contentOffset() const { return bounds().origin; }
    void setContentOffset(CGPoint p) { setContentOffset(p, false); }
    virtual void setContentOffset(CGPoint p, bool animated);
    const UIEdgeInsets& contentInset() const { return contentInset_; }
    void setContentInset(const UIEdgeInsets& i);
    // The offsets the content can take.
    CGPoint minimumContentOffset() const;
    CGPoint maximumContentOffset() const;
    void scrollRectToVisible(const CGRect& rect, bool animated);

    bool isPagingEnabled() const { return pagingEnabled_; }
    void setPagingEnabled(bool p) { pagingEnabled_ = p; }
    bool isScrollEnabled() const { return scrollEnabled_; }
    void setScrollEnabled(bool e);
    bool bounces = true, alwaysBounceVertical = false, alwaysBounceHorizontal = false;
    bool showsHorizontalScrollIndicator = true, showsVerticalScrollIndicator = true;
    bool scrollsToTop = true;
    bool isDragging() const { return dragging_; }
    bool isDecelerating() const { return decelerating_; }
    bool isTracking() const { return dragging_; }

    std::weak_ptr<UIScrollViewDelegate> delegate;
    const std::shared_ptr<UIPanGestureRecognizer>& panGestureRecognizer();

    // A wheel or touchpad turn over the view, `delta` points along each
    // axis (positive: towards the content's end). The content moves by it
    // and stops at its edges; a paging view turns one page towards it.
    // False when the view cannot move that way (scrolling off, a drag
    // under way, or at that edge already), so that a scroll view around it
    // may take the turn. Observers hear every turn the view takes, before
    // the content moves (a load-more footer counts it as a new drag).
    bool scrollWheel(CGPoint delta);
    void addWheelObserver(std::function<void(UIScrollView&)> observer);

    void didMoveToSuperview() override;
    std::shared_ptr<UIView> hitTest(CGPoint point, UIEvent* event) override;

protected:
    // Subclasses hear every offset change (before the delegate).
    virtual void contentOffsetDidChange() {}
    std::shared_ptr<UIScrollViewDelegate> scrollDelegate() const { return delegate.lock(); }

private:
    void ensurePan();
    void handlePan(UIPanGestureRecognizer& pan);
    // Where the content goes when the finger lifts with that velocity.
    CGPoint releaseTarget(CGPoint velocity) const;
    // Acts on a release once the pan's other targets have heard of it.
    void finishRelease();
    void settle(CGPoint target);
    // An offset past the content's end comes back to it.
    void clampToContentEnd();
    CGPoint clamp(CGPoint p) const;
    // The offset shown for an offset the finger asks for (past an edge: damped).
    CGPoint resisted(CGPoint raw) const;
    // The finger's offset that shows `shown` (the inverse of resisted).
    CGPoint unresisted(CGPoint shown) const;
    bool scrollsHorizontally() const;
    bool scrollsVertically() const;

    CGSize contentSize_;
    UIEdgeInsets contentInset_;
    bool pagingEnabled_ = false, scrollEnabled_ = true;
    bool dragging_ = false, decelerating_ = false;
    CGPoint dragStart_;  // in the finger's (undamped) space
    bool releasePending_ = false, releaseDecelerates_ = false;
    CGPoint releaseVelocity_;
    uint64_t scrollGeneration_ = 0;
    std::shared_ptr<UIPanGestureRecognizer> pan_;
    std::vector<std::function<void(UIScrollView&)>> wheelObservers_;
};
