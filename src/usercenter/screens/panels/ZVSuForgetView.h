#pragma once
// The password-reset panel (login window and account page) and the
// phone-unbinding panel (account page), both with SMS codes.
//
// ZVSuForgetView: phone, new password, code. isOK wants exactly 11
// characters of phone ("请输入正确的手机号"), a password of at least 6
// ("密码不少于6位") and a code ("请输入验证码"), counted in UTF-16 units; the
// first failure is a toast and nothing is sent. The code (type "5") is
// asked for whatever the phone field holds. The reset ("Sdkhome/forgetpassword",
// coded) shows the server's "b" whatever its "a"; with "a" 1 the panel
// closes half a second later.
//
// ZVSuJieView: the code goes to the phone bound to the logged-in account
// (type "7", no number sent); the unbinding ("Sdkhome/jiebang", coded) runs
// `backBlock` and closes on "a" 1, else shows "b". It always sits on its
// host's cover and takes it along when it closes.

#include <functional>
#include <memory>

#include "usercenter/screens/panels/ZVPanelView.h"

class ZVSuForgetView : public ZVPanelView {
public:
    static constexpr double kHeight = 300;
    static constexpr double kCloseDelay = 0.5;
    static std::shared_ptr<ZVSuForgetView> fromNib();
    ZVSuForgetView() : ZVPanelView(kHeight) {}

    std::shared_ptr<UITextField> numF, pwdF, codeF;
    std::shared_ptr<ZVCountDownButton> codeBtn;
    std::shared_ptr<UIButton> pwdBtn, commitBtn, closeBtn;

    void doSendCode();
    // Shows the password in clear while the button is selected.
    void showPwdOrHide();
    bool isOK();
    void doCommit();
    void doClose();

protected:
    void awakeFromNib() override;
};

class ZVSuJieView : public ZVPanelView {
public:
    static constexpr double kHeight = 232;
    static std::shared_ptr<ZVSuJieView> fromNib();
    ZVSuJieView() : ZVPanelView(kHeight) {}

    std::shared_ptr<UITextField> codeF;
    std::shared_ptr<ZVCountDownButton> codeBtn;
    std::shared_ptr<UIButton> commitBtn, closeBtn;
    std::function<void()> backBlock;

    void doGetCode();
    void doCommit();
    void doClose();

protected:
    void awakeFromNib() override;
};
