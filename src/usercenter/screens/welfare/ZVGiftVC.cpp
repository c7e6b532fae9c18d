#include "usercenter/screens/welfare/ZVGiftVC.h"

#include "platform/device/UIPasteboard.h"
#include "platform/dispatch/DispatchQueue.h"
#include "usercenter/core/CXRMessage.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVNetwork.h"
#include "usercenter/core/ZVResponses.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/common/ZVViewExtension.h"
#include "usercenter/screens/welfare/ZVWelfareReplies.h"

namespace {
constexpr double kMargin = 16;
constexpr double kButtonsHeight = 32;
using ZVWelfareReplies::kServerError;
constexpr auto kCopiedToastDelay = std::chrono::milliseconds(100);

std::shared_ptr<UILabel> makeLabel(double size, uint32_t colour, UIFontWeight weight = UIFontWeight::Regular) {
    auto l = std::make_shared<UILabel>();
    l->setFont(UIFont::systemFontOfSize(size, weight));
    l->setTextColor(UIColor::fromRGB(colour));
    return l;
}

// The player's current sub-account, "" while none is chosen.
Value currentSubAccount() {
    auto& id = ShareVale::sharedInstance().xiaohao_id;
    return id ? Value(*id) : Value("");
}
}  // namespace

// ---- ZVGiftCell

std::shared_ptr<ZVGiftCell> ZVGiftCell::fromNib() {
    auto cell = std::make_shared<ZVGiftCell>();
    cell->selectionStyle = UITableViewCellSelectionStyle::None;
    cell->setBackgroundColor(UIColor::clearColor());
    cell->nameL = makeLabel(16, 0x333333, UIFontWeight::Semibold);
    cell->showL = makeLabel(14, 0x666666);
    cell->timeL = makeLabel(13, 0x999999);
    cell->btn = UIButton::buttonWithType(UIButtonType::Custom);
    cell->btn->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    cell->btn->titleLabel()->setFont(UIFont::systemFontOfSize(14, UIFontWeight::Medium));
    cell->btn->layer()->setCornerRadius(15);
    cell->btn->setClipsToBounds(true);
    cell->line = std::make_shared<UIView>();
    cell->line->setBackgroundColor(UIColor::fromRGB(0xF0F0F0));
    for (auto& v : std::vector<std::shared_ptr<UIView>>{cell->nameL, cell->showL, cell->timeL, cell->btn, cell->line})
        cell->contentView()->addSubview(v);
    std::weak_ptr<ZVGiftCell> weak = cell;
    cell->btn->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->doBtnClick();
    });
    cell->awakeFromNib();
    return cell;
}

void ZVGiftCell::layoutSubviews() {
    UITableViewCell::layoutSubviews();
    double w = contentView()->bounds().width(), h = contentView()->bounds().height();
    double textW = std::max(0.0, w - 2 * kMargin - 84);
    nameL->setFrame(CGRect(kMargin, 18, textW, 22));
    showL->setFrame(CGRect(kMargin, 49, textW, 20));
    timeL->setFrame(CGRect(kMargin, 78, textW, 20));
    btn->setFrame(CGRect(w - kMargin - 72, (h - 30) / 2, 72, 30));
    line->setFrame(CGRect(kMargin, h - 0.5, w - 2 * kMargin, 0.5));
}

void ZVGiftCell::setDic(const Value& dic) {
    dic_ = dic;
    nameL->setText(dic["name"].textValue());
    if (claimed()) {
        btn->setTitle("复制", UIControlStateNormal);
        btn->setBackgroundColor(UIColor::lightGrayColor());
        showL->setText("礼包码：" + dic["code"].textValue());
        timeL->setText(dic["card_context"].textValue());
    } else {
        btn->setTitle("领取", UIControlStateNormal);
        btn->setBackgroundColor(XTExtention::colorWithHexString(kClaimColour));
        timeL->setText("有效期至：" + dic["end_time"].textValue());
        showL->setText(dic["excerpt"].textValue());
    }
}

bool ZVGiftCell::claimed() const { return ZVWelfareReplies::isClaimed(dic_); }

void ZVGiftCell::doBtnClick() {
    if (claimed()) copyCode();
    else claim();
}

