#pragma once
// Script message channels and user scripts of a web view.
//
// The page posts with window.webkit.messageHandlers.<name>.postMessage(v);
// the value arrives as a Value (objects as dictionaries, arrays, strings,
// numbers, booleans, null) on the main thread. User scripts are injected into
// every later page load.
//
// With allowed origins set, both are kept to them: the scripts go only into
// pages of those origins (the engine's allow list), and a message is handed
// on only while the web view's committed page is of one of them; others are
// dropped and counted (the first one logged).

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/web/WebOrigin.h"

class WKWebView;
class WKUserContentController;

enum class WKUserScriptInjectionTime { AtDocumentStart, AtDocumentEnd };

struct WKUserScript {
    std::string source;
    WKUserScriptInjectionTime injectionTime = WKUserScriptInjectionTime::AtDocumentStart;
    bool forMainFrameOnly = true;

    WKUserScript(std::string src, WKUserScriptInjectionTime time, bool mainFrameOnly)
        : source(std::move(src)), injectionTime(time), forMainFrameOnly(mainFrameOnly) {}
};

struct WKScriptMessage {
    std::string name;
    Value body;
    std::weak_ptr<WKWebView> webView;
};

class WKScriptMessageHandler {
public:
    virtual ~WKScriptMessageHandler() = default;
    virtual void userContentController_didReceiveScriptMessage(WKUserContentController& controller,
                                                               const WKScriptMessage& message) = 0;
};

class WKUserContentController : public std::enable_shared_from_this<WKUserContentController> {
public:
    static std::shared_ptr<WKUserContentController> create();
    ~WKUserContentController();

    // The controller holds the handler. A second handler under the same name
    // replaces the first.
    void addScriptMessageHandler(std::shared_ptr<WKScriptMessageHandler> handler, const std::string& name);
    void removeScriptMessageHandlerForName(const std::string& name);
    std::shared_ptr<WKScriptMessageHandler> scriptMessageHandlerForName(const std::string& name) const;
    std::vector<std::string> scriptMessageHandlerNames() const;

    void addUserScript(const WKUserScript& script);
    void removeAllUserScripts();
    const std::vector<WKUserScript>& userScripts() const { return scripts_; }

    // Empty (the default) allows every page. Scripts already added are
    // injected under the new list from the next page load on.
    void setAllowedOrigins(std::vector<WebOrigin> origins);
    const std::vector<WebOrigin>& allowedOrigins() const { return origins_; }
    // Messages dropped because the page was of another origin.
    size_t refusedMessageCount() const { return refused_; }

    // Hands a message posted by the page to its channel's handler; a name
    // without a handler, or a page of an origin not allowed, drops it. No
    // exception leaves this call.
    void didReceiveScriptMessage(const std::string& name, Value body, const std::shared_ptr<WKWebView>& webView);

    // The engine's object (a WebKitUserContentManager), made on first use.
    void* nativeManager();

private:
    WKUserContentController() = default;
    void registerNative(const std::string& name);
    void addNativeScript(const WKUserScript& script);
    void removeNativeScripts();
    bool pageAllowed(const std::shared_ptr<WKWebView>& webView) const;

    std::map<std::string, std::shared_ptr<WKScriptMessageHandler>> handlers_;
    std::vector<WKUserScript> scripts_;
    std::vector<WebOrigin> origins_;
    size_t refused_ = 0;
    void* manager_ = nullptr;
    std::vector<void*> nativeScripts_;  // the engine's objects (WebKitUserScript) of scripts_
    std::weak_ptr<WKWebView> lastWebView_;
    friend class WKWebView;
};
