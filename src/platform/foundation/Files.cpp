#include "platform/foundation/Files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <cstdio>
#include <mutex>
#include <random>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/foundation/Error.h"
#include "platform/foundation/Strings.h"

namespace files {

namespace {

void setPosixError(Error* error, int err, const std::string& what) {
    if (error) *error = Error::withDescription(NSPOSIXErrorDomain, err, what + ": " + std::strerror(err));
}

}  // namespace

std::optional<Data> readData(const fs::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    Data out;
    out.reserve(size_t(st.st_size));
    uint8_t buf[65536];
    while (true) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    ::close(fd);
    return out;
}

std::optional<std::string> readText(const fs::path& path) {
    auto d = readData(path);
    if (!d) return std::nullopt;
    return std::string(d->begin(), d->end());
}

struct WriteFault::State {
    WriteStep step;
    int error;
    fs::path scope;  // empty: any path
    bool once;
    int hits = 0;  // guarded by gFaultMutex
};

namespace {

std::mutex gFaultMutex;
std::vector<std::shared_ptr<WriteFault::State>> gFaults;  // guarded by gFaultMutex
std::atomic<int> gFaultCount{0};                          // gFaults.size(), read without the lock

fs::path normalPath(const fs::path& p) {
    std::error_code ec;
    return fs::absolute(p, ec).lexically_normal();
}

bool lexicallyWithin(const fs::path& scope, const fs::path& target) {
    auto [s, t] = std::mismatch(scope.begin(), scope.end(), target.begin(), target.end());
    return s == scope.end() || (s->empty() && std::next(s) == scope.end());
}

struct InjectedFault {
    WriteStep step;
    int error;
};

// The fault armed for a write of `target`, if any; a one-time fault is used up.
std::optional<InjectedFault> takeFault(const fs::path& target) {
    if (gFaultCount.load(std::memory_order_acquire) == 0) return std::nullopt;
    fs::path normal = normalPath(target);
    std::lock_guard lock(gFaultMutex);
    for (auto& f : gFaults) {
        if (f->once && f->hits > 0) continue;
        if (!f->scope.empty() && !lexicallyWithin(f->scope, normal)) continue;
        ++f->hits;
        return InjectedFault{f->step, f->error};
    }
    return std::nullopt;
}

// 0, or the errno of the failed write.
int writeAll(int fd, std::string_view bytes) {
    size_t off = 0;
    while (off < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + off, bytes.size() - off);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        off += size_t(n);
    }
    return 0;
}

}  // namespace

WriteFault::WriteFault(WriteStep step, int error) : state_(std::make_shared<State>(State{step, error, {}, true})) {
    std::lock_guard lock(gFaultMutex);
    gFaults.push_back(state_);
    gFaultCount.store(int(gFaults.size()), std::memory_order_release);
}

WriteFault::WriteFault(fs::path path, WriteStep step, int error)
    : state_(std::make_shared<State>(State{step, error, normalPath(path), false})) {
    std::lock_guard lock(gFaultMutex);
    gFaults.push_back(state_);
    gFaultCount.store(int(gFaults.size()), std::memory_order_release);
}

WriteFault::~WriteFault() {
    std::lock_guard lock(gFaultMutex);
    std::erase(gFaults, state_);
    gFaultCount.store(int(gFaults.size()), std::memory_order_release);
}

int WriteFault::hits() const {
    std::lock_guard lock(gFaultMutex);
    return state_->hits;
}

bool writeAtomically(const fs::path& path, std::string_view bytes, Error* error, int mode) {
    fs::path dir = path.parent_path();
    if (!dir.empty()) createDirectories(dir);
    return detail::writeAtomicallyAt(AT_FDCWD, path.string(), path, bytes, error, mode);
}

namespace detail {

bool writeAtomicallyAt(int dirfd, const std::string& name, const fs::path& shown, std::string_view bytes, Error* error,
                       int mode) {
    auto fault = takeFault(shown);
    auto injected = [&](WriteStep step) { return fault && fault->step == step; };
    auto fail = [&](int fd, const std::string& tmp, int err, const std::string& what) {
        if (fd >= 0) ::close(fd);
        if (!tmp.empty()) ::unlinkat(dirfd, tmp.c_str(), 0);
        setPosixError(error, err, what);
        return false;
    };

    static thread_local std::mt19937_64 rng{std::random_device{}()};
    std::string tmp = name + strings::format(".tmp-%d-%016llx", int(getpid()), (unsigned long long)rng());
    std::string shownTmp = shown.string() + tmp.substr(name.size());
    if (injected(WriteStep::create)) return fail(-1, {}, fault->error, "cannot create " + shownTmp);
    int fd = ::openat(dirfd, tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        int err = errno;
        return fail(-1, {}, err, "cannot create " + shownTmp);
    }
    ::fchmod(fd, mode_t(mode));  // the umask took bits away at creation

    int err = 0;
    if (injected(WriteStep::write)) {
        writeAll(fd, bytes.substr(0, bytes.size() / 2));
        err = fault->error;
    } else {
        err = writeAll(fd, bytes);
    }
    if (!err && injected(WriteStep::sync)) err = fault->error;
    if (!err && ::fsync(fd) != 0) err = errno;
    if (err) return fail(fd, tmp, err, "cannot write " + shown.string());
    if (::close(fd) != 0) {
        err = errno;
        return fail(-1, tmp, err, "cannot write " + shown.string());
    }
    if (injected(WriteStep::rename)) return fail(-1, tmp, fault->error, "cannot replace " + shown.string());
    if (::renameat(dirfd, tmp.c_str(), dirfd, name.c_str()) != 0) {
        err = errno;
        return fail(-1, tmp, err, "cannot replace " + shown.string());
    }
    return true;
}

}  // namespace detail

