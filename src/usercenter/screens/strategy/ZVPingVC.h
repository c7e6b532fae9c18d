#pragma once
// The game's player comments, page 1 of the strategy tab: a banner (its tap
// opens the comment rules), "游戏点评" with the sort drop-down ("按时间" by
// time, "按热度" by popularity, the start), the paged comment cards with
// pull-down refresh, and the comment bar pinned at the bottom. A tap on a
// card opens the comment's thread. Choosing an order reloads from page 1
// and sends "px" with every later page.

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/UIImageView.h"
#include "ui/DMDropdownMenu.h"
#include "usercenter/screens/strategy/ZVPingListBase.h"
#include "usercenter/screens/strategy/ZVPingViews.h"

class ZVPingVC : public ZVPingListBase, public DMDropdownMenuDataSource, public DMDropdownMenuDelegate {
public:
    static constexpr const char* kRulesName = "评论规则";

    const std::vector<std::string> menuArr{"按时间", "按热度"};
    long flag = 1;  // the chosen order, sent as "px"

    const std::shared_ptr<UIImageView>& picView();
    const std::shared_ptr<UIView>& topView();
    const std::shared_ptr<DMDropdownMenu>& menu();

    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    void goToRoleVC();

    std::shared_ptr<UITableViewCell> tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;
    void tableView_didSelectRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;

    long numberOfOptionsInDropdownMenu(DMDropdownMenu& menu) override { return long(menuArr.size()); }
    double dropdownMenu_heightForOptionAtIndex(DMDropdownMenu&, long) override { return 30; }
    std::string dropdownMenu_titleForOptionAtIndex(DMDropdownMenu& menu, long index) override;
    void dropdownMenu_didSelectOptionAtIndex_optionTitle(DMDropdownMenu& menu, long index, const std::string& title) override;

protected:
    std::string listPath() const override;
    Value listParameters() const override;

private:
    std::shared_ptr<UIImageView> picView_;
    std::shared_ptr<UIView> topView_;
    std::shared_ptr<DMDropdownMenu> menu_;
};
