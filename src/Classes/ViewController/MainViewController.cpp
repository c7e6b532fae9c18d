#include "Classes/ViewController/MainViewController.h"

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <malloc.h>

#include "Classes/ViewController/ByteRange.h"
#include "Classes/ViewController/LocalMediaServer.h"
#include "Classes/ViewController/PageBackground.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/MIMEType.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/net/URLSession.h"
#include "platform/security/Digest.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIStoryboard.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"
#include "plugin/iOS/RAZ5Orered/PluginLog.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"
#include "platform/ui/GtkHost.h"

REGISTER_STORYBOARD_SCENE("Main", "MainViewController", MainViewController)

namespace {

constexpr const char* kFile = "Classes/ViewController/MainViewController";
constexpr const char* kAuditSigningKey = "5d1c0e9a7b3f42c8a6e09d17b4f2c385";

void logError(const char* function, const std::string& message) {
    pluginLog(false, PluginLogLevelWarning, PluginLogFlagError, kFile, function, 0, "%s", message.c_str());
}

// Why the page's content process ended, for the log.
const char* terminationReason(WKContentProcessTermination reason) {
    switch (reason) {
    case WKContentProcessTermination::ExceededMemoryLimit: return "it used more memory than it may";
    case WKContentProcessTermination::EndedByApplication: return "the application ended it";
    case WKContentProcessTermination::Crashed: break;
    }
    return "it crashed";
}

// A server named in Info.plist (scheme and host), without trailing slashes.
std::string serverSetting(const char* key) {
    std::string server = NSBundle::mainBundle().objectForInfoDictionaryKey(key).stringOr("");
    while (!server.empty() && server.back() == '/') server.pop_back();
    return server;
}

// The asset table's type of a file; without a text one, the type its name
// gives (octet-stream when that says nothing known): a game's stylesheets,
// scripts and fonts are refused by the engine as octet-stream.
std::string mimeIn(const Value& table, const std::string& urlPath) {
    if (const std::string* mime = table[urlPath]["mime"].getString()) return *mime;
    return mime::typeForFileName(urlPath);
}

// The origin of a page at `url` as the engine sends it in "Origin":
// the scheme and host in lower case, the port unless it is the scheme's own.
std::string originOf(const NSURL& url) {
    auto origin = WebOrigin::of(url);
    return origin ? origin->text() : "";
}

// The "local" scheme's handler for the web view: the controller's, while
// the controller lives.
class LocalScheme : public WKURLSchemeHandler {
public:
    explicit LocalScheme(const std::shared_ptr<MainViewController>& controller) : controller_(controller) {}
    void webView_startURLSchemeTask(WKWebView& webView, const std::shared_ptr<WKURLSchemeTask>& task) override {
        if (auto c = controller_.lock()) c->webView_startURLSchemeTask(webView, task);
        else task->didFailWithError(Error(NSCocoaErrorDomain, 404));
    }
    void webView_stopURLSchemeTask(WKWebView& webView, const std::shared_ptr<WKURLSchemeTask>& task) override {
        if (auto c = controller_.lock()) c->webView_stopURLSchemeTask(webView, task);
    }

private:
    std::weak_ptr<MainViewController> controller_;
};

}  // namespace

// The storyboard's scene: a root view with the holder view filling it.
void MainViewController::loadView() {
    UIViewController::loadView();
    auto root = view();
    // Black, as the scene has it; on a later launch the start page's own
    // background, in which the window appears before the page is painted.
    const UIColor background = pagebackground::remembered().value_or(UIColor::blackColor());
    root->setBackgroundColor(background);
    holderView_ = std::make_shared<UIView>(root->bounds());
    holderView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    holderView_->setBackgroundColor(background);
    root->addSubview(holderView_);
}

void MainViewController::viewDidLoad() {
    if (!queue_) queue_ = DispatchQueue::concurrent(kFileQueueLabel);
    InitWebView();
    Load();
    LoadLocalSettings();
    std::weak_ptr<MainViewController> self = std::static_pointer_cast<MainViewController>(sharedController());
    SysPlugin::SetReloadFunc([self] {
        if (auto controller = self.lock()) controller->Load();
    });
}

std::shared_ptr<WKWebView> MainViewController::makeWebView(const CGRect& frame,
                                                           std::shared_ptr<WKWebViewConfiguration> configuration) {
    return WKWebView::create(frame, std::move(configuration));
}

