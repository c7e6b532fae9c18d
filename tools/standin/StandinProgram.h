#pragma once
// What the stand-in programs share: reading their options, and serving
// until a stop signal arrives.

#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/Redact.h"
#include "platform/foundation/Value.h"
#include "standin/StandinServer.h"

namespace standin {

// A port from an option's text: digits only, 0 (a free port) to 65535.
std::optional<int> parsePort(std::string_view text);

// Walks a program's options. What does not read (an unknown option, a
// missing or malformed value) is named ("<program>: --port takes a port
// from 0 to 65535, not "8o80""), then the usage is printed and the program
// ends with status 2; "--help" and "-h" print the usage and end it with 0.
class ProgramOptions {
public:
    ProgramOptions(int argc, char** argv, std::string usage);

    // Moves to the next option; false after the last.
    bool next();
    const std::string& option() const { return option_; }

    // The current option's value, read as told.
    std::string value();
    int port();
    std::vector<int> ports();  // "P1,P2,..."
    // "NAME:REST", split at the first ":"; the name must not be empty.
    std::pair<std::string, std::string> pair();

    // The current option is none of the program's.
    [[noreturn]] void unknown();
    // The current option's `value` is not what it takes (`expected`: "optional or mandatory").
    [[noreturn]] void wrongValue(const std::string& value, const std::string& expected);

private:
    [[noreturn]] void fail(const std::string& what);

    int argc_;
    char** argv_;
    int index_ = 0;
    std::string usage_, option_;
};

// Stop signals (SIGINT, SIGTERM) are blocked from construction on, so that
// no server thread takes them, and wait() returns when one arrives. SIGPIPE
// is ignored. Construct before starting servers.
class StopSignals {
public:
    StopSignals();
    int wait();

private:
    sigset_t set_;
};

// Prints "KEY=value" lines of the settings that point a client at a stand-in.
void printSettings(const Value& settings);

// A line about an answered request: "<label>: METHOD PATH -> STATUS PLAYED
// READ", READ being what the stand-in read out of the request as JSON, with
// its credentials and personal data shortened as the client's own log
// shortens them (the names redact:: knows, and the wire format's `keys`),
// whole however long (what a request held is what one looks for).
std::string requestLine(const std::string& label, const JournalEntry& entry, const redact::Keys& keys = {});
// From now on, every request `server` answers is written to standard error
// as a requestLine labelled `label`.
void printRequests(HttpServer& server, const std::string& label, const redact::Keys& keys = {});

// The rest of a stand-in program: starts the stand-in, prints its settings
// and serves until SIGINT or SIGTERM. The program's status: 1 when a port
// is taken, else 0.
template <class Standin>
int serveUntilStopped(const char* program, Standin& standin) {
    StopSignals signals;  // before any server thread starts
    if (!standin.start()) {
        std::fprintf(stderr, "%s: a port is taken\n", program);
        return 1;
    }
    printSettings(standin.infoPlistSettings());
    signals.wait();
    standin.stop();
    return 0;
}

}  // namespace standin
