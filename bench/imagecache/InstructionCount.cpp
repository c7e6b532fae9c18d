#include "InstructionCount.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace fs = std::filesystem;

namespace bench {

namespace {

bool hasLine(const std::string& text, const std::string& line) {
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        if (l == line) return true;
    return false;
}

std::optional<uint64_t> totals(const std::string& text) {
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        if (l.rfind("totals: ", 0) == 0) return std::strtoull(l.c_str() + 8, nullptr, 10);
    return std::nullopt;
}

std::string readWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Runs the command with its output in `log`; its exit status, or -1.
int runQuietly(const std::vector<std::string>& command, const fs::path& log) {
    std::vector<char*> argv;
    for (auto& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace

std::optional<uint64_t> callgrindTotal(const std::vector<std::string>& dumps, const std::string& label) {
    for (auto& text : dumps)
        if (hasLine(text, "desc: Trigger: Client Request: " + label)) return totals(text);
    return std::nullopt;
}

CallgrindRun runUnderCallgrind(const std::vector<std::string>& arguments) {
    CallgrindRun run;
    char pattern[] = "/tmp/callgrind-XXXXXX";
    if (!mkdtemp(pattern)) return {{}, "no temporary folder"};
    fs::path folder = pattern;
    std::vector<std::string> command{"valgrind", "--tool=callgrind",
                                     "--callgrind-out-file=" + (folder / "cg").string()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    int status = runQuietly(command, folder / "log");
    if (status != 0) {
        std::string log = readWhole(folder / "log");
        run.failure = status < 0 || status == 127 ? "valgrind could not be run (is it installed?)"
                                 : "valgrind ended with status " + std::to_string(status) + ": " +
                                       log.substr(0, log.find('\n'));
    } else {
        for (auto& entry : fs::directory_iterator(folder))
            if (entry.path().filename().string().rfind("cg", 0) == 0) run.dumps.push_back(readWhole(entry.path()));
        if (run.dumps.empty()) run.failure = "callgrind wrote no dump";
    }
    std::error_code ec;
    fs::remove_all(folder, ec);
    return run;
}

}  // namespace bench
