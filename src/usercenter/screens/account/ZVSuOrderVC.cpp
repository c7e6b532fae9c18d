#include "usercenter/screens/account/ZVSuOrderVC.h"

#include "imagecache/setters/UIImageViewZVExtension.h"
#include "platform/ui/UIBarItems.h"
#include "platform/ui/UINavigationController.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVExternal.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/common/ZVViewExtension.h"

// ---- ZVSuOrderModel

const zv::ModelTable<ZVSuOrderModel>& ZVSuOrderModel::zvTable() {
    static const auto table = zv::ModelTable<ZVSuOrderModel>()
                                  .field("gid", &ZVSuOrderModel::gid)
                                  .field("pic1", &ZVSuOrderModel::pic1)
                                  .field("welfare", &ZVSuOrderModel::welfare)
                                  .field("booking", &ZVSuOrderModel::booking)
                                  .field("box_discount", &ZVSuOrderModel::box_discount)
                                  .field("downloadnum", &ZVSuOrderModel::downloadnum)
                                  .field("gamesize", &ZVSuOrderModel::gamesize)
                                  .field("gamename", &ZVSuOrderModel::gamename)
                                  .field("fuli", &ZVSuOrderModel::fuli)
                                  .replacedKeys({{"gid", "id"}});
    return table;
}

// ---- ZVSuOrderCell

namespace {
constexpr long kFirstTag = 10;
constexpr double kIconSide = 60, kTextLeft = 87;
}  // namespace

ZVSuOrderCell::ZVSuOrderCell(UITableViewCellStyle style, std::string reuseIdentifier)
    : UITableViewCell(style, std::move(reuseIdentifier)) {
    selectionStyle = UITableViewCellSelectionStyle::None;
    iconView = std::make_shared<UIImageView>();
    iconView->setBackgroundColor(UIColor::fromRGB(0xF2F2F2));
    iconView->layer()->setCornerRadius(12);
    iconView->setClipsToBounds(true);
    nameL = std::make_shared<UILabel>();
    nameL->setFont(UIFont::systemFontOfSize(15, UIFontWeight::Medium));
    nameL->setTextColor(UIColor::fromRGB(0x333333));
    showL = std::make_shared<UILabel>();
    showL->setFont(UIFont::systemFontOfSize(12));
    showL->setTextColor(UIColor::fromRGB(0x999999));
    tagL = std::make_shared<UILabel>();
    tagL->setFont(UIFont::systemFontOfSize(11));
    tagL->setTextColor(UIColor::whiteColor());
    tagL->setBackgroundColor(UIColor::fromRGB(0xFF7A45));
}

std::shared_ptr<ZVSuOrderCell> ZVSuOrderCell::fromNib() {
    auto cell = std::make_shared<ZVSuOrderCell>();
    cell->awakeFromNib();
    return cell;
}

void ZVSuOrderCell::awakeFromNib() {
    for (auto& v : std::vector<std::shared_ptr<UIView>>{iconView, nameL, showL}) contentView()->addSubview(v);
    for (long i = 0; i < 3; ++i) {
        auto l = std::make_shared<UILabel>();
        l->setTag(kFirstTag + i);
        l->setFont(UIFont::systemFontOfSize(11));
        l->setTextColor(XTExtention::colorWithHexString("#6036E7"));
        l->setBackgroundColor(XTExtention::colorWithHexString("#F0EBFF"));
        l->layer()->setCornerRadius(3);
        l->setClipsToBounds(true);
        contentView()->addSubview(l);
    }
    contentView()->addSubview(tagL);
}

std::shared_ptr<UILabel> ZVSuOrderCell::tagLabel(long tag) {
    return std::dynamic_pointer_cast<UILabel>(contentView()->viewWithTag(tag));
}

void ZVSuOrderCell::setModel(const ZVSuOrderModel& model) {
    model_ = model;
    ZVExtension::setGameIconWithUrlStr(*iconView, model.pic1, "zv_tab_gamePlace.png");
    nameL->setText(model.gamename);
    showL->setText(model.welfare + " " + model.gamesize + " " + model.downloadnum + "人在玩");
    for (size_t i = 0; i < 3; ++i) {
        auto label = tagLabel(kFirstTag + long(i));
        bool shown = i < model.fuli.size();
        label->setText(shown ? " " + model.fuli[i] + " " : "");
        label->setHidden(!shown);
    }
    bool badge = !model.box_discount.empty();
    tagL->setText(badge ? "  " + model.box_discount + "  " : "");
    tagL->setHidden(!badge);
    setNeedsLayout();
    layoutIfNeeded();
}

