#pragma once
// Streaming loads: a URLConnection hands its delegate the response, then
// the body piece by piece as it arrives, then the end, all on one
// NetworkThread that runs every connection given to it (curl multi, one
// thread however many loads) and any block performed on it.
//
// - http(s) goes through the shared curl set-up (CurlSetup.h); file URLs
//   are read on the same thread in pieces, with the file's size as the
//   expected length and status 0. Other schemes fail as unsupported.
// - Delegate calls come on the network thread, in this order: one
//   response, any number of data pieces, then exactly one of finish or
//   failure. Failures carry the codes of the one table (urlerror::codeFor).
// - The request's time-out is a silence limit: no byte for that long fails
//   with NSURLErrorTimedOut (real time, as for any socket). A connection
//   may also have a deadline for the whole load (Options::deadline), which
//   fails the same way however steadily the bytes drip.
// - A body larger than the connection's cap is cut off there: failure
//   NSURLErrorDataLengthExceedsMaximum. Content-Length is only a hint.
// - cancel() may come from any thread. Once it returns, no delegate call
//   is made, nor still running (a call in progress on another thread is
//   waited for, so never cancel while holding a lock the delegate takes);
//   a cancel from inside a delegate call ends the connection after it.
// - The delegate is held weakly: when it is gone the connection cancels
//   itself.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/foundation/Error.h"
#include "platform/net/URLSession.h"

class URLConnection;

class URLConnectionDelegate {
public:
    virtual ~URLConnectionDelegate() = default;
    virtual void connection_didReceiveResponse(URLConnection& connection, const HTTPURLResponse& response) {}
    virtual void connection_didReceiveData(URLConnection& connection, std::string_view data) {}
    virtual void connectionDidFinishLoading(URLConnection& connection) {}
    virtual void connection_didFailWithError(URLConnection& connection, const Error& error) {}
};

class NetworkThread {
public:
    // Starts the thread, named `label` (the system's name; the kernel keeps
    // its first 15 bytes). Its connections use `configuration`'s
    // time-outs, extra CA file and user agent.
    explicit NetworkThread(std::string label,
                           URLSessionConfiguration configuration = URLSessionConfiguration::defaultConfiguration());
    // Cancels what still runs (no delegate hears of it again) and joins.
    ~NetworkThread();
    NetworkThread(const NetworkThread&) = delete;
    NetworkThread& operator=(const NetworkThread&) = delete;

    // Runs `block` on the thread, after the blocks performed before it.
    // Blocks still queued when the thread ends are dropped.
    void perform(std::function<void()> block);
    bool isCurrent() const;
    const std::string& label() const;
    // Connections started and not yet ended.
    size_t connectionCount() const;

    struct Impl;

private:
    friend class URLConnection;
    std::shared_ptr<Impl> impl_;
};

class URLConnection : public std::enable_shared_from_this<URLConnection> {
public:
    struct Options {
        size_t maxBodyBytes = 64u << 20;
        bool trustAnyServerCertificate = false;  // TLS unverified: for a caller that chose it
        // A PEM file of further trusted CAs for this load, in place of the
        // thread's configured one ("" keeps the thread's).
        std::string extraCAFile;
        // The whole load's limit, from its start (0: none).
        std::chrono::milliseconds deadline{0};
    };

    // Starts loading at once (the first delegate call comes later, on the thread).
    static std::shared_ptr<URLConnection> start(NetworkThread& thread, URLRequest request,
                                                std::weak_ptr<URLConnectionDelegate> delegate, Options options);
    static std::shared_ptr<URLConnection> start(NetworkThread& thread, URLRequest request,
                                                std::weak_ptr<URLConnectionDelegate> delegate) {
        return start(thread, std::move(request), std::move(delegate), Options());
    }

    void cancel();
    bool isCancelled() const { return cancelled_.load(); }
    const URLRequest& request() const { return request_; }

    ~URLConnection();
    struct Transfer;  // the network thread's side of it

    URLConnection(URLRequest request, std::weak_ptr<URLConnectionDelegate> delegate, Options options);

private:
    friend struct NetworkThread::Impl;
    // Calls the delegate unless cancelled; false when the connection is
    // (now) cancelled. Network thread only.
    bool deliver(const std::function<void(URLConnectionDelegate&)>& call);

    URLRequest request_;
    Options options_;
    std::weak_ptr<URLConnectionDelegate> delegate_;
    std::weak_ptr<NetworkThread::Impl> thread_;
    // Held around each delegate call and by cancel(): cancel waits for a
    // call in progress (recursive: a delegate may cancel from its call).
    std::recursive_mutex deliveryMutex_;
    std::atomic<bool> cancelled_{false};
    std::unique_ptr<Transfer> transfer_;  // network thread only
};
