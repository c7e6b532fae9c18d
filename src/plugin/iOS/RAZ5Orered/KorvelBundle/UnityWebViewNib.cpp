// The nib "UnityWebView": the page's own web view over the whole screen
// below the status bar, a round close button at the top right, and the
// loading hint (a dark box with a spinner and a text) in the middle.

#include "platform/foundation/NSObject.h"
#include "platform/ui/UINib.h"
#include "platform/ui/UIScreen.h"
#include "plugin/iOS/RAZ5Orered/KorvelBundle/KorvelBundle.h"
#include "plugin/iOS/RAZ5Orered/UIWebViewController.h"

namespace {

class UnityWebViewNib : public UINibLayout {
public:
    std::vector<std::shared_ptr<UIView>> instantiateWithOwner(NSObject* owner) override {
        auto& screen = UIScreen::mainScreen();
        CGRect b = screen.bounds();
        double top = screen.statusBarHeight();
        auto root = std::make_shared<UIView>(b);
        root->setBackgroundColor(UIColor::whiteColor());

        // A configuration of its own: no bridge channels, no "local" scheme.
        auto web = WKWebView::create(CGRect(0, top, b.width(), b.height() - top), WKWebViewConfiguration::create());
        web->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
        root->addSubview(web);

        auto close = UIButton::buttonWithType(UIButtonType::Custom);
        close->setFrame(CGRect(b.width() - 52, top + 8, 40, 40));
        close->setBackgroundColor(UIColor::colorWithWhite(0, 0.55));
        close->layer()->setCornerRadius(20);
        close->setTitle("×", UIControlStateNormal);
        close->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
        close->titleLabel()->setFont(UIFont::systemFontOfSize(26));
        close->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin);
        close->setAccessibilityIdentifier("webpage_close");
        root->addSubview(close);

        auto tips = std::make_shared<UIView>(CGRect((b.width() - 120) / 2, (b.height() - 96) / 2, 120, 96));
        tips->setBackgroundColor(UIColor::colorWithWhite(0, 0.75));
        tips->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
                                  UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleBottomMargin);
        auto spinner = std::make_shared<UIActivityIndicatorView>(UIActivityIndicatorViewStyle::WhiteLarge);
        spinner->setFrame(CGRect(42, 16, 36, 36));
        tips->addSubview(spinner);
        auto label = std::make_shared<UILabel>(CGRect(0, 60, 120, 22));
        label->setText("加载中…");
        label->setTextColor(UIColor::whiteColor());
        label->setFont(UIFont::systemFontOfSize(14));
        label->setTextAlignment(NSTextAlignment::Center);
        tips->addSubview(label);
        root->addSubview(tips);

        if (auto* vc = dynamic_cast<UIWebViewController*>(owner)) {
            vc->webView = web;
            vc->closeButton = close;
            vc->tipsView = tips;
            vc->tipsIndicator = spinner;
            vc->tipsLabel = label;
            auto self = std::static_pointer_cast<UIWebViewController>(vc->sharedController());
            close->addTarget(self, &UIWebViewController::Click, UIControlEventTouchUpInside);
        }
        return {root};
    }
};

}  // namespace

REGISTER_CLASS_AS(UnityWebViewNib, "UnityWebView")

void KorvelBundle::linkUnityWebView() {}
