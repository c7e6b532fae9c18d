#include "usercenter/screens/account/ZVSuBillVC.h"

#include "platform/ui/UIScreen.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/common/ZVViewExtension.h"

namespace {
const std::vector<std::string> kDjqIncomeOptions{"后台代充", "金币兑换", "渠道代充"};
const std::vector<std::string> kDjqSpendingOptions{"游戏充值", "代理撤回"};
const std::vector<std::string> kStarIncomeOptions{"后台发放", "金币兑换"};
constexpr double kBarHeight = 44, kSide = 16;
}  // namespace

// ---- ZVSuBillCell

ZVSuBillCell::ZVSuBillCell(UITableViewCellStyle style, std::string reuseIdentifier)
    : UITableViewCell(style, std::move(reuseIdentifier)) {
    selectionStyle = UITableViewCellSelectionStyle::None;
    auto label = [](double size, uint32_t colour, NSTextAlignment alignment) {
        auto l = std::make_shared<UILabel>();
        l->setFont(UIFont::systemFontOfSize(size));
        l->setTextColor(UIColor::fromRGB(colour));
        l->setTextAlignment(alignment);
        return l;
    };
    timeL = label(12, 0x999999, NSTextAlignment::Left);
    extL = label(13, 0x666666, NSTextAlignment::Center);
    numL = label(14, 0x333333, NSTextAlignment::Right);
    numL->setFont(UIFont::systemFontOfSize(14, UIFontWeight::Medium));
}

std::shared_ptr<ZVSuBillCell> ZVSuBillCell::fromNib() {
    auto cell = std::make_shared<ZVSuBillCell>();
    cell->awakeFromNib();
    return cell;
}

void ZVSuBillCell::awakeFromNib() {
    for (auto& v : std::vector<std::shared_ptr<UIView>>{timeL, extL, numL}) contentView()->addSubview(v);
}

void ZVSuBillCell::setDic(const Value& dic) {
    dic_ = dic;
    timeL->setText(dic["time"].textValue());
    extL->setText(dic["remark"].textValue());
}

void ZVSuBillCell::setIsGet(bool isGet) {
    isGet_ = isGet;
    numL->setText(std::string(isGet ? "+" : "-") + dic_["money"].textValue());
}

void ZVSuBillCell::layoutSubviews() {
    UITableViewCell::layoutSubviews();
    double w = contentView()->bounds().width(), h = contentView()->bounds().height();
    timeL->setFrame(CGRect(12, 0, w * 0.4, h));
    extL->setFrame(CGRect(w * 0.4, 0, w * 0.3, h));
    numL->setFrame(CGRect(w * 0.7, 0, w * 0.3 - 12, h));
}

// ---- ZVSuBillVC

ZVSuBillVC::ZVSuBillVC() : ZVRefreshViewController(ZVPager::Shape{{"c", "lists"}, {"c", "now_page"}, {"c", "total_page"}, true}) {}

const std::shared_ptr<DMDropdownMenu>& ZVSuBillVC::menu() {
    if (!menu_) {
        menu_ = std::make_shared<DMDropdownMenu>();
        menu_->setFrame(CGRect(0, 0, 100, 30));
        auto self = std::static_pointer_cast<ZVSuBillVC>(sharedController());
        menu_->setDataSource(self);
        menu_->setDelegate(self);
        menu_->setBackgroundColor(UIColor::clearColor());
        menu_->setTitle("后台代充");
        menu_->setTitleFont(UIFont::boldSystemFontOfSize(12));
        menu_->setTitleColor(UIColor::darkGrayColor());
        menu_->setTitleAlignment(0);
        menu_->setTitleEdgeInsets(UIEdgeInsets{0, 15, 0, 0});
        menu_->setRotateIcon(ZVColor::sdkImageNamed("zv_tab_autoArrow.png"));
        menu_->setRotateIconSize(CGSize{15, 15});
        menu_->setOptionFont(UIFont::systemFontOfSize(12));
        menu_->setOptionTextColor(UIColor::darkGrayColor());
        menu_->setOptionBgColor(UIColor::whiteColor());
        menu_->setOptionLineColor(UIColor::colorWithRed(240 / 255.0, 240 / 255.0, 240 / 255.0, 1));
        menu_->setOptionTextAlignment(1);
        menu_->setOptionIconSize(CGSize{1, 1});
        menu_->setAccessibilityIdentifier("bill_menu");
    }
    return menu_;
}

void ZVSuBillVC::buildBar() {
    // The scene's bar: the balance's name, the two type buttons with the
    // underline of the selected one, and the drop-down at the right.
    bgView = std::make_shared<UIView>();
    bgView->setBackgroundColor(UIColor::whiteColor());
    showL = std::make_shared<UILabel>(CGRect(kSide, 0, 60, kBarHeight));
    showL->setFont(UIFont::systemFontOfSize(15, UIFontWeight::Medium));
    showL->setTextColor(UIColor::fromRGB(0x333333));
    bgView->addSubview(showL);
    auto typeButton = [this](const std::string& title, double x) {
        auto b = UIButton::buttonWithType(UIButtonType::Custom);
        b->setFrame(CGRect(x, 0, 56, kBarHeight));
        b->setTitle(title, UIControlStateNormal);
        b->setTitleColor(UIColor::fromRGB(0x999999), UIControlStateNormal);
        b->setTitleColor(UIColor::fromRGB(0x333333), UIControlStateSelected);
        b->titleLabel()->setFont(UIFont::systemFontOfSize(14));
        std::weak_ptr<ZVSuBillVC> weak = std::static_pointer_cast<ZVSuBillVC>(sharedController());
        std::weak_ptr<UIButton> weakButton = b;
        b->addAction(UIControlEventTouchUpInside, [weak, weakButton](UIControl&) {
            auto self = weak.lock();
            if (auto button = weakButton.lock(); self && button) self->doTypeBtnClick(button);
        });
        bgView->addSubview(b);
        return b;
    };
    oneBtn = typeButton("收入", 86);
    twoBtn = typeButton("支出", 146);
    oneBtn->setAccessibilityIdentifier("bill_income");
    twoBtn->setAccessibilityIdentifier("bill_spending");
    indicator = std::make_shared<UIView>(CGRect(0, kBarHeight - 3, 20, 3));
    indicator->setBackgroundColor(XTExtention::colorWithHexString("#6036E7"));
    indicator->layer()->setCornerRadius(1.5);
    bgView->addSubview(indicator);
    view()->addSubview(bgView);
}

