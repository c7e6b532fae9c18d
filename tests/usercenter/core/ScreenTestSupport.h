#pragma once
// The fixture of the user-centre tests that drive screens: the toolkit's
// test set-up (pinned fonts, test clock) with a stand-in, and the SDK's
// screens and floating button put back to rest after each test.

#include <optional>
#include <string>

#include "UCTestSupport.h"
#include "UITestSupport.h"
#include "platform/ui/UILabel.h"
#include "usercenter/core/ZorviaSDK.h"

class ScreenTest : public UITest {
protected:
    void SetUp() override;
    void TearDown() override;

    struct LoginOutcome {
        int successes = 0;
        std::string loginTime, userName, sign, rzStatus;
        std::vector<std::pair<int, std::string>> failures;
    };
    // Opens the login screen through the facade, recording what the blocks get.
    void openLogin();
    // Types into a text field by tapping it and entering the text as the keyboard would.
    void typeInto(const std::shared_ptr<UIView>& field, const std::string& text);
    // Logs "player1" in through the screen and waits for the success block.
    void loginThroughScreen(const std::string& password = "secret1");
    // A label with this text in a visible window, also one that is fading
    // out (toasts take their end alpha at once).
    std::shared_ptr<UILabel> findText(const std::string& text);
    bool labelShown(const std::string& text);

    struct PayOutcome {
        int successes = 0, failures = 0;
        Value a, b;
        int code = 0;
    };
    // Opens the payment screen through the facade for 钻石×60, recording what the blocks get.
    void openPay(const std::string& money);
    bool payEnded() const { return pay.successes + pay.failures > 0; }

    std::optional<uctest::Environment> env;
    LoginOutcome login;
    PayOutcome pay;
};
