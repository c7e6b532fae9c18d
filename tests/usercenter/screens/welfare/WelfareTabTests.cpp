// The welfare tab: its switch and paging scroll view, pages loaded only
// where scrolling comes to rest, and the way out; and its welfare page.

#include <cmath>

#include "WelfareTestSupport.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/welfare/ZVActivityVC.h"
#include "usercenter/screens/welfare/ZVGiftVC.h"
#include "usercenter/screens/welfare/ZVServerVC.h"
#include "usercenter/screens/welfare/ZVWelfareVC.h"

using standin::Reply;
using standin::UserCentreStandin;
using Profile = UIScreen::Profile;

namespace {

class WelfareTab : public WelfareTest {
protected:
    // The pages whose views are loaded, as "0..3".
    static std::string loaded(ZVSuWelfareVC& tab) {
        std::string out;
        for (size_t i = 0; i < tab.childViewControllers().size(); ++i)
            if (tab.childViewControllers()[i]->isViewLoaded()) out += std::to_string(i);
        return out;
    }
    // A horizontal drag across the pages, `dx` points, in `seconds`.
    void swipe(ZVSuWelfareVC& tab, double dx, double seconds) {
        CGRect pages = uitest::screenFrame(*tab.scrollView());
        double y = pages.minY() + 20, from = dx < 0 ? pages.maxX() - 40 : pages.minX() + 40;
        ASSERT_TRUE(uitest::drag({from, y}, {from + dx, y}, 10, seconds));
    }
};

TEST_F(WelfareTab, TheSwitchAndThePagesSitWhereTheProfileWants) {
    struct Case {
        Profile profile;
        double switchY, barHeight;
    };
    for (auto c : {Case{Profile::Compact, 85, 49}, Case{Profile::Tall, 109, 83}}) {
        UIScreen::mainScreen().setProfile(c.profile);
        auto tab = showTab();
        CGRect view = tab->view()->bounds(), top = tab->topView()->frame();
        EXPECT_EQ(top, CGRect(32, c.switchY, view.width() - 64, 36));
        for (long i = 0; i < 4; ++i)
            EXPECT_EQ(switchButton(*tab, i)->frame(), CGRect(i * top.width() / 4, 0, top.width() / 4, 36)) << i;
        CGRect pages = tab->scrollView()->frame();
        EXPECT_EQ(pages.minY(), top.maxY() + 21);
        EXPECT_EQ(pages.maxY(), view.height() - c.barHeight);
        EXPECT_EQ(tab->scrollView()->contentSize().width, 4 * view.width());
        EXPECT_EQ(tab->navigationItem().title(), "福利");
    }
    UIScreen::mainScreen().setProfile(Profile::Compact);
}

TEST_F(WelfareTab, TappingLoadsOnlyThePageWhereTheScrollComesToRest) {
    auto tab = showTab();
    EXPECT_EQ(loaded(*tab), "0");
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kWelfare) == 1; }));

    // The selected button neither scrolls nor sends.
    ASSERT_TRUE(uitest::tapView(*switchButton(*tab, 0)));
    advance(0.31);
    EXPECT_EQ(tab->scrollView()->contentOffset().x, 0);

    ASSERT_TRUE(uitest::tapView(*switchButton(*tab, 3)));
    EXPECT_EQ(tab->nowBtn(), switchButton(*tab, 3));
    EXPECT_FALSE(switchButton(*tab, 0)->isSelected());
    EXPECT_EQ(loaded(*tab), "0");  // not before the scroll rests
    advance(0.31);
    EXPECT_EQ(tab->scrollView()->contentOffset().x, 3 * tab->view()->bounds().width());
    EXPECT_EQ(loaded(*tab), "03");
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kServerList) == 1; }));
    EXPECT_EQ(requests(ZVApi::kGiftList) + requests(ZVApi::kActivityList), 0u);
    EXPECT_EQ(tab->childViewControllers()[3]->view()->frame(), CGRect(tab->scrollView()->contentOffset(), tab->scrollView()->bounds().size));
    EXPECT_EQ(requests(ZVApi::kWelfare), 1u);  // once, whatever the pages do
}

