#include "plugin/iOS/RAZ5Orered/SysInterface.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/device/CSSearchableIndex.h"
#include "platform/device/DeviceFacts.h"
#include "platform/device/HardwareFacts.h"
#include "platform/device/SystemSound.h"
#include "platform/device/UIPasteboard.h"
#include "platform/device/URLOpener.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/graphics/UIImage.h"
#include "platform/foundation/Files.h"
#include "plugin/iOS/RAZ5Orered/ContainerPaths.h"
#include "plugin/iOS/RAZ5Orered/CropImage/CRImageCropController.h"
#include "plugin/iOS/RAZ5Orered/FileOperations.h"
#include "plugin/iOS/RAZ5Orered/ImageOperations.h"
#include "plugin/iOS/RAZ5Orered/NetworkInfo.h"
#include "plugin/iOS/RAZ5Orered/PKImageViewCtrl.h"
#include "plugin/iOS/RAZ5Orered/PageArgument.h"
#include "plugin/iOS/RAZ5Orered/Permission.h"
#include "plugin/iOS/RAZ5Orered/PhotographHandler.h"
#include "plugin/iOS/RAZ5Orered/QRCodeManager.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"
#include "plugin/iOS/RAZ5Orered/UIAlertViewController.h"
#include "plugin/iOS/RAZ5Orered/Utils.h"

namespace {

using PageArgument::jsonObject;

std::optional<std::string> text(const Value& v, const char* key) {
    if (const std::string* s = v[key].getString()) return *s;
    return std::nullopt;
}

}  // namespace

void SysInterface::ReleaseSDK() {
    keychain_.reset();
    launchUrl_.reset();
}

// Keychain

void SysInterface::InitKeychain(const Arg& service) {
    if (keychain_ || !service) return;
    if (keychain::isReservedService(*service)) {
        NSLog("KL_IOS.InitKeychain: the service %s holds the program's own items; the page gets no store",
              service->c_str());
        return;
    }
    keychain_ = KXKeyChainStore::keyChainStoreWithService(*service);
    keychain_->setAccessibility(1);
}

void SysInterface::SetKeychain(const Arg& json) {
    if (!keychain_) return;
    auto v = jsonObject(json);
    if (!v) return;
    auto key = text(*v, "key");
    const Value& value = (*v)["value"];
    // A value that is there but not text is a page error: it neither stores
    // nor deletes anything.
    if (!value.isNull() && !value.isString()) return;
    keychain_->setString(text(*v, "value"), key);
}

std::optional<std::string> SysInterface::GetKeychain(const Arg& key) {
    if (!keychain_ || !key) return std::nullopt;
    return keychain_->stringForKey(*key);
}

void SysInterface::DelKeychain(const Arg& key) {
    if (!key || !keychain_) return;
    keychain_->removeItemForKey(*key);
}

void SysInterface::ResetKeychain() {
    if (keychain_) keychain_->removeAllItems();
}

// Alerts

void SysInterface::CreateAlert(const Arg& json) {
    auto v = jsonObject(json);
    if (!v) return;
    UIAlertViewController::CreateWithTitle(text(*v, "title"), text(*v, "message"));
}

void SysInterface::AddAlertButton(const Arg& title) {
    if (title) UIAlertViewController::AddButton(*title);
}

void SysInterface::ShowAlert() { UIAlertViewController::Show(); }

// Images

void SysInterface::SelectImage(long count) {
    PKImageViewCtrl::ShowWithType(1, uint64_t(std::clamp(count, 1L, 4L)));
}

namespace {

// Files the page names are read and decoded here, one after another in the
// order asked, never on the main thread: the bridge answers while a large
// or hostile file decodes, and what the page hears comes when the work is
// done.
const std::shared_ptr<DispatchQueue>& pageImageQueue() {
    static auto* queue = new std::shared_ptr<DispatchQueue>(DispatchQueue::serial("korvel.page.images"));
    return *queue;
}

// A limit the page gave as a number (negatives as 0), else 512.
uint64_t cropLimit(const Value& v) {
    if (!v.isInteger() && !v.isReal()) return 512;
    return uint64_t(std::max<int64_t>(0, v.intValue()));
}

}  // namespace

