#include "usercenter/core/ZVPayVC.h"

#include <algorithm>
#include <cmath>

#include "logging/VLLog.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/core/CXRMessage.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/URLEncode.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVLoginAPI.h"
#include "usercenter/core/ZVNetwork.h"
#include "usercenter/core/ZVScreenWindow.h"

namespace {
constexpr double kPanelWidth = 315;
constexpr double kWayRowHeight = 44;
constexpr double kWaysTop = 140, kGap = 16, kButtonHeight = 44, kBottomMargin = 20, kSpinnerGap = 8;
constexpr double kToastArea = 100;  // under the panel: a toast there shows a little below it
std::weak_ptr<ZVPayVC> onScreen;

// A positive amount of money as plain decimal text, at most two decimals.
bool validMoney(const std::string& money) {
    size_t dot = money.find('.');
    std::string whole = money.substr(0, dot);
    std::string frac = dot == std::string::npos ? "" : money.substr(dot + 1);
    auto digits = [](const std::string& s) { return s.find_first_not_of("0123456789") == std::string::npos; };
    if (whole.empty() || whole.size() > 9 || !digits(whole) || !digits(frac) || frac.size() > 2) return false;
    if (dot != std::string::npos && frac.empty()) return false;
    return whole.find_first_not_of('0') != std::string::npos || frac.find_first_not_of('0') != std::string::npos;
}
}  // namespace

std::shared_ptr<ZVPayVC> ZVPayVC::current() { return onScreen.lock(); }

std::shared_ptr<ZVPayVC> ZVPayVC::present(const ZVPayOrder& order, Success success, Failure failure) {
    auto& share = ShareVale::sharedInstance();
    if (!share.isLogin) {
        // The player sees why nothing opens; the game hears the failure.
        CXRMessage::showMessage("请先登录");
        if (failure) failure(Value(order.attach), kFailed, Value("请先登录"));
        return nullptr;
    }
    if (!validMoney(order.money)) {
        if (failure) failure(Value(order.attach), kFailed, Value("金额错误"));
        return nullptr;
    }
    if (auto open = current()) open->cancel();  // one payment at a time
    auto vc = std::make_shared<ZVPayVC>(order, std::move(success), std::move(failure));
    vc->window_ = ZVOpenScreenWindow(vc);
    onScreen = vc;
    return vc;
}

ZVPayVC::ZVPayVC(ZVPayOrder order, Success success, Failure failure)
    : order_(std::move(order)), success_(std::move(success)), failure_(std::move(failure)) {}

