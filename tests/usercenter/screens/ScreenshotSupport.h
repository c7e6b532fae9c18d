#pragma once
// Pictures of the user centre at scale 2 on both screen profiles, checked
// at points that must show a given colour (no golden images). With
// KORVEL_SHOT_DIR set, the pictures are also written there to look at.

#include <cstdlib>
#include <memory>
#include <string>

#include "UserCentreTestSupport.h"
#include "platform/ui/UIScreen.h"

namespace shots {

struct Colour {
    int r, g, b;
};
inline bool near(RGBA8 p, Colour c, int tolerance = 6) {
    return std::abs(p.r - c.r) <= tolerance && std::abs(p.g - c.g) <= tolerance && std::abs(p.b - c.b) <= tolerance;
}
inline int count(const CGImage& img, const CGRect& points, Colour c, int tolerance = 6) {
    return countPixels(img, points, [&](RGBA8 p) { return near(p, c, tolerance); });
}

}  // namespace shots

class ProfileShotTest : public UserCentreTest, public ::testing::WithParamInterface<UIScreen::Profile> {
protected:
    void SetUp() override {
        UIScreen::mainScreen().setProfile(GetParam());
        UserCentreTest::SetUp();
    }
    void TearDown() override {
        UserCentreTest::TearDown();
        UIScreen::mainScreen().setProfile(UIScreen::Profile::Compact);
    }
    bool tall() const { return GetParam() == UIScreen::Profile::Tall; }
    // The window's picture (written to KORVEL_SHOT_DIR when set).
    std::shared_ptr<CGImage> shoot(const UIWindow& window, const std::string& name) {
        uitest::layout();
        auto img = window.renderImage(2);
        if (const char* dir = std::getenv("KORVEL_SHOT_DIR"); dir && img)
            window.writePNG(std::string(dir) + "/" + name + (tall() ? "-tall" : "-compact") + ".png");
        return img;
    }
};

// Runs a suite of ProfileShotTest on both profiles.
#define INSTANTIATE_PROFILES(Suite)                                                                        \
    INSTANTIATE_TEST_SUITE_P(Profiles, Suite,                                                             \
                             ::testing::Values(UIScreen::Profile::Compact, UIScreen::Profile::Tall),      \
                             [](const auto& info) { return info.param == UIScreen::Profile::Tall ? "Tall" : "Compact"; })