TEST_F(WelfareTab, ASwipeLoadsItsPageWhenItRestsAndSelectsItsButton) {
    auto tab = showTab();
    swipe(*tab, -240, 0.2);
    EXPECT_EQ(loaded(*tab), "0");
    EXPECT_EQ(requests(ZVApi::kActivityList), 0u);
    advance(0.31);
    EXPECT_EQ(loaded(*tab), "01");
    EXPECT_EQ(tab->nowBtn()->currentTitle(), "活动");
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kActivityList) == 1; }));

    // Drags that end between pages settle on one page, and its button follows.
    struct Case {
        double dx, seconds;
        long page;
    };
    for (auto c : {Case{-100, 1.0, 1}, Case{-250, 1.0, 2}, Case{60, 0.05, 1}, Case{-120, 0.05, 2}}) {
        swipe(*tab, c.dx, c.seconds);
        advance(0.31);
        EXPECT_EQ(tab->scrollView()->contentOffset().x, c.page * tab->view()->bounds().width()) << c.dx;
        EXPECT_EQ(tab->nowBtn(), switchButton(*tab, c.page)) << c.dx;
        EXPECT_TRUE(tab->childViewControllers()[size_t(c.page)]->isViewLoaded()) << c.dx;
    }
    EXPECT_EQ(loaded(*tab), "012");
}

TEST_F(WelfareTab, APageIndexNeedsAWidthAndStopsAtTheLastPage) {
    UIScrollView s(CGRect(0, 0, 0, 100));
    s.setContentSize({400, 100});
    s.setContentOffset({200, 0});
    EXPECT_EQ(ZVSuWelfareVC::pageIndex(s, 4), 0u);
    s.setFrame(CGRect(0, 0, 100, 100));
    struct Case {
        double x;
        size_t page;
    };
    for (auto c : {Case{0, 0}, Case{99, 0}, Case{100, 1}, Case{300, 3}, Case{950, 3}, Case{-50, 0}}) {
        s.setContentOffset({c.x, 0});
        EXPECT_EQ(ZVSuWelfareVC::pageIndex(s, 4), c.page) << c.x;
    }
}

TEST_F(WelfareTab, BackClosesTheUserCentreAndTheRebateButtonGoesToCustomerService) {
    auto centre = openUserCentre();
    ASSERT_TRUE(centre);
    centre->setSelectedIndex(1);
    auto tab = tabRoot<ZVSuWelfareVC>(*centre, 1);
    uitest::layout();
    auto welfare = std::dynamic_pointer_cast<ZVWelfareVC>(tab->childViewControllers()[0]);
    ASSERT_TRUE(settle([&] { return !welfare->contentView->isHidden(); }));  // the cards show with the reply
    ASSERT_TRUE(uitest::tapView(*welfare->fanliBtn));
    EXPECT_EQ(centre->selectedIndex(), 4u);
    EXPECT_EQ(tab->nowBtn(), switchButton(*tab, 0));
    EXPECT_EQ(tab->scrollView()->contentOffset().x, 0);

    centre->setSelectedIndex(1);
    uitest::layout();
    auto button = CXRHelperBtn::sharedButton();
    EXPECT_TRUE(button->isHidden());
    ASSERT_TRUE(uitest::tapView(*tab->backBtn()));
    advance(0.5);
    EXPECT_FALSE(userCentre());
    EXPECT_FALSE(button->isHidden());
}

// ---- The welfare page

