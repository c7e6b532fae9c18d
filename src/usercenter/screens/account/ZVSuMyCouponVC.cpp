#include "usercenter/screens/account/ZVSuMyCouponVC.h"

#include "platform/ui/UIScreen.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/URLEncode.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/common/ZVViewExtension.h"

// ---- ZVSuMyCouponCell

namespace {
std::shared_ptr<UILabel> label(double size, uint32_t colour) {
    auto l = std::make_shared<UILabel>();
    l->setFont(UIFont::systemFontOfSize(size));
    l->setTextColor(UIColor::fromRGB(colour));
    return l;
}

std::shared_ptr<UIImage> background(const std::string& name) {
    auto image = ZVColor::sdkImageNamed(name);
    return image ? image->resizableImageWithCapInsets(
                       UIEdgeInsets{0, ZVSuMyCouponCell::kLeftCap, 0, ZVSuMyCouponCell::kRightCap}, UIImageResizingMode::Stretch)
                 : nullptr;
}
}  // namespace

ZVSuMyCouponCell::ZVSuMyCouponCell(UITableViewCellStyle style, std::string reuseIdentifier)
    : UITableViewCell(style, std::move(reuseIdentifier)) {
    setBackgroundColor(UIColor::clearColor());
    selectionStyle = UITableViewCellSelectionStyle::None;
    bgPic = std::make_shared<UIImageView>();
    moneyL = label(28, 0xFFFFFF);
    moneyL->setFont(UIFont::systemFontOfSize(28, UIFontWeight::Bold));
    moneyL->setTextAlignment(NSTextAlignment::Center);
    manL = label(11, 0xFFFFFF);
    manL->setTextAlignment(NSTextAlignment::Center);
    showL = label(15, 0x333333);
    showL->setFont(UIFont::systemFontOfSize(15, UIFontWeight::Medium));
    nameL = label(12, 0x666666);
    timeL = label(11, 0x999999);
}

std::shared_ptr<ZVSuMyCouponCell> ZVSuMyCouponCell::fromNib() {
    auto cell = std::make_shared<ZVSuMyCouponCell>();
    cell->awakeFromNib();
    return cell;
}

void ZVSuMyCouponCell::awakeFromNib() {
    image0_ = background("zv_tab_myCouponBg0.png");
    image1_ = background("zv_tab_myCouponBg1.png");
    contentView()->addSubview(bgPic);
    for (auto& v : std::vector<std::shared_ptr<UIView>>{moneyL, manL, showL, nameL, timeL}) contentView()->addSubview(v);
}

void ZVSuMyCouponCell::setModel(const ZVSuCouponModel& model) {
    model_ = model;
    // "¥" (U+00A5) in 20 points, the amount in the label's own font.
    moneyL->setAttributedText(URLEncode::getPriceAttribute("¥" + model.coupon_money, UIFont::systemFontOfSize(20)));
    manL->setText("满" + model.pay_money + "可用");
    showL->setText("满" + model.pay_money + "减" + model.coupon_money);
    nameL->setText(model.gamename + "可用");
    timeL->setText(model.end_time + "到期");
}

void ZVSuMyCouponCell::setStatus(const std::string& status) {
    status_ = status;
    bgPic->setImage(Value(status).intValue() == 1 ? image1_ : image0_);
}

void ZVSuMyCouponCell::layoutSubviews() {
    UITableViewCell::layoutSubviews();
    double w = contentView()->bounds().width();
    CGRect card(15, 6, w - 30, kRowHeight - 12);
    bgPic->setFrame(card);
    // The amount on the coloured block at the left, the texts beside it.
    moneyL->setFrame(CGRect(card.minX(), card.minY() + 20, 90, 30));
    manL->setFrame(CGRect(card.minX(), card.minY() + 52, 90, 16));
    double x = card.minX() + 102, width = std::max(0.0, card.width() - 102 - kRightCap - 8);
    showL->setFrame(CGRect(x, card.minY() + 14, width, 22));
    nameL->setFrame(CGRect(x, card.minY() + 40, width, 18));
    timeL->setFrame(CGRect(x, card.minY() + 60, width, 16));
}

// ---- ZVSuMyCouponVC

namespace {
const std::vector<std::string> kTitles{"可用", "已使用", "不可用"};
constexpr long kFirstTag = 10;
}  // namespace

