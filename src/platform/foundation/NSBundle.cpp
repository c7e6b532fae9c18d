#include "platform/foundation/NSBundle.h"

#include <mutex>

#include "platform/foundation/Files.h"

namespace {
std::mutex gMainMutex;
std::shared_ptr<NSBundle>& mainSlot() {
    static std::shared_ptr<NSBundle> slot;
    return slot;
}
}  // namespace

NSBundle::NSBundle(std::filesystem::path path) : path_(std::move(path)) { reload(); }

void NSBundle::reload() {
    info_ = Value(Value::Dictionary{});
    if (auto bytes = files::readData(path_ / "Info.plist")) {
        if (auto v = Value::fromPlist(*bytes); v && v->isDict()) info_ = std::move(*v);
    }
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
    static std::vector<std::shared_ptr<NSBundle>> retired;
    if (mainSlot()) retired.push_back(mainSlot());
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
