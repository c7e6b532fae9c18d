#pragma once
// A loopback server on plain sockets, for replies that no HTTP library
// writes: any bytes as the whole reply (a broken status line, headers that
// contradict each other or the body, a body longer than announced), then
// the connection is closed or held open until the server stops.
//
// Each connection carries one request: its head is read (up to 64 KiB),
// recorded in the journal, and answered with the bytes scripted for its
// path, or a 404 when nothing is scripted.

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "standin/StandinServer.h"

namespace standin {

class RawServer {
public:
    explicit RawServer(std::string name = "raw", std::shared_ptr<Journal> journal = nullptr);
    ~RawServer();
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    // Every request of `path` is answered with `bytes`; with `holdOpen`
    // the connection then stays open until the server stops.
    void script(const std::string& path, std::string bytes, bool holdOpen = false);

    // On 127.0.0.1, a free port.
    bool start();
    void stop();
    int port() const { return port_; }
    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }
    Journal& journal() { return *journal_; }

private:
    struct Script {
        std::string bytes;
        bool holdOpen = false;
    };
    void acceptLoop();
    void serve(int fd);
    Script scriptFor(const std::string& path);

    std::string name_;
    std::shared_ptr<Journal> journal_;
    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    int port_ = 0;
    std::thread acceptThread_;

    std::mutex mutex_;  // guards everything below
    std::condition_variable stopCv_;
    bool stopping_ = false;
    std::map<std::string, Script> scripts_;
    std::vector<std::thread> connections_;
};

}  // namespace standin
