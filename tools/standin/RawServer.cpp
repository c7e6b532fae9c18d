#include "standin/RawServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/foundation/Strings.h"

namespace standin {

namespace {

constexpr size_t kMaxHead = 64 * 1024;
constexpr int kReadTimeoutMs = 5000;

// The request head, up to the blank line; "" when the client sent none.
std::string readHead(int fd) {
    std::string head;
    char buf[4096];
    while (head.size() < kMaxHead && head.find("\r\n\r\n") == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kReadTimeoutMs) <= 0) break;
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        head.append(buf, size_t(n));
    }
    return head;
}

Request parseHead(const std::string& head, const std::string& server) {
    Request r;
    r.server = server;
    auto lines = strings::split(head, "\r\n");
    if (lines.empty()) return r;
    auto parts = strings::split(lines[0], " ");
    if (parts.size() >= 2) {
        r.method = parts[0];
        auto q = parts[1].find('?');
        r.path = parts[1].substr(0, q);
        r.query = q == std::string::npos ? "" : parts[1].substr(q + 1);
    }
    for (size_t i = 1; i < lines.size() && !lines[i].empty(); ++i)
        if (auto colon = lines[i].find(':'); colon != std::string::npos)
            r.headers.emplace_back(strings::trim(lines[i].substr(0, colon)), strings::trim(lines[i].substr(colon + 1)));
    r.rawParams = splitPairs(r.query);
    return r;
}

void writeAll(int fd, const std::string& bytes) {
    for (size_t at = 0; at < bytes.size();) {
        ssize_t n = send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n <= 0) return;
        at += size_t(n);
    }
}

}  // namespace

RawServer::RawServer(std::string name, std::shared_ptr<Journal> journal)
    : name_(std::move(name)), journal_(journal ? std::move(journal) : std::make_shared<Journal>()) {}

RawServer::~RawServer() { stop(); }

void RawServer::script(const std::string& path, std::string bytes, bool holdOpen) {
    std::lock_guard lock(mutex_);
    scripts_[path] = {std::move(bytes), holdOpen};
}

RawServer::Script RawServer::scriptFor(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (auto it = scripts_.find(path); it != scripts_.end()) return it->second;
    return {"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", false};
}

bool RawServer::start() {
    if (listenFd_ >= 0) return true;
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 || listen(listenFd_, 64) != 0 ||
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0 || pipe2(wakePipe_, O_CLOEXEC) != 0) {
        stop();
        return false;
    }
    port_ = ntohs(addr.sin_port);
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return true;
}

void RawServer::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        stopCv_.notify_all();
    }
    if (wakePipe_[1] >= 0) (void)!write(wakePipe_[1], "x", 1);
    if (acceptThread_.joinable()) acceptThread_.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard lock(mutex_);
        connections.swap(connections_);
    }
    for (auto& t : connections) t.join();
    for (int* fd : {&listenFd_, &wakePipe_[0], &wakePipe_[1]}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

void RawServer::acceptLoop() {
    while (true) {
        pollfd p[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        if (poll(p, 2, -1) < 0 || p[1].revents) return;
        int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard lock(mutex_);
        if (stopping_) {
            close(fd);
            return;
        }
        connections_.emplace_back([this, fd] { serve(fd); });
    }
}

void RawServer::serve(int fd) {
    std::string head = readHead(fd);
    JournalEntry entry;
    entry.request = parseHead(head, name_);
    Script script = scriptFor(entry.request.path);
    entry.played = script.holdOpen ? "raw-held" : "raw";
    journal_->append(entry);
    writeAll(fd, script.bytes);
    if (script.holdOpen) {
        std::unique_lock lock(mutex_);
        stopCv_.wait(lock, [&] { return stopping_; });
    }
    shutdown(fd, SHUT_RDWR);
    close(fd);
}

}  // namespace standin
