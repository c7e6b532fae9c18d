#pragma once
// The game's server openings, a page of the welfare tab (storyboard
// "ZVSuTabBarVC", scene "ZVServerVC"): server name, opening day and hour,
// opened or not. It keeps its own controller class (not the list base) with
// the shared pager, the load-more footer and no pull-down header; it loads
// once, when its view loads. When the server says servers open dynamically
// ("auto"), a fixed explanation heads the list. Until a first page came,
// a loading note stands over the list: "加载中…" while it is asked for,
// "加载失败" when none came.

#include <memory>
#include <vector>

#include "platform/ui/UIImageView.h"
#include "platform/ui/UITableView.h"
#include "platform/ui/UIViewController.h"
#include "usercenter/screens/common/ZVLoadingNote.h"
#include "usercenter/screens/shell/ZVPager.h"

class ZVServerCell : public UITableViewCell {
public:
    static constexpr double kRowHeight = 44;
    static constexpr const char* kOpenColour = "#6137E7";  // behind "未开服"

    explicit ZVServerCell(UITableViewCellStyle style = UITableViewCellStyle::Default,
                          std::string reuseIdentifier = "ZVServerCell");
    static std::shared_ptr<ZVServerCell> fromNib();
    // Shows a row: "servername", "day" and "hour", "status" (true: opened).
    void setDic(const Value& dic);
    const Value& dic() const { return dic_; }

    std::shared_ptr<UILabel> statusL, timeL, serverL;
    std::shared_ptr<UIImageView> pointIcon;

    void layoutSubviews() override;
    // What the nib does once the cell is made: puts the parts together, the dot tinted.
    void awakeFromNib();

private:
    Value dic_;
};

class ZVServerVC : public UIViewController, public UITableViewDataSource, public UITableViewDelegate {
public:
    static constexpr const char* kAutoTitle = "开服说明：动态开服";
    static constexpr const char* kAutoText =
        "动态开服即上一区服玩家人数达到要求后自动开启下一区服，请以游戏内具体区服为准";

    ZVServerVC();

    std::vector<Value> dataSource;
    int32_t page() const { return pager_->page(); }
    int32_t totalPage() const { return pager_->totalPage(); }
    ZVPager& pager() { return *pager_; }
    bool showRefreshHeader = false;  // nothing sets it: the list has no header
    bool showRefreshFooter() const { return showRefreshFooter_; }
    void setShowRefreshFooter(bool show);

    const std::shared_ptr<UITableView>& tableView();
    const std::shared_ptr<UIView>& headView();
    const std::shared_ptr<ZVLoadingNote>& loadingNote() const { return loadingNote_; }

    void viewDidLoad() override;
    void viewWillLayoutSubviews() override;
    void tableViewDidTriggerHeaderRefresh();
    void tableViewDidTriggerFooterRefresh();
    void tableViewDidFinishTriggerHeader(bool isHeader, bool reload);
    // The dynamic-opening explanation heads the list while "auto" is true.
    void firstPageDidLoad(const ZVPager::Page& page);

    long tableView_numberOfRowsInSection(UITableView& t, long section) override;
    std::shared_ptr<UITableViewCell> tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;

private:
    std::shared_ptr<ZVPager> pager_;
    std::shared_ptr<UITableView> tableView_;
    std::shared_ptr<UIView> headView_;
    std::shared_ptr<ZVLoadingNote> loadingNote_ = std::make_shared<ZVLoadingNote>();
    bool showRefreshFooter_ = false;
};
