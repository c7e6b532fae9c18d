#pragma once
// The glue between the page's SelectImage and the image picker: one
// process-wide instance is the delegate of every picker it shows. Chosen
// photos are written at full-screen size as JPEG (quality 0.9) to fresh
// names in Documents/Temp and sent to the page as onSelectImage with the
// JSON array of their paths, in the order chosen; a photo that could not
// be read or written is left out. Cancel sends onSelectImage without a
// value. Main thread only.

#include <cstdint>
#include <memory>
#include <vector>

#include "plugin/iOS/RAZ5Orered/ImagePicker/PKImagePickerController.h"

class PKImageViewCtrl {
public:
    static PKImageViewCtrl& GetInstance();
    // A new picker (filter type, at most `maxSel`, multiple selection with
    // the count shown), presented over the bridge's root controller.
    static void ShowWithType(uint64_t type, uint64_t maxSel);

    void qb_imagePickerController_didSelectAssets(PKImagePickerController& picker,
                                                  const std::vector<std::shared_ptr<ALAsset>>& assets);
    void qb_imagePickerControllerDidCancel(PKImagePickerController& picker);

    const std::shared_ptr<PKImagePickerControllerDelegate>& delegate() const { return delegate_; }

private:
    PKImageViewCtrl();
    std::shared_ptr<PKImagePickerControllerDelegate> delegate_;
};
