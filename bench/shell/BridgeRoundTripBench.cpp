// Round trips per second between a page and native code: the page posts to
// a plug-in channel, native code answers with one evaluated callback, the
// page posts the next. Our bridge (plug-in state, injected script, token
// and typed message reading, page callback) against a bare engine loop (one
// message handler, one evaluate call).
//
// Both pages stay loaded, each in its own window (side by side: a covered
// page cost the engine less per round trip), and take turns in rounds of a second
// (bare first in odd pairs, ours first in even ones), so that a busy
// machine slows both alike. Every pair, the medians and the load average
// are printed, and the CPU time every process spent per round trip, which
// a busy machine sways less than the rate.
//
//   xvfb-run -a bench_bridge_roundtrip [pairs, default 21]

#include <webkit2/webkit2.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "../common/BenchReport.h"
#include "BenchSupport.h"
#include "platform/web/WKWebView.h"
#include "plugin/iOS/RAZ5Orered/PluginProtocol.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kRound = std::chrono::milliseconds(1000);

// One page's loop: it runs while its round lasts, then stops answering.
struct Loop {
    std::function<void(long next)> answer;
    bool running = false;
    long count = 0, last = 0;
    Clock::time_point start;
    std::vector<double> rates;
    std::vector<double> cpuPerTrip;  // µs of CPU (all processes) per round trip

    void heard(long n) {
        if (!running) return;
        last = n;
        ++count;
        if (Clock::now() - start < kRound) return answer(n + 1);
        rates.push_back(double(count) / std::chrono::duration<double>(Clock::now() - start).count());
        running = false;
    }
    void round() {
        double cpu = bench::treeCpuSeconds();
        count = 0;
        start = Clock::now();
        running = true;
        answer(last + 1);
        bench::runUntil([this] { return !running; });
        cpuPerTrip.push_back((bench::treeCpuSeconds() - cpu) * 1e6 / std::max(1L, count));
    }
};

Loop gOurs, gBare;

// ---- Ours -----------------------------------------------------------------

std::unique_ptr<PluginState> gPlugin;

class PingHandler : public WKScriptMessageHandler {
public:
    void userContentController_didReceiveScriptMessage(WKUserContentController&, const WKScriptMessage& m) override {
        auto msg = BridgeMessage::from(m.body);
        if (msg && msg->name == "Ping") gOurs.heard(long(msg->args.intValue()));
    }
};

std::shared_ptr<WKWebView> openOurs() {
    PluginScript script{"Bench_IOS", "iOS_Bench", "Bench", "Init Bench", {{"Ping", ScriptOperation::Param::Number}}};
    gPlugin = std::make_unique<PluginState>(script, [] { return std::make_shared<PingHandler>(); });
    auto view = WKWebView::create(CGRect(0, 0, 375, 667), WKWebViewConfiguration::create());
    bench::showWidget(view->nativeWidget());
    gPlugin->setWebView(view, false);
    gOurs.answer = [](long next) { gPlugin->callJS(PageCallback::withInteger("Bench_IOS", "onPong", next)); };
    view->loadHTMLString("<script>Bench_IOS.SetCallback({onPong: function(n) { Bench_IOS.Ping(n); }});"
                         "window.addEventListener('load', function() { Bench_IOS.Ping(0); });</script>",
                         std::nullopt);
    gOurs.running = true;  // the page's first ping begins a round
    gOurs.start = Clock::now();
    bench::runUntil([] { return !gOurs.running; });
    return view;
}

// ---- Bare engine -------------------------------------------------------------

void onBareMessage(WebKitUserContentManager*, WebKitJavascriptResult* r, gpointer) {
    gBare.heard(jsc_value_to_int32(webkit_javascript_result_get_js_value(r)));
}

GtkWidget* openBare() {
    WebKitUserContentManager* ucm = webkit_user_content_manager_new();
    GtkWidget* view = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", ucm, nullptr));
    g_object_unref(ucm);
    g_signal_connect(ucm, "script-message-received::bare", G_CALLBACK(onBareMessage), nullptr);
    webkit_user_content_manager_register_script_message_handler(ucm, "bare");
    bench::showWidget(view);
    gBare.answer = [view](long next) {
        char script[64];
        snprintf(script, sizeof script, "onPong(%ld);", next);
        webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(view), script, -1, nullptr, nullptr, nullptr, nullptr, nullptr);
    };
    webkit_web_view_load_html(WEBKIT_WEB_VIEW(view),
                              "<script>function onPong(n) { window.webkit.messageHandlers.bare.postMessage(n); }"
                              "window.addEventListener('load', function() { onPong(0); });</script>",
                              nullptr);
    gBare.running = true;
    gBare.start = Clock::now();
    bench::runUntil([] { return !gBare.running; });
    return view;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    bench::printCommandAndLoad(argc, argv);
    if (!gtk_init_check(&argc, &argv)) {
        fprintf(stderr, "needs a display (run under xvfb-run)\n");
        return 1;
    }
    const int pairs = argc > 1 ? std::max(1, atoi(argv[1])) : 21;
    openBare();
    auto ours = openOurs();
    // Warm both engines up, then measure in turns.
    for (int i = 0; i < 3; ++i) {
        gBare.round();
        gOurs.round();
    }
    gBare.rates.clear();
    gOurs.rates.clear();
    gBare.cpuPerTrip.clear();
    gOurs.cpuPerTrip.clear();
    std::vector<double> ratios, cpuRatios;
    printf("pair  bare/s  ours/s  ours/bare  CPU µs/trip bare  ours  ours/bare\n");
    for (int i = 0; i < pairs; ++i) {
        // Who goes first changes from pair to pair, so that neither side
        // always follows the other's round.
        Loop& first = i % 2 ? gOurs : gBare;
        Loop& second = i % 2 ? gBare : gOurs;
        first.round();
        second.round();
        ratios.push_back(gOurs.rates.back() / gBare.rates.back());
        cpuRatios.push_back(gOurs.cpuPerTrip.back() / std::max(1.0, gBare.cpuPerTrip.back()));
        printf("%4d  %6.0f  %6.0f  %9.2f  %16.0f  %4.0f  %9.2f\n", i + 1, gBare.rates.back(), gOurs.rates.back(),
               ratios.back(), gBare.cpuPerTrip.back(), gOurs.cpuPerTrip.back(), cpuRatios.back());
        fflush(stdout);
    }
    printf("median round trips per second: ours %.0f, bare engine loop %.0f\n", median(gOurs.rates), median(gBare.rates));
    printf("median CPU per round trip (every process), µs: ours %.0f, bare engine loop %.0f; ratio %.2f\n",
           median(gOurs.cpuPerTrip), median(gBare.cpuPerTrip), median(cpuRatios));
    printf("median of the pairs' ratios ours/bare: %.2f (target >= 0.95)\n", median(ratios));
    bench::printLoadAtEnd();
    return 0;
}
