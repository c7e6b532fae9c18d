// The nib "ImageCropView": the crop view over a black screen, with cancel
// and confirm buttons in a bar below it.

#include "platform/foundation/NSObject.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UINib.h"
#include "platform/ui/UIScreen.h"
#include "plugin/iOS/RAZ5Orered/CropImage/CRImageCropController.h"
#include "plugin/iOS/RAZ5Orered/KorvelBundle/KorvelBundle.h"

namespace {

constexpr double kBarHeight = 80;

std::shared_ptr<UIButton> barButton(const std::string& title, const CGRect& frame, unsigned mask) {
    auto b = UIButton::buttonWithType(UIButtonType::Custom);
    b->setFrame(frame);
    b->setTitle(title, UIControlStateNormal);
    b->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    b->setTitleColor(UIColor::colorWithWhite(1, 0.5), UIControlStateHighlighted);
    b->titleLabel()->setFont(UIFont::systemFontOfSize(17));
    b->setAutoresizingMask(mask);
    return b;
}

class ImageCropViewNib : public UINibLayout {
public:
    std::vector<std::shared_ptr<UIView>> instantiateWithOwner(NSObject* owner) override {
        CGRect screen = UIScreen::mainScreen().bounds();
        double top = UIScreen::mainScreen().safeAreaInsets().top;
        double w = screen.width(), h = screen.height();
        auto root = std::make_shared<UIView>(screen);
        root->setBackgroundColor(UIColor::blackColor());

        auto crop = CRImageView::create(CGRect(0, top, w, h - top - kBarHeight));
        crop->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
        crop->setBackgroundColor(UIColor::blackColor());
        root->addSubview(crop);

        auto bar = std::make_shared<UIView>(CGRect(0, h - kBarHeight, w, kBarHeight));
        bar->setBackgroundColor(UIColor::colorWithWhite(0.1));
        bar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
        root->addSubview(bar);
        auto cancel = barButton("取消", CGRect(16, 18, 88, 44), UIViewAutoresizingFlexibleRightMargin);
        auto confirm = barButton("确定", CGRect(w - 104, 18, 88, 44), UIViewAutoresizingFlexibleLeftMargin);
        cancel->setAccessibilityIdentifier("crop_cancel");
        confirm->setAccessibilityIdentifier("crop_confirm");
        bar->addSubview(cancel);
        bar->addSubview(confirm);

        if (auto* vc = dynamic_cast<CRImageCropController*>(owner)) {
            vc->imageView = crop;
            auto self = std::static_pointer_cast<CRImageCropController>(vc->sharedController());
            cancel->addTarget(self, &CRImageCropController::ClickCancel, UIControlEventTouchUpInside);
            confirm->addTarget(self, &CRImageCropController::ClickConfirm, UIControlEventTouchUpInside);
        }
        return {root};
    }
};

}  // namespace

REGISTER_CLASS_AS(ImageCropViewNib, "ImageCropView")

void KorvelBundle::linkImageCropView() {}
