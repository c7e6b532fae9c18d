#pragma once
// The camera screen (the platform's image picker with the camera as its
// source): the camera's picture filling the screen, a shutter and a cancel
// button. The shutter hands the newest frame to the delegate; a camera
// that is denied shows so and keeps only Cancel. The screen never
// dismisses itself. Only the camera source is built here.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/device/Camera.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIViewController.h"

enum class UIImagePickerControllerSourceType { PhotoLibrary = 0, Camera = 1, SavedPhotosAlbum = 2 };
inline constexpr const char* kUTTypeImage = "public.image";

struct UIImagePickerMediaInfo {
    std::string mediaType = kUTTypeImage;
    std::shared_ptr<UIImage> originalImage;  // UIImagePickerControllerOriginalImage
};

class UIImagePickerController;

class UIImagePickerControllerDelegate {
public:
    virtual ~UIImagePickerControllerDelegate() = default;
    virtual void imagePickerController_didFinishPickingMediaWithInfo(UIImagePickerController& picker,
                                                                     const UIImagePickerMediaInfo& info) {}
    virtual void imagePickerControllerDidCancel(UIImagePickerController& picker) {}
    // Ours: the camera stopped working (it is logged); the default shows so
    // on the screen and leaves Cancel.
    virtual void imagePickerController_cameraDidFail(UIImagePickerController& picker) {}
};

class UIImagePickerController : public UIViewController {
public:
    static constexpr const char* kDeniedText = "系统设置已禁止相机的使用权限";
    static constexpr const char* kUnavailableText = "相机不可用";

    // True for the camera when Camera::isAvailable(); false for the other sources.
    static bool isSourceTypeAvailable(UIImagePickerControllerSourceType type);

    UIImagePickerControllerSourceType sourceType = UIImagePickerControllerSourceType::Camera;
    std::vector<std::string> mediaTypes{kUTTypeImage};
    bool allowsEditing = false;
    std::weak_ptr<UIImagePickerControllerDelegate> delegate;

    // Takes the picture now (what the shutter does); nothing without a frame.
    void takePicture();
    const std::shared_ptr<UIImageView>& previewView() const { return preview_; }
    const std::shared_ptr<UILabel>& statusLabel() const { return status_; }
    bool isCapturing() const { return camera_ && camera_->isRunning(); }

    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    UIStatusBarStyle preferredStatusBarStyle() const override { return UIStatusBarStyle::LightContent; }
    // Escape: what Cancel does.
    std::vector<UIKeyCommand> keyCommands() const override;

private:
    void startCamera();
    void showStatus(const std::string& text);
    void cancel();

    std::shared_ptr<Camera> camera_;
    std::shared_ptr<CGImage> lastFrame_;
    std::shared_ptr<UIImageView> preview_;
    std::shared_ptr<UILabel> status_;
    std::shared_ptr<UIButton> shutter_, cancel_;
};
