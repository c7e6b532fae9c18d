// The account tab in the running game: "我的" fills from the stand-in, an
// unread message opens its page and is marked read, coming back asks for
// the account page again with one unread message fewer, and "关闭" brings
// the floating button back. The voucher ledger's filter takes a pointer's
// pick, and my vouchers switched while scrolled down show from the top.

#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/shell/ZVNavigationController.h"
#include "usercenter/screens/account/ZVSuBillVC.h"
#include "usercenter/screens/account/ZVSuCouponVC.h"
#include "usercenter/screens/account/ZVSuMyCouponVC.h"
#include "usercenter/screens/account/ZVSuUserVC.h"
#include "usercenter/screens/account/ZVUserMsgVC.h"

#include "GameTestSupport.h"

using standin::UserCentreStandin;
using L = UserCentreStandin::PageLayout;

namespace {

CGPoint centreOf(const UIView& v) {
    CGRect f = uitest::screenFrame(v);
    return {f.midX(), f.midY()};
}

class AccountInTheGame : public UserCentreGameTest {
protected:
    // Points of the account page and the message list, laid out here as the game lays them out.
    struct AccountPoints {
        CGPoint header, messages, badge, close, firstMessage, firstIcon;
    };
    AccountPoints accountPoints() {
        AccountPoints p;
        auto account = std::make_shared<ZVSuUserVC>();
        makeWindow(ZVNavigationController::withRoot(account));
        uitest::layout();
        p.header = {4, uitest::screenFrame(*account->onePic).minY() + 4};
        p.messages = centreOf(*account->btnsView->viewWithTag(ZVSuUserVC::kMessages));
        CGRect badge = uitest::screenFrame(*account->msgNumL);
        p.badge = {badge.minX() + 3, badge.midY()};  // beside its digits
        p.close = centreOf(*account->closeBtn);
        auto messages = std::make_shared<ZVUserMsgVC>();
        makeWindow(ZVNavigationController::withRoot(messages));
        uitest::layout();
        CGRect table = uitest::screenFrame(*messages->tableView());
        p.firstMessage = {table.midX(), table.minY() + ZVUserMsgCell::kRowHeight / 2};
        p.firstIcon = {table.minX() + 21, p.firstMessage.y};  // the purple disc, left of its envelope
        return p;
    }
};

TEST_F(AccountInTheGame, TheLedgerFilterTakesAPickAndMyVouchersSwitchedLowShowFromTheTop) {
    // Points of the pushed screens, laid out here as the game lays them out.
    CGPoint header, vouchers, coupons, myCoupons, usedTab, firstBlock, tableBottom, tableTop;
    CGRect menu;
    {
        auto account = std::make_shared<ZVSuUserVC>();
        makeWindow(ZVNavigationController::withRoot(account));
        uitest::layout();
        header = {4, uitest::screenFrame(*account->onePic).minY() + 4};
        vouchers = centreOf(*account->userView->viewWithTag(31));
        coupons = centreOf(*account->couponView->viewWithTag(3));
        auto bill = std::make_shared<ZVSuBillVC>();
        makeWindow(ZVNavigationController::withRoot(bill));
        uitest::layout();
        menu = uitest::screenFrame(*bill->menu());
        auto centre = std::make_shared<ZVSuCouponVC>();
        makeWindow(ZVNavigationController::withRoot(centre));
        uitest::layout();
        myCoupons = centreOf(*centre->navBtn());
        auto mine = std::make_shared<ZVSuMyCouponVC>();
        makeWindow(ZVNavigationController::withRoot(mine));
        uitest::layout();
        usedTab = centreOf(*uitest::findButton("已使用"));
        CGRect table = uitest::screenFrame(*mine->tableView());
        firstBlock = {table.minX() + 15 + 12, table.minY() + 6 + 80};  // the first row's coloured end, below its texts
        tableBottom = {table.midX(), table.maxY() - 40};
        tableTop = {table.midX(), table.minY() + 20};
    }
    auto journalledWith = [&](const std::string& endpoint, const std::string& key, const std::string& value) {
        return testsupport::waitFor(
            [&] {
                for (auto& e : userCentre.journal().entries(UserCentreStandin::path(endpoint)))
                    if (e.decoded.str(key) == value) return true;
                return false;
            },
            std::chrono::seconds(30));
    };

    start();
    logIn();
    openUserCentre();
    ASSERT_TRUE(journalled(userCentre, ZVApi::kUserIndex)) << game->log();
    ASSERT_TRUE(pixelIs(header, rgb(0x6036E7))) << game->log();

    // The voucher ledger: its second source, picked from the list below the bar.
    click(vouchers);
    ASSERT_TRUE(journalled(userCentre, ZVApi::kDjqIncome)) << game->log();
    ASSERT_TRUE(pixelIs({4, menu.midY()}, {255, 255, 255})) << game->log();  // the bar is up
    click({menu.midX(), menu.midY()});
    ASSERT_TRUE(pixelIs({menu.midX(), menu.maxY() + 30 + 15 + 10}, {255, 255, 255})) << game->log();  // the options
    click({menu.midX(), menu.maxY() + 30 + 15});
    ASSERT_TRUE(journalledWith(ZVApi::kDjqIncome, "screen", "2")) << game->log();
    click(points.webBack);

    // My vouchers, scrolled to the end of the usable ones (the next page loads), then "已使用".
    ASSERT_TRUE(journalled(userCentre, ZVApi::kUserIndex, 2)) << game->log();
    click(coupons);
    ASSERT_TRUE(journalled(userCentre, ZVApi::kCouponList)) << game->log();
    click(myCoupons);
    ASSERT_TRUE(journalled(userCentre, ZVApi::kMyCoupons)) << game->log();
    ASSERT_TRUE(pixelIs(firstBlock, rgb(0x4958A7), 20)) << game->log();
    drag(tableBottom, tableTop);
    drag(tableBottom, tableTop);
    ASSERT_TRUE(journalledWith(ZVApi::kMyCoupons, "pagecode", "2")) << game->log();
    click(usedTab);
    ASSERT_TRUE(journalledWith(ZVApi::kMyCoupons, "status", "2")) << game->log();
    ASSERT_TRUE(pixelIs(firstBlock, rgb(0xBFBFBF), 20)) << game->log();
}

TEST_F(AccountInTheGame, AnUnreadMessageIsMarkedReadAndCloseBringsTheButtonBack) {
    auto p = accountPoints();
    double width = UIScreen::mainScreen().bounds().width(), top = UIScreen::mainScreen().navigationBarTop();
    CGPoint block{width / 2, top + L::kBlockHeight / 2.0};

    start();
    logIn();
    openUserCentre();
    ASSERT_TRUE(journalled(userCentre, ZVApi::kUserIndex)) << game->log();
    ASSERT_TRUE(pixelIs(p.header, rgb(0x6036E7))) << game->log();
    ASSERT_TRUE(pixelIs(p.badge, rgb(0xFF4D4F), 30)) << game->log();  // two unread

    click(p.messages);
    ASSERT_TRUE(journalled(userCentre, ZVApi::kMessageList)) << game->log();
    ASSERT_TRUE(pixelIs(p.firstIcon, rgb(0x6036E7), 30)) << game->log();  // the rows are in
    click(p.firstMessage);
    ASSERT_TRUE(journalled(userCentre, ZVApi::kMessageRead)) << game->log();
    ASSERT_TRUE(pixelIs(block, rgb(L::kService))) << game->log();  // the message's page
    EXPECT_TRUE(userCentre.messages("demo")[0].read);

    // Back twice: the page asks again; one unread message is left.
    click(points.webBack);
    ASSERT_TRUE(pixelIs(p.firstMessage, {255, 255, 255}, 40)) << game->log();
    click(points.webBack);
    ASSERT_TRUE(journalled(userCentre, ZVApi::kUserIndex, 2)) << game->log();
    ASSERT_TRUE(pixelIs(p.badge, rgb(0xFF4D4F), 30)) << game->log();

    click(p.close);
    ASSERT_TRUE(pixelIs(floatingButton(), rgb(0x4988FD), 40)) << game->log();
}

}  // namespace
