#include "usercenter/screens/shell/ZVRefreshViewController.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/UIBarItems.h"
#include "usercenter/core/CXRMessage.h"
#include "usercenter/core/ZVResponses.h"

namespace ZVListRefresh {

std::shared_ptr<ZVRefreshAutoNormalFooter> makeFooter(std::function<void()> block) {
    auto footer = ZVRefreshAutoNormalFooter::footerWithRefreshingBlock(std::move(block));
    footer->setTitle(ZVRefreshViewController::kNoMoreDataTitle, ZVRefreshState::NoMoreData);
    footer->setAccessibilityIdentifier("refresh_footer");
    return footer;
}

void finish(UITableView& table, bool isHeader, bool reload, bool footerShown, bool hasMore) {
    if (reload) table.reloadData();
    auto scroll = std::static_pointer_cast<UIScrollView>(table.sharedView());
    auto footer = footerShown ? ZVRefresh::ZV_footer(scroll) : nullptr;
    if (isHeader) {
        if (auto header = ZVRefresh::ZV_header(scroll)) header->endRefreshing();
        if (!footer) return;
        // A load-more this first page superseded still shows its spinner.
        if (footer->isRefreshing()) footer->endRefreshing();
        if (hasMore) footer->resetNoMoreData();
        else footer->endRefreshingWithNoMoreData();
        return;
    }
    if (!footer) return;
    if (hasMore) footer->endRefreshing();
    else footer->endRefreshingWithNoMoreData();
}

}  // namespace ZVListRefresh

ZVRefreshViewController::ZVRefreshViewController(ZVPager::Shape shape)
    : loadingNote_(std::make_shared<ZVLoadingNote>()) {
    // The pager outlives no screen: its sender holds the screen weakly.
    pager_ = ZVPager::create([this](int32_t pagecode, ZVSuccess success, ZVFailure failure) {
        Value parameters = listParameters();
        if (pagecode == 1) requestedList_ = listPath() + " " + parameters.toJSON();
        // A list of one page (its replies carry no page counter) asks for no page.
        if (!pager_->shape().nowPage.empty()) parameters.set("pagecode", pagecode);
        CXRSdpNetTool::sharedTool().PostWithURLString(listPath(), parameters, std::move(success), std::move(failure));
    }, std::move(shape));
}

void ZVRefreshViewController::firstPageRefused(const Value& reply) {
    CXRMessage::showMessage(ZVReplyMessage(reply, ""), view());
}

const std::shared_ptr<UITableView>& ZVRefreshViewController::tableView() {
    if (!tableView_) {
        tableView_ = std::make_shared<UITableView>();
        auto self = std::static_pointer_cast<ZVRefreshViewController>(sharedController());
        tableView_->dataSource = self;
        tableView_->setDelegate(self);
        tableView_->separatorStyle = UITableViewCellSeparatorStyle::None;
        tableView_->showsVerticalScrollIndicator = false;
        tableView_->setTableFooterView(defaultFooterView());
    }
    return tableView_;
}

const std::shared_ptr<UIView>& ZVRefreshViewController::defaultFooterView() {
    if (!defaultFooterView_) defaultFooterView_ = std::make_shared<UIView>();
    return defaultFooterView_;
}

void ZVRefreshViewController::viewDidLoad() {
    UIViewController::viewDidLoad();
    navTitleL_ = std::make_shared<UILabel>();
    navTitleL_->setFont(UIFont::systemFontOfSize(18, UIFontWeight::Medium));
    navTitleL_->setTextColor(UIColor::blackColor());
    navTitleL_->sizeToFit();
    navigationItem().titleView = navTitleL_;
    view()->setBackgroundColor(UIColor::whiteColor());
    view()->addSubview(tableView());
    view()->addSubview(loadingNote_);
}

void ZVRefreshViewController::viewDidLayoutSubviews() {
    UIViewController::viewDidLayoutSubviews();
    loadingNote_->centreIn(tableView()->frame());
    view()->bringSubviewToFront(loadingNote_);
}

void ZVRefreshViewController::firstPageAsked() { loadingNote_->requestSent(); }

