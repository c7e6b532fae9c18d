// The nib "QRCodeView": a bar with the back button and a title above the
// area that shows the camera's picture (`contentView`).

#include "platform/foundation/NSObject.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UINib.h"
#include "platform/ui/UIScreen.h"
#include "plugin/iOS/RAZ5Orered/KorvelBundle/KorvelBundle.h"
#include "plugin/iOS/RAZ5Orered/QRCodeViewController.h"

namespace {

class QRCodeViewNib : public UINibLayout {
public:
    std::vector<std::shared_ptr<UIView>> instantiateWithOwner(NSObject* owner) override {
        auto& screen = UIScreen::mainScreen();
        CGRect b = screen.bounds();
        double top = screen.navigationBarTop(), status = screen.statusBarHeight();
        auto root = std::make_shared<UIView>(b);
        root->setBackgroundColor(UIColor::blackColor());

        auto bar = std::make_shared<UIView>(CGRect(0, 0, b.width(), top));
        bar->setBackgroundColor(UIColor::blackColor());
        bar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
        root->addSubview(bar);
        auto title = std::make_shared<UILabel>(CGRect(80, status, b.width() - 160, top - status));
        title->setText("扫一扫");
        title->setTextColor(UIColor::whiteColor());
        title->setFont(UIFont::systemFontOfSize(17, UIFontWeight::Medium));
        title->setTextAlignment(NSTextAlignment::Center);
        title->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
        bar->addSubview(title);
        auto back = UIButton::buttonWithType(UIButtonType::Custom);
        back->setFrame(CGRect(8, status, 72, top - status));
        back->setTitle("〈 返回", UIControlStateNormal);
        back->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
        back->setTitleColor(UIColor::colorWithWhite(1, 0.5), UIControlStateHighlighted);
        back->titleLabel()->setFont(UIFont::systemFontOfSize(16));
        back->setAccessibilityIdentifier("scan_back");
        bar->addSubview(back);

        auto content = std::make_shared<UIView>(CGRect(0, top, b.width(), b.height() - top));
        content->setBackgroundColor(UIColor::colorWithWhite(0.94));
        content->setClipsToBounds(true);
        content->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
        root->addSubview(content);

        if (auto* vc = dynamic_cast<QRCodeViewController*>(owner)) {
            vc->contentView = content;
            auto self = std::static_pointer_cast<QRCodeViewController>(vc->sharedController());
            back->addTarget(self, &QRCodeViewController::ClickBackButton, UIControlEventTouchUpInside);
        }
        return {root};
    }
};

}  // namespace

REGISTER_CLASS_AS(QRCodeViewNib, "QRCodeView")

void KorvelBundle::linkQRCodeView() {}
