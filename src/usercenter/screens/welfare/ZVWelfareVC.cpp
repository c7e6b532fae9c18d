#include "usercenter/screens/welfare/ZVWelfareVC.h"

#include <cmath>

#include "platform/ui/UITabBarController.h"
#include "usercenter/core/CXRMessage.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/URLEncode.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVNetwork.h"
#include "usercenter/core/ZVResponses.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/common/ZVViewExtension.h"
#include "usercenter/screens/welfare/ZVWelfareReplies.h"

namespace {
constexpr double kMargin = 16;        // around and inside the cards
constexpr double kTitleBottom = 46;   // a card's content starts below its title
constexpr double kButtonHeight = 28;
using ZVWelfareReplies::kServerError;

std::shared_ptr<UILabel> makeLabel(double size, uint32_t colour, UIFontWeight weight = UIFontWeight::Regular) {
    auto l = std::make_shared<UILabel>();
    l->setFont(UIFont::systemFontOfSize(size, weight));
    l->setTextColor(UIColor::fromRGB(colour));
    return l;
}

std::shared_ptr<UIView> makeCard() {
    auto card = std::make_shared<UIView>();
    card->setBackgroundColor(UIColor::whiteColor());
    card->layer()->setCornerRadius(10);
    return card;
}

// A fold button: `folded` while not selected, `unfolded` while selected.
std::shared_ptr<UIButton> makeFoldButton(const std::string& folded, const std::string& unfolded, const UIColor& colour) {
    auto b = UIButton::buttonWithType(UIButtonType::Custom);
    b->setTitle(folded, UIControlStateNormal);
    b->setTitle(unfolded, UIControlStateSelected);
    b->setTitleColor(colour, UIControlStateNormal);
    b->setTitleColor(colour, UIControlStateSelected);
    b->titleLabel()->setFont(UIFont::systemFontOfSize(14));
    b->setHidden(true);
    return b;
}
}  // namespace

// ---- ZVWelfareVipCell

std::shared_ptr<ZVWelfareVipCell> ZVWelfareVipCell::fromNib() {
    auto cell = std::make_shared<ZVWelfareVipCell>();
    cell->selectionStyle = UITableViewCellSelectionStyle::None;
    cell->setBackgroundColor(UIColor::whiteColor());
    for (long tag : {kLevelTag, kAmountTag}) {
        auto l = std::make_shared<UILabel>();
        l->setTag(tag);
        l->setTextAlignment(NSTextAlignment::Center);
        cell->contentView()->addSubview(l);
    }
    cell->awakeFromNib();
    return cell;
}

std::shared_ptr<UILabel> ZVWelfareVipCell::label(long tag) {
    return std::dynamic_pointer_cast<UILabel>(contentView()->viewWithTag(tag));
}

void ZVWelfareVipCell::setIsFirst(bool isFirst) {
    isFirst_ = isFirst;
    for (long tag : {kLevelTag, kAmountTag}) {
        auto l = label(tag);
        if (!l) continue;
        l->setBackgroundColor(XTExtention::colorWithHexString(isFirst ? kHeaderBackground : kRowBackground));
        l->setTextColor(XTExtention::colorWithHexString(isFirst ? "#4816CA" : "#666666"));
        l->setFont(UIFont::systemFontOfSize(16, isFirst ? UIFontWeight::Semibold : UIFontWeight::Regular));
    }
}

void ZVWelfareVipCell::setDic(const Value& dic) {
    dic_ = dic;
    if (auto l = label(kLevelTag)) l->setText(dic["item1"].textValue());
    if (auto l = label(kAmountTag)) l->setText(dic["item2"].textValue());
}

// The two columns with a white line around and between them, as a ruled table.
void ZVWelfareVipCell::layoutSubviews() {
    UITableViewCell::layoutSubviews();
    double w = contentView()->bounds().width(), h = contentView()->bounds().height(), half = w / 2;
    if (auto l = label(kLevelTag)) l->setFrame(CGRect(0, 0, half - 0.5, h - 1));
    if (auto l = label(kAmountTag)) l->setFrame(CGRect(half + 0.5, 0, w - half - 0.5, h - 1));
}

// ---- ZVWelfareVC: the scene

void ZVWelfareVC::loadView() {
    UIViewController::loadView();
    buildScene();
}

