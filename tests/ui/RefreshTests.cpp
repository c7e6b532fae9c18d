#include "UITestSupport.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UITableView.h"
#include "ui/ZVRefresh.h"

namespace {

class Refresh : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        auto w = makeWindow();
        scroll = std::make_shared<UIScrollView>(CGRect(0, 64, 375, 500));
        scroll->setContentSize({375, 1500});
        w->rootViewController()->view()->addSubview(scroll);
    }
    void pan(UIGestureRecognizerState s, ZVRefreshComponent& c) { c.scrollViewPanStateDidChange(s); }
    std::shared_ptr<UIScrollView> scroll;
    int headerRuns = 0, footerRuns = 0;
};

struct Rows : UITableViewDataSource {
    long count = 30;
    long tableView_numberOfRowsInSection(UITableView&, long) override { return count; }
    std::shared_ptr<UITableViewCell> tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override {
        auto c = t.dequeueReusableCellWithIdentifier("Row", ip);
        c->textLabel()->setText(std::to_string(ip.row));
        return c;
    }
};

// A list screen as a player meets it: a table of rows under the navigation
// bar (screen y 64 to 564) with a header and a footer, pulled by a finger.
class FingerRefresh : public Refresh {
protected:
    void SetUp() override {
        Refresh::SetUp();
        scroll->removeFromSuperview();
        table = std::make_shared<UITableView>(CGRect(0, 64, 375, 500));
        table->registerClass<UITableViewCell>("Row");
        table->dataSource = rows;
        windows.back()->rootViewController()->view()->addSubview(table);
        header = ZVRefreshNormalHeader::headerWithRefreshingBlock([this] { ++headerRuns; });
        footer = ZVRefreshAutoNormalFooter::footerWithRefreshingBlock([this] { ++footerRuns; });
        ZVRefresh::setZV_header(table, header);
        ZVRefresh::setZV_footer(table, footer);
        uitest::layout();
    }
    // Puts a finger down at `from` and moves it by `dy` in steps, as a hand would.
    void pull(CGPoint from, double dy, int steps = 12) {
        ASSERT_TRUE(uitest::touchDown(from));
        for (int i = 1; i <= steps; ++i) {
            clock->advance(std::chrono::milliseconds(16));
            ASSERT_TRUE(uitest::touchMove({from.x, from.y + dy * i / steps}));
        }
    }
    double shownY() const { return table->presentation().bounds.origin.y; }
    std::shared_ptr<Rows> rows = std::make_shared<Rows>();
    std::shared_ptr<UITableView> table;
    std::shared_ptr<ZVRefreshNormalHeader> header;
    std::shared_ptr<ZVRefreshAutoNormalFooter> footer;
};

}  // namespace

TEST_F(Refresh, HeaderPullsRefreshesAndReturnsToIdle) {
    auto header = ZVRefreshNormalHeader::headerWithRefreshingBlock([this] { ++headerRuns; });
    ZVRefresh::setZV_header(scroll, header);
    EXPECT_EQ(ZVRefresh::ZV_header(scroll), header);
    EXPECT_EQ(header->frame(), CGRect(0, -ZVRefreshHeader::kHeight, 375, ZVRefreshHeader::kHeight));
    EXPECT_EQ(header->stateLabel()->text(), "下拉可以刷新");

    // Dragging down past the header's height arms it; back above, it disarms.
    pan(UIGestureRecognizerState::Began, *header);
    scroll->setContentOffset({0, -30});
    EXPECT_EQ(header->state(), ZVRefreshState::Idle);
    scroll->setContentOffset({0, -60});
    EXPECT_EQ(header->state(), ZVRefreshState::Pulling);
    EXPECT_EQ(header->stateLabel()->text(), "松开立即刷新");
    scroll->setContentOffset({0, -40});
    EXPECT_EQ(header->state(), ZVRefreshState::Idle);
    scroll->setContentOffset({0, -70});
    EXPECT_EQ(header->state(), ZVRefreshState::Pulling);
    EXPECT_FALSE(header->isRefreshing());

    // Letting go refreshes: the header stays in view and the block runs later.
    pan(UIGestureRecognizerState::Ended, *header);
    EXPECT_EQ(header->state(), ZVRefreshState::Refreshing);
    EXPECT_TRUE(header->isRefreshing());
    EXPECT_EQ(header->stateLabel()->text(), "正在刷新数据中...");
    EXPECT_DOUBLE_EQ(scroll->contentInset().top, ZVRefreshHeader::kHeight);
    EXPECT_DOUBLE_EQ(scroll->contentOffset().y, -ZVRefreshHeader::kHeight);
    EXPECT_EQ(headerRuns, 0);
    RunLoop::drain();
    EXPECT_EQ(headerRuns, 1);

    // Ending is asynchronous: the list reloads first.
    header->endRefreshing();
    EXPECT_TRUE(header->isRefreshing());
    RunLoop::drain();
    EXPECT_EQ(header->state(), ZVRefreshState::Idle);
    EXPECT_DOUBLE_EQ(scroll->contentInset().top, 0);
    EXPECT_DOUBLE_EQ(scroll->contentOffset().y, 0);
    EXPECT_EQ(headerRuns, 1);
}

