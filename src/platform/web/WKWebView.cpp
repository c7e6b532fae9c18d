#include "platform/web/WKWebView.h"

#include <cairo.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Redact.h"
#include "platform/ui/GtkHost.h"
#include "platform/web/ChunkStream.h"
#include "platform/web/ExtraTrust.h"
#include "platform/web/ScriptValue.h"
#include "platform/web/SoftwareGL.h"

struct WKWebView::Engine {
    WKWebView* owner = nullptr;
    WebKitWebView* view = nullptr;
    WebKitUserContentManager* manager = nullptr;  // the configuration's, for the press reports
    // Loads asked for through the API that have not started yet, oldest first.
    std::deque<std::shared_ptr<WKNavigation>> pending;
    std::shared_ptr<WKNavigation> current;
    bool committed = false;
    std::string committedURI;  // of the page shown now
    // The address of the main-frame navigation last let through; the view's
    // own address still names the old page when the next one starts.
    std::string decidedURI;
    // A page refused for its certificate, now trusted, to load again once
    // the refused load has ended.
    std::string trustedAgain;
    // The last key press seen: the engine hands a key the page left
    // unhandled back to GTK, and the view sees it a second time.
    std::pair<guint32, guint16> lastKey{0, 0};
    bool firstSight(GdkEvent* keyPress) {
        guint16 code = 0;
        gdk_event_get_keycode(keyPress, &code);
        auto key = std::make_pair(gdk_event_get_time(keyPress), code);
        return std::exchange(lastKey, key) != key;
    }
};

namespace {

// Web views by their engine view, for scheme requests and script messages.
std::map<WebKitWebView*, WKWebView*>& viewRegistry() {
    static auto* m = new std::map<WebKitWebView*, WKWebView*>();
    return *m;
}

std::shared_ptr<WKWebView> ownerOf(WebKitWebView* v) {
    auto it = viewRegistry().find(v);
    if (it == viewRegistry().end()) return nullptr;
    return std::static_pointer_cast<WKWebView>(it->second->shared_from_this());
}

template <class F>
void guarded(const char* where, F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        NSLog("%s: %s", where, e.what());
    } catch (...) {
        NSLog("%s: unknown failure", where);
    }
}

Error errorFromGError(const GError* e, const char* failingURI = nullptr) {
    Error out;
    if (!e) return Error(WKErrorDomain, 1);
    if (e->domain == WEBKIT_NETWORK_ERROR && e->code == WEBKIT_NETWORK_ERROR_CANCELLED) {
        out = Error(NSURLErrorDomain, NSURLErrorCancelled);
    } else if (e->domain == WEBKIT_POLICY_ERROR && e->code == WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE) {
        out = Error(WebKitErrorDomain, WebKitErrorFrameLoadInterruptedByPolicyChange);
    } else {
        out = Error(g_quark_to_string(e->domain), e->code);
    }
    out.userInfo.set(NSLocalizedDescriptionKey, e->message ? e->message : "");
    if (failingURI) out.userInfo.set(NSURLErrorFailingURLStringErrorKey, failingURI);
    return out;
}

// Addresses as the engine writes them may gain a "/" for an empty path.
bool sameAddress(const std::string& a, const std::string& b) {
    if (a == b) return true;
    auto trim = [](const std::string& s) { return !s.empty() && s.back() == '/' ? s.substr(0, s.size() - 1) : s; };
    return trim(a) == trim(b);
}

bool gtkReady() {
    static int state = -1;
    if (state < 0) {
        // The application initialises GTK through its host; tests and
        // tools may not have: do it here, once.
        state = gdk_display_get_default() != nullptr || gtk_init_check(nullptr, nullptr) ? 1 : 0;
    }
    return state == 1;
}

// ---- Scheme tasks ---------------------------------------------------------

// Fails a scheme request with the error (the engine's domain for none).
void finishWithError(WebKitURISchemeRequest* request, const Error& error) {
    GError* e = g_error_new_literal(g_quark_from_string(error.domain.empty() ? WKErrorDomain : error.domain.c_str()),
                                    gint(error.code), error.localizedDescription().c_str());
    webkit_uri_scheme_request_finish_error(request, e);
    g_error_free(e);
}

class EngineSchemeTask : public WKURLSchemeTask, public std::enable_shared_from_this<EngineSchemeTask> {
public:
    EngineSchemeTask(WebKitURISchemeRequest* request, NSURLRequest req, std::weak_ptr<WKWebView> view)
        : request_(WEBKIT_URI_SCHEME_REQUEST(g_object_ref(request))),
          req_(std::move(req)),
          view_(std::move(view)),
          buffer_(std::make_shared<webengine::ChunkBuffer>()) {}

    ~EngineSchemeTask() override {
        WebKitURISchemeRequest* r = request_;
        if (!r) return;
        // A task dropped unanswered fails its request rather than leaving
        // the page waiting for ever.
        bool unanswered = state_.load() == Pending;
        DispatchQueue::main()->async([r, unanswered] {
            if (unanswered) finishWithError(r, Error::withDescription(NSCocoaErrorDomain, 404, "no answer"));
            g_object_unref(r);
        });
    }

    const NSURLRequest& request() const override { return req_; }

