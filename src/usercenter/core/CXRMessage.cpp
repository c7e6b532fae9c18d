#include "usercenter/core/CXRMessage.h"

#include <algorithm>
#include <cfloat>

#include "platform/device/DeviceFacts.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/TextLayout.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIScreen.h"

double CXRMessage::getWidthWithText(const std::string& text, double height, double fontSize) {
    if (fontSize <= 0) fontSize = 13;
    NSAttributedString s(text.empty() ? std::string("无") : text);
    CGRect r = NSAttributedStringBoundingRect(s, CGSize{FLT_MAX, std::max(0.0, height)}, UIFont::systemFontOfSize(fontSize));
    return r.size.width;
}

void CXRMessage::showMessage(const std::string& message, const std::shared_ptr<UIView>& view) {
    if (!view) return;
    double W = view->bounds().width(), H = view->bounds().height();
    auto box = std::make_shared<UIView>();
    box->setBackgroundColor(UIColor::colorWithRed(0, 0, 0, 1));
    box->setAlpha(1);
    box->layer()->setCornerRadius(5);
    box->setClipsToBounds(true);
    box->setAccessibilityIdentifier("toast");
    view->addSubview(box);

    auto font = UIFont::boldSystemFontOfSize(16);
    auto label = std::make_shared<UILabel>();
    double w = getWidthWithText(message, font->lineHeight(), 16);
    if (w > W - 40) {
        label->setFrame(CGRect(10, 10, std::max(0.0, W - 40), 0));
        label->setNumberOfLines(0);
    } else {
        label->setFrame(CGRect(10, 10, w, 0));
    }
    label->setText(message);
    label->setTextColor(UIColor::whiteColor());
    label->setTextAlignment(NSTextAlignment::Center);
    label->setBackgroundColor(UIColor::clearColor());
    label->setFont(font);
    label->sizeToFit();
    box->addSubview(label);

    CGRect lf = label->frame();
    box->setFrame(CGRect((W - lf.width() - 20) / 2, 2 * (H - lf.height() - 20) / 3, lf.width() + 20,
                         lf.height() + 20));
    UIView::animateWithDuration(
        2.0, 0.3, UIViewAnimationOptionAllowUserInteraction, [box] { box->setAlpha(0); },
        [box](bool) { box->removeFromSuperview(); });
}

void CXRMessage::showMessage(const std::string& message) { showMessage(message, CXRWindowManager::topWindow()); }

std::shared_ptr<UIWindow> CXRWindowManager::topWindow() {
    auto& app = UIApplication::sharedApplication();
    CGRect screen = UIScreen::mainScreen().bounds();
    auto fits = [&](const std::shared_ptr<UIWindow>& w) {
        return w && w->bounds() == screen && !w->isHidden() && w->isOpaque();
    };
    auto key = app.keyWindow();
    if (fits(key)) return key;
    auto windows = app.windows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if (fits(*it)) return *it;
    return key;
}

std::string DeveicePlatform::platform() { return platformOf(device::machine()); }

std::string DeveicePlatform::platformOf(const std::string& machine) {
    struct Row {
        const char* name;
        bool prefix;
        const char* model;
    };
    // Tested in this order.
    static const Row table[] = {
        {"iPhone3", true, "iPhone 4"},    {"iPhone4,1", false, "iPhone 4S"}, {"iPhone5,1", false, "iPhone 5"},
        {"iPhone5,2", false, "iPhone 5"}, {"iPhone5,3", false, "iPhone 5C"}, {"iPhone5,4", false, "iPhone 5C"},
        {"iPhone6", true, "iPhone 5S"},   {"iPhone7,1", false, "iPhone 6 Plus"}, {"iPhone7,2", false, "iPhone 6"},
        {"i386", false, "Simulator"},     {"x86_64", false, "Simulator"},
    };
    for (auto& row : table)
        if (row.prefix ? strings::hasPrefix(machine, row.name) : machine == row.name) return row.model;
    return machine;
}
