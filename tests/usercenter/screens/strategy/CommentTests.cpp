// The comment list, a comment's thread and the strategy tab that holds them,
// against the stand-in: orders, ribbons and badges, likes, posts that do not
// go through, superseded replies, and the tab's lazy page and back button.

#include <cmath>

#include "UserCentreTestSupport.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/strategy/ZVPingTwoVC.h"
#include "usercenter/screens/strategy/ZVPingVC.h"
#include "usercenter/screens/strategy/ZVSuStrategyVC.h"
#include "usercenter/screens/common/ZVTab.h"

using standin::Reply;
using standin::UserCentreStandin;

namespace {

Value comment(int id, Value level, int good, const std::string& time, Value extras = Value::dict()) {
    Value row = Value::dict({{"id", id}, {"full_name", "玩家" + std::to_string(id)}, {"createtime", time},
                             {"content", "第" + std::to_string(id) + "条😀"}, {"good", good}, {"isgood", 0},
                             {"level", std::move(level)}, {"goldcoin", "30"}, {"vippic", ""}, {"paypic", ""},
                             {"number_reply", 0}});
    for (auto& key : extras.keys()) row.set(key, extras[key]);
    return row;
}

class Comments : public UserCentreTest {
protected:
    void SetUp() override {
        UserCentreTest::SetUp();
        UserCentreStandin::Comments c;
        c.rows = {comment(1, 0, 5, "2024-05-01"), comment(2, 1, 9, "2024-05-02"), comment(3, "3", 1, "2024-05-04"),
                  comment(4, 7, 3, "2024-05-03"), comment(5, "x", 0, "2024-05-05", Value::dict({{"isgood", "1"}}))};
        c.replies["2"] = {comment(20, 0, 0, "2024-05-06")};
        env->standin().setComments(c);
    }
    std::shared_ptr<ZVPingVC> showList() {
        auto vc = std::make_shared<ZVPingVC>();
        nav = showInNavigation(vc);
        EXPECT_TRUE(settle([&] { return vc->models.size() == 5 && !vc->pager().isFirstLoadOut(); }));
        return vc;
    }
    std::shared_ptr<ZVPingCell> row(ZVPingVC& vc, long i) {
        uitest::layout();
        return std::dynamic_pointer_cast<ZVPingCell>(vc.tableView()->cellForRowAtIndexPath({0, i}));
    }
    std::vector<std::string> ids(const ZVPingListBase& vc) {
        std::vector<std::string> out;
        for (auto& m : vc.models) out.push_back(m->Id.textValue());
        return out;
    }
    Value lastRequest(const std::string& endpoint) {
        return env->standin().journal().last(UserCentreStandin::path(endpoint))->decoded;
    }
    // Types "好玩" and one emoji into the bar and sends.
    void typeAndSend(ZVPingListBase& vc) {
        auto& bar = vc.inputView();
        uitest::tapView(*bar->textView());
        advance(0.3);
        uitest::insertText("好玩");
        bar->stickerKeyboard_didClickEmoji(*bar->stickerKeyboard(), *ZVStickerDataManager::sharedInstance().allEmojis()[0]);
        uitest::tapView(*bar->sendBtn());
    }
    std::shared_ptr<UINavigationController> nav;
};

TEST_F(Comments, OrdersRibbonsAndBadges) {
    auto vc = showList();
    EXPECT_EQ(ids(*vc), (std::vector<std::string>{"2", "1", "4", "3", "5"}));  // by popularity at first
    EXPECT_EQ(lastRequest(ZVApi::kCommentList).str("px"), "1");
    EXPECT_EQ(vc->menu()->title(), "按热度");
    struct Case {
        long row;
        bool ribbon;
        const char* picture;
        const char* colour;
    };
    for (auto c : {Case{0, true, "zv_tab_ping_gold1.png", "#6137E7"}, Case{1, false, "", ""}, Case{2, false, "", ""},
                   Case{3, true, "zv_tab_ping_gold3.png", "#e6a04d"}, Case{4, false, "", ""}}) {
        auto cell = row(*vc, c.row);
        ASSERT_TRUE(cell) << c.row;
        EXPECT_EQ(cell->goldView->isHidden(), !c.ribbon) << c.row;
        if (!c.ribbon) continue;
        EXPECT_EQ(cell->goldPicView->image(), ZVColor::sdkImageNamed(c.picture));
        EXPECT_EQ(cell->goldL->textColor(), XTExtention::colorWithHexString(c.colour));
        EXPECT_EQ(cell->goldL->text(), "奖励30金币");
    }
    vc->dropdownMenu_didSelectOptionAtIndex_optionTitle(*vc->menu(), 0, "按时间");
    ASSERT_TRUE(settle([&] { return !vc->pager().isFirstLoadOut(); }));
    EXPECT_EQ(lastRequest(ZVApi::kCommentList).str("px"), "0");
    EXPECT_EQ(lastRequest(ZVApi::kCommentList).str("pagecode"), "1");
    EXPECT_EQ(ids(*vc), (std::vector<std::string>{"5", "3", "4", "2", "1"}));

    // The paid badge 5 points after the name, 60 after a VIP badge; a paypic that is no object is none.
    struct Badge {
        Value vippic, paypic;
        bool paid;
        double left;
    };
    for (auto& b : std::vector<Badge>{{"", Value::dict({{"pic", "p.png"}}), true, 5},
                                      {"v.png", Value::dict({{"pic", "p.png"}}), true, 60},
                                      {"v.png", "p.png", false, 60},
                                      {"", Value::array({"p.png"}), false, 5}}) {
        auto model = ZVPingModel::modelsOf({comment(9, 1, 0, "", Value::dict({{"vippic", b.vippic}, {"paypic", b.paypic}}))});
        ASSERT_EQ(model.size(), 1u);
        auto cell = ZVPingCell::fromNib();
        cell->setModel(model[0]);
        EXPECT_EQ(model[0]->hasPaidBadge(), b.paid);
        EXPECT_EQ(cell->payPic->isHidden(), !b.paid);
        if (b.paid) EXPECT_EQ(cell->payPicLeft, b.left);
    }
}

TEST_F(Comments, ALikeCountsOnceAndShowsInTheListAndTheThread) {
    auto vc = showList();
    auto liked = row(*vc, 4);
    EXPECT_FALSE(liked->goodBtn->isEnabled());  // "isgood" 1
    EXPECT_EQ(liked->goodIcon->image(), ZVColor::sdkImageNamed("zv_tab_ping_good1.png"));
    auto first = row(*vc, 1);
    EXPECT_EQ(first->numberL->text(), "5");
    EXPECT_EQ(first->goodIcon->image(), ZVColor::sdkImageNamed("zv_tab_ping_good0.png"));
    uitest::tapView(*first->goodBtn);
    ASSERT_TRUE(settle([&] { return first->numberL->text() == "6"; }));
    EXPECT_EQ(env->standin().likesOf("1"), 1);
    EXPECT_EQ(first->goodIcon->image(), ZVColor::sdkImageNamed("zv_tab_ping_good1.png"));
    EXPECT_FALSE(first->goodBtn->isEnabled());

    // In the thread of the top comment, then back in the list.
    vc->tableView_didSelectRowAtIndexPath(*vc->tableView(), {0, 0});
    advance(0.5);
    auto thread = std::dynamic_pointer_cast<ZVPingTwoVC>(nav->topViewController());
    ASSERT_TRUE(thread);
    ASSERT_TRUE(settle([&] { return thread->models.size() == 1 && !thread->pager().isFirstLoadOut(); }));
    EXPECT_EQ(lastRequest(ZVApi::kCommentReplies).str("comments_id"), "2");
    auto head = thread->headView();
    EXPECT_EQ(head->frame().height(), vc->models[0]->headH());
    uitest::tapView(*head->goodBtn);
    ASSERT_TRUE(settle([&] { return env->standin().likesOf("2") == 1 && head->goodL->text() == "10"; }));
    EXPECT_EQ(head->goodPic->image(), ZVColor::sdkImageNamed("zv_tab_ping_good1.png"));
    EXPECT_FALSE(head->goodBtn->isEnabled());
    nav->popViewControllerAnimated(true);
    advance(0.5);
    EXPECT_EQ(row(*vc, 0)->numberL->text(), "10");
    EXPECT_EQ(row(*vc, 0)->goodIcon->image(), ZVColor::sdkImageNamed("zv_tab_ping_good1.png"));
}

TEST_F(Comments, APostThatDoesNotGoThroughGivesTheTextBack) {
    auto vc = showList();
    const std::string path = UserCentreStandin::path(ZVApi::kCommentPost);
    struct Case {
        const char* name;
        std::optional<Reply> reply;
        std::string toast, left;
    };
    std::vector<Case> cases = {
        {"failed", Reply::html500(), ZVPingListBase::kServerError, "好玩😠"},
        {"refused", Reply::json(Value::dict({{"a", 0}, {"b", "含有敏感词"}})), "含有敏感词", "好玩😠"},
        {"posted", std::nullopt, UserCentreStandin::kPosted, ""},
    };
    for (auto& c : cases) {
        if (c.reply) env->standin().server().script(path, *c.reply);
        size_t before = requests(ZVApi::kCommentPost);
        typeAndSend(*vc);
        EXPECT_EQ(vc->inputView()->plainText(), "");
        ASSERT_TRUE(settle([&] { return requests(ZVApi::kCommentPost) == before + 1 && labelShown(c.toast); })) << c.name;
        EXPECT_EQ(lastRequest(ZVApi::kCommentPost).str("content"), "好玩😠") << c.name;
        EXPECT_FALSE(lastRequest(ZVApi::kCommentPost).has("pid"));
        EXPECT_EQ(vc->inputView()->plainText(), c.left) << c.name;
        vc->inputView()->clearText();
        advance(3);
    }
    EXPECT_EQ(vc->models.size(), 5u);  // no reload after posting
}

TEST_F(Comments, ASortChangeDuringAHeldReplyShowsTheNewOrderOnly) {
    auto vc = showList();
    Value stale = Value::dict({{"a", 1}, {"b", ""}, {"c", Value::dict({{"lists", Value::array({comment(99, 0, 0, "")})},
                                                                       {"now_page", 1}, {"total_page", 1}})}});
    env->standin().server().script(UserCentreStandin::path(ZVApi::kCommentList), Reply::held({stale.toJSON()}, "application/json"));
    vc->tableViewDidTriggerHeaderRefresh();
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kCommentList) == 2; }));
    vc->dropdownMenu_didSelectOptionAtIndex_optionTitle(*vc->menu(), 0, "按时间");
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kCommentList) == 3 && !vc->pager().isFirstLoadOut(); }));
    env->standin().server().releasePieces();
    ASSERT_TRUE(settle([&] { return vc->pager().droppedReplies() == 1; }));
    EXPECT_EQ(ids(*vc), (std::vector<std::string>{"5", "3", "4", "2", "1"}));
}

