#pragma once
// The bridge in the real engine for page tests: a probed, shown web view
// with the bridge reset, loaded and attached to it.

#include <optional>
#include <string>

#include "platform/web/WebTestSupport.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"

namespace bridgetest {

// The page's side of the system plug-in's tests: every callback and event
// posts its tag and its arguments to the probe channel.
inline const char* kReportingScript = R"JS(
  window.report = function(tag) {
    return function() {
      window.webkit.messageHandlers.probe.postMessage({tag: tag, args: Array.prototype.slice.call(arguments)});
    };
  };
  KL_IOS.SetCallback({
    onOpenUrl: report('onOpenUrl'), onAlertViewClick: report('onAlertViewClick'),
    onSelectImage: report('onSelectImage'), onScanQRCode: report('onScanQRCode'),
    onPhotograph: report('onPhotograph'), onCropImage: report('onCropImage')
  });
  1
)JS";

// Runs `js` in the page and waits for the next report tagged `tag` (from
// the probe's message `from` on); its arguments, or null after a time-out.
inline Value waitForReport(WKWebView& view, webtest::PageProbe& probe, const std::string& js, const std::string& tag,
                           size_t from) {
    if (!js.empty()) {
        auto r = webtest::evaluate(view, js + "; 1");
        EXPECT_TRUE(r.done && !r.error) << js;
    }
    for (size_t seen = from;;) {
        if (!probe.waitForMessages(seen + 1)) {
            ADD_FAILURE() << "no report " << tag << " after " << js;
            return Value();
        }
        for (; seen < probe.messages.size(); ++seen)
            if (probe.messages[seen].str("tag") == tag) return probe.messages[seen]["args"];
    }
}
inline Value callAndWait(WKWebView& view, webtest::PageProbe& probe, const std::string& js, const std::string& tag) {
    return waitForReport(view, probe, js, tag, probe.messages.size());
}

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
