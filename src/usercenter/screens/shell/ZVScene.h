#pragma once
// A scene of the user centre's storyboard "ZVSuTabBarVC" as the class its
// caller expects; nullptr (the storyboard logs an unknown identifier) when
// there is none of that class.

#include <memory>
#include <string>

#include "platform/ui/UIStoryboard.h"

template <class VC>
std::shared_ptr<VC> ZVScene(const std::string& identifier) {
    auto storyboard = UIStoryboard::storyboardWithName("ZVSuTabBarVC");
    return storyboard ? std::dynamic_pointer_cast<VC>(storyboard->instantiateViewControllerWithIdentifier(identifier))
                      : nullptr;
}
