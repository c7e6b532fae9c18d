#pragma once
// Storyboards and nibs are ours to make: each scene is a factory registered
// under the storyboard's name and the scene's identifier, building its
// controller (and its views) in code.

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/UIViewController.h"

class UIStoryboard {
public:
    using SceneFactory = std::function<std::shared_ptr<UIViewController>()>;

    static void registerScene(const std::string& storyboard, const std::string& identifier, SceneFactory factory);

    // nullptr (and a log line) when no scene of that storyboard is registered.
    static std::shared_ptr<UIStoryboard> storyboardWithName(const std::string& name);

    const std::string& name() const { return name_; }
    // nullptr (and a log line) for an unknown identifier.
    std::shared_ptr<UIViewController> instantiateViewControllerWithIdentifier(const std::string& identifier) const;

    explicit UIStoryboard(std::string name) : name_(std::move(name)) {}

private:
    std::string name_;
};

// At namespace scope: REGISTER_STORYBOARD_SCENE("Main", "MainViewController", MainViewController)
#define REGISTER_STORYBOARD_SCENE(Storyboard, Identifier, Class)                                         \
    namespace {                                                                                           \
    const bool scene_##Class = (UIStoryboard::registerScene(Storyboard, Identifier,                      \
                                                            [] { return std::make_shared<Class>(); }), \
                                true);                                                                    \
    }
