#include "usercenter/screens/welfare/ZVServerVC.h"

#include "platform/dispatch/DispatchQueue.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/shell/ZVRefreshViewController.h"

// ---- ZVServerCell

ZVServerCell::ZVServerCell(UITableViewCellStyle style, std::string reuseIdentifier)
    : UITableViewCell(style, std::move(reuseIdentifier)) {
    setBackgroundColor(UIColor::clearColor());
    selectionStyle = UITableViewCellSelectionStyle::None;
    auto label = [](double size, const UIColor& colour) {
        auto l = std::make_shared<UILabel>();
        l->setFont(UIFont::systemFontOfSize(size));
        l->setTextColor(colour);
        return l;
    };
    serverL = label(14, UIColor::fromRGB(0x333333));
    timeL = label(13, UIColor::fromRGB(0x666666));
    statusL = label(12, UIColor::whiteColor());
    statusL->setTextAlignment(NSTextAlignment::Center);
    statusL->layer()->setCornerRadius(11);
    statusL->setClipsToBounds(true);
    pointIcon = std::make_shared<UIImageView>(ZVColor::sdkImageNamed("zv_server_point"));
}

std::shared_ptr<ZVServerCell> ZVServerCell::fromNib() {
    auto cell = std::make_shared<ZVServerCell>();
    cell->awakeFromNib();
    return cell;
}

void ZVServerCell::awakeFromNib() {
    for (auto& v : std::vector<std::shared_ptr<UIView>>{pointIcon, serverL, timeL, statusL}) contentView()->addSubview(v);
    if (auto image = pointIcon->image()) pointIcon->setImage(image->imageWithRenderingMode(UIImageRenderingMode::AlwaysTemplate));
    pointIcon->setTintColor(XTExtention::colorWithHexString(kOpenColour));
}

void ZVServerCell::layoutSubviews() {
    UITableViewCell::layoutSubviews();
    double w = contentView()->bounds().width(), h = contentView()->bounds().height();
    pointIcon->setFrame(CGRect(15, (h - 8) / 2, 8, 8));
    serverL->setFrame(CGRect(31, 0, 130, h));
    statusL->setFrame(CGRect(w - 15 - 60, (h - 22) / 2, 60, 22));
    timeL->setFrame(CGRect(165, 0, std::max(0.0, w - 165 - 85), h));
}

void ZVServerCell::setDic(const Value& dic) {
    dic_ = dic;
    serverL->setText(dic["servername"].textValue());
    timeL->setText(dic["day"].textValue() + " " + dic["hour"].textValue());
    bool opened = dic["status"].boolValue();
    statusL->setText(opened ? "已开服" : "未开服");
    statusL->setBackgroundColor(opened ? UIColor::lightGrayColor() : XTExtention::colorWithHexString(kOpenColour));
}

// ---- ZVServerVC

ZVServerVC::ZVServerVC() {
    pager_ = ZVPager::create([](int32_t pagecode, ZVSuccess success, ZVFailure failure) {
        Value parameters = Value::dict({{"gid", ShareVale::sharedInstance().gameID()}, {"pagecode", pagecode}});
        CXRSdpNetTool::sharedTool().PostWithURLString(ZVApi::kServerList, parameters, std::move(success),
                                                      std::move(failure));
    });
}

const std::shared_ptr<UITableView>& ZVServerVC::tableView() {
    if (!tableView_) {
        tableView_ = std::make_shared<UITableView>();
        auto self = std::static_pointer_cast<ZVServerVC>(sharedController());
        tableView_->dataSource = self;
        tableView_->setDelegate(self);
        tableView_->separatorStyle = UITableViewCellSeparatorStyle::None;
    }
    return tableView_;
}

const std::shared_ptr<UIView>& ZVServerVC::headView() {
    if (!headView_) {
        // Heights fit the fonts' lines (two for the explanation), with a margin at the sides.
        double width = view()->bounds().width();
        headView_ = std::make_shared<UIView>(CGRect(0, 0, width, 88));
        auto title = std::make_shared<UILabel>(CGRect(0, 8, width, 22));
        title->setText(kAutoTitle);
        title->setTextColor(UIColor::blackColor());
        title->setFont(UIFont::systemFontOfSize(15, UIFontWeight::Medium));
        title->setTextAlignment(NSTextAlignment::Center);
        auto text = std::make_shared<UILabel>(CGRect(15, 36, width - 30, 46));
        text->setText(kAutoText);
        text->setFont(UIFont::systemFontOfSize(14));
        text->setTextColor(UIColor::darkGrayColor());
        text->setNumberOfLines(0);
        text->setTextAlignment(NSTextAlignment::Center);
        for (auto& v : std::vector<std::shared_ptr<UIView>>{headView_, title, text})
            v->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
        headView_->addSubview(title);
        headView_->addSubview(text);
    }
    return headView_;
}

void ZVServerVC::viewDidLoad() {
    UIViewController::viewDidLoad();
    view()->setBackgroundColor(UIColor::clearColor());
    view()->addSubview(tableView());
    tableView_->registerClass("ZVServerCell", [] { return ZVServerCell::fromNib(); });
    tableView_->setBackgroundColor(UIColor::clearColor());
    tableView_->rowHeight = ZVServerCell::kRowHeight;
    view()->addSubview(loadingNote_);
    tableViewDidTriggerHeaderRefresh();
}

void ZVServerVC::viewWillLayoutSubviews() {
    tableView()->setFrame(view()->bounds());
    loadingNote_->centreIn(tableView_->frame());
}

void ZVServerVC::setShowRefreshFooter(bool show) {
    if (show == showRefreshFooter_) return;
    showRefreshFooter_ = show;
    std::weak_ptr<ZVServerVC> weak = std::static_pointer_cast<ZVServerVC>(sharedController());
    ZVRefresh::setZV_footer(tableView(), show ? ZVListRefresh::makeFooter([weak] {
        if (auto self = weak.lock()) self->tableViewDidTriggerFooterRefresh();
    })
                                              : nullptr);
}

void ZVServerVC::tableViewDidTriggerHeaderRefresh() {
    loadingNote_->requestSent();
    ZVListRefresh::loadPage(*this, true);
}
void ZVServerVC::tableViewDidTriggerFooterRefresh() { ZVListRefresh::loadPage(*this, false); }

void ZVServerVC::firstPageDidLoad(const ZVPager::Page& page) {
    tableView()->setTableHeaderView(page.reply["auto"].boolValue() ? headView() : nullptr);
}

void ZVServerVC::tableViewDidFinishTriggerHeader(bool isHeader, bool reload) {
    if (isHeader) loadingNote_->requestEnded(reload);
    std::weak_ptr<ZVServerVC> weak = std::static_pointer_cast<ZVServerVC>(sharedController());
    DispatchQueue::main()->async([weak, isHeader, reload] {
        if (auto self = weak.lock())
            ZVListRefresh::finish(*self->tableView(), isHeader, reload, self->showRefreshFooter_, self->pager_->hasMore());
    });
}

long ZVServerVC::tableView_numberOfRowsInSection(UITableView&, long) { return long(dataSource.size()); }

std::shared_ptr<UITableViewCell> ZVServerVC::tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) {
    auto cell = std::dynamic_pointer_cast<ZVServerCell>(t.dequeueReusableCellWithIdentifier("ZVServerCell", ip));
    if (cell && size_t(ip.row) < dataSource.size()) cell->setDic(dataSource[size_t(ip.row)]);
    return cell;
}
