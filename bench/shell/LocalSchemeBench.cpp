// A page fetches 200 files of 32 KiB through the "local" scheme (the
// web-view host's handler) and through file:// in the same engine; the
// time of each, measured in the page, median of several rounds.

#include <webkit2/webkit2.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "Classes/ViewController/MainViewController.h"
#include "platform/foundation/NSBundle.h"
#include "platform/web/WKWebView.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 200;
constexpr size_t kSize = 32 << 10;
constexpr int kRounds = 7;

// The page's script: fetch every file with XHR, all at once, `rounds`
// times; report each round's milliseconds through the "bench" channel.
std::string pageScript(const std::string& prefix) {
    return "<script>"
           "var prefix = '" + prefix + "';"
           "function round(done) { var t0 = performance.now(), left = " + std::to_string(kFiles) + ", bytes = 0;"
           "  for (var i = 0; i < " + std::to_string(kFiles) + "; ++i) { var x = new XMLHttpRequest();"
           "    x.open('GET', prefix + 'f' + i + '.bin'); x.responseType = 'arraybuffer';"
           "    x.onloadend = function() { bytes += this.response ? this.response.byteLength : 0;"
           "      if (--left == 0) done(performance.now() - t0, bytes); }; x.send(); } }"
           "var times = []; function next() { round(function(ms, bytes) { times.push([ms, bytes]);"
           "  if (times.length < " + std::to_string(kRounds) + ") next();"
           "  else window.webkit.messageHandlers.bench.postMessage(JSON.stringify(times)); }); }"
           "window.addEventListener('load', next);"
           "</script>";
}

struct Result {
    bool done = false;
    std::string json;
};

double median(const std::string& json, size_t expectBytes) {
    auto v = Value::fromJSON(json);
    std::vector<double> ms;
    for (size_t i = 0; v && i < v->size(); ++i) {
        if (size_t((*v)[i][1].intValue()) != expectBytes) fprintf(stderr, "round %zu fetched %lld bytes\n", i, (long long)(*v)[i][1].intValue());
        if (i > 0) ms.push_back((*v)[i][0].doubleValue());  // the first round warms caches
    }
    std::sort(ms.begin(), ms.end());
    return ms.empty() ? 0 : ms[ms.size() / 2];
}

class Collect : public WKScriptMessageHandler {
public:
    Result* r;
    explicit Collect(Result* out) : r(out) {}
    void userContentController_didReceiveScriptMessage(WKUserContentController&, const WKScriptMessage& m) override {
        r->json = m.body.stringOr("");
        r->done = true;
    }
};

class BenchController : public MainViewController {
public:
    Result* result = nullptr;

protected:
    std::shared_ptr<WKWebView> makeWebView(const CGRect& frame, std::shared_ptr<WKWebViewConfiguration> c) override {
        c->userContentController()->addScriptMessageHandler(std::make_shared<Collect>(result), "bench");
        return WKWebView::create(frame, std::move(c));
    }
};

void onFileMessage(WebKitUserContentManager*, WebKitJavascriptResult* r, gpointer data) {
    auto* out = static_cast<Result*>(data);
    char* s = jsc_value_to_string(webkit_javascript_result_get_js_value(r));
    out->json = s ? s : "";
    g_free(s);
    out->done = true;
}

}  // namespace

int main(int argc, char** argv) {
    if (!gtk_init_check(&argc, &argv)) {
        fprintf(stderr, "needs a display (run under xvfb-run)\n");
        return 1;
    }
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
    Result file;
    {
        WebKitUserContentManager* ucm = webkit_user_content_manager_new();
        g_signal_connect(ucm, "script-message-received::bench", G_CALLBACK(onFileMessage), &file);
        webkit_user_content_manager_register_script_message_handler(ucm, "bench");
        WebKitSettings* settings = webkit_settings_new();
        webkit_settings_set_allow_file_access_from_file_urls(settings, TRUE);
        GtkWidget* view = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", ucm, "settings", settings, nullptr));
        GtkWidget* window = bench::showWidget(view);
        webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), ("file://" + (data / "file.html").string()).c_str());
        bench::runUntil([&] { return file.done; });
        gtk_widget_destroy(window);
    }

    // The "local" scheme through the web-view host.
    Result local;
    NSBundle::setMainBundlePath(root / "Bench.app");
    auto controller = std::make_shared<BenchController>();
    controller->result = &local;
    controller->view();
    GtkWidget* window = bench::showWidget(controller->webView()->nativeWidget());
    bench::runUntil([&] { return local.done; });
    gtk_widget_destroy(window);

    double fileMs = median(file.json, kFiles * kSize), localMs = median(local.json, kFiles * kSize);
    printf("%d files of %zu KiB, median of %d rounds: local scheme %.1f ms, file:// %.1f ms\n", kFiles, kSize >> 10,
           kRounds - 1, localMs, fileMs);
    printf("ratio local/file: %.2f (target <= 1.10)\n", fileMs > 0 ? localMs / fileMs : 0);
    fs::remove_all(root);
    return 0;
}
