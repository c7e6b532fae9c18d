// The paged lists (activities, strategy guides, server openings) against
// the stand-in: the footer's states, failed and superseded loads, bad
// replies, and what each list shows.

#include <cstdlib>

#include "UserCentreTestSupport.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVResponses.h"
#include "usercenter/screens/welfare/ZVActivityVC.h"
#include "usercenter/screens/welfare/ZVServerVC.h"
#include "usercenter/screens/strategy/ZVStrategyVC.h"

using standin::Reply;
using standin::UserCentreStandin;

namespace {

std::vector<Value> rows(int n) {
    std::vector<Value> out;
    for (int i = 1; i <= n; ++i)
        out.push_back(Value::dict({{"post_title", "活动" + std::to_string(i)}, {"post_date", "2024-05-01"},
                                   {"openurl", "https://pages.example/post/" + std::to_string(i)},
                                   {"flag", "进行中"}, {"flag_color", "#2BB673"}, {"servername", "服" + std::to_string(i)}}));
    return out;
}

// Every label text under a view.
void texts(UIView& v, std::vector<std::string>& out) {
    if (auto* l = dynamic_cast<UILabel*>(&v)) out.push_back(l->text());
    for (auto& s : v.subviews()) texts(*s, out);
}

class Lists : public UserCentreTest {
protected:
    void setRows(const std::string& endpoint, int n, Value extras = Value::dict()) {
        env->standin().setList(endpoint, {rows(n), 10, std::move(extras)});
    }
    template <class VC>
    std::shared_ptr<VC> show() {
        auto vc = std::make_shared<VC>();
        showInNavigation(vc);
        EXPECT_TRUE(idle(*vc));
        return vc;
    }
    // Until no load is out and the refresh has ended.
    template <class VC>
    bool idle(VC& vc) {
        return settle([&] {
            auto footer = footerOf(vc.tableView());
            return !vc.pager().isFirstLoadOut() && !(footer && footer->isRefreshing()) &&
                   !(ZVRefresh::ZV_header(vc.tableView()) && ZVRefresh::ZV_header(vc.tableView())->isRefreshing());
        });
    }
    template <class VC>
    void pullDown(VC& vc) {
        ZVRefresh::ZV_header(vc.tableView())->beginRefreshing();
        RunLoop::drain();
    }
    template <class VC>
    void loadMore(VC& vc) {
        footerOf(vc.tableView())->beginRefreshing();
        RunLoop::drain();
    }
    ZVRefreshState footerState(const std::shared_ptr<UITableView>& table) { return footerOf(table)->state(); }
    std::string lastPagecode(const std::string& endpoint) {
        return env->standin().journal().last(UserCentreStandin::path(endpoint))->decoded.str("pagecode");
    }
};

TEST_F(Lists, ThePullDownHeaderSaysWhatAFingerDoes) {
    setRows(ZVApi::kActivityList, 10);  // more than the screen holds: the table scrolls
    auto vc = show<ZVActivityVC>();
    auto header = std::dynamic_pointer_cast<ZVRefreshStateHeader>(ZVRefresh::ZV_header(vc->tableView()));
    ASSERT_TRUE(header);
    CGRect table = uitest::screenFrame(*vc->tableView());
    CGPoint from{table.midX(), table.midY() - 100};  // below the navigation bar
    ASSERT_TRUE(uitest::touchDown(from));
    for (int step = 1; step <= 10; ++step) {
        advance(0.02);
        uitest::touchMove({from.x, from.y + 20 * step});
    }
    uitest::layout();
    EXPECT_TRUE(labelShown("松开立即刷新"));
    if (const char* dir = std::getenv("KORVEL_SHOT_DIR")) vc->view()->window()->writePNG(std::string(dir) + "/i30-pull-header.png");
    ASSERT_TRUE(uitest::touchUp({from.x, from.y + 200}));
    ASSERT_TRUE(settle([&] { return labelShown("正在刷新数据中..."); }));
    ASSERT_TRUE(idle(*vc));
    advance(1);
    ASSERT_TRUE(settle([&] { return header->state() == ZVRefreshState::Idle; }));
    EXPECT_EQ(header->stateLabel()->text(), "下拉可以刷新");
    EXPECT_FALSE(header->stateLabel()->isHidden());
    EXPECT_EQ(requests(ZVApi::kActivityList), 2u);
}

TEST_F(Lists, TheFooterShowsWhenAllIsLoadedAndAPullDownWithMorePagesTakesItOut) {
    setRows(ZVApi::kActivityList, 2);
    auto vc = show<ZVActivityVC>();
    auto footer = std::dynamic_pointer_cast<ZVRefreshAutoStateFooter>(footerOf(vc->tableView()));
    ASSERT_TRUE(footer);
    EXPECT_EQ(footer->state(), ZVRefreshState::NoMoreData);
    EXPECT_EQ(footer->stateLabel()->text(), "已全部加载完毕");

    setRows(ZVApi::kActivityList, 12);
    pullDown(*vc);
    ASSERT_TRUE(idle(*vc));
    EXPECT_EQ(footer->state(), ZVRefreshState::Idle);
    EXPECT_EQ(vc->dataSource.size(), 10u);
    EXPECT_EQ(vc->totalPage(), 2);
    loadMore(*vc);
    ASSERT_TRUE(idle(*vc));
    EXPECT_EQ(lastPagecode(ZVApi::kActivityList), "2");
    EXPECT_EQ(vc->dataSource.size(), 12u);
    EXPECT_EQ(footer->state(), ZVRefreshState::NoMoreData);

    // A show flag set again attaches nothing new.
    auto header = ZVRefresh::ZV_header(vc->tableView());
    vc->setShowRefreshHeader(true);
    vc->setShowRefreshFooter(true);
    EXPECT_EQ(ZVRefresh::ZV_header(vc->tableView()), header);
    EXPECT_EQ(footerOf(vc->tableView()), footer);
}

TEST_F(Lists, AFailedLoadMoreLeavesThePageAsItWas) {
    setRows(ZVApi::kGuideList, 25);
    auto vc = show<ZVStrategyVC>();
    const std::string path = UserCentreStandin::path(ZVApi::kGuideList);
    struct Case {
        const char* name;
        Reply reply;
    };
    for (auto& c : std::vector<Case>{
             {"500", Reply::html500()},
             {"reset", Reply::closeConnection()},
             {"invalid JSON", Reply::malformedJson()},
             {"a refusal", Reply::json(Value::dict({{"a", 0}, {"b", "请求过于频繁"}}))},
             {"no now_page", Reply::json(Value::dict({{"lists", Value::array({rows(1)[0]})}, {"total_page", 3}}))},
             {"now_page 0", Reply::json(Value::dict({{"lists", Value::array()}, {"now_page", 0}}))},
         }) {
        env->standin().server().script(path, c.reply);
        loadMore(*vc);
        ASSERT_TRUE(idle(*vc)) << c.name;
        EXPECT_EQ(lastPagecode(ZVApi::kGuideList), "2") << c.name;
        EXPECT_EQ(vc->page(), 1) << c.name;
        EXPECT_EQ(vc->dataSource.size(), 10u) << c.name;
        EXPECT_EQ(footerState(vc->tableView()), ZVRefreshState::Idle) << c.name;
    }
    loadMore(*vc);
    ASSERT_TRUE(idle(*vc));
    EXPECT_EQ(vc->page(), 2);
    EXPECT_EQ(vc->dataSource.size(), 20u);
}

TEST_F(Lists, APullDownDuringAHeldLoadMoreDropsTheLateRows) {
    setRows(ZVApi::kActivityList, 25);
    auto vc = show<ZVActivityVC>();
    Value late = Value::dict({{"lists", Value::array({rows(1)[0]})}, {"now_page", 2}});
    env->standin().server().script(UserCentreStandin::path(ZVApi::kActivityList), Reply::held({late.toJSON()}, "application/json"));
    loadMore(*vc);
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kActivityList) == 2; }));
    EXPECT_EQ(vc->page(), 2);
    pullDown(*vc);
    ASSERT_TRUE(settle([&] { return !vc->pager().isFirstLoadOut(); }));
    env->standin().server().releasePieces();
    ASSERT_TRUE(settle([&] { return vc->pager().droppedReplies() == 1; }));
    ASSERT_TRUE(idle(*vc));
    EXPECT_EQ(vc->dataSource.size(), 10u);
    EXPECT_EQ(vc->page(), 1);
    EXPECT_EQ(footerState(vc->tableView()), ZVRefreshState::Idle);
    loadMore(*vc);
    ASSERT_TRUE(idle(*vc));
    EXPECT_EQ(lastPagecode(ZVApi::kActivityList), "2");
}

