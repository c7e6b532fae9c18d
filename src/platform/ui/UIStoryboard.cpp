#include "platform/ui/UIStoryboard.h"

#include <map>
#include <mutex>

#include "platform/foundation/PlatformLog.h"

namespace {
struct Scenes {
    std::mutex mutex;
    std::map<std::pair<std::string, std::string>, UIStoryboard::SceneFactory> factories;
};
Scenes& scenes() {
    static Scenes* s = new Scenes();
    return *s;
}
}  // namespace

void UIStoryboard::registerScene(const std::string& storyboard, const std::string& identifier, SceneFactory f) {
    auto& s = scenes();
    std::lock_guard lock(s.mutex);
    s.factories[{storyboard, identifier}] = std::move(f);
}

std::shared_ptr<UIStoryboard> UIStoryboard::storyboardWithName(const std::string& name) {
    auto& s = scenes();
    std::lock_guard lock(s.mutex);
    for (auto& [key, _] : s.factories)
        if (key.first == name) return std::make_shared<UIStoryboard>(name);
    NSLog("UIStoryboard: no storyboard named %s", name.c_str());
    return nullptr;
}

std::shared_ptr<UIViewController> UIStoryboard::instantiateViewControllerWithIdentifier(const std::string& id) const {
    SceneFactory f;
    {
        auto& s = scenes();
        std::lock_guard lock(s.mutex);
        auto it = s.factories.find({name_, id});
        if (it == s.factories.end()) {
            NSLog("UIStoryboard: no scene %s in the storyboard %s", id.c_str(), name_.c_str());
            return nullptr;
        }
        f = it->second;
    }
    auto vc = f ? f() : nullptr;
    if (vc) vc->setStoryboardIdentifier(id);
    return vc;
}
