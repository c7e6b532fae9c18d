#pragma once
// The "福利" tab: a rounded four-button switch over a paging scroll view
// that holds four pages, the welfare page, activities, gift packs and
// server openings. A page's view is added (and so loads, and sends its
// request) only when scrolling first comes to rest on it; pages passed on
// the way are not loaded. Tapping a button scrolls to its page; swiping
// selects the page's button. The back button closes the user centre.
//
// Built in code; the layout is fixed when the view loads: the switch 64
// points narrower than the view, centred, 21 points below the navigation
// bar's bottom; the pages from 21 points below the switch to the tab bar.

#include <memory>

#include "platform/ui/UIButton.h"
#include "platform/ui/UIScrollView.h"
#include "platform/ui/UIViewController.h"

class ZVSuWelfareVC : public UIViewController, public UIScrollViewDelegate {
public:
    static constexpr long kFirstTag = 10;
    static constexpr double kSwitchHeight = 36;
    static constexpr const char* kSwitchColour = "6137E7";

    const std::shared_ptr<UIView>& topView();
    // Made on first use; making it loads page 0 (the children must exist by then).
    const std::shared_ptr<UIScrollView>& scrollView();
    const std::shared_ptr<UIButton>& backBtn();
    std::shared_ptr<UIButton> nowBtn() const { return nowBtn_.lock(); }

    void viewDidLoad() override;
    // The four pages, as child controllers in page order.
    void addVcs();
    void goBack();
    void doBtnClick(UIButton& button);

    // Loads the page the scroll view rests on, if not loaded yet.
    void scrollViewDidEndScrollingAnimation(UIScrollView& s) override;
    // The same, then selects the page's button.
    void scrollViewDidEndDecelerating(UIScrollView& s) override;

    // The page an offset shows: 0 while the view has no width, never past the last.
    static size_t pageIndex(const UIScrollView& s, size_t pageCount);

private:
    void initUI();
    std::shared_ptr<UIButton> makeSwitchButton(size_t index, double width);

    std::shared_ptr<UIView> topView_;
    std::weak_ptr<UIButton> nowBtn_;
    std::shared_ptr<UIScrollView> scrollView_;
    std::shared_ptr<UIButton> backBtn_;
};
