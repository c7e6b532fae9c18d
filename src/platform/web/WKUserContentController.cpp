#include "platform/web/WKUserContentController.h"

#include <webkit2/webkit2.h>

#include <exception>

#include "platform/foundation/PlatformLog.h"
#include "platform/web/ScriptValue.h"
#include "platform/web/WKWebView.h"

namespace {

struct ChannelClosure {
    WKUserContentController* controller;
    std::string name;
};

void onChannelMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
    auto* c = static_cast<ChannelClosure*>(data);
    c->controller->didReceiveScriptMessage(
        c->name, webengine::valueOfScriptValue(webkit_javascript_result_get_js_value(result)), nullptr);
}

}  // namespace

std::shared_ptr<WKUserContentController> WKUserContentController::create() {
    return std::shared_ptr<WKUserContentController>(new WKUserContentController());
}

WKUserContentController::~WKUserContentController() {
    for (void* script : nativeScripts_) webkit_user_script_unref(static_cast<WebKitUserScript*>(script));
    if (manager_) {
        g_signal_handlers_disconnect_matched(manager_, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                             reinterpret_cast<gpointer>(onChannelMessage), nullptr);
        g_object_unref(manager_);
    }
}


void* WKUserContentController::nativeManager() {
    if (!manager_) {
        manager_ = webkit_user_content_manager_new();
        for (auto& [name, handler] : handlers_) registerNative(name);
        for (auto& s : scripts_) addNativeScript(s);
    }
    return manager_;
}

void WKUserContentController::addNativeScript(const WKUserScript& script) {
    std::vector<std::string> patterns;
    for (auto& o : origins_)
        if (auto p = o.userScriptPattern()) patterns.push_back(*p);
    std::vector<const gchar*> allow;
    for (auto& p : patterns) allow.push_back(p.c_str());
    allow.push_back(nullptr);
    WebKitUserScript* s = webkit_user_script_new(
        script.source.c_str(),
        script.forMainFrameOnly ? WEBKIT_USER_CONTENT_INJECT_TOP_FRAME : WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
        script.injectionTime == WKUserScriptInjectionTime::AtDocumentStart ? WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START
                                                                           : WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_END,
        patterns.empty() ? nullptr : allow.data(), nullptr);
    webkit_user_content_manager_add_script(WEBKIT_USER_CONTENT_MANAGER(manager_), s);
    nativeScripts_.push_back(s);
}

// Only those added here: the web view keeps scripts of its own in the manager.
void WKUserContentController::removeNativeScripts() {
    for (void* script : nativeScripts_) {
        auto* s = static_cast<WebKitUserScript*>(script);
        webkit_user_content_manager_remove_script(WEBKIT_USER_CONTENT_MANAGER(manager_), s);
        webkit_user_script_unref(s);
    }
    nativeScripts_.clear();
}

void WKUserContentController::registerNative(const std::string& name) {
    auto* m = WEBKIT_USER_CONTENT_MANAGER(manager_);
    std::string signal = "script-message-received::" + name;
    auto* closure = new ChannelClosure{this, name};
    g_signal_connect_data(m, signal.c_str(), G_CALLBACK(onChannelMessage), closure,
                          [](gpointer data, GClosure*) { delete static_cast<ChannelClosure*>(data); },
                          GConnectFlags(0));
    webkit_user_content_manager_register_script_message_handler(m, name.c_str());
}

void WKUserContentController::addScriptMessageHandler(std::shared_ptr<WKScriptMessageHandler> handler,
                                                      const std::string& name) {
    if (!handler || name.empty()) return;
    bool existed = handlers_.count(name) > 0;
    handlers_[name] = std::move(handler);
    if (manager_ && !existed) registerNative(name);
}

void WKUserContentController::removeScriptMessageHandlerForName(const std::string& name) {
    if (!handlers_.erase(name) || !manager_) return;
    auto* m = WEBKIT_USER_CONTENT_MANAGER(manager_);
    webkit_user_content_manager_unregister_script_message_handler(m, name.c_str());
    // Drop the closure of that channel.
    std::string signal = "script-message-received::" + name;
    guint id = 0;
    GQuark detail = 0;
    if (g_signal_parse_name(signal.c_str(), G_OBJECT_TYPE(m), &id, &detail, FALSE)) {
        g_signal_handlers_disconnect_matched(m, GSignalMatchType(G_SIGNAL_MATCH_ID | G_SIGNAL_MATCH_DETAIL), id, detail,
                                             nullptr, nullptr, nullptr);
    }
}

std::shared_ptr<WKScriptMessageHandler> WKUserContentController::scriptMessageHandlerForName(const std::string& name) const {
    auto it = handlers_.find(name);
    return it == handlers_.end() ? nullptr : it->second;
}

std::vector<std::string> WKUserContentController::scriptMessageHandlerNames() const {
    std::vector<std::string> out;
    for (auto& [k, v] : handlers_) out.push_back(k);
    return out;
}

void WKUserContentController::addUserScript(const WKUserScript& script) {
    scripts_.push_back(script);
    if (manager_) addNativeScript(script);
}

void WKUserContentController::removeAllUserScripts() {
    scripts_.clear();
    if (manager_) removeNativeScripts();
}

void WKUserContentController::setAllowedOrigins(std::vector<WebOrigin> origins) {
    if (origins == origins_) return;
    origins_ = std::move(origins);
    if (!manager_) return;
    removeNativeScripts();
    for (auto& s : scripts_) addNativeScript(s);
}

bool WKUserContentController::pageAllowed(const std::shared_ptr<WKWebView>& webView) const {
    if (origins_.empty()) return true;
    auto page = webView ? webView->committedURL() : std::nullopt;
    if (page)
        for (auto& o : origins_)
            if (o.contains(*page)) return true;
    return false;
}

void WKUserContentController::didReceiveScriptMessage(const std::string& name, Value body,
                                                      const std::shared_ptr<WKWebView>& webView) {
    auto handler = scriptMessageHandlerForName(name);
    if (!handler) return;
    auto sender = webView ? webView : lastWebView_.lock();
    if (!pageAllowed(sender)) {
        if (refused_++ == 0) {
            auto page = sender ? sender->committedURL() : std::nullopt;
            NSLog("a script message from a page of another origin was dropped (%s on %s); further ones are counted",
                  name.c_str(), page ? page->absoluteString().c_str() : "no page");
        }
        return;
    }
    WKScriptMessage message{name, std::move(body), sender};
    try {
        handler->userContentController_didReceiveScriptMessage(*this, message);
    } catch (const std::exception& e) {
        NSLog("script message handler %s failed: %s", name.c_str(), e.what());
    } catch (...) {
        NSLog("script message handler %s failed", name.c_str());
    }
}