    void didReceiveResponse(const NSHTTPURLResponse& response) override {
        int expected = Pending;
        if (!state_.compare_exchange_strong(expected, Responded)) return;
        auto self = shared_from_this();
        std::weak_ptr<EngineSchemeTask> weak = self;
        buffer_->setOnEarlyClose([weak] {
            DispatchQueue::main()->async([weak] {
                if (auto t = weak.lock()) t->stoppedByEngine();
            });
        });
        onMain([self, response] { self->sendResponse(response); });
    }

    void didReceiveData(const uint8_t* bytes, size_t length) override {
        if (state_.load() != Responded) return;
        if (!buffer_->push(bytes, length)) state_.store(Stopped);
    }

    void didFinish() override {
        int s = state_.load();
        if (s == Responded) {
            state_.store(Done);
            buffer_->finish();
        } else if (s == Pending) {
            didFailWithError(Error::withDescription(NSURLErrorDomain, -1017, "finished without a response"));
        }
    }

    void didFailWithError(const Error& error) override {
        int s = state_.load();
        if (s == Responded) {
            state_.store(Done);
            buffer_->fail(error);
            return;
        }
        int expected = Pending;
        if (!state_.compare_exchange_strong(expected, Done)) return;
        auto self = shared_from_this();
        onMain([self, error] { finishWithError(self->request_, error); });
    }

    bool isStopped() const override { return state_.load() == Stopped || buffer_->consumerGone(); }

private:
    enum { Pending, Responded, Done, Stopped };

    template <class F>
    static void onMain(F&& f) {
        if (isMainThread()) f();
        else DispatchQueue::main()->async(std::forward<F>(f));
    }

    void sendResponse(const NSHTTPURLResponse& response) {
        gint64 length = -1;
        if (auto cl = response.valueForHTTPHeaderField("Content-Length")) {
            char* end = nullptr;
            long long n = std::strtoll(cl->c_str(), &end, 10);
            if (end && *end == '\0' && n >= 0) length = n;
        }
        GInputStream* stream = webengine::newChunkStream(buffer_);
        WebKitURISchemeResponse* r = webkit_uri_scheme_response_new(stream, length);
        g_object_unref(stream);
        webkit_uri_scheme_response_set_status(r, guint(response.statusCode), nullptr);
        SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
        for (auto& [k, v] : response.allHeaderFields) soup_message_headers_append(headers, k.c_str(), v.c_str());
        webkit_uri_scheme_response_set_http_headers(r, headers);
        if (auto ct = response.valueForHTTPHeaderField("Content-Type")) {
            std::string mime = ct->substr(0, ct->find(';'));
            webkit_uri_scheme_response_set_content_type(r, mime.c_str());
        }
        webkit_uri_scheme_request_finish_with_response(request_, r);
        g_object_unref(r);
    }

    void stoppedByEngine() {
        int s = state_.load();
        if (s == Done) return;
        state_.store(Stopped);
        auto view = view_.lock();
        if (!view) return;
        auto handler = view->configuration()->urlSchemeHandlerForURLScheme(req_.URL.scheme());
        if (!handler) return;
        auto self = shared_from_this();
        guarded("stopURLSchemeTask", [&] { handler->webView_stopURLSchemeTask(*view, self); });
    }

    WebKitURISchemeRequest* request_;
    NSURLRequest req_;
    std::weak_ptr<WKWebView> view_;
    std::shared_ptr<webengine::ChunkBuffer> buffer_;
    std::atomic<int> state_{Pending};
};

void onSchemeRequest(WebKitURISchemeRequest* request, gpointer) {
    guarded("scheme request", [&] {
        auto view = ownerOf(webkit_uri_scheme_request_get_web_view(request));
        std::string scheme = webkit_uri_scheme_request_get_scheme(request);
        auto handler = view ? view->configuration()->urlSchemeHandlerForURLScheme(scheme) : nullptr;
        auto url = NSURL::URLWithString(webkit_uri_scheme_request_get_uri(request));
        if (!handler || !url) {
            finishWithError(request, Error::withDescription(WKErrorDomain, 404, "unsupported URL"));
            return;
        }
        NSURLRequest req = NSURLRequest::requestWithURL(*url);
        if (const char* m = webkit_uri_scheme_request_get_http_method(request)) req.HTTPMethod = m;
        if (SoupMessageHeaders* h = webkit_uri_scheme_request_get_http_headers(request)) {
            soup_message_headers_foreach(
                h,
                [](const char* name, const char* value, gpointer data) {
                    static_cast<HTTPHeaderFields*>(data)->emplace_back(name, value);
                },
                &req.allHTTPHeaderFields);
        }
        auto task = std::make_shared<EngineSchemeTask>(request, std::move(req), view);
        handler->webView_startURLSchemeTask(*view, task);
    });
}

// The engine's context for the application home in use: its website data
// (storage, caches) lives under that home, so each home has its own, and
// the custom schemes registered on it.
struct HomeContext {
    WebKitWebContext* context = nullptr;
    std::set<std::string> schemes;
};

HomeContext& contextForHome() {
    static auto* contexts = new std::map<std::string, HomeContext>();
    HomeContext& c = (*contexts)[AppHome::root().string()];
    if (!c.context) {
        std::string data = (AppHome::library() / "WebKit").string();
        std::string cache = (AppHome::caches() / "WebKit").string();
        WebKitWebsiteDataManager* manager = webkit_website_data_manager_new(
            "base-data-directory", data.c_str(), "base-cache-directory", cache.c_str(), nullptr);
        c.context = webkit_web_context_new_with_website_data_manager(manager);
        g_object_unref(manager);
    }
    return c;
}

