#pragma once
// The login screen: account and password, checked by the user-centre
// server. It stays up until a login succeeds or the player closes it: a
// refused or failed attempt shows its message as a toast and is reported to
// the failure block, and the player may try again. The close button (and
// Escape) takes the window away and reports kCancelled to the failure
// block; Escape over a panel of the window closes that panel instead
// (ZVLoginPanels::closeTopPanel) and does nothing over a mandatory
// real-name panel. A quick login handed over by the operator's box application
// ("SendQuickLogin") fills the fields and logs in.
//
// The automatic login ("自动登录" on the account page): a login that
// succeeds keeps the password's digest (ShareVale::autoLoginDigest) while
// the switch is on, and a login window opened at a later start logs that
// account in by itself (logInAutomatically), the player typing nothing.
// A refusal forgets the digest and leaves the window waiting for the
// password; why it failed stays on the card, under the password
// ("自动登录失败：" and the message), until the next attempt.
//
// Keys: Return moves from the account to the password and there logs in
// (also with no field being edited); a tap beside the fields ends editing,
// and the panel moves up while the keyboard would cover it.
//
// A login whose reply asks for real-name verification (ZVLoginNeedsRealName)
// shows the real-name panel in place of the login panel; the login is handed
// on when the panel's check succeeds (with the check's real-name fields) or
// when the player closes it, which a mandatory verification does not offer.
// "忘记密码" opens the password-reset panel over the window, and
// 《用户协议》 and 《隐私政策》 the agreement pages in a web panel over the
// login panel (ZVLoginPanels).

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/UIButton.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UITextField.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIWindow.h"
#include "usercenter/core/ZVLoginPanels.h"
#include "usercenter/core/ZVResponses.h"

inline constexpr const char* kSendQuickLoginNotification = "SendQuickLogin";

class ZVLoginVC : public UIViewController {
public:
    using Success = std::function<void(const LoginResult&)>;
    using Failure = std::function<void(int64_t code, const std::string& message)>;
    // The failure code of a login window the player closed.
    static constexpr int64_t kCancelled = -100;

    // Opens the screen in a window of its own, or hands the blocks to the
    // one already open.
    static std::shared_ptr<ZVLoginVC> present(Success success, Failure failure);
    // The screen on display, if any.
    static std::shared_ptr<ZVLoginVC> current();

    ZVLoginVC(Success success, Failure failure);
    ~ZVLoginVC() override;
    void viewDidLoad() override;

    const std::shared_ptr<UITextField>& accountField() const { return account_; }
    const std::shared_ptr<UITextField>& passwordField() const { return password_; }
    const std::shared_ptr<UIButton>& loginButton() const { return loginButton_; }
    std::shared_ptr<UIWindow> window() const { return window_; }

    const std::shared_ptr<UIButton>& closeButton() const { return closeButton_; }
    const std::shared_ptr<UIView>& panel() const { return panel_; }
    const std::shared_ptr<UIButton>& forgetButton() const { return forgetButton_; }
    // Why the automatic login failed (hidden otherwise).
    const std::shared_ptr<UILabel>& autoLoginNote() const { return autoLoginNote_; }
    const std::shared_ptr<UIButton>& agreementButton() const { return agreementButton_; }
    const std::shared_ptr<UIButton>& privacyButton() const { return privacyButton_; }
    // The real-name panel is up, waiting for the player.
    bool isVerifying() const { return verifying_; }

    // The login button's action.
    void doLogin();
    // Logs the kept account in with its kept digest, when
    // ShareVale::canLogInAutomatically(); otherwise nothing.
    void logInAutomatically();
    // The close button's action.
    void cancel();
    // Escape's: the panel on top, else the window (above).
    void escape();

    std::vector<UIKeyCommand> keyCommands() const override;
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;

private:
    void setBlocks(Success success, Failure failure);
    void send(const std::string& name, const std::string& digest, bool automatic);
    void finish(const LoginResult& result);
    void loggedIn(const LoginResult& result);
    void buildTerms();
    ZVLoginPanels* panels();
    void closeWindow();
    void keyboardWillChange(const Value& info, bool showing);

    Success success_;
    Failure failure_;
    bool busy_ = false, finished_ = false, verifying_ = false;
    std::string loginDigest_;  // of the login under way or done
    std::string loginName_;    // the account it was for
    bool automaticLogin_ = false;
    std::shared_ptr<ZVLoginPanels> panels_;
    std::shared_ptr<UIWindow> window_;
    std::shared_ptr<UIView> panel_;
    std::shared_ptr<UITextField> account_, password_;
    std::shared_ptr<UILabel> autoLoginNote_;
    std::shared_ptr<UIButton> loginButton_, closeButton_, forgetButton_, agreementButton_, privacyButton_;
    CGRect restingFrame_;
};
