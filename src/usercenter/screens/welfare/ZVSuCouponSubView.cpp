#include "usercenter/screens/welfare/ZVSuCouponSubView.h"

#include "usercenter/core/CXRMessage.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVNetwork.h"
#include "usercenter/core/ZVResponses.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/welfare/ZVWelfareReplies.h"

namespace {
using ZVWelfareReplies::kServerError;
constexpr double kBadgeHeight = 16;
}  // namespace

// ---- ZVSuCouponSubViewCol

std::shared_ptr<ZVSuCouponSubViewCol> ZVSuCouponSubViewCol::fromNib() {
    auto cell = std::make_shared<ZVSuCouponSubViewCol>();
    cell->subL = std::make_shared<UILabel>();
    cell->subL->setFont(UIFont::systemFontOfSize(14));
    cell->subL->setTextAlignment(NSTextAlignment::Center);
    cell->subL->layer()->setBorderWidth(1);
    cell->subL->layer()->setCornerRadius(4);
    cell->statusL = std::make_shared<UILabel>();
    cell->statusL->setFont(UIFont::systemFontOfSize(10));
    cell->statusL->setTextAlignment(NSTextAlignment::Center);
    cell->statusL->layer()->setBorderWidth(0.5);
    cell->statusL->layer()->setCornerRadius(kBadgeHeight / 2);
    cell->statusL->setClipsToBounds(true);
    cell->contentView()->addSubview(cell->subL);
    cell->contentView()->addSubview(cell->statusL);
    cell->awakeFromNib();
    return cell;
}

void ZVSuCouponSubViewCol::awakeFromNib() {
    subL->layer()->setBorderColor(UIColor::lightGrayColor());
    statusL->layer()->setBorderColor(UIColor::colorWithRed(200 / 255.0, 200 / 255.0, 200 / 255.0, 1));
    setSelected(isSelected());
}

// The nickname framed at the top, the claim state centred under it.
void ZVSuCouponSubViewCol::layoutSubviews() {
    UICollectionViewCell::layoutSubviews();
    CGRect b = contentView()->bounds();
    subL->setFrame(CGRect(0, 0, b.width(), b.height() - kBadgeHeight - 2));
    double badge = std::min(b.width(), statusL->sizeThatFits({b.width(), kBadgeHeight}).width + 14);
    statusL->setFrame(CGRect((b.width() - badge) / 2, b.height() - kBadgeHeight, badge, kBadgeHeight));
}

void ZVSuCouponSubViewCol::setDic(const Value& dic) {
    dic_ = dic;
    subL->setText(dic["nickname"].textValue());
    std::string status = dic["status"].textValue();
    statusL->setText(status);
    if (status == kNotClaimed) {
        statusL->setBackgroundColor(UIColor::clearColor());
        statusL->setTextColor(UIColor::lightGrayColor());
    } else {
        statusL->setBackgroundColor(XTExtention::colorWithHexString(kBadgeColour));
        statusL->setTextColor(XTExtention::colorWithHexString(kPickedColour));
    }
    setNeedsLayout();
}

void ZVSuCouponSubViewCol::setSelected(bool selected) {
    UICollectionViewCell::setSelected(selected);
    UIColor colour = selected ? XTExtention::colorWithHexString(kPickedColour) : UIColor::lightGrayColor();
    subL->layer()->setBorderColor(colour);
    subL->setTextColor(selected ? colour : UIColor::darkGrayColor());
}

// ---- ZVSuCouponSubView

std::shared_ptr<ZVSuCouponSubView> ZVSuCouponSubView::fromNib() {
    auto panel = std::make_shared<ZVSuCouponSubView>();
    panel->setFrame(CGRect({0, 0}, kSize));
    panel->setBackgroundColor(UIColor::whiteColor());
    panel->layer()->setCornerRadius(12);
    panel->setClipsToBounds(true);
    panel->titleL_ = std::make_shared<UILabel>();
    panel->titleL_->setText("选择领取的小号");
    panel->titleL_->setFont(UIFont::systemFontOfSize(17, UIFontWeight::Semibold));
    panel->titleL_->setTextAlignment(NSTextAlignment::Center);
    panel->collectionView = std::make_shared<UICollectionView>(CGRect(), std::make_shared<UICollectionViewFlowLayout>());
    panel->collectionView->setBackgroundColor(UIColor::whiteColor());
    panel->collectionView->dataSource = panel;
    panel->collectionView->setDelegate(panel);
    panel->getBtn = UIButton::buttonWithType(UIButtonType::Custom);
    panel->getBtn->setTitle("立即领取", UIControlStateNormal);
    panel->getBtn->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    panel->getBtn->setBackgroundColor(XTExtention::colorWithHexString(ZVSuCouponSubViewCol::kPickedColour));
    panel->getBtn->layer()->setCornerRadius(22);
    panel->closeBtn = UIButton::buttonWithType(UIButtonType::Custom);
    panel->closeBtn->setTitle("×", UIControlStateNormal);
    panel->closeBtn->setTitleColor(UIColor::fromRGB(0x999999), UIControlStateNormal);
    panel->closeBtn->titleLabel()->setFont(UIFont::systemFontOfSize(26));
    panel->closeBtn->setAccessibilityIdentifier("coupon_close");
    std::weak_ptr<ZVSuCouponSubView> weak = panel;
    panel->getBtn->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->doGet();
    });
    panel->closeBtn->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->doClose();
    });
    for (auto& v : std::vector<std::shared_ptr<UIView>>{panel->titleL_, panel->collectionView, panel->getBtn, panel->closeBtn})
        panel->addSubview(v);
    panel->awakeFromNib();
    return panel;
}

