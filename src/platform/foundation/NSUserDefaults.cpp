#include "platform/foundation/NSUserDefaults.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/BinaryPlist.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"

NSUserDefaults::NSUserDefaults() = default;

NSUserDefaults& NSUserDefaults::standardUserDefaults() {
    static NSUserDefaults* d = new NSUserDefaults();
    return *d;
}

void NSUserDefaults::resetStandardUserDefaults() {
    auto& d = standardUserDefaults();
    std::lock_guard lock(d.mutex_);
    d.loaded_ = false;
    d.values_ = Value();
    d.file_.clear();
}

std::filesystem::path NSUserDefaults::filePath() const {
    std::lock_guard lock(mutex_);
    loadLocked();
    return file_;
}

namespace {

constexpr const char* kMaxFileSizeText = "4 MiB";
static_assert(NSUserDefaults::kMaxFileSize == size_t(4) << 20);
constexpr const char* kTooLarge = "it is larger than 4 MiB";

std::filesystem::path withSuffix(std::filesystem::path path, const char* suffix) {
    path += suffix;
    return path;
}

// Anything at the marker's path that is not a regular file (a directory,
// a link, a pipe) is no marker this program wrote: left there, it would
// keep the marker from being written, and the file would be read
// unprotected, or be read as another file's text. It is removed.
void removeForeignMarker(const std::filesystem::path& marker) {
    struct stat st {};
    if (::lstat(marker.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return;
    std::error_code ec;
    std::filesystem::remove_all(marker, ec);
    NSLog("NSUserDefaults: %s is not a reading marker (not a regular file): %s", marker.c_str(),
          ec ? ec.message().c_str() : "removed");
}

// The process id a marker holds: digits alone, as writeMarker writes them;
// nullopt for anything else (empty, a torn write, other text).
std::optional<pid_t> markerProcess(const std::filesystem::path& marker) {
    int fd = ::open(marker.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char text[16];
    struct stat st {};
    ssize_t n = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? ::read(fd, text, sizeof text) : -1;
    ::close(fd);
    std::string_view digits(text, size_t(std::max<ssize_t>(n, 0)));
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    long pid = std::atol(std::string(digits).c_str());
    return pid > 0 ? std::optional<pid_t>(pid_t(pid)) : std::nullopt;
}

// A process that has ended, reaped or not: a process killed while it read
// stays a zombie until its parent reaps it, and a relaunch comes sooner.
bool processIsGone(pid_t pid) {
    if (::kill(pid, 0) != 0 && errno != EPERM) return true;
    auto stat = files::readText("/proc/" + std::to_string(pid) + "/stat");
    if (!stat) return false;
    size_t close = stat->rfind(')');  // the state follows the command name, which may hold anything
    if (close == std::string::npos || close + 2 >= stat->size()) return false;
    char state = (*stat)[close + 2];
    return state == 'Z' || state == 'X';
}

// The marker names the process reading; one whose process is gone was
// left by a launch that ended while it read (another running instance's
// is not). A marker naming this process, or none, was left by no reading
// that ended: it is taken as absent.
bool readingWasCut(const std::filesystem::path& marker) {
    removeForeignMarker(marker);
    auto pid = markerProcess(marker);
    return pid && *pid != ::getpid() && processIsGone(*pid);
}

// The marker need only outlast this process, not the machine: written
// plainly, with no flush to disk on the way to the first screen.
bool writeMarker(const std::filesystem::path& marker) {
    int fd = ::open(marker.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    std::string pid = std::to_string(::getpid());
    bool written = ::write(fd, pid.data(), pid.size()) == ssize_t(pid.size());
    ::close(fd);
    if (!written) ::unlink(marker.c_str());  // a torn marker would set a good file aside
    return written;
}

}  // namespace

void NSUserDefaults::loadLocked() const {
    if (loaded_) return;
    loaded_ = true;
    std::string id = NSBundle::mainBundle().bundleIdentifier();
    file_ = AppHome::preferences() / ((id.empty() ? std::string("korvel") : id) + ".plist");
    values_ = Value(Value::Dictionary{});
    auto marker = withSuffix(file_, ".reading");
    bool cut = readingWasCut(marker);
    std::error_code ec;
    if (cut) std::filesystem::remove(marker, ec);
    if (std::filesystem::file_size(file_, ec) > kMaxFileSize && !ec) return setAsideLocked(kTooLarge);
    auto bytes = files::readData(file_);
    if (!bytes) return;
    if (cut) return setAsideLocked("the last launch ended while reading it");
    if (bytes->size() > kMaxFileSize) return setAsideLocked(kTooLarge);
    // Kept while the file is read: a file whose reading takes the process
    // down is set aside at the next launch instead of read again.
    bool marked = writeMarker(marker);
    if (!marked)
        NSLog("NSUserDefaults: reading marker %s cannot be written (%s); reading without it", marker.c_str(),
              std::strerror(errno));
    auto v = Value::fromPlist(*bytes);
    if (marked) std::filesystem::remove(marker, ec);
    if (v && v->isDict()) {
        values_ = std::move(*v);
        return;
    }
    setAsideLocked("it is unreadable");
}

void NSUserDefaults::setAsideLocked(const char* why) const {
    // Kept for inspection (replacing an older one) rather than overwritten
    // by the first write.
    auto aside = withSuffix(file_, ".corrupt");
    bool kept = ::rename(file_.c_str(), aside.c_str()) == 0;
    NSLog("NSUserDefaults: preferences file %s set aside, %s: %s; starting empty", file_.c_str(), why,
          kept ? "moved to .corrupt" : std::strerror(errno));
}

NSUserDefaults::Saved NSUserDefaults::saveLocked() {
    Data bytes = values_.toBinaryPlist();
    if (bytes.size() > kMaxFileSize) return Saved::tooLarge;
    Error err;
    if (!files::writeAtomically(file_, bytes, &err)) {
        NSLog("NSUserDefaults: %s", err.localizedDescription().c_str());
        return Saved::failed;
    }
    return Saved::yes;
}

namespace {

// A key as the preferences file stores it: two keys that differ only in
// bytes that are not UTF-8 are one key there, so they are one here too.
std::string storedKey(const std::string& key) { return binaryplist::storedText(key); }

}  // namespace

Value NSUserDefaults::objectForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    loadLocked();
    if (std::string stored = storedKey(key); values_.has(stored)) return values_[stored];
    return registered_[key];
}

std::string NSUserDefaults::stringForKey(const std::string& key) const { return objectForKey(key).stringOr(""); }
int64_t NSUserDefaults::integerForKey(const std::string& key) const { return objectForKey(key).intValue(); }
double NSUserDefaults::doubleForKey(const std::string& key) const { return objectForKey(key).doubleValue(); }
bool NSUserDefaults::boolForKey(const std::string& key) const { return objectForKey(key).boolValue(); }

void NSUserDefaults::setObject(const std::string& key, Value value) {
    std::lock_guard lock(mutex_);
    loadLocked();
    // Moved, not copied, either way: a value may be large.
    auto& entries = values_.mutableDict();
    std::string stored = storedKey(key);
    std::optional<Value> previous;
    if (auto it = entries.find(stored); it != entries.end()) {
        previous = std::move(it->second);
        entries.erase(it);
    }
    if (!value.isNull()) entries.emplace(stored, std::move(value));
    if (saveLocked() != Saved::tooLarge) return;
    entries.erase(stored);
    if (previous) entries.emplace(stored, std::move(*previous));
    NSLog("NSUserDefaults: \"%s\" not changed: the preferences file would be larger than %s", stored.c_str(),
          kMaxFileSizeText);
}

void NSUserDefaults::removeObjectForKey(const std::string& key) { setObject(key, Value()); }

void NSUserDefaults::registerDefaults(const Value& defaults) {
    std::lock_guard lock(mutex_);
    if (auto d = defaults.getDict())
        for (auto& [k, v] : *d) registered_.set(k, v);
}

bool NSUserDefaults::synchronize() {
    std::lock_guard lock(mutex_);
    loadLocked();
    Saved saved = saveLocked();
    if (saved == Saved::tooLarge)
        NSLog("NSUserDefaults: not written: the preferences file would be larger than %s", kMaxFileSizeText);
    return saved == Saved::yes;
}

Value NSUserDefaults::dictionaryRepresentation() const {
    std::lock_guard lock(mutex_);
    loadLocked();
    Value out = registered_.isDict() ? registered_ : Value(Value::Dictionary{});
    for (auto& [k, v] : *values_.getDict()) out.set(k, v);
    return out;
}
