#include "plugin/iOS/RAZ5Orered/QRCodeViewController.h"

#include <algorithm>

#include "platform/ui/UIFont.h"
#include "plugin/iOS/RAZ5Orered/Permission.h"
#include "plugin/iOS/RAZ5Orered/QRCodeManager.h"

QRCodeViewController::QRCodeViewController() { setNibName(kNibName); }

// Two thirds of a portrait screen's height is wider than the screen: the
// square would leave no dimmed frame at its sides.
double QRCodeViewController::scanSquareSide(double W, double H) {
    return std::max(0.0, std::min(2 * H / 3, W - 2 * kSquareMargin));
}

void QRCodeViewController::StartScan() {
    if (isScanning || finished_ || !contentView) return;
    double W = contentView->bounds().width(), H = contentView->bounds().height();
    CGRect centre((W - 300) / 2, (H - 20) / 2, 300, 20);
    auto status = Permission::CameraStatus();
    if (status == device::CameraAccess::Denied) {
        ShowAlertText(kDeniedText, centre, UIColor::blackColor(), 15);
        return;
    }
    std::weak_ptr<QRCodeViewController> weak = std::static_pointer_cast<QRCodeViewController>(sharedController());
    auto camera = Camera::create(
        [weak](const std::shared_ptr<CGImage>& frame) {
            if (auto self = weak.lock()) self->captureOutput(frame);
        },
        [weak](const std::string&) {
            if (auto self = weak.lock()) self->cameraFailed();
        });
    if (status != device::CameraAccess::Available || !camera->start()) {
        ShowAlertText(kInputFailedText, centre, UIColor::blackColor(), 15);
        return;
    }
    double s = scanSquareSide(W, H);
    rectOfInterest = CGRect(0.5 - (s / 2) / W, 0.5 - (s / 2) / H, s / W, s / H);

    previewLayer = std::make_shared<UIImageView>(contentView->bounds());
    previewLayer->setContentMode(UIViewContentMode::ScaleAspectFill);
    previewLayer->setClipsToBounds(true);
    previewLayer->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);

    maskView = std::make_shared<UIView>(contentView->frame());
    maskView->setBackgroundColor(UIColor::colorWithWhite(0, 0.5));
    maskView->setOpaque(false);
    auto hole = CAShapeLayer::layer();
    CGPath path = CGPath::rect(contentView->bounds());
    path.addPath(CGPath::rect(CGRect((W - s) / 2, (H - s) / 2, s, s)).reversed());
    hole->setFrame(maskView->bounds());
    hole->setPath(path);
    maskView->layer()->setMask(hole);
    view()->addSubview(maskView);

    ShowAlertText(kHintText, CGRect((W - 300) / 2, (H + s) / 2 + 50, 300, 20), UIColor::whiteColor(), 13);
    contentView->insertSubview(previewLayer, 0);
    session = camera;
    isScanning = true;
}

void QRCodeViewController::StopScan() {
    if (session) {
        session->stop();
        session.reset();
    }
    if (previewLayer) previewLayer->removeFromSuperview();
    if (labelView) labelView->removeFromSuperview();
    if (maskView) maskView->removeFromSuperview();
    previewLayer.reset();
    labelView.reset();
    maskView.reset();
    isScanning = false;
}

void QRCodeViewController::ShowAlertText(const std::string& text, const CGRect& bounds, const UIColor& color,
                                         double fontSize) {
    if (!labelView) {
        labelView = std::make_shared<UILabel>(bounds);
        // Inside the picture's area, which the nib may place below a bar.
        labelView->setFrame(contentView ? contentView->convertRectToView(bounds, view().get()) : bounds);
        view()->addSubview(labelView);
    }
    labelView->setTextAlignment(NSTextAlignment::Center);
    labelView->setFont(UIFont::fontWithName("STHeitiSC-Medium", fontSize));
    labelView->setTextColor(color);
    labelView->setText(text);
}

void QRCodeViewController::captureOutput(const std::shared_ptr<CGImage>& frame) {
    if (!isScanning || !frame || !contentView) return;
    previewLayer->setImage(UIImage::imageWithCGImage(frame));
    // The square as the picture fills contentView (aspect fill, centred).
    double W = contentView->bounds().width(), H = contentView->bounds().height();
    double fw = frame->width(), fh = frame->height();
    double scale = std::max(W / fw, H / fh);
    double ox = (W - fw * scale) / 2, oy = (H - fh * scale) / 2;
    CGRect square(rectOfInterest.minX() * W, rectOfInterest.minY() * H, rectOfInterest.width() * W,
                  rectOfInterest.height() * H);
    CGRect pixels((square.minX() - ox) / scale, (square.minY() - oy) / scale, square.width() / scale,
                  square.height() / scale);
    auto text = QRCodeManager::ReadQRCodeInRect(*frame, pixels);
    if (text) finish(text);
}

void QRCodeViewController::ClickBackButton(UIControl*) { finish(std::nullopt); }

void QRCodeViewController::cameraFailed() {
    if (finished_) return;
    StopScan();
    double W = contentView->bounds().width(), H = contentView->bounds().height();
    ShowAlertText(kInputFailedText, CGRect((W - 300) / 2, (H - 20) / 2, 300, 20), UIColor::blackColor(), 15);
}

void QRCodeViewController::finish(const std::optional<std::string>& text) {
    // A read, Back, or both in any order: one result.
    if (finished_) return;
    finished_ = true;
    StopScan();
    dismissViewControllerAnimated(true, [text] { QRCodeManager::AcquireQRCode(text); });
}
