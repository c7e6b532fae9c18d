// A child process for the logging tests.
//
//   logging_child flood <home> return|exit|sigterm
//       4 threads log 25,000 lines each to the shell's file logger set-up
//       under <home>, then the process ends at once: by returning from
//       main, by exit() from another thread, or by SIGTERM (it prints
//       "ready" and waits for the signal).
//   logging_child journal
//       In a private mount namespace, starts a journal daemon of its own,
//       captures what another process writes to it and checks that the
//       framework's own entries never come back; prints "OK" or "FAIL ...".
//   logging_child journal-send <priority> <text>
//       Writes one journal entry (the "other process" above).
//   logging_child diskfull <dir>
//       In a private mount namespace, mounts a 256 KiB tmpfs on <dir>, logs
//       3,000 lines one at a time until the disk is full and beyond,
//       flushes, frees some room, logs again, and checks the file: prints
//       "OK kept N ..." or "FAIL ..." and exits 0 or 1.
//   logging_child readonly <dir> with-logs|without-logs
//       In a private mount namespace, makes a home on a tmpfs at <dir> (with
//       or without its log folder), makes the tmpfs read-only, logs 3,000
//       lines through the shell's file logger and flushes; prints "OK".

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <regex>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <condition_variable>
#include <csignal>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-journal.h>

#include "logging/VLASLLogger.h"
#include "logging/VLFileLogger.h"
#include "logging/VLLog.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/PlatformLog.h"
#include "support/MountNamespace.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

int flood(const char* home, const std::string& ending) {
    AppHome::setRoot(home);
    auto fileLogger = std::make_shared<VLFileLogger>();
    fileLogger->setRollingFrequency(3600);
    fileLogger->logFileManager()->setMaximumNumberOfLogFiles(48);
    VLLog::addLogger(fileLogger);

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 25000; ++i)
                VLLog::log(true, VLLogLevelAll, VLLogFlagInfo, 0, __FILE__, __func__, __LINE__, Value(), "t%d %05d", t, i);
        });
    for (auto& th : threads) th.join();

    if (ending == "exit") {
        std::thread([] { std::exit(0); }).join();
    } else if (ending == "sigterm") {
        printf("ready\n");
        fflush(stdout);
        while (true) pause();
    }
    return 0;
}

int readOnlyHome(const fs::path& dir, bool withLogs) {
    if (!testsupport::enterPrivateMountNamespace()) return 2;
    if (mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=1m") != 0) {
        fprintf(stderr, "logging_child: cannot mount a tmpfs on %s: %s\n", dir.c_str(), strerror(errno));
        return 3;
    }
    fs::create_directories(withLogs ? dir / "home/Library/Caches/Logs" : dir / "home");
    if (mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
        fprintf(stderr, "logging_child: cannot make %s read-only: %s\n", dir.c_str(), strerror(errno));
        return 3;
    }
    AppHome::setRoot(dir / "home");
    VLLog::addLogger(std::make_shared<VLFileLogger>());
    for (int i = 0; i < 3000; ++i)
        VLLog::log(i % 2 == 0, VLLogLevelAll, VLLogFlagInfo, 0, "f", "fn", 1, Value(), "page line %d", i);
    VLLog::flushLog();
    printf("OK\n");
    return 0;
}

