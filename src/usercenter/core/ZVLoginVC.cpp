#include "usercenter/core/ZVLoginVC.h"

#include "logging/VLLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/Redact.h"
#include "platform/ui/UIKeyboard.h"
#include "ui/ZVProgressHUD.h"
#include "usercenter/core/CXRMessage.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/URLEncode.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVLoginAPI.h"
#include "usercenter/core/ZVLoginPanels.h"
#include "usercenter/core/ZVScreenWindow.h"

namespace {
constexpr double kPanelWidth = 315;
constexpr double kPanelHeight = 300;
std::weak_ptr<ZVLoginVC> onScreen;
}  // namespace

std::shared_ptr<ZVLoginVC> ZVLoginVC::current() { return onScreen.lock(); }

std::shared_ptr<ZVLoginVC> ZVLoginVC::present(Success success, Failure failure) {
    if (auto open = current()) {
        open->setBlocks(std::move(success), std::move(failure));
        if (open->window_) open->window_->makeKeyAndVisible();
        return open;
    }
    auto vc = std::make_shared<ZVLoginVC>(std::move(success), std::move(failure));
    vc->window_ = ZVOpenScreenWindow(vc);
    onScreen = vc;
    return vc;
}

ZVLoginVC::ZVLoginVC(Success success, Failure failure) { setBlocks(std::move(success), std::move(failure)); }

ZVLoginVC::~ZVLoginVC() { NSNotificationCenter::defaultCenter().removeObserver(this); }

void ZVLoginVC::setBlocks(Success success, Failure failure) {
    success_ = std::move(success);
    failure_ = std::move(failure);
}

void ZVLoginVC::viewDidLoad() {
    auto v = view();
    v->setBackgroundColor(UIColor::colorWithWhite(0, 0.4));
    v->setOpaque(false);
    CGRect screen = v->bounds();
    panel_ = std::make_shared<UIView>(
        CGRect((screen.width() - kPanelWidth) / 2, (screen.height() - kPanelHeight) / 2, kPanelWidth, kPanelHeight));
    panel_->setBackgroundColor(UIColor::whiteColor());
    panel_->layer()->setCornerRadius(10);
    panel_->setClipsToBounds(true);
    panel_->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
                                UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleBottomMargin);
    panel_->setAccessibilityIdentifier("login_panel");
    v->addSubview(panel_);

    auto title = std::make_shared<UILabel>(CGRect(0, 16, kPanelWidth, 30));
    title->setText("账号登录");
    title->setFont(UIFont::systemFontOfSize(20, UIFontWeight::Semibold));
    title->setTextAlignment(NSTextAlignment::Center);
    title->setTextColor(UIColor::fromRGB(0x222222));
    panel_->addSubview(title);

    closeButton_ = ZVStyle::closeButton();
    closeButton_->setFrame(CGRect(kPanelWidth - 50, 0, 50, 50));
    closeButton_->setAccessibilityIdentifier("login_close");
    panel_->addSubview(closeButton_);

    account_ = ZVStyle::field("请输入账号", CGRect(24, 66, kPanelWidth - 48, 44), 12);
    account_->setAccessibilityIdentifier("login_account");
    account_->returnKeyType = UIReturnKeyType::Next;
    account_->setText(ShareVale::sharedInstance().userName());
    panel_->addSubview(account_);

    password_ = ZVStyle::field("请输入密码", CGRect(24, 122, kPanelWidth - 48, 44), 12);
    password_->setAccessibilityIdentifier("login_password");
    password_->setSecureTextEntry(true);
    password_->returnKeyType = UIReturnKeyType::Go;
    panel_->addSubview(password_);

    forgetButton_ = UIButton::buttonWithType(UIButtonType::Custom);
    forgetButton_->setTitle("忘记密码", UIControlStateNormal);
    forgetButton_->setTitleColor(ZVStyle::blue(), UIControlStateNormal);
    forgetButton_->titleLabel()->setFont(UIFont::systemFontOfSize(13));
    forgetButton_->setFrame(CGRect(kPanelWidth - 24 - 64, 170, 64, 24));
    forgetButton_->setAccessibilityIdentifier("login_forget");
    panel_->addSubview(forgetButton_);

    // Beside "忘记密码", left of it.
    autoLoginNote_ = std::make_shared<UILabel>(CGRect(24, 170, kPanelWidth - 48 - 64 - 8, 24));
    autoLoginNote_->setFont(UIFont::systemFontOfSize(12));
    autoLoginNote_->setTextColor(UIColor::fromRGB(0xFF4D4F));
    autoLoginNote_->adjustsFontSizeToFitWidth = true;
    autoLoginNote_->minimumScaleFactor = 0.75;
    autoLoginNote_->setAccessibilityIdentifier("login_auto_note");
    autoLoginNote_->setHidden(true);
    panel_->addSubview(autoLoginNote_);

    loginButton_ = ZVStyle::actionButton("登录");
    loginButton_->setFrame(CGRect(24, 200, kPanelWidth - 48, 44));
    loginButton_->setAccessibilityIdentifier("login_submit");
    panel_->addSubview(loginButton_);
    buildTerms();

    std::weak_ptr<ZVLoginVC> weak = std::static_pointer_cast<ZVLoginVC>(sharedController());
    forgetButton_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        auto self = weak.lock();
        if (auto panels = self ? self->panels() : nullptr) panels->showForgetPassword(self->view());
    });
    loginButton_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->doLogin();
    });
    closeButton_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->cancel();
    });
    // Return: from the account to the password, and from there the login.
    account_->addAction(UIControlEventEditingDidEndOnExit, [weak](UIControl&) {
        if (auto self = weak.lock()) self->password_->becomeFirstResponder();
    });
    password_->addAction(UIControlEventEditingDidEndOnExit, [weak](UIControl&) {
        if (auto self = weak.lock()) self->doLogin();
    });
    auto& centre = NSNotificationCenter::defaultCenter();
    centre.addObserver(this, UIKeyboardWillShowNotification, nullptr, [weak](const NSNotification& n) {
        if (auto self = weak.lock()) self->keyboardWillChange(n.userInfo, true);
    });
    centre.addObserver(this, UIKeyboardWillHideNotification, nullptr, [weak](const NSNotification& n) {
        if (auto self = weak.lock()) self->keyboardWillChange(n.userInfo, false);
    });
    NSNotificationCenter::defaultCenter().addObserver(this, kSendQuickLoginNotification, nullptr,
                                                      [weak](const NSNotification&) {
                                                          auto self = weak.lock();
                                                          if (!self || self->finished_) return;
                                                          auto& share = ShareVale::sharedInstance();
                                                          self->account_->setText(share.userName());
                                                          self->password_->setText(share.password());
                                                          self->doLogin();
                                                      });
}