TEST_F(Refresh, ReleasingAShortPullOrScrollingDownNeverRefreshes) {
    auto header = ZVRefreshNormalHeader::headerWithRefreshingBlock([this] { ++headerRuns; });
    ZVRefresh::setZV_header(scroll, header);
    pan(UIGestureRecognizerState::Began, *header);
    scroll->setContentOffset({0, -20});
    pan(UIGestureRecognizerState::Ended, *header);
    scroll->setContentOffset({0, 300});  // ordinary scrolling
    RunLoop::drain();
    EXPECT_EQ(header->state(), ZVRefreshState::Idle);
    EXPECT_EQ(headerRuns, 0);
    // A header asked to refresh from code runs the same way.
    header->beginRefreshing();
    RunLoop::drain();
    EXPECT_EQ(headerRuns, 1);
    header->beginRefreshing();  // already refreshing: once only
    RunLoop::drain();
    EXPECT_EQ(headerRuns, 1);
}

TEST_F(Refresh, FooterLoadsMoreWhenItComesIntoViewAndKnowsWhenThereIsNoMore) {
    auto footer = ZVRefreshAutoNormalFooter::footerWithRefreshingBlock([this] { ++footerRuns; });
    footer->setTitle("已全部加载完毕", ZVRefreshState::NoMoreData);
    ZVRefresh::setZV_footer(scroll, footer);
    EXPECT_EQ(ZVRefresh::ZV_footer(scroll), footer);
    EXPECT_DOUBLE_EQ(scroll->contentInset().bottom, ZVRefreshFooter::kHeight);
    EXPECT_EQ(footer->stateLabel()->text(), "点击或上拉加载更多");

    pan(UIGestureRecognizerState::Began, *footer);
    scroll->setContentOffset({0, 900});
    EXPECT_EQ(footer->state(), ZVRefreshState::Idle);  // not in view yet
    scroll->setContentOffset({0, 1500 + ZVRefreshFooter::kHeight - 500});
    EXPECT_EQ(footer->state(), ZVRefreshState::Refreshing);
    EXPECT_EQ(footer->frame().minY(), 1500);
    RunLoop::drain();
    EXPECT_EQ(footerRuns, 1);
    footer->endRefreshing();
    EXPECT_EQ(footer->state(), ZVRefreshState::Idle);  // at once
    // More content: the footer moves to its new end.
    scroll->setContentSize({375, 1600});
    EXPECT_EQ(footer->frame().minY(), 1600);
    scroll->setContentSize({375, 1500});
    // Still at the bottom in the same drag: no second load until a new drag.
    scroll->setContentOffset({0, 1045});
    scroll->setContentOffset({0, 1044});
    EXPECT_EQ(footer->state(), ZVRefreshState::Idle);
    pan(UIGestureRecognizerState::Ended, *footer);
    pan(UIGestureRecognizerState::Began, *footer);
    scroll->setContentOffset({0, 1045});
    EXPECT_EQ(footer->state(), ZVRefreshState::Refreshing);
    RunLoop::drain();
    EXPECT_EQ(footerRuns, 2);

    // No more data: state 5 with its own title, no loading at the bottom.
    footer->endRefreshingWithNoMoreData();
    EXPECT_EQ(footer->state(), ZVRefreshState::NoMoreData);
    EXPECT_EQ(int(footer->state()), 5);
    EXPECT_EQ(footer->stateLabel()->text(), "已全部加载完毕");
    pan(UIGestureRecognizerState::Began, *footer);
    scroll->setContentOffset({0, 900});
    scroll->setContentOffset({0, 1045});
    pan(UIGestureRecognizerState::Ended, *footer);
    RunLoop::drain();
    EXPECT_EQ(footer->state(), ZVRefreshState::NoMoreData);
    EXPECT_EQ(footerRuns, 2);
    footer->resetNoMoreData();
    EXPECT_EQ(footer->state(), ZVRefreshState::Idle);
    EXPECT_EQ(footer->stateLabel()->text(), "点击或上拉加载更多");
    // Reset only leaves no-more-data: a refreshing footer keeps refreshing.
    footer->beginRefreshing();
    footer->resetNoMoreData();
    EXPECT_EQ(footer->state(), ZVRefreshState::Refreshing);
}

