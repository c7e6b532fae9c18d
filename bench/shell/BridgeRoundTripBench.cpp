// Round trips per second between a page and native code: the page posts to
// a plug-in channel, native code answers with one evaluated CallFunc, the
// page posts the next. Our bridge (plug-in state, injected script, typed
// message reading, page callback) against a bare engine loop (one message
// handler, one evaluate call), measured in the same run.

#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "BenchSupport.h"
#include "platform/web/WKWebView.h"
#include "plugin/iOS/RAZ5Orered/PluginProtocol.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kWarmup = std::chrono::milliseconds(500);
constexpr auto kMeasure = std::chrono::seconds(3);

struct Counter {
    long count = 0;
    Clock::time_point start;
    bool measuring = false, done = false;
    double rate = 0;
    void tick() {
        auto now = Clock::now();
        if (!measuring && now - start >= kWarmup) {
            measuring = true;
            start = now;
            count = 0;
        } else if (measuring && now - start >= kMeasure) {
            rate = double(count) / std::chrono::duration<double>(now - start).count();
            done = true;
        }
        ++count;
    }
};

// ---- Ours -----------------------------------------------------------------

class PingHandler;
std::unique_ptr<PluginState> gPlugin;
Counter gOurs;

class PingHandler : public WKScriptMessageHandler {
public:
    void userContentController_didReceiveScriptMessage(WKUserContentController&, const WKScriptMessage& m) override {
        auto msg = BridgeMessage::from(m.body);
        if (!msg || msg->name != "Ping") return;
        gOurs.tick();
        if (gOurs.done) return;
        gPlugin->callJS(PageCallback::withInteger("Bench_IOS", "onPong", msg->args.intValue() + 1));
    }
};

double runOurs() {
    PluginScript script{"Bench_IOS", "iOS_Bench", "Bench", "Init Bench", {{"Ping", ScriptOperation::Param::Number}}};
    gPlugin = std::make_unique<PluginState>(script, [] { return std::make_shared<PingHandler>(); });
    auto view = WKWebView::create(CGRect(0, 0, 375, 667), WKWebViewConfiguration::create());
    GtkWidget* window = bench::showWidget(view->nativeWidget());
    gPlugin->setWebView(view, false);
    view->loadHTMLString("<script>Bench_IOS.SetCallback({onPong: function(n) { Bench_IOS.Ping(n); }});"
                         "window.addEventListener('load', function() { Bench_IOS.Ping(0); });</script>",
                         std::nullopt);
    gOurs.start = Clock::now();
    bench::runUntil([] { return gOurs.done; });
    gtk_widget_destroy(window);
    return gOurs.rate;
}

// ---- Bare engine -------------------------------------------------------------

Counter gBare;

void onBareMessage(WebKitUserContentManager*, WebKitJavascriptResult* r, gpointer view) {
    JSCValue* v = webkit_javascript_result_get_js_value(r);
    int n = jsc_value_to_int32(v);
    gBare.tick();
    if (gBare.done) return;
    char script[64];
    snprintf(script, sizeof script, "onPong(%d);", n + 1);
    webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(view), script, -1, nullptr, nullptr, nullptr, nullptr, nullptr);
}

double runBare() {
    WebKitUserContentManager* ucm = webkit_user_content_manager_new();
    GtkWidget* view = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", ucm, nullptr));
    g_signal_connect(ucm, "script-message-received::bare", G_CALLBACK(onBareMessage), view);
    webkit_user_content_manager_register_script_message_handler(ucm, "bare");
    GtkWidget* window = bench::showWidget(view);
    webkit_web_view_load_html(WEBKIT_WEB_VIEW(view),
                              "<script>function onPong(n) { window.webkit.messageHandlers.bare.postMessage(n); }"
                              "window.addEventListener('load', function() { onPong(0); });</script>",
                              nullptr);
    gBare.start = Clock::now();
    bench::runUntil([] { return gBare.done; });
    gtk_widget_destroy(window);
    return gBare.rate;
}

}  // namespace

int main(int argc, char** argv) {
    if (!gtk_init_check(&argc, &argv)) {
        fprintf(stderr, "needs a display (run under xvfb-run)\n");
        return 1;
    }
    double bare = runBare();
    double ours = runOurs();
    printf("bridge round trips per second: ours %.0f, bare engine loop %.0f\n", ours, bare);
    printf("ratio ours/bare: %.2f (target >= 0.80)\n", bare > 0 ? ours / bare : 0);
    return 0;
}
