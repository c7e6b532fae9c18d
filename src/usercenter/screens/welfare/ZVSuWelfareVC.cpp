#include "usercenter/screens/welfare/ZVSuWelfareVC.h"

#include <cmath>

#include "platform/ui/UIBarItems.h"
#include "platform/ui/UIScreen.h"
#include "platform/ui/UIStoryboard.h"
#include "usercenter/screens/welfare/ZVActivityVC.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/shell/ZVNavigationController.h"
#include "usercenter/screens/shell/ZVSuTabBarVC.h"
#include "usercenter/screens/common/ZVViewExtension.h"

namespace {
constexpr const char* kTitles[] = {"福利", "活动", "礼包", "开服"};
constexpr size_t kPageCount = std::size(kTitles);

bool hasBottomInset() { return UIScreen::mainScreen().safeAreaInsets().bottom > 0; }
}  // namespace

void ZVSuWelfareVC::viewDidLoad() {
    UIViewController::viewDidLoad();
    initUI();
}

void ZVSuWelfareVC::initUI() {
    navigationItem().setTitle("福利");
    navigationItem().setLeftBarButtonItem(UIBarButtonItem::withCustomView(backBtn()));
    view()->setBackgroundColor(XTExtention::colorWithHexString("#F9F9F9"));
    view()->addSubview(topView());
    addVcs();
    view()->addSubview(scrollView());
}

void ZVSuWelfareVC::addVcs() {
    auto storyboard = UIStoryboard::storyboardWithName("ZVSuTabBarVC");
    auto scene = [&](const char* identifier) {
        auto vc = storyboard ? storyboard->instantiateViewControllerWithIdentifier(identifier) : nullptr;
        return vc ? vc : std::make_shared<UIViewController>();  // keeps the pages in place
    };
    addChildViewController(scene("ZVWelfareVC"));
    addChildViewController(std::make_shared<ZVActivityVC>());
    addChildViewController(scene("ZVGiftVC"));
    addChildViewController(scene("ZVServerVC"));
}

const std::shared_ptr<UIButton>& ZVSuWelfareVC::backBtn() {
    if (!backBtn_) {
        backBtn_ = ZVNavigationController::makeBackButton();
        std::weak_ptr<ZVSuWelfareVC> weak = std::static_pointer_cast<ZVSuWelfareVC>(sharedController());
        backBtn_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
            if (auto self = weak.lock()) self->goBack();
        });
    }
    return backBtn_;
}

// Through the user centre's own way out: its plain dismiss would be ignored.
void ZVSuWelfareVC::goBack() { ZVSuTabBarVC::closeContaining(*this); }

const std::shared_ptr<UIView>& ZVSuWelfareVC::topView() {
    if (!topView_) {
        double width = view()->bounds().width() - 64;
        topView_ = std::make_shared<UIView>(CGRect(32, hasBottomInset() ? 109 : 85, width, kSwitchHeight));
        Extension::setCenterX(*topView_, view()->bounds().width() / 2);
        topView_->setBackgroundColor(UIColor::whiteColor());
        topView_->layer()->setBorderWidth(1.0);
        topView_->layer()->setBorderColor(XTExtention::colorWithHexString(kSwitchColour));
        topView_->layer()->setCornerRadius(kSwitchHeight / 2);
        topView_->layer()->setMasksToBounds(true);
        for (size_t i = 0; i < kPageCount; ++i) {
            auto button = makeSwitchButton(i, width / double(kPageCount));
            topView_->addSubview(button);
            if (i == 0) {
                button->setSelected(true);
                nowBtn_ = button;
            }
        }
    }
    return topView_;
}

std::shared_ptr<UIButton> ZVSuWelfareVC::makeSwitchButton(size_t index, double width) {
    auto button = std::make_shared<UIButton>();
    button->setTag(kFirstTag + long(index));
    button->setFrame(CGRect(double(index) * width, 0, width, kSwitchHeight));
    button->titleLabel()->setFont(UIFont::systemFontOfSize(14));
    button->setTitleColor(XTExtention::colorWithHexString("#333333"), UIControlStateNormal);
    button->setTitleColor(UIColor::whiteColor(), UIControlStateSelected);
    button->setTitle(kTitles[index], UIControlStateNormal);
    button->setBackgroundImage(ZVColor::imageWithColor(UIColor::whiteColor()), UIControlStateNormal);
    button->setBackgroundImage(ZVColor::imageWithColor(XTExtention::colorWithHexString(kSwitchColour)),
                               UIControlStateSelected);
    std::weak_ptr<ZVSuWelfareVC> weak = std::static_pointer_cast<ZVSuWelfareVC>(sharedController());
    button->addAction(UIControlEventTouchUpInside, [weak](UIControl& c) {
        if (auto self = weak.lock()) self->doBtnClick(static_cast<UIButton&>(c));
    });
    return button;
}

const std::shared_ptr<UIScrollView>& ZVSuWelfareVC::scrollView() {
    if (!scrollView_) {
        CGRect b = view()->bounds();
        double top = topView()->frame().maxY() + 21, bar = hasBottomInset() ? 83 : 49;
        scrollView_ = std::make_shared<UIScrollView>(CGRect(0, top, b.width(), b.height() - top - bar));
        scrollView_->setContentSize({double(kPageCount) * b.width(), 0});
        scrollView_->showsHorizontalScrollIndicator = false;
        scrollView_->setBackgroundColor(UIColor::clearColor());
        scrollView_->setPagingEnabled(true);
        scrollView_->bounces = false;
        scrollView_->delegate = std::static_pointer_cast<ZVSuWelfareVC>(sharedController());
        scrollViewDidEndScrollingAnimation(*scrollView_);
    }
    return scrollView_;
}

void ZVSuWelfareVC::doBtnClick(UIButton& button) {
    auto now = nowBtn();
    if (now.get() == &button) return;
    button.setSelected(true);
    if (now) now->setSelected(false);
    nowBtn_ = std::static_pointer_cast<UIButton>(button.sharedView());
    auto& s = scrollView();
    double x = s->bounds().width() * double(button.tag() - kFirstTag);
    s->setContentOffset({x, s->contentOffset().y}, true);
}

size_t ZVSuWelfareVC::pageIndex(const UIScrollView& s, size_t pageCount) {
    double width = s.bounds().width(), x = s.contentOffset().x;
    if (width <= 0 || pageCount == 0 || !(x > 0)) return 0;
    return std::min(size_t(std::floor(x / width)), pageCount - 1);
}

void ZVSuWelfareVC::scrollViewDidEndScrollingAnimation(UIScrollView& s) {
    auto& children = childViewControllers();
    if (children.empty()) return;
    auto& child = children[pageIndex(s, children.size())];
    if (child->isViewLoaded()) return;
    child->view()->setFrame(CGRect(s.contentOffset().x, 0, s.bounds().width(), s.bounds().height()));
    s.addSubview(child->view());
}

void ZVSuWelfareVC::scrollViewDidEndDecelerating(UIScrollView& s) {
    scrollViewDidEndScrollingAnimation(s);
    size_t index = pageIndex(s, childViewControllers().size());
    if (auto button = std::dynamic_pointer_cast<UIButton>(topView()->viewWithTag(kFirstTag + long(index))))
        doBtnClick(*button);
}
