#include "platform/ui/UIImagePickerController.h"

#include "platform/device/HardwareFacts.h"
#include "platform/ui/UIScreen.h"

namespace {
constexpr double kBarHeight = 110;
constexpr double kShutterSide = 66;
}  // namespace

bool UIImagePickerController::isSourceTypeAvailable(UIImagePickerControllerSourceType type) {
    return type == UIImagePickerControllerSourceType::Camera && Camera::isAvailable();
}

void UIImagePickerController::viewDidLoad() {
    auto v = view();
    CGRect b = v->bounds();
    v->setBackgroundColor(UIColor::blackColor());
    preview_ = std::make_shared<UIImageView>(CGRect(0, 0, b.width(), b.height() - kBarHeight));
    preview_->setContentMode(UIViewContentMode::ScaleAspectFill);
    preview_->setClipsToBounds(true);
    preview_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    v->addSubview(preview_);

    status_ = std::make_shared<UILabel>(CGRect(20, (b.height() - kBarHeight) / 2 - 15, b.width() - 40, 30));
    status_->setTextColor(UIColor::whiteColor());
    status_->setTextAlignment(NSTextAlignment::Center);
    status_->setFont(UIFont::systemFontOfSize(15));
    status_->setHidden(true);
    v->addSubview(status_);

    auto bar = std::make_shared<UIView>(CGRect(0, b.height() - kBarHeight, b.width(), kBarHeight));
    bar->setBackgroundColor(UIColor::colorWithWhite(0.08));
    bar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
    v->addSubview(bar);

    shutter_ = UIButton::buttonWithType(UIButtonType::Custom);
    shutter_->setFrame(CGRect((b.width() - kShutterSide) / 2, (kBarHeight - kShutterSide) / 2, kShutterSide, kShutterSide));
    shutter_->setBackgroundColor(UIColor::whiteColor());
    shutter_->layer()->setCornerRadius(kShutterSide / 2);
    shutter_->layer()->setBorderWidth(5);
    shutter_->layer()->setBorderColor(UIColor::colorWithWhite(0.6));
    shutter_->setAccessibilityIdentifier("camera_shutter");
    shutter_->setEnabled(false);
    bar->addSubview(shutter_);

    cancel_ = UIButton::buttonWithType(UIButtonType::Custom);
    cancel_->setFrame(CGRect(16, (kBarHeight - 44) / 2, 72, 44));
    cancel_->setTitle("取消", UIControlStateNormal);
    cancel_->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    cancel_->titleLabel()->setFont(UIFont::systemFontOfSize(17));
    bar->addSubview(cancel_);

    std::weak_ptr<UIImagePickerController> weak = std::static_pointer_cast<UIImagePickerController>(sharedController());
    shutter_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->takePicture();
    });
    cancel_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->cancel();
    });
}

void UIImagePickerController::viewDidAppear(bool animated) {
    UIViewController::viewDidAppear(animated);
    startCamera();
}

void UIImagePickerController::viewWillDisappear(bool animated) {
    UIViewController::viewWillDisappear(animated);
    if (camera_) camera_->stop();
}

void UIImagePickerController::startCamera() {
    if (camera_ && camera_->isRunning()) return;
    if (!Camera::testImage() && device::cameraAccess() == device::CameraAccess::Denied) {
        showStatus(kDeniedText);
        return;
    }
    std::weak_ptr<UIImagePickerController> weak = std::static_pointer_cast<UIImagePickerController>(sharedController());
    camera_ = Camera::create(
        [weak](const std::shared_ptr<CGImage>& frame) {
            auto self = weak.lock();
            if (!self) return;
            self->lastFrame_ = frame;
            self->preview_->setImage(UIImage::imageWithCGImage(frame));
            self->shutter_->setEnabled(true);
        },
        [weak](const std::string&) {
            auto self = weak.lock();
            if (!self) return;
            self->showStatus(kUnavailableText);
            if (auto d = self->delegate.lock()) d->imagePickerController_cameraDidFail(*self);
        });
    camera_->start();
}

void UIImagePickerController::showStatus(const std::string& text) {
    status_->setText(text);
    status_->setHidden(false);
    shutter_->setEnabled(false);
}

void UIImagePickerController::takePicture() {
    if (!lastFrame_) return;
    UIImagePickerMediaInfo info;
    info.originalImage = UIImage::imageWithCGImage(lastFrame_);
    if (camera_) camera_->stop();
    if (auto d = delegate.lock()) d->imagePickerController_didFinishPickingMediaWithInfo(*this, info);
}

std::vector<UIKeyCommand> UIImagePickerController::keyCommands() const {
    std::weak_ptr<UIImagePickerController> weak =
        std::static_pointer_cast<UIImagePickerController>(std::const_pointer_cast<UIResponder>(shared_from_this()));
    return {{UIKeyInputEscape, 0, [weak] {
                 if (auto self = weak.lock()) self->cancel();
             }}};
}

void UIImagePickerController::cancel() {
    if (camera_) camera_->stop();
    if (auto d = delegate.lock()) d->imagePickerControllerDidCancel(*this);
}
