#pragma once
// Whether the page may use the photo library and the camera. The desktop
// asks nobody: the photo library is available when its folder can be read,
// the camera when the test source is set or a capture device opens. A
// device that is present but does not open is "denied".

#include <string>

#include "platform/device/HardwareFacts.h"

class Permission {
public:
    // "photo" or "camera", in any case; anything else is false.
    static bool CheckPermission(const std::string& kind);
    static bool IsPhotoAvailable();
    static bool IsCameraAvailable();
    static device::CameraAccess CameraStatus();
};