void ZVSuCouponSubView::awakeFromNib() {
    auto layout = std::make_shared<UICollectionViewFlowLayout>();
    layout->scrollDirection = UICollectionViewScrollDirection::Vertical;
    layout->minimumInteritemSpacing = 20;
    layout->minimumLineSpacing = 10;
    layout->itemSize = {125, 50};
    collectionView->setCollectionViewLayout(layout);
    collectionView->showsVerticalScrollIndicator = false;
    collectionView->registerClass("ZVSuCouponSubViewCol", [] { return ZVSuCouponSubViewCol::fromNib(); });
    dataSource.clear();
}

// Two columns of sub-accounts (125 + 20 + 125) between the title and the claim button.
void ZVSuCouponSubView::layoutSubviews() {
    CGRect b = bounds();
    titleL_->setFrame(CGRect(40, 16, b.width() - 80, 24));
    closeBtn->setFrame(CGRect(b.width() - 44, 8, 36, 36));
    collectionView->setFrame(CGRect((b.width() - 270) / 2, 56, 270, b.height() - 56 - 80));
    getBtn->setFrame(CGRect((b.width() - 270) / 2, b.height() - 64, 270, 44));
}

bool ZVSuCouponSubView::forAllVouchers() const { return Value(cid).intValue() == 0; }

void ZVSuCouponSubView::loadData() {
    auto& share = ShareVale::sharedInstance();
    Value parameters = Value::dict({{"username", share.userName()}, {"cid", cid}, {"gid", share.gameID()}});
    std::weak_ptr<ZVSuCouponSubView> weak = std::static_pointer_cast<ZVSuCouponSubView>(sharedView());
    CXRSdpNetTool::sharedTool().PostWithURLString(
        forAllVouchers() ? ZVApi::kCouponAllRecord : ZVApi::kCouponRecord, parameters,
        [weak](const Value& reply) {
            auto self = weak.lock();
            if (!self) return;
            auto read = ZVWelfareReplies::couponEntries(reply);
            if (!read.entries) return CXRMessage::showMessage(read.message, self);
            self->dataSource = std::move(*read.entries);
            self->collectionView->reloadData();
        },
        [weak](const Error&) {
            if (auto self = weak.lock()) CXRMessage::showMessage(kServerError, self);
        });
}

void ZVSuCouponSubView::doGet() {
    auto self = std::static_pointer_cast<ZVSuCouponSubView>(sharedView());
    if (selectDic.isNull()) return CXRMessage::showMessage("请选择要领取的小号", self);
    auto& share = ShareVale::sharedInstance();
    Value parameters = Value::dict({{"cid", cid}, {"username", share.userName()}, {"xiaohao_id", selectDic["id"]}});
    if (forAllVouchers()) parameters.set("gid", share.gameID());
    std::weak_ptr<ZVSuCouponSubView> weak = self;
    NetWorkManager::sharedInstance().PostCouponURL(
        forAllVouchers() ? ZVApi::kGetCouponAll : ZVApi::kGetCoupon, parameters,
        [weak](const Value& reply) {
            CXRMessage::showMessage(reply["b"].textValue());
            auto self = weak.lock();
            if (self && ZVReplySucceeded(reply, "a")) self->doClose();
        },
        [weak](const Error&) {
            if (auto self = weak.lock()) CXRMessage::showMessage(kServerError, self);
        });
}

void ZVSuCouponSubView::doClose() {
    auto keep = sharedView();
    if (auto backdrop = superview()) backdrop->removeFromSuperview();
    removeFromSuperview();
    selectDic = Value();
    dataSource.clear();
    collectionView->reloadData();
}

long ZVSuCouponSubView::collectionView_numberOfItemsInSection(UICollectionView&, long) { return long(dataSource.size()); }

std::shared_ptr<UICollectionViewCell> ZVSuCouponSubView::collectionView_cellForItemAtIndexPath(UICollectionView& c,
                                                                                              const NSIndexPath& ip) {
    auto cell = std::dynamic_pointer_cast<ZVSuCouponSubViewCol>(c.dequeueReusableCellWithReuseIdentifier("ZVSuCouponSubViewCol", ip));
    if (cell && size_t(ip.item()) < dataSource.size()) cell->setDic(dataSource[size_t(ip.item())]);
    return cell;
}

void ZVSuCouponSubView::collectionView_didSelectItemAtIndexPath(UICollectionView&, const NSIndexPath& ip) {
    if (size_t(ip.item()) < dataSource.size()) selectDic = dataSource[size_t(ip.item())];
}