int diskFull(const fs::path& dir) {
    if (!testsupport::enterPrivateMountNamespace()) return 2;
    if (mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=256k") != 0) {
        fprintf(stderr, "logging_child: cannot mount a tmpfs on %s: %s\n", dir.c_str(), strerror(errno));
        return 3;
    }
    {
        FILE* ballast = fopen((dir / "ballast").c_str(), "w");
        std::string block(64 * 1024, 'b');
        fwrite(block.data(), 1, block.size(), ballast);
        fclose(ballast);
    }
    auto manager = std::make_shared<VLLogFileManagerDefault>(dir / "Logs");
    auto logger = std::make_shared<VLFileLogger>(manager);
    logger->setMaximumFileSize(0);
    VLLog::addLogger(logger);
    std::string pad(80, 'x');
    const int total = 3000;
    // One at a time, as a page logs: each line is a write of its own.
    for (int i = 0; i < total; ++i)
        VLLog::log(false, VLLogLevelAll, VLLogFlagInfo, 0, "f", "fn", 1, Value(), "line %06d %s", i, pad.c_str());
    VLLog::flushLog();
    fs::remove(dir / "ballast");
    for (int i = 0; i < 20; ++i)
        VLLog::log(true, VLLogLevelAll, VLLogFlagInfo, 0, "f", "fn", 1, Value(), "after %d", i);
    VLLog::flushLog();

    auto files = manager->sortedLogFilePaths();
    if (files.size() != 1) {
        printf("FAIL %zu log files\n", files.size());
        return 1;
    }
    FILE* in = fopen(files[0].c_str(), "r");
    std::string content;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, in)) > 0) content.append(buf, n);
    fclose(in);
    if (content.empty() || content.back() != '\n') {
        printf("FAIL the file does not end with a whole line\n");
        return 1;
    }
    std::regex lineRe(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d:\d{3}  (line (\d{6}) x{80}|after (\d+)))");
    int nextLine = 0, nextAfter = 0;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        std::string line = content.substr(start, end - start);
        start = end + 1;
        std::smatch m;
        if (!std::regex_match(line, m, lineRe)) {
            printf("FAIL torn line: %s\n", line.c_str());
            return 1;
        }
        if (m[2].matched) {
            if (nextAfter > 0 || std::stoi(m[2]) != nextLine) {
                printf("FAIL an earlier line is missing before %s\n", line.c_str());
                return 1;
            }
            ++nextLine;
        } else {
            if (std::stoi(m[3]) != nextAfter) {
                printf("FAIL a line after the disk had room again is missing: %s\n", line.c_str());
                return 1;
            }
            ++nextAfter;
        }
    }
    if (nextLine == 0 || nextLine >= total || nextAfter != 20) {
        printf("FAIL kept %d lines of %d and %d of 20 after\n", nextLine, total, nextAfter);
        return 1;
    }
    printf("OK kept %d lines of %d, then all 20\n", nextLine, total);
    return 0;
}

// Waits (on inotify, up to 10 s) until `path` exists in `dir`.
bool waitForFile(const char* dir, const char* path) {
    int fd = inotify_init1(IN_CLOEXEC);
    inotify_add_watch(fd, dir, IN_CREATE | IN_MOVED_TO);
    bool found = false;
    for (int i = 0; i < 100 && !(found = access(path, F_OK) == 0); ++i) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buf[4096];
            if (read(fd, buf, sizeof buf) < 0) break;
        }
    }
    close(fd);
    return found;
}

pid_t spawn(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

// Keeps what the capture logs, and lets the main thread wait for it.
class Collector : public VLAbstractLogger {
public:
    Collector() : VLAbstractLogger("test.collector") {}
    void logMessage(const VLLogMessagePtr& m) override {
        std::lock_guard lock(mutex);
        if (m->fileName() == "VLASLLogCapture" && m->message().find("korvel-test:") != std::string_view::npos)
            seen.emplace_back(std::string(m->message()), m->flag());
        cv.notify_all();
    }
    bool waitFor(const std::string& text) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(10), [&] {
            for (auto& [t, f] : seen)
                if (t == text) return true;
            return false;
        });
    }
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::pair<std::string, uint64_t>> seen;
};