void MainViewController::startMediaServer(WKWebViewConfiguration& configuration) {
    if (mediaServer_) return;
    // The server's threads read the asset table through their own reference,
    // swapped whole when the table is read (LoadLocalSettings).
    auto table = mimeTable_;
    auto server = std::make_shared<LocalMediaServer>(dataFolder(), [table](const std::string& urlPath) {
        std::lock_guard lock(table->mutex);
        return mimeIn(table->dict, urlPath);
    });
    if (!server->start()) return;
    mediaServer_ = server;
    // The game's top frame only: a frame inside it must not learn the
    // server's address.
    configuration.userContentController()->addUserScript(
        WKUserScript(server->mediaScript(), WKUserScriptInjectionTime::AtDocumentStart, true));
}

void MainViewController::InitWebView() {
    if (webView_) return;
    auto configuration = WKWebViewConfiguration::create();
    configuration->preferences().javaScriptCanOpenWindowsAutomatically = false;
    configuration->preferences().javaScriptEnabled = true;
    configuration->setAllowsInlineMediaPlayback(true);
    configuration->setMediaTypesRequiringUserActionForPlayback(WKAudiovisualMediaTypeNone);
    auto self = std::static_pointer_cast<MainViewController>(sharedController());
    // The configuration holds its scheme handler, and the controller holds
    // the web view: the configuration gets a go-between that does not hold
    // the controller.
    configuration->setURLSchemeHandler(std::make_shared<LocalScheme>(self), "local");

    if (!holderView_) view();
    CGRect f = holderView_->frame();
    configuration->userContentController()->setAllowedOrigins({gameOrigin()});
    startMediaServer(*configuration);
    std::weak_ptr<MainViewController> weak = self;
    configuration->userContentController()->addScriptMessageHandler(
        std::make_shared<pagebackground::Handler>([weak](const UIColor& colour) {
            if (auto controller = weak.lock()) controller->showPage(colour);
        }),
        pagebackground::kChannel);
    configuration->userContentController()->addUserScript(
        WKUserScript(pagebackground::postingScript(), WKUserScriptInjectionTime::AtDocumentStart, true));
    webView_ = makeWebView(CGRect(0, 0, f.size.width, f.size.height), configuration);
    webView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    // On a later launch the engine shows the page's remembered background
    // until its first frame, rather than white.
    if (auto remembered = pagebackground::remembered()) webView_->setUnderPageBackgroundColor(*remembered);
    webView_->setUIDelegate(self);
    webView_->setNavigationDelegate(self);
    // The web view fills its holder with no content insets of its own.
    holderView_->addSubview(webView_);
    IOSPlugin::SetWebView(webView_);
}

std::string MainViewController::GetCurrentTimestamp() {
    return strings::format("%.0f", std::floor(Clock::timeIntervalSince1970()));
}

std::optional<NSURL> MainViewController::GetUrl() const {
    std::string server = serverSetting("KL_PAGE_SERVER");
    if (server.empty()) return std::nullopt;
    return NSURL::URLWithString(strings::format("%s%s?timestamp=%s", server.c_str(), kStartPagePath,
                                                GetCurrentTimestamp().c_str()));
}

std::optional<NSURL> MainViewController::GetBaseUrl() const {
    std::string base = NSBundle::mainBundle().objectForInfoDictionaryKey("KL_URL").stringOr("");
    if (base.empty()) return std::nullopt;
    return NSURL::URLWithString(strings::format("%s?timestamp=%s", base.c_str(), GetCurrentTimestamp().c_str()));
}

WebOrigin MainViewController::gameOrigin() const {
    auto page = GetUrl();
    if (!page) page = GetBaseUrl();
    if (page)
        if (auto origin = WebOrigin::of(*page)) return *origin;
    return *WebOrigin::of(*NSURL::URLWithString("about:blank"));
}

std::filesystem::path MainViewController::dataFolder() const {
    if (!basePath_.empty()) return basePath_;
    return NSBundle::mainBundle().bundlePath() / "Data";
}

std::string MainViewController::GetAssetPath(const std::string& path) const {
    if (path.empty()) return path;
    return basePath_ + path;
}

