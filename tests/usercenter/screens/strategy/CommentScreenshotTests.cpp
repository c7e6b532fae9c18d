// Pictures of the comments at scale 2 on both screen profiles, checked at
// points: colour emoji in a row and in the bar, the ribbons, the bar's
// hairline, the sticker keyboard's second page under the bar and its
// filler, and a comment's thread under its header. The user centre's window and the keyboard's are drawn into one
// picture as the screen shows them. With KORVEL_SHOT_DIR set, the pictures
// are also written there to look at.

#include <cstdlib>

#include "UserCentreTestSupport.h"
#include "platform/foundation/Files.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/ImageIO.h"
#include "platform/ui/UIKeyboard.h"
#include "platform/ui/UIScreen.h"
#include "platform/ui/ViewRenderer.h"
#include "usercenter/core/CXRHelperBtn.h"
#include "platform/ui/UINavigationController.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/strategy/ZVPingTwoVC.h"
#include "usercenter/screens/strategy/ZVSuStrategyVC.h"

using Profile = UIScreen::Profile;
using standin::UserCentreStandin;

namespace {

bool strongColour(RGBA8 p) { return std::max({p.r, p.g, p.b}) - std::min({p.r, p.g, p.b}) > 120; }
int countColour(const CGImage& img, const CGRect& points, uint32_t rgb, int tolerance = 6) {
    return countPixels(img, points, [&](RGBA8 p) {
        return std::abs(p.r - int(rgb >> 16)) <= tolerance && std::abs(p.g - int(rgb >> 8 & 0xFF)) <= tolerance &&
               std::abs(p.b - int(rgb & 0xFF)) <= tolerance;
    });
}

class CommentShots : public UserCentreTest, public ::testing::WithParamInterface<Profile> {
protected:
    void SetUp() override {
        UIScreen::mainScreen().setProfile(GetParam());
        UserCentreTest::SetUp();
        UserCentreStandin::Comments c;
        auto row = [](int id, int level, int good, const std::string& text) {
            return Value::dict({{"id", id}, {"full_name", "玩家" + std::to_string(id)}, {"createtime", "2024-05-0" + std::to_string(id)},
                                {"content", text}, {"good", good}, {"isgood", id == 1 ? 1 : 0}, {"level", level},
                                {"goldcoin", id == 1 ? "100" : "1000000"}, {"vippic", ""}, {"paypic", ""}, {"number_reply", 0}});
        };
        c.rows = {row(1, 1, 30, "新版本的副本太好玩了😍😍😍 组队打了一下午"), row(2, 3, 20, "希望能出一个跨服竞技模式"),
                  row(3, 0, 10, "一般般")};
        env->standin().setComments(c);
    }
    void TearDown() override {
        UserCentreTest::TearDown();
        UIScreen::mainScreen().setProfile(Profile::Compact);
    }
    // The user centre's window with the keyboard's over it, as on the screen.
    std::shared_ptr<CGImage> shoot(const std::string& name) {
        uitest::layout();
        auto ctx = CGContext::bitmap(UIScreen::mainScreen().bounds().size, true, 2);
        for (auto& w : {CXRHelperBtn::sharedButton()->helperWindow(), UIKeyboard::window()})
            if (w && !w->isHidden()) ViewRenderer(*ctx).render(*w);
        auto img = ctx->makeImage();
        if (const char* dir = std::getenv("KORVEL_SHOT_DIR"); dir && img) {
            auto png = imageio::encodePNG(*img);
            if (png) files::writeAtomically(std::string(dir) + "/" + name + (GetParam() == Profile::Tall ? "-tall" : "-compact") + ".png", *png);
        }
        return img;
    }
    std::shared_ptr<ZVPingVC> openComments() {
        auto centre = openUserCentre();
        centre->setSelectedIndex(3);
        uitest::layout();
        auto tab = tabRoot<ZVSuStrategyVC>(*centre, 3);
        uitest::tapView(*std::dynamic_pointer_cast<UIButton>(tab->topView()->viewWithTag(ZVSuStrategyVC::kButtonTagBase + 1)));
        advance(1);
        auto comments = tab->comments();
        EXPECT_TRUE(settle([&] { return comments->models.size() == 3 && !comments->pager().isFirstLoadOut(); }));
        advance(1);
        return comments;
    }
};

TEST_P(CommentShots, RowsRibbonsAndTheBar) {
    auto comments = openComments();
    auto img = shoot("i24-comments");
    auto table = comments->tableView();
    auto first = std::dynamic_pointer_cast<ZVPingCell>(table->cellForRowAtIndexPath({0, 0}));
    auto second = std::dynamic_pointer_cast<ZVPingCell>(table->cellForRowAtIndexPath({0, 1}));
    ASSERT_TRUE(first && second);
    EXPECT_GT(countPixels(*img, uitest::screenFrame(*first->showL), strongColour), 20);  // 😍
    // Level 1's purple text and level 3's gold ribbon.
    EXPECT_GT(countColour(*img, uitest::screenFrame(*first->goldView), 0x6137E7, 40), 5);
    EXPECT_GT(countPixels(*img, uitest::screenFrame(*second->goldView), strongColour), 20);
    // The ribbons' texts, "奖励100金币" and "奖励1000000金币", are drawn at
    // the list's small size, whole inside their clipped corners and clear
    // of the comment's text; an absurd reward shrinks to fit its corner.
    auto absurd = ZVPingCell::fromNib();
    absurd->setModel(ZVPingModel::modelsOf({Value::dict({{"id", 9}, {"content", "长长长长长长长长长长长长长长长长长长长长长长长长"},
                                                         {"level", 1}, {"goldcoin", std::string(40, '9')}})})[0]);
    absurd->setFrame(CGRect(0, 0, first->bounds().width(), absurd->sizeThatFits({first->bounds().width(), 0}).height));
    absurd->layoutIfNeeded();
    for (auto& cell : {first, second, absurd}) {
        const UILabel& l = *cell->goldL;
        double scale = l.fittingScale();
        if (cell != absurd) EXPECT_GE(l.font()->pointSize() * scale, cell->timeL->font()->pointSize()) << l.text();
        double shown = std::min(l.sizeThatFits({0, 0}).width * scale, l.bounds().width());
        double h = l.font()->lineHeight() * scale;
        CGRect box = cell->goldView->bounds();
        for (double sx : {-1.0, 1.0})
            for (double sy : {-1.0, 1.0}) {
                // A corner of the text's box, turned 45° anticlockwise about the band's centre.
                double x = sx * shown / 2, y = sy * h / 2, k = M_SQRT1_2;
                CGPoint p{l.center().x + (x + y) * k, l.center().y + (y - x) * k};
                EXPECT_TRUE(box.insetBy(-0.5, -0.5).contains(p)) << l.text() << " corner " << sx << "," << sy << " at " << p.x << "," << p.y;
            }
        // The band's far edge runs between the box's top right and bottom
        // left corners: the text's bottom right corner lies beyond it.
        CGRect text = cell->showL->frame(), ribbon = cell->goldView->frame();
        EXPECT_GE(ribbon.maxX() - text.maxX() + ribbon.maxY() - text.maxY(), ribbon.width()) << l.text();
    }
    EXPECT_EQ(first->goldL->text(), "奖励100金币");
    EXPECT_LT(absurd->goldL->fittingScale(), 1);
    // The bar's hairline, one pixel of #D2D2D2 across.
    CGRect bar = uitest::screenFrame(*comments->inputView());
    EXPECT_GT(countColour(*img, CGRect(bar.minX(), bar.minY(), bar.width(), 0.5), 0xD2D2D2, 2), int(bar.width() * 2) - 10);
}

TEST_P(CommentShots, TheThreadsHeaderShowsTheLikeAndTheRibbon) {
    auto comments = openComments();
    comments->tableView_didSelectRowAtIndexPath(*comments->tableView(), {0, 0});
    advance(1);
    auto nav = comments->navigationController();
    ASSERT_TRUE(nav);
    auto thread = std::dynamic_pointer_cast<ZVPingTwoVC>(nav->topViewController());
    ASSERT_TRUE(thread);
    ASSERT_TRUE(settle([&] { return !thread->pager().isFirstLoadOut(); }));
    advance(1);
    auto img = shoot("i24-comment-thread");
    auto head = thread->headView();
    // The liked comment: the like icon's colour, its count, the ribbon's purple text.
    EXPECT_EQ(head->goodL->text(), "30");
    EXPECT_EQ(head->goodPic->image(), ZVColor::sdkImageNamed("zv_tab_ping_good1.png"));
    EXPECT_GT(countColour(*img, uitest::screenFrame(*head->goodPic), 0x6137E7, 60), 20);
    EXPECT_GT(countColour(*img, uitest::screenFrame(*head->goldView), 0x6137E7, 40), 5);
    EXPECT_EQ(head->goldPic->image(), ZVColor::sdkImageNamed("zv_tab_ping_gold1.png"));
    // As in the list: the small size, and clear of the text.
    EXPECT_GE(head->goldL->font()->pointSize() * head->goldL->fittingScale(), head->timeL->font()->pointSize());
    CGRect text = head->showL->frame(), ribbon = head->goldView->frame();
    EXPECT_GE(ribbon.maxX() - text.maxX() + ribbon.maxY() - text.maxY(), ribbon.width());
}

TEST_P(CommentShots, TheStickerKeyboardsSecondPageUnderTheBar) {
    auto comments = openComments();
    auto bar = comments->inputView();
    uitest::tapView(*bar->textView());
    advance(0.5);
    uitest::insertText("好玩");
    uitest::tapView(*bar->emojiBtn());
    advance(0.5);
    auto keyboard = bar->stickerKeyboard();
    ASSERT_TRUE(keyboard->window());
    CGRect pages = uitest::screenFrame(*keyboard->queuingScrollView());
    uitest::drag({pages.maxX() - 20, pages.midY()}, {pages.minX() + 20, pages.midY()});
    advance(0.5);
    auto page = std::dynamic_pointer_cast<ZVStickerPageView>(keyboard->queuingScrollView()->centerView());
    ASSERT_TRUE(page);
    ASSERT_EQ(page->pageIndex, 1u);
    uitest::tapView(*page->emojiButtons()[0]);
    advance(0.5);
    auto img = shoot("i24-sticker-keyboard");
    CGRect onScreen = uitest::screenFrame(*bar);
    EXPECT_EQ(onScreen.maxY(), UIKeyboard::frame().minY());
    EXPECT_GT(countPixels(*img, uitest::screenFrame(*bar->textView()), strongColour), 20);  // the emoji in the bar
    EXPECT_GT(countPixels(*img, uitest::screenFrame(*page->emojiButtons()[16]), strongColour), 20);
    CGRect kb = UIKeyboard::frame();
    EXPECT_GT(countColour(*img, kb, 0xF4F4F4, 1), 1000);   // the slots' ground
    EXPECT_GT(countColour(*img, uitest::screenFrame(*keyboard->pageControl()), 0xF5A623, 8), 10);  // the current dot
    EXPECT_GT(countColour(*img, uitest::screenFrame(*keyboard->sendButton()), 0xD1D1D1, 2), 20);  // the send key's line
}

INSTANTIATE_TEST_SUITE_P(Profiles, CommentShots, ::testing::Values(Profile::Compact, Profile::Tall),
                         [](const auto& info) { return info.param == Profile::Tall ? "Tall" : "Compact"; });

}  // namespace
