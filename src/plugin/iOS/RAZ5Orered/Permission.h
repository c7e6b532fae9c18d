#pragma once
// Whether the page may use the photo library and the camera. The desktop
// asks nobody for permission: the photo library (a folder) is always
// there, and the camera is usable when a video capture device is present.

#include <string>

class Permission {
public:
    // "photo" or "camera", in any case; anything else is false.
    static bool CheckPermission(const std::string& kind);
    static bool IsPhotoAvailable();
    static bool IsCameraAvailable();
};
