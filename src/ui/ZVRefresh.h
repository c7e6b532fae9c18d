#pragma once
// Pull-to-refresh for scroll views: a header that refreshes when pulled
// down past its height and let go, and a footer that loads more by itself
// when it comes into view. Both follow their scroll view's offset and pan
// gesture; the state machines are public so lists can be driven exactly
// (also where a scroll view does not pull past its edge).
//
// States: 1 idle, 2 pulling (the header: let go to refresh), 3 refreshing,
// 4 will refresh (asked to refresh before it was on screen), 5 no more data.

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/ui/UIGestureRecognizer.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIScrollView.h"

enum class ZVRefreshState { Idle = 1, Pulling = 2, Refreshing = 3, WillRefresh = 4, NoMoreData = 5 };

class ZVRefreshComponent : public UIView {
public:
    using Block = std::function<void()>;

    ZVRefreshState state() const { return state_; }
    virtual void setState(ZVRefreshState s);
    // YES while refreshing or about to refresh.
    bool isRefreshing() const { return state_ == ZVRefreshState::Refreshing || state_ == ZVRefreshState::WillRefresh; }
    void beginRefreshing();
    virtual void endRefreshing();

    void setRefreshingBlock(Block b) { refreshingBlock_ = std::move(b); }
    // The scroll view it belongs to (nullptr when detached).
    std::shared_ptr<UIScrollView> scrollView() const { return scrollView_.lock(); }

    // Inputs of the state machine: the scroll view's offset changed; its
    // pan gesture changed state; a wheel or touchpad turn is about to move it.
    virtual void scrollViewContentOffsetDidChange() {}
    virtual void scrollViewPanStateDidChange(UIGestureRecognizerState state);
    virtual void scrollViewWheelWillTurn() {}
    bool isDragging() const { return dragging_; }

    void didMoveToSuperview() override;

protected:
    // Positions the component in its scroll view.
    virtual void placeSubviews() {}
    virtual void attached() {}
    virtual void detaching() {}
    // Runs the refreshing block on the main queue, after the caller.
    void executeRefreshingCallback();
    UIEdgeInsets originalInset_;
    bool dragging_ = false;

private:
    ZVRefreshState state_ = ZVRefreshState::Idle;
    Block refreshingBlock_;
    std::weak_ptr<UIScrollView> scrollView_;
    uint64_t attachment_ = 0;
};

// The state label of a header or footer and its text for each state.
class ZVRefreshStateText {
public:
    explicit ZVRefreshStateText(std::map<ZVRefreshState, std::string> titles);
    const std::shared_ptr<UILabel>& label() const { return label_; }
    void setTitle(const std::string& title, ZVRefreshState state, ZVRefreshState current);
    std::string titleForState(ZVRefreshState state) const;
    void show(ZVRefreshState state) { label_->setText(titleForState(state)); }
    // Fills `owner` with the label.
    void layoutIn(UIView& owner);

private:
    std::shared_ptr<UILabel> label_;
    std::map<ZVRefreshState, std::string> titles_;
};

// ---- Header

class ZVRefreshHeader : public ZVRefreshComponent {
public:
    static constexpr double kHeight = 54;
    static constexpr double kInsetAnimationDuration = 0.25;
    ZVRefreshHeader();
    void setState(ZVRefreshState s) override;
    // Back to idle later on the main queue (the list reloads first).
    void endRefreshing() override;
    void scrollViewContentOffsetDidChange() override;
    void scrollViewPanStateDidChange(UIGestureRecognizerState state) override;

protected:
    void placeSubviews() override;
};

class ZVRefreshStateHeader : public ZVRefreshHeader {
public:
    ZVRefreshStateHeader();
    const std::shared_ptr<UILabel>& stateLabel() const { return text_.label(); }
    void setTitle(const std::string& title, ZVRefreshState state) { text_.setTitle(title, state, this->state()); }
    std::string titleForState(ZVRefreshState state) const { return text_.titleForState(state); }
    void setState(ZVRefreshState s) override;
    void layoutSubviews() override { text_.layoutIn(*this); }

private:
    ZVRefreshStateText text_;
};

class ZVRefreshNormalHeader : public ZVRefreshStateHeader {
public:
    static std::shared_ptr<ZVRefreshNormalHeader> headerWithRefreshingBlock(Block block);
    void drawRect(CGContext& ctx, const CGRect& rect) override;
    void setState(ZVRefreshState s) override;
};

// ---- Footer

class ZVRefreshFooter : public ZVRefreshComponent {
public:
    static constexpr double kHeight = 44;
    ZVRefreshFooter();
    void endRefreshingWithNoMoreData();
    void resetNoMoreData();
};

class ZVRefreshAutoFooter : public ZVRefreshFooter {
public:
    // Load more by itself when it comes into view (default on).
    bool automaticallyRefresh = true;
    void setState(ZVRefreshState s) override;
    void scrollViewContentOffsetDidChange() override;
    void scrollViewPanStateDidChange(UIGestureRecognizerState state) override;
    // A wheel turn counts as a new drag: at the end it loads more again.
    void scrollViewWheelWillTurn() override { oneNewPan_ = true; }
    void setHidden(bool hidden) override;

protected:
    void placeSubviews() override;
    void attached() override;
    void detaching() override;

private:
    bool contentFillsView() const;
    bool oneNewPan_ = true;
    bool insetAdded_ = false;
};

class ZVRefreshAutoStateFooter : public ZVRefreshAutoFooter {
public:
    ZVRefreshAutoStateFooter();
    const std::shared_ptr<UILabel>& stateLabel() const { return text_.label(); }
    void setTitle(const std::string& title, ZVRefreshState state) { text_.setTitle(title, state, this->state()); }
    std::string titleForState(ZVRefreshState state) const { return text_.titleForState(state); }
    void setState(ZVRefreshState s) override;
    void layoutSubviews() override { text_.layoutIn(*this); }
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;

private:
    ZVRefreshStateText text_;
};

class ZVRefreshAutoNormalFooter : public ZVRefreshAutoStateFooter {
public:
    static std::shared_ptr<ZVRefreshAutoNormalFooter> footerWithRefreshingBlock(Block block);
    void drawRect(CGContext& ctx, const CGRect& rect) override;
    void setState(ZVRefreshState s) override;
};

// The category UIScrollView(ZVRefresh): a scroll view's header and footer.
namespace ZVRefresh {
// Replaces the header (the old one is removed; nullptr detaches).
void setZV_header(const std::shared_ptr<UIScrollView>& scrollView, const std::shared_ptr<ZVRefreshHeader>& header);
std::shared_ptr<ZVRefreshHeader> ZV_header(const std::shared_ptr<UIScrollView>& scrollView);
void setZV_footer(const std::shared_ptr<UIScrollView>& scrollView, const std::shared_ptr<ZVRefreshFooter>& footer);
std::shared_ptr<ZVRefreshFooter> ZV_footer(const std::shared_ptr<UIScrollView>& scrollView);
}  // namespace ZVRefresh