void ZVWelfareVC::buildScene() {
    auto root = view();
    contentView = std::make_shared<UIScrollView>();
    contentView->setBackgroundColor(UIColor::clearColor());
    contentView->showsVerticalScrollIndicator = false;
    contentView->alwaysBounceVertical = true;
    contentView->setHidden(true);  // until the first reply fills the cards
    root->addSubview(contentView);
    loadingNote = std::make_shared<ZVLoadingNote>();
    root->addSubview(loadingNote);

    fanliView = makeCard();
    vipView = makeCard();
    fuliView = makeCard();
    const char* titles[] = {"返利福利", "VIP福利", "福利说明"};
    uint32_t titleColours[] = {0x333333, 0xF08726, 0x333333};
    int i = 0;
    for (auto& card : {fanliView, vipView, fuliView}) {
        auto title = makeLabel(16, titleColours[i], UIFontWeight::Semibold);
        title->setText(titles[i++]);
        card->addSubview(title);
        cardTitles_.push_back(title);
        contentView->addSubview(card);
    }

    fanliL = makeLabel(14, 0x666666);
    fanliL->setNumberOfLines(0);
    fanliBtn = UIButton::buttonWithType(UIButtonType::Custom);
    fanliBtn->setTitle("申请返利", UIControlStateNormal);
    fanliBtn->setTitleColor(XTExtention::colorWithHexString(kRebateColour), UIControlStateNormal);
    fanliBtn->titleLabel()->setFont(UIFont::systemFontOfSize(14));
    fanliBtn->layer()->setBorderWidth(1);
    fanliBtn->layer()->setCornerRadius(kButtonHeight / 2);
    fanliView->addSubview(fanliL);
    fanliView->addSubview(fanliBtn);

    tableView = std::make_shared<UITableView>();
    tableView->separatorStyle = UITableViewCellSeparatorStyle::None;
    tableView->setScrollEnabled(false);  // the fold button shows the rest
    vipBtn = makeFoldButton("展开全部", "收起", XTExtention::colorWithHexString(kVipBorder));
    vipView->addSubview(tableView);
    vipView->addSubview(vipBtn);

    fuliL = std::make_shared<ZVShowLabel>();
    fuliL->setFont(UIFont::systemFontOfSize(14));
    fuliL->setTextColor(UIColor::fromRGB(0x666666));
    fuliL->setClipsToBounds(true);
    fuliBtn = makeFoldButton("展开全部", "收起", XTExtention::colorWithHexString(kRebateColour));
    fuliView->addSubview(fuliL);
    fuliView->addSubview(fuliBtn);

    tableViewH = std::make_shared<NSLayoutConstraint>(0, root);
    tableViewBottom = std::make_shared<NSLayoutConstraint>(kFoldButtonSpace, root);
    fuliH = std::make_shared<NSLayoutConstraint>(0, root);
    fuliBottom = std::make_shared<NSLayoutConstraint>(kTextButtonSpace, root);

    auto self = std::static_pointer_cast<ZVWelfareVC>(sharedController());
    tableView->dataSource = self;
    tableView->setDelegate(self);
    std::weak_ptr<ZVWelfareVC> weak = self;
    auto connect = [weak](UIButton& b, void (ZVWelfareVC::*action)()) {
        b.addAction(UIControlEventTouchUpInside, [weak, action](UIControl&) {
            if (auto vc = weak.lock()) (vc.get()->*action)();
        });
    };
    connect(*fanliBtn, &ZVWelfareVC::doFanliBtnClick);
    connect(*vipBtn, &ZVWelfareVC::doVipBtnClick);
    connect(*fuliBtn, &ZVWelfareVC::showFuliOrClose);
}

// The cards one under the other, each as high as its content and constraints make it.
void ZVWelfareVC::layoutCards() {
    CGRect b = view()->bounds();
    contentView->setFrame(b);
    loadingNote->centreIn(b);
    double cw = b.width() - 2 * kMargin, inner = cw - 2 * kMargin;
    for (auto& title : cardTitles_) title->setFrame(CGRect(kMargin, 14, inner - 96, 22));

    double textH = fanliL->text().empty() ? 0 : Extension::getLabelHeightByWidth(inner, fanliL->text(), fanliL->font());
    fanliBtn->setFrame(CGRect(cw - kMargin - 84, 11, 84, kButtonHeight));
    fanliL->setFrame(CGRect(kMargin, kTitleBottom, inner, textH));
    fanliView->setFrame(CGRect(kMargin, 12, cw, kTitleBottom + textH + 14));

    double tableH = tableViewH->constant(), below = tableViewBottom->constant();
    tableView->setFrame(CGRect(kMargin, kTitleBottom, inner, tableH));
    vipBtn->setFrame(CGRect((cw - 120) / 2, kTitleBottom + tableH + (below - kButtonHeight) / 2, 120, kButtonHeight));
    vipView->setFrame(CGRect(kMargin, fanliView->frame().maxY() + 12, cw, kTitleBottom + tableH + below + 14));

    double textHeight = fuliH->constant(), textBelow = fuliBottom->constant();
    fuliL->setFrame(CGRect(kMargin, kTitleBottom, inner, textHeight));
    fuliBtn->setFrame(CGRect((cw - 120) / 2, kTitleBottom + textHeight + (textBelow - kButtonHeight) / 2, 120, kButtonHeight));
    fuliView->setFrame(CGRect(kMargin, vipView->frame().maxY() + 12, cw, kTitleBottom + textHeight + textBelow));

    contentView->setContentSize({b.width(), fuliView->frame().maxY() + kMargin});
}

