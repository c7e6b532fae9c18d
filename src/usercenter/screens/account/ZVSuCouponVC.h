#pragma once
// The vouchers the player can still claim for this game ("抵扣券领取",
// storyboard "ZVSuTabBarVC", scene "ZVSuCouponVC"), pushed by the account
// page: one page, rows in "c"."data", a first page counting only with "a" 1
// (a refusal shows "b"; a failure is silent). A tap on a row claims that
// voucher, "一键领取" all of the game's; a successful claim shows "领取成功"
// and loads the list again, where claimed vouchers ("is_get" true) stay as
// rows of no height. The scene's header tells what vouchers are; its foot
// holds the claim-all and box buttons. "我的抵扣券" in the navigation bar
// pushes the player's own vouchers.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/UIButton.h"
#include "platform/ui/UIImageView.h"
#include "usercenter/screens/shell/ZVRefreshViewController.h"

// A voucher, as the coupon centre and my coupons show it.
class ZVSuCouponModel {
public:
    std::string gamename, time, coupon_money, pay_money, is_get, end_time, condition;
    std::optional<int64_t> cid;
    std::string remain_counts;  // a number as text ("" when there is none)
    bool isGot() const;
    // The id as claims send it: its text, "" when the voucher has none.
    std::string cidText() const;
    static const zv::ModelTable<ZVSuCouponModel>& zvTable();
};

class ZVSuCouponCell : public UITableViewCell {
public:
    static constexpr double kRowHeight = 110;
    // The background's ends that keep their size (points): left and right.
    static constexpr double kLeftCap = 36, kRightCap = 179;
    explicit ZVSuCouponCell(UITableViewCellStyle style = UITableViewCellStyle::Default,
                            std::string reuseIdentifier = "ZVSuCouponCell");
    static std::shared_ptr<ZVSuCouponCell> fromNib();

    std::shared_ptr<UILabel> moneyL, manL, showL, timeL, leftL, numberL;
    std::shared_ptr<UIImageView> bgPic;
    const ZVSuCouponModel& model() const { return model_; }
    void setModel(const ZVSuCouponModel& model);

    void layoutSubviews() override;

private:
    void awakeFromNib();
    ZVSuCouponModel model_;
};

class ZVSuCouponVC : public ZVRefreshViewController {
public:
    ZVSuCouponVC();
    const std::shared_ptr<UIButton>& navBtn();
    std::shared_ptr<UIButton> allBtn, boxBtn;
    std::shared_ptr<UIView> headView, footView;

    void viewDidLoad() override;
    void viewWillLayoutSubviews() override;
    void goToMyCouponVC();
    void goToBox();
    void getAllCoupons();

    std::shared_ptr<UITableViewCell> tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;
    std::optional<double> tableView_heightForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;
    void tableView_didSelectRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;

protected:
    std::string listPath() const override;
    Value listParameters() const override;

private:
    void _initUI();
    void buildScene();
    // A claim ("getcoupon" or "getcouponall") and what its reply does.
    void claim(const char* path, Value parameters);

    std::shared_ptr<UIButton> navBtn_;
};

// The selected sub-account as requests send it ("" when none is selected).
Value ZVSelectedSubAccount();
