// The login and payment screens as drawn at scale 2, checked by their
// pixels. The suite runs twice, under the pinned fontconfig file and under
// the system's default set-up: the program picks its faces itself, so the
// pictures must come out right under both.

#include <cstdlib>

#include "ScreenTestSupport.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UIKeyCommand.h"
#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/core/CXRMessage.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVLoginVC.h"
#include "usercenter/core/ZVPayVC.h"
#include "usercenter/screens/shell/ZVScreenRegistry.h"

namespace {

bool inked(RGBA8 p) { return p.r < 200 || p.g < 200 || p.b < 200; }
bool red(RGBA8 p) { return p.r > 180 && p.r - p.g > 60 && p.r - p.b > 60; }
bool ringBlue(RGBA8 p) { return p.b > 200 && p.r < 60 && p.g > 80 && p.g < 130; }

// A focus ring shows along all four sides of `f` (pulled inside where the panel ends).
bool ringAllRound(const CGImage& img, const CGRect& f, const CGRect& screen) {
    CGRect o = f.insetBy(-5, -5);
    auto side = [&](CGRect r) { return countPixels(img, r.intersection(screen), ringBlue); };
    int top = side(CGRect(o.minX(), o.minY(), o.width(), 9)), bottom = side(CGRect(o.minX(), o.maxY() - 9, o.width(), 9));
    int left = side(CGRect(o.minX(), o.minY(), 9, o.height())), right = side(CGRect(o.maxX() - 9, o.minY(), 9, o.height()));
    return std::min(top, bottom) >= f.width() && std::min(left, right) >= f.height();
}

// The ink of a rectangle of points: its bounds in points (empty: no ink).
CGRect inkBounds(const CGImage& img, const CGRect& pts) {
    int x0 = INT32_MAX, y0 = INT32_MAX, x1 = -1, y1 = -1;
    for (int y = int(pts.minY() * 2); y < int(pts.maxY() * 2); ++y)
        for (int x = int(pts.minX() * 2); x < int(pts.maxX() * 2); ++x)
            if (inked(img.pixelAt(x, y))) {
                x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
            }
    if (x1 < 0) return CGRect();
    return CGRect(x0 / 2.0, y0 / 2.0, (x1 - x0 + 1) / 2.0, (y1 - y0 + 1) / 2.0);
}

class ScreenLook : public ScreenTest {
protected:
    // Which font set-up this run is under (for the names of the pictures).
    std::string fontSetUp() const {
        const char* f = getenv("FONTCONFIG_FILE");
        return f && std::string(f).find("tools/fonts") != std::string::npos ? "pinned" : "system";
    }
    // Renders a window and keeps the picture for people to look at.
    std::shared_ptr<CGImage> shoot(UIWindow& w, const std::string& name) {
        uitest::layout();
        w.writePNG(testsupport::built("look-") + name + "-" + fontSetUp() + ".png");
        return w.renderImage();
    }
    // Tabs once round the screen on top: each control focused shows its
    // whole ring; the picture keeps the first.
    void ringsRound(UIWindow& w, const std::string& name) {
        size_t stops = UIKeyRouting::tabStops().size(), rings = 0;
        ASSERT_GT(stops, 0u) << name;
        for (size_t i = 0; i < stops; ++i) {
            uitest::pressKey(UIKeyInputTab);
            auto control = UIKeyRouting::focusedControl();
            if (!control) continue;
            auto img = rings++ ? w.renderImage() : shoot(w, "focus-" + name);
            EXPECT_TRUE(ringAllRound(*img, uitest::screenFrame(*control), w.bounds())) << name << " stop " << i;
        }
        EXPECT_GT(rings, 1u) << name;
        w.endEditing(true);
    }
    std::shared_ptr<ZVPayVC> payScreenWithBalance(long cents) {
        auto account = *env->standin().account("player1");
        account.balanceCents = cents;
        env->standin().addAccount("player1", account);
        openPay("6.00");
        auto vc = ZVPayVC::current();
        if (vc) {
            EXPECT_TRUE(testsupport::waitFor([&] { return !vc->ways().empty(); }));
        }
        return vc;
    }
    std::shared_ptr<UIView> byId(const std::string& id) {
        return uitest::findView([&](UIView& v) { return v.accessibilityIdentifier() == id; });
    }
};

TEST_F(ScreenLook, TheAmountIsRedAndTheCloseCrossIsDrawn) {
    loginThroughScreen();
    auto vc = payScreenWithBalance(100000);
    ASSERT_TRUE(vc);
    auto img = shoot(*vc->window(), "pay");
    ASSERT_TRUE(img);

    // Every inked pixel of the amount is red, digits included.
    CGRect amount = uitest::screenFrame(*byId("pay_amount"));
    EXPECT_GT(countPixels(*img, amount, red), 200);
    EXPECT_EQ(countPixels(*img, amount, [](RGBA8 p) { return inked(p) && !red(p) && p.r < 230; }), 0);

    // The ✕: ink in its middle, and no box (a box inks the whole left side of its outline).
    CGRect close = uitest::screenFrame(*byId("pay_close"));
    CGRect ink = inkBounds(*img, close.insetBy(4, 4));
    ASSERT_GT(ink.width(), 4);
    EXPECT_GT(countPixels(*img, CGRect(ink.midX() - 1.5, ink.midY() - 1.5, 3, 3), inked), 0);
    int leftSide = countPixels(*img, CGRect(ink.minX(), ink.minY(), 0.5, ink.height()), inked);
    EXPECT_LT(leftSide, int(ink.height() * 2 * 0.6));
}

TEST_F(ScreenLook, TypedDigitsAreNarrowAndTheFieldKeepsItsStart) {
    openLogin();
    auto vc = ZVLoginVC::current();
    ASSERT_TRUE(vc);
    typeInto(vc->accountField(), "0123456789");
    auto img = shoot(*vc->window(), "login-digits");
    CGRect field = uitest::screenFrame(*vc->accountField());
    CGRect ink = inkBounds(*img, field.insetBy(12, 4));
    double em = vc->accountField()->font()->pointSize();
    EXPECT_LE(ink.width(), 10 * 0.7 * em);
    EXPECT_GE(ink.width(), 10 * 0.4 * em);

    uitest::deleteBackward();
    for (int i = 0; i < 10; ++i) uitest::deleteBackward();
    ASSERT_TRUE(uitest::insertText("demo 0123456789"));
    img = shoot(*vc->window(), "login");
    // All of it fits: the first letter still starts the text area.
    ink = inkBounds(*img, field.insetBy(0, 4));
    EXPECT_LT(ink.minX() - field.minX(), 14);
    EXPECT_LT(ink.maxX(), field.maxX() - 4);
}

TEST_F(ScreenLook, TheWholeBalanceShows) {
    loginThroughScreen();
    for (long cents : {0L, 600L, 100000L, 123456789L}) {
        auto vc = payScreenWithBalance(cents);
        ASSERT_TRUE(vc);
        auto button = uitest::findButton("平台币（余额 " + vc->ways()[0].balance + "）");
        ASSERT_TRUE(button) << cents;
        auto img = shoot(*vc->window(), "pay-balance-" + std::to_string(cents));
        auto label = button->titleLabel();
        // Drawn whole: the natural width at the drawn size fits the label.
        double scale = label->fittingScale();
        CGSize natural = label->sizeThatFits({0, 0});
        EXPECT_LE(natural.width * scale, label->bounds().width() + 0.5) << cents;
        EXPECT_GE(label->font()->pointSize() * scale, 9) << cents;
        CGRect frame = uitest::screenFrame(*button);
        CGRect ink = inkBounds(*img, frame.insetBy(2, 2));
        EXPECT_GT(ink.width(), frame.width() / 3) << cents;
        vc->cancel();
        pay = {};
    }
}

// Without a way to pay: the reason wraps inside the panel above "返回游戏".
TEST_F(ScreenLook, APaymentScreenWithoutWaysShowsWhyWhole) {
    loginThroughScreen();
    env->standin().server().script(
        standin::UserCentreStandin::path("Pay/payway"),
        standin::UserCentreStandin::coded(Value::dict({{"z", -5}, {"b", "登录已失效，请重新登录"}})));
    openPay("6.00");
    auto vc = ZVPayVC::current();
    ASSERT_TRUE(vc);
    std::shared_ptr<UIView> note;
    ASSERT_TRUE(testsupport::waitFor([&] { return uitest::findButton("返回游戏") && (note = byId("pay_ways_note")); }));
    auto img = shoot(*vc->window(), "pay-no-ways");
    CGRect frame = uitest::screenFrame(*note);
    CGRect ink = inkBounds(*img, frame);
    EXPECT_GT(ink.width(), frame.width() / 2);
    EXPECT_GE(ink.minY(), frame.minY());
    EXPECT_LE(ink.maxY(), frame.maxY());
    CGRect button = uitest::screenFrame(*uitest::findButton("返回游戏"));
    EXPECT_GE(button.minY(), frame.maxY());
    EXPECT_LE(button.maxY(), uitest::screenFrame(*note->superview()->superview()).maxY());
}

// While the ways load: the caption shows whole beside its spinner, nothing
// over it, and the greyed button says why it waits when tapped.
TEST_F(ScreenLook, WhileTheWaysLoadTheCaptionShowsAndTheButtonSaysWhyItWaits) {
    loginThroughScreen();
    auto ways = standin::UserCentreStandin::path(ZVApi::kPayWays);
    env->standin().server().script(ways, standin::Reply::hang());
    openPay("6.00");
    auto vc = ZVPayVC::current();
    ASSERT_TRUE(vc);
    ASSERT_TRUE(testsupport::waitFor([&] { return env->standin().journal().count(ways) == 1; }));
    auto img = shoot(*vc->window(), "pay-loading");
    auto note = byId("pay_ways_note"), spinner = byId("pay_ways_spinner");
    ASSERT_TRUE(note && spinner);
    CGRect noteFrame = uitest::screenFrame(*note);
    CGRect caption = inkBounds(*img, noteFrame);
    EXPECT_GT(caption.width(), 100);  // 正在获取支付方式… at 14 points
    // Nothing darker than the caption's grey lies over it (the overlay's box did).
    EXPECT_EQ(countPixels(*img, noteFrame, [](RGBA8 p) { return p.r < 0x50; }), 0);
    CGRect wheel = inkBounds(*img, uitest::screenFrame(*spinner));
    EXPECT_GT(wheel.width(), 10);
    EXPECT_FALSE(wheel.intersects(caption));
    auto confirm = uitest::findButton("确认支付");
    ASSERT_TRUE(confirm);
    CGRect button = uitest::screenFrame(*confirm);
    auto blue = [](RGBA8 p) { return p.b > 200 && p.b - p.r > 80; };
    EXPECT_LT(countPixels(*img, button, blue), int(button.width() * button.height() * 4) / 10);  // greyed (4 pixels a point)

    ASSERT_TRUE(uitest::tapView(*confirm));
    EXPECT_TRUE(labelShown(ZVPayVC::kWaitingForWays));
    auto toast = byId("toast");
    ASSERT_TRUE(toast);
    EXPECT_FALSE(uitest::screenFrame(*toast).intersects(uitest::screenFrame(*note->superview()->superview())));
    EXPECT_TRUE(uitest::pressKey(UIKeyInputReturn));
    EXPECT_FALSE(payEnded());
    EXPECT_EQ(env->standin().journal().count(standin::UserCentreStandin::path(ZVApi::kPayOrder)), 0u);
    shoot(*vc->window(), "pay-loading-tapped");
    vc->cancel();
}

// A refused automatic login: the card keeps saying why the password is
// asked for, on a line beside "忘记密码" that outlasts the toasts, until
// the next attempt.
TEST_F(ScreenLook, AFailedAutomaticLoginSaysWhyOnTheCard) {
    loginThroughScreen();  // "自动登录" keeps the password's digest
    auto account = *env->standin().account("player1");
    account.password = "changed1";
    env->standin().addAccount("player1", account);
    ShareVale::sharedInstance().clearLogin();  // what the next start knows
    NSUserDefaults::resetStandardUserDefaults();
    openLogin();
    ASSERT_TRUE(testsupport::waitFor([&] { return login.failures.size() == 1; }));
    advance(5);
    auto vc = ZVLoginVC::current();
    auto note = findText("自动登录失败：密码错误");
    ASSERT_TRUE(vc && note);
    auto img = shoot(*vc->window(), "login-auto-failed");
    CGRect ink = inkBounds(*img, uitest::screenFrame(*note));
    EXPECT_GT(ink.width(), 100);
    EXPECT_GT(countPixels(*img, ink, red), 30);
    EXPECT_LT(ink.maxX(), inkBounds(*img, uitest::screenFrame(*vc->forgetButton())).minX());
    vc->passwordField()->setText("changed1");
    ASSERT_TRUE(uitest::tapButton("登录"));
    EXPECT_FALSE(findText("自动登录失败：密码错误"));
}

// While the order is placed: the ways with their balance stay as they were
// (no overlay over them), the button says so with its spinner inside it,
// and the close button and Escape wait for the reply.
TEST_F(ScreenLook, WhilePayingTheSpinnerKeepsOffTheWays) {
    loginThroughScreen();
    auto vc = payScreenWithBalance(100000);
    ASSERT_TRUE(vc);
    CGRect ways = uitest::screenFrame(*byId("pay_way_ptb")), amount = uitest::screenFrame(*byId("pay_amount"));
    auto before = shoot(*vc->window(), "pay-before-paying");
    auto order = standin::UserCentreStandin::path(ZVApi::kPayOrder);
    env->standin().server().script(order, standin::Reply::hang());
    ASSERT_TRUE(uitest::tapButton("确认支付"));
    ASSERT_TRUE(testsupport::waitFor([&] { return env->standin().journal().count(order) == 1; }));
    auto img = shoot(*vc->window(), "pay-paying");
    int changed = 0;
    for (int y = int(ways.minY() * 2); y < int(ways.maxY() * 2); ++y)
        for (int x = int(ways.minX() * 2); x < int(ways.maxX() * 2); ++x)
            changed += before->pixelAt(x, y) != img->pixelAt(x, y);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(countPixels(*img, amount, [](RGBA8 p) { return p.r < 0x50; }), 0);
    auto paying = uitest::findButton(ZVPayVC::kPaying);
    ASSERT_TRUE(paying);
    CGRect wheel = inkBounds(*img, uitest::screenFrame(*byId("pay_paying_spinner")));
    EXPECT_GT(wheel.width(), 10);
    EXPECT_TRUE(uitest::screenFrame(*paying).intersects(wheel));
    EXPECT_FALSE(wheel.intersects(inkBounds(*img, uitest::screenFrame(*paying->titleLabel()))));

    uitest::tapView(*byId("pay_close"));
    uitest::pressKey(UIKeyInputEscape);
    env->standin().server().releaseHung();
    ASSERT_TRUE(testsupport::waitFor([&] { return uitest::findButton("确认支付") != nullptr; }));
    EXPECT_FALSE(payEnded());
}

// The floating button, the user centre, an alert and a toast: every label's
// text is drawn with ink inside its frame.
// Keyboard focus on the login card, the reset panel over it and the
// payment screen: a ring round every control Tab reaches, none cut off.
TEST_F(ScreenLook, EveryControlTabReachesShowsItsWholeFocusRing) {
    ZVLinkUserCentreScreens();  // the login window's panels
    loginThroughScreen();
    auto pay = payScreenWithBalance(100000);
    ASSERT_TRUE(pay);
    ringsRound(*pay->window(), "pay");
    pay->cancel();

    openLogin();  // again, over the login that stands
    auto login = ZVLoginVC::current();
    ASSERT_TRUE(login);
    ringsRound(*login->window(), "login");
    ASSERT_TRUE(uitest::tapView(*login->forgetButton()));
    ringsRound(*login->window(), "reset");
}

TEST_F(ScreenLook, TheOtherScreensDrawTheirText) {
    ZVLinkUserCentreScreens();  // the user centre the button opens
    auto game = makeWindow();
    loginThroughScreen();
    auto button = CXRHelperBtn::sharedButton();
    ASSERT_FALSE(button->isHidden());
    auto img = shoot(*button->buttonWindow(), "floating-button");
    EXPECT_GT(countPixels(*img, uitest::screenFrame(*button), inked), 50);

    ASSERT_TRUE(uitest::tapView(*button));
    advance(0.5);
    ASSERT_TRUE(button->helperWindow());
    img = shoot(*button->helperWindow(), "user-centre");
    for (const char* text : {"关闭", "复制"}) {
        auto b = uitest::findButton(text);
        ASSERT_TRUE(b) << text;
        EXPECT_GT(countPixels(*img, uitest::screenFrame(*b->titleLabel()), inked), 30) << text;
    }
    ASSERT_TRUE(uitest::tapButton("关闭"));
    advance(0.5);

    auto alert = std::make_shared<UIAlertView>("提示", "余额 1234.56 元，确定 ✕ 吗？");
    alert->addButtonWithTitle("取消");
    alert->addButtonWithTitle("确定");
    alert->show();
    advance(0.5);  // shown in full
    auto alertWindow = alert->controller()->view()->window();
    ASSERT_TRUE(alertWindow);
    img = shoot(*alertWindow, "alert");
    auto message = uitest::findLabel("余额 1234.56 元，确定 ✕ 吗？");
    ASSERT_TRUE(message);
    EXPECT_LE(message->sizeThatFits({0, 0}).width, message->bounds().width() + 0.5);
    EXPECT_GT(countPixels(*img, uitest::screenFrame(*message), inked), 100);
    alert->dismissWithClickedButtonIndex(0, false);

    CXRMessage::showMessage("请先登录", game->rootViewController()->view());
    auto toast = findText("请先登录");
    ASSERT_TRUE(toast);
    img = shoot(*game, "toast");
    EXPECT_GT(countPixels(*img, uitest::screenFrame(*toast), [](RGBA8 p) { return p.r > 200 && p.g > 200; }), 30);
}

}  // namespace