class WelfarePage : public WelfareTest {
protected:
    void TearDown() override {
        ZVShowLabel::setMeasurer(nullptr);
        WelfareTest::TearDown();
    }
    // The page after its reply: `vipList` as given, "box_content" `text`.
    std::shared_ptr<ZVWelfareVC> load(const Value& vipList, const std::string& text = "一行") {
        env->standin().setWelfare(Value::dict({{"fanli", "返利10%"}, {"vipList", vipList}, {"box_content", text}}));
        auto vc = showScene<ZVWelfareVC>("ZVWelfareVC");
        EXPECT_TRUE(settle([&] { return !vc->dataSource().empty(); }));
        return vc;
    }
    static Value levels(int n) {
        Value rows = Value::array();
        for (int i = 1; i <= n; ++i) rows.push(Value::dict({{"item1", "VIP" + std::to_string(i)}, {"item2", std::to_string(i * 100)}}));
        return rows;
    }
    // Text of `n` lines, the fake measurer giving each a line of the font.
    static std::string lines(int n) {
        std::string t;
        for (int i = 0; i < n; ++i) t += (i ? "\n" : "") + std::string("第") + std::to_string(i + 1) + "行";
        return t;
    }
    static void measureByLines() {
        ZVShowLabel::setMeasurer([](const std::string& text, const std::shared_ptr<UIFont>& font, double) {
            double n = 1 + double(std::count(text.begin(), text.end(), '\n'));
            return CGSize{100, n * font->lineHeight()};
        });
    }
};

TEST_F(WelfarePage, TheVipTableFoldsToFourRowsOnlyWhenItHasMore) {
    struct Case {
        Value vipList;
        size_t rows;
        double height;
        bool button;
        double folded;  // after one tap of the fold button
    };
    for (auto& c : std::vector<Case>{{Value::array(), 1, 44, false, 0},
                                     {levels(3), 4, 176, true, 176},
                                     {levels(5), 6, 264, true, 176},
                                     {Value(), 1, 44, false, 0},
                                     {Value::dict({{"item1", "x"}}), 1, 44, false, 0},
                                     {Value::array({1, "VIP", Value::dict({{"item2", 6}})}), 2, 88, false, 0}}) {
        auto vc = load(c.vipList);
        std::string name = c.vipList.toJSON();
        ASSERT_EQ(vc->dataSource().size(), c.rows) << name;
        EXPECT_EQ(vc->dataSource()[0].text("item1"), "等级");
        EXPECT_EQ(vc->tableViewH->constant(), c.height) << name;
        EXPECT_EQ(vc->vipBtn->isHidden(), !c.button) << name;
        EXPECT_EQ(vc->tableViewBottom->constant(), c.button ? ZVWelfareVC::kFoldButtonSpace : 0) << name;
        uitest::layout();
        EXPECT_EQ(vc->tableView->frame().height(), c.height) << name;
        EXPECT_EQ(vc->tableView->visibleCells().size(), c.rows) << name;
        if (!c.button) continue;
        EXPECT_TRUE(vc->vipBtn->isSelected());
        double cardBefore = vc->vipView->frame().height();
        ASSERT_TRUE(uitest::tapView(*vc->vipBtn));
        EXPECT_EQ(vc->tableViewH->constant(), c.folded) << name;
        uitest::layout();
        EXPECT_EQ(vc->vipView->frame().height(), cardBefore - (c.height - c.folded)) << name;
        ASSERT_TRUE(uitest::tapView(*vc->vipBtn));
        EXPECT_EQ(vc->tableViewH->constant(), c.height) << name;
    }
    auto header = std::dynamic_pointer_cast<ZVWelfareVipCell>(load(levels(1))->tableView->cellForRowAtIndexPath({0, 0}));
    ASSERT_TRUE(header);
    EXPECT_TRUE(header->isFirst());
}

TEST_F(WelfarePage, FoldingTheVipTableWhileScrolledDownLeavesThePageShowingItsEnd) {
    auto vc = load(levels(30));
    uitest::layout();
    auto& page = *vc->contentView;
    page.setContentOffset(page.maximumContentOffset());
    double before = page.contentOffset().y;
    ASSERT_GT(before, 600);
    vc->doVipBtnClick();  // folds to four rows: the page is 26 rows shorter
    uitest::layout();
    EXPECT_LT(page.contentOffset().y, before - 500);
    EXPECT_EQ(page.contentOffset().y, page.maximumContentOffset().y);
    EXPECT_LT(uitest::screenFrame(*vc->fuliView).minY(), uitest::screenFrame(page).maxY());  // the last card is in view
}