void MainViewController::Load() {
    auto self = std::static_pointer_cast<MainViewController>(sharedController());
    if (auto url = GetUrl()) {
        if (mediaServer_) mediaServer_->setAllowedOrigin(originOf(*url));
        NSURLRequest request = NSURLRequest::requestWithURL(*url);
        DispatchQueue::main()->async([self, request] { self->startNavigation_ = self->webView_->loadRequest(request); });
        return;
    }
    // The local page, read as text and loaded with the configured base address.
    std::filesystem::path index = dataFolder() / "index.html";
    auto text = files::isRegularFile(index) ? files::readText(index) : std::nullopt;
    if (!text) {
        logError("-[MainViewController Load]", "index error: " + index.string());
        return;
    }
    auto base = GetBaseUrl();
    if (mediaServer_ && base) mediaServer_->setAllowedOrigin(originOf(*base));
    DispatchQueue::main()->async([self, html = std::move(*text), base] {
        self->startNavigation_ = self->webView_->loadHTMLString(html, base);
    });
}

void MainViewController::LoadLocalSettings() {
    basePath_ = (NSBundle::mainBundle().bundlePath() / "Data").string();
    fileDict_ = Value();
    auto text = files::readText(std::filesystem::path(basePath_) / "nativefiles.json");
    if (!text) return;
    auto table = Value::fromJSON(*text);
    if (table && table->isDict()) fileDict_ = *table;
    std::lock_guard lock(mimeTable_->mutex);
    mimeTable_->dict = fileDict_;
}

std::string MainViewController::GetAssetMIME(const std::string& path) const { return mimeIn(fileDict_, path); }

std::string MainViewController::GetAssetEncoding(const std::string& path) const {
    if (!path.empty())
        if (const std::string* enc = fileDict_[path]["encoding"].getString()) return *enc;
    return "";
}

std::string MainViewController::GetMD5(const std::string& text) { return digest::md5Hex(text); }

void MainViewController::RequestURL() {
    std::string server = serverSetting("KL_AUDIT_SERVER");
    if (server.empty()) {
        Error e = Error::withDescription(NSURLErrorDomain, NSURLErrorBadURL, "no audit server is configured");
        evaluateAuditReply(std::nullopt, &e);
        return;
    }
    URLRequest request(server + kAuditPath, "POST");
    request.setValue("application/x-www-form-urlencoded", "Content-Type");
    request.body = auditRequestBody(GetCurrentTimestamp());
    request.timeout = std::chrono::seconds(5);
    auto self = std::static_pointer_cast<MainViewController>(sharedController());
    URLSession::shared()->dataTask(request, [self](URLResult result) {
        self->evaluateAuditReply(result.error ? std::nullopt : std::optional<std::string>(result.body),
                                 result.error ? &*result.error : nullptr);
        self->Load();
    });
}

std::string MainViewController::auditRequestBody(const std::string& time) const {
    const Value& info = NSBundle::mainBundle().infoDictionary();
    std::string body;
    body += "appid=" + info["KL_APP_ID"].textValue() + "&";
    body += "gameid=" + info["KL_GAME_ID"].textValue() + "&";
    body += "pack_name=" + info["CFBundleIdentifier"].textValue() + "&";
    body += "version=" + info["CFBundleVersion"].textValue() + "&";
    body += "time=" + time + "&";
    body += "token=" + GetMD5(std::string(kAuditSigningKey) + time);
    return body;
}

std::optional<std::string> MainViewController::evaluateAuditReply(const std::optional<std::string>& body,
                                                                  const Error* error) {
    const char* fn = "-[MainViewController RequestURL]";
    if (error) {
        logError(fn, "request url error: " + error->localizedDescription());
        return std::nullopt;
    }
    std::string text = body.value_or("");
    auto json = Value::fromJSON(text);
    if (!json) {
        logError(fn, "json parse error: " + text);
        return std::nullopt;
    }
    const Value& code = (*json)["code"];
    if (code.isNull()) {
        logError(fn, "request url data error: " + text);
        return std::nullopt;
    }
    if (code.intValue() != 200) {
        pluginLog(true, PluginLogLevelWarning, PluginLogFlagWarning, kFile, fn, 0, "request url: code %d",
                  int(code.intValue()));
        return std::nullopt;
    }
    const Value& content = (*json)["data"]["content"];
    if (content.isNull()) {
        logError(fn, "request url data error: " + text);
        return std::nullopt;
    }
    url_ = content.textValue();
    return url_;
}

// ---- Script dialogs ------------------------------------------------------------

void MainViewController::webView_runJavaScriptAlertPanelWithMessage(WKWebView&, const std::string&,
                                                                    std::function<void()> done) {
    if (done) done();
}

