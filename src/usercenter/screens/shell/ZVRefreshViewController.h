#pragma once
// The base of the user centre's paged list screens: a plain table without
// separators, a navigation title label, the loaded rows, the page counters
// (through ZVPager), the pull-down header and load-more footer attached on
// request, and the one place where a refresh ends: reload the table, stop
// the header or footer, and put the footer into "已全部加载完毕" when the
// last page is in (the counters compared as signed integers; equal means
// no more).
//
// A list plugs in by naming its request (listPath, listParameters: the
// form POST gets "pagecode" added unless the list is of one page), where its reply holds rows and counters
// (ZVPager::Shape, given at construction) and building its cells from
// `dataSource`, the reply's row dictionaries (mapped to a model class where
// a cell or a tap needs one, modelAt); it starts the first load itself. The
// footer is attached after the first successful load, so a failed first
// load shows none. A refused first page (for shapes that ask for a status)
// shows the reply's "b" as a toast and leaves rows and counters as they
// were. Until a first page has come, a loading note stands over the
// table: "加载中…" while one is asked for, "加载失败" when none came.
// Main thread only.

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/UITableView.h"
#include "platform/ui/UIViewController.h"
#include "model/ZVKeyValue.h"
#include "ui/ZVRefresh.h"
#include "usercenter/screens/common/ZVLoadingNote.h"
#include "usercenter/screens/shell/ZVPager.h"

// The footer and the ending of a refresh, shared with lists that keep
// their own controller class.
namespace ZVListRefresh {
// The load-more footer: "已全部加载完毕" when no more, identifier "refresh_footer".
std::shared_ptr<ZVRefreshAutoNormalFooter> makeFooter(std::function<void()> block);
// Reloads `table` when asked, ends its header (after a first load) and puts
// its footer (when shown) into its idle or no-more state by `hasMore`.
void finish(UITableView& table, bool isHeader, bool reload, bool footerShown, bool hasMore);

// Loads the first page (replacing `dataSource`, then `firstPageDidLoad` and
// the footer) or the next one (appending), through the list's pager, and
// ends the refresh with `tableViewDidFinishTriggerHeader`. The list is held
// weakly while the request is out.
template <class List>
void loadPage(List& list, bool first) {
    std::weak_ptr<List> weak = std::static_pointer_cast<List>(list.sharedController());
    auto failed = [weak, first] {
        if (auto self = weak.lock()) self->tableViewDidFinishTriggerHeader(first, false);
    };
    auto refused = [weak](const Value& reply) {
        auto self = weak.lock();
        if (!self) return;
        if constexpr (requires { self->firstPageRefused(reply); }) self->firstPageRefused(reply);
        self->tableViewDidFinishTriggerHeader(true, false);
    };
    auto loaded = [weak, first](const ZVPager::Page& page) {
        auto self = weak.lock();
        if (!self) return;
        if (first) self->dataSource = page.rows;
        else self->dataSource.insert(self->dataSource.end(), page.rows.begin(), page.rows.end());
        if (first) {
            if constexpr (requires { self->firstPageWillShow(); }) self->firstPageWillShow();
            self->firstPageDidLoad(page);
            self->setShowRefreshFooter(true);
        }
        self->tableViewDidFinishTriggerHeader(first, true);
    };
    if (first) list.pager().loadFirst(loaded, failed, refused);
    else if (!list.pager().loadMore(loaded, failed)) list.tableViewDidFinishTriggerHeader(false, false);
}
}  // namespace ZVListRefresh

class ZVRefreshViewController : public UIViewController, public UITableViewDataSource, public UITableViewDelegate {
public:
    static constexpr const char* kNoMoreDataTitle = "已全部加载完毕";

    explicit ZVRefreshViewController(ZVPager::Shape shape = {});

    const std::shared_ptr<UILabel>& navTitleL() const { return navTitleL_; }
    // The title label's text, sized to fit.
    void setNavTitle(const std::string& title);
    // Made on first use: this controller as its data source and delegate.
    const std::shared_ptr<UITableView>& tableView();
    const std::shared_ptr<UIView>& defaultFooterView();
    const std::shared_ptr<ZVLoadingNote>& loadingNote() const { return loadingNote_; }
    // The loaded rows.
    std::vector<Value> dataSource;

    int32_t page() const { return pager_->page(); }
    int32_t totalPage() const { return pager_->totalPage(); }
    ZVPager& pager() { return *pager_; }

    bool showRefreshHeader() const { return showRefreshHeader_; }
    void setShowRefreshHeader(bool show);
    bool showRefreshFooter() const { return showRefreshFooter_; }
    void setShowRefreshFooter(bool show);
    bool isHeaderRefreshing() const;
    bool isFooterRefreshing() const;

    // Page 1 (the header's block) and the next page (the footer's block).
    virtual void tableViewDidTriggerHeaderRefresh();
    virtual void tableViewDidTriggerFooterRefresh();
    void autoTriggerHeaderRefresh();
    // Ends a refresh later on the main queue (see above).
    void tableViewDidFinishTriggerHeader(bool isHeader, bool reload);

    void viewDidLoad() override;
    void viewDidLayoutSubviews() override;

    // One section of dataSource's rows; plain cells until a list builds its own.
    long tableView_numberOfRowsInSection(UITableView& t, long section) override;
    std::shared_ptr<UITableViewCell> tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;

    // After a first page arrived and replaced the rows, before the table reloads.
    virtual void firstPageDidLoad(const ZVPager::Page& page) {}
    // A first page the server refused: its "b" as a toast on the view.
    virtual void firstPageRefused(const Value& reply);
    // A first page arrived: the table shows it from its top when it is of
    // another list (another path or parameters: a switch of type, tab or
    // order) than the rows it replaces; a reload of the same list keeps its place.
    void firstPageWillShow();

protected:
    // A first page is asked for: the note says so while none has come.
    void firstPageAsked();
    // The list's request: path and form parameters ("pagecode" is added).
    virtual std::string listPath() const { return ""; }
    virtual Value listParameters() const { return Value::dict(); }
    // The row a cell of `ip` shows (the null value when out of range).
    const Value& rowAt(const NSIndexPath& ip) const;
    // That row as a model (defaults for a row out of range).
    template <class Model>
    Model modelAt(const NSIndexPath& ip) const {
        return zv::objectWithKeyValues<Model>(rowAt(ip)).value_or(Model{});
    }

private:

    std::shared_ptr<ZVPager> pager_;
    std::shared_ptr<UILabel> navTitleL_;
    std::shared_ptr<UITableView> tableView_;
    std::shared_ptr<UIView> defaultFooterView_;
    std::shared_ptr<ZVLoadingNote> loadingNote_;
    bool showRefreshHeader_ = false, showRefreshFooter_ = false;
    // The request of the last first page asked for and of the rows shown (path and parameters).
    std::string requestedList_, shownList_;
    bool anotherListShown_ = false;
};