void ZVPayVC::viewDidLoad() {
    auto v = view();
    v->setBackgroundColor(UIColor::colorWithWhite(0, 0.4));
    v->setOpaque(false);
    CGRect screen = v->bounds();
    panel_ = std::make_shared<UIView>(CGRect((screen.width() - kPanelWidth) / 2, 0, kPanelWidth, 0));
    panel_->setBackgroundColor(UIColor::whiteColor());
    panel_->layer()->setCornerRadius(10);
    panel_->setClipsToBounds(true);
    panel_->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
                                UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleBottomMargin);
    v->addSubview(panel_);
    belowPanel_ = std::make_shared<UIView>();
    belowPanel_->setUserInteractionEnabled(false);
    v->addSubview(belowPanel_);

    auto title = std::make_shared<UILabel>(CGRect(0, 0, kPanelWidth, 50));
    title->setText("支付中心");
    title->setFont(UIFont::systemFontOfSize(18, UIFontWeight::Medium));
    title->setTextAlignment(NSTextAlignment::Center);
    panel_->addSubview(title);

    closeButton_ = ZVStyle::closeButton();
    closeButton_->setFrame(CGRect(kPanelWidth - 50, 0, 50, 50));
    closeButton_->setAccessibilityIdentifier("pay_close");
    panel_->addSubview(closeButton_);

    auto line = std::make_shared<UIView>(CGRect(0, 50, kPanelWidth, 1));
    line->setBackgroundColor(ZVStyle::lineGray());
    panel_->addSubview(line);

    auto product = std::make_shared<UILabel>(CGRect(20, 62, kPanelWidth - 40, 22));
    product->setText("商品：" + order_.productName);
    product->setFont(UIFont::systemFontOfSize(15));
    product->setTextColor(ZVStyle::textGray());
    panel_->addSubview(product);

    auto amount = std::make_shared<UILabel>(CGRect(20, 90, kPanelWidth - 40, 40));
    auto text = URLEncode::getPriceAttribute("¥" + order_.money, UIFont::systemFontOfSize(18));
    text.addAttribute(NSForegroundColorAttributeName, UIColor::fromRGB(0xFF5A5A), NSMakeRange(0, text.length()));
    amount->setFont(UIFont::systemFontOfSize(30, UIFontWeight::Semibold));
    amount->setAttributedText(text);
    amount->setAccessibilityIdentifier("pay_amount");
    panel_->addSubview(amount);

    waysBox_ = std::make_shared<UIView>(CGRect(20, kWaysTop, kPanelWidth - 40, kWayRowHeight));
    panel_->addSubview(waysBox_);
    waysNote_ = std::make_shared<UILabel>(CGRect(0, 0, kPanelWidth - 40, kWayRowHeight));
    waysNote_->setFont(UIFont::systemFontOfSize(14));
    waysNote_->setTextColor(ZVStyle::textGray());
    waysNote_->setTextAlignment(NSTextAlignment::Center);
    waysNote_->setNumberOfLines(0);
    waysNote_->setText("正在获取支付方式…");
    waysNote_->setAccessibilityIdentifier("pay_ways_note");
    waysBox_->addSubview(waysNote_);
    waysSpinner_ = std::make_shared<UIActivityIndicatorView>(UIActivityIndicatorViewStyle::Gray);
    waysSpinner_->setAccessibilityIdentifier("pay_ways_spinner");
    waysBox_->addSubview(waysSpinner_);

    confirmButton_ = ZVStyle::actionButton("确认支付");
    confirmButton_->setAccessibilityIdentifier("pay_confirm");
    panel_->addSubview(confirmButton_);
    payingSpinner_ = std::make_shared<UIActivityIndicatorView>(UIActivityIndicatorViewStyle::White);
    payingSpinner_->setAccessibilityIdentifier("pay_paying_spinner");
    payingSpinner_->setUserInteractionEnabled(false);
    confirmButton_->addSubview(payingSpinner_);
    layoutPanel();

    std::weak_ptr<ZVPayVC> weak = std::static_pointer_cast<ZVPayVC>(sharedController());
    closeButton_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->cancel();
    });
    confirmButton_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->confirm();
    });
    loadWays();
}

std::vector<UIKeyCommand> ZVPayVC::keyCommands() const {
    std::weak_ptr<ZVPayVC> weak = std::static_pointer_cast<ZVPayVC>(std::const_pointer_cast<UIResponder>(shared_from_this()));
    // Escape is the close button's, which waits while the order is placed:
    // the game must not hear "cancelled" of a payment that then goes through.
    return {{UIKeyInputEscape, 0, [weak] { if (auto self = weak.lock(); self && !self->paying_) self->cancel(); }},
            {UIKeyInputReturn, 0, [weak] { if (auto self = weak.lock()) self->confirm(); }}};
}

void ZVPayVC::post(const char* path, const Value& params, bool paying,
                   std::function<void(ZVPayVC&, const Value&)> onReply, std::function<void(ZVPayVC&)> onFailure) {
    busy_ = true;
    if (paying) showPaying(true);
    std::weak_ptr<ZVPayVC> weak = std::static_pointer_cast<ZVPayVC>(sharedController());
    // Both outcomes end the busy state; a refusal or a failure is shown and the screen stays.
    auto settle = [weak, paying]() -> std::shared_ptr<ZVPayVC> {
        auto self = weak.lock();
        if (!self || self->finished_) return nullptr;
        self->busy_ = false;
        if (paying) self->showPaying(false);
        return self;
    };
    NetWorkManager::sharedInstance().PostCouponURL(
        path, params,
        [settle, onReply](const Value& reply) {
            if (auto self = settle()) onReply(*self, reply);
        },
        [settle, onFailure, path = std::string(path)](const Error& e) {
            auto self = settle();
            if (!self) return;
            VLLogWarn("ZVPayVC: %s failed: %s", path.c_str(), e.localizedDescription().c_str());
            if (onFailure) return onFailure(*self);
            CXRMessage::showMessage(kZVServerErrorMessage, self->panel_);
        });
}

void ZVPayVC::showRefusal(const Value& reply) {
    std::string message = ZVReplyMessage(reply, kZVServerErrorMessage);
    VLLogWarn("ZVPayVC: payment of %s refused: %s", order_.attach.c_str(), message.c_str());
    CXRMessage::showMessage(message, panel_);
}