void MainViewController::webView_runJavaScriptConfirmPanelWithMessage(WKWebView&, const std::string&,
                                                                      std::function<void(bool)> done) {
    if (done) done(true);
}

void MainViewController::webView_runJavaScriptTextInputPanelWithPrompt(
    WKWebView&, const std::string&, const std::string&, std::function<void(std::optional<std::string>)> done) {
    if (done) done(std::nullopt);
}

// ---- Navigation ------------------------------------------------------------------

void MainViewController::webView_decidePolicyForNavigationAction_decisionHandler(WKWebView& webView,
                                                                                 const WKNavigationAction& action,
                                                                                 PolicyHandler decisionHandler) {
    decisionHandler(guard_.decide(action, gameOrigin(), webView));
}

void MainViewController::webView_decidePolicyForNavigationResponse_decisionHandler(
    WKWebView& webView, const WKNavigationResponse& response, ResponsePolicyHandler decisionHandler) {
    decisionHandler(guard_.decide(response, gameOrigin()));
}

// The engine does not say before a navigation which frame it is for, so
// what the top frame shows is judged again once it shows it. The start
// page's own load is the game's whatever its address (judging it would
// load it again for ever).
void MainViewController::webView_didCommitNavigation(WKWebView& webView, const Navigation& navigation) {
    if (navigation && navigation == startNavigation_) return;
    if (!guard_.keeps(webView.committedURL(), gameOrigin())) Load();
}

void MainViewController::webViewWebContentProcessDidTerminate(WKWebView&, WKContentProcessTermination reason) {
    logError("webViewWebContentProcessDidTerminate:",
             std::string("the page's content process ended (") + terminationReason(reason) +
                 "); the page is not loaded again");
    showGameStopped();
}

// The page is gone for good and the window would keep its last picture, or
// go dark, taking no taps: the player is told, over every screen, that the
// game must be started again. Escape does not put the message away.
void MainViewController::showGameStopped() {
    if (stoppedWindow_) return;
    stoppedWindow_ = std::make_shared<UIWindow>();
    stoppedWindow_->setWindowLevel(UIWindowLevelAlert);
    stoppedWindow_->setBackgroundColor(UIColor::clearColor());
    stoppedWindow_->setOpaque(false);
    auto host = std::make_shared<UIViewController>();
    stoppedWindow_->setRootViewController(host);
    host->view()->setBackgroundColor(UIColor::clearColor());
    stoppedWindow_->makeKeyAndVisible();
    auto alert = UIAlertController::alertControllerWithTitle(kStoppedTitle, kStoppedMessage, UIAlertControllerStyle::Alert);
    alert->addAction(UIAlertAction::actionWithTitle(kStoppedButton, UIAlertActionStyle::Default,
                                                    [](UIAlertAction&) { GtkHost::close(); }));
    host->presentViewController(alert, true);
}

void MainViewController::webView_didFailProvisionalNavigation_withError(WKWebView&, const Navigation& navigation,
                                                                        const Error& error) {
    // Only the start page's own load is tried again, once a second, one
    // retry at a time; a load that was cancelled or replaced is not a failure.
    bool cancelled = (error.domain == NSURLErrorDomain && error.code == NSURLErrorCancelled) ||
                     (error.domain == WebKitErrorDomain && error.code == WebKitErrorFrameLoadInterruptedByPolicyChange);
    if (!cancelled)
        logError("webView:didFailProvisionalNavigation:withError:", "Load Fail " + WKDescribeLoadFailure(navigation, error));
    if (cancelled || !navigation || navigation != startNavigation_ || retryPending_) return;
    retryPending_ = true;
    auto self = std::static_pointer_cast<MainViewController>(sharedController());
    DispatchQueue::main()->asyncAfter(std::chrono::seconds(1), [self] {
        self->retryPending_ = false;
        self->Load();
    });
}

void MainViewController::webView_didFinishNavigation(WKWebView& webView, const Navigation& navigation) {
    // Start-up is over once the start page is up: what it freed goes back
    // to the system rather than staying in the allocator's free lists.
    if (navigation && navigation == startNavigation_ && !startUpTrimmed_) {
        startUpTrimmed_ = true;
        DispatchQueue::main()->async([] { malloc_trim(0); });
    }
    if (pageShown_) return;
    // The page never told its background (its scripts were off, or it
    // replaced the channel): ask it now.
    std::weak_ptr<MainViewController> weak = std::static_pointer_cast<MainViewController>(sharedController());
    webView.evaluateJavaScript(pagebackground::currentScript(), [weak](const Value& result, const Error* error) {
        auto self = weak.lock();
        if (!self) return;
        self->showPage(error ? std::nullopt : pagebackground::colourOf(result));
    });
}

