#pragma once
// How a web view is made: preferences, media playback, the user content
// controller and the custom scheme handlers. The web view keeps the
// configuration it was made with; its user content controller stays live
// (channels and scripts added later take effect), the rest is read once.

#include <map>
#include <memory>
#include <string>

#include "platform/web/WKURLSchemeHandler.h"
#include "platform/web/WKUserContentController.h"

struct WKPreferences {
    bool javaScriptEnabled = true;
    bool javaScriptCanOpenWindowsAutomatically = false;
};

// Media types that need a user gesture before they play.
enum WKAudiovisualMediaTypes : unsigned {
    WKAudiovisualMediaTypeNone = 0,
    WKAudiovisualMediaTypeAudio = 1,
    WKAudiovisualMediaTypeVideo = 2,
    WKAudiovisualMediaTypeAll = ~0u,
};

class WKWebViewConfiguration {
public:
    static std::shared_ptr<WKWebViewConfiguration> create() { return std::make_shared<WKWebViewConfiguration>(); }

    WKPreferences& preferences() { return preferences_; }
    const WKPreferences& preferences() const { return preferences_; }

    const std::shared_ptr<WKUserContentController>& userContentController() const { return userContentController_; }
    void setUserContentController(std::shared_ptr<WKUserContentController> c) { userContentController_ = std::move(c); }

    bool allowsInlineMediaPlayback() const { return allowsInlineMediaPlayback_; }
    void setAllowsInlineMediaPlayback(bool v) { allowsInlineMediaPlayback_ = v; }
    unsigned mediaTypesRequiringUserActionForPlayback() const { return mediaTypesRequiringUserAction_; }
    void setMediaTypesRequiringUserActionForPlayback(unsigned types) { mediaTypesRequiringUserAction_ = types; }

    // The configuration holds the handler for the web view's life. Schemes
    // are lower case; http, https, file, data, blob and about cannot be taken.
    bool setURLSchemeHandler(std::shared_ptr<WKURLSchemeHandler> handler, const std::string& scheme);
    std::shared_ptr<WKURLSchemeHandler> urlSchemeHandlerForURLScheme(const std::string& scheme) const;
    const std::map<std::string, std::shared_ptr<WKURLSchemeHandler>>& urlSchemeHandlers() const { return schemeHandlers_; }

private:
    WKPreferences preferences_;
    std::shared_ptr<WKUserContentController> userContentController_ = WKUserContentController::create();
    bool allowsInlineMediaPlayback_ = false;
    unsigned mediaTypesRequiringUserAction_ = WKAudiovisualMediaTypeAll;
    std::map<std::string, std::shared_ptr<WKURLSchemeHandler>> schemeHandlers_;
};
