#include "logging/VLLogFileManager.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"

namespace fs = std::filesystem;

namespace {

bool isKnownProtection(const std::string& p) {
    return p == NSFileProtectionNone || p == NSFileProtectionComplete || p == NSFileProtectionCompleteUnlessOpen ||
           p == NSFileProtectionCompleteUntilFirstUserAuthentication;
}

Error posixError(int err) {
    return Error::withDescription(NSPOSIXErrorDomain, err, strerror(err));
}

bool writeAll(int fd, const std::string& bytes) {
    size_t off = 0;
    while (off < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + off, bytes.size() - off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        off += size_t(n);
    }
    return true;
}

}  // namespace

VLLogFileManagerDefault::VLLogFileManagerDefault(path logsDirectory, std::string defaultFileProtectionLevel)
    : fileDateFormatter_(std::make_shared<NSDateFormatter>("yyyy'-'MM'-'dd'--'HH'-'mm'-'ss'-'SSS'",
                                                           NSDateFormatter::TimeZone::gmt())),
      logsDirectory_(logsDirectory.empty() ? defaultLogsDirectory() : std::move(logsDirectory)) {
    if (isKnownProtection(defaultFileProtectionLevel)) defaultFileProtectionLevel_ = std::move(defaultFileProtectionLevel);
}

fs::path VLLogFileManagerDefault::defaultLogsDirectory() { return AppHome::caches() / "Logs"; }

std::string VLLogFileManagerDefault::applicationName() {
    static const std::string* name = [] {
        std::string id = NSBundle::mainBundle().bundleIdentifier();
        if (id.empty() && program_invocation_short_name) id = program_invocation_short_name;
        return new std::string(id);
    }();
    return *name;
}

void VLLogFileManagerDefault::setMaximumNumberOfLogFiles(uint64_t count) {
    if (maximumNumberOfLogFiles_.exchange(count) != count) deleteOldFilesForConfigurationChange();
}

void VLLogFileManagerDefault::setLogFilesDiskQuota(uint64_t bytes) {
    if (logFilesDiskQuota_.exchange(bytes) != bytes) deleteOldFilesForConfigurationChange();
}

void VLLogFileManagerDefault::deleteOldFilesForConfigurationChange() {
    auto self = weak_from_this().lock();
    if (!self) {
        deleteOldLogFiles();
        return;
    }
    DispatchQueue::global()->async([self] { self->deleteOldLogFiles(); });
}

fs::path VLLogFileManagerDefault::logsDirectory() {
    Error error;
    if (!files::createDirectories(logsDirectory_, &error) && folderReports_.allow())
        NSLog("VLFileLogManagerDefault: Error creating logsDirectory: %s", error.localizedDescription().c_str());
    return logsDirectory_;
}

bool VLLogFileManagerDefault::isLogFile(const std::string& fileName) const {
    return strings::hasPrefix(fileName, applicationName() + " ") && strings::hasSuffix(fileName, ".log");
}

std::vector<fs::path> VLLogFileManagerDefault::unsortedLogFilePaths() {
    std::vector<fs::path> out;
    fs::path dir = logsDirectory();
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) return out;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        std::string name = it->path().filename().string();
        if (isLogFile(name)) out.push_back(dir / name);
    }
    return out;
}

std::vector<std::string> VLLogFileManagerDefault::unsortedLogFileNames() {
    std::vector<std::string> out;
    for (auto& p : unsortedLogFilePaths()) out.push_back(p.filename().string());
    return out;
}

VLLogFileManager::InfoList VLLogFileManagerDefault::unsortedLogFileInfos() {
    InfoList out;
    for (auto& p : unsortedLogFilePaths()) out.push_back(std::make_shared<VLLogFileInfo>(p));
    return out;
}

VLLogFileManager::InfoList VLLogFileManagerDefault::sortedLogFileInfos() {
    // Each file's date is found once, so the order is consistent: the date
    // in its name, else its creation date, else now.
    struct Entry {
        std::shared_ptr<VLLogFileInfo> info;
        NSDateFormatter::Date date;
    };
    std::vector<Entry> entries;
    auto now = Clock::current().wallNow();
    for (auto& info : unsortedLogFileInfos()) {
        auto date = VLLogFileInfo::dateInFileName(info->fileName());
        if (!date) date = info->creationDate();
        entries.push_back({info, date.value_or(now)});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.date > b.date; });
    InfoList out;
    for (auto& e : entries) out.push_back(e.info);
    return out;
}

std::vector<fs::path> VLLogFileManagerDefault::sortedLogFilePaths() {
    std::vector<fs::path> out;
    for (auto& info : sortedLogFileInfos()) out.push_back(info->filePath());
    return out;
}

std::vector<std::string> VLLogFileManagerDefault::sortedLogFileNames() {
    std::vector<std::string> out;
    for (auto& info : sortedLogFileInfos()) out.push_back(info->fileName());
    return out;
}

