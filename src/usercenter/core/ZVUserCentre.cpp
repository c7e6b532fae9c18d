#include "usercenter/core/ZVUserCentre.h"

#include "platform/foundation/NSObject.h"
#include "platform/foundation/PlatformLog.h"

std::shared_ptr<UIViewController> ZVMakeUserCentreController() {
    auto vc = ClassRegistry::createAs<UIViewController>(kZVUserCentreClassName);
    if (vc && dynamic_cast<ZVUserCentreController*>(vc.get())) return vc;
    NSLog("ZVUserCentre: no user centre is registered as %s", kZVUserCentreClassName);
    return nullptr;
}