void registerScheme(HomeContext& c, const std::string& scheme) {
    if (!c.schemes.insert(scheme).second) return;
    webkit_web_context_register_uri_scheme(c.context, scheme.c_str(), onSchemeRequest, nullptr, nullptr);
    // The page may fetch from the scheme (with the handler's CORS headers)
    // and an HTTPS page may use it without mixed-content blocking.
    WebKitSecurityManager* sm = webkit_web_context_get_security_manager(c.context);
    webkit_security_manager_register_uri_scheme_as_cors_enabled(sm, scheme.c_str());
    webkit_security_manager_register_uri_scheme_as_secure(sm, scheme.c_str());
}

// ---- Presses the top page hears ---------------------------------------------

// A script world of the engine's own: no page's script sees its listeners
// or posts to its channel.
constexpr const char* kPressWorld = "presses";
constexpr const char* kPressChannel = "pressHeard";
// The top page's first listeners (injected before its own scripts run),
// capturing at the window: the report leaves before the page's handlers run
// and before the press moves the focus out of another frame. A press in an
// inner frame never reaches them. One report per press: the events of one
// press come in one task (a late second report would be taken for the next
// press's). The report is 1 when an inner frame held the focus as the press
// came (it loses the focus to it, and handles the press too), else 0. A
// focused element hidden in a closed shadow tree may be a frame: a custom
// element without an open one counts as a frame.
constexpr const char* kPressScript = R"JS((function () {
  var heard = window.webkit.messageHandlers.pressHeard, reported = false;
  function frameHasFocus() {
    var focused = document.activeElement;
    while (focused && focused.shadowRoot && focused.shadowRoot.activeElement) focused = focused.shadowRoot.activeElement;
    if (!focused) return false;
    var tag = focused.tagName.toUpperCase();
    return /^(IFRAME|FRAME|OBJECT|EMBED)$/.test(tag) || (tag.indexOf('-') >= 0 && !focused.shadowRoot);
  }
  ['pointerdown', 'mousedown', 'touchstart', 'keydown'].forEach(function (type) {
    window.addEventListener(type, function (event) {
      if (!event.isTrusted || reported) return;
      reported = true;
      setTimeout(function () { reported = false; }, 0);
      heard.postMessage(frameHasFocus() ? 1 : 0);
    }, true);
  });
})();)JS";

// Once per content manager, whichever web view comes first.
void installPressReports(WebKitUserContentManager* manager) {
    if (g_object_get_data(G_OBJECT(manager), kPressWorld)) return;
    g_object_set_data(G_OBJECT(manager), kPressWorld, GINT_TO_POINTER(1));
    WebKitUserScript* script =
        webkit_user_script_new_for_world(kPressScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                         WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kPressWorld, nullptr, nullptr);
    webkit_user_content_manager_add_script(manager, script);
    webkit_user_script_unref(script);
    webkit_user_content_manager_register_script_message_handler_in_world(manager, kPressChannel, kPressWorld);
}

// Where GL is the CPU's, the engine's GL threads (compositor, painting
// workers) have been seen to fault inside the software rasteriser and end
// the page's content process: the engine paints without GL there instead.
void drawWithoutGLCompositing(WebKitSettings* settings) {
    static bool said = false;
    if (!std::exchange(said, true)) {
        const std::string& driver = webengine::glDriverName();
        NSLog("WKWebView: GL here is software (%s): web views draw without GL compositing",
              driver.empty() ? "no driver" : driver.c_str());
    }
    webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
}

// ---- Script dialogs -------------------------------------------------------

// Answers a dialog once. An answer given inside the signal handler is set
// on the dialog directly; otherwise the dialog is held and closed when the
// answer comes, or with the default answer when the completion handler is
// dropped uncalled.
struct DialogReply {
    WebKitScriptDialog* dialog;
    bool inSignal = true;
    bool held = false;
    bool done = false;
    explicit DialogReply(WebKitScriptDialog* d) : dialog(d) {}
    ~DialogReply() {
        if (!held) return;
        if (!done) {
            if (webkit_script_dialog_get_dialog_type(dialog) == WEBKIT_SCRIPT_DIALOG_CONFIRM)
                webkit_script_dialog_confirm_set_confirmed(dialog, FALSE);
            webkit_script_dialog_close(dialog);
        }
        webkit_script_dialog_unref(dialog);
    }
    // Called once the delegate returned: hold the dialog if it has no answer yet.
    void leaveSignal() {
        inSignal = false;
        if (!done) {
            webkit_script_dialog_ref(dialog);
            held = true;
        }
    }
    bool claim() {
        if (done) return false;
        done = true;
        return true;
    }
    void answered() {
        if (held) webkit_script_dialog_close(dialog);
    }
};

}  // namespace

// ---- Engine signal handlers --------------------------------------------------