void ZVPayVC::loadWays() {
    if (busy_) return;
    auto& share = ShareVale::sharedInstance();
    Value params = Value::dict({{"i", share.userName()}, {"s", share.token()}, {"g", share.gameID()}, {"m", order_.money}});
    showLoadingWays(true);
    post(
        ZVApi::kPayWays, params, false,
        [](ZVPayVC& self, const Value& reply) {
            self.showLoadingWays(false);
            auto result = zv::objectWithKeyValues<PayWayResult>(reply);
            if (!result || !result->isSuccess()) return self.waysUnavailable(ZVReplyMessage(reply, kZVServerErrorMessage));
            self.ways_.clear();
            for (auto& w : result->ways)
                if (!w.wayId.empty()) self.ways_.push_back(w);
            if (self.ways_.empty()) return self.waysUnavailable("没有可用的支付方式");
            self.selected_ = 0;
            self.layoutWays();
        },
        [](ZVPayVC& self) {
            self.showLoadingWays(false);
            self.waysUnavailable(kZVServerErrorMessage);
        });
}

void ZVPayVC::showLoadingWays(bool loading) {
    loadingWays_ = loading;
    if (loading) waysSpinner_->startAnimating();
    else waysSpinner_->stopAnimating();
    // Greyed, not disabled: a tap still reaches confirm(), which says why it waits.
    ZVStyle::paintActionButton(*confirmButton_, loading);
    layoutPanel();
}

void ZVPayVC::showPaying(bool paying) {
    paying_ = paying;
    panel_->setUserInteractionEnabled(!paying);
    confirmButton_->setTitle(paying ? kPaying : "确认支付", UIControlStateNormal);
    ZVStyle::paintActionButton(*confirmButton_, paying);
    if (!paying) {
        confirmButton_->setTitleEdgeInsets({0, 0, 0, 0});
        return payingSpinner_->stopAnimating();
    }
    // Left of the title, the two centred together as the ways' spinner and caption are.
    CGSize spinner = payingSpinner_->sizeThatFits({0, 0});
    CGRect button = confirmButton_->bounds();
    double text = std::ceil(confirmButton_->titleLabel()->sizeThatFits({button.width(), button.height()}).width);
    double left = std::round((button.width() - spinner.width - kSpinnerGap - text) / 2);
    payingSpinner_->setFrame(CGRect(left, (button.height() - spinner.height) / 2, spinner.width, spinner.height));
    confirmButton_->setTitleEdgeInsets({0, spinner.width + kSpinnerGap, 0, 0});
    payingSpinner_->startAnimating();
}

void ZVPayVC::waysUnavailable(const std::string& reason) {
    VLLogWarn("ZVPayVC: no payment ways for %s: %s", order_.attach.c_str(), reason.c_str());
    unavailable_ = reason;
    waysNote_->setText("无法获取支付方式\n" + reason);
    waysNote_->setHidden(false);
    confirmButton_->setTitle("返回游戏", UIControlStateNormal);
    layoutPanel();
}

void ZVPayVC::layoutPanel() {
    double box = kWayRowHeight * double(std::clamp<size_t>(wayButtons_.size(), 1, 2));
    if (loadingWays_) {
        // One row: the spinner, then the caption, centred together.
        CGSize spinner = waysSpinner_->bounds().size;
        double width = waysBox_->bounds().width();
        double text = std::min(std::ceil(waysNote_->sizeThatFits({width, kWayRowHeight}).width),
                               width - spinner.width - kSpinnerGap);
        double left = std::round((width - spinner.width - kSpinnerGap - text) / 2);
        waysSpinner_->setFrame(CGRect(left, (kWayRowHeight - spinner.height) / 2, spinner.width, spinner.height));
        waysNote_->setFrame(CGRect(left + spinner.width + kSpinnerGap, 0, text, kWayRowHeight));
    } else if (!waysNote_->isHidden()) {
        // The note takes the lines it needs, at least one row.
        CGSize fits = waysNote_->sizeThatFits({waysBox_->bounds().width(), 1000});
        box = std::max(kWayRowHeight, std::ceil(fits.height) + 12);
        waysNote_->setFrame(CGRect(0, 0, waysBox_->bounds().width(), box));
    }
    waysBox_->setFrame(CGRect(20, kWaysTop, kPanelWidth - 40, box));
    double buttonTop = kWaysTop + box + kGap;
    confirmButton_->setFrame(CGRect(20, buttonTop, kPanelWidth - 40, kButtonHeight));
    double height = buttonTop + kButtonHeight + kBottomMargin;
    CGRect screen = view()->bounds();
    panel_->setFrame(CGRect((screen.width() - kPanelWidth) / 2, std::round((screen.height() - height) / 2), kPanelWidth, height));
    double below = std::min(kToastArea, screen.height() - panel_->frame().maxY());
    belowPanel_->setFrame(CGRect(0, panel_->frame().maxY(), screen.width(), below));
}

