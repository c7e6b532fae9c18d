#pragma once
// The base of loggers that store records in a database. A subclass takes
// records into a pending batch (db_log) and writes and prunes its storage
// (db_save, db_delete, db_saveAndDelete); this class decides when: a save
// once saveThreshold() records are pending or saveInterval() seconds after
// the first of them, and a deletion of entries older than maxAge() every
// deleteInterval() seconds. Timers follow the installed clock.
//
// Make subclasses with std::make_shared.

#include <chrono>
#include <memory>

#include "logging/VLLogger.h"
#include "platform/dispatch/DispatchSync.h"

class VLAbstractDatabaseLogger : public VLAbstractLogger {
public:
    explicit VLAbstractDatabaseLogger(std::string name = "VLAbstractDatabaseLogger");
    ~VLAbstractDatabaseLogger() override;

    // Settings: reads wait on the logger's queue (through the global
    // logging queue), changes do not wait.
    uint64_t saveThreshold();  // default 500; 0: no save by count
    void setSaveThreshold(uint64_t count);
    double saveInterval();  // seconds; default 60; <= 0: no save by time
    void setSaveInterval(double seconds);
    double maxAge();  // seconds; default 7 days; <= 0: nothing deleted
    void setMaxAge(double seconds);
    double deleteInterval();  // seconds; default 300; <= 0: no delete timer
    void setDeleteInterval(double seconds);
    bool deleteOnEverySave();
    void setDeleteOnEverySave(bool v);

    void savePendingLogEntries();
    void deleteOldLogEntries();

    void logMessage(const VLLogMessagePtr& message) override;
    void didAddLogger() override;
    void willRemoveLogger() override;
    void flush() override;

protected:
    // Supplied by a subclass; called on the logger's queue.
    virtual bool db_log(const VLLogMessagePtr& message) { return false; }
    virtual void db_save() {}
    virtual void db_delete() {}
    virtual void db_saveAndDelete() {}

private:
    using Clock_ = std::chrono::steady_clock;
    static constexpr const char* kFile = "VLAbstractDatabaseLogger";

    void performSaveAndSuspendSaveTimer();
    void performDelete();
    void createSuspendedSaveTimer();
    void updateAndResumeSaveTimer();
    void destroySaveTimer();
    void createAndStartDeleteTimer();
    void updateDeleteTimer();
    void destroyDeleteTimer();
    // Runs `work` on the logger's queue, waiting or not.
    void onQueue(std::function<void()> work);
    std::weak_ptr<VLAbstractDatabaseLogger> weakSelf();

    uint64_t saveThreshold_ = 500;
    double saveInterval_ = 60;
    double maxAge_ = 7 * 24 * 3600;
    double deleteInterval_ = 300;
    bool deleteOnEverySave_ = false;
    int saveTimerState_ = 0;  // -1 made but never started, 0 running (or none), 1 suspended
    uint64_t unsavedCount_ = 0;
    std::optional<Clock_::time_point> unsavedTime_;
    std::shared_ptr<DispatchTimer> saveTimer_;
    std::optional<Clock_::time_point> lastDeleteTime_;
    std::shared_ptr<DispatchTimer> deleteTimer_;
};
