#include "platform/foundation/NSBundle.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "platform/foundation/Files.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"

namespace fs = std::filesystem;

namespace {
std::mutex gMainMutex;
// Never destroyed: threads of the queues may still read the bundle while
// the process exits.
std::shared_ptr<NSBundle>& mainSlot() {
    static auto* slot = new std::shared_ptr<NSBundle>();
    return *slot;
}

// The dictionary of the Info.plist `file` into `info`; else why it gives none.
const char* readInfo(const fs::path& file, Value& info) {
    auto bytes = files::readData(file);
    if (!bytes) return "cannot be read";
    if (bytes->empty()) return "is empty";
    auto v = Value::fromPlist(*bytes);
    if (!v) return "is not a property list, or a damaged one";
    if (!v->isDict()) return "holds no dictionary";
    info = std::move(*v);
    return nullptr;
}
}  // namespace

NSBundle::NSBundle(std::filesystem::path path) : path_(std::move(path)) { reload(); }

void NSBundle::reload() {
    {
        std::lock_guard lock(tablesMutex_);
        tables_.clear();
    }
    info_ = Value(Value::Dictionary{});
    // A bundle without Info.plist is fine (resource bundles have none); one
    // whose Info.plist cannot be used starts without its settings, so say so.
    fs::path file = path_ / "Info.plist";
    if (!files::exists(file)) return;
    if (const char* why = readInfo(file, info_))
        NSLog("NSBundle: ignoring %s, which %s; the bundle has no identifier or settings", file.c_str(), why);
}

std::optional<std::string> NSBundle::infoPlistProblem(const std::filesystem::path& folder) {
    fs::path file = folder / "Info.plist";
    std::error_code ec;
    auto status = fs::symlink_status(file, ec);
    if (!fs::exists(status)) return file.string() + " does not exist";
    if (fs::is_symlink(status) && !fs::exists(file, ec))
        return file.string() + " is a link to " + fs::read_symlink(file, ec).string() + ", which does not exist";
    if (fs::is_directory(file, ec)) return file.string() + " is a folder, not a file";
    Value info;
    if (const char* why = readInfo(file, info)) return file.string() + " " + why;
    return std::nullopt;
}

std::shared_ptr<NSBundle> NSBundle::bundleWithPath(const std::filesystem::path& path) {
    if (!files::isDirectory(path)) return nullptr;
    return std::shared_ptr<NSBundle>(new NSBundle(std::filesystem::absolute(path)));
}

NSBundle& NSBundle::mainBundle() {
    std::lock_guard lock(gMainMutex);
    auto& slot = mainSlot();
    if (!slot) slot.reset(new NSBundle(std::filesystem::current_path()));
    return *slot;
}

void NSBundle::setMainBundlePath(const std::filesystem::path& path) {
    std::lock_guard lock(gMainMutex);
    // The old bundle stays alive: references handed out earlier stay valid.
    static auto* retired = new std::vector<std::shared_ptr<NSBundle>>();
    if (mainSlot()) retired->push_back(mainSlot());
    mainSlot().reset(new NSBundle(std::filesystem::absolute(path)));
}

std::optional<std::filesystem::path> NSBundle::pathForResource(const std::string& name, const std::string& type,
                                                               const std::string& directory) const {
    if (name.empty()) return std::nullopt;
    std::string file = type.empty() ? name : name + "." + type;
    std::filesystem::path folder = directory.empty() ? path_ : path_ / directory;
    auto p = files::confine(folder, file);
    if (!p || !files::exists(*p)) return std::nullopt;
    return p;
}

std::vector<std::string> NSBundle::preferredLanguages() {
    std::vector<std::string> out;
    auto add = [&out](std::string locale) {
        locale = locale.substr(0, locale.find_first_of(".@"));
        if (locale.empty() || locale == "C" || locale == "POSIX") return;
        for (auto& name : {locale, locale.substr(0, locale.find('_'))})
            if (std::find(out.begin(), out.end(), name) == out.end()) out.push_back(name);
    };
    if (const char* language = std::getenv("LANGUAGE"))
        for (auto& piece : strings::split(language, ":")) add(piece);
    if (const char* lang = std::getenv("LANG")) add(lang);
    return out;
}

const Value& NSBundle::stringTable(const std::string& table) const {
    auto languages = preferredLanguages();
    languages.push_back("Base");
    std::string cacheKey = strings::join(languages, ":") + "/" + table;
    std::lock_guard lock(tablesMutex_);
    if (auto it = tables_.find(cacheKey); it != tables_.end()) return it->second;
    Value found;
    for (auto& language : languages) {
        auto path = pathForResource(table, "strings", language + ".lproj");
        if (!path) continue;
        auto bytes = files::readData(*path);
        if (auto v = bytes ? Value::fromPlist(*bytes) : std::nullopt; v && v->isDict()) found = std::move(*v);
        break;  // the first folder with the table answers, as on the platform
    }
    return tables_.emplace(cacheKey, std::move(found)).first->second;
}

std::string NSBundle::localizedStringForKey(const std::string& key, const std::string& value,
                                            const std::string& table) const {
    if (const std::string* text = stringTable(table.empty() ? "Localizable" : table)[key].getString()) return *text;
    return value.empty() ? key : value;
}
