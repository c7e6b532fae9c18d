#pragma once
// A web view without an engine for unit tests of plug-ins and hosts: it
// records what native code asks of the page (evaluated scripts, loads) and
// lets a test act as the page (post script messages, request scheme URLs,
// follow links, report navigation events) and as the player (presses).
// Runs headless.
//
// Navigations replay the engine's policy decision and history: a load, a
// link the test follows, a step back or forward asks the navigation
// delegate first, and only an allowed one reaches the history (no
// navigation events are sent: the test sends those it needs).

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/web/WKWebView.h"

// A scheme task that keeps everything it is told. Thread-safe.
class RecordingURLSchemeTask : public WKURLSchemeTask {
public:
    explicit RecordingURLSchemeTask(NSURLRequest request) : request_(std::move(request)) {}

    const NSURLRequest& request() const override { return request_; }
    void didReceiveResponse(const NSHTTPURLResponse& response) override;
    void didReceiveData(const uint8_t* bytes, size_t length) override;
    void didFinish() override;
    void didFailWithError(const Error& error) override;
    bool isStopped() const override;

    // The test stops the task, as the engine does when the page goes away.
    void stop();

    bool isComplete() const;  // finished or failed
    // Runs the main loop until the task is complete (handlers may answer
    // from other queues); false on time-out.
    bool waitUntilComplete(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    std::optional<NSHTTPURLResponse> response() const;
    std::string body() const;
    size_t dataCalls() const;
    size_t largestPiece() const;
    bool finished() const;
    std::optional<Error> error() const;
    // Calls made after the task was complete or stopped (a handler fault).
    int callsAfterEnd() const;

private:
    mutable std::mutex mutex_;
    NSURLRequest request_;
    std::optional<NSHTTPURLResponse> response_;
    std::string body_;
    size_t dataCalls_ = 0, largestPiece_ = 0;
    bool finished_ = false, stopped_ = false;
    std::optional<Error> error_;
    int callsAfterEnd_ = 0;
};

// What starts a navigation of a page's in a RecordingWebView: the handling
// of a press (the engine's user gesture) or not, and the page it comes from
// (its Referer; none when empty).
struct NavigationStarter {
    bool byPress = false;
    std::string referrer;
};

class RecordingWebView : public WKWebView {
public:
    static std::shared_ptr<RecordingWebView> create(std::shared_ptr<WKWebViewConfiguration> configuration = nullptr,
                                                    const CGRect& frame = CGRect(0, 0, 375, 667));

    std::shared_ptr<WKNavigation> loadRequest(const NSURLRequest& request) override;
    std::shared_ptr<WKNavigation> loadHTMLString(const std::string& html, const std::optional<NSURL>& baseURL) override;
    std::shared_ptr<WKNavigation> reload() override;
    void evaluateJavaScript(const std::string& script, JavaScriptCompletion completion = {}) override;
    bool canGoBack() const override;
    bool canGoForward() const override;
    std::shared_ptr<WKNavigation> goBack() override;
    std::shared_ptr<WKNavigation> goForward() override;

    // What native code did.
    std::vector<std::string> evaluatedScripts() const;
    void clearEvaluatedScripts();
    struct Load {
        std::shared_ptr<WKNavigation> navigation;
        std::optional<NSURLRequest> request;  // loadRequest
        std::string html;                     // loadHTMLString
        std::optional<NSURL> baseURL;
    };
    const std::vector<Load>& loads() const { return loads_; }

    // Every policy decision asked, with its answer (unset until answered).
    struct Decision {
        std::string url;
        WKNavigationType type;
        std::optional<WKNavigationActionPolicy> policy;
    };
    std::vector<Decision> decisions() const;
    // The pages allowed so far, oldest first, and the index of the current
    // one (-1 before the first).
    std::vector<std::string> history() const;
    int historyIndex() const;
    // The current page's address ("" before the first).
    std::string currentURL() const;
    // The current page's (the test acts as the engine committing it).
    std::optional<NSURL> committedURL() const override;

    // Acting as the page.
    void postMessage(const std::string& channel, const Value& body);
    using Starter = NavigationStarter;
    // A link activated in the page (a redirect too: the engine asks again
    // for the new address); the returned navigation names it (nullptr for an
    // address that is no URL).
    std::shared_ptr<WKNavigation> followLink(const std::string& url, const Starter& starter = {});
    // The page opening a window of its own (window.open): only the decision
    // is asked, no window opens. False for an address that is no URL.
    bool openWindow(const std::string& url, const Starter& starter = {});
    std::shared_ptr<RecordingURLSchemeTask> startSchemeTask(const NSURLRequest& request);
    void stopSchemeTask(const std::shared_ptr<RecordingURLSchemeTask>& task);

    // Acting as the player: a press on the web view (lastPress()), by
    // default a click in an inner frame; one that reaches the top page may
    // find an inner frame holding the focus.
    void press(WKPress::Device device = WKPress::Device::Pointer, bool reachesTopPage = false,
               bool innerFrameHadFocus = false) {
        didReceivePress(device);
        if (reachesTopPage) topPageHeardPress(innerFrameHadFocus);
    }

    // Acting as the engine.
    using WKWebView::didCommitNavigation;
    using WKWebView::didFailNavigation;
    using WKWebView::didFailProvisionalNavigation;
    using WKWebView::didFinishNavigation;
    using WKWebView::didStartProvisionalNavigation;
    using WKWebView::webContentProcessDidTerminate;

private:
    using WKWebView::WKWebView;
    // Asks the delegate; an allowed navigation runs `commit` (under no lock).
    void navigate(const WKNavigationAction& action, std::function<void()> commit);
    void push(const std::string& url);
    std::shared_ptr<WKNavigation> step(int delta);

    mutable std::mutex mutex_;
    std::vector<std::string> scripts_;
    std::vector<Load> loads_;
    std::vector<Decision> decisions_;
    std::vector<std::string> history_;
    int index_ = -1;
};
