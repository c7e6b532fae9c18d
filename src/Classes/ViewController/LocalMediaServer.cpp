#include "Classes/ViewController/LocalMediaServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

#include "Classes/ViewController/ByteRange.h"
#include "Classes/ViewController/MediaRequest.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"

namespace {

// How much of a file one sendfile() call may move: small enough that one
// fast reader never keeps the others waiting long.
constexpr size_t kPiece = 1 << 20;
// A refused connection is read (and dropped) this long after its answer,
// so that closing it does not reset the answer away before it is read.
constexpr auto kLinger = std::chrono::seconds(2);
constexpr size_t kLingerBytes = 1 << 20;

std::string randomPrefix() {
    std::random_device rd;
    std::string out;
    for (int i = 0; i < 4; ++i) out += strings::format("%08x", unsigned(rd()));
    return out;
}

using Headers = std::vector<std::pair<std::string, std::string>>;

std::string head(int status, const char* reason, const Headers& headers) {
    std::string h = strings::format("HTTP/1.1 %d %s\r\n", status, reason);
    for (auto& [k, v] : headers) h += k + ": " + v + "\r\n";
    h += "\r\n";
    return h;
}

}  // namespace

struct LocalMediaServer::Loop {
    using Time = Clock::Monotonic;

    struct Connection {
        enum class State { Head, Answer, Closing };
        int fd = -1;
        State state = State::Head;
        std::string in;         // received, not yet taken as a request
        Time deadline;          // Head: the whole head by then; Closing: the end
        Time lastProgress;      // Answer: when bytes last moved
        std::string out;        // the answer's head (and a short body)
        size_t outSent = 0;
        int file = -1;          // the answer's file, sent from `fileAt`
        off_t fileAt = 0;
        uint64_t fileLeft = 0;
        bool keepAlive = false;
        bool peerDone = false;  // the peer sends nothing more
        size_t dropped = 0;     // Closing: bytes read and dropped

        ~Connection() {
            if (file >= 0) ::close(file);
            if (fd >= 0) ::close(fd);
        }
    };

    LocalMediaServer& server;
    std::vector<std::unique_ptr<Connection>> connections;  // oldest first

    explicit Loop(LocalMediaServer& s) : server(s) {}

    Time now() const { return Clock::current().now(); }

    void run() {
        // A peer gone mid-answer must not end the process (sendfile has no
        // MSG_NOSIGNAL); a blocked SIGPIPE stays pending on this thread only.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        while (!server.stopping_.load()) turn();
        connections.clear();
        server.open_.store(0);
    }

    void turn() {
        Time t = now();
        expire(t);
        bool accepting = connections.size() < server.limits_.maxConnections || evictable(t) != connections.end();
        std::vector<pollfd> fds;
        fds.push_back({server.wakeFd_, POLLIN, 0});
        fds.push_back({accepting ? server.listenFd_ : -1, POLLIN, 0});
        for (auto& c : connections)
            fds.push_back({c->fd, short(c->state == Connection::State::Answer ? POLLOUT : POLLIN), 0});
        if (::poll(fds.data(), fds.size(), timeoutMs(t)) < 0) return;
        if (fds[0].revents) drainWake();
        // Connections first: serving one may close it, so walk a copy of the pointers.
        std::vector<Connection*> ready;
        for (size_t i = 2; i < fds.size(); ++i)
            if (fds[i].revents) ready.push_back(connections[i - 2].get());
        for (Connection* c : ready) serve(*c, now());
        std::erase_if(connections, [](const auto& c) { return c->fd < 0; });
        if (fds[1].revents) acceptAll();
        server.open_.store(connections.size());
    }

