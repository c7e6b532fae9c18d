#pragma once
// The game's activities, page "活动" of the welfare tab: picture cards with
// a coloured flag ("flag" on "flag_color", a six-digit hex text; clear for
// anything else) whose height follows the title, pull-down refresh, and
// "此游戏暂无活动，敬请期待哦~" when empty.

#include "usercenter/screens/shell/ZVPostList.h"

class ZVActivityCell : public ZVPostCell {
public:
    explicit ZVActivityCell(UITableViewCellStyle style = UITableViewCellStyle::Default,
                            std::string reuseIdentifier = "ZVActivityCell");
    static std::shared_ptr<ZVActivityCell> fromNib();
    std::shared_ptr<UILabel> tagL;

    void awakeFromNib() override;
    void setDic(const Value& dic) override;
    void layoutSubviews() override;
    CGSize sizeThatFits(CGSize size) const override;

private:
    // The card's parts for a cell `width` wide; returns the row height.
    double place(double width, bool apply) const;
};

class ZVActivityVC : public ZVPostListVC {
public:
    static constexpr const char* kEmptyNotice = "此游戏暂无活动，敬请期待哦~";
    ZVActivityVC();
    void viewDidLoad() override;
    std::shared_ptr<UITableViewCell> tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;
};
