#include "logging/VLLogFileInfo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "logging/VLAssert.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/foundation/Value.h"

namespace {

std::string userAttribute(const std::string& name) { return "user." + name; }

bool unsupported(int err) { return err == ENOTSUP || err == EOPNOTSUPP; }

VLFileAttributes::Date fromStatx(const statx_timestamp& t) {
    return VLFileAttributes::Date(std::chrono::duration_cast<VLFileAttributes::Date::duration>(
        std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec)));
}

std::mutex gInUseMutex;
std::multiset<std::string>& inUse() {
    static auto* s = new std::multiset<std::string>();
    return *s;
}

// "yyyy-MM-dd--HH-mm-ss-SSS" with a year of 4 to 9 digits, whatever the numbers.
bool hasDateShape(std::string_view piece) {
    static constexpr std::string_view rest = "-00-00--00-00-00-000";
    if (piece.size() < rest.size() + 4 || piece.size() > rest.size() + 9) return false;
    size_t year = piece.size() - rest.size();
    for (size_t i = 0; i < piece.size(); ++i) {
        char want = i < year ? '0' : rest[i - year];
        bool digit = piece[i] >= '0' && piece[i] <= '9';
        if (want == '0' ? !digit : piece[i] != want) return false;
    }
    return true;
}

}  // namespace

std::optional<VLLogFileInfo::Date> VLLogFileInfo::dateInFileName(const std::string& name) {
    static const NSDateFormatter* f = new NSDateFormatter("yyyy'-'MM'-'dd'--'HH'-'mm'-'ss'-'SSS'");
    size_t blank = name.rfind(' ');
    std::string_view piece(name);
    if (blank != std::string::npos) piece.remove_prefix(blank + 1);
    if (strings::hasSuffix(piece, ".log")) piece.remove_suffix(4);
    auto date = f->dateFromString(piece);
    if (!date && hasDateShape(piece)) return Date::min();
    return date;
}

std::shared_ptr<VLLogFileInfo> VLLogFileInfo::logFileWithPath(const path& filePath) {
    if (filePath.empty()) return nullptr;
    return std::make_shared<VLLogFileInfo>(filePath);
}

VLLogFileInfo::VLLogFileInfo(path filePath) : filePath_(std::move(filePath)) {}

std::string VLLogFileInfo::fileName() {
    if (!fileName_) fileName_ = filePath_.filename().string();
    return *fileName_;
}

VLFileAttributes VLLogFileInfo::fileAttributes() {
    if (attributes_ || filePath_.empty()) return attributes_.value_or(VLFileAttributes{});
    struct statx st {};
    if (statx(AT_FDCWD, filePath_.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &st) != 0) {
        NSLog("VLLogFileInfo: Failed to read file attributes: %s", strerror(errno));
        return {};
    }
    VLFileAttributes a;
    a.valid = true;
    a.fileSize = st.stx_size;
    a.modificationDate = fromStatx(st.stx_mtime);
    if (st.stx_mask & STATX_BTIME) a.creationDate = fromStatx(st.stx_btime);
    else if (auto d = dateInFileName(fileName())) a.creationDate = d;
    else a.creationDate = a.modificationDate;
    attributes_ = a;
    return a;
}

std::optional<VLLogFileInfo::Date> VLLogFileInfo::creationDate() {
    if (!creationDate_) creationDate_ = fileAttributes().creationDate;
    return creationDate_;
}

std::optional<VLLogFileInfo::Date> VLLogFileInfo::modificationDate() {
    if (!modificationDate_) modificationDate_ = fileAttributes().modificationDate;
    return modificationDate_;
}

uint64_t VLLogFileInfo::fileSize() {
    if (fileSize_ == 0) {
        attributes_.reset();  // a size of 0 may be a file that has grown since
        fileSize_ = fileAttributes().fileSize;
    }
    return fileSize_;
}

double VLLogFileInfo::age() {
    auto created = creationDate();
    if (!created) return 0;
    return std::chrono::duration<double>(Clock::current().wallNow() - *created).count();
}

bool VLLogFileInfo::isArchived() { return hasExtendedAttributeWithName(kArchivedAttribute); }

void VLLogFileInfo::setIsArchived(bool archived) {
    if (archived) addExtendedAttributeWithName(kArchivedAttribute);
    else removeExtendedAttributeWithName(kArchivedAttribute);
}

void VLLogFileInfo::reset() {
    fileName_.reset();
    attributes_.reset();
    creationDate_.reset();
    modificationDate_.reset();
}

