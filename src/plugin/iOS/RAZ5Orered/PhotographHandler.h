#pragma once
// The page's Photograph: the camera screen, then the picture (optionally as
// a thumbnail of width × height) written as PNG to the save path, replacing
// a file there whole or not at all, and onPhotograph {"result", "msg"}:
// true; false with "user cancel", "get thumbnail fail", "save file fail",
// or "camera unavailable" when there is no camera to use. A handler keeps
// itself alive until its screen reports. Main thread only.

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Folder.h"
#include "platform/ui/UIImagePickerController.h"

class PhotographHandler : public UIImagePickerControllerDelegate,
                          public std::enable_shared_from_this<PhotographHandler> {
public:
    explicit PhotographHandler(files::Place savePath) : savePath(std::move(savePath)) {}

    std::shared_ptr<UIImagePickerController> imagePickerController;
    files::Place savePath;  // reached without links when written
    int width = 0, height = 0;
    bool crop = false;

    void Handle();

    void imagePickerController_didFinishPickingMediaWithInfo(UIImagePickerController& picker,
                                                             const UIImagePickerMediaInfo& info) override;
    void imagePickerControllerDidCancel(UIImagePickerController& picker) override;
    void imagePickerController_cameraDidFail(UIImagePickerController& picker) override;

    // {"result": result, "msg": msg (only when given)} to the page.
    void ExecuteCallback(bool result, const std::optional<std::string>& msg);

private:
    void finish(bool result, const std::optional<std::string>& msg);
};