struct EngineAccess {
    static void loadChanged(WebKitWebView* v, WebKitLoadEvent event, gpointer data) {
        auto* engine = static_cast<WKWebView::Engine*>(data);
        guarded("load-changed", [&] {
            WKWebView& self = *engine->owner;
            switch (event) {
            case WEBKIT_LOAD_STARTED: {
                std::string now = engine->decidedURI;
                if (now.empty()) {
                    const char* uri = webkit_web_view_get_uri(v);
                    now = uri ? uri : "";
                }
                // The load this event belongs to: the API load asking for this
                // address (older ones were superseded), else a navigation the
                // page started itself.
                std::shared_ptr<WKNavigation> nav;
                for (auto it = engine->pending.begin(); it != engine->pending.end(); ++it) {
                    if (sameAddress((*it)->url(), now)) {
                        nav = *it;
                        engine->pending.erase(engine->pending.begin(), it + 1);
                        break;
                    }
                }
                if (!nav) nav = std::make_shared<WKNavigation>(now);
                engine->current = nav;
                engine->committed = false;
                engine->decidedURI.clear();
                self.didStartProvisionalNavigation(nav);
                break;
            }
            case WEBKIT_LOAD_REDIRECTED: break;
            case WEBKIT_LOAD_COMMITTED:
                engine->committed = true;
                if (const char* uri = webkit_web_view_get_uri(v)) engine->committedURI = uri;
                if (engine->current) self.didCommitNavigation(engine->current);
                break;
            case WEBKIT_LOAD_FINISHED:
                if (!engine->trustedAgain.empty()) {
                    loadAgain(v, engine);
                    break;
                }
                if (engine->current) self.didFinishNavigation(engine->current);
                break;
            }
        });
    }

    static gboolean loadFailed(WebKitWebView*, WebKitLoadEvent event, gchar* uri, GError* error, gpointer data) {
        auto* engine = static_cast<WKWebView::Engine*>(data);
        guarded("load-failed", [&] {
            WKWebView& self = *engine->owner;
            auto nav = engine->current ? engine->current : std::make_shared<WKNavigation>(uri ? uri : "");
            Error e = errorFromGError(error, uri);
            if (event == WEBKIT_LOAD_STARTED || event == WEBKIT_LOAD_REDIRECTED || !engine->committed)
                self.didFailProvisionalNavigation(nav, e);
            else
                self.didFailNavigation(nav, e);
        });
        return TRUE;  // no built-in error page
    }

    // A page whose certificate only the bundle's extra CA vouches for: the
    // certificate is allowed for its host (its later loads from there pass
    // too) and the same navigation is made again, no failure reported.
    static gboolean tlsErrors(WebKitWebView* v, gchar* uri, GTlsCertificate* certificate, GTlsCertificateFlags,
                              gpointer data) {
        auto* engine = static_cast<WKWebView::Engine*>(data);
        bool trusted = false;
        guarded("load-failed-with-tls-errors", [&] {
            auto url = NSURL::URLWithString(uri ? uri : "");
            if (!url || !webengine::trustedByExtraCA(certificate, uri)) return;
            webkit_web_context_allow_tls_certificate_for_host(webkit_web_view_get_context(v), certificate,
                                                              url->host().c_str());
            engine->trustedAgain = uri;
            trusted = true;
        });
        return trusted;
    }

    static WKNavigationAction actionOf(WebKitNavigationAction* action) {
        WebKitURIRequest* r = webkit_navigation_action_get_request(action);
        const char* uri = r ? webkit_uri_request_get_uri(r) : nullptr;
        WKNavigationAction asked;
        asked.navigationType = navigationType(webkit_navigation_action_get_navigation_type(action));
        if (auto url = NSURL::URLWithString(uri ? uri : "")) asked.request = NSURLRequest::requestWithURL(*url);
        if (const char* m = r ? webkit_uri_request_get_http_method(r) : nullptr) asked.request.HTTPMethod = m;
        if (SoupMessageHeaders* headers = r ? webkit_uri_request_get_http_headers(r) : nullptr)
            soup_message_headers_foreach(
                headers,
                [](const char* name, const char* value, gpointer fields) {
                    static_cast<HTTPHeaderFields*>(fields)->emplace_back(name, value);
                },
                &asked.request.allHTTPHeaderFields);
        asked.userGesture = webkit_navigation_action_is_user_gesture(action);
        return asked;
    }

    // A new window (window.open, a link's target="_blank"): the delegate's
    // policy hears of it, and none opens whatever it answers.
    static GtkWidget* createRequested(WebKitWebView*, WebKitNavigationAction* action, gpointer data) {
        auto* engine = static_cast<WKWebView::Engine*>(data);
        guarded("create", [&] {
            WKNavigationAction asked = actionOf(action);
            asked.targetsNewWindow = true;
            engine->owner->decidePolicy(asked, [](WKNavigationActionPolicy) {});
        });
        return nullptr;
    }

    // A load asked for through the API that has not started yet.
    static bool isPending(const WKWebView::Engine& engine, const std::string& uri) {
        return std::any_of(engine.pending.begin(), engine.pending.end(),
                           [&](auto& nav) { return sameAddress(nav->url(), uri); });
    }

    static void loadAgain(WebKitWebView* v, WKWebView::Engine* engine) {
        std::string uri = std::exchange(engine->trustedAgain, "");
        if (engine->current) engine->pending.push_front(engine->current);
        webkit_web_view_load_uri(v, uri.c_str());
    }

