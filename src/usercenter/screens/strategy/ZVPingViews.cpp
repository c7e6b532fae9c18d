#include "usercenter/screens/strategy/ZVPingViews.h"

#include <cmath>

#include "imagecache/setters/UIImageViewZVExtension.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/ui/UIGestureRecognizer.h"
#include "platform/ui/UINavigationController.h"
#include "platform/ui/UIStoryboard.h"
#include "usercenter/core/URLEncode.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVNetwork.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVResponses.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/shell/ZVSuWebVC.h"
#include "usercenter/screens/common/ZVViewExtension.h"

namespace {

constexpr double kTextFont = 13, kVipWidth = 50, kPaidWidth = 40, kBadgeHeight = 16;

std::shared_ptr<UILabel> label(double size, uint32_t colour, UIFontWeight weight = UIFontWeight::Regular) {
    auto l = std::make_shared<UILabel>();
    l->setFont(UIFont::systemFontOfSize(size, weight));
    l->setTextColor(UIColor::fromRGB(colour));
    return l;
}

std::shared_ptr<UIImageView> imageView(UIView& into) {
    auto v = std::make_shared<UIImageView>();
    into.addSubview(v);
    return v;
}

double textHeight(const std::string& text, double width) { return URLEncode::getHeightWithText(text, width, kTextFont); }

}  // namespace

void ZVPingOpenPage(UIViewController* from, const std::string& title, const std::string& path) {
    auto storyboard = UIStoryboard::storyboardWithName("ZVSuTabBarVC");
    auto web = storyboard ? std::dynamic_pointer_cast<ZVSuWebVC>(storyboard->instantiateViewControllerWithIdentifier("ZVSuWebVC"))
                          : nullptr;
    auto nav = from ? from->navigationController() : nullptr;
    if (!web || !nav) {
        NSLog("comments: no web page or no navigation to open %s in", path.c_str());
        return;
    }
    web->name = title;
    web->url = ZVApi::baseURL() + path;
    web->isShowSuperVc = true;
    nav->pushViewController(web, true);
}

// ---- The shared parts

void ZVPingParts::buildParts(UIView& into, bool withLike) {
    iconView = imageView(into);
    iconView->setClipsToBounds(true);
    iconView->setBackgroundColor(UIColor::fromRGB(0xF0F0F0));
    nameL = label(14, 0x333333, UIFontWeight::Medium);
    timeL = label(kSmallText, 0x999999);
    showL = label(kTextFont, 0x333333);
    showL->setNumberOfLines(0);
    for (auto& l : {nameL, timeL, showL}) into.addSubview(l);
    vipPic = imageView(into);
    payPic = imageView(into);
    payPic->setUserInteractionEnabled(true);
    std::weak_ptr<UIView> weak = ownerView();
    auto parts = [weak] {
        auto owner = weak.lock();
        return std::pair(owner, dynamic_cast<ZVPingParts*>(owner.get()));
    };
    auto tap = std::make_shared<UITapGestureRecognizer>([parts](UIGestureRecognizer&) {
        if (auto [owner, p] = parts(); p) p->goToWebVc();
    });
    payPic->addGestureRecognizer(tap);
    if (!withLike) return;
    likeCount_ = label(kSmallText, 0x999999);
    likeCount_->setTextAlignment(NSTextAlignment::Right);
    into.addSubview(likeCount_);
    likeIcon_ = imageView(into);
    goodBtn = UIButton::buttonWithType(UIButtonType::Custom);
    goodBtn->setAccessibilityIdentifier("comment_like");
    goodBtn->addAction(UIControlEventTouchUpInside, [parts](UIControl&) {
        if (auto [owner, p] = parts(); p) p->doGoodBtnClick();
    });
    into.addSubview(goodBtn);
    goldView = std::make_shared<UIView>();
    goldView->setClipsToBounds(true);
    goldView->setUserInteractionEnabled(false);
    ribbonPicture_ = imageView(*goldView);
    goldL = label(kSmallText, 0x6137E7, UIFontWeight::Bold);
    goldL->setTextAlignment(NSTextAlignment::Center);
    goldView->addSubview(goldL);
    into.addSubview(goldView);
    // The ribbon runs up to the right across the corner.
    for (UIView* v : {static_cast<UIView*>(ribbonPicture_.get()), static_cast<UIView*>(goldL.get())})
        v->setTransform(CGAffineTransform::makeRotation(-M_PI / 4));
}