// ---- ZVWelfareVC: the page

void ZVWelfareVC::viewDidLoad() {
    UIViewController::viewDidLoad();
    initUI();
}

void ZVWelfareVC::initUI() {
    view()->setBackgroundColor(UIColor::clearColor());
    fanliBtn->layer()->setBorderColor(XTExtention::colorWithHexString(kRebateColour));
    vipView->layer()->setBorderColor(XTExtention::colorWithHexString(kVipBorder));
    vipView->layer()->setBorderWidth(1.0);
    tableView->registerClass("ZVWelfareVipCell", [] { return ZVWelfareVipCell::fromNib(); });
    tableView->rowHeight = kRowHeight;
    loadData();
}

void ZVWelfareVC::viewWillLayoutSubviews() {
    UIViewController::viewWillLayoutSubviews();
    layoutCards();
    Extension::setShadowWithRadius(*fanliView, 10.0);
    Extension::setShadowWithRadius(*fuliView, 10.0);
}

void ZVWelfareVC::loadData() {
    auto& share = ShareVale::sharedInstance();
    Value parameters = Value::dict({{"username", share.userName()},
                                    {"gid", share.gameID()},
                                    {"cpsId", share.chanelid()},
                                    {"appid", share.appID()}});
    if (contentView->isHidden()) loadingNote->showLoading();
    std::weak_ptr<ZVWelfareVC> weak = std::static_pointer_cast<ZVWelfareVC>(sharedController());
    CXRSdpNetTool::sharedTool().PostWithURLString(
        ZVApi::kWelfare, parameters,
        [weak](const Value& reply) {
            auto self = weak.lock();
            if (!self) return;
            if (!reply.isDict()) self->showFailure(kServerError);
            else if (ZVReplySucceeded(reply, "a")) self->showReply(reply["c"]);
            else self->showFailure(reply["b"].textValue());
        },
        [weak](const Error&) {
            if (auto self = weak.lock()) self->showFailure(kServerError);
        });
}

void ZVWelfareVC::showFailure(const std::string& message) {
    CXRMessage::showMessage(message, view());
    if (contentView->isHidden()) loadingNote->showFailed();
}

double ZVWelfareVC::threeLines() const { return std::ceil(3 * fuliL->font()->lineHeight()); }

void ZVWelfareVC::showReply(const Value& c) {
    loadingNote->dismiss();
    contentView->setHidden(false);
    fanliL->setText(c["fanli"].textValue());
    dataSource_ = ZVWelfareReplies::vipRows(c);

    fuliL->w = view()->bounds().width() - 64;
    fuliL->setText(URLEncode::trimmedWhitespaceAndNewlineString(c["box_content"].textValue()));
    if (fuliL->rows < 4) {
        fuliH->setConstant(fuliL->maxHeight);
        fuliBtn->setHidden(true);
        fuliBottom->setConstant(kTextBottomWithoutButton);
    } else {
        fuliH->setConstant(threeLines());
        fuliBtn->setHidden(false);
    }

    double n = double(dataSource_.size());
    tableViewH->setConstant(n * kRowHeight);
    if (n < 4) {
        tableViewBottom->setConstant(0);
        vipBtn->setHidden(true);
    } else {
        vipBtn->setHidden(false);
        vipBtn->setSelected(true);
    }
    tableView->reloadData();
    view()->setNeedsLayout();
}

void ZVWelfareVC::doFanliBtnClick() {
    if (auto tabs = tabBarController()) tabs->setSelectedIndex(4);
}

void ZVWelfareVC::showFuliOrClose() {
    fuliBtn->setSelected(!fuliBtn->isSelected());
    fuliH->setConstant(fuliBtn->isSelected() ? double(fuliL->maxHeight) : threeLines());
}

void ZVWelfareVC::doVipBtnClick() {
    vipBtn->setSelected(!vipBtn->isSelected());
    tableViewH->setConstant(vipBtn->isSelected() ? double(dataSource_.size()) * kRowHeight : kFoldedTableHeight);
}

long ZVWelfareVC::tableView_numberOfRowsInSection(UITableView&, long) { return long(dataSource_.size()); }

std::shared_ptr<UITableViewCell> ZVWelfareVC::tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) {
    auto cell = std::dynamic_pointer_cast<ZVWelfareVipCell>(t.dequeueReusableCellWithIdentifier("ZVWelfareVipCell", ip));
    if (cell && size_t(ip.row) < dataSource_.size()) {
        cell->setIsFirst(ip.row == 0);
        cell->setDic(dataSource_[size_t(ip.row)]);
    }
    return cell;
}
