#pragma once
// The panels the login window shows over itself (real-name check, password
// reset, agreement pages) belong to the user centre's screens and are found
// by name, as the user centre is: the class registered under
// "ZVLoginPanels" answering this interface. Without it the login window
// says so in the log and goes on: a login that asks for verification
// finishes unverified, and the links open nothing.

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/UIView.h"

class LoginResult;

class ZVLoginPanels {
public:
    virtual ~ZVLoginPanels() = default;
    // The real-name panel centred over `host`, for `login`: `done` runs once,
    // after a successful check (which updates `login`'s real-name fields) or
    // when the player closes the panel, which a login that makes
    // verification mandatory does not offer.
    virtual void showRealName(const std::shared_ptr<UIView>& host, const std::shared_ptr<LoginResult>& login,
                              std::function<void()> done) = 0;
    // The password-reset panel on a dimming cover over `host`.
    virtual void showForgetPassword(const std::shared_ptr<UIView>& host) = 0;
    // A publisher page in the web panel filling `host`.
    virtual void showWebPage(const std::shared_ptr<UIView>& host, const std::string& name, const std::string& url) = 0;
    // Escape over the panels: the one on top closes as its own way out
    // would (the web panel's back, the reset panel's close, the real-name
    // panel's "暂不认证"). True when a panel was up: a mandatory real-name
    // panel keeps the key and stays, as it offers no way out.
    virtual bool closeTopPanel() = 0;
};

inline constexpr const char* kZVLoginPanelsClassName = "ZVLoginPanels";

// New panels of the registered class, or nullptr (logged) when none is.
std::shared_ptr<ZVLoginPanels> ZVMakeLoginPanels();

// Whether a login reply asks for real-name verification: its real-name
// state reads false ("0") where the reply gives one, or, where it gives
// none, verification is mandatory.
bool ZVLoginNeedsRealName(const LoginResult& login);