TEST_F(Lists, BadRepliesAndRowsShowNothingFalseAndNeverNull) {
    const Value badRow = Value::dict({{"post_title", Value::dict()}, {"post_date", Value()}, {"pic1", 7},
                                      {"openurl", "::not an address"}, {"flag_color", "#12345"}, {"flag", Value::array()},
                                      {"servername", 12}, {"day", 3}, {"hour", 10.5}, {"status", Value::dict()}});
    const std::vector<Value> replies = {
        Value::array({1, 2}),
        Value("just text"),
        Value::dict({{"lists", "not a list"}}),
        Value::dict({{"lists", Value::array({1, "row", Value(), badRow})}, {"now_page", "1"}, {"total_page", "2"}}),
        Value::dict({{"lists", Value::array({badRow})}, {"now_page", 1e300}, {"total_page", -5}}),
    };
    struct Screen {
        std::string endpoint;
        std::function<std::pair<std::shared_ptr<UIViewController>, std::shared_ptr<UITableView>>()> make;
    };
    auto make = [this](auto vc) { showInNavigation(vc); return std::make_pair(std::shared_ptr<UIViewController>(vc), vc->tableView()); };
    std::vector<Screen> screens = {
        {ZVApi::kActivityList, [&] { return make(std::make_shared<ZVActivityVC>()); }},
        {ZVApi::kGuideList, [&] { return make(std::make_shared<ZVStrategyVC>()); }},
        {ZVApi::kServerList, [&] { return make(std::make_shared<ZVServerVC>()); }},
    };
    for (auto& screen : screens) {
        for (size_t i = 0; i < replies.size(); ++i) {
            env->standin().server().script(UserCentreStandin::path(screen.endpoint), Reply::json(replies[i]));
            auto [vc, table] = screen.make();
            ASSERT_TRUE(settle([&] { return requests(screen.endpoint) > 0 && !table->needsLayout(); }));
            RunLoop::drain();
            uitest::layout();
            std::vector<std::string> shown;
            texts(*vc->view(), shown);
            for (auto& t : shown) EXPECT_EQ(t.find("(null)"), std::string::npos) << screen.endpoint << " " << i;
            env->standin().journal().clear();
        }
    }
    // What one bad row shows in each cell.
    auto servers = std::make_shared<ZVServerCell>();
    servers->awakeFromNib();
    servers->setDic(badRow);
    EXPECT_EQ(servers->timeL->text(), "3 10.5");
    EXPECT_EQ(servers->serverL->text(), "12");
    auto activity = ZVActivityCell::fromNib();
    activity->setDic(badRow);
    EXPECT_EQ(activity->tagL->text(), "");
    EXPECT_EQ(activity->tagL->backgroundColor(), UIColor::clearColor());
    EXPECT_EQ(activity->nameL->text(), "");
    EXPECT_EQ(activity->timeL->text(), "发布时间：");
}