// A missing or empty code leaves the pasteboard as it was; the toast shows all the same.
void ZVGiftCell::copyCode() {
    std::string code = dic_["code"].textValue();
    if (!code.empty()) UIPasteboard::generalPasteboard().setString(code);
    DispatchQueue::main()->asyncAfter(kCopiedToastDelay, [] { CXRMessage::showMessage("复制成功"); });
}

void ZVGiftCell::claim() {
    Value parameters = Value::dict({{"cardid", dic_["id"]},
                                    {"username", ShareVale::sharedInstance().userName()},
                                    {"xiaohao_id", currentSubAccount()}});
    std::weak_ptr<ZVGiftCell> weak = std::static_pointer_cast<ZVGiftCell>(sharedView());
    NetWorkManager::sharedInstance().PostCouponURL(
        ZVApi::kGiftClaim, parameters,
        [weak](const Value& reply) {
            CXRMessage::showMessage(reply["b"].textValue());
            auto self = weak.lock();
            if (self && ZVReplyStatus(reply, "a").value_or(0) != 0 && self->doRefrsh) self->doRefrsh();
        },
        [](const Error&) { CXRMessage::showMessage(kServerError); });
}

// ---- ZVGiftVC

const std::vector<std::string>& ZVGiftVC::typeTitles() {
    static const std::vector<std::string> titles{"新手礼包", "充值礼包", "专属礼包"};
    return titles;
}

void ZVGiftVC::loadView() {
    UIViewController::loadView();
    buildScene();
}

void ZVGiftVC::buildScene() {
    contentView = std::make_shared<UIScrollView>();
    contentView->showsVerticalScrollIndicator = false;
    contentView->alwaysBounceVertical = true;
    view()->addSubview(contentView);

    btnsView = std::make_shared<UIView>();
    btnsView->setBackgroundColor(UIColor::whiteColor());
    btnsView->layer()->setCornerRadius(kButtonsHeight / 2);
    std::weak_ptr<ZVGiftVC> weak = std::static_pointer_cast<ZVGiftVC>(sharedController());
    auto& titles = typeTitles();
    for (size_t i = 0; i < titles.size(); ++i) {
        auto b = UIButton::buttonWithType(UIButtonType::Custom);
        b->setTag(kFirstTag + long(i));
        b->setTitle(titles[i], UIControlStateNormal);
        b->setTitleColor(UIColor::fromRGB(0x333333), UIControlStateNormal);
        b->setTitleColor(UIColor::whiteColor(), UIControlStateSelected);
        b->titleLabel()->setFont(UIFont::systemFontOfSize(14));
        b->layer()->setCornerRadius(kButtonsHeight / 2);
        b->setClipsToBounds(true);
        b->addAction(UIControlEventTouchUpInside, [weak](UIControl& c) {
            if (auto self = weak.lock()) self->doBtnClick(static_cast<UIButton&>(c));
        });
        btnsView->addSubview(b);
        if (i == 0) oneBtn = b;
    }
    oneBtn->setSelected(true);  // the first type's look, as the scene starts
    oneBtn->setBackgroundColor(XTExtention::colorWithHexString(kSelectedColour));
    contentView->addSubview(btnsView);

    giftView = std::make_shared<UIView>();
    giftView->setBackgroundColor(UIColor::whiteColor());
    tableView = std::make_shared<UITableView>();
    tableView->separatorStyle = UITableViewCellSeparatorStyle::None;
    tableView->setBackgroundColor(UIColor::clearColor());
    tableView->setScrollEnabled(false);  // the page scrolls, the list is as high as its rows
    tableView->dataSource = std::static_pointer_cast<ZVGiftVC>(sharedController());
    tableView->setDelegate(std::static_pointer_cast<ZVGiftVC>(sharedController()));
    giftView->addSubview(tableView);
    contentView->addSubview(giftView);
    loadingNote = std::make_shared<ZVLoadingNote>();
    contentView->addSubview(loadingNote);
    tableViewH = std::make_shared<NSLayoutConstraint>(0, view());
}

void ZVGiftVC::viewDidLoad() {
    UIViewController::viewDidLoad();
    view()->setBackgroundColor(UIColor::clearColor());
    nowBtn_ = oneBtn;
    tableView->registerClass("ZVGiftCell", [] { return ZVGiftCell::fromNib(); });
    tableView->rowHeight = kRowHeight;
    loadData();
}

