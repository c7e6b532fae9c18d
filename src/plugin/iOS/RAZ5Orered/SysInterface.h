#pragma once
// The interface object of the system plug-in: one method per page
// operation of KL_IOS. Texts from the page arrive as they were posted (a
// missing or non-text argument is nullopt); JSON texts that do not parse as
// the expected object make the operation do nothing. Answers are returned
// to SysPlugin, which hands them to the page as data; events go to the
// page through SysPlugin's On... methods. Main thread only.

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/NSURL.h"
#include "plugin/iOS/RAZ5Orered/KXKeyChainStore.h"
#include "plugin/iOS/RAZ5Orered/PluginProtocol.h"

class SysInterface : public PluginInterface {
public:
    using Arg = std::optional<std::string>;

    void InitSDK() override {}
    // Drops the keychain store and the launch URL.
    void ReleaseSDK() override;
    int RegCB(int, PluginEventCallback) override { return 0; }  // the system plug-in has no event codes
    int UnregCB(int) override { return 0; }

    // Keychain: one store, for the service named by the first InitKeychain.
    void InitKeychain(const Arg& service);
    void SetKeychain(const Arg& json);  // {"key", "value"}; no value deletes
    std::optional<std::string> GetKeychain(const Arg& key);
    void DelKeychain(const Arg& key);
    void ResetKeychain();
    const std::shared_ptr<KXKeyChainStore>& keychainStore() const { return keychain_; }

    // Alerts (UIAlertViewController).
    void CreateAlert(const Arg& json);  // {"title", "message"}
    void AddAlertButton(const Arg& title);
    void ShowAlert();

    // Images. SelectImage shows the photo picker (1 to 4 photos); CropImage
    // the crop screen ({"sourcePath", "savePath", "isPng", "maxWidth",
    // "maxHeight"}, limits 512 when absent or not numbers); Photograph the
    // camera ({"savePath", "width", "height", "crop"}). Paths are confined
    // (ContainerPaths); a refused path, a source that is no image, or a
    // missing argument does nothing. The files the page names (thumbnails,
    // saving to the album, the crop screen's source, a QR code's logo) are
    // decoded off the main thread, in the order asked: the call returns at
    // once and the work is done (the crop screen shown) later.
    void SelectImage(long count);
    void SaveImageToPhotoAlbum(const Arg& path);
    void SaveThumbnail(const Arg& json);
    void CropImage(const Arg& json);
    void Photograph(const Arg& json);

    // QR codes. ScanQRCode shows the scanner (once: a call while it is
    // showing does nothing).
    void CreateQRCode(const Arg& json);
    void ScanQRCode();

    // Identifiers, permissions, device and network facts.
    std::optional<std::string> GetAdId();
    std::optional<std::string> GetIDFV();
    bool CheckPermission(const Arg& kind);
    std::optional<std::string> GetDeviceInfo();
    std::optional<std::string> GetDeviceState();
    std::optional<std::string> GetNetworkInfo();

    // Clipboard, URLs, launch information, vibration, Info.plist, search.
    void SetClipboardText(const Arg& text);
    std::optional<std::string> GetClipboardText();
    // http and https only; every other scheme is refused (onOpenUrl with
    // result false).
    void OpenUrl(const Arg& text);
    void SetAppLaunchUrl(const std::optional<NSURL>& url) { launchUrl_ = url; }
    const std::optional<NSURL>& appLaunchUrl() const { return launchUrl_; }
    std::optional<std::string> GetAppLaunchInfo();
    void Vibrate();
    // The value's text form: strings as they are, numbers and booleans in
    // their shortest text, containers as JSON.
    std::optional<std::string> GetMetaData(const Arg& key);
    void AddSearchItems(const Arg& json);
    void ClearSearchItems();

    // Files (FileOperations, confined to the container).
    std::optional<std::string> GetDocumentPath();
    bool CreateDir(const Arg& path);
    bool MoveFile(const Arg& json);
    bool CopyFile(const Arg& json);
    std::optional<std::string> GetFilesAtPath(const Arg& path);
    std::optional<std::string> GetDirsAtPath(const Arg& path);
    bool IsExistAtPath(const Arg& path);
    bool IsDirAtPath(const Arg& path);
    bool DeleteAtPath(const Arg& path);

private:
    std::shared_ptr<KXKeyChainStore> keychain_;
    std::optional<NSURL> launchUrl_;
};
