#pragma once
// The real-name panels: legal name and identity-card number, checked by
// the server ("login/idcheck"). Only emptiness is tested here ("请输入姓名",
// "请输入身份证号", nothing sent); the fields go as typed.
//
// ZVLoginRzView serves the login window (no cover; its `rzBlock` hands the
// login on, also when the player closes the panel, which only a login that
// does not make verification mandatory allows) and the account page (on a
// cover, isShowCover). A success stores the real-name state in ShareVale,
// copies the check's fields into `loginData`, runs `rzBlock`, empties the
// fields and takes the panel (and its cover) off screen; a refusal shows the
// server's message and keeps the fields as typed. Its two links run
// `goToDetail` and open the box page outside the application.
//
// ZVSuRzView (nothing in the system makes it) has the same fields and check
// without the links, and never a close button; a success runs `rzBlock`
// once and closes.

#include <functional>
#include <memory>
#include <string>

#include "usercenter/core/ZVResponses.h"
#include "usercenter/screens/panels/ZVPanelView.h"

// What both panels share: the two fields, their test and the check.
class ZVRealNameForm : public ZVPanelView {
public:
    std::shared_ptr<UITextField> nameF, codeF;
    std::shared_ptr<UIButton> closeBtn, rzBtn;
    std::shared_ptr<LoginResult> loginData;
    std::function<void()> rzBlock;

    // The first empty field's message as a toast; false then.
    bool isOK();
    void doCommit();
    void doClose();
    // "暂不认证" is offered: verification is not mandatory.
    bool offersClose() const { return !closeBtn->isHidden(); }

protected:
    explicit ZVRealNameForm(double height) : ZVPanelView(height) {}
    // Title, notice, fields and the two buttons, the first row at `fieldsTop`.
    void buildForm(double fieldsTop, double buttonsTop);
    void emptyFields();
    bool busy_ = false;
};

class ZVLoginRzView : public ZVRealNameForm {
public:
    static constexpr double kHeight = 318;
    static constexpr double kButtonsTop = 258;
    static constexpr double kSide = 15;

    static std::shared_ptr<ZVLoginRzView> fromNib();
    ZVLoginRzView() : ZVRealNameForm(kHeight) {}

    // Leading distance of the submit button: 15 when verification is
    // mandatory (no close button), else 157.5 (beside the close button).
    double rzBtnLeft = 157.5;
    std::function<void()> goToDetail;
    std::function<void(const std::string& url)> goToReceive;  // set by hosts; the panel never runs it
    std::shared_ptr<UIButton> detailBtn, receiveBtn;

    void setLoginData(std::shared_ptr<LoginResult> login);
    void showDetail();
    void doReceive();

    void layoutSubviews() override;

protected:
    void awakeFromNib() override;
};

class ZVSuRzView : public ZVRealNameForm {
public:
    static constexpr double kHeight = 232;
    static std::shared_ptr<ZVSuRzView> fromNib();
    ZVSuRzView() : ZVRealNameForm(kHeight) {}

    void setLoginData(std::shared_ptr<LoginResult> login);

protected:
    void awakeFromNib() override;
};
