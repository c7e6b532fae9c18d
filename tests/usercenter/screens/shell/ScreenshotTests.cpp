// Pictures of the user centre's lists and helpers on both profiles.

#include "ScreenshotSupport.h"
#include "platform/graphics/ImageIO.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/core/CXRMessage.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/welfare/ZVActivityVC.h"
#include "usercenter/screens/common/ZVProgressDP.h"
#include "usercenter/screens/welfare/ZVServerVC.h"
#include "usercenter/screens/strategy/ZVSuStrategyVC.h"
#include "usercenter/screens/welfare/ZVSuWelfareVC.h"

namespace {

using shots::Colour;
using shots::count;

class Screenshots : public ProfileShotTest {
protected:
    void SetUp() override {
        ProfileShotTest::SetUp();
        auto& s = env->standin();
        s.setList(ZVApi::kActivityList, {{Value::dict({{"flag", "进行中"}, {"flag_color", "#2BB673"}, {"post_title", "五一狂欢 🎉"},
                                                       {"post_date", "2024-05-01"}}),
                                          Value::dict({{"flag", "预告"}, {"flag_color", "E8505B"}, {"post_title", "新服冲级赛"},
                                                       {"post_date", "2024-05-03"}})},
                                         10, Value::dict()});
        s.setList(ZVApi::kServerList, {{Value::dict({{"servername", "双线1服"}, {"day", "05-01"}, {"hour", "10:00"}, {"status", 1}}),
                                        Value::dict({{"servername", "双线2服"}, {"day", "05-08"}, {"hour", "10:00"}, {"status", "0"}})},
                                       10, Value::dict({{"auto", true}})});
    }
    std::shared_ptr<UIWindow> centreWindow() { return CXRHelperBtn::sharedButton()->helperWindow(); }
    std::shared_ptr<ZVSuWelfareVC> openWelfare() {
        auto centre = openUserCentre();
        centre->setSelectedIndex(1);
        auto welfare = tabRoot<ZVSuWelfareVC>(*centre, 1);
        uitest::layout();
        return welfare;
    }
    // Scrolls the welfare tab to a page by its switch button, and waits until it rests there.
    void showPage(ZVSuWelfareVC& welfare, long index) {
        auto button = std::dynamic_pointer_cast<UIButton>(welfare.topView()->viewWithTag(ZVSuWelfareVC::kFirstTag + index));
        welfare.doBtnClick(*button);
        advance(0.31);
    }
};

TEST_P(Screenshots, TheTabBarAndNavigationBarLines) {
    auto welfare = openWelfare();
    ASSERT_TRUE(welfare);
    showPage(*welfare, 1);
    auto activities = std::dynamic_pointer_cast<ZVActivityVC>(welfare->childViewControllers()[1]);
    ASSERT_TRUE(settle([&] { return activities->dataSource.size() == 2; }));
    auto img = shoot(*centreWindow(), "i21-welfare-activities");
    ASSERT_TRUE(img);
    double width = UIScreen::mainScreen().bounds().width();
    double barTop = tall() ? 729 : 618, navBottom = tall() ? 88 : 64;
    EXPECT_EQ(count(*img, CGRect(0, barTop, width, 0.5), {250, 250, 250}, 0), int(width * 2));
    EXPECT_EQ(count(*img, CGRect(0, navBottom, width, 0.5), {0xf0, 0xf0, 0xf0}, 0), int(width * 2));
    // The selected tab, title and icon, in the user centre's purple; the others grey.
    double tab = width / 5;
    CGRect titles(tab, barTop + 34, tab, 14), icons(tab, barTop + 5, tab, 30);
    EXPECT_GT(count(*img, titles, {0x60, 0x36, 0xE7}, 20), 20);
    EXPECT_GT(count(*img, icons, {0x60, 0x36, 0xE7}, 20), 40);
    EXPECT_EQ(count(*img, titles.offsetBy(tab, 0), {0x60, 0x36, 0xE7}, 20), 0);
    EXPECT_EQ(count(*img, icons.offsetBy(tab, 0), {0x60, 0x36, 0xE7}, 20), 0);
    EXPECT_EQ(count(*img, CGRect(0, barTop, width, 49), {0x49, 0x88, 0xFD}, 20), 0);
    // Each card's flag on its own colour.
    auto table = activities->tableView();
    for (long row = 0; row < 2; ++row) {
        auto cell = std::dynamic_pointer_cast<ZVActivityCell>(table->cellForRowAtIndexPath({0, row}));
        ASSERT_TRUE(cell);
        CGRect flag = uitest::screenFrame(*cell->tagL);
        EXPECT_GT(flag.width(), 20);
        Colour want = row == 0 ? Colour{0x2B, 0xB6, 0x73} : Colour{0xE8, 0x50, 0x5B};
        EXPECT_GT(count(*img, flag, want), int(flag.width() * flag.height() * 2)) << row;
    }
    // A toast over the list, black at two thirds of its free height.
    CXRMessage::showMessage("已领取", activities->view());
    img = shoot(*centreWindow(), "i21-toast-over-list");
    auto box = uitest::findView([](UIView& v) { return v.accessibilityIdentifier() == "toast"; });
    ASSERT_TRUE(box);
    CGRect toast = uitest::screenFrame(*box);
    EXPECT_GT(count(*img, toast.insetBy(3, 3), {0, 0, 0}), int(toast.width() * toast.height()));
}

TEST_P(Screenshots, ServerOpeningsAndTheGuidesNotice) {
    auto welfare = openWelfare();
    showPage(*welfare, 3);
    auto servers = std::dynamic_pointer_cast<ZVServerVC>(welfare->childViewControllers()[3]);
    ASSERT_TRUE(settle([&] { return servers->dataSource.size() == 2; }));
    auto img = shoot(*centreWindow(), "i21-welfare-servers");
    auto closed = std::dynamic_pointer_cast<ZVServerCell>(servers->tableView()->cellForRowAtIndexPath({0, 1}));
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->statusL->text(), "未开服");
    CGRect status = uitest::screenFrame(*closed->statusL);
    EXPECT_GT(count(*img, status, {0x61, 0x37, 0xE7}), int(status.width() * status.height()));
    EXPECT_TRUE(servers->tableView()->tableHeaderView());

