#include "UITestSupport.h"
#include "platform/ui/UIEventInjection.h"
#include "ui/DMDropdownMenu.h"
#include "ui/ZVProgressHUD.h"

namespace {

struct Options : DMDropdownMenuDataSource, DMDropdownMenuDelegate {
    std::vector<std::string> titles{"全部", "收入", "支出"};
    std::vector<std::pair<long, std::string>> picked;
    long numberOfOptionsInDropdownMenu(DMDropdownMenu&) override { return long(titles.size()); }
    double dropdownMenu_heightForOptionAtIndex(DMDropdownMenu&, long i) override { return i == 0 ? 50 : 40; }
    std::string dropdownMenu_titleForOptionAtIndex(DMDropdownMenu&, long i) override { return titles[size_t(i)]; }
    void dropdownMenu_didSelectOptionAtIndex_optionTitle(DMDropdownMenu& m, long i, const std::string& t) override {
        picked.emplace_back(i, t);
        EXPECT_EQ(m.title(), t);  // shown before the delegate hears of it
    }
};

class Dropdown : public UITest {
protected:
    // A menu titled "全部" over `options`, in `into`.
    std::shared_ptr<DMDropdownMenu> menuIn(UIView& into, const CGRect& frame) {
        auto menu = std::make_shared<DMDropdownMenu>();
        menu->setFrame(frame);
        menu->setDataSource(options);
        menu->setDelegate(options);
        menu->setTitle("全部");
        into.addSubview(menu);
        return menu;
    }
    std::shared_ptr<Options> options = std::make_shared<Options>();
};
class HUD : public UITest {};

}  // namespace

TEST_F(Dropdown, PickingAnOptionShowsItTellsTheDelegateAndCloses) {
    auto w = makeWindow();
    auto root = w->rootViewController()->view();
    auto menu = menuIn(*root, CGRect(20, 100, 120, 36));
    menu->setTitleAlignment(0);
    menu->setOptionTextAlignment(1);

    ASSERT_TRUE(uitest::tapButton("全部"));
    ASSERT_TRUE(menu->isOpen());
    auto list = uitest::findView([](UIView& v) { return v.accessibilityIdentifier() == "dropdown_list"; });
    ASSERT_TRUE(list);
    EXPECT_EQ(list->frame(), CGRect(20, 136, 120, 130));  // under the menu, heights from the data source
    ASSERT_EQ(menu->optionButtons().size(), 3u);
    EXPECT_EQ(menu->optionButtons()[1]->frame().minY(), 50);

    ASSERT_TRUE(uitest::tapButton("支出"));
    EXPECT_FALSE(menu->isOpen());
    EXPECT_FALSE(list->superview());
    EXPECT_EQ(menu->title(), "支出");
    ASSERT_EQ(options->picked.size(), 1u);
    EXPECT_EQ(options->picked[0], std::make_pair(2L, std::string("支出")));

    // A second tap on the menu closes the list without a choice.
    ASSERT_TRUE(uitest::tapButton("支出"));
    EXPECT_TRUE(menu->isOpen());
    ASSERT_TRUE(uitest::tapView(*menu));
    EXPECT_FALSE(menu->isOpen());
    EXPECT_EQ(options->picked.size(), 1u);
}