void SysInterface::SaveImageToPhotoAlbum(const Arg& path) {
    pageImageQueue()->async([path] { ImageOperations::SaveImageToPhotoAlbum(path); });
}

void SysInterface::SaveThumbnail(const Arg& json) {
    pageImageQueue()->async([json] { ImageOperations::SaveThumbnail(json); });
}

void SysInterface::CropImage(const Arg& json) {
    auto v = jsonObject(json);
    if (!v) return;
    auto source = text(*v, "sourcePath"), save = text(*v, "savePath");
    if (!source || source->empty() || !save || save->empty()) return;
    auto from = ContainerPaths::resolve(*source, ContainerPaths::Access::Read);
    auto to = ContainerPaths::resolve(*save, ContainerPaths::Access::Write);
    if (!from || !to) return;
    bool isPng = (*v)["isPng"].isBool() && (*v)["isPng"].boolValue();
    uint64_t maxWidth = cropLimit((*v)["maxWidth"]), maxHeight = cropLimit((*v)["maxHeight"]);
    // The source is read on the queue: a file an earlier call is still
    // writing (a QR code, a thumbnail) is there by then.
    pageImageQueue()->async([from = *from, to = *to, isPng, maxWidth, maxHeight] {
        auto bytes = from.read();
        auto image = bytes ? UIImage::imageWithData(*bytes, UIImage::scaleFromFileName(from.relative)) : nullptr;
        if (!image) return;  // no image: no screen and no event
        DispatchQueue::main()->async([image, to, isPng, maxWidth, maxHeight] {
            CRImageCropController::CropImage(image, to, isPng, maxWidth, maxHeight);
        });
    });
}

void SysInterface::Photograph(const Arg& json) {
    auto v = jsonObject(json);
    if (!v) return;
    auto save = text(*v, "savePath");
    auto path = save ? ContainerPaths::resolve(*save, ContainerPaths::Access::Write) : std::nullopt;
    if (!path) return;
    auto handler = std::make_shared<PhotographHandler>(*path);
    auto number = [&](const char* key) {
        const Value& n = (*v)[key];
        return n.isInteger() || n.isReal() ? int(std::clamp<int64_t>(n.intValue(), INT32_MIN, INT32_MAX)) : 0;
    };
    handler->width = number("width");
    handler->height = number("height");
    handler->crop = (*v)["crop"].isBool() && (*v)["crop"].boolValue();
    handler->Handle();
}

// QR codes

void SysInterface::CreateQRCode(const Arg& json) {
    pageImageQueue()->async([json] { ImageOperations::CreateQRCode(json); });
}

void SysInterface::ScanQRCode() { QRCodeManager::ScanQRCode(); }

// Identifiers, permissions, device and network facts

std::optional<std::string> SysInterface::GetAdId() { return device::advertisingIdentifier(); }

std::optional<std::string> SysInterface::GetIDFV() {
    std::string id = device::vendorIdentifier();
    if (id.empty()) return std::nullopt;
    return id;
}

bool SysInterface::CheckPermission(const Arg& kind) { return kind && Permission::CheckPermission(*kind); }

std::optional<std::string> SysInterface::GetDeviceInfo() {
    auto os = device::osRelease();
    std::string manufacturer = device::dmiVendor();
    std::string product = device::dmiProductName();
    Value info = Value::dict({{"device", device::hostName()},
                              {"display", os.name},
                              {"manufacturer", manufacturer.empty() ? "Unknown" : manufacturer},
                              {"model", device::machine()},
                              {"product", product.empty() ? device::machine() : product},
                              {"sdkVersion", os.version}});
    return info.toJSON(true);
}

std::optional<std::string> SysInterface::GetDeviceState() {
    int level = -1;
    // Truncated to a whole percent; the hair of slack keeps a level read as
    // 29 % from coming out as 28 through binary fractions.
    if (auto battery = device::batteryLevel()) level = int(std::floor(*battery * 100.0 + 1e-6));
    return Value::dict({{"batteryLevel", level}}).toJSON(true);
}

std::optional<std::string> SysInterface::GetNetworkInfo() { return NetworkInfo::GetNetworkInfo().toValue().toJSON(true); }

// Clipboard, URLs, launch information, vibration, Info.plist, search