    static gboolean decidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                 gpointer data) {
        auto* engine = static_cast<WKWebView::Engine*>(data);
        if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return decideResponse(decision, engine);
        // A link to a new window goes on to "create", where every new
        // window (window.open too) is asked of the delegate once.
        if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) return FALSE;
        WebKitNavigationAction* action =
            webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        WKNavigationAction asked = actionOf(action);
        WebKitURIRequest* r = webkit_navigation_action_get_request(action);
        const char* uri = r ? webkit_uri_request_get_uri(r) : nullptr;
        std::string decided = uri ? uri : "";
        asked.requestedByApplication = isPending(*engine, decided);
        auto held = WEBKIT_POLICY_DECISION(g_object_ref(decision));
        // The engine may be gone when a late answer comes: answer through
        // the owner only while it lives.
        std::weak_ptr<WKWebView> owner = std::static_pointer_cast<WKWebView>(engine->owner->shared_from_this());
        guarded("decide-policy", [&] {
            engine->owner->decidePolicy(asked, [held, owner, decided](WKNavigationActionPolicy policy) {
                auto view = owner.lock();
                if (view && view->engine_ && policy == WKNavigationActionPolicy::Allow) {
                    view->engine_->decidedURI = decided;
                    webkit_policy_decision_use(held);
                } else {
                    webkit_policy_decision_ignore(held);
                }
                g_object_unref(held);
            });
        });
        return TRUE;
    }

    // An answer the delegate allows is shown when the engine can show its
    // type and ignored otherwise (nothing is downloaded).
    static gboolean decideResponse(WebKitPolicyDecision* decision, WKWebView::Engine* engine) {
        auto* r = WEBKIT_RESPONSE_POLICY_DECISION(decision);
        WebKitURIResponse* response = webkit_response_policy_decision_get_response(r);
        WebKitURIRequest* request = webkit_response_policy_decision_get_request(r);
        const char* uri = response ? webkit_uri_response_get_uri(response) : nullptr;
        if (!uri && request) uri = webkit_uri_request_get_uri(request);
        auto url = NSURL::URLWithString(uri ? uri : "");
        if (!url) url = NSURL::URLWithString("about:blank");
        WKNavigationResponse answer{*url, bool(webkit_response_policy_decision_is_main_frame_main_resource(r)),
                                    response ? long(webkit_uri_response_get_status_code(response)) : 0, ""};
        if (const char* mime = response ? webkit_uri_response_get_mime_type(response) : nullptr) answer.MIMEType = mime;
        bool supported = webkit_response_policy_decision_is_mime_type_supported(r);
        auto held = WEBKIT_POLICY_DECISION(g_object_ref(decision));
        std::weak_ptr<WKWebView> owner = std::static_pointer_cast<WKWebView>(engine->owner->shared_from_this());
        guarded("decide-policy (response)", [&] {
            engine->owner->decideResponsePolicy(answer, [held, owner, supported](WKNavigationResponsePolicy policy) {
                auto view = owner.lock();
                if (view && view->engine_ && policy == WKNavigationResponsePolicy::Allow && supported)
                    webkit_policy_decision_use(held);
                else
                    webkit_policy_decision_ignore(held);
                g_object_unref(held);
            });
        });
        return TRUE;
    }

    static WKNavigationType navigationType(WebKitNavigationType type) {
        switch (type) {
        case WEBKIT_NAVIGATION_TYPE_LINK_CLICKED: return WKNavigationType::LinkActivated;
        case WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED: return WKNavigationType::FormSubmitted;
        case WEBKIT_NAVIGATION_TYPE_BACK_FORWARD: return WKNavigationType::BackForward;
        case WEBKIT_NAVIGATION_TYPE_RELOAD: return WKNavigationType::Reload;
        case WEBKIT_NAVIGATION_TYPE_FORM_RESUBMITTED: return WKNavigationType::FormResubmitted;
        default: return WKNavigationType::Other;
        }
    }

    static void processTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer data) {
        auto* engine = static_cast<WKWebView::Engine*>(data);
        guarded("web-process-terminated", [&] { engine->owner->webContentProcessDidTerminate(terminationOf(reason)); });
    }

    static WKContentProcessTermination terminationOf(WebKitWebProcessTerminationReason reason) {
        switch (reason) {
        case WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT: return WKContentProcessTermination::ExceededMemoryLimit;
        case WEBKIT_WEB_PROCESS_TERMINATED_BY_API: return WKContentProcessTermination::EndedByApplication;
        default: return WKContentProcessTermination::Crashed;
        }
    }

    // A press of the player's reaches the view before the engine passes it
    // to the page; the event goes on.
    static gboolean pressed(GtkWidget*, GdkEvent* event, gpointer data) {
        auto* engine = static_cast<WKWebView::Engine*>(data);
        auto type = gdk_event_get_event_type(event);
        if (type == GDK_KEY_PRESS && !engine->firstSight(event)) return FALSE;
        if (type == GDK_BUTTON_PRESS || type == GDK_KEY_PRESS || type == GDK_TOUCH_BEGIN)
            engine->owner->didReceivePress(type == GDK_KEY_PRESS ? WKPress::Device::Key : WKPress::Device::Pointer);
        return FALSE;
    }

    static void pressHeard(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
        JSCValue* value = webkit_javascript_result_get_js_value(result);
        bool frameHadFocus = !jsc_value_is_number(value) || jsc_value_to_int32(value) != 0;
        static_cast<WKWebView::Engine*>(data)->owner->topPageHeardPress(frameHadFocus);
    }

    static void closeRequested(WebKitWebView*, gpointer data) {
        auto* engine = static_cast<WKWebView::Engine*>(data);
        guarded("close", [&] {
            if (auto d = engine->owner->UIDelegate()) d->webViewDidClose(*engine->owner);
        });
    }

    static gboolean scriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer data) {
        auto* engine = static_cast<WKWebView::Engine*>(data);
        auto reply = std::make_shared<DialogReply>(dialog);
        auto delegate = engine->owner->UIDelegate();
        auto fallback = std::make_shared<WKUIDelegate>();
        WKUIDelegate& d = delegate ? *delegate : *fallback;
        WKWebView& self = *engine->owner;
        std::string message = webkit_script_dialog_get_message(dialog);
        guarded("script-dialog", [&] {
            switch (webkit_script_dialog_get_dialog_type(dialog)) {
            case WEBKIT_SCRIPT_DIALOG_ALERT:
                d.webView_runJavaScriptAlertPanelWithMessage(self, message, [reply] {
                    if (reply->claim()) reply->answered();
                });
                break;
            case WEBKIT_SCRIPT_DIALOG_CONFIRM:
            case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
                d.webView_runJavaScriptConfirmPanelWithMessage(self, message, [reply](bool ok) {
                    if (!reply->claim()) return;
                    webkit_script_dialog_confirm_set_confirmed(reply->dialog, ok);
                    reply->answered();
                });
                break;
            case WEBKIT_SCRIPT_DIALOG_PROMPT: {
                const char* def = webkit_script_dialog_prompt_get_default_text(dialog);
                d.webView_runJavaScriptTextInputPanelWithPrompt(
                    self, message, def ? def : "", [reply](std::optional<std::string> text) {
                        if (!reply->claim()) return;
                        // Closing without setting a text makes prompt() return null.
                        if (text) webkit_script_dialog_prompt_set_text(reply->dialog, text->c_str());
                        reply->answered();
                    });
                break;
            }
            }
        });
        reply->leaveSignal();
        return TRUE;  // never the engine's own dialog
    }
};

