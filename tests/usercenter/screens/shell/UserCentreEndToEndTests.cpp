// The user centre in the running game: korvel-game on the demo bundle,
// pointed at both stand-ins, under a virtual X server. The player logs in,
// opens the floating button's user centre and goes to the Tasks page: its
// signed request reaches the stand-in and the page shows green; its box
// link reaches the desktop's handler; back twice after the ordinary link
// shows the Tasks page again and then closes the user centre.

#include "platform/ui/UIScreen.h"
#include "usercenter/core/ZVApi.h"

#include "GameTestSupport.h"

using standin::UserCentreStandin;
using L = UserCentreStandin::PageLayout;

namespace {

class UserCentreInTheGame : public UserCentreGameTest {};

TEST_F(UserCentreInTheGame, TheTasksPageIsSignedItsLinksWorkAndBackClosesTheUserCentre) {
    const std::string box = "https://box.example.invalid/\n";
    CGPoint back = points.webBack;
    double width = UIScreen::mainScreen().bounds().width(), top = UIScreen::mainScreen().navigationBarTop();
    CGPoint block{width / 2, top + L::kBlockHeight / 2.0};
    auto link = [&](int linkTop) { return CGPoint{width / 2, top + linkTop + L::kLinkHeight / 2.0}; };

    start();
    logIn();
    openUserCentre();
    click(tab(2));
    ASSERT_TRUE(journalled(userCentre, ZVApi::kTasksPage)) << game->log();
    EXPECT_EQ(userCentre.journal().last(UserCentreStandin::path(ZVApi::kTasksPage))->signOk, true);
    ASSERT_TRUE(pixelIs(block, rgb(L::kSigned))) << game->log();

    // The box link goes to the desktop's handler; the page stays.
    click(link(L::kBoxLinkTop));
    ASSERT_TRUE(testsupport::waitFor([&] { return opened() == box; }, std::chrono::seconds(30))) << opened() << game->log();
    EXPECT_TRUE(pixelIs(block, rgb(L::kSigned)));

    // The ordinary link, then back twice: the Tasks page, then the game.
    click(link(L::kNextLinkTop));
    ASSERT_TRUE(journalled(userCentre, UserCentreStandin::kNextPage)) << game->log();
    ASSERT_TRUE(pixelIs(block, rgb(L::kNext))) << game->log();
    click(back);
    ASSERT_TRUE(pixelIs(block, rgb(L::kSigned))) << game->log();
    click(back);
    ASSERT_TRUE(pixelIs(gameCorner(), kPageBackground)) << game->log();
    EXPECT_TRUE(pixelIs(floatingButton(), rgb(0x4988FD), 40));
    EXPECT_EQ(opened(), box);
}

}  // namespace