TEST_F(Comments, AThreadWithoutRepliesAndAReplyCarriesItsComment) {
    UIScreen::mainScreen().setProfile(UIScreen::Profile::Tall);
    auto list = showList();
    list->tableView_didSelectRowAtIndexPath(*list->tableView(), {0, 1});  // comment 1: no replies
    advance(0.5);
    auto thread = std::dynamic_pointer_cast<ZVPingTwoVC>(nav->topViewController());
    ASSERT_TRUE(thread);
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kCommentReplies) == 1 && !thread->pager().isFirstLoadOut(); }));
    EXPECT_EQ(thread->tableView()->numberOfRowsInSection(0), 0);
    EXPECT_EQ(thread->tableView()->tableHeaderView(), thread->headView());
    ASSERT_TRUE(footerOf(thread->tableView()));
    EXPECT_EQ(footerOf(thread->tableView())->state(), ZVRefreshState::NoMoreData);
    EXPECT_EQ(thread->inputView()->frame().maxY(), thread->view()->bounds().height() - 34);
    EXPECT_EQ(thread->tableView()->frame().minY(), 88);
    typeAndSend(*thread);
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kCommentPost) == 1; }));
    EXPECT_EQ(lastRequest(ZVApi::kCommentPost).str("pid"), "1");
    EXPECT_EQ(env->standin().comments().replies["1"].size(), 1u);
    UIScreen::mainScreen().setProfile(UIScreen::Profile::Compact);
}

