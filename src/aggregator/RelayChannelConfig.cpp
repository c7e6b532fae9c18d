#include "aggregator/RelayChannelConfig.h"

#include "aggregator/Extend.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/PlatformLog.h"

namespace RelayChannelConfig {

std::optional<std::filesystem::path> path() { return NSBundle::mainBundle().pathForResource("relayChannel", "cfg"); }

std::optional<Data> decrypt(const Data& bytes, const std::string& key) {
    return Extend::des128Decryptt(Extend::view(bytes), key);
}

std::optional<Value> decryptArchive(const Data& bytes) {
    auto plain = decrypt(bytes, kFileKey);
    if (!plain) return std::nullopt;
    auto root = keyedarchive::unarchive(*plain);
    if (!root || !root->isDict()) return std::nullopt;
    return root;
}

Product productOf(const Value& config, Product passed) {
    if (std::string code = config.text("product_code"); !code.empty()) {
        passed.code = code;
        if (std::string key = config.text("product_key"); !key.empty()) passed.key = key;
    }
    return passed;
}

Value read(const std::filesystem::path& file, PlainForm plainForm) {
    Data bytes = files::readData(file).value_or(Data());
    if (auto plain = Value::fromPlist(bytes); plain && plain->isDict()) {
        bool taken = plainForm == PlainForm::AnyEntries ? !plain->empty()
                                                        : plain->has("bundleID") || plain->has("version");
        if (taken) return *plain;
    }
    auto archived = decryptArchive(bytes);
    if (!archived || archived->empty()) {
        NSLog("RLLog:参数配置文件读取失败");
        return Value::dict();
    }
    return *archived;
}

}  // namespace RelayChannelConfig
