#pragma once
// The welfare tab's screens on the user centre's screen fixture: the tab
// or one of its pages from the storyboard, shown in a user-centre stack.

#include <memory>
#include <string>

#include "UserCentreTestSupport.h"
#include "platform/ui/UIStoryboard.h"
#include "usercenter/screens/welfare/ZVSuWelfareVC.h"

class WelfareTest : public UserCentreTest {
protected:
    std::shared_ptr<ZVSuWelfareVC> showTab() {
        auto tab = std::make_shared<ZVSuWelfareVC>();
        showInNavigation(tab);
        return tab;
    }
    static std::shared_ptr<UIButton> switchButton(ZVSuWelfareVC& tab, long index) {
        return std::dynamic_pointer_cast<UIButton>(tab.topView()->viewWithTag(ZVSuWelfareVC::kFirstTag + index));
    }
    // A scene of the storyboard, shown as a window's root (as the tab shows
    // it, with nothing over its top).
    template <class VC>
    std::shared_ptr<VC> showScene(const std::string& identifier) {
        auto vc = std::dynamic_pointer_cast<VC>(
            UIStoryboard::storyboardWithName("ZVSuTabBarVC")->instantiateViewControllerWithIdentifier(identifier));
        if (vc) makeWindow(vc);
        uitest::layout();
        return vc;
    }
    // What the stand-in read out of the last request of an endpoint.
    Value lastRequest(const std::string& endpoint) {
        auto entry = env->standin().journal().last(standin::UserCentreStandin::path(endpoint));
        return entry ? entry->decoded : Value();
    }
    bool toastShown(const std::string& text) {
        return settle([&] { return labelShown(text); });
    }
};