// The window appears painted in the page's own background, so that the
// moment before the engine's first frame reaches the screen shows no black;
// the colour is kept for the next launch's window. (On a later launch the
// window is up already and only its colour may change.)
void MainViewController::showPage(const std::optional<UIColor>& background) {
    if (pageShown_) return;
    pageShown_ = true;
    if (background) {
        view()->setBackgroundColor(*background);
        holderView_->setBackgroundColor(*background);
        if (webView_) webView_->setUnderPageBackgroundColor(*background);
        pagebackground::remember(*background);
    }
    GtkHost::showWindow();
}

void MainViewController::webView_didFailNavigation_withError(WKWebView&, const Navigation& navigation,
                                                              const Error& error) {
    logError("webView:didFailNavigation:withError:", "Load Fail " + WKDescribeLoadFailure(navigation, error));
}

// ---- The "local" scheme --------------------------------------------------------

void MainViewController::webView_startURLSchemeTask(WKWebView&, const std::shared_ptr<WKURLSchemeTask>& task) {
    const NSURLRequest& request = task->request();
    std::string urlPath = request.URL.path();  // percent-decoded
    auto notFound = [&] { task->didFailWithError(Error(NSCocoaErrorDomain, 404)); };

    auto file = files::confine(dataFolder(), urlPath);
    if (!file || !files::isRegularFile(*file)) {
        notFound();
        return;
    }
    std::optional<std::string> range;
    if (strings::hasSuffix(urlPath, "mp4")) {
        // Video is served as ranges; a request without a Range header (the
        // media stack may send none) gets the whole file.
        range = request.valueForHTTPHeaderField("Range");
        if (range && !(strings::hasPrefix(*range, "bytes=") && strings::contains(*range, "-"))) {
            notFound();
            return;
        }
    }
    serveFile(task, *file, urlPath, range);
}

void MainViewController::webView_stopURLSchemeTask(WKWebView&, const std::shared_ptr<WKURLSchemeTask>&) {
    // A stopped task ignores whatever it is told from now on, and the reader
    // on the file queue sees isStopped() and gives up.
}

void MainViewController::serveFile(const std::shared_ptr<WKURLSchemeTask>& task, const std::filesystem::path& file,
                                   const std::string& urlPath, std::optional<std::string> range) {
    std::string mime = GetAssetMIME(urlPath);
    NSURL url = task->request().URL;
    queue_->async([task, file, mime, range, url] {
        if (task->isStopped()) return;
        int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            int err = errno;
            if (fd >= 0) ::close(fd);
            task->didFailWithError(fd < 0 ? Error(NSCocoaErrorDomain, 404) : Error(NSPOSIXErrorDomain, err));
            return;
        }
        uint64_t size = uint64_t(st.st_size);
        // Video asks for ranges; a range that cannot be met is answered 416
        // with no body.
        std::optional<ByteRange> part;
        if (range) part = ByteRange::parse(*range, size);
        bool satisfiable = !part || part->kind == ByteRange::Kind::Satisfiable;
        uint64_t start = part && satisfiable ? part->start : 0;
        uint64_t length = !satisfiable ? 0 : part ? part->length() : size;
        NSHTTPURLResponse response{url, !part ? 200 : satisfiable ? 206 : 416, "HTTP/1.1", {}};
        auto& h = response.allHeaderFields;
        h = {{"Content-Type", mime}, {"Content-Length", std::to_string(length)}};
        if (part) h.emplace_back("Content-Range", part->contentRange(size));
        if (part && satisfiable) h.emplace_back("Connection", "keep-alive");
        h.emplace_back("Access-Control-Allow-Origin", "*");
        h.emplace_back("Access-Control-Allow-Methods", "GET, POST, OPTIONS");
        task->didReceiveResponse(response);
        int err = sendFileRange(fd, start, length, kReadPiece, [&](const uint8_t* bytes, size_t count) {
            task->didReceiveData(bytes, count);
            return !task->isStopped();
        });
        ::close(fd);
        if (err) task->didFailWithError(Error(NSPOSIXErrorDomain, err));
        else if (!task->isStopped()) task->didFinish();
    });
}
