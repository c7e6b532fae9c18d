#pragma once
// An application or resource bundle: a folder with an Info.plist (XML or
// binary) and resources.

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

class NSBundle {
public:
    // A bundle over a folder; nullptr when the folder does not exist.
    static std::shared_ptr<NSBundle> bundleWithPath(const std::filesystem::path& path);

    // Why the Info.plist of the bundle folder `folder` gives an application
    // no settings, naming the file: it does not exist, is a link to
    // nothing, a folder, unreadable, or no property list holding a
    // dictionary. nullopt when it gives them. (A resource bundle needs none.)
    static std::optional<std::string> infoPlistProblem(const std::filesystem::path& folder);

    // The application's own bundle. Set once at start (the executable's
    // --bundle option); until then it is the current folder.
    static NSBundle& mainBundle();
    static void setMainBundlePath(const std::filesystem::path& path);

    const std::filesystem::path& bundlePath() const { return path_; }
    std::filesystem::path resourcePath() const { return path_; }
    // The Info.plist dictionary; an empty dictionary when it is missing or unreadable.
    const Value& infoDictionary() const { return info_; }
    const Value& objectForInfoDictionaryKey(const std::string& key) const { return info_[key]; }
    // An Info.plist entry that is a text or a number, as text; nullopt for
    // anything else.
    std::optional<std::string> infoText(const std::string& key) const {
        const Value& v = info_[key];
        if (v.isString() || v.isNumber()) return v.textValue();
        return std::nullopt;
    }
    std::string bundleIdentifier() const { return info_.str("CFBundleIdentifier"); }

    // "<name>.<type>" (or "<name>" when type is empty) in the bundle's
    // folder, or in `directory` inside it; nullopt when no such file.
    std::optional<std::filesystem::path> pathForResource(const std::string& name, const std::string& type,
                                                         const std::string& directory = "") const;

    // A localized text from the table "<table>.strings" ("Localizable" when
    // `table` is empty): a property list (XML or binary) holding a dictionary
    // of texts, read from the first "<language>.lproj" folder of the bundle
    // that has the table, the languages being preferredLanguages() and then
    // "Base". A key the table lacks, or a table that is missing or not such a
    // dictionary, gives `value`, or the key itself when `value` is empty (as
    // the platform answers).
    std::string localizedStringForKey(const std::string& key, const std::string& value,
                                      const std::string& table = "") const;
    // From the environment: each entry of LANGUAGE (colon-separated), then
    // LANG; "zh_CN.UTF-8" gives "zh_CN" and then "zh". "C" and "POSIX" give none.
    static std::vector<std::string> preferredLanguages();

    // Re-reads the Info.plist (after a test rewrote it) and forgets the
    // string tables read so far.
    void reload();

private:
    explicit NSBundle(std::filesystem::path path);
    const Value& stringTable(const std::string& table) const;

    std::filesystem::path path_;
    Value info_;
    mutable std::mutex tablesMutex_;  // guards tables_
    // Tables read so far, by language list and table name.
    mutable std::map<std::string, Value> tables_;
};
