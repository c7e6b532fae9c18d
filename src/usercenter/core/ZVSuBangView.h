#pragma once
// The phone-binding panel of the account page: phone number, SMS code
// (with a 60-second wait before another may be asked for) and the binding
// request. After the server accepts the binding it hands the masked number
// to `backBlock`, clears its fields and removes its cover and itself.

#include <functional>
#include <memory>
#include <string>

#include "platform/dispatch/DispatchSync.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UITextField.h"
#include "platform/ui/UIView.h"

class ZVSuBangView : public UIView {
public:
    static constexpr int kCodeWaitSeconds = 60;
    // The SMS code type of a phone binding.
    static constexpr const char* kSmsTypeBindPhone = "1";

    // The panel as its nib would make it (also found by name, "ZVSuBangView").
    static std::shared_ptr<ZVSuBangView> ViewFromXib();
    // The first 3 characters, "****" and the characters from index 7 on; a
    // shorter number keeps what it has and is never read past its end.
    static std::string maskPhone(const std::string& phone);

    std::function<void(const std::string& maskedPhone)> backBlock;

    ZVSuBangView();
    ~ZVSuBangView() override;
    const std::shared_ptr<UITextField>& phoneField() const { return phone_; }
    const std::shared_ptr<UITextField>& codeField() const { return code_; }
    const std::shared_ptr<UIButton>& codeButton() const { return codeButton_; }

    void getCode();
    void bind();
    // Removes the panel and the cover it sits on.
    void close();

    void didMoveToSuperview() override;

private:
    void build();
    void startCountdown();
    void tick();
    void stopCountdown();

    bool built_ = false, busy_ = false;
    int remaining_ = 0;
    std::shared_ptr<UITextField> phone_, code_;
    std::shared_ptr<UIButton> codeButton_, bindButton_, closeButton_;
    std::shared_ptr<DispatchTimer> timer_;
};
