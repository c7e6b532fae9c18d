#include "usercenter/screens/account/ZVSuCouponVC.h"

#include "platform/ui/UIBarItems.h"
#include "platform/ui/UINavigationController.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/core/CXRMessage.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVExternal.h"
#include "usercenter/core/ZVLoginAPI.h"
#include "usercenter/core/ZVNetwork.h"
#include "usercenter/core/ZVResponses.h"
#include "usercenter/core/ZVScreenWindow.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/account/ZVSuMyCouponVC.h"

Value ZVSelectedSubAccount() {
    auto& id = ShareVale::sharedInstance().xiaohao_id;
    return id ? Value(*id) : Value("");
}

// ---- ZVSuCouponModel

bool ZVSuCouponModel::isGot() const { return Value(is_get).boolValue(); }

std::string ZVSuCouponModel::cidText() const { return cid ? std::to_string(*cid) : ""; }

const zv::ModelTable<ZVSuCouponModel>& ZVSuCouponModel::zvTable() {
    static const auto table = zv::ModelTable<ZVSuCouponModel>()
                                  .field("gamename", &ZVSuCouponModel::gamename)
                                  .field("time", &ZVSuCouponModel::time)
                                  .field("cid", &ZVSuCouponModel::cid)
                                  .field("coupon_money", &ZVSuCouponModel::coupon_money)
                                  .field("pay_money", &ZVSuCouponModel::pay_money)
                                  .field("is_get", &ZVSuCouponModel::is_get)
                                  .field("end_time", &ZVSuCouponModel::end_time)
                                  .field("condition", &ZVSuCouponModel::condition)
                                  .field("remain_counts", &ZVSuCouponModel::remain_counts);
    return table;
}

// ---- ZVSuCouponCell

namespace {
std::shared_ptr<UILabel> label(double size, uint32_t colour, UIFontWeight weight = UIFontWeight::Regular) {
    auto l = std::make_shared<UILabel>();
    l->setFont(UIFont::systemFontOfSize(size, weight));
    l->setTextColor(UIColor::fromRGB(colour));
    return l;
}
}  // namespace

ZVSuCouponCell::ZVSuCouponCell(UITableViewCellStyle style, std::string reuseIdentifier)
    : UITableViewCell(style, std::move(reuseIdentifier)) {
    setBackgroundColor(UIColor::clearColor());
    selectionStyle = UITableViewCellSelectionStyle::None;
    bgPic = std::make_shared<UIImageView>();
    moneyL = label(26, 0xFF5A1F, UIFontWeight::Bold);
    moneyL->setTextAlignment(NSTextAlignment::Center);
    manL = label(11, 0xFF5A1F);
    manL->setTextAlignment(NSTextAlignment::Center);
    showL = label(14, 0x333333, UIFontWeight::Medium);
    timeL = label(11, 0x999999);
    leftL = label(11, 0x666666);
    numberL = label(11, 0xFF7A45);
}

std::shared_ptr<ZVSuCouponCell> ZVSuCouponCell::fromNib() {
    auto cell = std::make_shared<ZVSuCouponCell>();
    cell->awakeFromNib();
    return cell;
}

void ZVSuCouponCell::awakeFromNib() {
    if (auto image = ZVColor::sdkImageNamed("zv_su_couponCellBg.png"))
        bgPic->setImage(image->resizableImageWithCapInsets(UIEdgeInsets{0, kLeftCap, 0, kRightCap}, UIImageResizingMode::Stretch));
    contentView()->addSubview(bgPic);
    for (auto& v : std::vector<std::shared_ptr<UIView>>{moneyL, manL, showL, timeL, leftL, numberL}) contentView()->addSubview(v);
}

void ZVSuCouponCell::setModel(const ZVSuCouponModel& model) {
    model_ = model;
    moneyL->setText(model.coupon_money);
    manL->setText("满" + model.pay_money + "元可用");
    showL->setText("适用于《" + model.gamename + "》");
    timeL->setText(model.time);
    leftL->setText(model.condition);
    numberL->setText("剩余数量:" + model.remain_counts);
}

