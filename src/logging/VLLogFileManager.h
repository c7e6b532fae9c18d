#pragma once
// The folder of log files of the rolling file logger: where it is, how a
// log file is named and recognised, listing newest first, creating a new
// file, and deleting surplus files by count and by total size.
//
// Files are named "<application name> <GMT yyyy-MM-dd--HH-mm-ss-SSS>.log"
// (a blank and a number from 2 upward before ".log" when the name was
// taken). The application name is the main bundle's identifier, else the
// process name.

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "logging/VLLogFileInfo.h"
#include "logging/VLReportThrottle.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/NSDateFormatter.h"

class VLLogFileManager {
public:
    using path = std::filesystem::path;
    using InfoList = std::vector<std::shared_ptr<VLLogFileInfo>>;

    virtual ~VLLogFileManager() = default;

    // A new empty log file (with the header, if any); nullopt and `error`
    // when none could be made.
    virtual std::optional<path> createNewLogFile(Error* error) = 0;
    // 0: no limit.
    virtual uint64_t maximumNumberOfLogFiles() = 0;
    virtual void setMaximumNumberOfLogFiles(uint64_t count) = 0;
    // Bytes; 0: no quota.
    virtual uint64_t logFilesDiskQuota() = 0;
    virtual void setLogFilesDiskQuota(uint64_t bytes) = 0;
    virtual path logsDirectory() = 0;

    virtual std::vector<path> unsortedLogFilePaths() = 0;
    virtual std::vector<std::string> unsortedLogFileNames() = 0;
    virtual InfoList unsortedLogFileInfos() = 0;
    // Newest first.
    virtual std::vector<path> sortedLogFilePaths() = 0;
    virtual std::vector<std::string> sortedLogFileNames() = 0;
    virtual InfoList sortedLogFileInfos() = 0;

    // Told, on the file logger's completion queue, that a file was archived:
    // rolled by the logger, or found too old or too large at start. By
    // default passes on to one of the two short forms.
    virtual void didArchiveLogFile_wasRolled(const path& logFilePath, bool wasRolled) {
        if (wasRolled) didRollAndArchiveLogFile(logFilePath);
        else didArchiveLogFile(logFilePath);
    }
    virtual void didArchiveLogFile(const path& logFilePath) {}
    virtual void didRollAndArchiveLogFile(const path& logFilePath) {}
};

// Data-protection classes a manager may be given; Linux keeps none, so the
// class is remembered and answered but not applied to files.
inline constexpr const char* NSFileProtectionNone = "NSFileProtectionNone";
inline constexpr const char* NSFileProtectionComplete = "NSFileProtectionComplete";
inline constexpr const char* NSFileProtectionCompleteUnlessOpen = "NSFileProtectionCompleteUnlessOpen";
inline constexpr const char* NSFileProtectionCompleteUntilFirstUserAuthentication =
    "NSFileProtectionCompleteUntilFirstUserAuthentication";

class VLLogFileManagerDefault : public VLLogFileManager, public std::enable_shared_from_this<VLLogFileManagerDefault> {
public:
    // An empty folder: AppHome::caches() / "Logs".
    explicit VLLogFileManagerDefault(path logsDirectory = {}, std::string defaultFileProtectionLevel = {});

    std::optional<path> createNewLogFile(Error* error) override;
    uint64_t maximumNumberOfLogFiles() override { return maximumNumberOfLogFiles_.load(); }
    void setMaximumNumberOfLogFiles(uint64_t count) override;
    uint64_t logFilesDiskQuota() override { return logFilesDiskQuota_.load(); }
    void setLogFilesDiskQuota(uint64_t bytes) override;
    // Created, with missing parents, on every call.
    path logsDirectory() override;

    std::vector<path> unsortedLogFilePaths() override;
    std::vector<std::string> unsortedLogFileNames() override;
    InfoList unsortedLogFileInfos() override;
    std::vector<path> sortedLogFilePaths() override;
    std::vector<std::string> sortedLogFileNames() override;
    InfoList sortedLogFileInfos() override;

    static path defaultLogsDirectory();
    static std::string applicationName();
    bool isLogFile(const std::string& fileName) const;
    std::string newLogFileName() const;
    const NSDateFormatter& logFileDateFormatter() const { return *fileDateFormatter_; }
    // nullopt in this class; a subclass may give a first line for each file.
    virtual std::optional<std::string> logFileHeader() { return std::nullopt; }
    std::string logFileHeaderData();

    std::string logFileProtection() const;
    const std::string& defaultFileProtectionLevel() const { return defaultFileProtectionLevel_; }

    // Queues a deletion pass on the global queue and returns.
    void deleteOldFilesForConfigurationChange();
    // Deletes, beyond the newest maximumNumberOfLogFiles() files and beyond
    // the quota, every older file; never the unarchived newest file, a file
    // a logger has open, nor the file this manager made last.
    void deleteOldLogFiles();

    // Whether the application declares background modes (Info.plist
    // "UIBackgroundModes" with a non-empty entry).
    static bool applicationCanRunInBackground();

private:
    std::shared_ptr<const NSDateFormatter> fileDateFormatter_;
    std::atomic<uint64_t> maximumNumberOfLogFiles_{5};
    std::atomic<uint64_t> logFilesDiskQuota_{20 * 1024 * 1024};
    path logsDirectory_;
    std::string defaultFileProtectionLevel_;
    std::mutex deleteMutex_;
    path lastCreated_;  // guarded by deleteMutex_
    // A folder or file that cannot be made is tried again for every line:
    // each kind of failure is reported once a minute at most.
    VLReportThrottle folderReports_;
    VLReportThrottle creationReports_;
};
