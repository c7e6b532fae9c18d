#include "platform/web/RecordingWebView.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"

void RecordingURLSchemeTask::didReceiveResponse(const NSHTTPURLResponse& response) {
    std::lock_guard lock(mutex_);
    if (response_ || finished_ || error_ || stopped_) {
        ++callsAfterEnd_;
        return;
    }
    response_ = response;
}

void RecordingURLSchemeTask::didReceiveData(const uint8_t* bytes, size_t length) {
    std::lock_guard lock(mutex_);
    if (!response_ || finished_ || error_ || stopped_) {
        ++callsAfterEnd_;
        return;
    }
    body_.append(reinterpret_cast<const char*>(bytes), length);
    ++dataCalls_;
    largestPiece_ = std::max(largestPiece_, length);
}

void RecordingURLSchemeTask::didFinish() {
    std::lock_guard lock(mutex_);
    if (finished_ || error_ || stopped_) {
        ++callsAfterEnd_;
        return;
    }
    finished_ = true;
}

void RecordingURLSchemeTask::didFailWithError(const Error& error) {
    std::lock_guard lock(mutex_);
    if (finished_ || error_ || stopped_) {
        ++callsAfterEnd_;
        return;
    }
    error_ = error;
}

bool RecordingURLSchemeTask::isStopped() const {
    std::lock_guard lock(mutex_);
    return stopped_;
}

void RecordingURLSchemeTask::stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
}

bool RecordingURLSchemeTask::isComplete() const {
    std::lock_guard lock(mutex_);
    return finished_ || error_.has_value();
}

bool RecordingURLSchemeTask::waitUntilComplete(std::chrono::milliseconds timeout) const {
    return RunLoop::runUntil([this] { return isComplete(); }, timeout);
}

std::optional<NSHTTPURLResponse> RecordingURLSchemeTask::response() const {
    std::lock_guard lock(mutex_);
    return response_;
}
std::string RecordingURLSchemeTask::body() const {
    std::lock_guard lock(mutex_);
    return body_;
}
size_t RecordingURLSchemeTask::dataCalls() const {
    std::lock_guard lock(mutex_);
    return dataCalls_;
}
size_t RecordingURLSchemeTask::largestPiece() const {
    std::lock_guard lock(mutex_);
    return largestPiece_;
}
bool RecordingURLSchemeTask::finished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}
std::optional<Error> RecordingURLSchemeTask::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}
int RecordingURLSchemeTask::callsAfterEnd() const {
    std::lock_guard lock(mutex_);
    return callsAfterEnd_;
}

std::shared_ptr<RecordingWebView> RecordingWebView::create(std::shared_ptr<WKWebViewConfiguration> configuration,
                                                           const CGRect& frame) {
    auto v = std::shared_ptr<RecordingWebView>(new RecordingWebView(frame, std::move(configuration), NoEngine{}));
    return v;
}

namespace {
NSURLRequest requestFor(const std::string& url) {
    return NSURLRequest::requestWithURL(NSURL::URLWithString(url).value_or(NSURL()));
}
}  // namespace

void RecordingWebView::navigate(const WKNavigationAction& action, std::function<void()> commit) {
    const std::string& url = action.request.URL.absoluteString();
    size_t at;
    {
        std::lock_guard lock(mutex_);
        at = decisions_.size();
        decisions_.push_back(Decision{url, action.navigationType, std::nullopt});
    }
    std::weak_ptr<RecordingWebView> weak = std::static_pointer_cast<RecordingWebView>(shared_from_this());
    decidePolicy(action, [weak, at, commit](WKNavigationActionPolicy policy) {
        auto self = weak.lock();
        if (!self) return;
        {
            std::lock_guard lock(self->mutex_);
            self->decisions_[at].policy = policy;
        }
        if (policy == WKNavigationActionPolicy::Allow && commit) commit();
    });
}

void RecordingWebView::push(const std::string& url) {
    std::lock_guard lock(mutex_);
    history_.resize(size_t(index_ + 1));
    history_.push_back(url);
    index_ = int(history_.size()) - 1;
}

std::shared_ptr<WKNavigation> RecordingWebView::loadRequest(const NSURLRequest& request) {
    std::string url = request.URL.absoluteString();
    auto nav = std::make_shared<WKNavigation>(url);
    {
        std::lock_guard lock(mutex_);
        loads_.push_back(Load{nav, request, "", std::nullopt});
    }
    std::weak_ptr<RecordingWebView> weak = std::static_pointer_cast<RecordingWebView>(shared_from_this());
    navigate(WKNavigationAction{request, WKNavigationType::Other, false, true}, [weak, url] {
        if (auto self = weak.lock()) self->push(url);
    });
    return nav;
}

std::shared_ptr<WKNavigation> RecordingWebView::loadHTMLString(const std::string& html, const std::optional<NSURL>& baseURL) {
    std::string url = baseURL ? baseURL->absoluteString() : "about:blank";
    auto nav = std::make_shared<WKNavigation>(url);
    {
        std::lock_guard lock(mutex_);
        loads_.push_back(Load{nav, std::nullopt, html, baseURL});
    }
    std::weak_ptr<RecordingWebView> weak = std::static_pointer_cast<RecordingWebView>(shared_from_this());
    navigate(WKNavigationAction{requestFor(url), WKNavigationType::Other, false, true}, [weak, url] {
        if (auto self = weak.lock()) self->push(url);
    });
    return nav;
}

