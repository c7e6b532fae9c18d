#include "platform/foundation/PlatformLog.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <climits>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/foundation/Strings.h"

namespace PlatformLog {

namespace {

std::atomic<uint64_t> gDropped{0};
std::atomic<bool> gStderr{true};

struct State {
    std::mutex mutex;
    std::string identifier;
    Sink sink = Sink::None;
    int fd = -1;

    State() {
        // A closed standard error must never end the process.
        signal(SIGPIPE, SIG_IGN);
        char exe[512];
        ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
        if (n > 0) {
            exe[n] = 0;
            const char* slash = strrchr(exe, '/');
            identifier = slash ? slash + 1 : exe;
        } else {
            identifier = "korvel";
        }
        if (tryConnect("/run/systemd/journal/socket")) sink = Sink::Journal;
        else if (tryConnect("/dev/log")) sink = Sink::Syslog;
    }

    bool tryConnect(const char* path) {
        if (access(path, W_OK) != 0) return false;
        int s = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (s < 0) return false;
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        strncpy(a.sun_path, path, sizeof a.sun_path - 1);
        if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            close(s);
            return false;
        }
        fd = s;
        return true;
    }
};

State& state() {
    static State* s = new State();
    return *s;
}

// Writes without ever blocking the caller. Regular files and devices other
// than terminals take the write as it is; sockets get MSG_DONTWAIT; pipes
// and terminals are polled for room and written in pieces that a pipe with
// room takes whole. What cannot go out at once is dropped: false.
bool writeWithoutBlocking(int fd, std::string_view data) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return false;
    size_t off = 0;
    if (S_ISSOCK(st.st_mode)) {
        while (off < data.size()) {
            ssize_t n = send(fd, data.data() + off, data.size() - off, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            off += size_t(n);
        }
        return true;
    }
    bool isTerminal = S_ISCHR(st.st_mode) && isatty(fd);
    if (!S_ISFIFO(st.st_mode) && !isTerminal) {
        while (off < data.size()) {
            ssize_t n = ::write(fd, data.data() + off, data.size() - off);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            off += size_t(n);
        }
        return true;
    }
    const size_t piece = isTerminal ? 512 : PIPE_BUF;
    while (off < data.size()) {
        pollfd p{fd, POLLOUT, 0};
        int r = poll(&p, 1, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0 || !(p.revents & POLLOUT) || (p.revents & (POLLERR | POLLHUP))) return false;
        ssize_t n = ::write(fd, data.data() + off, std::min(piece, data.size() - off));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        off += size_t(n);
    }
    return true;
}

std::string stderrLine(std::string_view message, const std::string& ident) {
    struct timeval tv {};
    gettimeofday(&tv, nullptr);
    struct tm tm {};
    localtime_r(&tv.tv_sec, &tm);
    char ts[64];
    strftime(ts, sizeof ts, "%Y-%m-%d %H:%M:%S", &tm);
    std::string line = strings::format("%s.%03d %s[%d:%ld] ", ts, int(tv.tv_usec / 1000), ident.c_str(), int(getpid()),
                                       long(syscall(SYS_gettid)));
    line.append(message);
    if (line.empty() || line.back() != '\n') line += '\n';
    return line;
}

// Journal native protocol: "KEY=value\n" per field; a value holding a line
// break is sent as "KEY\n", its length as 64-bit little endian, the bytes, "\n".
void appendField(std::string& out, std::string_view key, std::string_view value) {
    if (value.find('\n') == std::string_view::npos) {
        out.append(key).append("=").append(value).append("\n");
        return;
    }
    out.append(key).append("\n");
    uint64_t n = value.size();
    for (int i = 0; i < 8; ++i) out += char((n >> (8 * i)) & 0xFF);
    out.append(value).append("\n");
}

std::string resolveIdentifier(State& s, std::string_view ident) {
    std::lock_guard lock(s.mutex);
    return ident.empty() ? s.identifier : std::string(ident);
}

bool sendToSystem(State& s, Priority priority, std::string_view message, const std::string& id,
                  std::string_view fields) {
    Sink sink;
    {
        std::lock_guard lock(s.mutex);
        sink = s.sink;
    }
    if (sink == Sink::None) return false;
    std::string packet;
    if (sink == Sink::Journal) {
        appendField(packet, "MESSAGE", message);
        appendField(packet, "PRIORITY", std::to_string(int(priority)));
        appendField(packet, "SYSLOG_IDENTIFIER", id);
        packet.append(fields);
        if (!fields.empty() && fields.back() != '\n') packet += '\n';
    } else {
        time_t now = time(nullptr);
        struct tm tm {};
        localtime_r(&now, &tm);
        char ts[32];
        strftime(ts, sizeof ts, "%b %e %H:%M:%S", &tm);
        // facility user (1) * 8 + severity
        packet = strings::format("<%d>%s %s[%d]: ", 8 + int(priority), ts, id.c_str(), int(getpid()));
        packet.append(message);
    }
    // The send never blocks, so it is made under the lock: the socket cannot
    // be closed (and its number reused) under it by a reconnect.
    std::lock_guard lock(s.mutex);
    if (s.sink != sink) {
        gDropped.fetch_add(1, std::memory_order_relaxed);
        return true;
    }
    ssize_t n = send(s.fd, packet.data(), packet.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0) gDropped.fetch_add(1, std::memory_order_relaxed);
    return true;
}

}  // namespace

void write(Priority priority, std::string_view message, std::string_view ident, std::string_view fields) {
    State& s = state();
    std::string id = resolveIdentifier(s, ident);
    if (gStderr.load(std::memory_order_relaxed)) {
        if (!writeWithoutBlocking(STDERR_FILENO, stderrLine(message, id)))
            gDropped.fetch_add(1, std::memory_order_relaxed);
    }
    sendToSystem(s, priority, message, id, fields);
}

bool writeToSystemLog(Priority priority, std::string_view message, std::string_view ident, std::string_view fields) {
    State& s = state();
    return sendToSystem(s, priority, message, resolveIdentifier(s, ident), fields);
}

bool writeToStderr(std::string_view message, std::string_view ident) {
    State& s = state();
    bool ok = writeWithoutBlocking(STDERR_FILENO, stderrLine(message, resolveIdentifier(s, ident)));
    if (!ok) gDropped.fetch_add(1, std::memory_order_relaxed);
    return ok;
}

bool writeRawToStderr(std::string_view bytes) {
    bool ok = writeWithoutBlocking(STDERR_FILENO, bytes);
    if (!ok) gDropped.fetch_add(1, std::memory_order_relaxed);
    return ok;
}

bool connectSystemSink(Sink sink, const std::string& socketPath) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.fd >= 0) close(s.fd);
    s.fd = -1;
    s.sink = Sink::None;
    if (sink == Sink::None) return true;
    if (!s.tryConnect(socketPath.c_str())) return false;
    s.sink = sink;
    return true;
}

void setIdentifier(const std::string& identifier) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.identifier = identifier;
}

std::string identifier() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.identifier;
}

void setStderrEnabled(bool enabled) { gStderr.store(enabled); }
Sink systemSink() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.sink;
}
uint64_t droppedCount() { return gDropped.load(); }

}  // namespace PlatformLog

void NSLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string msg = strings::vformat(format, args);
    va_end(args);
    PlatformLog::write(PlatformLog::Priority::Notice, msg);
}
