#include "plugin/iOS/RAZ5Orered/PKImageViewCtrl.h"

#include "platform/foundation/Files.h"
#include "platform/foundation/PlatformLog.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"
#include "plugin/iOS/RAZ5Orered/Utils.h"

namespace {

// The quality the platform's single-precision 0.9 stands for.
constexpr double kJPEGQuality = double(0.9f);

// The chosen photos, written one after another as their pictures arrive
// (they arrive in the order asked for).
struct Saving {
    std::vector<std::shared_ptr<ALAsset>> assets;
    size_t answered = 0;
    Value paths = Value::array();
};

bool writePhoto(const UIImage& image, std::string* path) {
    auto data = UIImageJPEGRepresentation(&image, kJPEGQuality);
    auto docs = Utils::GetDocumentPath();
    if (!data || !docs) return false;
    std::string folder = *docs + "/Temp";
    Error error;
    if (!Utils::Exists(folder) && !files::createDirectories(folder, &error)) {
        NSLog("SelectImage: %s", error.localizedDescription().c_str());
        return false;
    }
    *path = Utils::GenerateFileName(folder);
    if (files::writeAtomically(*path, *data, &error)) return true;
    NSLog("SelectImage: a photo was not written: %s", error.localizedDescription().c_str());
    return false;
}

}  // namespace

PKImageViewCtrl& PKImageViewCtrl::GetInstance() {
    static PKImageViewCtrl* instance = new PKImageViewCtrl();
    return *instance;
}

PKImageViewCtrl::PKImageViewCtrl() : delegate_(std::make_shared<PKImagePickerControllerDelegate>()) {
    delegate_->qb_imagePickerController_didSelectAssets = [this](PKImagePickerController& p, const auto& assets) {
        qb_imagePickerController_didSelectAssets(p, assets);
    };
    delegate_->qb_imagePickerControllerDidCancel = [this](PKImagePickerController& p) {
        qb_imagePickerControllerDidCancel(p);
    };
}

void PKImageViewCtrl::ShowWithType(uint64_t type, uint64_t maxSel) {
    auto picker = PKImagePickerController::create();
    picker->delegate = GetInstance().delegate_;
    picker->filterType = type;
    picker->maximumNumberOfSelection = maxSel;
    picker->allowsMultipleSelection = true;
    picker->showsNumberOfSelectedAssets = true;
    auto root = IOSPlugin::GetRootController();
    if (root) root->presentViewController(picker, true);
    if (!picker->presentingViewController()) {
        NSLog("%s", "SelectImage: the picker cannot be shown; answering as cancelled");
        SysPlugin::OnSelectImage(std::nullopt);
    }
}

void PKImageViewCtrl::qb_imagePickerController_didSelectAssets(PKImagePickerController& picker,
                                                               const std::vector<std::shared_ptr<ALAsset>>& assets) {
    picker.dismissViewControllerAnimated(true);
    auto saving = std::make_shared<Saving>();
    saving->assets = assets;
    if (assets.empty()) {
        SysPlugin::OnSelectImage(saving->paths.toJSON(true));
        return;
    }
    for (auto& asset : assets)
        asset->requestFullScreenImage([saving](std::shared_ptr<UIImage> image) {
            std::string path;
            if (image && writePhoto(*image, &path)) saving->paths.push(path);
            if (++saving->answered == saving->assets.size()) SysPlugin::OnSelectImage(saving->paths.toJSON(true));
        });
}

void PKImageViewCtrl::qb_imagePickerControllerDidCancel(PKImagePickerController& picker) {
    picker.dismissViewControllerAnimated(true);
    SysPlugin::OnSelectImage(std::nullopt);
}
