#pragma once
// The framework and the system log of other processes.
//
// VLASLLogger writes each record into the system log (the journal, else
// syslog) with the priority of its flag: error 2, warning 3, info 4,
// anything else 5. Its entries carry the field VLLOG=1, so the capture
// never reads them back; records the capture made are never written.
//
// VLASLLogCapture reads the entries that reach the journal after start()
// (from any process) and logs them through VLLog as records of the file
// "VLASLLogCapture": priority 0-2 as errors (synchronously), 3 warnings,
// 4 info, 5 debug, 6-7 verbose (asynchronously), each kept only when the
// capture level admits its flag.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "logging/VLLogger.h"

class VLASLLogger : public VLAbstractLogger {
public:
    static std::shared_ptr<VLASLLogger> sharedInstance();

    static int levelForFlag(uint64_t flag);
    void logMessage(const VLLogMessagePtr& message) override;

    VLASLLogger();  // use sharedInstance()
};

// What the capture reads: the journal, or a stand-in in tests.
class VLSystemLogSource {
public:
    struct Entry {
        std::optional<std::string> message;
        std::optional<int64_t> level;  // 0-7
        std::optional<double> time;    // seconds since 1970, with the fraction
        uint64_t id = 0;               // grows with each entry of one log
        std::string idSpace;           // the log the id counts in
        bool writtenByFramework = false;
    };
    virtual ~VLSystemLogSource() = default;
    // False, with a reason, when there is nothing to read.
    virtual bool open(std::string* error) = 0;
    // The next next() answers the first entry of that second or later.
    virtual void seekToTime(int64_t secondsSince1970) = 0;
    virtual bool next(Entry& entry) = 0;
    // Returns when new entries may have come, or after `timeout`.
    virtual void wait(std::chrono::milliseconds timeout) = 0;
};

class VLASLLogCapture {
public:
    // A second start() while a capture runs does nothing; start() right
    // after stop() keeps the one capture going, from the new start second.
    static void start();
    static void stop();
    static bool isRunning();

    static uint64_t captureLevel();  // default all five flags
    static void setCaptureLevel(uint64_t level);

    // One entry, as the capture hands it on.
    static void aslMessageReceived(const VLSystemLogSource::Entry& entry);

    // The journal unless replaced (tests).
    static void setSourceFactory(std::function<std::unique_ptr<VLSystemLogSource>()> factory);
    static std::unique_ptr<VLSystemLogSource> journalSource();
};