TEST_F(WelfarePage, TheWelfareTextFoldsFromFourLines) {
    measureByLines();
    auto vc = load(levels(0), lines(3));
    double line = vc->fuliL->font()->lineHeight(), three = std::ceil(3 * line);
    EXPECT_EQ(vc->fuliH->constant(), vc->fuliL->maxHeight);
    EXPECT_TRUE(vc->fuliBtn->isHidden());
    EXPECT_EQ(vc->fuliBottom->constant(), 16);
    EXPECT_EQ(vc->fuliL->w, vc->view()->bounds().width() - 64);

    vc = load(levels(0), "\n  " + lines(4) + " \n");
    EXPECT_EQ(vc->fuliL->text(), lines(4));  // trimmed
    EXPECT_EQ(vc->fuliH->constant(), three);
    EXPECT_FALSE(vc->fuliBtn->isHidden());
    EXPECT_EQ(vc->fuliBottom->constant(), ZVWelfareVC::kTextButtonSpace);
    ASSERT_TRUE(uitest::tapView(*vc->fuliBtn));
    EXPECT_EQ(vc->fuliH->constant(), std::ceil(4 * line));
    uitest::layout();
    EXPECT_EQ(vc->fuliL->frame().height(), std::ceil(4 * line));
    ASSERT_TRUE(uitest::tapView(*vc->fuliBtn));
    EXPECT_EQ(vc->fuliH->constant(), three);

    // Pango's own lines.
    ZVShowLabel::setMeasurer(nullptr);
    EXPECT_TRUE(load(levels(0), lines(3))->fuliBtn->isHidden());
    vc = load(levels(0), lines(4));
    EXPECT_FALSE(vc->fuliBtn->isHidden());
    EXPECT_EQ(vc->fuliH->constant(), three);
}

TEST_F(WelfarePage, RefusalsAndFailuresToastAndLeaveThePageAsItWas) {
    auto& server = env->standin().server();
    std::string path = UserCentreStandin::path(ZVApi::kWelfare);
    struct Case {
        Reply reply;
        std::string toast;
    };
    for (auto& c : std::vector<Case>{{Reply::json(Value::dict({{"a", 0}, {"b", "游戏不存在"}})), "游戏不存在"},
                                     {Reply::html500(), "服务器错误"},
                                     {Reply::json(Value::array({1})), "服务器错误"}}) {
        server.script(path, c.reply);
        size_t sent = requests(ZVApi::kWelfare);
        auto vc = showScene<ZVWelfareVC>("ZVWelfareVC");
        // A toast of the case before may still show: wait for this reply to be taken.
        ASSERT_TRUE(settle([&] { return requests(ZVApi::kWelfare) == sent + 1; }));
        ASSERT_TRUE(toastShown(c.toast)) << c.toast;
        EXPECT_TRUE(vc->dataSource().empty());
        EXPECT_EQ(vc->tableView->numberOfRowsInSection(0), 0);
        EXPECT_EQ(vc->fanliL->text(), "");
    }
    // Missing texts show nothing, never "(null)".
    server.script(path, Reply::json(Value::dict({{"a", 1}, {"c", Value::dict({{"vipList", Value::array({Value::dict()})}})}})));
    auto vc = showScene<ZVWelfareVC>("ZVWelfareVC");
    ASSERT_TRUE(settle([&] { return vc->dataSource().size() == 2; }));
    auto row = std::dynamic_pointer_cast<ZVWelfareVipCell>(vc->tableView->cellForRowAtIndexPath({0, 1}));
    ASSERT_TRUE(row);
    EXPECT_EQ(std::dynamic_pointer_cast<UILabel>(row->contentView()->viewWithTag(10))->text(), "");
    EXPECT_EQ(vc->fuliL->text(), "");
    EXPECT_EQ(lastRequest(ZVApi::kWelfare).text("gid"), "G1");
    EXPECT_EQ(lastRequest(ZVApi::kWelfare).text("username"), "player01");
}

}  // namespace