const std::shared_ptr<UIView>& ZVSuMyCouponVC::topView() {
    if (topView_) return topView_;
    double width = view()->bounds().width();
    topView_ = std::make_shared<UIView>(CGRect(0, UIScreen::mainScreen().navigationBarTop(), width, kBarHeight));
    topView_->setBackgroundColor(UIColor::whiteColor());
    auto line = std::make_shared<UIView>(CGRect(0, kBarHeight - 3, 40, 3));
    line->setBackgroundColor(XTExtention::colorWithHexString(kIndicatorColour));
    line->setAccessibilityIdentifier("my_coupon_indicator");
    indicator_ = line;
    statusArr = {"1", "2", "0"};
    double w = width / 3;
    std::weak_ptr<ZVSuMyCouponVC> weak = std::static_pointer_cast<ZVSuMyCouponVC>(sharedController());
    for (size_t i = 0; i < kTitles.size(); ++i) {
        auto b = std::make_shared<UIButton>();
        b->setTag(kFirstTag + long(i));
        b->setFrame(CGRect(double(i) * w, 0, w, kBarHeight));
        b->setTitle(kTitles[i], UIControlStateNormal);
        b->setTitleColor(XTExtention::colorWithHexString("#959697"), UIControlStateNormal);
        b->setTitleColor(XTExtention::colorWithHexString(kIndicatorColour), UIControlStateDisabled);
        b->titleLabel()->setFont(UIFont::systemFontOfSize(15));
        b->titleLabel()->sizeToFit();
        std::weak_ptr<UIButton> weakButton = b;
        b->addAction(UIControlEventTouchUpInside, [weak, weakButton](UIControl&) {
            auto self = weak.lock();
            if (auto button = weakButton.lock(); self && button) self->btnClick(button);
        });
        topView_->addSubview(b);
        if (i == 0) {
            // The selected tab is the disabled one.
            b->setEnabled(false);
            b->titleLabel()->setFont(UIFont::systemFontOfSize(16));
            Extension::setCenterX(*line, b->center().x);
            nowBtn_ = b;
        }
    }
    topView_->addSubview(line);
    return topView_;
}

void ZVSuMyCouponVC::viewDidLoad() {
    ZVRefreshViewController::viewDidLoad();
    _initUI();
}

void ZVSuMyCouponVC::_initUI() {
    setNavTitle("我的抵扣券");
    status_ = "1";
    view()->addSubview(topView());
    auto& table = tableView();
    table->setBackgroundColor(UIColor::colorWithRed(245 / 255.0, 245 / 255.0, 245 / 255.0, 1));
    double top = Extension::bottom(*topView());
    table->setFrame(CGRect(0, top, view()->bounds().width(), view()->bounds().height() - top));
    table->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    table->registerClass("ZVSuMyCouponCell", [] { return ZVSuMyCouponCell::fromNib(); });
    table->rowHeight = ZVSuMyCouponCell::kRowHeight;
    tableViewDidTriggerHeaderRefresh();
}

void ZVSuMyCouponVC::btnClick(const std::shared_ptr<UIButton>& b) {
    auto old = nowBtn();
    if (!b || b == old) return;
    b->setEnabled(false);
    if (old) old->setEnabled(true);
    auto line = indicator();
    UIView::animateWithDuration(0.25, [&] {
        b->titleLabel()->setFont(UIFont::systemFontOfSize(16));
        if (old) old->titleLabel()->setFont(UIFont::systemFontOfSize(15));
        if (line) Extension::setCenterX(*line, b->center().x);
    });
    nowBtn_ = b;
    size_t index = size_t(std::clamp(b->tag() - kFirstTag, 0L, long(statusArr.size()) - 1));
    status_ = statusArr[index];
    tableViewDidTriggerHeaderRefresh();
}

std::string ZVSuMyCouponVC::listPath() const { return ZVApi::kMyCoupons; }

Value ZVSuMyCouponVC::listParameters() const {
    auto& share = ShareVale::sharedInstance();
    return Value::dict({{"username", share.userName()},
                        {"gid", share.gameID()},
                        {"cpsId", share.chanelid()},
                        {"appid", share.appID()},
                        {"status", status_},
                        {"xiaohao_id", ZVSelectedSubAccount()}});
}

std::shared_ptr<UITableViewCell> ZVSuMyCouponVC::tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) {
    auto cell = std::dynamic_pointer_cast<ZVSuMyCouponCell>(t.dequeueReusableCellWithIdentifier("ZVSuMyCouponCell", ip));
    if (!cell) return cell;
    cell->setModel(modelAt<ZVSuCouponModel>(ip));
    cell->setStatus(status_);
    return cell;
}
