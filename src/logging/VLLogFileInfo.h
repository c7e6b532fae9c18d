#pragma once
// The record of one log file on disk: its path, its attributes (read
// lazily and cached) and its archived mark.
//
// The archived mark is the user extended attribute
// "user.varmelund.log.archived" holding one byte 1, so it survives a
// restart. On a file system without user attributes the owner's write bit
// is cleared instead (and set again to unmark).

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

struct VLFileAttributes {
    using Date = std::chrono::system_clock::time_point;
    std::optional<Date> creationDate;
    std::optional<Date> modificationDate;
    uint64_t fileSize = 0;
    bool valid = false;  // false: the file could not be read
};

class VLLogFileInfo {
public:
    using Date = std::chrono::system_clock::time_point;
    using path = std::filesystem::path;

    static constexpr const char* kArchivedAttribute = "varmelund.log.archived";

    // The GMT date a log file's name ends in, as the file manager writes it
    // ("<name> yyyy-MM-dd--HH-mm-ss-SSS.log"); nullopt for any other name.
    // A name of that shape whose date no Date holds (a year past 2261, the
    // 13th month) gives Date::min(): such a file counts as the oldest.
    static std::optional<Date> dateInFileName(const std::string& name);

    // nullptr for an empty path.
    static std::shared_ptr<VLLogFileInfo> logFileWithPath(const path& filePath);
    explicit VLLogFileInfo(path filePath);

    const path& filePath() const { return filePath_; }
    std::string fileName();
    // Empty (valid false) when the file cannot be read, after reporting.
    VLFileAttributes fileAttributes();
    // The file's birth time; where the file system keeps none, the date in
    // the log file's name, else its modification time.
    std::optional<Date> creationDate();
    // For a file just made: the moment by the installed clock, so that its
    // age follows that clock (tests fast-forward it).
    void setCreationDate(Date date) { creationDate_ = date; }
    std::optional<Date> modificationDate();
    // 0 means not read yet: a file that was empty is read again.
    uint64_t fileSize();
    // Seconds since creationDate() by the installed clock; 0 without one.
    double age();

    bool isArchived();
    void setIsArchived(bool archived);

    // Forgets every cached value but the size.
    void reset();
    // Moves the file within its folder. When the move fails the record keeps
    // its old path.
    void renameFile(const std::string& newName);

    // Attribute names are given without the "user." namespace.
    bool hasExtendedAttributeWithName(const std::string& name);
    void addExtendedAttributeWithName(const std::string& name);
    void removeExtendedAttributeWithName(const std::string& name);

    bool operator==(const VLLogFileInfo& other) const { return filePath_ == other.filePath_; }
    size_t hash() const { return std::filesystem::hash_value(filePath_); }

    // Orderings for sorting newest first.
    static bool reverseCompareByCreationDate(VLLogFileInfo& a, VLLogFileInfo& b);
    static bool reverseCompareByModificationDate(VLLogFileInfo& a, VLLogFileInfo& b);

    std::string description();

    // Files a logger of this process has open for writing: deletion passes
    // leave them alone whatever the clock says.
    static void setFileInUse(const path& filePath, bool inUse);
    static bool isFileInUse(const path& filePath);

private:
    path filePath_;
    std::optional<std::string> fileName_;
    std::optional<VLFileAttributes> attributes_;
    std::optional<Date> creationDate_;
    std::optional<Date> modificationDate_;
    uint64_t fileSize_ = 0;
};