    auto centre = userCentre();
    centre->setSelectedIndex(3);
    auto guides = tabRoot<ZVSuStrategyVC>(*centre, 3)->guides();
    ASSERT_TRUE(settle([&] { return guides->isNoticeShown(); }));
    img = shoot(*centreWindow(), "i21-guides-empty");
    CGRect notice = uitest::screenFrame(*guides->tempView());
    EXPECT_NEAR(notice.midX(), UIScreen::mainScreen().bounds().width() / 2, 1);
    EXPECT_GT(count(*img, notice, {0xCC, 0xCC, 0xCC}, 8), 200);                  // the picture
    EXPECT_GT(count(*img, CGRect(notice.minX(), notice.minY() + 100, 200, 20), {85, 85, 85}, 30), 50);  // the text
}

TEST_P(Screenshots, TheLoadingDots) {
    auto window = makeWindow();
    auto dots = std::make_shared<ZVProgressDP>(CGRect(100, 200, 120, 120));
    window->rootViewController()->view()->addSubview(dots);
    dots->showWithTitle("加载中");
    advance(0.35);
    auto img = shoot(*window, "i21-loading-dots");
    int grey = count(*img, CGRect(100, 200, 120, 120), {128, 128, 128}, 10);
    EXPECT_GT(grey, 100);
    auto caption = dots->label();
    ASSERT_TRUE(caption);
    EXPECT_GT(count(*img, uitest::screenFrame(*caption), {128, 128, 128}, 40), 30);
    dots->dismiss();
    img = shoot(*window, "i21-loading-dots-dismissed");
    EXPECT_EQ(count(*img, CGRect(100, 200, 120, 120), {128, 128, 128}, 10), 0);
}

INSTANTIATE_PROFILES(Screenshots);

}  // namespace