void VLLogFileInfo::renameFile(const std::string& newName) {
    if (newName == fileName()) return;
    path folder = filePath_.parent_path();
    std::error_code ec;
    if (!vl::check(std::filesystem::is_directory(folder, ec), "VLLogFileInfo", "Containing directory must exist."))
        return;
    path newPath = folder / newName;
    if (::unlink(newPath.c_str()) != 0 && errno != ENOENT)
        NSLog("VLLogFileInfo: Error deleting archive (%s): %s", fileName().c_str(), strerror(errno));
    if (::rename(filePath_.c_str(), newPath.c_str()) != 0) {
        NSLog("VLLogFileInfo: Error renaming file (%s): %s", fileName().c_str(), strerror(errno));
        return;
    }
    filePath_ = newPath;
    reset();
}

bool VLLogFileInfo::hasExtendedAttributeWithName(const std::string& name) {
    std::string attr = userAttribute(name);
    unsigned char byte = 0;
    ssize_t n = getxattr(filePath_.c_str(), attr.c_str(), &byte, 1);
    if (n >= 1 && byte == 1) return true;
    if (n >= 0 || errno == ERANGE) {
        // Present with another value: count it, and store the plain mark.
        addExtendedAttributeWithName(name);
        return true;
    }
    if (unsupported(errno) && name == kArchivedAttribute) {
        struct stat st {};
        return ::stat(filePath_.c_str(), &st) == 0 && !(st.st_mode & S_IWUSR);
    }
    return false;
}

void VLLogFileInfo::addExtendedAttributeWithName(const std::string& name) {
    std::string attr = userAttribute(name);
    const unsigned char one = 1;
    if (setxattr(filePath_.c_str(), attr.c_str(), &one, 1, 0) == 0) return;
    int err = errno;
    if (err == ENOENT) return;
    if (unsupported(err) && name == kArchivedAttribute) {
        struct stat st {};
        if (::stat(filePath_.c_str(), &st) == 0 && ::chmod(filePath_.c_str(), st.st_mode & ~S_IWUSR & 07777) == 0)
            return;
        err = errno;
        if (err == ENOENT) return;
    }
    NSLog("VLLogFileInfo: setxattr(%s, %s): error = %s", name.c_str(), filePath_.c_str(), strerror(err));
}

void VLLogFileInfo::removeExtendedAttributeWithName(const std::string& name) {
    std::string attr = userAttribute(name);
    if (removexattr(filePath_.c_str(), attr.c_str()) == 0) return;
    int err = errno;
    if (err == ENODATA) return;
    if (unsupported(err) && name == kArchivedAttribute) {
        struct stat st {};
        if (::stat(filePath_.c_str(), &st) == 0 && ::chmod(filePath_.c_str(), (st.st_mode | S_IWUSR) & 07777) == 0)
            return;
        err = errno;
    }
    NSLog("VLLogFileInfo: removexattr(%s, %s): error = %s", name.c_str(), fileName().c_str(), strerror(err));
}

bool VLLogFileInfo::reverseCompareByCreationDate(VLLogFileInfo& a, VLLogFileInfo& b) {
    return b.creationDate().value_or(Date{}) < a.creationDate().value_or(Date{});
}

bool VLLogFileInfo::reverseCompareByModificationDate(VLLogFileInfo& a, VLLogFileInfo& b) {
    return b.modificationDate().value_or(Date{}) < a.modificationDate().value_or(Date{});
}

std::string VLLogFileInfo::description() {
    auto dateText = [](const std::optional<Date>& d) -> Value { return d ? Value(*d) : Value(""); };
    Value v = Value::dict({{"filePath", filePath_.string()},
                           {"fileName", fileName()},
                           {"fileAttributes", Value::dict({{"fileSize", fileAttributes().fileSize}})},
                           {"creationDate", dateText(creationDate())},
                           {"modificationDate", dateText(modificationDate())},
                           {"fileSize", fileSize()},
                           {"age", age()},
                           {"isArchived", isArchived()}});
    return v.toJSON();
}

void VLLogFileInfo::setFileInUse(const path& filePath, bool used) {
    std::lock_guard lock(gInUseMutex);
    if (used) {
        inUse().insert(filePath.string());
    } else {
        auto it = inUse().find(filePath.string());
        if (it != inUse().end()) inUse().erase(it);
    }
}

bool VLLogFileInfo::isFileInUse(const path& filePath) {
    std::lock_guard lock(gInUseMutex);
    return inUse().count(filePath.string()) > 0;
}