void ZVLoginVC::buildTerms() {
    // "登录即表示您同意《用户协议》和《隐私政策》", the two titles links, centred.
    auto font = UIFont::systemFontOfSize(12);
    auto text = [&](const std::string& t) {
        auto l = std::make_shared<UILabel>();
        l->setText(t);
        l->setFont(font);
        l->setTextColor(ZVStyle::textGray());
        l->sizeToFit();
        return std::static_pointer_cast<UIView>(l);
    };
    auto link = [&](const std::string& t, const std::string& page, const char* identifier) {
        auto b = UIButton::buttonWithType(UIButtonType::Custom);
        b->setTitle(t, UIControlStateNormal);
        b->setTitleColor(ZVStyle::blue(), UIControlStateNormal);
        b->titleLabel()->setFont(font);
        b->setAccessibilityIdentifier(identifier);
        b->sizeToFit();
        std::weak_ptr<ZVLoginVC> weak = std::static_pointer_cast<ZVLoginVC>(sharedController());
        b->addAction(UIControlEventTouchUpInside, [weak, t, page](UIControl&) {
            auto self = weak.lock();
            if (auto panels = self ? self->panels() : nullptr) panels->showWebPage(self->panel_, t, ZVApi::baseURL() + page);
        });
        return b;
    };
    agreementButton_ = link("《用户协议》", ZVApi::kAgreementPage, "login_agreement");
    privacyButton_ = link("《隐私政策》", ZVApi::kPrivacyPage, "login_privacy");
    std::vector<std::shared_ptr<UIView>> parts{text("登录即表示您同意"), agreementButton_, text("和"), privacyButton_};
    double width = 0;
    for (auto& p : parts) width += p->frame().width();
    double x = (kPanelWidth - width) / 2;
    for (auto& p : parts) {
        p->setFrame(CGRect(x, 258, p->frame().width(), 28));
        x += p->frame().width();
        panel_->addSubview(p);
    }
}

ZVLoginPanels* ZVLoginVC::panels() {
    if (!panels_) panels_ = ZVMakeLoginPanels();
    return panels_.get();
}

void ZVLoginVC::loggedIn(const LoginResult& result) {
    // The account is known from the reply on: a real-name check asked
    // before the login is handed on is the account's, not the last one's.
    ShareVale::sharedInstance().setUserName(loginName_);
    if (!ZVLoginNeedsRealName(result) || !panels()) return finish(result);
    // The login is handed on once the panel is done with it.
    verifying_ = busy_ = true;
    panel_->setHidden(true);
    auto login = std::make_shared<LoginResult>(result);
    std::weak_ptr<ZVLoginVC> weak = std::static_pointer_cast<ZVLoginVC>(sharedController());
    panels_->showRealName(view(), login, [weak, login] {
        auto self = weak.lock();
        if (!self || self->finished_) return;
        self->verifying_ = self->busy_ = false;
        self->finish(*login);
    });
}

void ZVLoginVC::doLogin() {
    if (busy_ || finished_) return;
    std::string name = URLEncode::trimmedWhitespaceAndNewlineString(account_->text());
    std::string password = password_->text();
    if (name.empty()) return CXRMessage::showMessage("请输入账号", view());
    if (password.empty()) return CXRMessage::showMessage("请输入密码", view());
    send(name, URLEncode::md5String(password), false);
}

