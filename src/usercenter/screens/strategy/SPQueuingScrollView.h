#pragma once
// A horizontally paging scroll view over an unbounded run of pages that
// holds at most three page views: the page in view (centre) and its two
// neighbours. The content is always three pages wide; when a whole page has
// been scrolled to one side, the slots rotate, the page that fell off goes
// to the reuse pool of its identifier, the delegate is asked for the next
// neighbour, and the offset jumps back to the centre slot. Content insets
// make a side without a neighbour unreachable (`location`, below).
//
// Pages are views that also implement SPReusablePage. A page without a
// reuse identifier (""), or marked non-reusable, never enters a pool.
// Main thread only.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/UIScrollView.h"

class SPReusablePage {
public:
    virtual ~SPReusablePage() = default;
    // Called when the page is taken out of a pool.
    virtual void prepareForReuse() = 0;
    const std::string& reuseIdentifier() const { return reuseIdentifier_; }
    void setReuseIdentifier(std::string identifier) { reuseIdentifier_ = std::move(identifier); }
    bool nonreusable() const { return nonreusable_; }
    void setNonreusable(bool n) { nonreusable_ = n; }
    // Set by the scroll view when the page gains or loses focus.
    bool focused() const { return focused_; }
    void setFocused(bool f) { focused_ = f; }
    // Told after the page became, or stopped being, the focus page.
    virtual void didBecomeFocusPage() {}
    virtual void didResignFocusPage() {}

private:
    std::string reuseIdentifier_;
    bool nonreusable_ = false, focused_ = false;
};

class SPQueuingScrollView;

class SPQueuingScrollViewDelegate : public UIScrollViewDelegate {
public:
    // The page before / after `view`, or nullptr when there is none.
    virtual std::shared_ptr<UIView> queuingScrollView_viewBeforeView(SPQueuingScrollView& s, UIView& view) = 0;
    virtual std::shared_ptr<UIView> queuingScrollView_viewAfterView(SPQueuingScrollView& s, UIView& view) = 0;
    // After the focus page changed.
    virtual void queuingScrollViewChangedFocusView_previousFocusView(SPQueuingScrollView& s,
                                                                     const std::shared_ptr<UIView>& previous) {}
};

class SPQueuingScrollView : public UIScrollView {
public:
    // Which neighbours exist, and the content inset (top, left, bottom, right) for w = bounds width:
    //   -1 not set up (created, or a page was just given to displayView)   unchanged
    //    0 centre only                                                     (0, -w, 0, -w)
    //    1 right neighbour only (first page)                               (0, -w, 0, 10w)
    //    2 both                                                            (0, 10w, 0, 10w)
    //    3 left neighbour only (last page)                                 (0, 10w, 0, -w)
    enum Location : long { NotSetUp = -1, Alone = 0, First = 1, Middle = 2, Last = 3 };

    explicit SPQueuingScrollView(const CGRect& frame = CGRect());

    void setDelegate(std::weak_ptr<SPQueuingScrollViewDelegate> d) {
        queuingDelegate_ = d;
        delegate = std::move(d);
    }
    std::shared_ptr<SPQueuingScrollViewDelegate> queuingDelegate() const { return queuingDelegate_.lock(); }

    double pagePadding = 15;  // free on each side of a page inside its slot
    long location() const { return location_; }
    const std::shared_ptr<UIView>& leftView() const { return leftView_; }
    const std::shared_ptr<UIView>& centerView() const { return centerView_; }
    const std::shared_ptr<UIView>& rightView() const { return rightView_; }
    const std::shared_ptr<UIView>& focusView() const { return focusView_; }
    // The non-empty slots, left to right.
    std::vector<std::shared_ptr<UIView>> allViews() const;
    CGPoint targetContentOffset() const { return targetContentOffset_; }

    // Makes `page` the only page and the start of a new run; the neighbours
    // come with the next layout pass.
    void displayView(const std::shared_ptr<UIView>& page);
    // A pooled page of that identifier (prepared for reuse), or nullptr.
    std::shared_ptr<UIView> reusableViewWithIdentifer(const std::string& identifier);
    void recycleView(const std::shared_ptr<UIView>& page);

    // Slot frames for bounds `b`.
    CGRect centerViewFrameForBounds(const CGRect& b) const;
    static CGRect leftViewFrameForBounds(const CGRect& b, const CGRect& centre) { return centre.offsetBy(-b.width(), 0); }
    static CGRect rightViewFrameForBounds(const CGRect& b, const CGRect& centre) { return centre.offsetBy(b.width(), 0); }
    // The slot that counts as shown at the current offset (x < 0.5w left,
    // x > 1.5w right, else the centre; an empty slot gives the centre).
    std::shared_ptr<UIView> calculateFocusView() const;
    void setFocusView(const std::shared_ptr<UIView>& view);

    // Programmatic steps of one page, only from an offset of exactly 0, w or 2w.
    void scrollToNextPageAnimated(bool animated);
    void scrollToPreviousPageAnimated(bool animated);
    bool contentOffsetIsValid() const;
    void locateTargetContentOffset() { setContentOffset(targetContentOffset_); }
    CGRect contentBounds() const { return CGRect(0, 0, bounds().width() - 2 * pagePadding, bounds().height()); }

    void layoutSubviews() override;

private:
    void updateForBounds(const CGRect& b);
    void updateInsets(const CGRect& b, double shift, bool initialize);
    std::shared_ptr<UIView> viewBeforeCenterView();
    std::shared_ptr<UIView> viewAfterCenterView();
    void step(double by, bool animated);

    std::weak_ptr<SPQueuingScrollViewDelegate> queuingDelegate_;
    std::shared_ptr<UIView> leftView_, centerView_, rightView_, focusView_;
    std::map<std::string, std::vector<std::shared_ptr<UIView>>> reusableViewSets_;
    long location_ = NotSetUp;
    CGPoint targetContentOffset_;
};
