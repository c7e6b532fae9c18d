#include "platform/foundation/Folder.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <random>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/foundation/Error.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Strings.h"

namespace files {

namespace {

std::atomic<bool> gStepwise{false};
constexpr int kMaxTreeDepth = 256;

// A descriptor closed with the object.
struct Fd {
    int fd = -1;
    explicit Fd(int f = -1) : fd(f) {}
    Fd(Fd&& o) noexcept : fd(o.fd) { o.fd = -1; }
    Fd& operator=(Fd&& o) noexcept {
        std::swap(fd, o.fd);
        return *this;
    }
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    explicit operator bool() const { return fd >= 0; }
};

void setError(Error* error, int err, const std::string& what) {
    if (error) *error = Error::withDescription(NSPOSIXErrorDomain, err, what + ": " + std::strerror(err));
}

// The components of a relative path; nullopt (EINVAL) for an absolute one,
// "..", or a NUL byte.
std::optional<std::vector<std::string>> componentsOf(const fs::path& relative) {
    const std::string& text = relative.native();
    if (relative.is_absolute() || text.find('\0') != std::string::npos) {
        errno = EINVAL;
        return std::nullopt;
    }
    std::vector<std::string> out;
    for (auto& part : relative) {
        std::string p = part.string();
        if (p.empty() || p == ".") continue;
        if (p == "..") {
            errno = EINVAL;
            return std::nullopt;
        }
        out.push_back(std::move(p));
    }
    return out;
}

std::string joined(const std::vector<std::string>& parts, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) out += (i ? "/" : "") + parts[i];
    return out.empty() ? "." : out;
}

// openat2 beneath `dirfd` without any link; ENOSYS where the kernel has none.
int openBeneath2(int dirfd, const std::string& path, int flags, mode_t mode) {
    open_how how{};
    how.flags = uint64_t(flags | O_CLOEXEC);
    how.mode = (flags & O_CREAT) ? mode : 0;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
    long fd;
    do fd = ::syscall(SYS_openat2, dirfd, path.c_str(), &how, sizeof how);
    while (fd < 0 && errno == EAGAIN);
    return int(fd);
}

// The same, one component at a time, refusing a link at each step.
int openStepwise(int dirfd, const std::vector<std::string>& parts, size_t count, int flags, mode_t mode) {
    if (count == 0) return ::openat(dirfd, ".", flags | O_CLOEXEC, mode);
    Fd current(::openat(dirfd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (size_t i = 0; current && i + 1 < count; ++i)
        current = Fd(::openat(current.fd, parts[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!current) return -1;
    // O_NOFOLLOW refuses a final link, except with O_PATH, which opens the
    // link itself: that is checked.
    Fd last(::openat(current.fd, parts[count - 1].c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode));
    if (last && (flags & O_PATH)) {
        struct stat st {};
        if (::fstat(last.fd, &st) != 0 || S_ISLNK(st.st_mode)) {
            errno = ELOOP;
            return -1;
        }
    }
    int fd = last.fd;
    last.fd = -1;
    return fd;
}

// Opens the first `count` components of `parts` beneath `dirfd`.
int openParts(int dirfd, const std::vector<std::string>& parts, size_t count, int flags, mode_t mode = 0) {
    if (!gStepwise.load(std::memory_order_relaxed)) {
        int fd = openBeneath2(dirfd, joined(parts, count), flags, mode);
        if (fd >= 0 || errno != ENOSYS) return fd;
    }
    return openStepwise(dirfd, parts, count, flags, mode);
}

// The folder holding the last component, and that component's name.
struct Parent {
    Fd fd;
    std::string name;
};

std::optional<Parent> parentOf(int dirfd, const fs::path& relative) {
    auto parts = componentsOf(relative);
    if (!parts) return std::nullopt;
    if (parts->empty()) {
        errno = EINVAL;  // the folder itself has no parent here
        return std::nullopt;
    }
    Fd parent(openParts(dirfd, *parts, parts->size() - 1, O_RDONLY | O_DIRECTORY));
    if (!parent) return std::nullopt;
    return Parent{std::move(parent), parts->back()};
}

bool removeTree(int parent, const std::string& name, int depth) {
    struct stat st {};
    if (::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISDIR(st.st_mode)) return ::unlinkat(parent, name.c_str(), 0) == 0;
    if (depth > kMaxTreeDepth) {
        errno = ELOOP;
        return false;
    }
    int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    bool ok = true;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
    for (auto& n : names) ok = removeTree(::dirfd(dir), n, depth + 1) && ok;
    ::closedir(dir);
    return ok && ::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0;
}

bool copyFileAt(int fromParent, const std::string& from, int toParent, const std::string& to) {
    Fd in(::openat(fromParent, from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!in) return false;
    Fd out(::openat(toParent, to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kPrivateFileMode));
    if (!out) return false;
    ::fchmod(out.fd, kPrivateFileMode);
    char buf[65536];
    while (true) {
        ssize_t n = ::read(in.fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return ::fsync(out.fd) == 0;
        for (ssize_t off = 0; off < n;) {
            ssize_t w = ::write(out.fd, buf + off, size_t(n - off));
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) return false;
            off += w;
        }
    }
}

bool copyTree(int fromParent, const std::string& from, int toParent, const std::string& to, int depth) {
    struct stat st {};
    if (::fstatat(fromParent, from.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (S_ISREG(st.st_mode)) return copyFileAt(fromParent, from, toParent, to);
    if (S_ISLNK(st.st_mode)) {
        // A link is copied as a link: reading through it stays refused.
        std::string target(size_t(PATH_MAX), '\0');
        ssize_t n = ::readlinkat(fromParent, from.c_str(), target.data(), target.size());
        if (n < 0 || size_t(n) >= target.size()) return false;
        target.resize(size_t(n));
        return ::symlinkat(target.c_str(), toParent, to.c_str()) == 0;
    }
    if (!S_ISDIR(st.st_mode) || depth > kMaxTreeDepth) {
        errno = S_ISDIR(st.st_mode) ? ELOOP : EINVAL;  // devices, sockets and pipes are not copied
        return false;
    }
    if (::mkdirat(toParent, to.c_str(), kPrivateFolderMode) != 0) return false;
    Fd dst(::openat(toParent, to.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    int srcFd = ::openat(fromParent, from.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (!dst || srcFd < 0) {
        if (srcFd >= 0) ::close(srcFd);
        return false;
    }
    ::fchmod(dst.fd, kPrivateFolderMode);
    DIR* dir = ::fdopendir(srcFd);
    if (!dir) {
        ::close(srcFd);
        return false;
    }
    bool ok = true;
    while (dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        if (!copyTree(::dirfd(dir), e->d_name, dst.fd, e->d_name, depth + 1)) {
            ok = false;
            break;
        }
    }
    ::closedir(dir);
    return ok;
}

// renameat2 without replacing; checked just before where the file system
// cannot refuse by itself.
bool renameNoReplaceAt(int fromParent, const std::string& from, int toParent, const std::string& to) {
    if (::renameat2(fromParent, from.c_str(), toParent, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat st {};
    if (::fstatat(toParent, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::renameat(fromParent, from.c_str(), toParent, to.c_str()) == 0;
}

std::string privateName(const std::string& name, const char* what) {
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    return name + strings::format(".%s-%016llx", what, (unsigned long long)rng());
}

}  // namespace

void Folder::forceStepwiseWalk(bool on) { gStepwise.store(on); }

std::optional<Folder> Folder::open(const fs::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    return Folder(fd, path);
}

Folder::Folder(Folder&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) { other.fd_ = -1; }

Folder& Folder::operator=(Folder&& other) noexcept {
    std::swap(fd_, other.fd_);
    std::swap(path_, other.path_);
    return *this;
}

Folder::~Folder() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<struct stat> Folder::status(const fs::path& relative) const {
    struct stat st {};
    auto parts = componentsOf(relative);
    if (!parts) return std::nullopt;
    if (parts->empty()) {
        if (::fstat(fd_, &st) != 0) return std::nullopt;
        return st;
    }
    auto parent = parentOf(fd_, relative);
    if (!parent || ::fstatat(parent->fd.fd, parent->name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    return st;
}

bool Folder::walkable(const fs::path& relative) const {
    auto parts = componentsOf(relative);
    if (!parts) return false;
    Fd current(::openat(fd_, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (size_t i = 0; current && i < parts->size(); ++i) {
        struct stat st {};
        if (::fstatat(current.fd, (*parts)[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
        if (S_ISLNK(st.st_mode)) return false;
        if (!S_ISDIR(st.st_mode)) return true;  // nothing can lie below a file
        current = Fd(::openat(current.fd, (*parts)[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    return bool(current);
}

std::optional<Data> Folder::read(const fs::path& relative) const {
    auto parts = componentsOf(relative);
    if (!parts) return std::nullopt;
    Fd fd(openParts(fd_, *parts, parts->size(), O_RDONLY));
    struct stat st {};
    if (!fd || ::fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    Data out;
    out.reserve(size_t(st.st_size));
    uint8_t buf[65536];
    while (true) {
        ssize_t n = ::read(fd.fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return out;
        out.insert(out.end(), buf, buf + n);
    }
}

bool Folder::write(const fs::path& relative, std::string_view bytes, Error* error) const {
    auto parent = parentOf(fd_, relative);
    if (!parent) {
        setError(error, errno, "cannot write " + (path_ / relative).string());
        return false;
    }
    return detail::writeAtomicallyAt(parent->fd.fd, parent->name, path_ / relative, bytes, error, kPrivateFileMode);
}

bool Folder::makeFolders(const fs::path& relative, Error* error) const {
    auto parts = componentsOf(relative);
    auto fail = [&](int err) {
        setError(error, err, "cannot create folder " + (path_ / relative).string());
        return false;
    };
    if (!parts) return fail(errno);
    Fd current(::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (size_t i = 0; current && i < parts->size(); ++i) {
        const char* name = (*parts)[i].c_str();
        bool made = ::mkdirat(current.fd, name, kPrivateFolderMode) == 0;
        if (!made && errno != EEXIST) return fail(errno);
        Fd next(::openat(current.fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next) return fail(errno);
        if (made) ::fchmod(next.fd, kPrivateFolderMode);  // the umask took bits away
        current = std::move(next);
    }
    return current ? true : fail(errno);
}

bool Folder::removeAll(const fs::path& relative) const {
    auto parent = parentOf(fd_, relative);
    return parent && removeTree(parent->fd.fd, parent->name, 0);
}

std::optional<std::vector<Folder::Entry>> Folder::list(const fs::path& relative) const {
    auto parts = componentsOf(relative);
    if (!parts) return std::nullopt;
    int fd = openParts(fd_, *parts, parts->size(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return std::nullopt;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return std::nullopt;
    }
    std::vector<Entry> out;
    while (dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
        out.push_back({e->d_name, mode_t(st.st_mode & S_IFMT)});
    }
    ::closedir(dir);
    return out;
}

bool Folder::moveNoReplace(const fs::path& relative, const Folder& to, const fs::path& toRelative, Error* error) const {
    auto from = parentOf(fd_, relative);
    auto dest = from ? parentOf(to.fd_, toRelative) : std::nullopt;
    auto fail = [&](int err) {
        setError(error, err, "cannot move " + (path_ / relative).string() + " to " + (to.path_ / toRelative).string());
        return false;
    };
    if (!from || !dest) return fail(errno);
    if (renameNoReplaceAt(from->fd.fd, from->name, dest->fd.fd, dest->name)) return true;
    if (errno != EXDEV) return fail(errno);
    // Across file systems: a copy under a private name, then the rename,
    // then the source goes.
    std::string tmp = privateName(dest->name, "moving");
    if (!copyTree(from->fd.fd, from->name, dest->fd.fd, tmp, 0) ||
        !renameNoReplaceAt(dest->fd.fd, tmp, dest->fd.fd, dest->name)) {
        int err = errno;
        removeTree(dest->fd.fd, tmp, 0);
        return fail(err);
    }
    removeTree(from->fd.fd, from->name, 0);
    return true;
}

bool Folder::copyNoReplace(const fs::path& relative, const Folder& to, const fs::path& toRelative, Error* error) const {
    auto from = parentOf(fd_, relative);
    auto dest = from ? parentOf(to.fd_, toRelative) : std::nullopt;
    if (from && dest) {
        // Copied under a private name and renamed: the destination appears
        // whole or not at all, and a folder that appeared meanwhile is never
        // merged into.
        std::string tmp = privateName(dest->name, "copying");
        if (copyTree(from->fd.fd, from->name, dest->fd.fd, tmp, 0) &&
            renameNoReplaceAt(dest->fd.fd, tmp, dest->fd.fd, dest->name))
            return true;
        int err = errno;
        removeTree(dest->fd.fd, tmp, 0);
        errno = err;
    }
    setError(error, errno, "cannot copy " + (path_ / relative).string() + " to " + (to.path_ / toRelative).string());
    return false;
}

std::optional<Data> Place::read() const {
    auto f = folder();
    return f ? f->read(relative) : std::nullopt;
}

bool Place::write(std::string_view bytes, Error* error) const {
    auto f = folder();
    if (!f) {
        setError(error, errno, "cannot write " + full().string());
        return false;
    }
    return f->write(relative, bytes, error);
}

}  // namespace files