void ZVLoginVC::logInAutomatically() {
    auto& share = ShareVale::sharedInstance();
    if (busy_ || finished_ || !share.canLogInAutomatically()) return;
    account_->setText(share.userName());
    send(share.userName(), share.autoLoginDigest(), true);
}

void ZVLoginVC::send(const std::string& name, const std::string& digest, bool automatic) {
    view()->endEditing(true);
    busy_ = true;
    autoLoginNote_->setHidden(true);
    ZVProgressHUD::showHUDAddedTo(view(), false);
    std::weak_ptr<ZVLoginVC> weak = std::static_pointer_cast<ZVLoginVC>(sharedController());
    ZVLoginAPI::loginWithDigest(
        name, digest,
        [weak, digest, name, automatic](const LoginResult& result) {
            auto self = weak.lock();
            if (!self || self->finished_) return;
            self->busy_ = false;
            self->loginDigest_ = digest;
            self->loginName_ = result.userName.empty() ? name : result.userName;
            self->automaticLogin_ = automatic;
            ZVProgressHUD::hideHUDForView(self->view(), false);
            self->loggedIn(result);
        },
        [weak, name, automatic](int64_t code, const std::string& message) {
            VLLogWarn("ZVLoginVC: the %slogin of %s failed (%lld): %s", automatic ? "automatic " : "", name.c_str(),
                      (long long)code, message.c_str());
            // A refused automatic login is not tried again: the password is asked for.
            if (automatic && code != ZVLoginAPI::kTransportFailure) ShareVale::sharedInstance().setAutoLoginDigest("");
            auto self = weak.lock();
            if (!self || self->finished_) return;
            self->busy_ = false;
            ZVProgressHUD::hideHUDForView(self->view(), false);
            // The player typed nothing: the card keeps saying why a password is asked for.
            if (automatic) {
                self->autoLoginNote_->setText("自动登录失败：" + message);
                self->autoLoginNote_->setHidden(false);
            } else {
                CXRMessage::showMessage(message, self->view());
            }
            if (self->failure_) self->failure_(code, message);
        });
}

void ZVLoginVC::closeWindow() {
    finished_ = true;
    auto self = std::static_pointer_cast<ZVLoginVC>(sharedController());
    NSNotificationCenter::defaultCenter().removeObserver(this);
    auto window = window_;
    window_.reset();
    ZVCloseScreenWindow(window);
    if (onScreen.lock() == self) onScreen.reset();
}

void ZVLoginVC::finish(const LoginResult& result) {
    auto self = std::static_pointer_cast<ZVLoginVC>(sharedController());  // alive through the block
    // The next start logs in with it while the switch is on.
    auto& share = ShareVale::sharedInstance();
    share.setAutoLoginDigest(share.isNotAutoLogin() ? "" : loginDigest_);
    // What succeeded reaches the log file too, as failures do.
    VLLogInfo("ZVLoginVC: %s logged in %s, session %s", loginName_.c_str(),
              automaticLogin_ ? "automatically (saved login)" : "with a password", redact::secret(result.sign).c_str());
    closeWindow();
    auto success = std::move(success_);
    success_ = nullptr;
    failure_ = nullptr;
    if (success) success(result);
}

void ZVLoginVC::cancel() {
    if (finished_) return;
    auto self = std::static_pointer_cast<ZVLoginVC>(sharedController());
    closeWindow();  // a login under way is dropped with the window
    auto failure = std::move(failure_);
    success_ = nullptr;
    failure_ = nullptr;
    if (failure) failure(kCancelled, "取消登录");
}

void ZVLoginVC::escape() {
    if (panels_ && panels_->closeTopPanel()) return;
    // Only the real-name panel's own ways out end a verification.
    if (verifying_) return;
    cancel();
}

std::vector<UIKeyCommand> ZVLoginVC::keyCommands() const {
    auto weak = std::weak_ptr<ZVLoginVC>(std::static_pointer_cast<ZVLoginVC>(std::const_pointer_cast<UIResponder>(shared_from_this())));
    return {{UIKeyInputEscape, 0, [weak] { if (auto self = weak.lock()) self->escape(); }},
            {UIKeyInputReturn, 0, [weak] { if (auto self = weak.lock()) self->doLogin(); }}};
}

void ZVLoginVC::touchesBegan(const UITouchSet&, UIEvent*) {
    // A tap beside the fields ends editing.
    if (auto v = view()) v->endEditing(true);
}

void ZVLoginVC::keyboardWillChange(const Value& info, bool showing) {
    if (!panel_) return;
    if (restingFrame_.size.width == 0) restingFrame_ = panel_->frame();
    CGRect resting = restingFrame_;
    if (!showing) {
        panel_->setFrame(resting);
        restingFrame_ = CGRect();
        return;
    }
    // The panel's bottom stays 12 points above the keyboard, its top on the screen.
    CGRect keyboard = view()->convertRectFromView(CGRectFromNSValue(info[UIKeyboardFrameEndUserInfoKey]), nullptr);
    double lift = std::max(0.0, resting.maxY() + 12 - keyboard.minY());
    lift = std::min(lift, std::max(0.0, resting.minY() - 20));
    panel_->setFrame(resting.offsetBy(0, -lift));
}
