#pragma once
// One comment's thread, pushed from the comment list: the comment itself as
// the table's header (sharing the list row's model, so a like here shows
// there), its replies a page at a time (no pull-down; the load-more footer
// comes with the first page), and the comment bar, whose posts are replies
// ("pid" = the comment's id). On a device with a bottom safe area the bar
// sits 34 points above the bottom and the list starts at 88, else 0 and 64.

#include <memory>

#include "usercenter/screens/strategy/ZVPingListBase.h"
#include "usercenter/screens/strategy/ZVPingViews.h"

class ZVPingTwoVC : public ZVPingListBase {
public:
    // Set before the screen is pushed.
    std::shared_ptr<ZVPingModel> headModel;
    // Made on first use: as wide as the view, headModel's headH high (or
    // taller, for a large ribbon to end clear of the text).
    const std::shared_ptr<ZVPingTwoHead>& headView();

    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    std::shared_ptr<UITableViewCell> tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;

protected:
    std::string listPath() const override;
    Value listParameters() const override;
    Value commitParameters(const std::string& text) const override;

private:
    std::shared_ptr<ZVPingTwoHead> headView_;
};
