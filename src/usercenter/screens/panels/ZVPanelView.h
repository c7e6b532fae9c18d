#pragma once
// What the overlay panels of the user centre and the login window share
// (real name, password reset, phone unbinding): a white rounded card,
// built once as its nib would build it; fields in one look; Return moving
// from field to field in the order the panel names (the last one only
// resigns); a tap beside the fields ending editing; closing that takes the
// panel, and the dimming cover its host put it on, off screen; and staying
// above the keyboard: while the keyboard would cover the panel, the panel
// moves up so that its bottom is 12 points above it (never above its
// superview's top), and back when the keyboard goes.

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/UIButton.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UITextField.h"
#include "platform/ui/UIView.h"
#include "usercenter/screens/panels/ZVCountDownButton.h"

class ZVPanelView : public UIView, public UITextFieldDelegate {
public:
    static constexpr double kWidth = 300;
    static constexpr double kKeyboardGap = 12;
    static constexpr int kCodeSeconds = 30;
    // The host's dimming cover: black at alpha 0.2.
    static std::shared_ptr<UIView> makeCover(const CGRect& frame);

    ~ZVPanelView() override;

    // The panel sits on a cover of its host; closing removes that cover too.
    bool isShowCover = false;

    bool textFieldShouldReturn(UITextField& field) override;
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void didMoveToSuperview() override;

protected:
    explicit ZVPanelView(double height);
    // Builds the panel once (what the nib holds): subclasses add their parts.
    virtual void awakeFromNib() {}
    void build();

    std::shared_ptr<UITextField> makeField(const std::string& placeholder, const CGRect& frame);
    std::shared_ptr<UILabel> makeTitle(const std::string& title);
    std::shared_ptr<UIButton> makeCloseButton();
    // The panel and, when `withCover`, the cover under it, off screen.
    void removePanel(bool withCover);
    // Asks for an SMS code ("Sdkhome/yzm"): the reply's message as a toast;
    // on success `button` disabled and counting down 30 seconds ("剩余%d秒",
    // then enabled with "重新获取"); on failure enabled with "获取验证码".
    void requestCode(const std::shared_ptr<ZVCountDownButton>& button, const std::string& phone,
                     const std::string& name, const std::string& type);
    // A code button of the panels' look at `frame`.
    std::shared_ptr<ZVCountDownButton> makeCodeButton(const CGRect& frame);
    // Return goes from each field to the next of this list.
    std::vector<std::weak_ptr<UITextField>> returnOrder;

private:
    void keyboardWillChange(const Value& info, bool showing);
    bool built_ = false, observing_ = false;
    std::optional<CGRect> resting_;
};
