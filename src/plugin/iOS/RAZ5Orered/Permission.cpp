#include "plugin/iOS/RAZ5Orered/Permission.h"

#include "platform/device/HardwareFacts.h"
#include "platform/foundation/Strings.h"

bool Permission::CheckPermission(const std::string& kind) {
    std::string k = strings::toLower(kind);
    if (k == "photo") return IsPhotoAvailable();
    if (k == "camera") return IsCameraAvailable();
    return false;
}

bool Permission::IsPhotoAvailable() { return true; }

bool Permission::IsCameraAvailable() { return device::hasCamera(); }