TEST_F(Comments, TheStrategyTabLoadsCommentsWhenSwipedToAndItsBackCloses) {
    for (auto profile : {UIScreen::Profile::Compact, UIScreen::Profile::Tall}) {
        UIScreen::mainScreen().setProfile(profile);
        auto centre = openUserCentre();
        ASSERT_TRUE(centre);
        centre->setSelectedIndex(3);
        uitest::layout();
        auto tab = tabRoot<ZVSuStrategyVC>(*centre, 3);
        ASSERT_TRUE(tab);
        EXPECT_EQ(tab->topView()->frame(), CGRect((UIScreen::mainScreen().bounds().width() - 240) / 2,
                                                  profile == UIScreen::Profile::Tall ? 109 : 85, 240, 36));
        EXPECT_TRUE(tab->guides()->isViewLoaded());
        EXPECT_FALSE(tab->comments()->isViewLoaded());
        EXPECT_EQ(tab->nowBtn()->titleForState(UIControlStateNormal), "攻略");
        RunLoop::drain();
        EXPECT_EQ(requests(ZVApi::kCommentList), 0u);

        CGRect pages = uitest::screenFrame(*tab->scrollView());
        uitest::drag({pages.maxX() - 20, pages.midY()}, {pages.minX() + 20, pages.midY()});
        advance(1);
        ASSERT_TRUE(settle([&] { return tab->comments()->models.size() == 5; }));
        EXPECT_EQ(tab->nowBtn()->titleForState(UIControlStateNormal), "评论");
        EXPECT_TRUE(tab->nowBtn()->isSelected());
        EXPECT_EQ(tab->scrollView()->contentOffset().x, tab->scrollView()->bounds().width());

        uitest::tapView(*tab->backBtn());
        advance(1);
        EXPECT_FALSE(userCentre());
        env->standin().journal().clear();
    }
    UIScreen::mainScreen().setProfile(UIScreen::Profile::Compact);
}