    int timeoutMs(Time t) const {
        std::optional<Time> next;
        for (auto& c : connections)
            if (c->state != Connection::State::Answer && (!next || c->deadline < *next)) next = c->deadline;
        if (!next) return -1;
        auto ms = std::chrono::ceil<std::chrono::milliseconds>(*next - t).count();
        return int(std::clamp<long long>(ms, 0, 60'000));
    }

    void drainWake() {
        uint64_t n;
        while (::read(server.wakeFd_, &n, sizeof n) > 0) {
        }
    }

    // Head and linger deadlines; an answer has none (a paused player may
    // leave one unread for minutes).
    void expire(Time t) {
        std::erase_if(connections, [&](const auto& c) {
            return c->state != Connection::State::Answer && t >= c->deadline;
        });
    }

    // The connection that may be closed to make room, or end().
    std::vector<std::unique_ptr<Connection>>::iterator evictable(Time t) {
        auto waiting = std::find_if(connections.begin(), connections.end(),
                                    [](const auto& c) { return c->state != Connection::State::Answer; });
        if (waiting != connections.end()) return waiting;
        auto stalled = std::min_element(connections.begin(), connections.end(),
                                        [](const auto& a, const auto& b) { return a->lastProgress < b->lastProgress; });
        if (stalled != connections.end() && t - (*stalled)->lastProgress >= server.limits_.headDeadline) return stalled;
        return connections.end();
    }

    void acceptAll() {
        while (true) {
            Time t = now();
            if (connections.size() >= server.limits_.maxConnections) {
                auto victim = evictable(t);
                if (victim == connections.end()) return;
                connections.erase(victim);
            }
            int fd = ::accept4(server.listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) return;  // EAGAIN, or out of descriptors: the rest wait
            auto c = std::make_unique<Connection>();
            c->fd = fd;
            c->deadline = t + server.limits_.headDeadline;
            connections.push_back(std::move(c));
        }
    }

    void close(Connection& c) {
        if (c.fd >= 0) ::close(c.fd);
        c.fd = -1;
    }

    void serve(Connection& c, Time t) {
        switch (c.state) {
        case Connection::State::Head:
            receive(c);
            takeRequests(c, t);
            // A peer that stopped sending before a whole request gets none.
            if (c.peerDone && c.state == Connection::State::Head) close(c);
            break;
        case Connection::State::Answer: send(c, t); break;
        case Connection::State::Closing: linger(c); break;
        }
    }

    // Reads what has arrived, never past the head limit.
    void receive(Connection& c) {
        char buffer[4096];
        while (c.in.size() < server.limits_.maxHeadBytes) {
            size_t room = std::min(sizeof buffer, server.limits_.maxHeadBytes - c.in.size());
            ssize_t n = ::recv(c.fd, buffer, room, 0);
            if (n > 0) {
                c.in.append(buffer, size_t(n));
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
            c.peerDone = true;
            return;
        }
    }

    void takeRequests(Connection& c, Time t) {
        if (c.fd < 0) return;
        MediaRequest request;
        size_t consumed = 0;
        switch (readRequestHead(c.in, server.limits_.maxHeadBytes, request, consumed)) {
        case HeadStatus::Incomplete: return;
        case HeadStatus::TooLarge: return refuse(c, 431, "Request Header Fields Too Large", t);
        case HeadStatus::Malformed: return refuse(c, 400, "Bad Request", t);
        case HeadStatus::Complete: break;
        }
        c.in.erase(0, consumed);
        ++server.requests_;
        answer(c, request);
        c.state = Connection::State::Answer;
        c.lastProgress = t;
        send(c, t);
    }

    void refuse(Connection& c, int status, const char* reason, Time t) {
        std::string text = head(status, reason, {{"Content-Length", "0"}, {"Connection", "close"}});
        ::send(c.fd, text.data(), text.size(), MSG_NOSIGNAL);  // a short head: one send, or none
        ::shutdown(c.fd, SHUT_WR);
        c.in.clear();
        c.in.shrink_to_fit();
        c.state = Connection::State::Closing;
        c.deadline = t + kLinger;
    }

    void linger(Connection& c) {
        char buffer[4096];
        while (true) {
            ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
            if (n <= 0 || (c.dropped += size_t(n)) > kLingerBytes) return close(c);
        }
    }

    void send(Connection& c, Time t) {
        while (c.outSent < c.out.size()) {
            ssize_t n = ::send(c.fd, c.out.data() + c.outSent, c.out.size() - c.outSent, MSG_NOSIGNAL);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
            if (n <= 0) return close(c);
            c.outSent += size_t(n);
            c.lastProgress = t;
        }
        while (c.fileLeft > 0) {
            ssize_t n = ::sendfile(c.fd, c.file, &c.fileAt, size_t(std::min<uint64_t>(c.fileLeft, kPiece)));
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
            // A file that shrank or cannot be read: the answer is short, so
            // the connection must end.
            if (n <= 0) return close(c);
            c.fileLeft -= uint64_t(n);
            c.lastProgress = t;
        }
        finishAnswer(c, t);
    }

    void finishAnswer(Connection& c, Time t) {
        if (c.file >= 0) ::close(c.file);
        c.file = -1;
        c.out.clear();
        c.outSent = 0;
        if (!c.keepAlive) return close(c);
        c.state = Connection::State::Head;
        c.deadline = t + server.limits_.headDeadline;
        if (!c.in.empty()) takeRequests(c, t);  // a request sent before this answer ended
        if (c.peerDone && c.state == Connection::State::Head) close(c);
    }

    void answer(Connection& c, const MediaRequest& r);
    std::string allowedOrigin() const {
        std::lock_guard lock(server.originMutex_);
        return server.allowedOrigin_;
    }
};

// Prepares the answer to one request: its head in `out`, and the part of
// the file to send after it.
void LocalMediaServer::Loop::answer(Connection& c, const MediaRequest& r) {
    c.keepAlive = r.keepsAlive() && !r.hasBody();
    Headers common = {{"Cache-Control", "no-store"}, {"Accept-Ranges", "bytes"}};
    std::string origin = r.header("Origin");
    if (!origin.empty() && origin == allowedOrigin()) {
        common.emplace_back("Access-Control-Allow-Origin", origin);
        common.emplace_back("Vary", "Origin");
    }
    auto fail = [&](int status, const char* reason, Headers h = {}) {
        h.insert(h.begin(), common.begin(), common.end());
        h.emplace_back("Content-Length", "0");
        c.out = head(status, reason, h);
    };
    if (r.method != "GET" && r.method != "HEAD") return fail(405, "Method Not Allowed");

    // /<prefix>/<path>[?query]: the path is percent-decoded and confined to Data.
    std::string target = r.target.substr(0, r.target.find_first_of("?#"));
    std::string start = "/" + server.prefix_ + "/";
    if (!strings::hasPrefix(target, start)) return fail(404, "Not Found");
    std::string urlPath = "/" + strings::percentDecode(target.substr(start.size()));
    auto file = files::confine(server.dataFolder_, urlPath);
    if (!file || !files::isRegularFile(*file)) return fail(404, "Not Found");

    int fd = ::open(file->c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0) ::close(fd);
        return fail(404, "Not Found");
    }
    uint64_t size = uint64_t(st.st_size), from = 0, length = size;
    int status = 200;
    Headers h = common;
    h.emplace_back("Content-Type", server.mime_ ? server.mime_(urlPath) : "application/octet-stream");
    std::string range = r.header("Range");
    if (!range.empty()) {
        ByteRange br = ByteRange::parse(range, size);
        if (br.kind == ByteRange::Kind::Unsatisfiable) {
            ::close(fd);
            return fail(416, "Range Not Satisfiable", {{"Content-Range", br.contentRange(size)}});
        }
        if (br.kind == ByteRange::Kind::Satisfiable) {
            status = 206;
            from = br.start;
            length = br.length();
            h.emplace_back("Content-Range", br.contentRange(size));
        }
        // A malformed header is ignored: the whole file.
    }
    h.emplace_back("Content-Length", std::to_string(length));
    c.out = head(status, status == 206 ? "Partial Content" : "OK", h);
    if (r.method == "HEAD" || length == 0) {
        ::close(fd);
        return;
    }
    c.file = fd;
    c.fileAt = off_t(from);
    c.fileLeft = length;
}

LocalMediaServer::LocalMediaServer(std::filesystem::path dataFolder, MimeLookup mime)
    : LocalMediaServer(std::move(dataFolder), std::move(mime), Limits()) {}

LocalMediaServer::LocalMediaServer(std::filesystem::path dataFolder, MimeLookup mime, Limits limits)
    : dataFolder_(std::move(dataFolder)), mime_(std::move(mime)), limits_(limits), prefix_(randomPrefix()) {}

LocalMediaServer::~LocalMediaServer() { stop(); }

bool LocalMediaServer::start() {
    if (thread_.joinable()) return true;
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bool ok = listenFd_ >= 0 && ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              ::listen(listenFd_, 128) == 0 &&
              ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    if (ok) wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (!ok || wakeFd_ < 0) {
        NSLog("media server: cannot listen on the loopback address (%s)", strerror(errno));
        if (listenFd_ >= 0) ::close(listenFd_);
        listenFd_ = -1;
        return false;
    }
    port_ = ntohs(address.sin_port);
    baseURL_ = strings::format("http://127.0.0.1:%d/%s/", port_, prefix_.c_str());
    stopping_.store(false);
    thread_ = std::thread([this] { Loop(*this).run(); });
    return true;
}

void LocalMediaServer::stop() {
    if (!thread_.joinable()) return;
    stopping_.store(true);
    wake();
    thread_.join();
    ::close(listenFd_);
    ::close(wakeFd_);
    listenFd_ = wakeFd_ = -1;
}

void LocalMediaServer::wake() {
    if (wakeFd_ < 0) return;
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void LocalMediaServer::setAllowedOrigin(const std::string& origin) {
    std::lock_guard lock(originMutex_);
    allowedOrigin_ = origin;
}
