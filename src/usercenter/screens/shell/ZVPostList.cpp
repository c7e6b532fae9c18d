#include "usercenter/screens/shell/ZVPostList.h"

#include "imagecache/setters/UIImageViewZVExtension.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/ui/UINavigationController.h"
#include "platform/ui/UIStoryboard.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/shell/ZVSuWebVC.h"
#include "usercenter/screens/common/ZVViewExtension.h"

// ---- ZVPostCell

ZVPostCell::ZVPostCell(UITableViewCellStyle style, std::string reuseIdentifier)
    : UITableViewCell(style, std::move(reuseIdentifier)) {
    setBackgroundColor(UIColor::clearColor());
    selectionStyle = UITableViewCellSelectionStyle::None;
    bgView = std::make_shared<UIView>();
    bgView->setBackgroundColor(UIColor::whiteColor());
    picView = std::make_shared<UIImageView>();
    picView->setBackgroundColor(UIColor::fromRGB(0xF2F2F2));
    picView->setContentMode(UIViewContentMode::ScaleAspectFill);
    picView->setClipsToBounds(true);
    nameL = std::make_shared<UILabel>();
    nameL->setFont(UIFont::boldSystemFontOfSize(16));
    nameL->setTextColor(UIColor::fromRGB(0x333333));
    timeL = std::make_shared<UILabel>();
    timeL->setFont(UIFont::systemFontOfSize(12));
    timeL->setTextColor(UIColor::fromRGB(0x999999));
}

void ZVPostCell::awakeFromNib() {
    contentView()->addSubview(bgView);
    for (auto& v : std::vector<std::shared_ptr<UIView>>{picView, nameL, timeL}) bgView->addSubview(v);
}

void ZVPostCell::setDic(const Value& dic) {
    dic_ = dic;
    nameL->setText(dic["post_title"].textValue());
    timeL->setText("发布时间：" + dic["post_date"].textValue());
    ZVExtension::setGameIconWithUrlStr(*picView, dic["pic1"].textValue(), "");
    setNeedsLayout();
}

void ZVPostCell::layoutSubviews() {
    UITableViewCell::layoutSubviews();
    Extension::setShadowWithRadius(*bgView, 10);
}

// ---- ZVPostListVC

ZVPostListVC::ZVPostListVC(std::string notice, std::string path) : notice_(std::move(notice)), path_(std::move(path)) {}

const std::shared_ptr<UIView>& ZVPostListVC::tempView() {
    if (!tempView_) {
        tempView_ = std::make_shared<UIView>(CGRect(0, 0, 200, 120));
        tempView_->setBackgroundColor(UIColor::clearColor());
        auto picture = std::make_shared<UIImageView>(CGRect(40, 0, 120, 95));
        picture->setImage(ZVColor::sdkImageNamed("zv_tab_noPic.png"));
        auto label = std::make_shared<UILabel>(CGRect(0, 100, 200, 20));
        label->setText(notice_);
        label->setTextColor(UIColor::darkGrayColor());
        label->setTextAlignment(NSTextAlignment::Center);
        label->setFont(UIFont::systemFontOfSize(14));
        tempView_->addSubview(picture);
        tempView_->addSubview(label);
    }
    return tempView_;
}

Value ZVPostListVC::listParameters() const {
    auto& share = ShareVale::sharedInstance();
    return Value::dict({{"username", share.userName()},
                        {"gid", share.gameID()},
                        {"cpsId", share.chanelid()},
                        {"type", "ios"},
                        {"appid", share.appID()}});
}

void ZVPostListVC::prepareTable(const std::string& identifier, std::function<std::shared_ptr<UITableViewCell>()> make,
                                double rowHeight) {
    view()->setBackgroundColor(UIColor::clearColor());
    auto& table = tableView();
    table->registerClass(identifier, std::move(make));
    table->rowHeight = rowHeight;
    table->setBackgroundColor(UIColor::clearColor());
}

void ZVPostListVC::viewWillLayoutSubviews() {
    ZVRefreshViewController::viewWillLayoutSubviews();
    CGRect b = view()->bounds();
    tableView()->setFrame(CGRect(0, 0, b.width(), b.height()));
    tempView()->setCenter(tableView()->center());
}

void ZVPostListVC::firstPageDidLoad(const ZVPager::Page&) {
    if (!dataSource.empty()) tempView()->removeFromSuperview();
    else view()->addSubview(tempView());
    viewWillLayoutSubviews();
}

std::shared_ptr<UITableViewCell> ZVPostListVC::postCell(UITableView& t, const NSIndexPath& ip,
                                                        const std::string& identifier) {
    auto cell = std::dynamic_pointer_cast<ZVPostCell>(t.dequeueReusableCellWithIdentifier(identifier, ip));
    if (cell) cell->setDic(rowAt(ip));
    return cell;
}

void ZVPostListVC::tableView_didSelectRowAtIndexPath(UITableView&, const NSIndexPath& ip) {
    auto storyboard = UIStoryboard::storyboardWithName("ZVSuTabBarVC");
    auto web = storyboard ? std::dynamic_pointer_cast<ZVSuWebVC>(storyboard->instantiateViewControllerWithIdentifier("ZVSuWebVC"))
                          : nullptr;
    auto nav = navigationController();
    if (!web || !nav) {
        NSLog("ZVPostListVC: no web page or no navigation to open the post in");
        return;
    }
    web->name = "";
    web->url = rowAt(ip)["openurl"].textValue();
    web->isShowSuperVc = true;
    nav->pushViewController(web, true);
}
