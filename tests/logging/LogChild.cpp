// A child process for the logging tests.
//
//   logging_child flood <home> return|exit|sigterm
//       4 threads log 25,000 lines each to the shell's file logger set-up
//       under <home>, then the process ends at once: by returning from
//       main, by exit() from another thread, or by SIGTERM (it prints
//       "ready" and waits for the signal).
//   logging_child diskfull <dir>
//       In a private mount namespace, mounts a 256 KiB tmpfs on <dir>, logs
//       until the disk is full, frees some room, logs again, and checks the
//       file: prints "OK ..." or "FAIL ..." and exits 0 or 1.

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

#include "logging/VLFileLogger.h"
#include "logging/VLLog.h"
#include "platform/foundation/AppHome.h"

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

bool writeFile(const char* path, const std::string& text) {
    int fd = open(path, O_WRONLY);
    if (fd < 0) return false;
    bool ok = write(fd, text.data(), text.size()) == ssize_t(text.size());
    close(fd);
    return ok;
}

// A mount namespace of our own: as root directly, else as the root of a
// new user namespace.
bool privateMountNamespace() {
    if (unshare(CLONE_NEWNS) != 0) {
        uid_t uid = getuid();
        gid_t gid = getgid();
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
            fprintf(stderr, "logging_child: no private mount namespace: %s\n", strerror(errno));
            return false;
        }
        writeFile("/proc/self/setgroups", "deny");
        if (!writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
            fprintf(stderr, "logging_child: cannot map the user: %s\n", strerror(errno));
            return false;
        }
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        fprintf(stderr, "logging_child: cannot make mounts private: %s\n", strerror(errno));
        return false;
    }
    return true;
}

int diskFull(const fs::path& dir) {
    if (!privateMountNamespace()) return 2;
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
    for (int i = 0; i < total; ++i)
        VLLog::log(true, VLLogLevelAll, VLLogFlagInfo, 0, "f", "fn", 1, Value(), "line %06d %s", i, pad.c_str());
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

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "flood" && argc == 4) return flood(argv[2], argv[3]);
    if (mode == "diskfull" && argc == 3) return diskFull(argv[2]);
    fprintf(stderr, "usage: logging_child flood <home> return|exit|sigterm | diskfull <dir>\n");
    return 64;
}
