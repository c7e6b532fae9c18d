#pragma once
// Media from the "local" scheme. The engine's media player loads only
// protocols it knows (http, https, file, blob, ...) and refuses a custom
// scheme before any request reaches the scheme handler, so <video> and
// <audio> with a local:// source need another road.
//
// The road: this server, on the loopback address only, at a port and under
// a random path prefix chosen anew at each launch, serves the same Data
// folder with the same confinement as the scheme, with byte ranges for
// every file, streamed straight from the file (a 200 MB video is never held
// in memory), and never cached by the engine. The page's media elements are
// pointed at it by a user script (mediaScript) in the game's top frame,
// whatever way the page sets their source; every other request keeps using
// the scheme. Only the game's own origin may read its answers from script
// (CORS); media elements need no such permission.
//
// Any local process can connect, so the server holds up under abuse: one
// thread serves every connection without blocking on any of them; at most
// `maxConnections` are open (when full, the oldest one still waiting for a
// request, or one whose answer has not moved for a whole head deadline,
// makes room; otherwise new ones wait in the kernel's queue); a request head
// longer than `maxHeadBytes` is answered 431 and the connection closed; a
// head not whole within `headDeadline` of the connection opening (or of the
// previous answer ending) closes it, however slowly its bytes trickle in.
// Deadlines follow the replaceable clock.
//
// Why not blob URLs: the page would wait for a whole fetch before the
// element could start, and memory would grow with the file.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/dispatch/Clock.h"

class LocalMediaServer {
public:
    using MimeLookup = std::function<std::string(const std::string& urlPath)>;

    struct Limits {
        size_t maxConnections = 128;
        size_t maxHeadBytes = 16 << 10;
        Clock::Duration headDeadline = std::chrono::seconds(10);
    };

    LocalMediaServer(std::filesystem::path dataFolder, MimeLookup mime);
    LocalMediaServer(std::filesystem::path dataFolder, MimeLookup mime, Limits limits);
    ~LocalMediaServer();
    LocalMediaServer(const LocalMediaServer&) = delete;
    LocalMediaServer& operator=(const LocalMediaServer&) = delete;

    // Binds 127.0.0.1 on a free port; false when it cannot.
    bool start();
    void stop();
    // "http://127.0.0.1:<port>/<prefix>/", or "" before start().
    const std::string& baseURL() const { return baseURL_; }
    int port() const { return port_; }

    // The origin ("scheme://host[:port]") whose pages may read answers from
    // script; no other origin gets CORS headers. Any thread.
    void setAllowedOrigin(const std::string& origin);

    // The user script that sends local:// sources of media elements here.
    std::string mediaScript() const;

    size_t requestCount() const { return requests_.load(); }
    size_t openConnections() const { return open_.load(); }
    // Looks at the deadlines again now (after a test clock moved).
    void wake();

    struct Loop;

private:
    std::filesystem::path dataFolder_;
    MimeLookup mime_;
    Limits limits_;
    std::string prefix_;
    std::string baseURL_;
    int port_ = 0;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<size_t> requests_{0};
    std::atomic<size_t> open_{0};
    mutable std::mutex originMutex_;
    std::string allowedOrigin_;  // guarded by originMutex_
    std::thread thread_;
};