int journal(const char* self) {
    if (!testsupport::enterPrivateMountNamespace()) return 2;
    if (mount("tmpfs", "/run", "tmpfs", 0, "size=16m") != 0) {
        fprintf(stderr, "logging_child: cannot mount a tmpfs on /run: %s\n", strerror(errno));
        return 3;
    }
    // The daemon must keep to memory, whatever this machine keeps on disk.
    struct stat st {};
    if (stat("/var/log/journal", &st) == 0) mount("tmpfs", "/var/log/journal", "tmpfs", 0, "size=16m");
    mkdir("/run/systemd", 0755);
    mkdir("/run/systemd/journal", 0755);
    mkdir("/run/log", 0755);
    mkdir("/run/log/journal", 0755);
    const char* daemon = access("/usr/lib/systemd/systemd-journald", X_OK) == 0 ? "/usr/lib/systemd/systemd-journald"
                                                                                 : "/lib/systemd/systemd-journald";
    pid_t journald = spawn({daemon});
    if (journald < 0 || !waitForFile("/run/systemd/journal", "/run/systemd/journal/socket")) {
        fprintf(stderr, "logging_child: no journal daemon (%s)\n", daemon);
        if (journald > 0) kill(journald, SIGTERM);
        return 4;
    }
    auto finish = [&](int code) {
        kill(journald, SIGTERM);
        waitpid(journald, nullptr, 0);
        return code;
    };
    PlatformLog::connectSystemSink(PlatformLog::Sink::Journal, "/run/systemd/journal/socket");
    auto collector = std::make_shared<Collector>();
    VLLog::addLogger(collector);
    VLLog::addLogger(VLASLLogger::sharedInstance());
    VLASLLogCapture::start();

    auto other = [&](int priority, const std::string& text) {
        pid_t pid = spawn({self, "journal-send", std::to_string(priority), text});
        int status = 0;
        waitpid(pid, &status, 0);
    };
    // Ours, through the system-log logger: tagged, never read back.
    VLLog::log(false, VLLogLevelAll, VLLogFlagWarning, 0, "f", "fn", 1, Value(), "%s", "korvel-test: our own");
    other(3, "korvel-test: error from elsewhere");
    other(6, "korvel-test: info from elsewhere");
    if (!collector->waitFor("korvel-test: error from elsewhere") || !collector->waitFor("korvel-test: info from elsewhere")) {
        printf("FAIL the other process's entries were not captured\n");
        return finish(1);
    }
    VLASLLogCapture::stop();
    VLASLLogCapture::start();
    other(4, "korvel-test: after a restart");
    if (!collector->waitFor("korvel-test: after a restart")) {
        printf("FAIL nothing captured after stop and start\n");
        return finish(1);
    }
    VLLog::flushLog();
    std::lock_guard lock(collector->mutex);
    std::vector<std::pair<std::string, uint64_t>> expected = {{"korvel-test: error from elsewhere", VLLogFlagWarning},
                                                              {"korvel-test: info from elsewhere", VLLogFlagVerbose},
                                                              {"korvel-test: after a restart", VLLogFlagInfo}};
    if (collector->seen != expected) {
        printf("FAIL captured:\n");
        for (auto& [t, f] : collector->seen) printf("  %s (flag %llu)\n", t.c_str(), (unsigned long long)f);
        return finish(1);
    }
    printf("OK captured 3 entries of another process, none of our own, none twice\n");
    return finish(0);
}

int journalSend(int priority, const char* text) {
    return sd_journal_send("MESSAGE=%s", text, "PRIORITY=%d", priority, "SYSLOG_IDENTIFIER=korvel-other", nullptr) < 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "flood" && argc == 4) return flood(argv[2], argv[3]);
    if (mode == "diskfull" && argc == 3) return diskFull(argv[2]);
    if (mode == "readonly" && argc == 4) return readOnlyHome(argv[2], std::string(argv[3]) == "with-logs");
    if (mode == "journal" && argc == 2) return journal(argv[0]);
    if (mode == "journal-send" && argc == 4) return journalSend(atoi(argv[2]), argv[3]);
    fprintf(stderr, "usage: logging_child flood <home> return|exit|sigterm | diskfull <dir> | journal\n");
    return 64;
}
