#include "logging/VLAbstractDatabaseLogger.h"

#include <cmath>

#include "logging/VLLog.h"
#include "platform/dispatch/Clock.h"

namespace {

std::chrono::nanoseconds seconds(double s) { return std::chrono::nanoseconds(int64_t(s * 1e9)); }

// A comparison where either side is not a number counts as no change.
bool changed(double a, double b) { return !std::isnan(a) && !std::isnan(b) && a != b; }

}  // namespace

VLAbstractDatabaseLogger::VLAbstractDatabaseLogger(std::string name) : VLAbstractLogger(std::move(name)) {}

VLAbstractDatabaseLogger::~VLAbstractDatabaseLogger() {
    loggerQueue_->sync([this] {
        destroySaveTimer();
        destroyDeleteTimer();
    });
}

std::weak_ptr<VLAbstractDatabaseLogger> VLAbstractDatabaseLogger::weakSelf() {
    return std::static_pointer_cast<VLAbstractDatabaseLogger>(weak_from_this().lock());
}

void VLAbstractDatabaseLogger::onQueue(std::function<void()> work) { changeSetting(kFile, std::move(work)); }

// ---- settings ----

uint64_t VLAbstractDatabaseLogger::saveThreshold() {
    return readSetting(kFile, [this] { return saveThreshold_; });
}

void VLAbstractDatabaseLogger::setSaveThreshold(uint64_t count) {
    onQueue([this, count] {
        if (count == saveThreshold_) return;
        saveThreshold_ = count;
        if (saveThreshold_ > 0 && unsavedCount_ >= saveThreshold_) performSaveAndSuspendSaveTimer();
    });
}

double VLAbstractDatabaseLogger::saveInterval() {
    return readSetting(kFile, [this] { return saveInterval_; });
}

void VLAbstractDatabaseLogger::setSaveInterval(double interval) {
    onQueue([this, interval] {
        if (!changed(interval, saveInterval_)) return;
        saveInterval_ = interval;
        if (saveInterval_ > 0) {
            if (!saveTimer_) createSuspendedSaveTimer();
            updateAndResumeSaveTimer();
        } else if (saveTimer_) {
            destroySaveTimer();
        }
    });
}

double VLAbstractDatabaseLogger::maxAge() {
    return readSetting(kFile, [this] { return maxAge_; });
}

void VLAbstractDatabaseLogger::setMaxAge(double age) {
    onQueue([this, age] {
        if (!changed(age, maxAge_)) return;
        double old = maxAge_;
        maxAge_ = age;
        bool deleteNow = false;
        if (old > 0) {
            if (age <= 0) destroyDeleteTimer();
            else if (age < old) deleteNow = true;
        } else if (age > 0) {
            deleteNow = true;
        }
        if (!deleteNow) return;
        performDelete();
        if (deleteTimer_) updateDeleteTimer();
        else createAndStartDeleteTimer();
    });
}

double VLAbstractDatabaseLogger::deleteInterval() {
    return readSetting(kFile, [this] { return deleteInterval_; });
}

void VLAbstractDatabaseLogger::setDeleteInterval(double interval) {
    onQueue([this, interval] {
        if (!changed(interval, deleteInterval_)) return;
        deleteInterval_ = interval;
        if (deleteInterval_ > 0) {
            if (deleteTimer_) updateDeleteTimer();
            else createAndStartDeleteTimer();
        } else if (deleteTimer_) {
            destroyDeleteTimer();
        }
    });
}

bool VLAbstractDatabaseLogger::deleteOnEverySave() {
    return readSetting(kFile, [this] { return deleteOnEverySave_; });
}

void VLAbstractDatabaseLogger::setDeleteOnEverySave(bool v) {
    onQueue([this, v] { deleteOnEverySave_ = v; });
}

void VLAbstractDatabaseLogger::savePendingLogEntries() {
    onQueue([this] { performSaveAndSuspendSaveTimer(); });
}

