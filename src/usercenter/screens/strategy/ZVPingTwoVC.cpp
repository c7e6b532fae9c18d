#include "usercenter/screens/strategy/ZVPingTwoVC.h"

#include "platform/ui/UIScreen.h"
#include "usercenter/core/ZVApi.h"

namespace {
Value idOf(const std::shared_ptr<ZVPingModel>& model) { return model ? model->Id : Value(); }
}  // namespace

std::string ZVPingTwoVC::listPath() const { return ZVApi::kCommentReplies; }

Value ZVPingTwoVC::listParameters() const {
    Value parameters = loginParameters();
    parameters.set("comments_id", idOf(headModel));
    return parameters;
}

Value ZVPingTwoVC::commitParameters(const std::string& text) const {
    Value parameters = ZVPingListBase::commitParameters(text);
    parameters.set("pid", idOf(headModel));
    return parameters;
}

const std::shared_ptr<ZVPingTwoHead>& ZVPingTwoVC::headView() {
    if (!headView_) {
        headView_ = ZVPingTwoHead::fromNib();
        headView_->setModel(headModel);
        double width = view()->bounds().width();
        headView_->setFrame(CGRect(0, 0, width, headView_->sizeThatFits({width, 0}).height));
        headView_->myVC = sharedController();
    }
    return headView_;
}

void ZVPingTwoVC::viewDidLoad() {
    ZVPingListBase::viewDidLoad();
    setNavTitle("评论");
    auto& table = tableView();
    table->registerClass(ZVPingTwoCell::kIdentifier, [] { return ZVPingTwoCell::fromNib(); });
    table->rowHeight = UITableViewAutomaticDimension;
    tableViewDidTriggerHeaderRefresh();
    view()->addSubview(inputView());
}

void ZVPingTwoVC::viewDidAppear(bool animated) {
    ZVPingListBase::viewDidAppear(animated);
    CGRect b = view()->bounds();
    bool notched = UIScreen::mainScreen().safeAreaInsets().bottom > 0;
    double h = inputView()->heightThatFits(), bottom = notched ? 34 : 0, top = notched ? 88 : 64;
    inputView()->setFrame(CGRect(0, b.height() - h - bottom, b.width(), h));
    tableView()->setFrame(CGRect(0, top, b.width(), inputView()->frame().minY() - top));
    tableView()->setTableHeaderView(headView());
}

std::shared_ptr<UITableViewCell> ZVPingTwoVC::tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) {
    auto cell = std::dynamic_pointer_cast<ZVPingTwoCell>(t.dequeueReusableCellWithIdentifier(ZVPingTwoCell::kIdentifier, ip));
    if (!cell) return std::make_shared<UITableViewCell>();
    cell->setModel(modelAt(ip));
    cell->myVC = sharedController();
    return cell;
}