void ZVPingParts::fillParts(std::shared_ptr<ZVPingModel> model) {
    model_ = std::move(model);
    if (!model_) return;
    const ZVPingModel& m = *model_;
    ZVExtension::setGameIconWithUrlStr(*iconView, m.avatar, "zv_noPic.png");
    nameL->setText(m.full_name);
    timeL->setText(m.createtime);
    showL->setText(m.content);
    if (goodBtn) {
        showLike();
        // Only levels with a ribbon picture have a ribbon.
        auto ribbon = m.hasRibbon() ? ZVColor::sdkImageNamed(m.ribbonPicture()) : nullptr;
        goldView->setHidden(!ribbon);
        if (ribbon) {
            ribbonPicture_->setImage(ribbon);
            goldL->setText(m.ribbonText());
            goldL->setTextColor(XTExtention::colorWithHexString(m.ribbonColour()));
        }
    }
    vipPic->setHidden(!m.hasVipBadge());
    if (m.hasVipBadge()) ZVExtension::setGameIconWithUrlStr(*vipPic, m.vippic, "");
    payPic->setHidden(!m.hasPaidBadge());
    if (m.hasPaidBadge()) {
        payPicLeft = vipPic->isHidden() ? 5 : 60;
        ZVExtension::setGameIconWithUrlStr(*payPic, m.paidBadgeURL(), "");
    }
}

void ZVPingParts::showLike() {
    likeCount_->setText(model_->likesText());
    likeIcon_->setImage(ZVColor::sdkImageNamed(model_->liked() ? "zv_tab_ping_good1.png" : "zv_tab_ping_good0.png"));
    goodBtn->setEnabled(!model_->liked());
}

void ZVPingParts::doGoodBtnClick() {
    if (!model_) return;
    auto& share = ShareVale::sharedInstance();
    Value parameters = Value::dict({{"username", share.userName()}, {"appid", share.appID()}, {"comments_id", model_->Id}});
    std::weak_ptr<UIView> weak = ownerView();
    auto liked = model_;
    CXRSdpNetTool::sharedTool().PostWithURLString(
        ZVApi::kCommentLike, parameters,
        [weak, liked](const Value& reply) {
            if (!ZVReplySucceeded(reply, "a")) return;
            liked->addLike();
            auto owner = weak.lock();
            auto* parts = dynamic_cast<ZVPingParts*>(owner.get());
            if (parts && parts->model_ == liked) parts->showLike();
        },
        [](const Error&) {});
}

void ZVPingParts::goToWebVc() { ZVPingOpenPage(myVC.lock().get(), kTitleHelpName, ZVApi::kTitleLevelPage); }

void ZVPingParts::layoutHeading(double x, double y, double side, double likeRight) {
    iconView->setFrame(CGRect(x, y, side, side));
    iconView->layer()->setCornerRadius(side / 2);
    double left = x + side + 10;
    double room = likeRight - left - 60 - kVipWidth - kPaidWidth - 10;
    CGSize name = nameL->sizeThatFits({CGFLOAT_MAX, 20});
    nameL->setFrame(CGRect(left, y, std::max(0.0, std::min(std::ceil(name.width), room)), 20));
    double anchor = nameL->frame().maxX();
    vipPic->setFrame(CGRect(anchor + 5, y + 2, kVipWidth, kBadgeHeight));
    payPic->setFrame(CGRect(anchor + payPicLeft, y + 2, kPaidWidth, kBadgeHeight));
    timeL->setFrame(CGRect(left, y + 22, std::max(0.0, likeRight - left), 16));
    if (!goodBtn) return;
    likeIcon_->setFrame(CGRect(likeRight - 18, y + 1, 18, 18));
    likeCount_->setFrame(CGRect(likeRight - 18 - 4 - 48, y, 48, 20));
    goodBtn->setFrame(CGRect(likeCount_->frame().minX(), y - 8, likeRight + 8 - likeCount_->frame().minX(), 36));
}

