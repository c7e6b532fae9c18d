#pragma once
// An application or resource bundle: a folder with an Info.plist (XML or
// binary) and resources.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

class NSBundle {
public:
    // A bundle over a folder; nullptr when the folder does not exist.
    static std::shared_ptr<NSBundle> bundleWithPath(const std::filesystem::path& path);

    // The application's own bundle. Set once at start (the executable's
    // --bundle option); until then it is the current folder.
    static NSBundle& mainBundle();
    static void setMainBundlePath(const std::filesystem::path& path);

    const std::filesystem::path& bundlePath() const { return path_; }
    std::filesystem::path resourcePath() const { return path_; }
    // The Info.plist dictionary; an empty dictionary when it is missing or unreadable.
    const Value& infoDictionary() const { return info_; }
    const Value& objectForInfoDictionaryKey(const std::string& key) const { return info_[key]; }
    std::string bundleIdentifier() const { return info_.str("CFBundleIdentifier"); }

    // "<name>.<type>" (or "<name>" when type is empty) in the bundle's
    // folder, or in `directory` inside it; nullopt when no such file.
    std::optional<std::filesystem::path> pathForResource(const std::string& name, const std::string& type,
                                                         const std::string& directory = "") const;

    // Re-reads the Info.plist (after a test rewrote it).
    void reload();

private:
    explicit NSBundle(std::filesystem::path path);
    std::filesystem::path path_;
    Value info_;
};