void ZVSuCouponCell::layoutSubviews() {
    UITableViewCell::layoutSubviews();
    double w = contentView()->bounds().width();
    CGRect card(15, 5, w - 30, kRowHeight - 10);
    bgPic->setFrame(card);
    // The money sits over the stretched middle, the texts over the right end.
    double middle = std::max(0.0, card.width() - kLeftCap - kRightCap);
    double left = card.minX() + kLeftCap, right = card.maxX() - kRightCap + 12;
    moneyL->setFrame(CGRect(left, card.minY() + 18, middle, 34));
    manL->setFrame(CGRect(left, card.minY() + 56, middle, 16));
    showL->setFrame(CGRect(right, card.minY() + 10, kRightCap - 20, 20));
    leftL->setFrame(CGRect(right, card.minY() + 34, kRightCap - 20, 16));
    timeL->setFrame(CGRect(right, card.minY() + 52, kRightCap - 20, 16));
    numberL->setFrame(CGRect(right, card.minY() + 70, kRightCap - 20, 16));
}

// ---- ZVSuCouponVC

namespace {
// The scene's header and foot around the table, with a bottom safe area or without.
double headBottom() { return UIScreen::mainScreen().safeAreaInsets().bottom > 0 ? 155 : 131; }
double footHeight() { return UIScreen::mainScreen().safeAreaInsets().bottom > 0 ? 106 : 72; }
}  // namespace

ZVSuCouponVC::ZVSuCouponVC() : ZVRefreshViewController(ZVPager::Shape{{"c", "data"}, {}, {}, true}) {}

std::string ZVSuCouponVC::listPath() const { return ZVApi::kCouponList; }

Value ZVSuCouponVC::listParameters() const {
    auto& share = ShareVale::sharedInstance();
    return Value::dict({{"username", share.userName()},
                        {"type", "ios"},
                        {"cpsId", share.chanelid()},
                        {"gid", share.gameID()},
                        {"xiaohao_id", ZVSelectedSubAccount()}});
}

const std::shared_ptr<UIButton>& ZVSuCouponVC::navBtn() {
    if (!navBtn_) {
        navBtn_ = UIButton::buttonWithType(UIButtonType::Custom);
        navBtn_->setFrame(CGRect(0, 0, 80, 25));
        navBtn_->setTitle("我的抵扣券", UIControlStateNormal);
        navBtn_->setTitleColor(UIColor::darkGrayColor(), UIControlStateNormal);
        navBtn_->titleLabel()->setFont(UIFont::systemFontOfSize(14));
        std::weak_ptr<ZVSuCouponVC> weak = std::static_pointer_cast<ZVSuCouponVC>(sharedController());
        navBtn_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
            if (auto self = weak.lock()) self->goToMyCouponVC();
        });
    }
    return navBtn_;
}

void ZVSuCouponVC::viewDidLoad() {
    ZVRefreshViewController::viewDidLoad();
    buildScene();
    _initUI();
}

void ZVSuCouponVC::buildScene() {
    headView = std::make_shared<UIView>();
    headView->setBackgroundColor(UIColor::whiteColor());
    auto title = std::make_shared<UILabel>(CGRect(15, 12, 300, 22));
    title->setText("领取抵扣券，充值立减");
    title->setFont(UIFont::systemFontOfSize(16, UIFontWeight::Medium));
    title->setTextColor(UIColor::fromRGB(0x333333));
    auto note = std::make_shared<UILabel>(CGRect(15, 38, 340, 18));
    note->setText("抵扣券仅限本游戏使用，领取后在充值时自动抵扣");
    note->setFont(UIFont::systemFontOfSize(12));
    note->setTextColor(UIColor::fromRGB(0x999999));
    headView->addSubview(title);
    headView->addSubview(note);
    footView = std::make_shared<UIView>();
    footView->setBackgroundColor(UIColor::whiteColor());
    allBtn = ZVStyle::actionButton("一键领取");
    allBtn->setBackgroundImage(UIImage::imageWithColor(UIColor::fromRGB(0xFF7A45)), UIControlStateNormal);
    allBtn->setAccessibilityIdentifier("coupon_all");
    boxBtn = UIButton::buttonWithType(UIButtonType::Custom);
    boxBtn->setTitle("去盒子查看更多", UIControlStateNormal);
    boxBtn->setTitleColor(UIColor::fromRGB(0xFF7A45), UIControlStateNormal);
    boxBtn->titleLabel()->setFont(UIFont::systemFontOfSize(15));
    boxBtn->layer()->setBorderWidth(1);
    boxBtn->layer()->setBorderColor(UIColor::fromRGB(0xFF7A45));
    boxBtn->layer()->setCornerRadius(20);
    footView->addSubview(allBtn);
    footView->addSubview(boxBtn);
    view()->addSubview(headView);
    view()->addSubview(footView);
    std::weak_ptr<ZVSuCouponVC> weak = std::static_pointer_cast<ZVSuCouponVC>(sharedController());
    allBtn->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->getAllCoupons();
    });
    boxBtn->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->goToBox();
    });
}