ZVPingParts::Ribbon ZVPingParts::ribbonFor(double textWidth, double lineHeight) {
    // Measured from the box's bottom right corner along the diagonal, a
    // line x + y = const of the band meets the box's right and bottom edges
    // √2 × (its reach) apart. The text's outer edge, half a line nearer
    // the corner than the band's centre line, must hold the text and the
    // pads: the centre line reaches (text + pads + line) / √2.
    double centreReach = (std::min(textWidth, kRibbonTextMost) + 2 * kRibbonPad + lineHeight) / M_SQRT2;
    // The band's far edge reaches half the band further, and ends on the
    // box's corners.
    double side = std::ceil(centreReach + kRibbonBand / M_SQRT2);
    return {side, side - centreReach / 2, M_SQRT2 * side};
}

ZVPingParts::Ribbon ZVPingParts::ribbon() const {
    if (!goldL) return ribbonFor(0, 0);
    return ribbonFor(std::ceil(goldL->sizeThatFits({0, 0}).width), goldL->font()->lineHeight());
}

void ZVPingParts::layoutRibbon(const CGRect& area) {
    if (!goldView) return;
    Ribbon r = ribbon();
    goldView->setFrame(CGRect(area.maxX() - r.side, area.maxY() - r.side, r.side, r.side));
    ribbonPicture_->setBounds(CGRect(0, 0, r.length, kRibbonBand));
    double text = std::min(std::ceil(goldL->sizeThatFits({0, 0}).width), kRibbonTextMost);
    goldL->setBounds(CGRect(0, 0, text, kRibbonBand));
    goldL->adjustsFontSizeToFitWidth = true;  // only beyond kRibbonTextMost
    for (UIView* v : {static_cast<UIView*>(ribbonPicture_.get()), static_cast<UIView*>(goldL.get())})
        v->setCenter({r.centre, r.centre});
}

// ---- The list row

ZVPingCell::ZVPingCell(UITableViewCellStyle style, std::string identifier) : UITableViewCell(style, std::move(identifier)) {}

std::shared_ptr<ZVPingCell> ZVPingCell::fromNib() {
    auto cell = std::make_shared<ZVPingCell>();
    cell->awakeFromNib();
    return cell;
}

void ZVPingCell::awakeFromNib() {
    selectionStyle = UITableViewCellSelectionStyle::None;
    setBackgroundColor(UIColor::clearColor());
    bgView = std::make_shared<UIView>();
    bgView->setBackgroundColor(UIColor::whiteColor());
    contentView()->addSubview(bgView);
    buildParts(*bgView, true);
}

namespace {
constexpr double kCardInset = 12, kCardGap = 6, kTextTop = 62, kTextLeft = 12, kTextRight = 12;
double cardTextWidth(double cellWidth) { return cellWidth - 2 * kCardInset - kTextLeft - kTextRight; }
}  // namespace

CGSize ZVPingCell::sizeThatFits(CGSize size) const {
    if (!model()) return {size.width, 44};
    // The text's last line ends clear of the ribbon, kTextRight in from the card's right edge.
    double bottom = goldView && !goldView->isHidden() ? std::max(16.0, ribbon().side - kTextRight) : 16;
    return {size.width, std::ceil(2 * kCardGap + kTextTop + textHeight(model()->content, cardTextWidth(size.width)) + bottom)};
}

