#pragma once
// Media from the "local" scheme. The engine's media player loads only
// protocols it knows (http, https, file, blob, ...) and refuses a custom
// scheme before any request reaches the scheme handler, so <video> and
// <audio> with a local:// source need another road.
//
// The road: this server, on the loopback address only, at a port and under
// a random path prefix chosen anew at each launch, serves the same Data
// folder with the same confinement as the scheme, with byte ranges for
// every file, streamed in pieces (a 200 MB video is never held in memory),
// and never cached by the engine. The page's media elements are pointed at
// it by a user script (mediaScript) whatever way the page sets their
// source; every other request keeps using the scheme.
//
// Why not blob URLs: the page would wait for a whole fetch before the
// element could start, and memory would grow with the file.

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/foundation/Value.h"

typedef struct _GMainLoop GMainLoop;

class LocalMediaServer {
public:
    using MimeLookup = std::function<std::string(const std::string& urlPath)>;

    LocalMediaServer(std::filesystem::path dataFolder, MimeLookup mime);
    ~LocalMediaServer();
    LocalMediaServer(const LocalMediaServer&) = delete;
    LocalMediaServer& operator=(const LocalMediaServer&) = delete;

    // Binds 127.0.0.1 on a free port; false when it cannot.
    bool start();
    void stop();
    // "http://127.0.0.1:<port>/<prefix>/", or "" before start().
    const std::string& baseURL() const { return baseURL_; }
    int port() const { return port_; }

    // The user script that sends local:// sources of media elements here.
    std::string mediaScript() const;

    size_t requestCount() const { return state_->requests.load(); }

    // What the connection threads read; they hold it while they run, so a
    // server stopped mid-answer never leaves them with freed state.
    struct State {
        std::filesystem::path dataFolder;
        MimeLookup mime;
        std::string prefix;
        std::atomic<size_t> requests{0};
    };
    struct Connection;

private:
    std::shared_ptr<State> state_;
    std::string baseURL_;
    int port_ = 0;
    std::thread thread_;
    GMainLoop* loop_ = nullptr;
};