void ZVSuOrderCell::layoutSubviews() {
    UITableViewCell::layoutSubviews();
    double w = contentView()->bounds().width(), h = contentView()->bounds().height();
    iconView->setFrame(CGRect(15, (h - kIconSide) / 2, kIconSide, kIconSide));
    double badge = tagL->isHidden() ? 0 : tagL->sizeThatFits({0, 0}).width;
    tagL->setFrame(CGRect(w - 15 - badge, 15, badge, 18));
    nameL->setFrame(CGRect(kTextLeft, 13, std::max(0.0, w - kTextLeft - 25 - badge), 22));
    showL->setFrame(CGRect(kTextLeft, 37, std::max(0.0, w - kTextLeft - 15), 18));
    double x = kTextLeft;
    for (long i = 0; i < 3; ++i) {
        auto label = tagLabel(kFirstTag + i);
        double width = label->isHidden() ? 0 : std::min(label->sizeThatFits({0, 0}).width, std::max(0.0, w - 15 - x));
        label->setFrame(CGRect(x, 60, width, 17));
        x += width + (width > 0 ? 6 : 0);
    }
    // The badge: rounded at its top-right and bottom-left corners only.
    if (badge > 0) Extension::setCornerRadius(*tagL, kBadgeRadius, UIRectCorner(UIRectCornerTopRight | UIRectCornerBottomLeft));
}

// ---- the lists

Value ZVSuOrderListVC::listParameters() const {
    auto& share = ShareVale::sharedInstance();
    return Value::dict({{"username", share.userName()}, {"type", "ios"}, {"cpsId", share.chanelid()}});
}

void ZVSuOrderListVC::viewDidLoad() {
    ZVRefreshViewController::viewDidLoad();
    setNavTitle(title_);
    auto& table = tableView();
    table->registerClass("ZVSuOrderCell", [] { return ZVSuOrderCell::fromNib(); });
    table->rowHeight = ZVSuOrderCell::kRowHeight;
    tableViewDidTriggerHeaderRefresh();
}

void ZVSuOrderListVC::viewWillLayoutSubviews() {
    ZVRefreshViewController::viewWillLayoutSubviews();
    double top = UIScreen::mainScreen().navigationBarTop();
    tableView()->setFrame(CGRect(0, top, view()->bounds().width(), view()->bounds().height() - top));
}

std::shared_ptr<UITableViewCell> ZVSuOrderListVC::tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) {
    auto cell = std::dynamic_pointer_cast<ZVSuOrderCell>(t.dequeueReusableCellWithIdentifier("ZVSuOrderCell", ip));
    if (cell) cell->setModel(modelAt<ZVSuOrderModel>(ip));
    return cell;
}

void ZVSuOrderListVC::tableView_didSelectRowAtIndexPath(UITableView&, const NSIndexPath&) {
    ZVExternal::openURL(ShareVale::sharedInstance().iosWapBoxUrl);
}

ZVSuOrderVC::ZVSuOrderVC() : ZVSuOrderListVC("游戏预约", ZVApi::kBookingList) {}

const std::shared_ptr<UIButton>& ZVSuOrderVC::navBtn() {
    if (!navBtn_) {
        navBtn_ = UIButton::buttonWithType(UIButtonType::Custom);
        navBtn_->setFrame(CGRect(0, 0, 80, 25));
        navBtn_->setTitle("我的预约", UIControlStateNormal);
        navBtn_->titleLabel()->setFont(UIFont::systemFontOfSize(14, UIFontWeight::Medium));
        navBtn_->setTitleColor(XTExtention::colorWithHexString("#333333"), UIControlStateNormal);
        std::weak_ptr<ZVSuOrderVC> weak = std::static_pointer_cast<ZVSuOrderVC>(sharedController());
        navBtn_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
            if (auto self = weak.lock()) self->goToMyOrderVc();
        });
    }
    return navBtn_;
}

void ZVSuOrderVC::viewDidLoad() {
    ZVSuOrderListVC::viewDidLoad();
    auto holder = std::make_shared<UIView>(navBtn()->bounds());
    holder->addSubview(navBtn());
    navigationItem().setRightBarButtonItem(UIBarButtonItem::withCustomView(holder));
}

void ZVSuOrderVC::goToMyOrderVc() {
    if (auto nav = navigationController()) nav->pushViewController(std::make_shared<ZVSuMyOrderVC>(), true);
}

ZVSuMyOrderVC::ZVSuMyOrderVC() : ZVSuOrderListVC("我的预约", ZVApi::kMyBookingList) {}
