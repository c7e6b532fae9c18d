#pragma once
// The bridge in the real engine for page tests: a probed, shown web view
// with the bridge reset, loaded and attached to it.

#include <optional>
#include <string>

#include "platform/web/WebTestSupport.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"

namespace bridgetest {

struct BridgedPage : webtest::ProbedWebView {
    // Resets the bridge, shows the web view and attaches the loaded bridge
    // to it; channels and scripts may still be added before open().
    void attach() {
        IOSPlugin::resetForTesting();
        show(CGRect(0, 0, 400, 300));
        IOSPlugin::Load();
        IOSPlugin::SetWebView(view);
    }
    // Loads a page with `body`; true once it is complete and `ready` holds.
    bool open(const std::string& body, const std::string& ready) {
        view->loadHTMLString("<html><body>" + body + "</body></html>", std::nullopt);
        return webtest::waitForPage(*view, "document.readyState == 'complete' && " + ready);
    }
};

}  // namespace bridgetest