// ---- WKWebView ----------------------------------------------------------------

std::shared_ptr<WKWebView> WKWebView::create(const CGRect& frame, std::shared_ptr<WKWebViewConfiguration> configuration) {
    auto view = std::shared_ptr<WKWebView>(new WKWebView(frame, std::move(configuration), NoEngine{}));
    view->attachEngine();
    return view;
}

WKWebView::WKWebView(const CGRect& frame, std::shared_ptr<WKWebViewConfiguration> configuration, NoEngine)
    : UIView(frame), configuration_(configuration ? std::move(configuration) : WKWebViewConfiguration::create()) {}

bool WKWebView::engineAvailable() { return gtkReady(); }

void WKWebView::attachEngine() {
    configuration_->userContentController()->lastWebView_ =
        std::static_pointer_cast<WKWebView>(shared_from_this());
    if (!gtkReady()) {
        NSLog("WKWebView: no display, the web view has no engine");
        return;
    }
    auto e = std::make_unique<Engine>();
    e->owner = this;
    HomeContext& context = contextForHome();
    for (auto& [scheme, handler] : configuration_->urlSchemeHandlers()) registerScheme(context, scheme);

    WebKitSettings* settings = webkit_settings_new();
    webkit_settings_set_enable_javascript(settings, configuration_->preferences().javaScriptEnabled);
    webkit_settings_set_javascript_can_open_windows_automatically(
        settings, configuration_->preferences().javaScriptCanOpenWindowsAutomatically);
    webkit_settings_set_media_playback_requires_user_gesture(
        settings, configuration_->mediaTypesRequiringUserActionForPlayback() != WKAudiovisualMediaTypeNone);
    webkit_settings_set_media_playback_allows_inline(settings, configuration_->allowsInlineMediaPlayback());
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    if (webengine::glIsSoftware()) drawWithoutGLCompositing(settings);

    auto* manager = static_cast<WebKitUserContentManager*>(configuration_->userContentController()->nativeManager());
    GtkWidget* widget = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context.context, "settings",
                                                settings, "user-content-manager", manager, nullptr));
    g_object_unref(settings);
    e->view = WEBKIT_WEB_VIEW(g_object_ref_sink(widget));
    CGRect f = frame();
    gtk_widget_set_size_request(widget, int(f.size.width), int(f.size.height));

    g_signal_connect(e->view, "load-changed", G_CALLBACK(EngineAccess::loadChanged), e.get());
    g_signal_connect(e->view, "load-failed", G_CALLBACK(EngineAccess::loadFailed), e.get());
    g_signal_connect(e->view, "load-failed-with-tls-errors", G_CALLBACK(EngineAccess::tlsErrors), e.get());
    g_signal_connect(e->view, "decide-policy", G_CALLBACK(EngineAccess::decidePolicy), e.get());
    g_signal_connect(e->view, "web-process-terminated", G_CALLBACK(EngineAccess::processTerminated), e.get());
    g_signal_connect(e->view, "close", G_CALLBACK(EngineAccess::closeRequested), e.get());
    g_signal_connect(e->view, "create", G_CALLBACK(EngineAccess::createRequested), e.get());
    g_signal_connect(e->view, "script-dialog", G_CALLBACK(EngineAccess::scriptDialog), e.get());
    for (const char* press : {"button-press-event", "key-press-event", "touch-event"})
        g_signal_connect(e->view, press, G_CALLBACK(EngineAccess::pressed), e.get());
    installPressReports(manager);
    e->manager = WEBKIT_USER_CONTENT_MANAGER(g_object_ref(manager));
    g_signal_connect(manager, (std::string("script-message-received::") + kPressChannel).c_str(),
                     G_CALLBACK(EngineAccess::pressHeard), e.get());
    viewRegistry()[e->view] = this;
    engine_ = std::move(e);
}

