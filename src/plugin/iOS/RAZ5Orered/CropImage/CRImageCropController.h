#pragma once
// The crop screen: the player cuts a square out of an image that the page
// named and the cut is written to a file that the page named; the page
// hears the outcome as onCropImage {"result": 1 or 0}. The view comes from
// the nib "ImageCropView" (a crop view wired to `imageView`, and buttons
// sending ClickCancel and ClickConfirm). Main thread only.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/Folder.h"
#include "platform/ui/UIControl.h"
#include "platform/ui/UIViewController.h"
#include "plugin/iOS/RAZ5Orered/CropImage/CRImageView.h"

class CRImageCropController : public UIViewController {
public:
    static constexpr const char* kNibName = "ImageCropView";

    // Shows the screen over the bridge's root controller; nothing without
    // an image or a save path (and no event reaches the page then).
    static void CropImage(std::shared_ptr<UIImage> image, const files::Place& savePath, bool isPng, uint64_t maxWidth,
                          uint64_t maxHeight);

    CRImageCropController();

    // Outlet, set by the nib.
    std::shared_ptr<CRImageView> imageView;

    std::shared_ptr<UIImage> image;
    files::Place savePath;  // reached without links when written
    bool isPng = false;
    uint64_t maxWidth = 0, maxHeight = 0;

    // Sets the crop view up: a centred square of 0.8 of the fitted image's
    // shorter side, white furniture, corners of 24 points, pinch to resize.
    void viewDidLoad() override;
    // Closes the screen; nothing is written or sent.
    void ClickCancel(UIControl* sender);
    // Writes the cut (scaled into the smaller limit's square when larger,
    // PNG or JPEG at quality 1, replacing the file whole or not at all),
    // sends onCropImage with the outcome and closes the screen. Without a
    // cut (a limit below 1) nothing happens and the screen stays.
    void ClickConfirm(UIControl* sender);
    // Escape: ClickCancel.
    std::vector<UIKeyCommand> keyCommands() const override;
};
