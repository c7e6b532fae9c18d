#include "support/TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/foundation/Strings.h"

namespace testsupport {

TempDir::TempDir(const std::string& prefix) {
    std::string tmpl = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    char* made = mkdtemp(tmpl.data());
    path_ = made ? fs::path(made) : fs::temp_directory_path() / prefix;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

TempHome::TempHome() : dir_("korvel-home") {
    previous_ = AppHome::root();
    AppHome::setRoot(dir_.path());
    NSUserDefaults::resetStandardUserDefaults();
}

TempHome::~TempHome() {
    AppHome::setRoot(previous_);
    NSUserDefaults::resetStandardUserDefaults();
}

TempBundle::TempBundle(const Value& info) : dir_("korvel-bundle") {
    previous_ = NSBundle::mainBundle().bundlePath();
    setInfo(info);
    NSBundle::setMainBundlePath(dir_.path());
}

TempBundle::~TempBundle() { NSBundle::setMainBundlePath(previous_); }

void TempBundle::setInfo(const Value& info) const {
    auto xml = info.toXMLPlist();
    files::writeAtomically(dir_.path() / "Info.plist", xml);
    NSBundle::mainBundle().reload();
}

void TempBundle::writeFile(const std::string& rel, const std::string& content) const {
    testsupport::writeFile(dir_.path() / rel, content);
}

void writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << content;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

namespace {

// A file of /proc, read with one system call at a time: "" once the
// process it describes is gone.
std::string procText(const fs::path& p) {
    std::string out;
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return out;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) out.append(buf, size_t(n));
    ::close(fd);
    return out;
}

}  // namespace

std::vector<ProcessFacts> processesUnder(int root) {
    struct Entry {
        int parent;
        ProcessFacts facts;
    };
    std::vector<Entry> all;
    std::error_code ec;
    for (auto& entry : fs::directory_iterator("/proc", ec)) {
        std::string number = entry.path().filename();
        if (number.find_first_not_of("0123456789") != std::string::npos) continue;
        std::string stat = procText(entry.path() / "stat");
        auto open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close < open) continue;
        auto fields = strings::split(stat.substr(close + 2), " ");
        if (fields.size() < 2) continue;
        std::string cmdline = procText(entry.path() / "cmdline");
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        all.push_back({std::atoi(fields[1].c_str()),
                       {std::atoi(number.c_str()), stat.substr(open + 1, close - open - 1), cmdline}});
    }
    std::vector<ProcessFacts> out;
    std::vector<int> parents{root};
    for (size_t i = 0; i < parents.size(); ++i)
        for (auto& e : all)
            if (e.parent == parents[i]) {
                out.push_back(e.facts);
                parents.push_back(e.facts.pid);
            }
    return out;
}

long ownStatusKiB(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
    return -1;
}

std::string built(const std::string& relative) { return (binaryDir() / relative).string(); }

StderrCapture::StderrCapture() : dir_("korvel-stderr"), path_(dir_.path() / "stderr.txt") {
    fflush(stderr);
    saved_ = fcntl(2, F_DUPFD_CLOEXEC, 3);
    int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    dup2(fd, 2);
    close(fd);
}

void StderrCapture::restore() {
    if (saved_ < 0) return;
    fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
}

std::string StderrCapture::text() const { return readFile(path_); }

long printedNumber(const std::string& text, const std::string& key) {
    auto at = text.find(key + "=");
    return at == std::string::npos ? -2 : std::stol(text.substr(at + key.size() + 1));
}

ProgramResult runProgram(const std::vector<std::string>& argv) {
    ProgramResult r;
    if (argv.empty()) return r;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return r;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return r;
    }
    std::vector<std::string> args = argv;
    std::vector<char*> cargs;
    for (auto& a : args) cargs.push_back(a.data());
    cargs.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        execv(cargs[0], cargs.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    // Both pipes are read as they fill, so a child writing much to one of
    // them never blocks on the other.
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* texts[2] = {&r.out, &r.err};
    for (int live = pid > 0 ? 2 : 0; live > 0;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents) continue;
            char buf[4096];
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --live;
            } else {
                texts[i]->append(buf, size_t(n));
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0) close(f.fd);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) r.status = WEXITSTATUS(status);
    return r;
}

int goneProcessId() {
    pid_t pid = fork();
    if (pid == 0) _exit(0);
    waitpid(pid, nullptr, 0);
    if (!waitFor([&] { return kill(pid, 0) != 0; })) std::abort();
    return pid;
}

}  // namespace testsupport
