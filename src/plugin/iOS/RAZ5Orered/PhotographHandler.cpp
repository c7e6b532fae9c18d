#include "plugin/iOS/RAZ5Orered/PhotographHandler.h"

#include <algorithm>
#include <vector>

#include "platform/foundation/Files.h"
#include "platform/foundation/PlatformLog.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"
#include "plugin/iOS/RAZ5Orered/Permission.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"
#include "plugin/iOS/RAZ5Orered/Utils.h"

namespace {
constexpr const char* kUnavailable = "camera unavailable";
// Handlers whose screen has not reported yet (main thread).
std::vector<std::shared_ptr<PhotographHandler>> gLive;
}  // namespace

void PhotographHandler::Handle() {
    if (Permission::CameraStatus() == device::CameraAccess::Unavailable) {
        NSLog("%s", "Photograph: there is no camera");
        ExecuteCallback(false, std::string(kUnavailable));
        return;
    }
    imagePickerController = std::make_shared<UIImagePickerController>();
    imagePickerController->sourceType = UIImagePickerControllerSourceType::Camera;
    imagePickerController->mediaTypes = {kUTTypeImage};
    imagePickerController->allowsEditing = false;
    imagePickerController->delegate = weak_from_this();
    auto root = IOSPlugin::GetRootController();
    if (root) root->presentViewController(imagePickerController, true);
    if (!imagePickerController->presentingViewController()) {
        NSLog("%s", "Photograph: the camera screen cannot be shown");
        ExecuteCallback(false, std::string(kUnavailable));
        return;
    }
    gLive.push_back(shared_from_this());
}

void PhotographHandler::imagePickerController_didFinishPickingMediaWithInfo(UIImagePickerController& picker,
                                                                            const UIImagePickerMediaInfo& info) {
    picker.dismissViewControllerAnimated(true);
    auto image = info.originalImage;
    if (image && width >= 1 && height >= 1) {
        image = Utils::GetThumbnail(image, width, height, crop, false, false);
        if (!image) return finish(false, std::string("get thumbnail fail"));
    }
    auto data = image ? UIImagePNGRepresentation(image.get()) : std::nullopt;
    Error error;
    if (data && savePath.write(*data, &error)) return finish(true, std::nullopt);
    NSLog("Photograph: the picture was not written: %s", error.localizedDescription().c_str());
    finish(false, std::string("save file fail"));
}

void PhotographHandler::imagePickerControllerDidCancel(UIImagePickerController& picker) {
    picker.dismissViewControllerAnimated(true);
    finish(false, std::string("user cancel"));
}

void PhotographHandler::imagePickerController_cameraDidFail(UIImagePickerController& picker) {
    picker.dismissViewControllerAnimated(true);
    finish(false, std::string(kUnavailable));
}

void PhotographHandler::finish(bool result, const std::optional<std::string>& msg) {
    auto self = shared_from_this();  // alive to the end of the report
    std::erase(gLive, self);
    ExecuteCallback(result, msg);
}

void PhotographHandler::ExecuteCallback(bool result, const std::optional<std::string>& msg) {
    Value answer = Value::dict({{"result", result}});
    if (msg) answer.set("msg", *msg);
    SysPlugin::OnPhotograph(answer.toJSON(true));
}
