#pragma once
// The platform log: standard error, plus the system journal where its socket
// exists, else syslog. A send never blocks: when the journal or syslog socket,
// or a pipe or terminal on standard error, cannot take a line at once, the
// line is dropped there and counted.

#include <cstdint>
#include <string>
#include <string_view>

// printf-style; the format is checked by the compiler, so user text is
// always passed as an argument ("%s"), never as the format.
void NSLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

namespace PlatformLog {

enum class Priority { Error = 3, Warning = 4, Notice = 5, Info = 6, Debug = 7 };

// One message to every sink. `identifier` overrides the process's log
// identifier for this message (journal SYSLOG_IDENTIFIER / syslog tag);
// `fields` are extra journal fields as "KEY=value" lines.
void write(Priority priority, std::string_view message, std::string_view identifier = {},
           std::string_view fields = {});

void setIdentifier(const std::string& identifier);  // default: the executable's name
std::string identifier();

// Only the journal or syslog (no standard error line); false when neither
// exists, so the caller can choose another road.
bool writeToSystemLog(Priority priority, std::string_view message, std::string_view identifier = {},
                      std::string_view fields = {});
// Only standard error, in the same line layout as write(); false when the
// line was dropped.
bool writeToStderr(std::string_view message, std::string_view identifier = {});
// Bytes as they are, in one write, without blocking; false when dropped.
bool writeRawToStderr(std::string_view bytes);

// Standard error is written by default; tests and the console logger may turn it off.
void setStderrEnabled(bool enabled);

enum class Sink { Journal, Syslog, None };
Sink systemSink();  // what write() uses besides standard error
uint64_t droppedCount();
// Points the system sink at another datagram socket (tests stand in for the
// journal or syslog); Sink::None turns it off. False when it cannot connect.
bool connectSystemSink(Sink sink, const std::string& socketPath);

}  // namespace PlatformLog
