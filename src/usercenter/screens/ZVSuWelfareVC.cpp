#include "usercenter/screens/ZVSuWelfareVC.h"

#include "platform/ui/UIBarItems.h"
#include "platform/ui/UIScreen.h"
#include "platform/ui/UIStoryboard.h"
#include "usercenter/screens/ZVActivityVC.h"
#include "usercenter/screens/ZVColorExtension.h"

void ZVSuWelfareVC::viewDidLoad() {
    UIViewController::viewDidLoad();
    view()->setBackgroundColor(UIColor::fromRGB(0xF7F8FA));
    navigationItem().setTitle("福利");
    auto storyboard = UIStoryboard::storyboardWithName("ZVSuTabBarVC");
    auto servers = storyboard ? storyboard->instantiateViewControllerWithIdentifier("ZVServerVC") : nullptr;
    pages_ = {std::make_shared<ZVActivityVC>()};
    if (servers) pages_.push_back(servers);
    const char* titles[] = {"活动", "开服"};
    std::weak_ptr<ZVSuWelfareVC> weak = std::static_pointer_cast<ZVSuWelfareVC>(sharedController());
    for (size_t i = 0; i < pages_.size(); ++i) {
        auto button = UIButton::buttonWithType(UIButtonType::Custom);
        button->setTitle(titles[i], UIControlStateNormal);
        button->setTitleColor(UIColor::fromRGB(0x666666), UIControlStateNormal);
        button->setTitleColor(XTExtention::colorWithHexString("#4988FD"), UIControlStateSelected);
        button->titleLabel()->setFont(UIFont::systemFontOfSize(15, UIFontWeight::Medium));
        button->addAction(UIControlEventTouchUpInside, [weak, i](UIControl&) {
            if (auto self = weak.lock()) self->showPage(i);
        });
        view()->addSubview(button);
        buttons_.push_back(button);
    }
    showPage(0);
}

void ZVSuWelfareVC::showPage(size_t index) {
    if (index >= pages_.size()) return;
    auto& page = pages_[index];
    if (!page->parentViewController()) addChildViewController(page);
    for (size_t i = 0; i < pages_.size(); ++i) {
        buttons_[i]->setSelected(i == index);
        if (pages_[i]->isViewLoaded() && i != index) pages_[i]->view()->removeFromSuperview();
    }
    view()->addSubview(page->view());
    current_ = index;
    view()->setNeedsLayout();
}

void ZVSuWelfareVC::viewWillLayoutSubviews() {
    auto& screen = UIScreen::mainScreen();
    CGRect b = view()->bounds();
    double top = screen.navigationBarTop(), width = b.width() / double(std::max<size_t>(1, buttons_.size()));
    for (size_t i = 0; i < buttons_.size(); ++i) buttons_[i]->setFrame(CGRect(width * i, top, width, kSwitchHeight));
    double pageTop = top + kSwitchHeight;
    CGRect pageFrame(0, pageTop, b.width(), b.height() - pageTop - screen.tabBarHeight());
    for (auto& page : pages_)
        if (page->isViewLoaded()) page->view()->setFrame(pageFrame);
}
