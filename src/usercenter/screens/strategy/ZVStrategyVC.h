#pragma once
// The game's strategy guides, page 0 of the strategy tab: picture cards of
// 243 points, no pull-down refresh, "此游戏暂无攻略，敬请期待哦~" when empty.

#include "usercenter/screens/shell/ZVPostList.h"

class ZVStrategyCell : public ZVPostCell {
public:
    static constexpr double kRowHeight = 243;
    explicit ZVStrategyCell(UITableViewCellStyle style = UITableViewCellStyle::Default,
                            std::string reuseIdentifier = "ZVStrategyCell");
    static std::shared_ptr<ZVStrategyCell> fromNib();
    void layoutSubviews() override;
};

class ZVStrategyVC : public ZVPostListVC {
public:
    static constexpr const char* kEmptyNotice = "此游戏暂无攻略，敬请期待哦~";
    ZVStrategyVC();
    void viewDidLoad() override;
    std::shared_ptr<UITableViewCell> tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;
};