TEST_F(Dropdown, InABarAsHighAsItTheListStillTakesTapsAndHidingClosesIt) {
    auto w = makeWindow();
    auto root = w->rootViewController()->view();
    // A bar as high as the menu, over a button the list covers when open.
    int under = 0;
    auto below = UIButton::buttonWithType(UIButtonType::Custom);
    below->setFrame(CGRect(0, 100, 375, 300));
    below->addAction(UIControlEventTouchUpInside, [&](UIControl&) { ++under; });
    root->addSubview(below);
    auto bar = std::make_shared<UIView>(CGRect(0, 64, 375, 36));
    root->addSubview(bar);
    auto menu = menuIn(*bar, CGRect(255, 0, 100, 36));

    ASSERT_TRUE(uitest::tapButton("全部"));
    auto list = uitest::findView([](UIView& v) { return v.accessibilityIdentifier() == "dropdown_list"; });
    ASSERT_TRUE(list);
    EXPECT_EQ(uitest::screenFrame(*list), CGRect(255, 100, 100, 130));  // under the menu, whole
    ASSERT_TRUE(uitest::tapButton("收入"));
    ASSERT_EQ(options->picked.size(), 1u);
    EXPECT_EQ(options->picked[0].first, 1);
    EXPECT_EQ(under, 0);
    EXPECT_FALSE(menu->isOpen());

    ASSERT_TRUE(uitest::tapButton("收入"));
    ASSERT_TRUE(menu->isOpen());
    menu->setHidden(true);
    EXPECT_FALSE(menu->isOpen());
    EXPECT_FALSE(uitest::findView([](UIView& v) { return v.accessibilityIdentifier() == "dropdown_list"; }));
}

TEST_F(Dropdown, WithoutADataSourceOrSuperviewNothingOpens) {
    auto menu = std::make_shared<DMDropdownMenu>();
    menu->setFrame(CGRect(0, 0, 100, 30));
    menu->showDropDown();
    EXPECT_FALSE(menu->isOpen());
    auto w = makeWindow();
    w->rootViewController()->view()->addSubview(menu);
    menu->showDropDown();
    EXPECT_FALSE(menu->isOpen());
    {
        auto options = std::make_shared<Options>();
        menu->setDataSource(options);
        menu->showDropDown();
        EXPECT_TRUE(menu->isOpen());
        menu->hideDropDown();
    }
    menu->showDropDown();  // the data source is held weakly and is gone
    EXPECT_FALSE(menu->isOpen());
    // Removing the menu takes its open list with it.
    auto options = std::make_shared<Options>();
    menu->setDataSource(options);
    menu->showDropDown();
    menu->removeFromSuperview();
    EXPECT_FALSE(menu->isOpen());
    EXPECT_FALSE(uitest::findView([](UIView& v) { return v.accessibilityIdentifier() == "dropdown_list"; }));
}

TEST_F(HUD, CoversTheViewUntilHiddenAndBlocksTouches) {
    auto w = makeWindow();
    auto root = w->rootViewController()->view();
    int taps = 0;
    auto button = UIButton::buttonWithType(UIButtonType::Custom);
    button->setFrame(CGRect(100, 300, 100, 44));
    button->setTitle("下一步", UIControlStateNormal);
    button->addAction(UIControlEventTouchUpInside, [&](UIControl&) { ++taps; });
    root->addSubview(button);

    EXPECT_FALSE(ZVProgressHUD::hideHUDForView(root, false));
    auto first = ZVProgressHUD::showHUDAddedTo(root, true);
    auto second = ZVProgressHUD::showHUDAddedTo(root, false);
    second->setText("加载中");
    EXPECT_EQ(ZVProgressHUD::HUDForView(root), second);
    EXPECT_EQ(second->frame(), root->bounds());
    uitest::tapView(*button);
    EXPECT_EQ(taps, 0);

    EXPECT_TRUE(ZVProgressHUD::hideHUDForView(root, false));
    EXPECT_FALSE(second->superview());
    EXPECT_EQ(ZVProgressHUD::HUDForView(root), first);
    EXPECT_TRUE(ZVProgressHUD::hideHUDForView(root, true));
    EXPECT_FALSE(ZVProgressHUD::HUDForView(root));  // on its way out
    EXPECT_TRUE(first->superview());
    advance(0.25);
    EXPECT_FALSE(first->superview());
    uitest::tapView(*button);
    EXPECT_EQ(taps, 1);
    EXPECT_FALSE(ZVProgressHUD::showHUDAddedTo(nullptr, false));
}
