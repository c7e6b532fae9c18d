#pragma once
// The game executable as a player starts it, for end-to-end tests under a
// virtual X server: korvel-game on a bundle and a home, its standard output
// and error going to a log file, stopped (SIGTERM, then SIGKILL) with the
// object. What the page says through KL_IOS.Error reaches that log.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

class GameProcess {
public:
    struct Options {
        std::filesystem::path bundle, home, log;
        // Further variables of the game's environment ("NAME", "value").
        std::vector<std::pair<std::string, std::string>> environment;
    };

    explicit GameProcess(const Options& options);
    GameProcess(const std::filesystem::path& bundle, const std::filesystem::path& home, std::filesystem::path log)
        : GameProcess(Options{bundle, home, std::move(log), {}}) {}
    ~GameProcess() { stop(); }
    GameProcess(const GameProcess&) = delete;
    GameProcess& operator=(const GameProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    // Ends the game as a desktop would (SIGTERM, which writes out what is
    // queued); false when it had to be killed.
    bool stop();
    // The exit code once the process has ended normally (-1 for a signal).
    int exitCode() const;
    std::string log() const;
    // What the page said through KL_IOS.Error, in order.
    std::vector<std::string> reports() const;
    bool reported(const std::string& prefix) const;
    // The log holds this text.
    bool logged(const std::string& text) const;
    // The processes the game started (at any depth) whose command name
    // begins with `name` (the kernel keeps its first 15 bytes).
    std::vector<pid_t> processesNamed(const std::string& name) const;

private:
    std::filesystem::path log_;
    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = 0;
};

// A desktop whose handler of http and https addresses only writes down what
// it is given, a line each; a game started with environment() hands its
// addresses to it.
class DesktopRecorder {
public:
    explicit DesktopRecorder(std::filesystem::path dir);
    std::vector<std::pair<std::string, std::string>> environment() const;
    std::string opened() const;

private:
    std::filesystem::path dir_;
};

}  // namespace testsupport
