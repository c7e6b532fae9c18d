#pragma once
// The layouts of the application's resource bundle "Korvel", built in code
// and found by name: the nibs "ImageCropView", "QRCodeView" and
// "UnityWebView", and the storyboard "PKImagePicker" (its scenes
// "AlbumsNavigationController" and "PKAssetsViewController", with the cell
// prototypes). The bundle folder itself holds the string table
// "PKImagePicker" and the sound "MuteChecker.caf".
//
// Layouts register themselves when their code is linked in: an application
// (or test) that shows the screens calls link() once.

namespace KorvelBundle {

void link();

// Each layout's anchor, referenced by link().
void linkImageCropView();
void linkQRCodeView();
void linkUnityWebView();
void linkImagePickerStoryboard();

}  // namespace KorvelBundle