TEST_F(Lists, ServerOpeningsShowTheirStatusAndTheDynamicExplanation) {
    struct Case {
        Value status;
        std::string shown;
    };
    for (auto& c : std::vector<Case>{{"0", "未开服"}, {0, "未开服"}, {Value(), "未开服"}, {"1", "已开服"}, {true, "已开服"}}) {
        auto cell = ZVServerCell::fromNib();
        Value row = Value::dict({{"servername", "一服"}});
        if (!c.status.isNull()) row.set("status", c.status);
        cell->setDic(row);
        EXPECT_EQ(cell->statusL->text(), c.shown) << c.status.toJSON();
    }

    setRows(ZVApi::kServerList, 3, Value::dict({{"auto", true}}));
    auto vc = show<ZVServerVC>();
    ASSERT_EQ(vc->tableView()->tableHeaderView(), vc->headView());
    EXPECT_EQ(lastPagecode(ZVApi::kServerList), "1");
    EXPECT_EQ(env->standin().journal().last(UserCentreStandin::path(ZVApi::kServerList))->decoded.str("gid"), "G1");
    // A first load again (the page has no way to ask for one itself).
    setRows(ZVApi::kServerList, 3, Value::dict({{"auto", false}}));
    vc->tableViewDidTriggerHeaderRefresh();
    ASSERT_TRUE(idle(*vc));
    EXPECT_FALSE(vc->tableView()->tableHeaderView());
    EXPECT_EQ(footerState(vc->tableView()), ZVRefreshState::NoMoreData);
}