TEST_F(Comments, OddRowsShowNothingFalse) {
    std::string longText;
    for (int i = 0; i < 10000; ++i) longText += "好";
    UserCentreStandin::Comments c;
    c.rows = {comment(1, Value(), 0, "", Value::dict({{"good", "many"}, {"content", ""}, {"full_name", Value()}})),
              comment(2, "七", 0, "", Value::dict({{"content", longText}, {"goldcoin", Value::dict()}, {"paypic", "x"}})),
              Value::dict({{"id", 3}})};
    env->standin().setComments(c);
    auto vc = std::make_shared<ZVPingVC>();
    nav = showInNavigation(vc);
    ASSERT_TRUE(settle([&] { return vc->models.size() == 3 && !vc->pager().isFirstLoadOut(); }));
    for (long i = 0; i < 3; ++i) {
        vc->tableView()->scrollToRowAtIndexPath({0, i}, UITableViewScrollPosition::Top, false);
        auto cell = row(*vc, i);
        ASSERT_TRUE(cell) << i;
        for (auto* label : {cell->nameL.get(), cell->timeL.get(), cell->showL.get(), cell->numberL.get()})
            EXPECT_EQ(label->text().find("null"), std::string::npos) << i << ": " << label->text().substr(0, 40);
        EXPECT_TRUE(cell->goldView->isHidden()) << i;
        EXPECT_TRUE(cell->payPic->isHidden()) << i;
        double head = vc->models[size_t(i)]->headH();
        EXPECT_TRUE(std::isfinite(head) && head >= 147.5) << i;
        if (i == 0) EXPECT_EQ(cell->numberL->text(), "0");  // "good" as text
    }
    EXPECT_GT(vc->models[1]->headH(), 1000);
}

class TabChoices : public ZVTabDelegate {
public:
    std::vector<long> chosen;
    void tab_didSelectedItemNumber(ZVTab&, long index) override { chosen.push_back(index); }
};

TEST_F(Comments, TheSegmentedBarsSeparatorsAndChoices) {
    auto window = makeWindow();
    auto bar = ZVTab::create(CGRect(30, 200, 300, 40), 1, UIColor::fromRGB(0x6137E7));
    auto choices = std::make_shared<TabChoices>();
    bar->delegate = choices;
    window->addSubview(bar);
    bar->setItemsWithTitle({"一", "二", "三"}, UIColor::whiteColor(), UIColor::fromRGB(0x6137E7), UIColor::blackColor(),
                           UIColor::whiteColor(), 14, 0);
    std::vector<double> separators;
    for (auto& v : bar->subviews())
        if (v->tag() == 0) separators.push_back(v->center().x);
    EXPECT_EQ(separators, (std::vector<double>{100, 200}));
    auto third = std::dynamic_pointer_cast<UIButton>(bar->viewWithTag(ZVTab::kItemTagBase + 2));
    uitest::tapView(*third);
    EXPECT_EQ(choices->chosen, std::vector<long>{2});
    EXPECT_EQ(third->backgroundColor(), UIColor::fromRGB(0x6137E7));
    bar->setTabStateIndex(0);
    EXPECT_EQ(choices->chosen.size(), 1u);
    EXPECT_EQ(third->backgroundColor(), UIColor::whiteColor());
    choices.reset();
    uitest::tapView(*third);  // a delegate gone is not called
}

}  // namespace