TEST_F(Refresh, AShortListLoadsMoreOnADragOrATap) {
    scroll->setContentSize({375, 200});
    auto footer = ZVRefreshAutoNormalFooter::footerWithRefreshingBlock([this] { ++footerRuns; });
    ZVRefresh::setZV_footer(scroll, footer);
    scroll->setContentOffset({0, 0});
    EXPECT_EQ(footer->state(), ZVRefreshState::Idle);  // showing is not asking
    pan(UIGestureRecognizerState::Began, *footer);
    pan(UIGestureRecognizerState::Ended, *footer);
    EXPECT_EQ(footer->state(), ZVRefreshState::Refreshing);
    RunLoop::drain();
    footer->endRefreshing();
    EXPECT_EQ(footerRuns, 1);
    uitest::layout();
    ASSERT_TRUE(uitest::tapView(*footer));
    RunLoop::drain();
    EXPECT_EQ(footerRuns, 2);
}

TEST_F(Refresh, ReplacingOrDetachingComponentsLeavesNoTrace) {
    auto first = ZVRefreshAutoNormalFooter::footerWithRefreshingBlock([this] { ++footerRuns; });
    auto second = ZVRefreshAutoNormalFooter::footerWithRefreshingBlock([this] { footerRuns += 10; });
    ZVRefresh::setZV_footer(scroll, first);
    ZVRefresh::setZV_footer(scroll, first);  // the same one again changes nothing
    EXPECT_DOUBLE_EQ(scroll->contentInset().bottom, ZVRefreshFooter::kHeight);
    ZVRefresh::setZV_footer(scroll, second);
    EXPECT_FALSE(first->superview());
    EXPECT_DOUBLE_EQ(scroll->contentInset().bottom, ZVRefreshFooter::kHeight);
    ZVRefresh::setZV_footer(scroll, nullptr);
    EXPECT_FALSE(ZVRefresh::ZV_footer(scroll));
    EXPECT_DOUBLE_EQ(scroll->contentInset().bottom, 0);
    // A detached footer no longer follows the scroll view.
    pan(UIGestureRecognizerState::Began, *first);
    scroll->setContentOffset({0, 1000});
    RunLoop::drain();
    EXPECT_EQ(footerRuns, 0);
    EXPECT_FALSE(ZVRefresh::ZV_header(scroll));
    ZVRefresh::setZV_header(scroll, nullptr);
}

