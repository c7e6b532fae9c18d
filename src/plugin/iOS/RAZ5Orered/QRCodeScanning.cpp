// The scanner's side of QRCodeManager: it needs the bridge (the root
// controller and the page's event), so it lives with the bridge.

#include "platform/foundation/PlatformLog.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"
#include "plugin/iOS/RAZ5Orered/QRCodeManager.h"
#include "plugin/iOS/RAZ5Orered/QRCodeViewController.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"

namespace {
std::shared_ptr<QRCodeViewController> gScanner;  // main thread
}  // namespace

void QRCodeManager::ScanQRCode() {
    // One scan at a time; a scanner closed without its result (never by the
    // player) is let go.
    if (gScanner && gScanner->presentingViewController()) return;
    auto root = IOSPlugin::GetRootController();
    gScanner = std::make_shared<QRCodeViewController>();
    std::weak_ptr<QRCodeViewController> weak = gScanner;
    if (root)
        root->presentViewController(gScanner, true, [weak] {
            if (auto s = weak.lock()) s->StartScan();
        });
    if (!gScanner->presentingViewController()) {
        NSLog("%s", "ScanQRCode: the scanner cannot be shown");
        AcquireQRCode(std::nullopt);
    }
}

void QRCodeManager::AcquireQRCode(const std::optional<std::string>& text) {
    gScanner.reset();
    SysPlugin::OnScanQRCode(text);
}

bool QRCodeManager::isScannerHeld() { return gScanner != nullptr; }
