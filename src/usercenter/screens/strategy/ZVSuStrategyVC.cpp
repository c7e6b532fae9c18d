#include "usercenter/screens/strategy/ZVSuStrategyVC.h"

#include <cmath>

#include "platform/ui/UIBarItems.h"
#include "platform/ui/UINavigationController.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/shell/ZVSuTabBarVC.h"

namespace {
constexpr const char* kPurple = "6137E7";
bool hasBottomInset() { return UIScreen::mainScreen().safeAreaInsets().bottom > 0; }
}  // namespace

void ZVSuStrategyVC::viewDidLoad() {
    UIViewController::viewDidLoad();
    navigationItem().setTitle("攻略");
    navigationItem().setLeftBarButtonItem(UIBarButtonItem::withCustomView(backBtn()));
    view()->setBackgroundColor(XTExtention::colorWithHexString("#F9F9F9"));
    view()->addSubview(topView());
    addVcs();
    view()->addSubview(scrollView());
}

void ZVSuStrategyVC::addVcs() {
    addChildViewController(std::make_shared<ZVStrategyVC>());
    addChildViewController(std::make_shared<ZVPingVC>());
}

std::shared_ptr<ZVStrategyVC> ZVSuStrategyVC::guides() const {
    auto& kids = childViewControllers();
    return kids.empty() ? nullptr : std::dynamic_pointer_cast<ZVStrategyVC>(kids[0]);
}

std::shared_ptr<ZVPingVC> ZVSuStrategyVC::comments() const {
    auto& kids = childViewControllers();
    return kids.size() < 2 ? nullptr : std::dynamic_pointer_cast<ZVPingVC>(kids[1]);
}

const std::shared_ptr<UIButton>& ZVSuStrategyVC::backBtn() {
    if (!backBtn_) {
        backBtn_ = UIButton::buttonWithType(UIButtonType::Custom);
        backBtn_->setFrame(CGRect(0, 0, 25, 25));
        backBtn_->setImage(ZVColor::sdkImageNamed("ZV_nav_back.png"), UIControlStateNormal);
        backBtn_->setAccessibilityIdentifier("nav_back");
        std::weak_ptr<ZVSuStrategyVC> weak = std::static_pointer_cast<ZVSuStrategyVC>(sharedController());
        backBtn_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
            if (auto self = weak.lock()) self->goBack();
        });
    }
    return backBtn_;
}

void ZVSuStrategyVC::goBack() { ZVSuTabBarVC::closeContaining(*this); }

const std::shared_ptr<UIView>& ZVSuStrategyVC::topView() {
    if (topView_) return topView_;
    topView_ = std::make_shared<UIView>(CGRect(0, hasBottomInset() ? 109 : 85, kSwitchWidth, kSwitchHeight));
    topView_->setCenter({view()->bounds().width() / 2, topView_->center().y});
    topView_->setBackgroundColor(UIColor::whiteColor());
    topView_->layer()->setBorderWidth(1.0);
    topView_->layer()->setBorderColor(XTExtention::colorWithHexString(kPurple));
    topView_->layer()->setCornerRadius(kSwitchHeight / 2);
    topView_->setClipsToBounds(true);
    std::weak_ptr<ZVSuStrategyVC> weak = std::static_pointer_cast<ZVSuStrategyVC>(sharedController());
    const char* titles[] = {"攻略", "评论"};
    for (long i = 0; i < 2; ++i) {
        auto button = std::make_shared<UIButton>();
        button->setFrame(CGRect(double(i) * kSwitchWidth / 2, 0, kSwitchWidth / 2, kSwitchHeight));
        button->setTag(kButtonTagBase + i);
        button->setTitle(titles[i], UIControlStateNormal);
        button->titleLabel()->setFont(UIFont::systemFontOfSize(14));
        button->setTitleColor(XTExtention::colorWithHexString("#333333"), UIControlStateNormal);
        button->setTitleColor(UIColor::whiteColor(), UIControlStateSelected);
        button->setBackgroundImage(ZVColor::imageWithColor(UIColor::whiteColor()), UIControlStateNormal);
        button->setBackgroundImage(ZVColor::imageWithColor(XTExtention::colorWithHexString(kPurple)), UIControlStateSelected);
        button->addAction(UIControlEventTouchUpInside, [weak](UIControl& sender) {
            auto self = weak.lock();
            if (auto* b = dynamic_cast<UIButton*>(&sender); self && b) self->doBtnClick(*b);
        });
        topView_->addSubview(button);
        if (i == 0) {
            button->setSelected(true);
            nowBtn_ = button;
        }
    }
    return topView_;
}

const std::shared_ptr<UIScrollView>& ZVSuStrategyVC::scrollView() {
    if (scrollView_) return scrollView_;
    CGRect b = view()->bounds();
    double top = topView()->frame().maxY() + kSwitchGap, bar = hasBottomInset() ? 83 : 49;
    scrollView_ = std::make_shared<UIScrollView>(CGRect(0, top, b.width(), b.height() - top - bar));
    scrollView_->setContentSize({2 * b.width(), 0});
    scrollView_->showsHorizontalScrollIndicator = false;
    scrollView_->setBackgroundColor(UIColor::clearColor());
    scrollView_->setPagingEnabled(true);
    scrollView_->bounces = false;
    scrollView_->delegate = std::static_pointer_cast<ZVSuStrategyVC>(sharedController());
    scrollViewDidEndScrollingAnimation(*scrollView_);
    return scrollView_;
}

void ZVSuStrategyVC::doBtnClick(UIButton& button) {
    auto now = nowBtn();
    if (now.get() == &button) return;
    auto chosen = std::static_pointer_cast<UIButton>(button.sharedView());
    chosen->setSelected(true);
    if (now) now->setSelected(false);
    nowBtn_ = chosen;
    auto& s = scrollView();
    double x = s->bounds().width() * double(button.tag() - kButtonTagBase);
    s->setContentOffset({x, s->contentOffset().y}, true);
}

size_t ZVSuStrategyVC::pageIndexOf(const UIScrollView& s) const {
    double w = s.bounds().width();
    return w > 0 ? size_t(std::max(0.0, std::floor(s.contentOffset().x / w))) : 0;
}

void ZVSuStrategyVC::scrollViewDidEndScrollingAnimation(UIScrollView& s) {
    size_t index = pageIndexOf(s);
    auto& kids = childViewControllers();
    if (index >= kids.size() || kids[index]->isViewLoaded()) return;
    auto& page = kids[index];
    page->view()->setFrame(CGRect(s.contentOffset().x, 0, s.bounds().width(), s.bounds().height()));
    s.addSubview(page->view());
    // A page added to a screen already on display appears as it would on the platform.
    if (isAppeared()) {
        page->beginAppearanceTransition(true, false);
        page->endAppearanceTransition();
    }
}

void ZVSuStrategyVC::scrollViewDidEndDecelerating(UIScrollView& s) {
    scrollViewDidEndScrollingAnimation(s);
    auto button = std::dynamic_pointer_cast<UIButton>(topView()->viewWithTag(long(pageIndexOf(s)) + kButtonTagBase));
    if (button) doBtnClick(*button);
}
