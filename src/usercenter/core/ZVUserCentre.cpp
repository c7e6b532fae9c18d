#include "usercenter/core/ZVUserCentre.h"

#include "platform/foundation/NSObject.h"
#include "platform/foundation/PlatformLog.h"
#include "usercenter/core/ZVLoginPanels.h"
#include "usercenter/core/ZVResponses.h"

std::shared_ptr<UIViewController> ZVMakeUserCentreController() {
    auto vc = ClassRegistry::createAs<UIViewController>(kZVUserCentreClassName);
    if (vc && dynamic_cast<ZVUserCentreController*>(vc.get())) return vc;
    NSLog("ZVUserCentre: no user centre is registered as %s", kZVUserCentreClassName);
    return nullptr;
}

std::shared_ptr<ZVLoginPanels> ZVMakeLoginPanels() {
    auto panels = std::dynamic_pointer_cast<ZVLoginPanels>(ClassRegistry::create(kZVLoginPanelsClassName));
    if (!panels) NSLog("ZVLoginPanels: no login panels are registered as %s", kZVLoginPanelsClassName);
    return panels;
}

bool ZVLoginNeedsRealName(const LoginResult& login) {
    if (login.rzStatus.empty()) return login.isMustRZ;
    return !Value(login.rzStatus).boolValue();
}
