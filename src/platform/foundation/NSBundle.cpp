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
    const char* why = nullptr;
    auto bytes = files::readData(file);
    if (!bytes) why = "it cannot be read";
    else if (bytes->empty()) why = "it is empty";
    else if (auto v = Value::fromPlist(*bytes); !v) why = "it is not a property list, or a damaged one";
    else if (!v->isDict()) why = "it holds no dictionary";
    else info_ = std::move(*v);
    if (why) NSLog("NSBundle: ignoring %s: %s; the bundle has no identifier or settings", file.c_str(), why);
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
