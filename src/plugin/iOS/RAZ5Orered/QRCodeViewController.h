#pragma once
// The scanner: the camera's picture in `contentView` (an outlet of the nib
// "QRCodeView", which also wires a back button to ClickBackButton), dimmed
// outside a square of two thirds of its height (narrowed to the width less
// kSquareMargin on each side where that is less), with a hint below it. The
// last code read in the square of a frame ends the scan and goes to the
// page; Back ends it without a value. A camera that is denied or cannot
// be opened shows its text and waits for Back. Main thread only.

#include <memory>
#include <optional>
#include <string>

#include "platform/device/Camera.h"
#include "platform/ui/UIControl.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIViewController.h"

class QRCodeViewController : public UIViewController {
public:
    static constexpr const char* kNibName = "QRCodeView";
    static constexpr const char* kDeniedText = "系统设置已禁止相机的使用权限";
    static constexpr const char* kInputFailedText = "获取相机输入失败，请点击返回之后重试";
    static constexpr const char* kHintText = "将二维码放入框内，即可自动扫描";

    static constexpr double kSquareMargin = 40;

    QRCodeViewController();
    // The side of the scan square in a picture area W × H: 2H/3, at most W − 2·kSquareMargin.
    static double scanSquareSide(double W, double H);

    std::shared_ptr<UIView> contentView;  // outlet: where the camera's picture shows
    bool isScanning = false;
    std::shared_ptr<UIView> maskView;
    std::shared_ptr<UILabel> labelView;
    std::shared_ptr<Camera> session;
    std::shared_ptr<UIImageView> previewLayer;
    // The scan square in unit coordinates of contentView.
    CGRect rectOfInterest;

    void StartScan();
    void StopScan();
    // The one label: made with the rectangle on first use, reused after
    // (the rectangle then ignored).
    void ShowAlertText(const std::string& text, const CGRect& bounds, const UIColor& color, double fontSize);
    // The metadata delegate's work: a frame of the camera.
    void captureOutput(const std::shared_ptr<CGImage>& frame);
    void ClickBackButton(UIControl* sender);

private:
    void finish(const std::optional<std::string>& text);
    void cameraFailed();
    bool finished_ = false;  // the result has been sent on its way
};
