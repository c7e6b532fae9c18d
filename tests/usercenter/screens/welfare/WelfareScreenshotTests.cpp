// Pictures of the welfare tab on both profiles: the switch, the VIP table
// folded and unfolded, the gift list and the voucher pop-up.

#include "ScreenshotSupport.h"
#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/screens/welfare/ZVGiftVC.h"
#include "usercenter/screens/welfare/ZVSuCouponSubView.h"
#include "usercenter/screens/welfare/ZVSuWelfareVC.h"
#include "usercenter/screens/common/ZVViewExtension.h"
#include "usercenter/screens/welfare/ZVWelfareVC.h"

namespace {

using shots::Colour;
using shots::count;

constexpr Colour kPurple{0x61, 0x37, 0xE7}, kWhite{255, 255, 255}, kHeader{0xE2, 0xEA, 0xFD}, kRow{0xF2, 0xF3, 0xF1},
    kLightGrey{170, 170, 170}, kPicked{0x49, 0x58, 0xA7}, kBadge{0xb5, 0xbc, 0xd5};

class WelfareShots : public ProfileShotTest {
protected:
    void SetUp() override {
        ProfileShotTest::SetUp();
        auto& s = env->standin();
        Value levels = Value::array();
        for (int i = 1; i <= 5; ++i) levels.push(Value::dict({{"item1", "VIP" + std::to_string(i)}, {"item2", "累计充值" + std::to_string(i * 100) + "元"}}));
        s.setWelfare(Value::dict({{"fanli", "单日充值满100元返10% 🎁，联系客服申请。"}, {"vipList", levels},
                                  {"box_content", "1. 每日登录送体力。\n2. 首充送时装。\n3. 冲级排行奖励钻石。\n4. 周末双倍经验。"}}));
        s.setGifts(0, {Value::dict({{"id", 1}, {"name", "新手礼包"}, {"excerpt", "体力×100、金币×5000"}, {"end_time", "2024-12-31"}, {"status", "0"}}),
                       Value::dict({{"id", 2}, {"name", "首充礼包 ✨"}, {"code", "SC2024"}, {"card_context", "限定时装"}, {"status", 1}})});
    }
    // The welfare tab in the user centre, its welfare page filled.
    std::shared_ptr<ZVSuWelfareVC> openWelfare() {
        auto centre = openUserCentre();
        centre->setSelectedIndex(1);
        auto nav = std::dynamic_pointer_cast<UINavigationController>(centre->viewControllers()[1]);
        auto tab = std::dynamic_pointer_cast<ZVSuWelfareVC>(nav->viewControllers().front());
        page = std::dynamic_pointer_cast<ZVWelfareVC>(tab->childViewControllers()[0]);
        EXPECT_TRUE(settle([&] { return page->dataSource().size() == 6; }));
        return tab;
    }
    std::shared_ptr<UIWindow> centreWindow() { return CXRHelperBtn::sharedButton()->helperWindow(); }
    // Rows of the VIP table drawn in a colour (a strip down its left column).
    int rowsIn(const CGImage& img, Colour c) {
        CGRect table = uitest::screenFrame(*page->tableView);
        int pixels = count(img, CGRect(table.minX() + 4, table.minY(), 2, table.height()), c, 3);
        return int(std::lround(pixels / (4.0 * 86)));  // 2 × 43 points a row drawn, at scale 2
    }
    std::shared_ptr<ZVWelfareVC> page;
};

TEST_P(WelfareShots, TheSwitchAndTheVipTableFoldedAndUnfolded) {
    auto tab = openWelfare();
    auto img = shoot(*centreWindow(), "i23-welfare-page");
    CGRect top = uitest::screenFrame(*tab->topView());
    double quarter = top.width() / 4;
    for (int i = 0; i < 4; ++i) {
        CGRect nearTop(top.minX() + quarter * i + quarter / 2 - 10, top.minY() + 2, 20, 2);
        EXPECT_EQ(count(*img, nearTop, i == 0 ? kPurple : kWhite), 20 * 2 * 2 * 2) << i;
    }
    EXPECT_GT(count(*img, CGRect(top.minX() + quarter * 2, top.maxY() - 1, quarter, 1), kPurple, 20), int(quarter));  // border
    EXPECT_EQ(rowsIn(*img, kHeader), 1);
    EXPECT_EQ(rowsIn(*img, kRow), 5);

    ASSERT_TRUE(uitest::tapView(*page->vipBtn));
    img = shoot(*centreWindow(), "i23-welfare-page-folded");
    EXPECT_EQ(rowsIn(*img, kHeader), 1);
    EXPECT_EQ(rowsIn(*img, kRow), 3);
    CGRect button = uitest::screenFrame(*page->vipBtn);
    EXPECT_NEAR(button.minY(), uitest::screenFrame(*page->tableView).maxY() + 6, 1);
}

TEST_P(WelfareShots, TheGiftListClaimsOnPurpleAndCopiesOnGrey) {
    auto tab = openWelfare();
    ASSERT_TRUE(uitest::tapView(*std::dynamic_pointer_cast<UIButton>(tab->topView()->viewWithTag(12))));
    advance(0.31);
    auto gifts = std::dynamic_pointer_cast<ZVGiftVC>(tab->childViewControllers()[2]);
    ASSERT_TRUE(settle([&] { return gifts->dataSource().size() == 2; }));
    auto img = shoot(*centreWindow(), "i23-gifts");
    for (long r = 0; r < 2; ++r) {
        auto cell = std::dynamic_pointer_cast<ZVGiftCell>(gifts->tableView->cellForRowAtIndexPath({0, r}));
        ASSERT_TRUE(cell);
        EXPECT_EQ(cell->btn->currentTitle(), r == 0 ? "领取" : "复制");
        CGRect b = uitest::screenFrame(*cell->btn).insetBy(8, 4);
        EXPECT_GT(count(*img, b, r == 0 ? kPurple : kLightGrey, 3), int(b.width() * b.height() * 2)) << r;
        CGRect name = uitest::screenFrame(*cell->nameL);
        EXPECT_GT(count(*img, name, {0x33, 0x33, 0x33}, 40), 20) << r;  // the name is drawn
    }
    CGRect type = uitest::screenFrame(*gifts->oneBtn).insetBy(12, 6);
    EXPECT_GT(count(*img, type, kPurple, 3), int(type.width() * type.height() * 2));
}

TEST_P(WelfareShots, ThePopUpWithAPickAndAClaimedBadge) {
    env->standin().setSubAccounts("player01", {{7, "星海小号1"}, {8, "星海小号2"}, {9, "备用号"}});
    env->standin().setVouchers({{12, "G1", 100, Value::dict()}});
    auto window = makeWindow();
    auto backdrop = std::make_shared<UIView>(window->bounds());
    backdrop->setBackgroundColor(UIColor::colorWithRed(0, 0, 0, 0.2));
    window->rootViewController()->view()->addSubview(backdrop);
    auto panel = Extension::ViewFromXib<ZVSuCouponSubView>("ZVSuCouponSubView");
    panel->setCenter({window->bounds().midX(), window->bounds().midY()});
    backdrop->addSubview(panel);
    panel->cid = "12";
    panel->loadData();
    ASSERT_TRUE(settle([&] { return panel->dataSource.size() == 3; }));
    // 8 claims it elsewhere, then the list is read again.
    panel->selectDic = panel->dataSource[1];
    panel->doGet();
    ASSERT_TRUE(settle([&] { return !panel->superview(); }));
    backdrop->addSubview(panel);
    window->rootViewController()->view()->addSubview(backdrop);
    panel->loadData();
    ASSERT_TRUE(settle([&] { return panel->dataSource.size() == 3; }));
    uitest::layout();
    ASSERT_TRUE(uitest::tapView(*panel->collectionView->cellForItemAtIndexPath({0, 0})));
    advance(3);  // the claim's toast is gone
    auto img = shoot(*window, "i23-coupon-popup");
    auto picked = std::dynamic_pointer_cast<ZVSuCouponSubViewCol>(panel->collectionView->cellForItemAtIndexPath({0, 0}));
    auto claimed = std::dynamic_pointer_cast<ZVSuCouponSubViewCol>(panel->collectionView->cellForItemAtIndexPath({0, 1}));
    ASSERT_TRUE(picked && claimed);
    CGRect frame = uitest::screenFrame(*picked->subL);
    EXPECT_GT(count(*img, CGRect(frame.minX(), frame.midY() - 5, 1, 10), kPicked, 30), 10);  // the border
    EXPECT_EQ(count(*img, CGRect(uitest::screenFrame(*claimed->subL).minX(), frame.midY() - 5, 1, 10), kPicked, 30), 0);
    EXPECT_GT(count(*img, frame.insetBy(20, 5), kPicked, 30), 20);  // the nickname
    CGRect badge = uitest::screenFrame(*claimed->statusL).insetBy(4, 3);
    EXPECT_GT(count(*img, badge, kBadge, 4), int(badge.width() * badge.height()));
    EXPECT_EQ(claimed->statusL->text(), "已领");
    CGRect open = uitest::screenFrame(*picked->statusL).insetBy(4, 3);
    EXPECT_EQ(count(*img, open, kBadge, 4), 0);
}

INSTANTIATE_PROFILES(WelfareShots);

}  // namespace
