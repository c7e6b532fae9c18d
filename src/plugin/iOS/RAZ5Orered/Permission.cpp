#include "plugin/iOS/RAZ5Orered/Permission.h"

#include "platform/device/Camera.h"
#include "platform/device/PhotoLibrary.h"
#include "platform/foundation/Strings.h"

bool Permission::CheckPermission(const std::string& kind) {
    std::string k = strings::toLower(kind);
    if (k == "photo") return IsPhotoAvailable();
    if (k == "camera") return IsCameraAvailable();
    return false;
}

bool Permission::IsPhotoAvailable() { return PhotoLibrary::isReadable(); }

bool Permission::IsCameraAvailable() { return CameraStatus() == device::CameraAccess::Available; }

device::CameraAccess Permission::CameraStatus() {
    if (Camera::testImage()) return device::CameraAccess::Available;
    return device::cameraAccess();
}
