#include "usercenter/screens/welfare/ZVActivityVC.h"

#include <cmath>

#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/common/ZVColorExtension.h"

namespace {
constexpr double kPictureRatio = 0.42;
constexpr double kTitleLines = 2;
}  // namespace

ZVActivityCell::ZVActivityCell(UITableViewCellStyle style, std::string reuseIdentifier)
    : ZVPostCell(style, std::move(reuseIdentifier)) {
    nameL->setNumberOfLines(int(kTitleLines));
    tagL = std::make_shared<UILabel>();
    tagL->setFont(UIFont::systemFontOfSize(11, UIFontWeight::Medium));
    tagL->setTextColor(UIColor::whiteColor());
    tagL->setTextAlignment(NSTextAlignment::Center);
    tagL->layer()->setCornerRadius(4);
    tagL->setClipsToBounds(true);
}

std::shared_ptr<ZVActivityCell> ZVActivityCell::fromNib() {
    auto cell = std::make_shared<ZVActivityCell>();
    cell->awakeFromNib();
    return cell;
}

void ZVActivityCell::awakeFromNib() {
    ZVPostCell::awakeFromNib();
    bgView->addSubview(tagL);
}

void ZVActivityCell::setDic(const Value& dic) {
    ZVPostCell::setDic(dic);
    tagL->setText(dic["flag"].textValue());
    tagL->setBackgroundColor(XTExtention::colorWithHexString(dic["flag_color"].textValue()));
}

double ZVActivityCell::place(double width, bool apply) const {
    double w = std::max(0.0, width - 2 * kMargin);
    double picture = std::round(w * kPictureRatio);
    double lineHeight = nameL->font()->lineHeight();
    double title = std::min(nameL->sizeThatFits({w - 2 * kInset, 0}).height, lineHeight * kTitleLines);
    title = std::max(title, lineHeight);
    double card = picture + 10 + title + 6 + 18 + 12;
    if (apply) {
        bgView->setFrame(CGRect(kMargin, 8, w, card));
        picView->setFrame(CGRect(0, 0, w, picture));
        picView->layer()->setCornerRadius(10);
        double tagWidth = tagL->text().empty() ? 0 : tagL->sizeThatFits({0, 0}).width + 16;
        tagL->setFrame(CGRect(10, 10, tagWidth, 20));
        nameL->setFrame(CGRect(kInset, picture + 10, w - 2 * kInset, title));
        timeL->setFrame(CGRect(kInset, picture + 16 + title, w - 2 * kInset, 18));
    }
    return card + 16;
}

void ZVActivityCell::layoutSubviews() {
    place(contentView()->bounds().width(), true);
    ZVPostCell::layoutSubviews();
}

CGSize ZVActivityCell::sizeThatFits(CGSize size) const {
    double width = size.width > 0 ? size.width : bounds().width();
    return {width, place(width, false)};
}

ZVActivityVC::ZVActivityVC() : ZVPostListVC(kEmptyNotice, ZVApi::kActivityList) {}

void ZVActivityVC::viewDidLoad() {
    ZVRefreshViewController::viewDidLoad();
    prepareTable("ZVActivityCell", [] { return ZVActivityCell::fromNib(); }, UITableViewAutomaticDimension);
    setShowRefreshHeader(true);
    tableViewDidTriggerHeaderRefresh();
}

std::shared_ptr<UITableViewCell> ZVActivityVC::tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) {
    return postCell(t, ip, "ZVActivityCell");
}
