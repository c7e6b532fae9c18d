#include "standin/StandinProgram.h"

#include <pthread.h>

#include <cstdlib>
#include <filesystem>

#include "platform/foundation/Redact.h"
#include "platform/foundation/Strings.h"

namespace standin {

std::optional<int> parsePort(std::string_view text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    int port = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        port = port * 10 + (c - '0');
    }
    if (port > 65535) return std::nullopt;
    return port;
}

ProgramOptions::ProgramOptions(int argc, char** argv, std::string usage)
    : argc_(argc), argv_(argv), usage_(std::move(usage)) {}

bool ProgramOptions::next() {
    if (index_ + 1 >= argc_) return false;
    option_ = argv_[++index_];
    if (option_ == "--help" || option_ == "-h") {
        std::fputs(usage_.c_str(), stdout);
        std::exit(0);
    }
    return true;
}

std::string ProgramOptions::value() {
    if (index_ + 1 >= argc_) fail(option_ + " needs a value");
    return argv_[++index_];
}

int ProgramOptions::port() {
    std::string v = value();
    auto p = parsePort(v);
    if (!p) wrongValue(v, "a port from 0 to 65535");
    return *p;
}

std::vector<int> ProgramOptions::ports() {
    std::string v = value();
    std::vector<int> out;
    for (auto& piece : strings::split(v, ",")) {
        auto p = parsePort(piece);
        if (!p) wrongValue(v, "ports from 0 to 65535 between commas");
        out.push_back(*p);
    }
    return out;
}

std::pair<std::string, std::string> ProgramOptions::pair() {
    std::string v = value();
    auto colon = v.find(':');
    if (colon == std::string::npos || colon == 0) wrongValue(v, "NAME:VALUE");
    return {v.substr(0, colon), v.substr(colon + 1)};
}

void ProgramOptions::unknown() { fail("unknown option " + option_); }

void ProgramOptions::wrongValue(const std::string& value, const std::string& expected) {
    fail(option_ + " takes " + expected + ", not \"" + value + "\"");
}

void ProgramOptions::fail(const std::string& what) {
    std::string program = argc_ > 0 ? std::filesystem::path(argv_[0]).filename().string() : "";
    std::fprintf(stderr, "%s: %s\n%s", program.c_str(), what.c_str(), usage_.c_str());
    std::exit(2);
}

StopSignals::StopSignals() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

int StopSignals::wait() {
    int sig = 0;
    sigwait(&set_, &sig);
    return sig;
}

std::string requestLine(const std::string& label, const JournalEntry& e, const redact::Keys& keys) {
    std::string read = e.decoded.isNull() ? "" : redact::json(e.decoded, keys);
    return strings::format("%s: %s %s -> %d %s %s", label.c_str(), e.request.method.c_str(), e.request.path.c_str(),
                           e.status, e.played.c_str(), read.c_str());
}

void printRequests(HttpServer& server, const std::string& label, const redact::Keys& keys) {
    server.setObserver([label, keys](const JournalEntry& e) {
        std::fprintf(stderr, "%s\n", requestLine(label, e, keys).c_str());
    });
}

void printSettings(const Value& settings) {
    for (auto& key : settings.keys()) std::printf("%s=%s\n", key.c_str(), settings.text(key).c_str());
    std::fflush(stdout);
}

}  // namespace standin
