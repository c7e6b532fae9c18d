// Pictures of the account tab at scale 2 on both screen profiles, checked
// at points that must show a given colour. With KORVEL_SHOT_DIR set, the
// pictures are also written there to look at.

#include <cstdlib>

#include "UserCentreTestSupport.h"
#include "platform/graphics/ImageIO.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/panels/ZVLoginRzView.h"
#include "usercenter/screens/account/ZVSuBillVC.h"
#include "usercenter/screens/account/ZVSuCouponVC.h"
#include "usercenter/screens/account/ZVSuMyCouponVC.h"
#include "usercenter/screens/account/ZVSuOrderVC.h"
#include "usercenter/screens/account/ZVSuSubNameVC.h"
#include "usercenter/screens/account/ZVSuUserVC.h"

using Profile = UIScreen::Profile;
using standin::UserCentreStandin;

namespace {

struct Colour {
    int r, g, b;
};
bool near(RGBA8 p, Colour c, int tolerance) {
    return std::abs(p.r - c.r) <= tolerance && std::abs(p.g - c.g) <= tolerance && std::abs(p.b - c.b) <= tolerance;
}
int count(const CGImage& img, const CGRect& points, Colour c, int tolerance = 6) {
    return countPixels(img, points, [&](RGBA8 p) { return near(p, c, tolerance); });
}
int area(const CGRect& r) { return int(r.width() * r.height() * 4); }

class AccountShots : public UserCentreTest, public ::testing::WithParamInterface<Profile> {
protected:
    void SetUp() override {
        UIScreen::mainScreen().setProfile(GetParam());
        UserCentreTest::SetUp();
        ShareVale::sharedInstance().setUserName("player1");
        ShareVale::sharedInstance().xiaohao_nickName = "小号A";
    }
    void TearDown() override {
        ShareVale::sharedInstance().xiaohao_nickName.clear();
        UserCentreTest::TearDown();
        UIScreen::mainScreen().setProfile(Profile::Compact);
    }
    bool tall() const { return GetParam() == Profile::Tall; }
    std::shared_ptr<CGImage> shoot(const std::string& name) {
        uitest::layout();
        auto& window = *CXRHelperBtn::sharedButton()->helperWindow();
        auto img = window.renderImage(2);
        if (const char* dir = std::getenv("KORVEL_SHOT_DIR"); dir && img)
            window.writePNG(std::string(dir) + "/" + name + (tall() ? "-tall" : "-compact") + ".png");
        return img;
    }
    std::shared_ptr<ZVSuUserVC> open(Value uinfo) {
        env->standin().setProfile("player1", std::move(uinfo), Value::dict({{"money", "45"}, {"count", 3}}));
        auto centre = openUserCentre();
        auto vc = centre ? tabRoot<ZVSuUserVC>(*centre, 0) : nullptr;
        EXPECT_TRUE(vc && settle([&] { return !vc->dic().isNull(); }));
        return vc;
    }
};

TEST_P(AccountShots, TheHeaderBadgesAndRealNameState) {
    auto vc = open(Value::dict({{"weidu", 3}, {"wallet", 1234567.89}, {"starcoin", "36"}, {"djq", "120.00"}}));
    ASSERT_TRUE(vc);
    auto img = shoot("i22-account");
    ASSERT_TRUE(img);
    CGRect header = uitest::screenFrame(*vc->onePic);
    EXPECT_GT(count(*img, CGRect(0, header.minY(), 10, 40), {0x60, 0x36, 0xE7}), 10 * 40 * 4 - 8);
    CGRect badge = uitest::screenFrame(*vc->msgNumL);
    EXPECT_GT(count(*img, badge.insetBy(4, 4), {0xFF, 0x4D, 0x4F}, 10), area(badge.insetBy(4, 4)) / 3);
    // "已认证" in dark grey; the wallet in full.
    CGRect rz = uitest::screenFrame(*vc->rzL);
    EXPECT_GT(count(*img, rz, {85, 85, 85}, 15), 20);
    EXPECT_EQ(vc->walletL->text(), "1234567.89");
}

TEST_P(AccountShots, AnUnverifiedAccountAndThePanelOnItsCover) {
    auto a = *env->standin().account("player1");
    a.rzStatus = "0";
    env->standin().addAccount("player1", a);
    auto vc = open(Value::dict({{"weidu", 0}}));
    ASSERT_TRUE(vc);
    auto img = shoot("i22-account-unverified");
    EXPECT_TRUE(vc->msgNumL->isHidden());
    CGRect rz = uitest::screenFrame(*vc->rzL);
    EXPECT_GT(count(*img, rz, {0x99, 0x99, 0x99}, 6), 20);
    EXPECT_EQ(count(*img, rz, {85, 85, 85}, 15), 0);

    vc->goToRz();
    auto panel = vc->rzView();
    img = shoot("i22-realname-panel");
    CGRect p = uitest::screenFrame(*panel);
    // White under the cover's 0.2 black reads about 204 beside the panel; the panel stays white.
    CGRect card = uitest::screenFrame(*vc->userView);
    EXPECT_GT(count(*img, CGRect(card.minX() + 4, card.minY() + 4, 8, 8), {204, 204, 204}, 3), 8 * 8 * 4 - 4);
    EXPECT_GT(count(*img, CGRect(p.minX() + 4, p.maxY() - 8, 8, 4), {255, 255, 255}, 2), 8 * 4 * 4 - 4);
}

// Scrolled to its end, "我的" keeps its purple bar with the title and
// "关闭" where they were, and "关闭" still answers.
TEST_P(AccountShots, TheTitleBarAndCloseStayWhenThePageIsScrolled) {
    auto vc = open(Value::dict({{"weidu", 1}}));
    ASSERT_TRUE(vc);
    uitest::layout();
    CGRect close = uitest::screenFrame(*vc->closeBtn);
    auto& page = *vc->scrollView;
    page.setContentOffset({0, page.contentSize().height - page.bounds().height()});
    auto img = shoot("i30-account-scrolled");
    CGRect bar = uitest::screenFrame(*vc->titleBar);
    EXPECT_EQ(uitest::screenFrame(*vc->closeBtn), close);
    EXPECT_GT(count(*img, CGRect(0, bar.minY(), 10, bar.height()), {0x60, 0x36, 0xE7}), int(10 * bar.height() * 4) - 8);
    EXPECT_GT(count(*img, close.insetBy(4, 4), {255, 255, 255}, 20), 10);  // its text
    ASSERT_TRUE(uitest::tapView(*vc->closeBtn));
    EXPECT_FALSE(CXRHelperBtn::sharedButton()->helperWindow());
}

TEST_P(AccountShots, TheListsOpenDropdownVoucherCapsBadgeCornersAndIndicator) {
    auto& s = env->standin();
    s.setList(ZVApi::kDjqIncome, {{Value::dict({{"time", "2024-05-01"}, {"money", "5"}, {"remark", "后台代充"}})}, 10, Value::dict()});
    s.setVouchers({{101, "G1", 5, Value::dict({{"coupon_money", "10"}, {"pay_money", "98"}, {"gamename", "星海征途"},
                                                {"time", "2024-12-31"}, {"condition", "满98可用"}})}});
    s.setList(ZVApi::kBookingList, {{Value::dict({{"id", 7}, {"gamename", "星海征途"}, {"fuli", Value::array({"首充双倍"})},
                                                  {"box_discount", "0.1折"}})}, 10, Value::dict()});
    s.setList(UserCentreStandin::myCouponsKey("1"), {{Value::dict({{"cid", 1}, {"coupon_money", "10"}, {"pay_money", "98"},
                                                                    {"gamename", "星海征途"}})}, 10, Value::dict()});
    auto vc = open(Value::dict());
    ASSERT_TRUE(vc);
    auto nav = vc->navigationController();
    auto top = [&] { return nav->topViewController(); };

    vc->goToBillVc();
    advance(0.5);
    auto bill = std::dynamic_pointer_cast<ZVSuBillVC>(top());
    ASSERT_TRUE(bill && settle([&] { return bill->dataSource.size() == 1; }));
    bill->menu()->showDropDown();
    advance(0.5);
    auto img = shoot("i22-bills-dropdown");
    EXPECT_TRUE(labelShown("金币兑换"));
    CGRect indicator = uitest::screenFrame(*bill->indicator);
    EXPECT_GT(count(*img, indicator, {0x60, 0x36, 0xE7}), area(indicator) / 2);
    nav->popToRootViewControllerAnimated(false);

    vc->goToCouponVc();
    advance(0.5);
    auto coupons = std::dynamic_pointer_cast<ZVSuCouponVC>(top());
    ASSERT_TRUE(coupons && settle([&] { return coupons->dataSource.size() == 1; }));
    uitest::layout();
    img = shoot("i22-coupon-centre");
    auto cell = std::dynamic_pointer_cast<ZVSuCouponCell>(coupons->tableView()->cellForRowAtIndexPath({0, 0}));
    ASSERT_TRUE(cell);
    CGRect bg = uitest::screenFrame(*cell->bgPic);
    // The left cap keeps its orange, the stretched middle its pale colour, the right cap white.
    EXPECT_GT(count(*img, CGRect(bg.minX() + 10, bg.maxY() - 12, 8, 6), {0xFF, 0x7A, 0x45}, 10), 8 * 6 * 4 / 2);
    double middle = ZVSuCouponCell::kLeftCap + (bg.width() - ZVSuCouponCell::kLeftCap - ZVSuCouponCell::kRightCap) / 2;
    EXPECT_GT(count(*img, CGRect(bg.minX() + middle - 2, bg.maxY() - 12, 4, 6), {0xFF, 0xF1, 0xE8}, 6), 4 * 6 * 4 / 2);
    EXPECT_GT(count(*img, CGRect(bg.maxX() - 30, bg.maxY() - 12, 8, 6), {0xFF, 0xFF, 0xFF}, 4), 8 * 6 * 4 / 2);

    coupons->goToMyCouponVC();
    advance(0.5);
    auto mine = std::dynamic_pointer_cast<ZVSuMyCouponVC>(top());
    ASSERT_TRUE(mine && settle([&] { return mine->dataSource.size() == 1; }));
    img = shoot("i22-my-coupons");
    CGRect line = uitest::screenFrame(*mine->indicator());
    EXPECT_GT(count(*img, line, {0x49, 0x58, 0xA7}), area(line) / 2);
    nav->popToRootViewControllerAnimated(false);

    vc->goToOtherVC(ZVSuUserVC::kReservations);
    advance(0.5);
    auto order = std::dynamic_pointer_cast<ZVSuOrderVC>(top());
    ASSERT_TRUE(order && settle([&] { return order->dataSource.size() == 1; }));
    img = shoot("i22-reservations");
    auto row = std::dynamic_pointer_cast<ZVSuOrderCell>(order->tableView()->cellForRowAtIndexPath({0, 0}));
    ASSERT_TRUE(row);
    // The discount badge: rounded top-right and bottom-left, square at the other two corners.
    CGRect badge = uitest::screenFrame(*row->tagL);
    ASSERT_GT(badge.width(), 10);
    auto at = [&](double x, double y) { return near(img->pixelAt(int(x * 2), int(y * 2)), {0xFF, 0x7A, 0x45}, 12); };
    EXPECT_TRUE(at(badge.minX() + 0.3, badge.minY() + 0.3));   // top-left square
    EXPECT_TRUE(at(badge.maxX() - 0.3, badge.maxY() - 0.3));   // bottom-right square
    EXPECT_FALSE(at(badge.maxX() - 0.3, badge.minY() + 0.3));  // top-right rounded
    EXPECT_FALSE(at(badge.minX() + 0.3, badge.maxY() - 0.3));  // bottom-left rounded
}

TEST_P(AccountShots, ANewAccountTheLedgerAfterASwitchAndMyVouchersStretchedZone) {
    // A new account: no balances, no vouchers; its numbers read 0.
    env->standin().setProfile("player1", Value::dict(), Value::dict());
    auto centre = openUserCentre();
    auto vc = centre ? tabRoot<ZVSuUserVC>(*centre, 0) : nullptr;
    ASSERT_TRUE(vc && settle([&] { return !vc->dic().isNull(); }));
    auto img = shoot("i30-new-account");
    for (auto* label : {vc->djqL.get(), vc->xinL.get()}) {
        EXPECT_EQ(label->text(), "0");
        EXPECT_GT(count(*img, uitest::screenFrame(*label), {0x33, 0x33, 0x33}, 60), 4);  // drawn, not blank
    }
    EXPECT_EQ(vc->couponMoneyL->text(), "￥0");
    EXPECT_EQ(vc->couponNumL->text(), "共0张");

    // The voucher ledger, scrolled to its end, then switched to spending: the rows show from the top.
    auto& s = env->standin();
    std::vector<Value> income, spending;
    for (int i = 0; i < 20; ++i)
        income.push_back(Value::dict({{"time", "2024-05-01 12:00"}, {"money", std::to_string(i + 1)}, {"remark", "后台代充"}}));
    for (int i = 0; i < 3; ++i)
        spending.push_back(Value::dict({{"time", "2024-06-01 09:30"}, {"money", std::to_string(i + 1)},
                                        {"remark", "游戏充值"}, {"screen", 1}}));  // the first source, shown after a switch
    s.setList(ZVApi::kDjqIncome, {income, 20, Value::dict()});
    s.setList(ZVApi::kDjqSpending, {spending, 20, Value::dict()});
    auto nav = vc->navigationController();
    vc->goToBillVc();
    advance(0.5);
    auto bill = std::dynamic_pointer_cast<ZVSuBillVC>(nav->topViewController());
    ASSERT_TRUE(bill && settle([&] { return bill->dataSource.size() == 20; }));
    uitest::layout();
    auto table = bill->tableView();
    table->setContentOffset(table->maximumContentOffset());
    uitest::layout();
    ASSERT_TRUE(uitest::tapButton("支出"));
    ASSERT_TRUE(settle([&] { return bill->dataSource.size() == 3 && !bill->pager().isFirstLoadOut(); }));
    advance(0.5);
    img = shoot("i30-ledger-after-switch");
    auto first = std::dynamic_pointer_cast<ZVSuBillCell>(table->cellForRowAtIndexPath({0, 0}));
    ASSERT_TRUE(first);
    CGRect row = uitest::screenFrame(*first->numL);
    EXPECT_NEAR(row.minY(), uitest::screenFrame(*table).minY(), 1);
    EXPECT_GT(count(*img, row, {0x33, 0x33, 0x33}, 60), 10);  // "-1" is drawn
    nav->popToRootViewControllerAnimated(false);

    // My vouchers: the picture's stretched middle is white, its ends keep their colours.
    s.setList(UserCentreStandin::myCouponsKey("1"), {{Value::dict({{"cid", 1}, {"coupon_money", "10"}, {"pay_money", "98"},
                                                                    {"gamename", "星海征途"}, {"end_time", "2024-12-31"}})},
                                                     10, Value::dict()});
    auto mine = std::make_shared<ZVSuMyCouponVC>();
    nav->pushViewController(mine, false);
    ASSERT_TRUE(settle([&] { return mine->dataSource.size() == 1 && !mine->pager().isFirstLoadOut(); }));
    advance(0.5);
    img = shoot("i30-my-coupons");
    auto cell = std::dynamic_pointer_cast<ZVSuMyCouponCell>(mine->tableView()->cellForRowAtIndexPath({0, 0}));
    ASSERT_TRUE(cell);
    CGRect bg = uitest::screenFrame(*cell->bgPic);
    double stretched = bg.width() - ZVSuMyCouponCell::kLeftCap - ZVSuMyCouponCell::kRightCap;
    ASSERT_GT(stretched, 40);
    CGRect middle(bg.minX() + ZVSuMyCouponCell::kLeftCap + 4, bg.maxY() - 8, stretched - 8, 4);
    EXPECT_EQ(count(*img, middle, {0xFF, 0xFF, 0xFF}, 3), area(middle));
    EXPECT_GT(count(*img, CGRect(bg.minX() + 10, bg.maxY() - 8, 8, 4), {0x49, 0x58, 0xA7}, 8), 8 * 4 * 4 / 2);
    EXPECT_GT(count(*img, CGRect(bg.maxX() - 6, bg.midY(), 3, 4), {0x49, 0x58, 0xA7}, 8), 3 * 4 * 4 / 2);
    nav->popToRootViewControllerAnimated(false);

    // The sub-account screen says in full that none can be chosen.
    vc->goToSubNameVC();
    advance(0.5);
    img = shoot("i30-sub-account");
    auto note = uitest::findLabel(ZVSuSubNameVC::kNoChoice);
    ASSERT_TRUE(note);
    CGRect n = uitest::screenFrame(*note);
    EXPECT_GE(n.height(), note->sizeThatFits({n.width(), 0}).height);
    EXPECT_GT(count(*img, n, {0x99, 0x99, 0x99}, 30), 40);
}

// A voucher claimed in the coupon centre shows where the player looks for
// it: first in my vouchers, and in the account page's summary on the way back.
TEST_P(AccountShots, AClaimedVoucherShowsInMyVouchersAndTheSummary) {
    auto& s = env->standin();
    s.setVouchers({{101, "G1", 5, Value::dict({{"coupon_money", "10"}, {"pay_money", "98"}, {"gamename", "星海征途"},
                                                {"time", "2024-12-31"}, {"end_time", "2024-12-31"}})}});
    s.setList(UserCentreStandin::myCouponsKey("1"), {{Value::dict({{"cid", 900}, {"coupon_money", "5"}, {"pay_money", "30"},
                                                                    {"gamename", "星海征途"}, {"end_time", "2024-12-01"}})},
                                                     10, Value::dict()});
    auto vc = open(Value::dict());
    ASSERT_TRUE(vc);
    EXPECT_EQ(vc->couponNumL->text(), "共3张");
    auto nav = vc->navigationController();
    vc->goToCouponVc();
    advance(0.5);
    auto centre = std::dynamic_pointer_cast<ZVSuCouponVC>(nav->topViewController());
    ASSERT_TRUE(centre && settle([&] { return centre->dataSource.size() == 1 && !centre->pager().isFirstLoadOut(); }));
    centre->tableView_didSelectRowAtIndexPath(*centre->tableView(), {0, 0});
    ASSERT_TRUE(settle([&] { return labelShown("领取成功"); }));
    advance(3);  // the toast goes

    centre->goToMyCouponVC();
    advance(0.5);
    auto mine = std::dynamic_pointer_cast<ZVSuMyCouponVC>(nav->topViewController());
    ASSERT_TRUE(mine && settle([&] { return mine->dataSource.size() == 2 && !mine->pager().isFirstLoadOut(); }));
    uitest::layout();
    shoot("claimed-voucher-in-my-vouchers");
    auto first = std::dynamic_pointer_cast<ZVSuMyCouponCell>(mine->tableView()->cellForRowAtIndexPath({0, 0}));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->showL->text(), "满98减10");

    nav->popToRootViewControllerAnimated(false);
    ASSERT_TRUE(settle([&] { return vc->couponNumL->text() == "共4张"; }));
    EXPECT_EQ(vc->couponMoneyL->text(), "￥55");
    shoot("claimed-voucher-summary");
}

INSTANTIATE_TEST_SUITE_P(Profiles, AccountShots, ::testing::Values(Profile::Compact, Profile::Tall),
                         [](const auto& info) { return info.param == Profile::Tall ? "Tall" : "Compact"; });

}  // namespace