void ZVPayVC::layoutWays() {
    for (auto& b : wayButtons_) b->removeFromSuperview();
    wayButtons_.clear();
    unavailable_.reset();
    waysNote_->setHidden(true);
    confirmButton_->setTitle("确认支付", UIControlStateNormal);
    std::weak_ptr<ZVPayVC> weak = std::static_pointer_cast<ZVPayVC>(sharedController());
    for (size_t i = 0; i < ways_.size() && i < 2; ++i) {
        auto b = UIButton::buttonWithType(UIButtonType::Custom);
        b->setFrame(CGRect(0, i * kWayRowHeight + 4, waysBox_->bounds().width(), kWayRowHeight - 8));
        std::string title = ways_[i].name;
        if (!ways_[i].balance.empty()) title += "（余额 " + ways_[i].balance + "）";
        b->setTitle(title, UIControlStateNormal);
        b->setTitleColor(UIColor::blackColor(), UIControlStateNormal);
        b->setTitleColor(ZVStyle::blue(), UIControlStateSelected);
        // A large balance shrinks the line rather than hide its leading digits.
        b->titleLabel()->adjustsFontSizeToFitWidth = true;
        b->titleLabel()->minimumScaleFactor = 0.5;
        b->setContentEdgeInsets({0, 8, 0, 8});
        b->layer()->setCornerRadius(6);
        b->layer()->setBorderWidth(1);
        b->setAccessibilityIdentifier("pay_way_" + ways_[i].wayId);
        b->addAction(UIControlEventTouchUpInside, [weak, i](UIControl&) {
            if (auto self = weak.lock()) self->selectWay(i);
        });
        waysBox_->addSubview(b);
        wayButtons_.push_back(b);
    }
    layoutPanel();
    selectWay(selected_);
}

void ZVPayVC::selectWay(size_t index) {
    if (index >= wayButtons_.size()) return;
    selected_ = index;
    for (size_t i = 0; i < wayButtons_.size(); ++i) {
        wayButtons_[i]->setSelected(i == index);
        wayButtons_[i]->layer()->setBorderColor(i == index ? ZVStyle::blue() : ZVStyle::lineGray());
    }
}

void ZVPayVC::confirm() {
    if (finished_) return;
    // Below the panel, clear of the caption it explains.
    if (loadingWays_) return CXRMessage::showMessage(kWaitingForWays, belowPanel_);
    if (busy_) return;
    // Without a way to pay the button leads back to the game.
    if (unavailable_) return finish(false, Value(order_.attach), kFailed, Value(*unavailable_));
    if (ways_.empty()) return;
    const PayWay& way = ways_[selected_];
    auto& share = ShareVale::sharedInstance();
    Value params = Value::dict({{"i", share.userName()},
                                {"s", share.token()},
                                {"g", share.gameID()},
                                {"w", way.wayId},
                                {"m", order_.money},
                                {"ext", order_.attach},
                                {"roleid", order_.roleId},
                                {"serverid", order_.serverId},
                                {"pn", order_.productName},
                                {"pd", order_.productDesc}});
    post(ZVApi::kPayOrder, params, true, [wayId = way.wayId](ZVPayVC& self, const Value& reply) {
        auto result = zv::objectWithKeyValues<PayOrderResult>(reply);
        if (!result || !result->isSuccess() || result->orderId.empty()) return self.showRefusal(reply);
        std::string money = result->money.empty() ? self.order_.money : result->money;
        // The trace of a payment, in the log file as a refusal would be.
        VLLogInfo("ZVPayVC: %s paid %s by %s: order %s, aggregator order %s",
                  ShareVale::sharedInstance().userName().c_str(), money.c_str(), wayId.c_str(), result->orderId.c_str(),
                  self.order_.attach.c_str());
        self.finish(true, Value(result->orderId), 0, Value(money));
    });
}

void ZVPayVC::cancel() {
    if (finished_) return;
    finish(false, Value(order_.attach), kCancelled, Value("用户取消"));
}

void ZVPayVC::finish(bool ok, const Value& a, int code, const Value& b) {
    if (finished_) return;
    finished_ = true;
    auto self = std::static_pointer_cast<ZVPayVC>(sharedController());  // alive through the blocks
    auto window = window_;
    window_.reset();
    ZVCloseScreenWindow(window);
    if (onScreen.lock() == self) onScreen.reset();
    if (ok) {
        if (success_) success_(a, b);
    } else if (failure_) {
        failure_(a, code, b);
    }
    success_ = nullptr;
    failure_ = nullptr;
}
