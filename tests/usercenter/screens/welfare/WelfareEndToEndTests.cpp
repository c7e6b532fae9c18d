// The welfare tab in the running game: korvel-game on the demo bundle
// against the stand-ins' demo data, under a virtual X server. The welfare
// page fills from the stand-in, a real drag goes to the activities, a gift
// pack is claimed and turns to "复制", the server openings show, and back
// returns to the game.

#include "platform/ui/UIScreen.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/welfare/ZVSuWelfareVC.h"

#include "GameTestSupport.h"

using standin::UserCentreStandin;

namespace {

class WelfareInTheGame : public UserCentreGameTest {
protected:
    // The tab's layout, as the tab makes it on this screen.
    double width = UIScreen::mainScreen().bounds().width(), height = UIScreen::mainScreen().bounds().height();
    double switchTop = UIScreen::mainScreen().navigationBarTop() + 21;
    double pagesTop = switchTop + ZVSuWelfareVC::kSwitchHeight + 21;
    double pagesBottom = height - UIScreen::mainScreen().tabBarHeight();
    CGPoint switchButton(int i) { return {32 + (width - 64) / 4 * (i + 0.5), switchTop + ZVSuWelfareVC::kSwitchHeight / 2}; }
};

TEST_F(WelfareInTheGame, ItsPagesFillFromTheStandinAGiftIsClaimedAndBackReturnsToTheGame) {
    const testsupport::RGB purple = rgb(0x6137E7), lightGrey{170, 170, 170};
    start();
    logIn();
    openUserCentre();
    click(tab(1));
    ASSERT_TRUE(journalled(userCentre, ZVApi::kWelfare)) << game->log();
    EXPECT_EQ(userCentre.journal().last(UserCentreStandin::path(ZVApi::kWelfare))->decoded.text("username"), "demo");
    ASSERT_TRUE(columnShows(42, pagesTop, pagesBottom, rgb(0xE2EAFD), 4)) << "VIP header row" << game->log();

    // A drag to the activities: they load where it comes to rest.
    drag({width - 30, pagesTop + 120}, {30, pagesTop + 120});
    ASSERT_TRUE(journalled(userCentre, ZVApi::kActivityList)) << game->log();
    ASSERT_TRUE(columnShows(35, pagesTop, pagesTop + 150, rgb(0x2BB673), 20)) << "activity flag" << game->log();
    EXPECT_TRUE(pixelIs({switchButton(1).x, switchTop + 3}, purple, 20));

    // Gift packs: claim the first; the toast shows and the row offers "复制".
    click(switchButton(2));
    ASSERT_TRUE(journalled(userCentre, ZVApi::kGiftList)) << game->log();
    double buttonX = width - 16 - 16 - 36;
    auto claimTop = columnShows(buttonX, pagesTop + 56, pagesTop + 56 + 120, purple, 12);
    ASSERT_TRUE(claimTop) << game->log();
    CGPoint claim{buttonX, *claimTop + 15};
    click(claim);
    ASSERT_TRUE(journalled(userCentre, ZVApi::kGiftClaim)) << game->log();
    EXPECT_TRUE(columnShows(width / 2 - 38, height / 2, height, {0, 0, 0}, 40)) << "toast" << game->log();
    ASSERT_TRUE(pixelIs(claim, lightGrey, 12)) << game->log();
    EXPECT_EQ(userCentre.journal().count(UserCentreStandin::path(ZVApi::kGiftList)), 2u);

    // Server openings.
    click(switchButton(3));
    ASSERT_TRUE(journalled(userCentre, ZVApi::kServerList)) << game->log();
    ASSERT_TRUE(columnShows(width - 45, pagesTop, pagesTop + 200, purple, 12)) << "未开服" << game->log();

    // Back: the user centre closes and the floating button returns.
    click(points.webBack);
    ASSERT_TRUE(pixelIs(gameCorner(), kPageBackground)) << game->log();
    EXPECT_TRUE(pixelIs(floatingButton(), rgb(0x4988FD), 40));
}

}  // namespace
