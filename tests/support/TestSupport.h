#pragma once
// Helpers shared by the tests: temporary folders, a temporary application
// home and bundle, and running the main loop until something happens.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Value.h"

namespace testsupport {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "korvel-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& rel) const { return path_ / rel; }

private:
    fs::path path_;
};

// Points the application home at a fresh folder for the object's life and
// resets user defaults, restoring the previous home afterwards.
class TempHome {
public:
    TempHome();
    ~TempHome();
    const fs::path& path() const { return dir_.path(); }

private:
    TempDir dir_;
    fs::path previous_;
};

// Makes a bundle folder with the given Info.plist entries (written as XML)
// and makes it the main bundle for the object's life.
class TempBundle {
public:
    explicit TempBundle(const Value& info = Value::dict({{"CFBundleIdentifier", "com.example.test"}}));
    ~TempBundle();
    const fs::path& path() const { return dir_.path(); }
    void writeFile(const std::string& rel, const std::string& content) const;
    void setInfo(const Value& info) const;

private:
    TempDir dir_;
    fs::path previous_;
};

void writeFile(const fs::path& path, const std::string& content);
std::string readFile(const fs::path& path);

// A process as /proc shows it: its command name (the kernel keeps its
// first 15 bytes) and its command line, arguments joined by blanks.
struct ProcessFacts {
    int pid = 0;
    std::string name, commandLine;
};
// Every process below `root` (its children, theirs, ...), not `root` itself;
// a process that ends meanwhile is left out.
std::vector<ProcessFacts> processesUnder(int root);
// A field of this process's /proc/self/status, in KiB ("VmRSS:", the
// resident memory now; "VmHWM:", its peak); -1 when it is not there.
long ownStatusKiB(const char* field);

// The repository's own folder (for fixtures and the demo bundle).
// The repository's and this build's folders, and a program or file of the
// build by its path below the build folder (as the test targets name their
// helper programs: "tests/logging/logging_child").
fs::path sourceDir();
fs::path binaryDir();
std::string built(const std::string& relative);

// Runs a program (argv[0] is its path) to its end: its exit status (-1 when
// it did not exit normally) and what it wrote to standard output and error.
// Sends standard error to a file for the object's life.
class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture() { restore(); }
    void restore();
    std::string text() const;

private:
    TempDir dir_;
    fs::path path_;
    int saved_ = -1;
};

struct ProgramResult {
    int status = -1;
    std::string out, err;
};
ProgramResult runProgram(const std::vector<std::string>& argv);
// The number a program printed after "key=" in `text`; -2 when it printed none.
long printedNumber(const std::string& text, const std::string& key);

// RunLoop::runUntil with a test-friendly default time-out.
inline bool waitFor(const std::function<bool()>& cond, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return RunLoop::runUntil(cond, timeout);
}

// Runs `f` on a global queue and the main loop until it returns (for code
// that must not run on the main thread, such as synchronous requests).
template <class F>
auto offMainThread(F f, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    decltype(f()) result{};
    std::atomic<bool> done{false};
    DispatchQueue::global()->async([&] {
        result = f();
        done = true;
    });
    if (!waitFor([&] { return done.load(); }, timeout)) std::abort();  // `result` is still in use
    return result;
}

// An id that no process has now: a child's, once reaped (by the caller,
// or by whatever else of the tests reaps children).
int goneProcessId();

// Sanitizers keep shadow memory: a process's memory only means something
// in a plain build, so tests that bound it check only there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kMeasuresMemory = false;
#else
inline constexpr bool kMeasuresMemory = true;
#endif

}  // namespace testsupport