std::string WKDescribeLoadFailure(const std::shared_ptr<WKNavigation>& navigation, const Error& error) {
    std::string address = error.userInfo[NSURLErrorFailingURLStringErrorKey].stringOr("");
    if (address.empty() && navigation) address = navigation->url();
    return redact::url(address.empty() ? "(no address)" : address) + ": " + error.localizedDescription();
}

WKWebView::~WKWebView() {
    if (!engine_) return;
    viewRegistry().erase(engine_->view);
    g_signal_handlers_disconnect_matched(engine_->view, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, engine_.get());
    g_signal_handlers_disconnect_matched(engine_->manager, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, engine_.get());
    g_object_unref(engine_->manager);
    GtkWidget* w = GTK_WIDGET(engine_->view);
    if (GtkWidget* parent = gtk_widget_get_parent(w)) gtk_container_remove(GTK_CONTAINER(parent), w);
    gtk_widget_destroy(w);
    g_object_unref(engine_->view);
}

GtkWidget* WKWebView::nativeWidget() const { return engine_ ? GTK_WIDGET(engine_->view) : nullptr; }

void WKWebView::setUnderPageBackgroundColor(const UIColor& colour) {
    underPageBackground_ = colour;
    if (!engine_) return;
    GdkRGBA rgba{colour.red, colour.green, colour.blue, colour.alpha};
    webkit_web_view_set_background_color(engine_->view, &rgba);
}

void WKWebView::geometryDidChange() {
    UIView::geometryDidChange();
    GtkHost::sync();
}

std::shared_ptr<WKNavigation> WKWebView::loadRequest(const NSURLRequest& request) {
    auto nav = std::make_shared<WKNavigation>(request.URL.absoluteString());
    if (!engine_) return nav;
    WebKitURIRequest* r = webkit_uri_request_new(request.URL.absoluteString().c_str());
    if (!request.allHTTPHeaderFields.empty()) {
        SoupMessageHeaders* h = webkit_uri_request_get_http_headers(r);
        for (auto& [k, v] : request.allHTTPHeaderFields) soup_message_headers_replace(h, k.c_str(), v.c_str());
    }
    engine_->pending.push_back(nav);
    webkit_web_view_load_request(engine_->view, r);
    g_object_unref(r);
    return nav;
}

std::shared_ptr<WKNavigation> WKWebView::loadHTMLString(const std::string& html, const std::optional<NSURL>& baseURL) {
    std::string base = baseURL ? baseURL->absoluteString() : "";
    auto nav = std::make_shared<WKNavigation>(base.empty() ? "about:blank" : base);
    if (!engine_) return nav;
    engine_->pending.push_back(nav);
    webkit_web_view_load_html(engine_->view, html.c_str(), base.empty() ? nullptr : base.c_str());
    return nav;
}

std::shared_ptr<WKNavigation> WKWebView::reload() {
    auto current = URL();
    auto nav = std::make_shared<WKNavigation>(current ? current->absoluteString() : "");
    if (!engine_) return nav;
    engine_->pending.push_back(nav);
    webkit_web_view_reload(engine_->view);
    return nav;
}

void WKWebView::stopLoading() {
    if (engine_) webkit_web_view_stop_loading(engine_->view);
}

bool WKWebView::canGoBack() const { return engine_ && webkit_web_view_can_go_back(engine_->view); }
bool WKWebView::canGoForward() const { return engine_ && webkit_web_view_can_go_forward(engine_->view); }

namespace {
// The address of a history item, "" without one.
std::string itemAddress(WebKitBackForwardListItem* item) {
    const char* uri = item ? webkit_back_forward_list_item_get_uri(item) : nullptr;
    return uri ? uri : "";
}
}  // namespace

std::shared_ptr<WKNavigation> WKWebView::goBack() {
    if (!canGoBack()) return nullptr;
    WebKitBackForwardList* list = webkit_web_view_get_back_forward_list(engine_->view);
    auto nav = std::make_shared<WKNavigation>(itemAddress(webkit_back_forward_list_get_back_item(list)));
    engine_->pending.push_back(nav);
    webkit_web_view_go_back(engine_->view);
    return nav;
}

std::shared_ptr<WKNavigation> WKWebView::goForward() {
    if (!canGoForward()) return nullptr;
    WebKitBackForwardList* list = webkit_web_view_get_back_forward_list(engine_->view);
    auto nav = std::make_shared<WKNavigation>(itemAddress(webkit_back_forward_list_get_forward_item(list)));
    engine_->pending.push_back(nav);
    webkit_web_view_go_forward(engine_->view);
    return nav;
}

namespace {
// The answer of one policy decision: given once, and Allow when the
// delegate drops its handler uncalled.
template <class Policy>
class PolicyAnswer {
public:
    explicit PolicyAnswer(std::function<void(Policy)> decided) : decided_(std::move(decided)) {}
    ~PolicyAnswer() { give(Policy::Allow); }
    void give(Policy policy) {
        if (auto d = std::exchange(decided_, nullptr)) guarded("policy decision", [&] { d(policy); });
    }

private:
    std::function<void(Policy)> decided_;
};
}  // namespace

