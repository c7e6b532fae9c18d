#include "usercenter/screens/strategy/ZVStrategyVC.h"

#include "usercenter/core/ZVApi.h"

ZVStrategyCell::ZVStrategyCell(UITableViewCellStyle style, std::string reuseIdentifier)
    : ZVPostCell(style, std::move(reuseIdentifier)) {}

std::shared_ptr<ZVStrategyCell> ZVStrategyCell::fromNib() {
    auto cell = std::make_shared<ZVStrategyCell>();
    cell->awakeFromNib();
    return cell;
}

void ZVStrategyCell::layoutSubviews() {
    CGRect b = contentView()->bounds();
    double w = b.width() - 2 * kMargin;
    bgView->setFrame(CGRect(kMargin, 8, w, b.height() - 16));
    picView->setFrame(CGRect(0, 0, w, 160));
    picView->layer()->setCornerRadius(10);
    nameL->setFrame(CGRect(kInset, 170, w - 2 * kInset, 22));
    timeL->setFrame(CGRect(kInset, 198, w - 2 * kInset, 18));
    ZVPostCell::layoutSubviews();
}

ZVStrategyVC::ZVStrategyVC() : ZVPostListVC(kEmptyNotice, ZVApi::kGuideList) {}

void ZVStrategyVC::viewDidLoad() {
    ZVRefreshViewController::viewDidLoad();
    prepareTable("ZVStrategyCell", [] { return ZVStrategyCell::fromNib(); }, ZVStrategyCell::kRowHeight);
    tableViewDidTriggerHeaderRefresh();
}

std::shared_ptr<UITableViewCell> ZVStrategyVC::tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) {
    return postCell(t, ip, "ZVStrategyCell");
}