std::string VLLogFileManagerDefault::newLogFileName() const {
    return strings::format("%s %s.log", applicationName().c_str(),
                           fileDateFormatter_->stringFromDate(Clock::current().wallNow()).c_str());
}

std::string VLLogFileManagerDefault::logFileHeaderData() {
    auto header = logFileHeader();
    if (!header || header->empty()) return {};
    std::string data = *header;
    if (data.back() != '\n') data += '\n';
    return data;
}

std::optional<fs::path> VLLogFileManagerDefault::createNewLogFile(Error* error) {
    std::string base = newLogFileName();
    fs::path dir = logsDirectory();
    std::string header = logFileHeaderData();
    unsigned long attempt = 1;
    int criticalErrors = 0;
    Error lastCritical;
    std::optional<bool> report;  // decided at the first failure, for all of this call's lines
    auto reporting = [&] {
        if (!report) report = creationReports_.allow();
        return *report;
    };
    while (criticalErrors < 5) {
        std::string name = base;
        if (attempt > 1) {
            fs::path p(base);
            std::string ext = p.extension().string();
            name = strings::format("%s %lu%s", p.stem().string().c_str(), attempt, ext.c_str());
        }
        fs::path filePath = dir / name;
        int fd = ::open(filePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, files::kPrivateFileMode);
        if (fd < 0 && errno == EEXIST) {
            ++attempt;
            continue;
        }
        int err = fd < 0 ? errno : 0;
        if (fd >= 0) ::fchmod(fd, files::kPrivateFileMode);  // whatever the umask
        if (fd >= 0 && !header.empty() && !writeAll(fd, header)) {
            // A half-written header would leave a file nobody writes to.
            err = errno ? errno : EIO;
            ::unlink(filePath.c_str());
        }
        if (fd >= 0) ::close(fd);
        if (err == 0) {
            {
                // Its logger has not opened it yet: the pass below must not take it.
                std::lock_guard lock(deleteMutex_);
                lastCreated_ = filePath;
            }
            creationReports_.reset();
            deleteOldFilesForConfigurationChange();
            return filePath;
        }
        // The same error again says nothing new.
        bool repeated = criticalErrors > 0 && lastCritical.code == err;
        lastCritical = posixError(err);
        if (!repeated && reporting())
            NSLog("VLLogFileManagerDefault: Critical error while creating log file: %s",
                  lastCritical.localizedDescription().c_str());
        ++criticalErrors;
        // The folder may have been removed meanwhile.
        if (err == ENOENT) dir = logsDirectory();
    }
    if (reporting()) NSLog("VLLogFileManagerDefault: Bailing file creation, encountered %ld errors.", long(criticalErrors));
    if (error) *error = lastCritical;
    return std::nullopt;
}

bool VLLogFileManagerDefault::applicationCanRunInBackground() {
    const Value& modes = NSBundle::mainBundle().objectForInfoDictionaryKey("UIBackgroundModes");
    if (!modes.isArray()) return false;
    for (size_t i = 0; i < modes.size(); ++i)
        if (!modes[i].stringOr("").empty()) return true;
    return false;
}

std::string VLLogFileManagerDefault::logFileProtection() const {
    if (!defaultFileProtectionLevel_.empty()) return defaultFileProtectionLevel_;
    return applicationCanRunInBackground() ? NSFileProtectionCompleteUntilFirstUserAuthentication
                                           : NSFileProtectionCompleteUnlessOpen;
}

void VLLogFileManagerDefault::deleteOldLogFiles() {
    // One pass at a time: two at once would race to delete the same files.
    std::lock_guard lock(deleteMutex_);
    InfoList infos = sortedLogFileInfos();
    uint64_t maxCount = maximumNumberOfLogFiles();
    uint64_t quota = logFilesDiskQuota();
    const size_t none = size_t(-1);
    size_t first = none;
    if (quota > 0) {
        uint64_t used = 0;
        for (size_t i = 0; i < infos.size(); ++i) {
            used += infos[i]->fileSize();
            if (used > quota) {
                first = i;
                break;
            }
        }
    }
    if (maxCount > 0) first = first == none ? size_t(maxCount) : std::min(first, size_t(maxCount));
    if (first == none) return;
    if (first == 0 && !infos.empty() && !infos[0]->isArchived()) first = 1;
    for (size_t i = first; i < infos.size(); ++i) {
        const fs::path& p = infos[i]->filePath();
        if (VLLogFileInfo::isFileInUse(p) || p == lastCreated_) continue;
        if (::unlink(p.c_str()) != 0 && errno != ENOENT)
            NSLog("VLLogFileManagerDefault: Error deleting file %s: %s", p.c_str(), strerror(errno));
    }
}