void ZVRefreshViewController::setShowRefreshHeader(bool show) {
    if (show == showRefreshHeader_) return;
    showRefreshHeader_ = show;
    if (!show) {
        ZVRefresh::setZV_header(tableView(), nullptr);
        return;
    }
    std::weak_ptr<ZVRefreshViewController> weak = std::static_pointer_cast<ZVRefreshViewController>(sharedController());
    auto header = ZVRefreshNormalHeader::headerWithRefreshingBlock([weak] {
        if (auto self = weak.lock()) self->tableViewDidTriggerHeaderRefresh();
    });
    ZVRefresh::setZV_header(tableView(), header);
    header->setAccessibilityIdentifier("refresh_header");
}

void ZVRefreshViewController::setShowRefreshFooter(bool show) {
    if (show == showRefreshFooter_) return;
    showRefreshFooter_ = show;
    if (!show) {
        ZVRefresh::setZV_footer(tableView(), nullptr);
        return;
    }
    std::weak_ptr<ZVRefreshViewController> weak = std::static_pointer_cast<ZVRefreshViewController>(sharedController());
    ZVRefresh::setZV_footer(tableView(), ZVListRefresh::makeFooter([weak] {
        if (auto self = weak.lock()) self->tableViewDidTriggerFooterRefresh();
    }));
}

bool ZVRefreshViewController::isHeaderRefreshing() const {
    auto header = tableView_ ? ZVRefresh::ZV_header(tableView_) : nullptr;
    return showRefreshHeader_ && header && header->isRefreshing();
}

bool ZVRefreshViewController::isFooterRefreshing() const {
    auto footer = tableView_ ? ZVRefresh::ZV_footer(tableView_) : nullptr;
    return showRefreshFooter_ && footer && footer->isRefreshing();
}

void ZVRefreshViewController::tableViewDidTriggerHeaderRefresh() {
    if (listPath().empty()) return;
    firstPageAsked();
    ZVListRefresh::loadPage(*this, true);
}

void ZVRefreshViewController::tableViewDidTriggerFooterRefresh() {
    if (!listPath().empty()) ZVListRefresh::loadPage(*this, false);
}

void ZVRefreshViewController::autoTriggerHeaderRefresh() {
    if (showRefreshHeader_) tableViewDidTriggerHeaderRefresh();
}

void ZVRefreshViewController::tableViewDidFinishTriggerHeader(bool isHeader, bool reload) {
    if (isHeader) loadingNote_->requestEnded(reload);
    auto self = std::static_pointer_cast<ZVRefreshViewController>(sharedController());
    DispatchQueue::main()->async([self, isHeader, reload] {
        auto& table = *self->tableView();
        ZVListRefresh::finish(table, isHeader, reload, self->showRefreshFooter_, self->pager_->hasMore());
        if (isHeader && reload && std::exchange(self->anotherListShown_, false) && !table.isDragging())
            table.setContentOffset({table.contentOffset().x, table.minimumContentOffset().y});
    });
}

void ZVRefreshViewController::firstPageWillShow() {
    anotherListShown_ = requestedList_ != shownList_;
    shownList_ = requestedList_;
}

void ZVRefreshViewController::setNavTitle(const std::string& title) {
    navTitleL_->setText(title);
    navTitleL_->sizeToFit();
}

long ZVRefreshViewController::tableView_numberOfRowsInSection(UITableView&, long) { return long(dataSource.size()); }

std::shared_ptr<UITableViewCell> ZVRefreshViewController::tableView_cellForRowAtIndexPath(UITableView& t,
                                                                                          const NSIndexPath& ip) {
    auto cell = t.dequeueReusableCellWithIdentifier("UITableViewCell");
    return cell ? cell : std::make_shared<UITableViewCell>(UITableViewCellStyle::Default, "UITableViewCell");
}

const Value& ZVRefreshViewController::rowAt(const NSIndexPath& ip) const {
    if (ip.row < 0 || size_t(ip.row) >= dataSource.size()) return Value::null();
    return dataSource[size_t(ip.row)];
}