TEST_F(FingerRefresh, PullingTheListDownFarEnoughAndLettingGoRefreshes) {
    CGPoint from{180, 120};
    pull(from, 80, 4);  // a short way: the header shows but is not armed
    EXPECT_LT(table->contentOffset().y, -20);
    EXPECT_GT(table->contentOffset().y, -80);  // the list lags behind the finger
    EXPECT_EQ(header->state(), ZVRefreshState::Idle);
    EXPECT_TRUE(uitest::findLabel("下拉可以刷新"));
    for (int i = 1; i <= 8; ++i) {
        clock->advance(std::chrono::milliseconds(16));
        uitest::touchMove({from.x, from.y + 80 + 20 * i});
    }
    double pulled = table->contentOffset().y;
    EXPECT_LT(pulled, -ZVRefreshHeader::kHeight);
    EXPECT_GT(pulled, -240);
    EXPECT_EQ(header->state(), ZVRefreshState::Pulling);
    EXPECT_TRUE(uitest::findLabel("松开立即刷新"));

    // Let go: the header refreshes and the list comes to rest with the header in view.
    ASSERT_TRUE(uitest::touchUp({from.x, from.y + 240}));
    EXPECT_EQ(header->state(), ZVRefreshState::Refreshing);
    EXPECT_DOUBLE_EQ(table->contentInset().top, ZVRefreshHeader::kHeight);
    EXPECT_DOUBLE_EQ(table->contentOffset().y, -ZVRefreshHeader::kHeight);
    EXPECT_DOUBLE_EQ(shownY(), pulled);  // drawing glides there from the finger
    RunLoop::drain();
    EXPECT_EQ(headerRuns, 1);
    advance(0.35);
    EXPECT_DOUBLE_EQ(shownY(), -ZVRefreshHeader::kHeight);
    EXPECT_FALSE(table->isDecelerating());
    EXPECT_TRUE(uitest::findLabel("正在刷新数据中..."));

    // Another pull while refreshing springs back to the header, not above it.
    pull(from, 200);
    EXPECT_LT(table->contentOffset().y, -ZVRefreshHeader::kHeight - 20);
    ASSERT_TRUE(uitest::touchUp({from.x, from.y + 200}));
    advance(0.35);
    EXPECT_DOUBLE_EQ(shownY(), -ZVRefreshHeader::kHeight);
    RunLoop::drain();
    EXPECT_EQ(headerRuns, 1);

    header->endRefreshing();
    RunLoop::drain();
    EXPECT_EQ(header->state(), ZVRefreshState::Idle);
    EXPECT_DOUBLE_EQ(table->contentOffset().y, 0);
    EXPECT_DOUBLE_EQ(table->contentInset().top, 0);
}

TEST_F(FingerRefresh, LettingGoOfAShortPullSettlesBackWithoutRefreshing) {
    CGPoint from{180, 120};
    pull(from, 90);
    EXPECT_LT(table->contentOffset().y, -20);
    EXPECT_EQ(header->state(), ZVRefreshState::Idle);
    ASSERT_TRUE(uitest::touchUp({from.x, from.y + 90}));
    EXPECT_EQ(table->contentOffset().y, 0);
    EXPECT_LT(shownY(), -20);
    advance(0.35);
    EXPECT_EQ(shownY(), 0);
    RunLoop::drain();
    EXPECT_EQ(header->state(), ZVRefreshState::Idle);
    EXPECT_DOUBLE_EQ(table->contentInset().top, 0);
    EXPECT_EQ(headerRuns, 0);
    EXPECT_EQ(footerRuns, 0);
}

TEST_F(FingerRefresh, WithBouncesOffNoPullEverRefreshes) {
    table->bounces = false;
    pull({180, 120}, 400);
    EXPECT_EQ(table->contentOffset().y, 0);
    EXPECT_EQ(header->state(), ZVRefreshState::Idle);
    ASSERT_TRUE(uitest::touchUp({180, 520}));
    advance(0.35);
    RunLoop::drain();
    EXPECT_EQ(shownY(), 0);
    EXPECT_EQ(header->state(), ZVRefreshState::Idle);
    EXPECT_EQ(headerRuns, 0);
}

