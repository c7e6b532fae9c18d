// Start-up and the forwarded life-cycle callbacks, headless, with the
// "Main" scene's controller running its page in a recording web view.

#include <gtest/gtest.h>

#include "Classes/ViewController/AppDelegate.h"
#include "Classes/ViewController/MainViewController.h"
#include "HostTestSupport.h"
#include "platform/ui/UIStoryboard.h"
#include "platform/web/RecordingWebView.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"
#include "support/TestSupport.h"

namespace {


class StartUp : public ::testing::Test {
protected:
    void SetUp() override {
        hosttest::freshBridge(false);
        UIStoryboard::registerScene("Main", "MainViewController", [] { return std::make_shared<hosttest::RecordingController>(); });
        bundle.writeFile("Data/index.html", "<html>page</html>");
        app.setDelegate(delegate);
        ASSERT_TRUE(delegate->application_didFinishLaunchingWithOptions(app, Value()));
        RunLoop::drain();
        controller = std::dynamic_pointer_cast<hosttest::RecordingController>(delegate->window()->rootViewController());
        ASSERT_TRUE(controller);
    }
    void TearDown() override {
        if (delegate->window()) delegate->window()->setHidden(true);
        app.setDelegate(nullptr);
    }

    testsupport::TempBundle bundle;
    UIApplication& app = UIApplication::sharedApplication();
    std::shared_ptr<AppDelegate> delegate = std::make_shared<AppDelegate>();
    std::shared_ptr<hosttest::RecordingController> controller;
};

TEST_F(StartUp, WiresTheBridgeTheWindowAndThePage) {
    EXPECT_EQ(IOSPlugin::GetRootController(), controller);
    EXPECT_TRUE(delegate->window()->isKeyWindow());
    EXPECT_FALSE(delegate->window()->isHidden());
    EXPECT_EQ(app.statusBarStyle(), UIStatusBarStyle::LightContent);
    EXPECT_TRUE(SysPlugin::GetInterface());
    EXPECT_EQ(IOSPlugin::GetWebView(), controller->recording);
    ASSERT_EQ(controller->recording->loads().size(), 1u);
    EXPECT_EQ(controller->recording->loads()[0].html, "<html>page</html>");
    // The web view fills the window.
    EXPECT_EQ(controller->webView()->frame().size, delegate->window()->bounds().size);
}

TEST_F(StartUp, ForwardsLifeCycleAndAlwaysAnswersPortrait) {
    EXPECT_EQ(delegate->application_supportedInterfaceOrientationsForWindow(app, delegate->window()),
              UIInterfaceOrientationMaskPortrait);
    app.didBecomeActive();
    app.didEnterBackground();
    app.didBecomeActive();
    EXPECT_EQ(controller->recording->evaluatedScripts(),
              (std::vector<std::string>{R"(__KLCallFunc(["KL_IOS","onEnterBackground"]);)", R"(__KLCallFunc(["KL_IOS","onEnterForeground"]);)"}));

    EXPECT_TRUE(delegate->application_handleOpenURL(app, *NSURL::URLWithString("demo://a")));
    EXPECT_EQ(SysPlugin::GetLaunchUrl()->absoluteString(), "demo://a");
    EXPECT_TRUE(app.openURLFromOutside(*NSURL::URLWithString("demo://b")));
    EXPECT_EQ(SysPlugin::GetLaunchUrl()->absoluteString(), "demo://b");
    EXPECT_TRUE(delegate->application_openURL_sourceApplication_annotation(app, *NSURL::URLWithString("demo://c"), "src", Value()));
    EXPECT_EQ(SysPlugin::GetLaunchUrl()->absoluteString(), "demo://c");

    app.willTerminate();
    EXPECT_FALSE(SysPlugin::GetInterface());
}

}  // namespace
