#pragma once
// The floating helper button over the game, shown while a player is logged
// in. It can be dragged (it settles at the nearer side edge) and a tap
// opens the user centre in a window of its own. While logged in it reports
// the time played to the server every minute; when the server answers that
// the day's play time is used up, the player is told and logged out.
//
// While a screen of the game's own covers it (a controller presented over
// a window below the button's, alerts aside: the photo picker, the crop
// and camera screens), the button's window hides, and it comes back once
// the last such screen is gone, if the button is still to show.

#include <functional>
#include <memory>
#include <string>

#include "platform/dispatch/DispatchSync.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIWindow.h"

class CXRHelperBtn : public UIButton {
public:
    using LoginFailure = std::function<void(int code, const std::string& message)>;

    static constexpr double kSide = 56;
    static constexpr double kOnlineReportSeconds = 60;
    // The window level of the button: above the game, below the SDK's screens.
    static constexpr double kWindowLevel = 100;
    // An online-time reply with this status means the play time is used up.
    static constexpr int64_t kPlayTimeOverStatus = -2;

    // The one button, created on first use and never destroyed.
    static std::shared_ptr<CXRHelperBtn> sharedButton();
    // Unhides the button (and its window, unless a screen of the game
    // covers it) and brings it to the front.
    static void show();
    static void hide();
    // A controller presented over a window below the button's, alerts aside.
    static bool gameScreenShown();

    // After a login: keeps the game's failure block (for a logout in the
    // user centre, code -9) and starts the online-time report.
    void attachLogin(LoginFailure failure);
    void startOnlineTimer();
    void stopOnlineTimer();
    bool isOnlineTimerRunning() const { return timer_ != nullptr; }

    // Opens the user centre.
    void doShowHelperVC();
    // Fades the user centre's window out and drops it.
    void destoryWindow();

    // The window holding the button, and the user centre's window (nullptr when closed).
    std::shared_ptr<UIWindow> buttonWindow() const { return buttonWindow_; }
    std::shared_ptr<UIWindow> helperWindow() const { return window_; }

    CXRHelperBtn();
    void drawRect(CGContext& ctx, const CGRect& rect) override;
    // No Tab stop: Tab and Space over the game stay the page's.
    bool canBecomeFocused() const override { return false; }

private:
    void logoutFromUserCentre();
    void onlineTimerFired();
    void settleAtEdge();
    void dragged(class UIPanGestureRecognizer* pan);
    void placeWindow();

    std::shared_ptr<UIWindow> buttonWindow_;
    std::shared_ptr<UIWindow> window_;
    std::shared_ptr<DispatchTimer> timer_;
    LoginFailure loginFailure_;
    CGPoint dragStart_{};
    bool limitShown_ = false;
    bool wanted_ = false;  // shown, as far as show() and hide() go
};
