#pragma once
// The ledger of one balance (storyboard "ZVSuTabBarVC", scene "ZVSuBillVC"):
// platform coins (isPtb), star coins (isStars) or vouchers (neither). Two
// type buttons switch between income (the first) and spending; for
// vouchers, and star-coin income, a drop-down narrows the list by source,
// sent as "screen" (0 on the first load, 1 after a type switch, the
// option's position + 1 after a pick). Rows show time, the amount with the
// sign of the direction they were loaded under, and the remark. A refused
// first page shows "b" and keeps the rows (and their sign) shown; a reply
// overtaken by a newer switch or pick is dropped.

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/UIButton.h"
#include "ui/DMDropdownMenu.h"
#include "usercenter/screens/shell/ZVRefreshViewController.h"

class ZVSuBillCell : public UITableViewCell {
public:
    static constexpr double kRowHeight = 45;
    explicit ZVSuBillCell(UITableViewCellStyle style = UITableViewCellStyle::Default,
                          std::string reuseIdentifier = "ZVSuBillCell");
    static std::shared_ptr<ZVSuBillCell> fromNib();

    std::shared_ptr<UILabel> timeL, numL, extL;
    const Value& dic() const { return dic_; }
    void setDic(const Value& dic);
    bool isGet() const { return isGet_; }
    void setIsGet(bool isGet);

    void layoutSubviews() override;

private:
    void awakeFromNib();
    Value dic_;
    bool isGet_ = false;
};

class ZVSuBillVC : public ZVRefreshViewController, public DMDropdownMenuDataSource, public DMDropdownMenuDelegate {
public:
    ZVSuBillVC();
    bool isStars = false, isPtb = false;

    std::shared_ptr<UIView> bgView, indicator;
    std::shared_ptr<UIButton> oneBtn, twoBtn;
    std::shared_ptr<UIButton> nowBtn() const { return nowBtn_.lock(); }
    std::shared_ptr<UILabel> showL;
    const std::shared_ptr<DMDropdownMenu>& menu();
    std::vector<std::string> menuArr;
    std::string url;
    long flag = 0;
    // Whether the rows shown were loaded as income.
    bool rowsAreIncome() const { return rowsAreIncome_; }

    void viewDidLoad() override;
    void viewWillLayoutSubviews() override;
    void doTypeBtnClick(const std::shared_ptr<UIButton>& sender);
    void tableViewDidTriggerHeaderRefresh() override;
    void firstPageDidLoad(const ZVPager::Page& page) override;

    std::shared_ptr<UITableViewCell> tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;

    long numberOfOptionsInDropdownMenu(DMDropdownMenu& menu) override;
    double dropdownMenu_heightForOptionAtIndex(DMDropdownMenu& menu, long index) override;
    std::string dropdownMenu_titleForOptionAtIndex(DMDropdownMenu& menu, long index) override;
    void dropdownMenu_didSelectOptionAtIndex_optionTitle(DMDropdownMenu& menu, long index,
                                                         const std::string& title) override;

protected:
    std::string listPath() const override { return url; }
    Value listParameters() const override;

private:
    void _initUI();
    void buildBar();
    bool isIncome() const { return nowBtn_.lock() == oneBtn; }

    std::weak_ptr<UIButton> nowBtn_;
    std::shared_ptr<DMDropdownMenu> menu_;
    bool requestedIncome_ = true, rowsAreIncome_ = true;
};
