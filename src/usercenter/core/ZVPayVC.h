#pragma once
// The payment screen: the product and amount, the ways of paying the
// server offers for this player, and the confirmation. Payments settle on
// the user-centre server; the result goes to exactly one of the blocks:
// success (order id, amount) or failure (the game's attach text, a code,
// a message). Codes follow the payment results: 6001 cancelled by the
// player, 4000 refused or not possible.
//
// When the server offers no way of paying (a refusal such as a session it
// no longer knows, or no answer), the screen says why in place of the ways
// and its button reads "返回游戏": it closes the screen with 4000 and that
// reason. The panel is as tall as what it shows.
//
// While the ways load, a small spinner sits beside the caption
// "正在获取支付方式…" (the panel stays open to the close button and Escape),
// and the confirmation button is greyed: a tap on it (or Return) says
// kWaitingForWays in a toast under the panel. While the order is placed the
// button reads kPaying, greyed, with a spinner inside it, and the panel
// takes no touches, nor Escape: the ways and their balance stay in sight,
// unchanged.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UISmallControls.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIWindow.h"
#include "usercenter/core/ZVResponses.h"

struct ZVPayOrder {
    std::string roleId, money, serverId, productName, productDesc, attach;
};

class ZVPayVC : public UIViewController {
public:
    using Success = std::function<void(const Value& orderId, const Value& money)>;
    using Failure = std::function<void(const Value& attach, int code, const Value& message)>;

    static constexpr int kCancelled = 6001;
    static constexpr int kFailed = 4000;
    static constexpr const char* kWaitingForWays = "正在获取支付方式，请稍候";
    static constexpr const char* kPaying = "正在支付…";

    // Opens the screen in a window of its own; returns it (nullptr when the
    // order is refused at once: not logged in, which a "请先登录" toast
    // tells the player, or no valid amount; the failure block has then been
    // called).
    static std::shared_ptr<ZVPayVC> present(const ZVPayOrder& order, Success success, Failure failure);
    // The screen on display, if any.
    static std::shared_ptr<ZVPayVC> current();

    ZVPayVC(ZVPayOrder order, Success success, Failure failure);
    void viewDidLoad() override;

    std::shared_ptr<UIWindow> window() const { return window_; }
    const std::vector<PayWay>& ways() const { return ways_; }
    size_t selectedWay() const { return selected_; }
    void selectWay(size_t index);
    // The player's actions (also Return and Escape).
    void confirm();
    void cancel();
    std::vector<UIKeyCommand> keyCommands() const override;

private:
    void loadWays();
    // The spinner and the greyed button while the ways load.
    void showLoadingWays(bool loading);
    // A coded request, shown as the payment under way when `paying`;
    // `onReply` (or `onFailure` when no reply came; else a "服务器错误"
    // toast) runs unless the screen closed meanwhile.
    void post(const char* path, const Value& params, bool paying, std::function<void(ZVPayVC&, const Value&)> onReply,
              std::function<void(ZVPayVC&)> onFailure = nullptr);
    // The button's look and the panel's touches while the order is placed.
    void showPaying(bool paying);
    void showRefusal(const Value& reply);
    void waysUnavailable(const std::string& reason);
    void layoutWays();
    void layoutPanel();
    void finish(bool ok, const Value& a, int code, const Value& b);

    ZVPayOrder order_;
    Success success_;
    Failure failure_;
    bool finished_ = false, busy_ = false, loadingWays_ = false;
    std::vector<PayWay> ways_;
    size_t selected_ = 0;
    std::shared_ptr<UIWindow> window_;
    std::shared_ptr<UIView> panel_, waysBox_;
    std::shared_ptr<UIView> belowPanel_;  // where the waiting toast shows
    std::shared_ptr<UILabel> waysNote_;
    std::shared_ptr<UIActivityIndicatorView> waysSpinner_, payingSpinner_;
    std::optional<std::string> unavailable_;  // why no way of paying is offered
    bool paying_ = false;                      // the order is placed, its reply not come
    std::shared_ptr<UIButton> confirmButton_, closeButton_;
    std::vector<std::shared_ptr<UIButton>> wayButtons_;
};
