#pragma once
// A web view without an engine for unit tests of plug-ins and hosts: it
// records what native code asks of the page (evaluated scripts, loads) and
// lets a test act as the page (post script messages, request scheme URLs,
// report navigation events). Runs headless.

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

class RecordingWebView : public WKWebView {
public:
    static std::shared_ptr<RecordingWebView> create(std::shared_ptr<WKWebViewConfiguration> configuration = nullptr,
                                                    const CGRect& frame = CGRect(0, 0, 375, 667));

    std::shared_ptr<WKNavigation> loadRequest(const NSURLRequest& request) override;
    std::shared_ptr<WKNavigation> loadHTMLString(const std::string& html, const std::optional<NSURL>& baseURL) override;
    std::shared_ptr<WKNavigation> reload() override;
    void evaluateJavaScript(const std::string& script, JavaScriptCompletion completion = {}) override;

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

    // Acting as the page.
    void postMessage(const std::string& channel, const Value& body);
    std::shared_ptr<RecordingURLSchemeTask> startSchemeTask(const NSURLRequest& request);
    void stopSchemeTask(const std::shared_ptr<RecordingURLSchemeTask>& task);

    // Acting as the engine.
    using WKWebView::didCommitNavigation;
    using WKWebView::didFailNavigation;
    using WKWebView::didFailProvisionalNavigation;
    using WKWebView::didFinishNavigation;
    using WKWebView::didStartProvisionalNavigation;
    using WKWebView::webContentProcessDidTerminate;

private:
    using WKWebView::WKWebView;
    mutable std::mutex mutex_;
    std::vector<std::string> scripts_;
    std::vector<Load> loads_;
};