void ZVSuBillVC::viewDidLoad() {
    ZVRefreshViewController::viewDidLoad();
    buildBar();
    _initUI();
}

void ZVSuBillVC::_initUI() {
    view()->setBackgroundColor(UIColor::colorWithRed(250 / 255.0, 250 / 255.0, 250 / 255.0, 1));
    if (isPtb) {
        showL->setText("平台币");
        setNavTitle("平台币明细");
        url = ZVApi::kPtbIncome;
    } else if (isStars) {
        showL->setText("星币");
        setNavTitle("星币明细");
        menuArr = kStarIncomeOptions;
        url = ZVApi::kStarIncome;
    } else {
        showL->setText("代金券");
        setNavTitle("代金券明细");
        menuArr = kDjqIncomeOptions;
        url = ZVApi::kDjqIncome;
    }
    nowBtn_ = oneBtn;
    oneBtn->setSelected(true);
    if (!menuArr.empty()) {
        menu()->setTitle(menuArr.front());
        bgView->addSubview(menu());
    }
    auto& table = tableView();
    table->setBackgroundColor(UIColor::clearColor());
    table->registerClass("ZVSuBillCell", [] { return ZVSuBillCell::fromNib(); });
    table->rowHeight = ZVSuBillCell::kRowHeight;
    tableViewDidTriggerHeaderRefresh();
}

void ZVSuBillVC::viewWillLayoutSubviews() {
    ZVRefreshViewController::viewWillLayoutSubviews();
    double w = view()->bounds().width(), h = view()->bounds().height();
    bgView->setFrame(CGRect(0, UIScreen::mainScreen().navigationBarTop(), w, kBarHeight));
    if (menu_) menu_->setFrame(CGRect(w - kSide - 100, (kBarHeight - 30) / 2, 100, 30));
    if (auto selected = nowBtn()) Extension::setCenterX(*indicator, selected->center().x);
    double b = Extension::bottom(*bgView);
    tableView()->setFrame(CGRect(kSide, b + 5, w - 2 * kSide, h - (b + 5)));
}

void ZVSuBillVC::doTypeBtnClick(const std::shared_ptr<UIButton>& sender) {
    if (!sender || sender == nowBtn()) return;
    // An open list holds the other direction's sources.
    if (menu_) menu_->hideDropDown();
    if (auto old = nowBtn()) old->setSelected(false);
    sender->setSelected(true);
    nowBtn_ = sender;
    Extension::setCenterX(*indicator, sender->center().x);
    bool income = sender == oneBtn;
    if (isPtb) {
        if (menu_) menu_->setHidden(true);
        url = income ? ZVApi::kPtbIncome : ZVApi::kPtbSpending;
    } else if (isStars) {
        menu()->setHidden(!income);
        url = income ? ZVApi::kStarIncome : ZVApi::kStarSpending;
        if (income) menuArr = kStarIncomeOptions;
    } else {
        menu()->setHidden(false);
        url = income ? ZVApi::kDjqIncome : ZVApi::kDjqSpending;
        menuArr = income ? kDjqIncomeOptions : kDjqSpendingOptions;
    }
    if (!menuArr.empty()) menu()->setTitle(menuArr.front());
    flag = 1;
    tableViewDidTriggerHeaderRefresh();
}

void ZVSuBillVC::tableViewDidTriggerHeaderRefresh() {
    requestedIncome_ = isIncome();
    ZVRefreshViewController::tableViewDidTriggerHeaderRefresh();
}

void ZVSuBillVC::firstPageDidLoad(const ZVPager::Page&) { rowsAreIncome_ = requestedIncome_; }

Value ZVSuBillVC::listParameters() const {
    auto& share = ShareVale::sharedInstance();
    return Value::dict({{"username", share.userName()}, {"appid", share.appID()}, {"type", "ios"}, {"screen", flag}});
}

std::shared_ptr<UITableViewCell> ZVSuBillVC::tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) {
    auto cell = std::dynamic_pointer_cast<ZVSuBillCell>(t.dequeueReusableCellWithIdentifier("ZVSuBillCell", ip));
    if (!cell) return cell;
    cell->setDic(rowAt(ip));
    cell->setIsGet(rowsAreIncome_);
    return cell;
}

long ZVSuBillVC::numberOfOptionsInDropdownMenu(DMDropdownMenu&) { return long(menuArr.size()); }
double ZVSuBillVC::dropdownMenu_heightForOptionAtIndex(DMDropdownMenu&, long) { return 30; }

std::string ZVSuBillVC::dropdownMenu_titleForOptionAtIndex(DMDropdownMenu&, long index) {
    return index >= 0 && size_t(index) < menuArr.size() ? menuArr[size_t(index)] : "";
}

void ZVSuBillVC::dropdownMenu_didSelectOptionAtIndex_optionTitle(DMDropdownMenu&, long index, const std::string&) {
    flag = index + 1;
    tableViewDidTriggerHeaderRefresh();
}