void ZVSuCouponVC::_initUI() {
    setNavTitle("抵扣券领取");
    auto holder = std::make_shared<UIView>(navBtn()->bounds());
    holder->addSubview(navBtn());
    navigationItem().setRightBarButtonItem(UIBarButtonItem::withCustomView(holder));
    auto& table = tableView();
    table->setBackgroundColor(UIColor::colorWithRed(245 / 255.0, 245 / 255.0, 245 / 255.0, 1));
    table->registerClass("ZVSuCouponCell", [] { return ZVSuCouponCell::fromNib(); });
    tableViewDidTriggerHeaderRefresh();
}

void ZVSuCouponVC::viewWillLayoutSubviews() {
    ZVRefreshViewController::viewWillLayoutSubviews();
    double w = view()->bounds().width(), h = view()->bounds().height();
    double top = headBottom(), bottom = footHeight(), navTop = UIScreen::mainScreen().navigationBarTop();
    headView->setFrame(CGRect(0, navTop, w, top - navTop));
    footView->setFrame(CGRect(0, h - bottom, w, bottom));
    double half = (w - 45) / 2;
    boxBtn->setFrame(CGRect(15, 16, half, 40));
    allBtn->setFrame(CGRect(30 + half, 16, half, 40));
    tableView()->setFrame(CGRect(0, top, w, h - top - bottom));
}

void ZVSuCouponVC::goToMyCouponVC() {
    if (auto nav = navigationController()) nav->pushViewController(std::make_shared<ZVSuMyCouponVC>(), true);
}

void ZVSuCouponVC::goToBox() { ZVExternal::openURL(ShareVale::sharedInstance().iosWapBoxUrl); }

std::shared_ptr<UITableViewCell> ZVSuCouponVC::tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) {
    auto cell = std::dynamic_pointer_cast<ZVSuCouponCell>(t.dequeueReusableCellWithIdentifier("ZVSuCouponCell", ip));
    if (!cell) return cell;
    auto model = modelAt<ZVSuCouponModel>(ip);
    cell->setHidden(model.isGot());
    if (!model.isGot()) cell->setModel(model);
    return cell;
}

std::optional<double> ZVSuCouponVC::tableView_heightForRowAtIndexPath(UITableView&, const NSIndexPath& ip) {
    return modelAt<ZVSuCouponModel>(ip).isGot() ? 0 : ZVSuCouponCell::kRowHeight;
}

void ZVSuCouponVC::tableView_didSelectRowAtIndexPath(UITableView&, const NSIndexPath& ip) {
    if (rowAt(ip).isNull()) return;
    claim(ZVApi::kGetCoupon, Value::dict({{"cid", modelAt<ZVSuCouponModel>(ip).cidText()},
                                          {"username", ShareVale::sharedInstance().userName()},
                                          {"xiaohao_id", ZVSelectedSubAccount()}}));
}

void ZVSuCouponVC::getAllCoupons() {
    auto& share = ShareVale::sharedInstance();
    claim(ZVApi::kGetCouponAll,
          Value::dict({{"gid", share.gameID()}, {"username", share.userName()}, {"xiaohao_id", ZVSelectedSubAccount()}}));
}

void ZVSuCouponVC::claim(const char* path, Value parameters) {
    std::weak_ptr<ZVSuCouponVC> weak = std::static_pointer_cast<ZVSuCouponVC>(sharedController());
    NetWorkManager::sharedInstance().PostCouponURL(
        path, parameters,
        [weak](const Value& reply) {
            auto self = weak.lock();
            if (!self) return;
            if (!ZVReplySucceeded(reply, "a")) return CXRMessage::showMessage(ZVReplyMessage(reply, ""), self->view());
            CXRMessage::showMessage("领取成功", self->view());
            self->tableViewDidTriggerHeaderRefresh();
        },
        [weak](const Error&) {
            if (auto self = weak.lock()) CXRMessage::showMessage(kZVServerErrorMessage, self->view());
        });
}
