#include "usercenter/screens/strategy/ZVPingVC.h"

#include "platform/ui/UIGestureRecognizer.h"
#include "platform/ui/UINavigationController.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/strategy/ZVPingTwoVC.h"

std::string ZVPingVC::listPath() const { return ZVApi::kCommentList; }

Value ZVPingVC::listParameters() const {
    Value parameters = loginParameters();
    parameters.set("px", flag);
    return parameters;
}

const std::shared_ptr<UIImageView>& ZVPingVC::picView() {
    if (!picView_) {
        picView_ = std::make_shared<UIImageView>(ZVColor::sdkImageNamed("zv_tab_ping_topPic.png"));
        picView_->setContentMode(UIViewContentMode::ScaleAspectFit);
        picView_->setUserInteractionEnabled(true);
        std::weak_ptr<ZVPingVC> weak = std::static_pointer_cast<ZVPingVC>(sharedController());
        picView_->addGestureRecognizer(std::make_shared<UITapGestureRecognizer>([weak](UIGestureRecognizer&) {
            if (auto self = weak.lock()) self->goToRoleVC();
        }));
    }
    return picView_;
}

const std::shared_ptr<UIView>& ZVPingVC::topView() {
    if (!topView_) {
        topView_ = std::make_shared<UIView>(CGRect(0, 0, view()->bounds().width(), 30));
        auto heading = std::make_shared<UILabel>(CGRect(16, 0, 100, 30));
        heading->setText("游戏点评");
        heading->setTextAlignment(NSTextAlignment::Left);
        heading->setTextColor(UIColor::blackColor());
        heading->setFont(UIFont::systemFontOfSize(15, UIFontWeight::Medium));
        topView_->addSubview(heading);
        topView_->addSubview(menu());
    }
    return topView_;
}

const std::shared_ptr<DMDropdownMenu>& ZVPingVC::menu() {
    if (!menu_) {
        menu_ = std::make_shared<DMDropdownMenu>();
        menu_->setFrame(CGRect(UIScreen::mainScreen().bounds().width() - 80 - 16, 0, 80, 30));
        auto self = std::static_pointer_cast<ZVPingVC>(sharedController());
        menu_->setDataSource(self);
        menu_->setDelegate(self);
        menu_->setBackgroundColor(UIColor::clearColor());
        menu_->setTitle(menuArr[size_t(flag)]);
        menu_->setTitleFont(UIFont::boldSystemFontOfSize(12));
        menu_->setTitleColor(UIColor::darkGrayColor());
        menu_->setTitleAlignment(0);
        menu_->setTitleEdgeInsets({0, 15, 0, 0});
        menu_->setRotateIcon(ZVColor::sdkImageNamed("zv_tab_autoArrow.png"));
        menu_->setRotateIconSize({15, 15});
        menu_->setOptionFont(UIFont::systemFontOfSize(12));
        menu_->setOptionTextColor(UIColor::darkGrayColor());
        menu_->setOptionBgColor(UIColor::fromRGB(0xF0F0F0));
        menu_->setOptionLineColor(UIColor::whiteColor());
        menu_->setOptionTextAlignment(1);
        menu_->setOptionIconSize({1, 1});
    }
    return menu_;
}

void ZVPingVC::viewDidLoad() {
    ZVPingListBase::viewDidLoad();
    view()->setBackgroundColor(UIColor::clearColor());
    view()->addSubview(picView());
    view()->addSubview(topView());
    auto& table = tableView();
    table->registerClass(ZVPingCell::kIdentifier, [] { return ZVPingCell::fromNib(); });
    table->rowHeight = UITableViewAutomaticDimension;
    table->setBackgroundColor(UIColor::clearColor());
    setShowRefreshHeader(true);
    tableViewDidTriggerHeaderRefresh();
    view()->addSubview(inputView());
}

void ZVPingVC::viewDidAppear(bool animated) {
    ZVPingListBase::viewDidAppear(animated);
    CGRect b = view()->bounds();
    double h = inputView()->heightThatFits();
    inputView()->setFrame(CGRect(0, b.height() - h, b.width(), h));
    picView()->setFrame(CGRect(0, 0, b.width(), 44));
    topView()->setFrame(CGRect(0, picView()->frame().maxY() + 10, b.width(), 30));
    double top = topView()->frame().maxY();
    tableView()->setFrame(CGRect(0, top, b.width(), inputView()->frame().minY() - top));
    // A like given in a thread shows on the row it came from.
    tableView()->reloadData();
}

void ZVPingVC::goToRoleVC() { ZVPingOpenPage(this, kRulesName, ZVApi::kCommentRulesPage); }

std::shared_ptr<UITableViewCell> ZVPingVC::tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) {
    auto cell = std::dynamic_pointer_cast<ZVPingCell>(t.dequeueReusableCellWithIdentifier(ZVPingCell::kIdentifier, ip));
    if (!cell) return std::make_shared<UITableViewCell>();
    cell->setModel(modelAt(ip));
    cell->myVC = sharedController();
    return cell;
}

void ZVPingVC::tableView_didSelectRowAtIndexPath(UITableView&, const NSIndexPath& ip) {
    auto model = modelAt(ip);
    auto nav = navigationController();
    if (!model || !nav) return;
    auto thread = std::make_shared<ZVPingTwoVC>();
    thread->headModel = model;
    nav->pushViewController(thread, true);
}

std::string ZVPingVC::dropdownMenu_titleForOptionAtIndex(DMDropdownMenu&, long index) {
    return index >= 0 && size_t(index) < menuArr.size() ? menuArr[size_t(index)] : "";
}

void ZVPingVC::dropdownMenu_didSelectOptionAtIndex_optionTitle(DMDropdownMenu&, long index, const std::string&) {
    flag = index;
    tableViewDidTriggerHeaderRefresh();
}