void WKWebView::decidePolicy(const WKNavigationAction& action, std::function<void(WKNavigationActionPolicy)> decided) {
    auto answer = std::make_shared<PolicyAnswer<WKNavigationActionPolicy>>(std::move(decided));
    auto delegate = navigationDelegate();
    if (!delegate) {
        answer->give(WKNavigationActionPolicy::Allow);
        return;
    }
    delegate->webView_decidePolicyForNavigationAction_decisionHandler(
        *this, action, [answer](WKNavigationActionPolicy policy) { answer->give(policy); });
}

void WKWebView::decideResponsePolicy(const WKNavigationResponse& response,
                                     std::function<void(WKNavigationResponsePolicy)> decided) {
    auto answer = std::make_shared<PolicyAnswer<WKNavigationResponsePolicy>>(std::move(decided));
    auto delegate = navigationDelegate();
    if (!delegate) return answer->give(WKNavigationResponsePolicy::Allow);
    delegate->webView_decidePolicyForNavigationResponse_decisionHandler(
        *this, response, [answer](WKNavigationResponsePolicy policy) { answer->give(policy); });
}

namespace {
struct EvalCall {
    WKWebView::JavaScriptCompletion completion;
};
}  // namespace

void WKWebView::evaluateJavaScript(const std::string& script, JavaScriptCompletion completion) {
    if (!isMainThread()) {
        auto self = std::static_pointer_cast<WKWebView>(shared_from_this());
        DispatchQueue::main()->async([self, script, completion] { self->evaluateJavaScript(script, completion); });
        return;
    }
    if (!engine_) {
        if (completion) {
            Error e = Error::withDescription(WKErrorDomain, 1, "the web view has no engine");
            completion(Value(), &e);
        }
        return;
    }
    if (!completion) {
        // Nobody wants the result: the engine need not send it back.
        webkit_web_view_evaluate_javascript(engine_->view, script.c_str(), gssize(script.size()), nullptr, nullptr,
                                            nullptr, nullptr, nullptr);
        return;
    }
    auto* call = new EvalCall{std::move(completion)};
    webkit_web_view_evaluate_javascript(
        engine_->view, script.c_str(), gssize(script.size()), nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* call = static_cast<EvalCall*>(data);
            GError* error = nullptr;
            JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
            Value out = webengine::valueOfScriptValue(value);
            if (value) g_object_unref(value);
            if (call) {
                guarded("evaluateJavaScript completion", [&] {
                    if (error) {
                        Error e = errorFromGError(error);
                        call->completion(Value(), &e);
                    } else {
                        call->completion(out, nullptr);
                    }
                });
                delete call;
            }
            if (error) g_error_free(error);
        },
        call);
}

std::optional<NSURL> WKWebView::URL() const {
    if (!engine_) return std::nullopt;
    const char* uri = webkit_web_view_get_uri(engine_->view);
    if (!uri) return std::nullopt;
    return NSURL::URLWithString(uri);
}

std::optional<NSURL> WKWebView::committedURL() const {
    if (!engine_ || engine_->committedURI.empty()) return std::nullopt;
    return NSURL::URLWithString(engine_->committedURI);
}

std::string WKWebView::title() const {
    const char* t = engine_ ? webkit_web_view_get_title(engine_->view) : nullptr;
    return t ? t : "";
}

bool WKWebView::isLoading() const { return engine_ && webkit_web_view_is_loading(engine_->view); }

void WKWebView::takeSnapshotToPNG(const std::string& path, std::function<void(bool)> completion) {
    if (!engine_) {
        if (completion) completion(false);
        return;
    }
    struct Call {
        std::string path;
        std::function<void(bool)> completion;
    };
    webkit_web_view_get_snapshot(
        engine_->view, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Call> call(static_cast<Call*>(data));
            GError* error = nullptr;
            cairo_surface_t* surface = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, &error);
            bool ok = surface && cairo_surface_write_to_png(surface, call->path.c_str()) == CAIRO_STATUS_SUCCESS;
            if (surface) cairo_surface_destroy(surface);
            if (error) {
                NSLog("snapshot failed: %s", error->message);
                g_error_free(error);
            }
            if (call->completion) guarded("snapshot completion", [&] { call->completion(ok); });
        },
        new Call{path, std::move(completion)});
}

void WKWebView::didStartProvisionalNavigation(const std::shared_ptr<WKNavigation>& navigation) {
    if (auto d = navigationDelegate()) d->webView_didStartProvisionalNavigation(*this, navigation);
}
void WKWebView::didCommitNavigation(const std::shared_ptr<WKNavigation>& navigation) {
    if (auto d = navigationDelegate()) d->webView_didCommitNavigation(*this, navigation);
}
void WKWebView::didFinishNavigation(const std::shared_ptr<WKNavigation>& navigation) {
    if (auto d = navigationDelegate()) d->webView_didFinishNavigation(*this, navigation);
}
void WKWebView::didFailProvisionalNavigation(const std::shared_ptr<WKNavigation>& navigation, const Error& error) {
    if (auto d = navigationDelegate()) d->webView_didFailProvisionalNavigation_withError(*this, navigation, error);
}
void WKWebView::didFailNavigation(const std::shared_ptr<WKNavigation>& navigation, const Error& error) {
    if (auto d = navigationDelegate()) d->webView_didFailNavigation_withError(*this, navigation, error);
}
void WKWebView::webContentProcessDidTerminate(WKContentProcessTermination reason) {
    if (auto d = navigationDelegate()) d->webViewWebContentProcessDidTerminate(*this, reason);
}
