#pragma once
// The web-view host as the tests run it: with a recording web view
// (headless) or with a real one whose page reports through a probe.

#include <memory>
#include <vector>

#include "Classes/ViewController/MainViewController.h"
#include "platform/web/RecordingWebView.h"
#include "platform/web/WebTestSupport.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"
#include "support/TestSupport.h"

namespace hosttest {

class RecordingController : public MainViewController {
public:
    std::shared_ptr<RecordingWebView> recording;

protected:
    std::shared_ptr<WKWebView> makeWebView(const CGRect& frame, std::shared_ptr<WKWebViewConfiguration> c) override {
        recording = RecordingWebView::create(std::move(c), frame);
        return recording;
    }
};

class ProbedController : public MainViewController {
public:
    std::shared_ptr<webtest::PageProbe> probe;
    // Scripts of the page's own framework, injected with the probe.
    std::vector<WKUserScript> pageScripts;

protected:
    std::shared_ptr<WKWebView> makeWebView(const CGRect& frame, std::shared_ptr<WKWebViewConfiguration> c) override {
        probe = webtest::PageProbe::install(c);
        for (auto& s : pageScripts) c->userContentController()->addUserScript(s);
        return WKWebView::create(frame, std::move(c));
    }
};

// A bridge with nothing attached yet and the system plug-in loaded.
inline void freshBridge(bool loadSystemPlugin = true) {
    IOSPlugin::resetForTesting();
    if (loadSystemPlugin) SysPlugin::Load();
}

// A recording controller on `bundle`, its view loaded (the start page
// asked for), with the bundle's Info.plist made of a test application's
// keys and `extraInfo`.
inline std::shared_ptr<RecordingController> startController(const testsupport::TempBundle& bundle,
                                                            const Value& extraInfo = Value::dict()) {
    Value info = Value::dict({{"CFBundleIdentifier", "com.example.host"}, {"CFBundleVersion", "7"},
                              {"KL_APP_ID", "app1"}, {"KL_GAME_ID", "g9"}});
    for (auto& k : extraInfo.keys()) info.set(k, extraInfo[k]);
    bundle.setInfo(info);
    auto c = std::make_shared<RecordingController>();
    c->view();  // viewDidLoad
    RunLoop::drain();
    return c;
}

}  // namespace hosttest