bool writeAtomically(const fs::path& path, const Data& bytes, Error* error, int mode) {
    return writeAtomically(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), error, mode);
}

bool exists(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool isDirectory(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isRegularFile(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool createDirectories(const fs::path& path, Error* error) {
    if (isDirectory(path)) return true;
    // The missing levels, deepest first.
    std::vector<fs::path> missing;
    fs::path p = path.has_filename() ? path : path.parent_path();
    while (!p.empty() && !files::exists(p)) {
        missing.push_back(p);
        if (p == p.parent_path()) break;
        p = p.parent_path();
    }
    int err = ENOTDIR;
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), mode_t(kPrivateFolderMode)) == 0) {
            ::chmod(it->c_str(), mode_t(kPrivateFolderMode));
        } else if (errno != EEXIST) {
            err = errno;
            break;
        }
    }
    if (!isDirectory(path)) {
        setPosixError(error, err, "cannot create folder " + path.string());
        return false;
    }
    return true;
}

bool ensurePrivateFile(const fs::path& path, Error* error) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, mode_t(kPrivateFileMode));
    if (fd < 0) {
        setPosixError(error, errno, "cannot create " + path.string());
        return false;
    }
    ::fchmod(fd, mode_t(kPrivateFileMode));
    ::close(fd);
    return true;
}

bool makePrivate(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return false;
    if (S_ISLNK(st.st_mode)) return true;
    bool folder = S_ISDIR(st.st_mode);
    bool ok = ::chmod(path.c_str(), mode_t(folder ? kPrivateFolderMode : kPrivateFileMode)) == 0;
    if (!folder) return ok;
    std::error_code ec;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) ok = makePrivate(it->path()) && ok;
    return ok && !ec;
}

bool renameNoReplace(const fs::path& from, const fs::path& to, Error* error) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) {
        setPosixError(error, errno, "cannot move " + from.string() + " to " + to.string());
        return false;
    }
    // The file system cannot refuse by itself: check, then rename.
    if (files::exists(to)) {
        setPosixError(error, EEXIST, "cannot move " + from.string() + " to " + to.string());
        return false;
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
        setPosixError(error, errno, "cannot move " + from.string() + " to " + to.string());
        return false;
    }
    return true;
}

std::optional<fs::path> resolveAll(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) return std::nullopt;
    // Components still to walk, the next one last.
    std::vector<std::string> pending;
    auto push = [&pending](const fs::path& p) {
        std::vector<std::string> parts;
        for (auto& part : p.relative_path()) parts.push_back(part.string());
        pending.insert(pending.end(), parts.rbegin(), parts.rend());
    };
    push(absolute);
    fs::path done = "/";
    int links = 0;
    while (!pending.empty()) {
        std::string part = std::move(pending.back());
        pending.pop_back();
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            done = done.parent_path();
            continue;
        }
        fs::path next = done / part;
        struct stat st {};
        if (::lstat(next.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            done = std::move(next);  // a folder, a file, or nothing yet
            continue;
        }
        if (++links > 40) return std::nullopt;  // a loop
        std::string target(size_t(PATH_MAX), '\0');
        ssize_t n = ::readlink(next.c_str(), target.data(), target.size());
        if (n < 0 || size_t(n) >= target.size()) return std::nullopt;
        target.resize(size_t(n));
        if (fs::path(target).is_absolute()) done = "/";
        push(fs::path(target));
    }
    return done;
}

bool isInside(const fs::path& base, const fs::path& path) {
    auto b = resolveAll(base);
    auto p = b ? resolveAll(path) : std::nullopt;
    if (!p) return false;
    auto [bi, pi] = std::mismatch(b->begin(), b->end(), p->begin(), p->end());
    return bi == b->end() || (bi->empty() && std::next(bi) == b->end());
}

std::optional<fs::path> confine(const fs::path& base, std::string_view relative) {
    if (relative.find('\0') != std::string_view::npos) return std::nullopt;
    std::string rel(relative);
    // Leading slashes are the URL form of a path inside the folder.
    size_t start = rel.find_first_not_of('/');
    rel = start == std::string::npos ? "" : rel.substr(start);
    fs::path r(rel);
    for (auto& part : r)
        if (part == "..") return std::nullopt;
    fs::path joined = rel.empty() ? base : base / r;
    if (!isInside(base, joined)) return std::nullopt;
    return joined;
}

}  // namespace files