namespace {
WKNavigationAction startedBy(const RecordingWebView::Starter& starter, const NSURL& url, WKNavigationType type) {
    WKNavigationAction action{NSURLRequest::requestWithURL(url), type};
    action.userGesture = starter.byPress;
    if (!starter.referrer.empty()) action.request.setValue(starter.referrer, "Referer");
    return action;
}
}  // namespace

std::shared_ptr<WKNavigation> RecordingWebView::followLink(const std::string& url, const Starter& starter) {
    auto parsed = NSURL::URLWithString(url);
    if (!parsed) return nullptr;
    auto nav = std::make_shared<WKNavigation>(url);
    std::weak_ptr<RecordingWebView> weak = std::static_pointer_cast<RecordingWebView>(shared_from_this());
    navigate(startedBy(starter, *parsed, WKNavigationType::LinkActivated), [weak, url] {
        if (auto self = weak.lock()) self->push(url);
    });
    return nav;
}

bool RecordingWebView::openWindow(const std::string& url, const Starter& starter) {
    auto parsed = NSURL::URLWithString(url);
    if (!parsed) return false;
    WKNavigationAction action = startedBy(starter, *parsed, WKNavigationType::Other);
    action.targetsNewWindow = true;
    navigate(action, nullptr);
    return true;
}

bool RecordingWebView::canGoBack() const {
    std::lock_guard lock(mutex_);
    return index_ > 0;
}

bool RecordingWebView::canGoForward() const {
    std::lock_guard lock(mutex_);
    return index_ + 1 < int(history_.size());
}

std::shared_ptr<WKNavigation> RecordingWebView::goBack() { return step(-1); }
std::shared_ptr<WKNavigation> RecordingWebView::goForward() { return step(1); }

std::shared_ptr<WKNavigation> RecordingWebView::step(int delta) {
    std::string url;
    {
        std::lock_guard lock(mutex_);
        int to = index_ + delta;
        if (index_ < 0 || to < 0 || to >= int(history_.size())) return nullptr;
        url = history_[size_t(to)];
    }
    std::weak_ptr<RecordingWebView> weak = std::static_pointer_cast<RecordingWebView>(shared_from_this());
    navigate(WKNavigationAction{requestFor(url), WKNavigationType::BackForward, false, true}, [weak, delta] {
        auto self = weak.lock();
        if (!self) return;
        std::lock_guard lock(self->mutex_);
        int to = self->index_ + delta;
        if (to >= 0 && to < int(self->history_.size())) self->index_ = to;
    });
    return std::make_shared<WKNavigation>(url);
}

std::vector<RecordingWebView::Decision> RecordingWebView::decisions() const {
    std::lock_guard lock(mutex_);
    return decisions_;
}

std::vector<std::string> RecordingWebView::history() const {
    std::lock_guard lock(mutex_);
    return history_;
}

int RecordingWebView::historyIndex() const {
    std::lock_guard lock(mutex_);
    return index_;
}

std::string RecordingWebView::currentURL() const {
    std::lock_guard lock(mutex_);
    return index_ >= 0 ? history_[size_t(index_)] : "";
}

std::shared_ptr<WKNavigation> RecordingWebView::reload() {
    std::lock_guard lock(mutex_);
    if (loads_.empty()) return std::make_shared<WKNavigation>("");
    Load again = loads_.back();
    again.navigation = std::make_shared<WKNavigation>(again.navigation->url());
    loads_.push_back(again);
    return again.navigation;
}

void RecordingWebView::evaluateJavaScript(const std::string& script, JavaScriptCompletion completion) {
    {
        std::lock_guard lock(mutex_);
        scripts_.push_back(script);
    }
    if (completion) completion(Value(), nullptr);
}

std::vector<std::string> RecordingWebView::evaluatedScripts() const {
    std::lock_guard lock(mutex_);
    return scripts_;
}

void RecordingWebView::clearEvaluatedScripts() {
    std::lock_guard lock(mutex_);
    scripts_.clear();
}

void RecordingWebView::postMessage(const std::string& channel, const Value& body) {
    configuration_->userContentController()->didReceiveScriptMessage(
        channel, body, std::static_pointer_cast<WKWebView>(shared_from_this()));
}

std::shared_ptr<RecordingURLSchemeTask> RecordingWebView::startSchemeTask(const NSURLRequest& request) {
    auto task = std::make_shared<RecordingURLSchemeTask>(request);
    auto handler = configuration_->urlSchemeHandlerForURLScheme(request.URL.scheme());
    if (!handler) {
        task->didFailWithError(Error(WKErrorDomain, 404));
        return task;
    }
    handler->webView_startURLSchemeTask(*this, task);
    return task;
}

void RecordingWebView::stopSchemeTask(const std::shared_ptr<RecordingURLSchemeTask>& task) {
    task->stop();
    if (auto handler = configuration_->urlSchemeHandlerForURLScheme(task->request().URL.scheme()))
        handler->webView_stopURLSchemeTask(*this, task);
}

std::optional<NSURL> RecordingWebView::committedURL() const {
    std::string url = currentURL();
    if (url.empty()) return std::nullopt;
    return NSURL::URLWithString(url);
}