TEST_F(Lists, TheEmptyNoticesFollowFirstLoadsOnly) {
    setRows(ZVApi::kActivityList, 0);
    auto activities = show<ZVActivityVC>();
    EXPECT_TRUE(activities->isNoticeShown());
    EXPECT_EQ(activities->tempView()->center(), activities->tableView()->center());
    setRows(ZVApi::kActivityList, 12);
    pullDown(*activities);
    ASSERT_TRUE(idle(*activities));
    EXPECT_FALSE(activities->isNoticeShown());
    setRows(ZVApi::kActivityList, 0);
    loadMore(*activities);  // a load-more reply never touches it
    ASSERT_TRUE(idle(*activities));
    EXPECT_FALSE(activities->isNoticeShown());
    pullDown(*activities);
    ASSERT_TRUE(idle(*activities));
    EXPECT_TRUE(activities->isNoticeShown());

    setRows(ZVApi::kGuideList, 0);
    auto guides = show<ZVStrategyVC>();
    EXPECT_TRUE(guides->isNoticeShown());
    EXPECT_FALSE(ZVRefresh::ZV_header(guides->tableView()));  // no pull-down
    std::vector<std::string> shown;
    texts(*guides->tempView(), shown);
    EXPECT_EQ(shown, std::vector<std::string>{ZVStrategyVC::kEmptyNotice});
}

TEST_F(Lists, AGuideTapPushesItsPage) {
    setRows(ZVApi::kGuideList, 3);
    auto guides = show<ZVStrategyVC>();
    auto nav = guides->navigationController();
    auto cell = guides->tableView()->cellForRowAtIndexPath({0, 1});
    ASSERT_TRUE(cell);
    ASSERT_TRUE(uitest::tapView(*cell));
    advance(0.5);
    auto page = std::dynamic_pointer_cast<ZVSuWebVC>(nav->topViewController());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->url, "https://pages.example/post/2");
    EXPECT_TRUE(page->isShowSuperVc);
    EXPECT_EQ(page->name, "");
    ASSERT_EQ(webViews.size(), 1u);
    EXPECT_EQ(webViews[0]->currentURL(), "https://pages.example/post/2");
}

// One reply, one reading of its status: the paged lists take a first page
// only when the reply models read its status as 1.
TEST(ZVPager, AFirstPageLoadsOnlyOnAStatusTheModelsReadAsOne) {
    for (auto [status, loads] : {std::pair{Value(1), true}, {Value("1"), true}, {Value(" 1 "), true},
                                 {Value("1wallet"), false}, {Value("1:"), false}, {Value(1.5), true},
                                 {Value(2), false}, {Value(), false}}) {
        Value reply = Value::dict({{"a", status}, {"c", Value::dict({{"lists", Value::array({Value::dict({{"id", 1}})})}})}});
        auto pager = ZVPager::create([&](int32_t, ZVSuccess success, ZVFailure) { success(reply); },
                                     ZVPager::Shape{{"c", "lists"}, {"c", "now_page"}, {"c", "total_page"}, true});
        bool loaded = false, refused = false;
        pager->loadFirst([&](const ZVPager::Page&) { loaded = true; }, [] {}, [&](const Value&) { refused = true; });
        EXPECT_EQ(loaded, loads) << status.toJSON();
        EXPECT_EQ(refused, !loads) << status.toJSON();
        EXPECT_EQ(ZVReplySucceeded(reply, "a"), loads) << status.toJSON();
    }
}

}  // namespace
