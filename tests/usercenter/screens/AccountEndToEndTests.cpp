// The account tab in the running game: "我的" fills from the stand-in, an
// unread message opens its page and is marked read, coming back asks for
// the account page again with one unread message fewer, and "关闭" brings
// the floating button back.

#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/ZVNavigationController.h"
#include "usercenter/screens/ZVSuUserVC.h"
#include "usercenter/screens/ZVUserMsgVC.h"

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