void VLAbstractDatabaseLogger::deleteOldLogEntries() {
    onQueue([this] { performDelete(); });
}

// ---- records ----

void VLAbstractDatabaseLogger::logMessage(const VLLogMessagePtr& message) {
    if (!db_log(message)) return;
    ++unsavedCount_;
    if (saveThreshold_ > 0 && unsavedCount_ >= saveThreshold_) {
        performSaveAndSuspendSaveTimer();
        return;
    }
    if (unsavedCount_ == 1) {
        unsavedTime_ = Clock::current().now();
        updateAndResumeSaveTimer();
    }
}

void VLAbstractDatabaseLogger::didAddLogger() {
    createSuspendedSaveTimer();
    createAndStartDeleteTimer();
}

void VLAbstractDatabaseLogger::willRemoveLogger() {
    performSaveAndSuspendSaveTimer();
    destroySaveTimer();
    destroyDeleteTimer();
}

void VLAbstractDatabaseLogger::flush() { performSaveAndSuspendSaveTimer(); }

// ---- steps ----

void VLAbstractDatabaseLogger::performSaveAndSuspendSaveTimer() {
    if (unsavedCount_ > 0) {
        if (deleteOnEverySave_) db_saveAndDelete();
        else db_save();
    }
    unsavedCount_ = 0;
    unsavedTime_.reset();
    if (saveTimer_ && saveTimerState_ == 0) {
        saveTimer_->suspend();
        saveTimerState_ = 1;
    }
}

void VLAbstractDatabaseLogger::performDelete() {
    if (maxAge_ > 0) {
        db_delete();
        lastDeleteTime_ = Clock::current().now();
    }
}

void VLAbstractDatabaseLogger::createSuspendedSaveTimer() {
    if (saveTimer_ || saveInterval_ <= 0) return;
    saveTimer_ = DispatchTimer::create(loggerQueue_);
    auto weak = weakSelf();
    saveTimer_->setEventHandler([weak] {
        if (auto self = weak.lock()) self->performSaveAndSuspendSaveTimer();
    });
    saveTimerState_ = -1;
}

void VLAbstractDatabaseLogger::updateAndResumeSaveTimer() {
    if (!saveTimer_ || saveInterval_ <= 0 || !unsavedTime_) return;
    auto first = *unsavedTime_ + seconds(saveInterval_) - Clock::current().now();
    saveTimer_->schedule(std::max(first, std::chrono::nanoseconds(0)), seconds(saveInterval_));
    if (saveTimerState_ != 0) {
        saveTimer_->resume();
        saveTimerState_ = 0;
    }
}

void VLAbstractDatabaseLogger::destroySaveTimer() {
    if (!saveTimer_) return;
    saveTimer_->cancel();
    saveTimer_.reset();
    saveTimerState_ = 0;
}

void VLAbstractDatabaseLogger::createAndStartDeleteTimer() {
    if (deleteTimer_ || deleteInterval_ <= 0 || maxAge_ <= 0) return;
    deleteTimer_ = DispatchTimer::create(loggerQueue_);
    auto weak = weakSelf();
    deleteTimer_->setEventHandler([weak] {
        if (auto self = weak.lock()) self->performDelete();
    });
    updateDeleteTimer();
    deleteTimer_->resume();
}

void VLAbstractDatabaseLogger::updateDeleteTimer() {
    if (!deleteTimer_ || deleteInterval_ <= 0 || maxAge_ <= 0) return;
    auto now = Clock::current().now();
    auto first = lastDeleteTime_ ? *lastDeleteTime_ + seconds(deleteInterval_) - now : seconds(deleteInterval_);
    deleteTimer_->schedule(std::max(first, std::chrono::nanoseconds(0)), seconds(deleteInterval_));
}

void VLAbstractDatabaseLogger::destroyDeleteTimer() {
    if (!deleteTimer_) return;
    deleteTimer_->cancel();
    deleteTimer_.reset();
}
