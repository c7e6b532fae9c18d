// A game process for the refusal test: it starts as the game does
// (headless, its page replaced by a recording web view), logs in through
// the native login screen and closes the refusal prompt, whose button must
// end the process. Any other ending is a failure (status 2).
//
//   loginroad_refusal_child BUNDLE HOME

#include <cstdio>
#include <cstdlib>

#include "Classes/ViewController/AppDelegate.h"
#include "Classes/ViewController/HostTestSupport.h"
#include "LoginRoadSupport.h"
#include "aggregator/AggregatorLoadHooks.h"
#include "aggregator/zorvia/ZorviaSDKForwarder.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/Strings.h"
#include "platform/net/NetworkReachability.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UIStoryboard.h"
#include "platform/web/RecordingWebView.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"
#include "plugin/iOS/RAZ5Orered/RelaySDKPlugin.h"
#include "support/BridgeMessages.h"
#include "support/TestSupport.h"

namespace {

constexpr int kLastWords = 100000;

[[noreturn]] void fail(const char* why) {
    std::fprintf(stderr, "refusal child: %s\n", why);
    std::fflush(stderr);
    std::_Exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) fail("usage: loginroad_refusal_child BUNDLE HOME");
    NSBundle::setMainBundlePath(argv[1]);
    AppHome::setRoot(argv[2]);
    ScopedTestReachability net;  // a network wherever the test runs
    net->setWiFi();
    runAggregatorLoadHooks();
    installZorviaSDKForwarder();
    UIStoryboard::registerScene("Main", "MainViewController", [] { return std::make_shared<hosttest::RecordingController>(); });
    auto& app = UIApplication::sharedApplication();
    app.setDelegate(std::make_shared<AppDelegate>());
    app.didFinishLaunching(Value());

    auto relay = RelaySDKPlugin::GetInterface();
    auto page = std::dynamic_pointer_cast<RecordingWebView>(IOSPlugin::GetWebView());
    if (!relay || !page) fail("the game did not start");
    if (!testsupport::waitFor([&] { return relay->GetInitResult() == 0; }, std::chrono::seconds(30)))
        fail("init did not finish");
    page->postMessage("iOS_RelaySDK", testsupport::postedMessage("Login"));
    if (!roadtest::loginThroughScreen()) fail("could not log in on the login screen");
    if (!testsupport::waitFor([] { return uitest::findButton("确定") != nullptr; }, std::chrono::seconds(30)))
        fail("no refusal prompt");
    // From here the prompt closes when the test's clock says so: right after
    // the page's last words, most of them still queued for the log file.
    ScopedTestClock clock;
    if (!uitest::tapButton("确定")) fail("the prompt's button cannot be tapped");
    for (int i = 0; i < kLastWords; ++i)
        page->postMessage("iOS_Console", testsupport::postedMessage("console_warn", strings::format("last words %d", i)));
    clock->advance(std::chrono::seconds(1));
    // The button's action ends the process from the main loop; give it time
    // on a loaded machine rather than a single pass.
    testsupport::waitFor([] { return false; }, std::chrono::seconds(30));
    fail("the prompt's button did not end the process");
}
