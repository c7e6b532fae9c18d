// The comments in the running game: 攻略, then 评论; the player types "好玩"
// through the input method, opens the sticker keyboard, taps two emoji,
// deletes one and sends: the stand-in gets "好玩😠". Then the top comment's
// thread: its like is counted and the button turns purple; back twice
// closes the user centre.

#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UIKeyboard.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/strategy/ZVInputView.h"
#include "usercenter/screens/strategy/ZVPingViews.h"
#include "usercenter/screens/shell/ZVScreenRegistry.h"
#include "usercenter/screens/strategy/ZVStickerKeyboard.h"
#include "usercenter/screens/strategy/ZVSuStrategyVC.h"

#include "GameTestSupport.h"

using standin::UserCentreStandin;

namespace {

CGPoint below(CGPoint p, double dy) { return {p.x, p.y + dy}; }
CGPoint centreOf(const UIView& v) {
    CGRect f = uitest::screenFrame(v);
    return {f.midX(), f.midY()};
}

class CommentsInTheGame : public UserCentreGameTest {
protected:
    // Points of the comment screens, from their own layout in this process.
    struct Places {
        CGPoint commentsSwitch, field, firstRow, like, likeIcon;
        CGPoint emojiSwitch, stickerSend;  // with the on-screen and the sticker keyboard up
        CGPoint emoji[2], stickerDelete;
    };
    Places places() {
        ZVLinkUserCentreScreens();
        auto& screen = UIScreen::mainScreen();
        double w = screen.bounds().width(), h = screen.bounds().height();
        double switchTop = screen.safeAreaInsets().bottom > 0 ? 109 : 85;
        double pagesTop = switchTop + ZVSuStrategyVC::kSwitchHeight + ZVSuStrategyVC::kSwitchGap;
        double pagesBottom = h - screen.tabBarHeight();
        Places p;
        p.commentsSwitch = {w / 2 + ZVSuStrategyVC::kSwitchWidth / 4, switchTop + ZVSuStrategyVC::kSwitchHeight / 2};

        auto bar = ZVInputView::create(CGRect(0, 0, w, ZVInputView::kCollapsedHeight));
        bar->layoutIfNeeded();
        p.field = below(centreOf(*bar->bgView()), pagesBottom - ZVInputView::kCollapsedHeight);
        bar->keepsPreModeTextViewWillEdited = false;
        double editing = bar->heightThatFits();
        bar->setFrame(CGRect(0, 0, w, editing));
        bar->layoutIfNeeded();
        p.emojiSwitch = below(centreOf(*bar->emojiBtn()), h - UIKeyboard::standardHeight() - editing);

        double kh = ZVStickerKeyboard::heightThatFits();
        p.stickerSend = below(centreOf(*bar->sendBtn()), h - kh - editing);
        auto keyboard = ZVStickerKeyboard::create(CGRect(0, h - kh, w, kh));
        makeWindow()->addSubview(keyboard);
        uitest::layout();
        auto page = std::dynamic_pointer_cast<ZVStickerPageView>(keyboard->queuingScrollView()->centerView());
        p.emoji[0] = centreOf(*page->emojiButtons()[0]);
        p.emoji[1] = centreOf(*page->emojiButtons()[1]);
        p.stickerDelete = centreOf(*page->deleteButton());
        keyboard->removeFromSuperview();

        // The list starts under the banner and the heading; a card's name is near its top.
        p.firstRow = {w / 2, pagesTop + 84 + 20};
        auto model = ZVPingModel::modelsOf({userCentre.comments().rows[1]});
        auto head = ZVPingTwoHead::fromNib();
        head->setFrame(CGRect(0, 0, w, model[0]->headH()));
        head->setModel(model[0]);
        head->layoutIfNeeded();
        p.like = below(centreOf(*head->goodBtn), screen.navigationBarTop());
        p.likeIcon = below(centreOf(*head->goodPic), screen.navigationBarTop());
        return p;
    }
};

TEST_F(CommentsInTheGame, APostWithEmojiALikeInTheThreadAndBackTwice) {
    // The top comment by popularity.
    auto fixture = userCentre.comments().rows;
    ASSERT_GE(fixture.size(), 2u);
    ASSERT_EQ(fixture[1]["id"].textValue(), "102");
    Places at = places();

    start();
    logIn();
    openUserCentre();
    click(tab(3));
    click(at.commentsSwitch);
    ASSERT_TRUE(journalled(userCentre, ZVApi::kCommentList)) << game->log();

    click(at.field);
    testsupport::xtestTypeUnicode(display, "好玩");
    click(at.emojiSwitch);
    for (CGPoint e : at.emoji) click(e);
    click(at.stickerDelete);
    click(at.stickerSend);
    ASSERT_TRUE(journalled(userCentre, ZVApi::kCommentPost)) << game->log();
    EXPECT_EQ(userCentre.journal().last(UserCentreStandin::path(ZVApi::kCommentPost))->decoded.str("content"), "好玩😠");

    click(at.firstRow);
    ASSERT_TRUE(journalled(userCentre, ZVApi::kCommentReplies)) << game->log();
    // The thread is in place when the outline of its grey thumb is where it was laid out.
    ASSERT_TRUE(pixelIs({at.likeIcon.x + 2, at.likeIcon.y - 2}, rgb(0x999999), 20)) << game->log();
    click(at.like);
    ASSERT_TRUE(journalled(userCentre, ZVApi::kCommentLike)) << game->log();
    EXPECT_EQ(userCentre.likesOf("102"), 1);
    EXPECT_TRUE(pixelIs(at.likeIcon, rgb(0x6137E7), 60)) << game->log();

    click(points.webBack);
    click(points.webBack);
    ASSERT_TRUE(pixelIs(gameCorner(), kPageBackground)) << game->log();
}

}  // namespace
