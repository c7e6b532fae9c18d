#pragma once
// Helpers shared by the logging tests.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

#include "logging/VLAssert.h"
#include "logging/VLLog.h"
#include "support/TestSupport.h"

namespace logtest {

namespace fs = std::filesystem;

// A logger that remembers what it was given, on its own queue.
class RecordingLogger : public VLAbstractLogger {
public:
    explicit RecordingLogger(std::string name = "test.recording") : VLAbstractLogger(std::move(name)) {}

    void logMessage(const VLLogMessagePtr& m) override {
        std::optional<std::string> text = std::string(m->message());
        if (logFormatter_) text = logFormatter_->formatLogMessage(*m);
        std::lock_guard lock(mutex_);
        records_.push_back(m);
        if (text) texts_.push_back(*text);
        onQueue_ = onQueue_ && isOnInternalLoggerQueue();
        if (onMessage) onMessage(*m);
    }
    void didAddLogger(const std::shared_ptr<DispatchQueue>& q) override {
        addedQueue = q;
        ++added;
    }
    void willRemoveLogger() override { ++removed; }
    void flush() override {
        std::lock_guard lock(mutex_);
        flushedAfter_.push_back(records_.size());
    }

    std::vector<std::string> texts() {
        std::lock_guard lock(mutex_);
        return texts_;
    }
    std::vector<VLLogMessagePtr> records() {
        std::lock_guard lock(mutex_);
        return records_;
    }
    std::vector<size_t> flushes() {
        std::lock_guard lock(mutex_);
        return flushedAfter_;
    }
    bool alwaysOnOwnQueue() {
        std::lock_guard lock(mutex_);
        return onQueue_;
    }

    std::function<void(const VLLogMessage&)> onMessage;
    std::shared_ptr<DispatchQueue> addedQueue;
    std::atomic<int> added{0}, removed{0};

private:
    std::mutex mutex_;
    std::vector<VLLogMessagePtr> records_;
    std::vector<std::string> texts_;
    std::vector<size_t> flushedAfter_;
    bool onQueue_ = true;
};

// Collects assertion reports of the framework for the object's life.
class AssertionRecorder {
public:
    AssertionRecorder() {
        previous_ = vl::setAssertionHandler([this](const std::string& file, const std::string& text) {
            std::lock_guard lock(mutex_);
            reports_.push_back(file + ": " + text);
        });
    }
    ~AssertionRecorder() { vl::setAssertionHandler(previous_); }
    std::vector<std::string> reports() {
        std::lock_guard lock(mutex_);
        return reports_;
    }

private:
    vl::AssertionHandler previous_;
    std::mutex mutex_;
    std::vector<std::string> reports_;
};

using testsupport::StderrCapture;

// A datagram socket standing in for the journal; the platform log sends to
// it for the object's life.
class FakeJournal {
public:
    FakeJournal();
    ~FakeJournal();
    const fs::path& path() const { return path_; }
    // The next datagram, or "" after 5 seconds.
    std::string receive();
    bool empty();

private:
    testsupport::TempDir dir_;
    fs::path path_;
    int fd_;
};

// Every test leaves the registry empty and the queues quiet.
class LoggingTest : public ::testing::Test {
protected:
    void TearDown() override { resetLogging(); }

public:
    static void resetLogging() {
        VLLog::removeAllLoggers();
        VLLog::flushLog();
    }
};

// Lines of every file in `folder`, oldest file first by name.
std::vector<std::string> linesOfFolder(const fs::path& folder);
std::vector<std::string> linesOf(const fs::path& file);
std::vector<fs::path> filesIn(const fs::path& folder);  // sorted by name

}  // namespace logtest
