#include "UITestSupport.h"
#include "platform/ui/UICollectionView.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UITableView.h"

namespace {

class ListTests : public UITest {};

struct Rows : UITableViewDataSource, UITableViewDelegate {
    long count = 10000;
    std::vector<NSIndexPath> selected;
    std::map<long, double> heights;  // rows with their own height
    long numberOfSectionsInTableView(UITableView&) override { return 1; }
    long tableView_numberOfRowsInSection(UITableView&, long) override { return count; }
    std::shared_ptr<UITableViewCell> tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override {
        auto c = t.dequeueReusableCellWithIdentifier("Row", ip);
        c->textLabel()->setText("第" + std::to_string(ip.row) + "行");
        return c;
    }
    std::optional<double> tableView_heightForRowAtIndexPath(UITableView&, const NSIndexPath& ip) override {
        auto it = heights.find(ip.row);
        if (it == heights.end()) return std::nullopt;
        return it->second;
    }
    void tableView_didSelectRowAtIndexPath(UITableView&, const NSIndexPath& ip) override { selected.push_back(ip); }
};

TEST_F(ListTests, TenThousandRowsScrollWithABoundedNumberOfCells) {
    auto w = makeWindow();
    auto rows = std::make_shared<Rows>();
    auto table = std::make_shared<UITableView>(CGRect(0, 0, 375, 667));
    table->registerClass<UITableViewCell>("Row");
    table->dataSource = rows;
    table->setDelegate(rows);
    w->rootViewController()->view()->addSubview(table);
    uitest::layout();
    EXPECT_EQ(table->contentSize().height, 10000 * 44);
    EXPECT_EQ(table->visibleCells().size(), 16u);  // 667 / 44, rounded up
    // Scroll through the whole list in screen-sized steps.
    for (double y = 0; y <= table->maximumContentOffset().y; y += 600) {
        table->setContentOffset({0, y});
        uitest::layout();
        EXPECT_LE(table->visibleCells().size(), 17u);
    }
    table->scrollToRowAtIndexPath({0, 9999}, UITableViewScrollPosition::Bottom, false);
    uitest::layout();
    auto last = table->cellForRowAtIndexPath({0, 9999});
    ASSERT_TRUE(last);
    EXPECT_EQ(last->textLabel()->text(), "第9999行");
    // Cells were reused: no more were ever made than fit on screen (plus one in transit).
    EXPECT_LE(table->createdCellCount(), 18u);
}

TEST_F(ListTests, TableSelectionByTapAndPerRowHeights) {
    auto w = makeWindow();
    auto rows = std::make_shared<Rows>();
    rows->count = 20;
    rows->heights[1] = 100;
    auto table = std::make_shared<UITableView>(CGRect(0, 0, 375, 667));
    table->registerClass<UITableViewCell>("Row");
    table->dataSource = rows;
    table->setDelegate(rows);
    w->rootViewController()->view()->addSubview(table);
    uitest::layout();
    EXPECT_EQ(table->rectForRowAtIndexPath({0, 2}).minY(), 144);
    EXPECT_EQ(table->indexPathForRowAtPoint({10, 120})->row, 1);
    EXPECT_TRUE(uitest::tap({100, 160}));
    ASSERT_EQ(rows->selected.size(), 1u);
    EXPECT_EQ(rows->selected[0].row, 2);
    EXPECT_TRUE(table->cellForRowAtIndexPath({0, 2})->isSelected());
    uitest::tap({100, 20});
    EXPECT_EQ(table->indexPathForSelectedRow()->row, 0);
    EXPECT_FALSE(table->cellForRowAtIndexPath({0, 2})->isSelected());
    // A drag scrolls instead of selecting.
    uitest::drag({100, 400}, {100, 200});
    EXPECT_EQ(rows->selected.size(), 2u);
    EXPECT_GT(table->contentOffset().y, 100);
}

TEST_F(ListTests, SelfSizingRowsTakeTheirMeasuredHeight) {
    struct Tall : UITableViewCell {
        using UITableViewCell::UITableViewCell;
        CGSize sizeThatFits(CGSize s) const override { return {s.width, 90}; }
    };
    auto w = makeWindow();
    auto rows = std::make_shared<Rows>();
    rows->count = 50;
    auto table = std::make_shared<UITableView>(CGRect(0, 0, 375, 667));
    table->registerClass<Tall>("Row");
    table->rowHeight = UITableViewAutomaticDimension;
    table->estimatedRowHeight = 44;
    table->dataSource = rows;
    table->setDelegate(rows);
    w->rootViewController()->view()->addSubview(table);
    uitest::layout();
    EXPECT_EQ(table->rectForRowAtIndexPath({0, 3}).minY(), 270);
    EXPECT_EQ(table->cellForRowAtIndexPath({0, 3})->frame().height(), 90);
    // Rows not yet shown keep the estimate.
    EXPECT_EQ(table->rectForRowAtIndexPath({0, 40}).height(), 44);
}

struct Grid : UICollectionViewDataSource, UICollectionViewDelegate {
    long count = 37;
    long maxSelected = 2;
    std::vector<long> selectedItems;
    long collectionView_numberOfItemsInSection(UICollectionView&, long) override { return count; }
    std::shared_ptr<UICollectionViewCell> collectionView_cellForItemAtIndexPath(UICollectionView& c,
                                                                               const NSIndexPath& ip) override {
        return c.dequeueReusableCellWithReuseIdentifier("AssetCell", ip);
    }
    std::shared_ptr<UICollectionReusableView> collectionView_viewForSupplementaryElementOfKind(
        UICollectionView& c, const std::string& kind, const NSIndexPath& ip) override {
        if (kind != UICollectionElementKindSectionFooter) return nullptr;
        return c.dequeueReusableSupplementaryViewOfKind(kind, "FooterView", ip);
    }
    std::optional<bool> collectionView_shouldSelectItemAtIndexPath(UICollectionView& c, const NSIndexPath&) override {
        return long(c.indexPathsForSelectedItems().size()) < maxSelected;
    }
    void collectionView_didSelectItemAtIndexPath(UICollectionView&, const NSIndexPath& ip) override {
        selectedItems.push_back(ip.item());
    }
    std::optional<CGSize> collectionView_layout_sizeForItemAtIndexPath(UICollectionView& c, const NSIndexPath&) override {
        double side = (c.frame().width() - 2 * (4 + 1)) / 4;
        return CGSize{side, side};
    }
};

TEST_F(ListTests, FlowLayoutPlacesItemsAndFooterAndLimitsSelection) {
    auto w = makeWindow();
    auto grid = std::make_shared<Grid>();
    auto layout = std::make_shared<UICollectionViewFlowLayout>();
    layout->minimumInteritemSpacing = 2;
    layout->minimumLineSpacing = 2;
    layout->sectionInset = {2, 2, 2, 2};
    layout->footerReferenceSize = {0, 40};
    auto cv = std::make_shared<UICollectionView>(CGRect(0, 0, 320, 480), layout);
    cv->registerClass("AssetCell", [] { return std::make_shared<UICollectionViewCell>(); });
    cv->registerSupplementaryClass(UICollectionElementKindSectionFooter, "FooterView",
                                   [] { return std::make_shared<UICollectionReusableView>(); });
    cv->dataSource = grid;
    cv->setDelegate(grid);
    cv->allowsMultipleSelection = true;
    w->rootViewController()->view()->addSubview(cv);
    uitest::layout();
    // (320 - 10) / 4 = 77.5 points square, 4 to a row, 2 points apart.
    CGRect f5 = cv->frameForItemAtIndexPath({0, 5});
    EXPECT_DOUBLE_EQ(f5.width(), 77.5);
    EXPECT_DOUBLE_EQ(f5.minX(), 2 + 77.5 + 2);
    EXPECT_DOUBLE_EQ(f5.minY(), 2 + 77.5 + 2);
    // 10 rows, insets, footer.
    EXPECT_DOUBLE_EQ(cv->contentSize().height, 2 + 10 * 77.5 + 9 * 2 + 2 + 40);
    cv->scrollToItemAtIndexPath({0, 36}, UICollectionViewScrollPosition::Bottom, false);
    uitest::layout();
    EXPECT_DOUBLE_EQ(cv->contentOffset().y, cv->frameForItemAtIndexPath({0, 36}).maxY() - 480);
    cv->setContentOffset(cv->maximumContentOffset());
    uitest::layout();
    EXPECT_TRUE(cv->supplementaryViewForElementKind(UICollectionElementKindSectionFooter, 0));
    // Taps select up to the limit the delegate allows; a third is refused.
    cv->setContentOffset({0, 0});
    uitest::layout();
    uitest::tap({40, 40});
    uitest::tap({120, 40});
    uitest::tap({200, 40});
    EXPECT_EQ(grid->selectedItems, (std::vector<long>{0, 1}));
    EXPECT_TRUE(cv->cellForItemAtIndexPath({0, 1})->isSelected());
    EXPECT_FALSE(cv->cellForItemAtIndexPath({0, 2})->isSelected());
    // Tapping a selected item deselects it in multiple selection.
    uitest::tap({40, 40});
    EXPECT_EQ(cv->indexPathsForSelectedItems().size(), 1u);
    // A press highlights its item, unless selection is off.
    ASSERT_TRUE(uitest::touchDown({40, 40}));
    EXPECT_TRUE(cv->cellForItemAtIndexPath({0, 0})->isHighlighted());
    uitest::touchUp({40, 40});
    EXPECT_FALSE(cv->cellForItemAtIndexPath({0, 0})->isHighlighted());
    cv->allowsSelection = false;
    ASSERT_TRUE(uitest::touchDown({40, 40}));
    EXPECT_FALSE(cv->cellForItemAtIndexPath({0, 0})->isHighlighted());
    uitest::touchUp({40, 40});
}

struct Pager : UIScrollViewDelegate {
    int ended = 0, animationsEnded = 0;
    void scrollViewDidEndDecelerating(UIScrollView&) override { ++ended; }
    void scrollViewDidEndScrollingAnimation(UIScrollView&) override { ++animationsEnded; }
};

TEST_F(ListTests, AShortLastRowOfAGridStaysInItsColumns) {
    auto w = makeWindow();
    auto layout = std::make_shared<UICollectionViewFlowLayout>();
    layout->minimumInteritemSpacing = 2;
    layout->minimumLineSpacing = 2;
    layout->sectionInset = {2, 2, 2, 2};
    auto grid = std::make_shared<Grid>();
    auto cv = std::make_shared<UICollectionView>(CGRect(0, 0, 320, 480), layout);
    cv->registerClass("AssetCell", [] { return std::make_shared<UICollectionViewCell>(); });
    cv->dataSource = grid;
    cv->setDelegate(grid);
    w->rootViewController()->view()->addSubview(cv);
    // 77.5 points square, four to a row; for each count, the x of every item of the last row.
    for (auto& [count, xs] : std::vector<std::pair<long, std::vector<double>>>{
             {6, {2, 81.5}}, {3, {2, 81.5, 161}}, {1, {2}}, {8, {2, 81.5, 161, 240.5}}}) {
        grid->count = count;
        cv->reloadData();
        uitest::layout();
        long first = (count - 1) / 4 * 4;
        for (long i = first; i < count; ++i)
            EXPECT_DOUBLE_EQ(cv->frameForItemAtIndexPath({0, i}).minX(), xs[size_t(i - first)]) << count << " items, item " << i;
    }
}

TEST_F(ListTests, PagingSettlesOnAPageAndNegativeInsetsLockASide) {
    auto w = makeWindow();
    auto pager = std::make_shared<Pager>();
    auto s = std::make_shared<UIScrollView>(CGRect(0, 100, 375, 400));
    s->setContentSize({4 * 375, 0});
    s->setPagingEnabled(true);
    s->delegate = pager;
    w->rootViewController()->view()->addSubview(s);
    uitest::drag({300, 300}, {100, 300});  // 200 points: past half a page
    EXPECT_EQ(s->contentOffset().x, 375);
    EXPECT_EQ(pager->ended, 0);
    advance(0.35);
    EXPECT_EQ(pager->ended, 1);
    uitest::drag({300, 300}, {250, 300}, 10, 1.0);  // short and slow: back to the page
    EXPECT_EQ(s->contentOffset().x, 375);
    s->setContentOffset({750, 0}, true);
    advance(0.35);
    EXPECT_EQ(pager->animationsEnded, 1);
    // Insets of minus one page on both sides leave only the middle reachable.
    s->setContentSize({3 * 375, 400});
    s->setContentInset({0, -375, 0, -375});
    EXPECT_EQ(s->minimumContentOffset().x, 375);
    EXPECT_EQ(s->maximumContentOffset().x, 375);
}

}  // namespace
