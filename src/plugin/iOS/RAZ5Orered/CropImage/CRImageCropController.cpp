#include "plugin/iOS/RAZ5Orered/CropImage/CRImageCropController.h"

#include <algorithm>
#include <climits>

#include "platform/foundation/Files.h"
#include "platform/foundation/PlatformLog.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"
#include "plugin/iOS/RAZ5Orered/Utils.h"

void CRImageCropController::CropImage(std::shared_ptr<UIImage> image, const files::Place& savePath, bool isPng,
                                      uint64_t maxWidth, uint64_t maxHeight) {
    if (!image || savePath.relative.empty()) return;
    auto root = IOSPlugin::GetRootController();
    if (!root) {
        NSLog("%s", "CropImage: there is no root controller to show the crop screen on");
        return;
    }
    auto vc = std::make_shared<CRImageCropController>();
    vc->image = std::move(image);
    vc->savePath = savePath;
    vc->isPng = isPng;
    vc->maxWidth = maxWidth;
    vc->maxHeight = maxHeight;
    root->presentViewController(vc, true);
}

CRImageCropController::CRImageCropController() { setNibName(kNibName); }

void CRImageCropController::viewDidLoad() {
    if (!imageView) return;
    auto white = UIColor::whiteColor();
    imageView->setToCropImage(image);
    imageView->setShowMidLines(false);
    imageView->setNeedScaleCrop(true);
    imageView->setShowCrossLines(false);
    imageView->setCornerBorderInImage(false);
    imageView->setCropAreaCornerWidth(24);
    imageView->setCropAreaCornerHeight(24);
    imageView->setMinSpace(30);
    imageView->setCropAreaCornerLineColor(white);
    imageView->setCropAreaBorderLineColor(white);
    imageView->setCropAreaCornerLineWidth(4);
    imageView->setCropAreaBorderLineWidth(2);
    imageView->setCropAreaMidLineWidth(20);
    imageView->setCropAreaMidLineHeight(6);
    imageView->setCropAreaMidLineColor(white);
    imageView->setCropAreaCrossLineColor(white);
    imageView->setCropAreaCrossLineWidth(4);
    imageView->setInitialScaleFactor(double(0.8f));
    imageView->setCropAspectRatio(1.0);
}

void CRImageCropController::ClickCancel(UIControl*) { dismissViewControllerAnimated(true); }

std::vector<UIKeyCommand> CRImageCropController::keyCommands() const {
    std::weak_ptr<CRImageCropController> weak =
        std::static_pointer_cast<CRImageCropController>(std::const_pointer_cast<UIResponder>(shared_from_this()));
    return {{UIKeyInputEscape, 0, [weak] {
                 if (auto self = weak.lock()) self->ClickCancel(nullptr);
             }}};
}

void CRImageCropController::ClickConfirm(UIControl*) {
    auto cut = imageView ? imageView->currentCroppedImage() : nullptr;
    uint64_t limit = std::min(maxWidth, maxHeight);
    if (cut && (cut->size().width > double(limit) || cut->size().height > double(limit))) {
        int side = int(std::min<uint64_t>(limit, INT_MAX));
        cut = Utils::GetThumbnail(cut, side, side, false, false, false);
    }
    if (!cut) return;
    auto data = isPng ? UIImagePNGRepresentation(cut.get()) : UIImageJPEGRepresentation(cut.get(), 1.0);
    Error error;
    bool written = data && savePath.write(*data, &error);
    if (!written) NSLog("CropImage: the cut was not written: %s", error.localizedDescription().c_str());
    SysPlugin::OnCropImage(Value::dict({{"result", written ? 1 : 0}}).toJSON(true));
    dismissViewControllerAnimated(true);
}
