#include "UITestSupport.h"

#include <cstdlib>

#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIKeyboard.h"
#include "platform/ui/UIViewController.h"
#include "support/TestSupport.h"

namespace {
// Pango reads the variable when it first loads fonts.
const bool fontsPinned = [] {
    setenv("FONTCONFIG_FILE", (testsupport::sourceDir() / "tools/fonts/fonts.conf").c_str(), 0);
    return true;
}();
}  // namespace

void UITest::SetUp() { (void)fontsPinned; }

void UITest::TearDown() {
    for (auto& a : UIAlertView::visibleAlertViews()) a->dismissWithClickedButtonIndex(-1, false);
    RunLoop::drain();
    for (auto& w : UIApplication::sharedApplication().windows()) w->setHidden(true);
    windows.clear();
    RunLoop::drain();
}

std::shared_ptr<UIWindow> UITest::makeWindow(std::shared_ptr<UIViewController> root) {
    auto w = std::make_shared<UIWindow>();
    if (!root) root = std::make_shared<UIViewController>();
    w->setRootViewController(root);
    w->makeKeyAndVisible();
    windows.push_back(w);
    return w;
}

void UITest::advance(double seconds) {
    clock->advance(std::chrono::nanoseconds(int64_t(seconds * 1e9)));
    RunLoop::drain();
}
