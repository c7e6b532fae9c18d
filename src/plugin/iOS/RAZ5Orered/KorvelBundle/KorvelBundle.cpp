#include "plugin/iOS/RAZ5Orered/KorvelBundle/KorvelBundle.h"

namespace KorvelBundle {

void link() {
    linkImageCropView();
    linkQRCodeView();
    linkUnityWebView();
    linkImagePickerStoryboard();
}

}  // namespace KorvelBundle
