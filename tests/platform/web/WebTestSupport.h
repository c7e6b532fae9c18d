#pragma once
// Helpers for tests that run pages in the real engine: a probe channel for
// the page's own reports and console, a window to show a web view in, a
// probed and shown web view, and synchronous script evaluation.

#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/web/WKWebView.h"
#include "support/TestSupport.h"

namespace webtest {

// Collects what the page posts to "probe" and what it writes to its console.
class PageProbe : public WKScriptMessageHandler {
public:
    std::vector<Value> messages;
    std::vector<std::string> console;  // "warn: text", "log: text", "error: text"

    void userContentController_didReceiveScriptMessage(WKUserContentController&, const WKScriptMessage& m) override {
        if (m.name == "probeConsole") console.push_back(m.body.str("level") + ": " + m.body.str("text"));
        else messages.push_back(m.body);
    }
    // Installs the channels and the console hook on a configuration.
    static std::shared_ptr<PageProbe> install(const std::shared_ptr<WKWebViewConfiguration>& config) {
        auto probe = std::make_shared<PageProbe>();
        auto ucc = config->userContentController();
        ucc->addScriptMessageHandler(probe, "probe");
        ucc->addScriptMessageHandler(probe, "probeConsole");
        ucc->addUserScript(WKUserScript(R"JS(
(function() {
  ['log', 'warn', 'error'].forEach(function(level) {
    var original = console[level];
    console[level] = function() {
      var text = Array.prototype.map.call(arguments, String).join(' ');
      window.webkit.messageHandlers.probeConsole.postMessage({level: level, text: text});
      return original.apply(console, arguments);
    };
  });
})();)JS",
                                        WKUserScriptInjectionTime::AtDocumentStart, false));
        return probe;
    }
    bool waitForMessages(size_t n, std::chrono::milliseconds t = std::chrono::seconds(10)) {
        return testsupport::waitFor([&] { return messages.size() >= n; }, t);
    }
    bool sawConsole(const std::string& line) const {
        for (auto& c : console)
            if (c == line) return true;
        return false;
    }
};

// A shown top-level window holding a web view's widget, destroyed with the
// object.
class ShownWindow {
public:
    ShownWindow() = default;
    explicit ShownWindow(const std::shared_ptr<WKWebView>& view, int width = 480, int height = 360)
        : window_(gtk_window_new(GTK_WINDOW_TOPLEVEL)) {
        gtk_window_set_default_size(GTK_WINDOW(window_), width, height);
        gtk_container_add(GTK_CONTAINER(window_), view->nativeWidget());
        gtk_widget_show_all(window_);
    }
    ShownWindow(ShownWindow&& other) noexcept : window_(std::exchange(other.window_, nullptr)) {}
    ShownWindow& operator=(ShownWindow&& other) noexcept {
        if (this != &other) {
            close();
            window_ = std::exchange(other.window_, nullptr);
        }
        return *this;
    }
    ~ShownWindow() { close(); }
    void close() {
        if (window_) gtk_widget_destroy(std::exchange(window_, nullptr));
    }

private:
    GtkWidget* window_ = nullptr;
};

// A web view in the real engine for a test: its configuration, with the
// probe installed, to set up first; show() then makes the view from it and
// shows it.
struct ProbedWebView {
    std::shared_ptr<WKWebViewConfiguration> config = WKWebViewConfiguration::create();
    std::shared_ptr<PageProbe> probe = PageProbe::install(config);
    std::shared_ptr<WKWebView> view;
    ShownWindow window;

    WKWebView& show(const CGRect& frame = CGRect(0, 0, 480, 360)) {
        view = WKWebView::create(frame, config);
        window = ShownWindow(view, int(frame.size.width), int(frame.size.height));
        return *view;
    }
};

struct EvalResult {
    bool done = false;
    Value value;
    std::optional<Error> error;
};

inline EvalResult evaluate(WKWebView& view, const std::string& script,
                           std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    auto r = std::make_shared<EvalResult>();
    view.evaluateJavaScript(script, [r](const Value& v, const Error* e) {
        r->done = true;
        r->value = v;
        if (e) r->error = *e;
    });
    testsupport::waitFor([&] { return r->done; }, timeout);
    return *r;
}

// Runs the page until `expression` is true.
inline bool waitForPage(WKWebView& view, const std::string& expression,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        auto r = evaluate(view, "!!(" + expression + ")", std::chrono::seconds(2));
        if (r.done && r.value.boolValue()) return true;
    }
    return false;
}

}  // namespace webtest
