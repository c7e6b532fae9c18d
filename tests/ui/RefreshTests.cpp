#include "UITestSupport.h"
#include "platform/ui/UIEventInjection.h"
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
