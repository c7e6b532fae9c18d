#include "usercenter/screens/account/ZVUserMsgVC.h"

#include "platform/ui/UINavigationController.h"
#include "platform/ui/UIScreen.h"
#include "platform/ui/UIStoryboard.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVNetwork.h"
#include "usercenter/core/ZVResponses.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/shell/ZVScene.h"
#include "usercenter/screens/shell/ZVSuWebVC.h"

// ---- ZVUserMsgModel

bool ZVUserMsgModel::isRead() const { return Value(status).boolValue(); }

const zv::ModelTable<ZVUserMsgModel>& ZVUserMsgModel::zvTable() {
    static const auto table = zv::ModelTable<ZVUserMsgModel>()
                                  .field("msgId", &ZVUserMsgModel::msgId)
                                  .field("status", &ZVUserMsgModel::status)
                                  .field("title", &ZVUserMsgModel::title)
                                  .field("content", &ZVUserMsgModel::content)
                                  .field("addtime", &ZVUserMsgModel::addtime)
                                  .field("url", &ZVUserMsgModel::url)
                                  .replacedKeys({{"msgId", "id"}});
    return table;
}

// ---- ZVUserMsgCell

ZVUserMsgCell::ZVUserMsgCell(UITableViewCellStyle style, std::string reuseIdentifier)
    : UITableViewCell(style, std::move(reuseIdentifier)) {
    selectionStyle = UITableViewCellSelectionStyle::None;
    iconView = std::make_shared<UIImageView>(ZVColor::sdkImageNamed("zv_user_msgIcon.png"));
    auto label = [](double size, uint32_t colour) {
        auto l = std::make_shared<UILabel>();
        l->setFont(UIFont::systemFontOfSize(size));
        l->setTextColor(UIColor::fromRGB(colour));
        return l;
    };
    nameL = label(15, 0x333333);
    nameL->setFont(UIFont::systemFontOfSize(15, UIFontWeight::Medium));
    timeL = label(12, 0x999999);
    timeL->setTextAlignment(NSTextAlignment::Right);
    showL = label(13, 0x999999);
    pointView = std::make_shared<UIView>();
    pointView->setBackgroundColor(UIColor::fromRGB(0xFF4D4F));
    pointView->layer()->setCornerRadius(4);
}

std::shared_ptr<ZVUserMsgCell> ZVUserMsgCell::fromNib() {
    auto cell = std::make_shared<ZVUserMsgCell>();
    cell->awakeFromNib();
    return cell;
}

void ZVUserMsgCell::awakeFromNib() {
    for (auto& v : std::vector<std::shared_ptr<UIView>>{iconView, nameL, timeL, showL, pointView})
        contentView()->addSubview(v);
    auto line = std::make_shared<UIView>();
    line->setBackgroundColor(UIColor::fromRGB(0xF0F0F0));
    line->setAccessibilityIdentifier("line");
    contentView()->addSubview(line);
}

void ZVUserMsgCell::setModel(const ZVUserMsgModel& model) {
    model_ = model;
    nameL->setText(model.title);
    timeL->setText(model.addtime);
    showL->setText(model.content);
    pointView->setHidden(model.isRead());
}

void ZVUserMsgCell::layoutSubviews() {
    UITableViewCell::layoutSubviews();
    double w = contentView()->bounds().width(), h = contentView()->bounds().height();
    iconView->setFrame(CGRect(15, (h - 44) / 2, 44, 44));
    pointView->setFrame(CGRect(53, (h - 44) / 2 - 2, 8, 8));
    timeL->setFrame(CGRect(w - 15 - 110, 16, 110, 22));
    nameL->setFrame(CGRect(72, 16, std::max(0.0, w - 72 - 125), 22));
    showL->setFrame(CGRect(72, 44, std::max(0.0, w - 72 - 15), 20));
    for (auto& v : contentView()->subviews())
        if (v->accessibilityIdentifier() == "line") v->setFrame(CGRect(72, h - 0.5, w - 72, 0.5));
}

// ---- ZVUserMsgVC

ZVUserMsgVC::ZVUserMsgVC() : ZVRefreshViewController(ZVPager::Shape{{"c"}, {"nowpage"}, {"allnum"}, true}) {}

std::string ZVUserMsgVC::listPath() const { return ZVApi::kMessageList; }

Value ZVUserMsgVC::listParameters() const {
    auto& share = ShareVale::sharedInstance();
    return Value::dict({{"username", share.userName()}, {"channel", share.chanelid()}});
}

void ZVUserMsgVC::viewDidLoad() {
    ZVRefreshViewController::viewDidLoad();
    setNavTitle("消息中心");
    double top = UIScreen::mainScreen().navigationBarTop();
    auto& table = tableView();
    table->setFrame(CGRect(0, top, view()->bounds().width(), view()->bounds().height() - top));
    table->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    table->registerClass("ZVUserMsgCell", [] { return ZVUserMsgCell::fromNib(); });
    table->rowHeight = ZVUserMsgCell::kRowHeight;
    tableViewDidTriggerHeaderRefresh();
}

std::shared_ptr<UITableViewCell> ZVUserMsgVC::tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) {
    auto cell = std::dynamic_pointer_cast<ZVUserMsgCell>(t.dequeueReusableCellWithIdentifier("ZVUserMsgCell", ip));
    if (cell) cell->setModel(modelAt<ZVUserMsgModel>(ip));
    return cell;
}

void ZVUserMsgVC::tableView_didSelectRowAtIndexPath(UITableView&, const NSIndexPath& ip) {
    if (rowAt(ip).isNull()) return;
    auto model = modelAt<ZVUserMsgModel>(ip);
    auto web = ZVScene<ZVSuWebVC>("ZVSuWebVC");
    if (web && navigationController()) {
        web->name = model.title;
        web->url = model.url;
        web->isShowSuperVc = true;
        navigationController()->pushViewController(web, true);
    }
    if (!model.isRead()) readNewsWithModel(model, ip);
}

void ZVUserMsgVC::readNewsWithModel(const ZVUserMsgModel& model, const NSIndexPath& ip) {
    Value parameters = Value::dict({{"id", model.msgId ? Value(*model.msgId) : Value("")},
                                    {"username", ShareVale::sharedInstance().userName()}});
    std::weak_ptr<ZVUserMsgVC> weak = std::static_pointer_cast<ZVUserMsgVC>(sharedController());
    CXRSdpNetTool::sharedTool().PostWithURLString(
        ZVApi::kMessageRead, parameters,
        [weak, id = model.msgId, ip](const Value& reply) {
            auto self = weak.lock();
            if (!self || !ZVReplySucceeded(reply, "a")) return;
            // The row is looked up again: a reload may have come in meanwhile.
            auto& rows = self->dataSource;
            if (size_t(ip.row) < rows.size() && self->modelAt<ZVUserMsgModel>(ip).msgId == id) {
                rows[size_t(ip.row)].set("status", "1");
                self->tableView()->reloadRowsAtIndexPaths({ip});
            }
            if (auto block = self->refreshBlock) block();
        },
        [](const Error&) {});
}
