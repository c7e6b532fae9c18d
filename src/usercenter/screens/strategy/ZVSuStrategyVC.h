#pragma once
// The "攻略" tab: a rounded two-button switch ("攻略" guides, "评论"
// comments) over a horizontally paging scroll view holding the guide list
// (page 0) and the comment list (page 1). A page's view is added the first
// time the scroll view comes to rest on it; tapping a switch button scrolls
// to its page, swiping selects the page's button. The back button closes
// the user centre.

#include <memory>
#include <vector>

#include "platform/ui/UIButton.h"
#include "platform/ui/UIScrollView.h"
#include "platform/ui/UIViewController.h"
#include "usercenter/screens/strategy/ZVPingVC.h"
#include "usercenter/screens/strategy/ZVStrategyVC.h"

class ZVSuStrategyVC : public UIViewController, public UIScrollViewDelegate {
public:
    static constexpr long kButtonTagBase = 10;
    static constexpr double kSwitchWidth = 240, kSwitchHeight = 36, kSwitchGap = 21;

    // Made on first use.
    const std::shared_ptr<UIView>& topView();
    const std::shared_ptr<UIScrollView>& scrollView();
    const std::shared_ptr<UIButton>& backBtn();
    // The switch button of the page shown.
    std::shared_ptr<UIButton> nowBtn() const { return nowBtn_.lock(); }

    std::shared_ptr<ZVStrategyVC> guides() const;
    std::shared_ptr<ZVPingVC> comments() const;

    void viewDidLoad() override;
    void goBack();
    void doBtnClick(UIButton& button);

    void scrollViewDidEndScrollingAnimation(UIScrollView& s) override;
    void scrollViewDidEndDecelerating(UIScrollView& s) override;

private:
    void addVcs();
    size_t pageIndexOf(const UIScrollView& s) const;

    std::shared_ptr<UIView> topView_;
    std::shared_ptr<UIScrollView> scrollView_;
    std::shared_ptr<UIButton> backBtn_;
    std::weak_ptr<UIButton> nowBtn_;
};