TEST_F(FingerRefresh, DraggingPastTheBottomLoadsMoreOncePerDrag) {
    double bottom = 30 * 44 + ZVRefreshFooter::kHeight - 500;
    table->setContentOffset({0, bottom - 100});
    pull({180, 500}, -60);  // not yet at the bottom
    EXPECT_EQ(footer->state(), ZVRefreshState::Idle);
    for (int i = 1; i <= 10; ++i) {
        clock->advance(std::chrono::milliseconds(16));
        uitest::touchMove({180, 440 - 20.0 * i});
    }
    EXPECT_GT(table->contentOffset().y, bottom);  // past the bottom
    EXPECT_LT(table->contentOffset().y, bottom + 160);
    EXPECT_EQ(footer->state(), ZVRefreshState::Refreshing);
    EXPECT_TRUE(uitest::findLabel("正在加载更多的数据..."));
    RunLoop::drain();
    EXPECT_EQ(footerRuns, 1);
    ASSERT_TRUE(uitest::touchUp({180, 240}));
    advance(0.35);
    EXPECT_DOUBLE_EQ(shownY(), bottom);

    // The page arrived: the list grows; the next drag past the new bottom loads again.
    rows->count = 60;
    table->reloadData();
    footer->endRefreshing();
    uitest::layout();
    table->setContentOffset({0, table->maximumContentOffset().y - 10});
    EXPECT_EQ(footer->frame().minY(), 60 * 44);
    ASSERT_TRUE(uitest::drag({180, 500}, {180, 300}));
    RunLoop::drain();
    EXPECT_EQ(footerRuns, 2);
    EXPECT_EQ(headerRuns, 0);
}

TEST_F(FingerRefresh, AShortListLoadsMoreOnAPushUpButAPullDownOnlyRefreshes) {
    rows->count = 3;
    table->reloadData();
    uitest::layout();
    // Down: the header refreshes; the footer, in view all along, stays put
    // (two loads at once would mix the first page with the next).
    pull({180, 200}, 250);
    ASSERT_TRUE(uitest::touchUp({180, 450}));
    EXPECT_EQ(header->state(), ZVRefreshState::Refreshing);
    EXPECT_EQ(footer->state(), ZVRefreshState::Idle);
    RunLoop::drain();
    EXPECT_EQ(headerRuns, 1);
    EXPECT_EQ(footerRuns, 0);
    header->endRefreshing();
    advance(0.35);
    EXPECT_EQ(shownY(), 0);

    // Up: past the list's end, and letting go asks for more.
    pull({180, 300}, -120);
    EXPECT_GT(table->contentOffset().y, 20);
    EXPECT_EQ(footer->state(), ZVRefreshState::Idle);
    ASSERT_TRUE(uitest::touchUp({180, 180}));
    EXPECT_EQ(footer->state(), ZVRefreshState::Refreshing);
    RunLoop::drain();
    EXPECT_EQ(footerRuns, 1);
    advance(0.35);
    EXPECT_EQ(shownY(), 0);
    EXPECT_EQ(headerRuns, 1);
}

// The mouse wheel: turned to the list's end it loads more, and once the
// rows have come it loads more again at the new end; the header never
// refreshes from a wheel (a wheel cannot pull past the top).
TEST_F(FingerRefresh, TheWheelAtTheEndLoadsMoreEachTime) {
    auto wheel = [](double dy) { return UIApplication::sharedApplication().dispatchScroll({180, 300}, {0, dy}); };
    ASSERT_TRUE(wheel(-200));
    EXPECT_EQ(table->contentOffset().y, 0);
    EXPECT_EQ(header->state(), ZVRefreshState::Idle);
    for (int i = 0; i < 40 && footer->state() == ZVRefreshState::Idle; ++i) wheel(48);
    EXPECT_EQ(footer->state(), ZVRefreshState::Refreshing);
    RunLoop::drain();
    EXPECT_EQ(footerRuns, 1);
    wheel(48);  // at the end while loading: nothing more
    RunLoop::drain();
    EXPECT_EQ(footerRuns, 1);

    rows->count = 40;
    table->reloadData();
    footer->endRefreshing();
    uitest::layout();
    for (int i = 0; i < 40 && footer->state() == ZVRefreshState::Idle; ++i) wheel(48);
    RunLoop::drain();
    EXPECT_EQ(footerRuns, 2);
    EXPECT_EQ(headerRuns, 0);
}
