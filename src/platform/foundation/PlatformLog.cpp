#include "platform/foundation/PlatformLog.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/socket.h>
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
    sockaddr_un addr{};

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
        addr = a;
        return true;
    }
};

State& state() {
    static State* s = new State();
    return *s;
}

void writeAll(int fd, const std::string& line) {
    size_t off = 0;
    while (off < line.size()) {
        ssize_t n = ::write(fd, line.data() + off, line.size() - off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        off += size_t(n);
    }
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

}  // namespace

void write(Priority priority, std::string_view message, std::string_view ident, std::string_view fields) {
    State& s = state();
    std::string id;
    {
        std::lock_guard lock(s.mutex);
        id = ident.empty() ? s.identifier : std::string(ident);
    }
    if (gStderr.load(std::memory_order_relaxed)) writeAll(STDERR_FILENO, stderrLine(message, id));
    if (s.sink == Sink::None) return;

    std::string packet;
    if (s.sink == Sink::Journal) {
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
    ssize_t n = send(s.fd, packet.data(), packet.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0) gDropped.fetch_add(1, std::memory_order_relaxed);
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
Sink systemSink() { return state().sink; }
uint64_t droppedCount() { return gDropped.load(); }

}  // namespace PlatformLog

void NSLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string msg = strings::vformat(format, args);
    va_end(args);
    PlatformLog::write(PlatformLog::Priority::Notice, msg);
}
