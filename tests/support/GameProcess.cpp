#include "support/GameProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/foundation/Strings.h"
#include "support/TestSupport.h"

namespace testsupport {

GameProcess::GameProcess(const Options& options) : log_(options.log) {
    std::string binary = testsupport::built("app/korvel-game");
    pid_ = fork();
    if (pid_ == 0) {
        int fd = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd >= 0) {
            dup2(fd, STDOUT_FILENO);
            dup2(fd, STDERR_FILENO);
        }
        for (auto& [name, value] : options.environment) setenv(name.c_str(), value.c_str(), 1);
        execl(binary.c_str(), binary.c_str(), "--bundle", options.bundle.c_str(), "--home", options.home.c_str(),
              nullptr);
        _exit(127);
    }
}

bool GameProcess::stop() {
    if (!running()) return true;
    ::kill(pid_, SIGTERM);
    if (waitFor([this] { return !running(); }, std::chrono::seconds(10))) return true;
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    exited_ = true;
    return false;
}

bool GameProcess::running() {
    if (exited_ || pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        status_ = status;
    }
    return !exited_;
}

int GameProcess::exitCode() const { return exited_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }

std::string GameProcess::log() const { return readFile(log_); }

std::vector<std::string> GameProcess::reports() const {
    std::vector<std::string> out;
    for (auto& line : strings::split(log(), "\n")) {
        auto at = line.find("js_error: ");
        if (at != std::string::npos) out.push_back(line.substr(at + 10));
    }
    return out;
}

bool GameProcess::reported(const std::string& prefix) const {
    for (auto& r : reports())
        if (strings::hasPrefix(r, prefix)) return true;
    return false;
}

bool GameProcess::logged(const std::string& text) const { return log().find(text) != std::string::npos; }

std::vector<pid_t> GameProcess::processesNamed(const std::string& name) const {
    std::vector<pid_t> out;
    for (auto& p : processesUnder(pid_))
        if (strings::hasPrefix(p.name, name)) out.push_back(p.pid);
    return out;
}

DesktopRecorder::DesktopRecorder(std::filesystem::path dir) : dir_(std::move(dir)) {
    writeFile(dir_ / "record.sh", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"" + (dir_ / "opened").string() + "\"\n");
    std::filesystem::permissions(dir_ / "record.sh", std::filesystem::perms::owner_all);
    writeFile(dir_ / "data/applications/korvel-recorder.desktop",
              "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" + (dir_ / "record.sh").string() +
                  " %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\n");
    writeFile(dir_ / "config/mimeapps.list",
              "[Default Applications]\nx-scheme-handler/https=korvel-recorder.desktop\n"
              "x-scheme-handler/http=korvel-recorder.desktop\n");
}

std::vector<std::pair<std::string, std::string>> DesktopRecorder::environment() const {
    return {{"XDG_DATA_HOME", (dir_ / "data").string()}, {"XDG_CONFIG_HOME", (dir_ / "config").string()}};
}

std::string DesktopRecorder::opened() const {
    return std::filesystem::exists(dir_ / "opened") ? readFile(dir_ / "opened") : "";
}

}  // namespace testsupport
