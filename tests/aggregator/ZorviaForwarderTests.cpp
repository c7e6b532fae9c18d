// The channel adapter reaches the real user-centre facade through the
// forwarder once the application installs it.
#include <gtest/gtest.h>

#include "aggregator/RUVURazuzEVE.h"
#include "aggregator/zorvia/ZorviaSDKForwarder.h"
#include "platform/ui/UIApplication.h"
#include "support/TestSupport.h"

namespace {

TEST(ZorviaSDKForwarder, TheFacadesOrientationAnswerReachesTheGame) {
    testsupport::TempHome home;
    testsupport::TempBundle bundle(
        Value::dict({{"CFBundleIdentifier", "com.example.test"},
                     {"UISupportedInterfaceOrientations",
                      Value::array({"UIInterfaceOrientationPortrait", "UIInterfaceOrientationLandscapeLeft"})}}));
    auto& app = UIApplication::sharedApplication();
    auto& facade = RUVURazuzEVE::defaultInstance();
    ZorviaServices::install(nullptr);
    EXPECT_EQ(facade.application_supportedInterfaceOrientationsForWindow(app, nullptr), 0);
    installZorviaSDKForwarder();
    EXPECT_EQ(facade.application_supportedInterfaceOrientationsForWindow(app, nullptr), 26);
    bundle.setInfo(Value::dict({{"CFBundleIdentifier", "com.example.test"},
                                {"UISupportedInterfaceOrientations", Value::array({"UIInterfaceOrientationPortrait"})}}));
    EXPECT_EQ(facade.application_supportedInterfaceOrientationsForWindow(app, nullptr), 2);
    // A URL that is none of the user centre's goes by without harm.
    EXPECT_EQ(facade.openURL_application(*NSURL::URLWithString("other://host/path"), app), 0);
    ZorviaServices::install(nullptr);
}

}  // namespace
