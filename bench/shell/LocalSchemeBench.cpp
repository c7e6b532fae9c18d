// A page fetches 200 files of 32 KiB through the "local" scheme (the
// web-view host's handler) and through file:// in the same engine. Both
// pages stay loaded, each in its own window, and take turns (file://, then
// local, then file:// ...): in each turn a page fetches every file, all at
// once, again and again for at least a second, and reports the mean time
// of a round. Every pair, the medians, the median of the pairs' ratios and
// the load average are printed.
//
//   xvfb-run -a bench_local_scheme [pairs, default 21]

#include <webkit2/webkit2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../common/BenchReport.h"
#include "BenchSupport.h"
#include "Classes/ViewController/MainViewController.h"
#include "platform/foundation/NSBundle.h"
#include "platform/web/WKWebView.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 200;
constexpr size_t kSize = 32 << 10;
constexpr int kTurnMs = 1000;

// The page's script: runFor(ms) fetches every file with XHR, all at once,
// round after round until `ms` have passed, then reports
// [mean ms of a round, rounds, bytes of the last round] through the
// "bench" channel. Each round asks for new addresses (a query that changes),
// so that neither side answers from the engine's memory cache.
std::string pageScript(const std::string& prefix) {
    return "<script>"
           "var prefix = '" + prefix + "';"
           "var serial = 0;"
           "function round(done) { var t0 = performance.now(), left = " + std::to_string(kFiles) + ", bytes = 0;"
           "  ++serial;"
           "  for (var i = 0; i < " + std::to_string(kFiles) + "; ++i) { var x = new XMLHttpRequest();"
           "    x.open('GET', prefix + 'f' + i + '.bin?' + serial); x.responseType = 'arraybuffer';"
           "    x.onloadend = function() { bytes += this.response ? this.response.byteLength : 0;"
           "      if (--left == 0) done(performance.now() - t0, bytes); }; x.send(); } }"
           "function runFor(ms) { var start = performance.now(), times = [];"
           "  function next() { round(function(t, bytes) { times.push(t);"
           "    if (performance.now() - start < ms) return next();"
           "    window.webkit.messageHandlers.bench.postMessage(JSON.stringify("
           "      [(performance.now() - start) / times.length, times.length, bytes])); }); }"
           "  next(); }"
           "window.addEventListener('load', function() { window.webkit.messageHandlers.bench.postMessage('ready'); });"
           "</script>";
}

struct Side {
    bool heard = false;
    std::string text;
    // Runs one turn and gives its mean round in ms (0 on a short fetch).
    double turn(const std::function<void(const std::string&)>& evaluate, int& rounds) {
        heard = false;
        evaluate("runFor(" + std::to_string(kTurnMs) + "); 0");
        bench::runUntil([this] { return heard; });
        auto v = Value::fromJSON(text);
        if (!v || v->size() != 3) return 0;
        rounds = int((*v)[1].intValue());
        if (size_t((*v)[2].intValue()) != kFiles * kSize) {
            fprintf(stderr, "a round fetched %lld bytes\n", (long long)(*v)[2].intValue());
            return 0;
        }
        return (*v)[0].doubleValue();
    }
};

class Collect : public WKScriptMessageHandler {
public:
    Side* side;
    explicit Collect(Side* s) : side(s) {}
    void userContentController_didReceiveScriptMessage(WKUserContentController&, const WKScriptMessage& m) override {
        side->text = m.body.stringOr("");
        side->heard = true;
    }
};

class BenchController : public MainViewController {
public:
    Side* side = nullptr;

protected:
    std::shared_ptr<WKWebView> makeWebView(const CGRect& frame, std::shared_ptr<WKWebViewConfiguration> c) override {
        c->userContentController()->addScriptMessageHandler(std::make_shared<Collect>(side), "bench");
        return WKWebView::create(frame, std::move(c));
    }
};

void onFileMessage(WebKitUserContentManager*, WebKitJavascriptResult* r, gpointer data) {
    auto* side = static_cast<Side*>(data);
    char* s = jsc_value_to_string(webkit_javascript_result_get_js_value(r));
    side->text = s ? s : "";
    g_free(s);
    side->heard = true;
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
    fs::path root = fs::temp_directory_path() / ("korvel-localbench-" + std::to_string(getpid()));
    fs::path data = root / "Bench.app/Data";
    fs::create_directories(data);
    std::string blob(kSize, 'k');
    for (int i = 0; i < kFiles; ++i) std::ofstream(data / ("f" + std::to_string(i) + ".bin"), std::ios::binary) << blob;
    std::ofstream(root / "Bench.app/Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
           "<key>CFBundleIdentifier</key><string>com.korvel.bench</string>"
           "<key>KL_URL</key><string>local://game/</string></dict></plist>";
    std::ofstream(data / "index.html") << pageScript("local://game/");
    std::ofstream(data / "file.html") << pageScript("");

    // file:// in the engine, with file pages allowed to read files.
    Side file;
    WebKitUserContentManager* ucm = webkit_user_content_manager_new();
    g_signal_connect(ucm, "script-message-received::bench", G_CALLBACK(onFileMessage), &file);
    webkit_user_content_manager_register_script_message_handler(ucm, "bench");
    WebKitSettings* settings = webkit_settings_new();
    webkit_settings_set_allow_file_access_from_file_urls(settings, TRUE);
    GtkWidget* fileView = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", ucm, "settings", settings, nullptr));
    bench::showWidget(fileView);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(fileView), ("file://" + (data / "file.html").string()).c_str());
    bench::runUntil([&] { return file.heard; });
    auto evaluateFile = [fileView](const std::string& script) {
        webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(fileView), script.c_str(), -1, nullptr, nullptr, nullptr,
                                            nullptr, nullptr);
    };

    // The "local" scheme through the web-view host.
    Side local;
    NSBundle::setMainBundlePath(root / "Bench.app");
    auto controller = std::make_shared<BenchController>();
    controller->side = &local;
    controller->view();
    bench::showWidget(controller->webView()->nativeWidget());
    bench::runUntil([&] { return local.heard; });
    auto evaluateLocal = [&](const std::string& script) { controller->webView()->evaluateJavaScript(script); };

    int rounds = 0, fileRounds = 0, localRounds = 0;
    file.turn(evaluateFile, rounds);  // warms both
    local.turn(evaluateLocal, rounds);
    std::vector<double> fileMs, localMs, ratios;
    printf("%d files of %zu KiB fetched at once; turns of %d ms; mean ms of a round in each turn\n", kFiles,
           kSize >> 10, kTurnMs);
    printf("pair   file://  rounds   local  rounds   local/file\n");
    for (int i = 0; i < pairs; ++i) {
        double f = file.turn(evaluateFile, fileRounds);
        double l = local.turn(evaluateLocal, localRounds);
        if (f <= 0 || l <= 0) continue;
        fileMs.push_back(f);
        localMs.push_back(l);
        ratios.push_back(l / f);
        printf("%4d  %7.1f  %6d  %7.1f  %6d  %9.2f\n", i + 1, f, fileRounds, l, localRounds, ratios.back());
        fflush(stdout);
    }
    printf("median  %6.1f          %7.1f          %9.2f  (median of the pairs' ratios; target <= 1.0)\n",
           median(fileMs), median(localMs), median(ratios));
    bench::printLoadAtEnd();
    fs::remove_all(root);
    return 0;
}