void ZVGiftVC::viewWillLayoutSubviews() {
    UIViewController::viewWillLayoutSubviews();
    CGRect b = view()->bounds();
    double cw = b.width() - 2 * kMargin;
    contentView->setFrame(b);
    btnsView->setFrame(CGRect(kMargin, 12, cw, kButtonsHeight));
    auto buttons = btnsView->subviews();
    double bw = buttons.empty() ? 0 : cw / double(buttons.size());
    for (size_t i = 0; i < buttons.size(); ++i) buttons[i]->setFrame(CGRect(bw * double(i), 0, bw, kButtonsHeight));
    double h = tableViewH->constant();
    giftView->setFrame(CGRect(kMargin, btnsView->frame().maxY() + 12, cw, h));
    tableView->setFrame(CGRect(0, 0, cw, h));
    contentView->setContentSize({b.width(), giftView->frame().maxY() + kMargin});
    double listTop = btnsView->frame().maxY();
    loadingNote->centreIn(CGRect(kMargin, listTop, cw, std::max(0.0, b.height() - listTop)));
    Extension::setShadowWithRadius(*giftView, 10.0);
}

void ZVGiftVC::doBtnClick(UIButton& button) {
    auto now = nowBtn();
    if (now.get() == &button) return;
    button.setBackgroundColor(XTExtention::colorWithHexString(kSelectedColour));
    button.setSelected(true);
    if (now) {
        now->setBackgroundColor(UIColor::clearColor());
        now->setSelected(false);
    }
    nowBtn_ = std::static_pointer_cast<UIButton>(button.sharedView());
    loadData();
}

void ZVGiftVC::loadData() {
    auto& share = ShareVale::sharedInstance();
    auto now = nowBtn();
    Value parameters = Value::dict({{"appid", share.appID()},
                                    {"gid", share.gameID()},
                                    {"username", share.userName()},
                                    {"xiaohao_id", currentSubAccount()},
                                    {"lx", (now ? now->tag() : kFirstTag) - kFirstTag}});
    std::weak_ptr<ZVGiftVC> weak = std::static_pointer_cast<ZVGiftVC>(sharedController());
    uint64_t generation = generations_.begin();
    loadingNote->requestSent();
    hideCardUnderNote();
    CXRSdpNetTool::sharedTool().PostWithURLString(
        ZVApi::kGiftList, parameters,
        [weak, generation](const Value& reply) {
            auto self = weak.lock();
            if (self && !self->generations_.superseded(generation)) self->showReply(reply);
        },
        [weak, generation](const Error&) {
            auto self = weak.lock();
            if (self && !self->generations_.superseded(generation)) self->showFailure(kServerError);
        });
}

void ZVGiftVC::showFailure(const std::string& message) {
    CXRMessage::showMessage(message, view());
    loadingNote->requestEnded(false);
    hideCardUnderNote();
}

// The card would show as an empty strip where the note stands.
void ZVGiftVC::hideCardUnderNote() { giftView->setHidden(!loadingNote->isHidden()); }

void ZVGiftVC::showReply(const Value& reply) {
    auto list = ZVWelfareReplies::giftList(reply);
    if (!list.packs) return showFailure(list.message);
    loadingNote->requestEnded(true);
    hideCardUnderNote();
    dataSource_ = std::move(*list.packs);
    tableViewH->setConstant(double(dataSource_.size()) * kRowHeight);
    tableView->reloadData();
}

long ZVGiftVC::tableView_numberOfRowsInSection(UITableView&, long) { return long(dataSource_.size()); }

std::shared_ptr<UITableViewCell> ZVGiftVC::tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) {
    auto cell = std::dynamic_pointer_cast<ZVGiftCell>(t.dequeueReusableCellWithIdentifier("ZVGiftCell", ip));
    if (!cell || size_t(ip.row) >= dataSource_.size()) return cell;
    cell->setDic(dataSource_[size_t(ip.row)]);
    cell->line->setHidden(size_t(ip.row) + 1 == dataSource_.size());
    std::weak_ptr<ZVGiftVC> weak = std::static_pointer_cast<ZVGiftVC>(sharedController());
    cell->doRefrsh = [weak] {
        if (auto self = weak.lock()) self->loadData();
    };
    return cell;
}