void SysInterface::SetClipboardText(const Arg& text) {
    if (text) UIPasteboard::generalPasteboard().setString(*text);
}

std::optional<std::string> SysInterface::GetClipboardText() { return UIPasteboard::generalPasteboard().string(); }

void SysInterface::OpenUrl(const Arg& text) {
    if (!text) return;
    std::string url = *text;
    auto report = [url](bool ok) {
        SysPlugin::OnOpenUrl(Value::dict({{"url", url}, {"result", ok}}).toJSON(true));
    };
    auto parsed = NSURL::URLWithString(url);
    std::string scheme = parsed ? strings::toLower(parsed->scheme()) : "";
    // Only web pages leave the application: a file, a script or another
    // application's scheme from the page is refused.
    if (!parsed || (scheme != "http" && scheme != "https") || parsed->host().empty()) {
        report(false);
        return;
    }
    URLOpener::current()->open(url, report);
}

std::optional<std::string> SysInterface::GetAppLaunchInfo() {
    if (!launchUrl_) return std::nullopt;
    const NSURL& u = *launchUrl_;
    Value info = Value::dict();
    if (!u.scheme().empty()) info.set("scheme", u.scheme());
    if (!u.host().empty()) info.set("host", u.host());
    if (!u.path().empty()) info.set("path", u.path());
    if (u.hasQuery()) info.set("query", u.query());
    if (u.hasQuery() && !u.query().empty()) {
        Value args = Value::dict();
        for (auto& piece : strings::split(u.query(), "&")) {
            auto parts = strings::split(piece, "=");
            if (parts.size() == 2) args.mutableDict()[parts[0]] = parts[1];
        }
        info.set("args", args);
    }
    return info.toJSON(true);
}

void SysInterface::Vibrate() { AudioServicesPlaySystemSound(kSystemSoundID_Vibrate); }

std::optional<std::string> SysInterface::GetMetaData(const Arg& key) {
    if (!key) return std::nullopt;
    const Value& v = NSBundle::mainBundle().objectForInfoDictionaryKey(*key);
    if (v.isNull()) return std::nullopt;
    if (v.isArray() || v.isDict()) return v.toJSON();
    if (v.isDate()) return strings::iso8601(*v.getDate());
    if (v.isData()) return strings::base64Encode(*v.getData());
    return v.textValue();
}

void SysInterface::AddSearchItems(const Arg& json) {
    if (!json) return;
    auto v = Value::fromJSON(*json);
    if (!v || !v->isArray()) return;
    std::vector<CSSearchableItem> items;
    for (auto& entry : *v->getArray()) {
        if (!entry.isDict()) continue;
        CSSearchableItem item;
        item.title = entry.str("title");
        item.contentDescription = entry.str("description");
        if (auto* keywords = entry["keywords"].getArray())
            for (auto& k : *keywords)
                if (k.isString()) item.keywords.push_back(*k.getString());
        item.uniqueIdentifier = entry.str("id");
        item.domainIdentifier = entry.str("domain");
        items.push_back(std::move(item));
    }
    CSSearchableIndex::defaultSearchableIndex().indexSearchableItems(items);
}

void SysInterface::ClearSearchItems() { CSSearchableIndex::defaultSearchableIndex().deleteAllSearchableItems(); }

// Files

std::optional<std::string> SysInterface::GetDocumentPath() { return Utils::GetDocumentPath(); }
bool SysInterface::CreateDir(const Arg& path) { return FileOperations::CreateDir(path); }
bool SysInterface::MoveFile(const Arg& json) { return FileOperations::MoveFile(json); }
bool SysInterface::CopyFile(const Arg& json) { return FileOperations::CopyFile(json); }
std::optional<std::string> SysInterface::GetFilesAtPath(const Arg& path) { return FileOperations::GetFilesAtPath(path); }
std::optional<std::string> SysInterface::GetDirsAtPath(const Arg& path) { return FileOperations::GetDirsAtPath(path); }
bool SysInterface::IsExistAtPath(const Arg& path) { return FileOperations::IsExistAtPath(path); }
bool SysInterface::IsDirAtPath(const Arg& path) { return FileOperations::IsDirAtPath(path); }
bool SysInterface::DeleteAtPath(const Arg& path) { return FileOperations::DeleteAtPath(path); }
