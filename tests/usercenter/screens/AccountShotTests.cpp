// Pictures of the account tab at scale 2 on both screen profiles, checked
// at points that must show a given colour. With KORVEL_SHOT_DIR set, the
// pictures are also written there to look at.

#include <cstdlib>

#include "UserCentreTestSupport.h"
#include "platform/graphics/ImageIO.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/ZVLoginRzView.h"
#include "usercenter/screens/ZVSuUserVC.h"

using Profile = UIScreen::Profile;

namespace {

struct Colour {
    int r, g, b;
};
bool near(RGBA8 p, Colour c, int tolerance) {
    return std::abs(p.r - c.r) <= tolerance && std::abs(p.g - c.g) <= tolerance && std::abs(p.b - c.b) <= tolerance;
}
int count(const CGImage& img, const CGRect& points, Colour c, int tolerance = 6) {
    return countPixels(img, points, [&](RGBA8 p) { return near(p, c, tolerance); });
}
int area(const CGRect& r) { return int(r.width() * r.height() * 4); }

class AccountShots : public UserCentreTest, public ::testing::WithParamInterface<Profile> {
protected:
    void SetUp() override {
        UIScreen::mainScreen().setProfile(GetParam());
        UserCentreTest::SetUp();
        ShareVale::sharedInstance().setUserName("player1");
        ShareVale::sharedInstance().xiaohao_nickName = "小号A";
    }
    void TearDown() override {
        ShareVale::sharedInstance().xiaohao_nickName.clear();
        UserCentreTest::TearDown();
        UIScreen::mainScreen().setProfile(Profile::Compact);
    }
    bool tall() const { return GetParam() == Profile::Tall; }
    std::shared_ptr<CGImage> shoot(const std::string& name) {
        uitest::layout();
        auto& window = *CXRHelperBtn::sharedButton()->helperWindow();
        auto img = window.renderImage(2);
        if (const char* dir = std::getenv("KORVEL_SHOT_DIR"); dir && img)
            window.writePNG(std::string(dir) + "/" + name + (tall() ? "-tall" : "-compact") + ".png");
        return img;
    }
    std::shared_ptr<ZVSuUserVC> open(Value uinfo) {
        env->standin().setProfile("player1", std::move(uinfo), Value::dict({{"money", "45"}, {"count", 3}}));
        auto centre = openUserCentre();
        auto vc = centre ? tabRoot<ZVSuUserVC>(*centre, 0) : nullptr;
        EXPECT_TRUE(vc && settle([&] { return !vc->dic().isNull(); }));
        return vc;
    }
};

TEST_P(AccountShots, TheHeaderBadgesAndRealNameState) {
    auto vc = open(Value::dict({{"weidu", 3}, {"wallet", 1234567.89}, {"starcoin", "36"}, {"djq", "120.00"}}));
    ASSERT_TRUE(vc);
    auto img = shoot("i22-account");
    ASSERT_TRUE(img);
    CGRect header = uitest::screenFrame(*vc->onePic);
    EXPECT_GT(count(*img, CGRect(0, header.minY(), 10, 40), {0x60, 0x36, 0xE7}), 10 * 40 * 4 - 8);
    CGRect badge = uitest::screenFrame(*vc->msgNumL);
    EXPECT_GT(count(*img, badge.insetBy(4, 4), {0xFF, 0x4D, 0x4F}, 10), area(badge.insetBy(4, 4)) / 3);
    // "已认证" in dark grey; the wallet in full.
    CGRect rz = uitest::screenFrame(*vc->rzL);
    EXPECT_GT(count(*img, rz, {85, 85, 85}, 15), 20);
    EXPECT_EQ(vc->walletL->text(), "1234567.89");
}

TEST_P(AccountShots, AnUnverifiedAccountAndThePanelOnItsCover) {
    auto a = *env->standin().account("player1");
    a.rzStatus = "0";
    env->standin().addAccount("player1", a);
    auto vc = open(Value::dict({{"weidu", 0}}));
    ASSERT_TRUE(vc);
    auto img = shoot("i22-account-unverified");
    EXPECT_TRUE(vc->msgNumL->isHidden());
    CGRect rz = uitest::screenFrame(*vc->rzL);
    EXPECT_GT(count(*img, rz, {0x99, 0x99, 0x99}, 6), 20);
    EXPECT_EQ(count(*img, rz, {85, 85, 85}, 15), 0);

    vc->goToRz();
    auto panel = vc->rzView();
    img = shoot("i22-realname-panel");
    CGRect p = uitest::screenFrame(*panel);
    // White under the cover's 0.2 black reads about 204 beside the panel; the panel stays white.
    CGRect card = uitest::screenFrame(*vc->userView);
    EXPECT_GT(count(*img, CGRect(card.minX() + 4, card.minY() + 4, 8, 8), {204, 204, 204}, 3), 8 * 8 * 4 - 4);
    EXPECT_GT(count(*img, CGRect(p.minX() + 4, p.maxY() - 8, 8, 4), {255, 255, 255}, 2), 8 * 4 * 4 - 4);
}

INSTANTIATE_TEST_SUITE_P(Profiles, AccountShots, ::testing::Values(Profile::Compact, Profile::Tall),
                         [](const auto& info) { return info.param == Profile::Tall ? "Tall" : "Compact"; });

}  // namespace
