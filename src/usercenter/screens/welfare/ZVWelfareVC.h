#pragma once
// The welfare page, page 0 of the welfare tab (storyboard "ZVSuTabBarVC",
// scene "ZVWelfareVC"): three cards filled by one request when its view
// loads — the rebate offer with a button to customer service, the VIP
// table (level against top-up) that folds to four rows, and the welfare
// text that folds to three lines.
//
// The scene lays its cards out from four constraint constants: the VIP
// table's height and the space below it (the fold button's), the welfare
// text's height and the space below it. Changing one re-lays the cards.
//
// Replies are read forgivingly: a "vipList" that is no array counts as
// empty (the header row alone), entries that are no dictionaries are
// skipped, missing texts show "". A reply that is no dictionary counts as
// a failed request. Until the first reply the cards stay hidden under a
// loading note ("加载中…", then "加载失败" when no reply came).

#include <memory>
#include <vector>

#include "platform/ui/NSLayoutConstraint.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIScrollView.h"
#include "platform/ui/UITableView.h"
#include "platform/ui/UIViewController.h"
#include "usercenter/screens/common/ZVLoadingNote.h"
#include "usercenter/screens/common/ZVShowLabel.h"

// A row of the VIP table: the level (label tag 10) and the top-up (tag 11).
class ZVWelfareVipCell : public UITableViewCell {
public:
    static constexpr long kLevelTag = 10, kAmountTag = 11;
    static constexpr const char* kHeaderBackground = "#E2EAFD";
    static constexpr const char* kRowBackground = "#F2F3F1";

    explicit ZVWelfareVipCell(std::string reuseIdentifier = "ZVWelfareVipCell")
        : UITableViewCell(UITableViewCellStyle::Default, std::move(reuseIdentifier)) {}
    // The cell as its nib makes it: the two labels side by side.
    static std::shared_ptr<ZVWelfareVipCell> fromNib();
    void awakeFromNib() {}

    bool isFirst() const { return isFirst_; }
    // The header row's look or the other rows'.
    void setIsFirst(bool isFirst);
    const Value& dic() const { return dic_; }
    // "item1" to the left label, "item2" to the right.
    void setDic(const Value& dic);

    void layoutSubviews() override;

private:
    std::shared_ptr<UILabel> label(long tag);
    bool isFirst_ = false;
    Value dic_;
};

class ZVWelfareVC : public UIViewController, public UITableViewDataSource, public UITableViewDelegate {
public:
    static constexpr double kRowHeight = 44;
    static constexpr double kFoldedTableHeight = 176;  // the header and three levels
    static constexpr double kFoldButtonSpace = 40;     // below the VIP table
    static constexpr double kTextButtonSpace = 44;     // below the welfare text
    static constexpr double kTextBottomWithoutButton = 16;
    static constexpr const char* kVipBorder = "#F08726";
    static constexpr const char* kRebateColour = "#4816CA";

    // Outlets of the scene.
    std::shared_ptr<UIView> fanliView, vipView, fuliView;
    std::shared_ptr<UILabel> fanliL;
    std::shared_ptr<UIButton> fanliBtn, vipBtn, fuliBtn;
    std::shared_ptr<UITableView> tableView;
    std::shared_ptr<ZVShowLabel> fuliL;
    std::shared_ptr<NSLayoutConstraint> tableViewH, tableViewBottom, fuliH, fuliBottom;
    // The page's own vertical scrolling, holding the cards.
    std::shared_ptr<UIScrollView> contentView;
    std::shared_ptr<ZVLoadingNote> loadingNote;

    // The VIP rows, the header row first (empty before a reply).
    const std::vector<Value>& dataSource() const { return dataSource_; }

    void loadView() override;
    void viewDidLoad() override;
    void viewWillLayoutSubviews() override;
    void loadData();

    void doFanliBtnClick();
    void showFuliOrClose();
    void doVipBtnClick();

    long tableView_numberOfRowsInSection(UITableView& t, long section) override;
    std::shared_ptr<UITableViewCell> tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;

private:
    void initUI();
    void buildScene();
    void layoutCards();
    void showReply(const Value& c);
    // A request failed or was refused: `message` as a toast.
    void showFailure(const std::string& message);
    // Three lines of the welfare text's font, rounded up.
    double threeLines() const;

    std::vector<Value> dataSource_;
    std::vector<std::shared_ptr<UILabel>> cardTitles_;
};
