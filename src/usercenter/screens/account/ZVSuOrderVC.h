#pragma once
// The reservation lists: "游戏预约" (games open for reservation, pushed by
// the account page, with a "我的预约" button) and "我的预约" (the player's
// reservations). Rows of games with their benefit tags (the first three)
// and a discount badge rounded at two corners; every row opens the box page
// outside the application, where reserving happens. The replies have no
// envelope: "lists", "now_page" and "total_page" at the top.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/UIButton.h"
#include "platform/ui/UIImageView.h"
#include "usercenter/screens/shell/ZVRefreshViewController.h"

class ZVSuOrderModel {
public:
    std::optional<int64_t> gid;  // "id"
    std::string pic1, welfare, booking, box_discount, gamesize, gamename;
    std::string downloadnum;  // a number as text ("" when there is none)
    std::vector<std::string> fuli;
    static const zv::ModelTable<ZVSuOrderModel>& zvTable();
};

class ZVSuOrderCell : public UITableViewCell {
public:
    static constexpr double kRowHeight = 90;
    static constexpr double kBadgeRadius = 7;
    explicit ZVSuOrderCell(UITableViewCellStyle style = UITableViewCellStyle::Default,
                           std::string reuseIdentifier = "ZVSuOrderCell");
    static std::shared_ptr<ZVSuOrderCell> fromNib();

    std::shared_ptr<UIImageView> iconView;
    std::shared_ptr<UILabel> nameL, showL, tagL;
    // The benefit tag labels 10, 11 and 12.
    std::shared_ptr<UILabel> tagLabel(long tag);
    const ZVSuOrderModel& model() const { return model_; }
    void setModel(const ZVSuOrderModel& model);

    void layoutSubviews() override;

private:
    void awakeFromNib();
    ZVSuOrderModel model_;
};

// What both lists share: the request, the rows and the tap.
class ZVSuOrderListVC : public ZVRefreshViewController {
public:
    void viewDidLoad() override;
    void viewWillLayoutSubviews() override;
    std::shared_ptr<UITableViewCell> tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;
    void tableView_didSelectRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;

protected:
    ZVSuOrderListVC(std::string title, std::string path) : title_(std::move(title)), path_(std::move(path)) {}
    std::string listPath() const override { return path_; }
    Value listParameters() const override;

private:
    std::string title_, path_;
};

class ZVSuOrderVC : public ZVSuOrderListVC {
public:
    ZVSuOrderVC();
    const std::shared_ptr<UIButton>& navBtn();
    void viewDidLoad() override;
    void goToMyOrderVc();

private:
    std::shared_ptr<UIButton> navBtn_;
};

class ZVSuMyOrderVC : public ZVSuOrderListVC {
public:
    ZVSuMyOrderVC();
};
