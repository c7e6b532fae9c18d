#pragma once
// User defaults: a dictionary persisted as a binary property list in the
// home's Library/Preferences/<bundle identifier>.plist. Every change is
// written through at once (atomically), so nothing is lost when the process
// ends abruptly. Safe to use from any thread.
//
// A file that cannot be read as a dictionary is set aside as
// "<name>.plist.corrupt" (replacing an older one), logged, and the store
// starts empty. So is a file whose reading did not finish: while the file
// is read, "<name>.plist.reading" holds the reading process's id, and a
// marker left by a process that is gone (a zombie included) means that
// reading the file took it down, so that no file can stop every launch; a
// marker naming this process or none counts as absent, and what is no
// regular file at its path is removed. So is a file larger than
// kMaxFileSize, unread: what a property list builds is a multiple of its
// size (a list of one-byte references to one byte of data, read and
// written back at the first change, took the game 113 bytes a byte), and
// a 32 MiB file took the game to 2.7 GB at every launch; within 4 MiB no
// file takes it past 750 MB. A change that would make the file larger is
// not made (and logged), so that nothing written is set aside at the next
// launch.

#include <filesystem>
#include <mutex>
#include <string>

#include "platform/foundation/Value.h"

class NSUserDefaults {
public:
    static constexpr size_t kMaxFileSize = size_t(4) << 20;

    static NSUserDefaults& standardUserDefaults();
    // Drops the loaded state so the next use reads the file again (tests
    // that switch homes; a restart in the same process).
    static void resetStandardUserDefaults();

    Value objectForKey(const std::string& key) const;
    std::string stringForKey(const std::string& key) const;  // "" unless a string
    int64_t integerForKey(const std::string& key) const;     // intValue of numbers and strings
    double doubleForKey(const std::string& key) const;
    bool boolForKey(const std::string& key) const;

    void setObject(const std::string& key, Value value);  // null removes
    void setInteger(const std::string& key, int64_t v) { setObject(key, Value(v)); }
    void setBool(const std::string& key, bool v) { setObject(key, Value(v)); }
    void removeObjectForKey(const std::string& key);
    // Values answered for keys that were never set; not persisted.
    void registerDefaults(const Value& defaults);
    // Writes the current state; true on success. Changes are already
    // written through, so this only matters after a failed write.
    bool synchronize();

    Value dictionaryRepresentation() const;
    std::filesystem::path filePath() const;

private:
    NSUserDefaults();
    void loadLocked() const;
    void setAsideLocked(const char* why) const;
    enum class Saved { yes, failed, tooLarge };
    Saved saveLocked();

    mutable std::mutex mutex_;
    mutable bool loaded_ = false;
    mutable Value values_;
    Value registered_;
    mutable std::filesystem::path file_;
};
