#pragma once
// Custom URL schemes: a web view hands each request of a registered scheme
// to its handler as a task; the handler answers with a response, data in
// as many pieces as it likes, and an end (or an error).
//
// A task may be answered from any thread. Once the web view has stopped a
// task (the engine dropped the answer's stream before its end), every
// further call on it is ignored, and isStopped() tells a long reader to
// give up early. The engine reads an answer it has begun to its end even
// when the page no longer wants it; backpressure keeps that in bounds.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"
#include "platform/web/NSURLRequest.h"

class WKWebView;

class WKURLSchemeTask {
public:
    virtual ~WKURLSchemeTask() = default;

    virtual const NSURLRequest& request() const = 0;

    virtual void didReceiveResponse(const NSHTTPURLResponse& response) = 0;
    // A data piece. Off the main thread this may wait while the web view has
    // not yet taken earlier pieces, so a large answer never piles up in memory.
    virtual void didReceiveData(const uint8_t* bytes, size_t length) = 0;
    void didReceiveData(const Data& data) { didReceiveData(data.data(), data.size()); }
    virtual void didFinish() = 0;
    // Before a response: the request fails with this error. After one: the
    // load fails (the page never sees a short answer as complete).
    virtual void didFailWithError(const Error& error) = 0;

    virtual bool isStopped() const = 0;
};

class WKURLSchemeHandler {
public:
    virtual ~WKURLSchemeHandler() = default;
    virtual void webView_startURLSchemeTask(WKWebView& webView, const std::shared_ptr<WKURLSchemeTask>& task) = 0;
    virtual void webView_stopURLSchemeTask(WKWebView& webView, const std::shared_ptr<WKURLSchemeTask>& task) = 0;
};