void ZVPingCell::layoutSubviews() {
    UITableViewCell::layoutSubviews();
    CGRect b = contentView()->bounds();
    bgView->setFrame(CGRect(kCardInset, kCardGap, b.width() - 2 * kCardInset, b.height() - 2 * kCardGap));
    double w = bgView->bounds().width();
    layoutHeading(12, 14, 40, w - 12);
    double text = model() ? textHeight(model()->content, cardTextWidth(b.width())) : 0;
    showL->setFrame(CGRect(kTextLeft, kTextTop, cardTextWidth(b.width()), text));
    layoutRibbon(bgView->bounds());
    Extension::setShadowWithRadius(*bgView, 10);
}

// ---- The thread header

std::shared_ptr<ZVPingTwoHead> ZVPingTwoHead::fromNib() {
    auto head = std::make_shared<ZVPingTwoHead>();
    head->awakeFromNib();
    return head;
}

void ZVPingTwoHead::awakeFromNib() {
    setBackgroundColor(UIColor::whiteColor());
    buildParts(*this, true);
}

namespace {
constexpr double kHeadSide = 16, kHeadTextTop = 76, kHeadGap = 10;
}  // namespace

CGSize ZVPingTwoHead::sizeThatFits(CGSize size) const {
    if (!model()) return {size.width, 0};
    double height = model()->headH();
    // Taller where the ribbon needs it to end clear of the text.
    if (!goldView->isHidden())
        height = std::max(height, kHeadTextTop + textHeight(model()->content, size.width - 2 * kHeadSide) +
                                      ribbon().side - kHeadSide + kHeadGap);
    return {size.width, height};
}

void ZVPingTwoHead::layoutSubviews() {
    double w = bounds().width(), h = bounds().height();
    layoutHeading(kHeadSide, 16, 44, w - kHeadSide);
    double text = model() ? textHeight(model()->content, w - 2 * kHeadSide) : 0;
    showL->setFrame(CGRect(kHeadSide, kHeadTextTop, w - 2 * kHeadSide, text));
    layoutRibbon(CGRect(0, 0, w, h - kHeadGap));
}

// ---- A reply row

ZVPingTwoCell::ZVPingTwoCell(UITableViewCellStyle style, std::string identifier)
    : UITableViewCell(style, std::move(identifier)) {}

std::shared_ptr<ZVPingTwoCell> ZVPingTwoCell::fromNib() {
    auto cell = std::make_shared<ZVPingTwoCell>();
    cell->awakeFromNib();
    return cell;
}

void ZVPingTwoCell::awakeFromNib() {
    selectionStyle = UITableViewCellSelectionStyle::None;
    buildParts(*contentView(), false);
}

namespace {
constexpr double kReplyText = 54;
double replyTextWidth(double cellWidth) { return cellWidth - 78; }
}  // namespace

CGSize ZVPingTwoCell::sizeThatFits(CGSize size) const {
    double text = model() ? textHeight(model()->content, replyTextWidth(size.width)) : 0;
    return {size.width, std::ceil(kReplyText + text + 12)};
}

void ZVPingTwoCell::layoutSubviews() {
    UITableViewCell::layoutSubviews();
    double w = contentView()->bounds().width();
    layoutHeading(16, 12, 36, w - 16);
    double text = model() ? textHeight(model()->content, replyTextWidth(w)) : 0;
    showL->setFrame(CGRect(62, kReplyText, replyTextWidth(w), text));
}

void ZVPingTwoCell::drawRect(CGContext& ctx, const CGRect& rect) {
    UITableViewCell::drawRect(ctx, rect);
    ctx.setFillColor(UIColor::fromRGB(0xEEEEEE));
    ctx.fillRect(CGRect(62, bounds().height() - 0.5, bounds().width() - 62, 0.5));
}
