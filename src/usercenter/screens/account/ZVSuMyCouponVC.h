#pragma once
// The player's own vouchers ("我的抵扣券"), pushed by the coupon centre,
// in three tabs sent as "status": "可用" "1", "已使用" "2", "不可用" "0". Each
// tab is a paged list ("lists", "now_page", "total_page" at the top, no
// status looked at); a switch starts over from page 1 and drops a reply
// still on its way for the tab before. Rows show a voucher on the usable
// background on "可用" and on the other background elsewhere.

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/UIButton.h"
#include "platform/ui/UIImageView.h"
#include "usercenter/screens/shell/ZVRefreshViewController.h"
#include "usercenter/screens/account/ZVSuCouponVC.h"

class ZVSuMyCouponCell : public UITableViewCell {
public:
    static constexpr double kRowHeight = 100;
    static constexpr double kLeftCap = 226, kRightCap = 18;
    explicit ZVSuMyCouponCell(UITableViewCellStyle style = UITableViewCellStyle::Default,
                              std::string reuseIdentifier = "ZVSuMyCouponCell");
    static std::shared_ptr<ZVSuMyCouponCell> fromNib();

    std::shared_ptr<UIImageView> bgPic;
    std::shared_ptr<UILabel> moneyL, manL, showL, nameL, timeL;
    const ZVSuCouponModel& model() const { return model_; }
    void setModel(const ZVSuCouponModel& model);
    const std::string& status() const { return status_; }
    void setStatus(const std::string& status);
    // The two prepared backgrounds: used or unusable, and usable.
    const std::shared_ptr<UIImage>& image0() const { return image0_; }
    const std::shared_ptr<UIImage>& image1() const { return image1_; }

    void layoutSubviews() override;

private:
    void awakeFromNib();
    ZVSuCouponModel model_;
    std::string status_;
    std::shared_ptr<UIImage> image0_, image1_;
};

class ZVSuMyCouponVC : public ZVRefreshViewController {
public:
    static constexpr const char* kIndicatorColour = "#4958A7";
    static constexpr double kBarHeight = 45;

    const std::shared_ptr<UIView>& topView();
    std::shared_ptr<UIView> indicator() const { return indicator_.lock(); }
    std::shared_ptr<UIButton> nowBtn() const { return nowBtn_.lock(); }
    const std::string& status() const { return status_; }
    std::vector<std::string> statusArr;

    void viewDidLoad() override;
    void btnClick(const std::shared_ptr<UIButton>& b);

    std::shared_ptr<UITableViewCell> tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;

protected:
    std::string listPath() const override;
    Value listParameters() const override;

private:
    void _initUI();
    std::shared_ptr<UIView> topView_;
    std::weak_ptr<UIView> indicator_;
    std::weak_ptr<UIButton> nowBtn_;
    std::string status_;
};
